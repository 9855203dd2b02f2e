// The check that every cut of a document fails, apart from the builders so
// that they need no test framework (the fuzz targets build documents with them).
#include <gtest/gtest.h>

#include "support/builder.h"
#include "support/outcomes.h"

namespace kdx::test {

void ExpectEveryCutFails(const std::string& packed) {
  ASSERT_TRUE(Convert(packed).ok) << Convert(packed).failure;
  for (size_t cut = 0; cut < packed.size(); ++cut) {
    const Outcome out = Convert(packed.substr(0, cut));
    ASSERT_FALSE(out.ok) << cut;
    if (cut < 4) {
      EXPECT_TRUE(
          out.failure.starts_with("EConvertException: Неверная сигнатура заголовка данных: "))
          << cut << ": " << out.failure;
    } else if (cut == 4) {
      EXPECT_EQ(out.failure,
                "EKDInvalidDoc: Файл (блок данных) не является документом программы Орвакплан");
    } else {
      EXPECT_EQ(out.failure, kReadError) << cut;
    }
  }
}

}  // namespace kdx::test
