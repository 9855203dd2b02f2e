// The typed reader: primitive encodings, tagged strings, failures on short or
// bad data, and the writer that the test builder relies on.
#include "filer/filer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "support/builder.h"
#include "support/outcomes.h"

namespace kdx::test {
namespace {

std::string Bytes(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s += static_cast<char>(b);
  return s;
}

TKdFiler Over(const std::string& bytes) {
  return TKdFiler(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

TEST(FilerTest, PrimitivesDecodeLittleEndianAndAdvanceByTheirWidth) {
  const std::string b = Bytes({0xFE, 0xFE,                                      // Int08, Byte
                               0xFF, 0xFF, 0xFF, 0xFF,                          // Int16, UInt16
                               0xFE, 0xFF, 0xFF, 0xFF,                          // Int32 -2
                               0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x88,  // Int64
                               0x08, 0x52, 0,    0,    0,    0,    0,    0,     // Curr64 2.1
                               0,    0,    0,    0,    0,    0,    0xF8, 0x3F,  // Dbl64 1.5
                               0x01, 0x0A, 0x09, 0x00, 0x02});                  // Booleans
  TKdFiler f = Over(b);
  EXPECT_EQ(f.ReadInt08(), -2);
  EXPECT_EQ(f.Read_Byte(), 0xFE);
  EXPECT_EQ(f.ReadInt16(), -1);
  EXPECT_EQ(f.ReadUInt16(), 65535);
  EXPECT_EQ(f.ReadInt32(), -2);
  EXPECT_EQ(f.ReadInt64(), static_cast<int64_t>(0x8807060504030201ull));
  EXPECT_EQ(f.ReadCurr64(), Curr("2.1"));
  EXPECT_EQ(f.ReadDbl64(), 1.5);
  EXPECT_FALSE(f.ReadBoolean());  // 01: only 0A is true
  EXPECT_TRUE(f.ReadBoolean());
  EXPECT_FALSE(f.ReadBoolean());
  EXPECT_FALSE(f.ReadByteBoolean());
  EXPECT_TRUE(f.ReadByteBoolean());
  EXPECT_TRUE(f.IsEndOfStream());
  EXPECT_EQ(f.Position(), b.size());
}

TEST(FilerTest, ExtendedReadsTheEightyBitLayout) {
  struct Case {
    std::string bytes;
    double expected;
  };
  const Case cases[] = {
      {Bytes({0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F}), 1.0},
      {Bytes({0, 0, 0, 0, 0, 0, 0, 0xC0, 0x00, 0xC0}), -3.0},
      {Bytes({0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), 0.0},
      {Bytes({0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x7F}), INFINITY},
      {Bytes({0, 0, 0, 0, 0, 0, 0, 0x80, 0xFB, 0x3F}), 0.0625},
  };
  for (const Case& c : cases) {
    TKdFiler f = Over(c.bytes);
    EXPECT_EQ(f.ReadExtended().ToDouble(), c.expected);
    EXPECT_TRUE(f.IsEndOfStream());
  }
  // Rounded to the nearest double, ties to even, also across a power of 2.
  constexpr uint64_t kOne = uint64_t{1} << 63;
  EXPECT_EQ(TExtended(kOne | 0x400, 16383).ToDouble(), 1.0);
  EXPECT_EQ(TExtended(kOne | 0xC00, 16383).ToDouble(), 1.0 + 0x1p-51);
  EXPECT_EQ(TExtended(kOne | 0x401, 16383).ToDouble(), 1.0 + 0x1p-52);
  EXPECT_EQ(TExtended(~uint64_t{0}, 0x8000 | 16383).ToDouble(), -2.0);
  // What the writer produces reads back unchanged.
  for (double v : {123.456, -1e-300, 6.02214076e23, 5e-324, 1.0 / 3}) {
    const DocBuilder w = DocBuilder().Ext(v);
    ASSERT_EQ(w.Size(), 10u);
    TKdFiler f = Over(w.Bytes());
    EXPECT_EQ(f.ReadExtended().ToDouble(), v);
  }
}

// Tests against 0 and 1 take the stored value: within 1E-8 (the extended value
// nearest to it, 12379400392853802749 * 2^-90) or not, whatever its nearest
// double says.
TEST(FilerTest, ExtendedNearZeroAndOneDecideOnTheStoredBits) {
  constexpr uint64_t kOne = uint64_t{1} << 63;
  constexpr uint64_t kBound = 12379400392853802749u;  // 1E-8 at exponent 16356
  struct Case {
    const char* what;
    TExtended value;
    bool near_zero, near_one;
  };
  const Case cases[] = {
      {"1", {kOne, 16383}, false, true},
      {"1 + 92233720368 * 2^-63, below 1 + 1E-8", {kOne + 92233720368u, 16383}, false, true},
      {"1 + 92233720369 * 2^-63, above 1 + 1E-8", {kOne + 92233720369u, 16383}, false, false},
      {"1 - 184467440737 * 2^-64, above 1 - 1E-8",
       {0 - uint64_t{184467440737u}, 16382},
       false,
       true},
      {"1 - 184467440738 * 2^-64, below 1 - 1E-8",
       {0 - uint64_t{184467440738u}, 16382},
       false,
       false},
      {"-1", {kOne, 0x8000 | 16383}, false, false},
      {"1E-8", {kBound, 16356}, true, false},
      {"just above 1E-8", {kBound + 1, 16356}, false, false},
      {"-1E-8", {kBound, 0x8000 | 16356}, true, false},
      {"-(just above 1E-8)", {kBound + 1, 0x8000 | 16356}, false, false},
      {"below 1E-8 by an exponent", {~uint64_t{0}, 16355}, true, false},
      {"above 1E-8 by an exponent", {kOne, 16357}, false, false},
      {"0", {0, 0}, true, false},
      {"smallest denormal", {1, 0}, true, false},
      {"an unnormal below 1E-8", {kBound >> 1, 16357}, true, false},
      {"infinity", {kOne, 0x7FFF}, false, false},
      {"1.000000001 from a double", 1.000000001, false, true},
      {"1.00000002 from a double", 1.00000002, false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.value.NearZero(), c.near_zero) << c.what;
    EXPECT_EQ(c.value.NearOne(), c.near_one) << c.what;
  }
  // The value above 1 + 1E-8 has a nearest double within 1E-8 of 1.
  EXPECT_LE(std::fabs(TExtended(kOne + 92233720369u, 16383).ToDouble() - 1), 1e-8);
}

TEST(FilerTest, StringsAcceptEveryTagForEveryLength) {
  struct Case {
    std::string bytes;
    std::string expected;
  };
  const Case cases[] = {
      {Bytes({0x06, 0x00}), ""},
      {Bytes({0x06, 0x02, 'A', 'B'}), "AB"},
      {Bytes({0x07, 0x02, 0x00, 'A', 'B'}), "AB"},
      {Bytes({0x08, 0x02, 0x00, 0x00, 0x00, 'A', 'B'}), "AB"},
      {Bytes({0x06, 0x01, 0xC0}), "\xC0"},  // windows-1251 bytes stay as they are
  };
  for (const Case& c : cases) {
    TKdFiler f = Over(c.bytes);
    EXPECT_EQ(f.ReadString(), c.expected);
    EXPECT_TRUE(f.IsEndOfStream());
  }
}

TEST(FilerTest, WriterChoosesTheStringTagByLength) {
  const struct {
    size_t length;
    uint8_t tag;
    size_t head;
  } cases[] = {{0, 6, 2}, {255, 6, 2}, {256, 7, 3}, {65534, 7, 3}, {65535, 8, 5}, {70000, 8, 5}};
  for (const auto& c : cases) {
    const std::string text(c.length, 'x');
    const DocBuilder w = DocBuilder().Str(text);
    ASSERT_EQ(w.Bytes().size(), c.head + c.length) << c.length;
    EXPECT_EQ(static_cast<uint8_t>(w.Bytes()[0]), c.tag) << c.length;
    TKdFiler f = Over(w.Bytes());
    EXPECT_EQ(f.ReadString(), text);
    EXPECT_TRUE(f.IsEndOfStream());
  }
}

TEST(FilerTest, BadOrShortDataFailsWithTheFilerFailures) {
  struct Case {
    const char* what;
    std::string bytes;
    std::function<void(TKdFiler&)> read;
    std::string failure;
  };
  const Case cases[] = {
      {"string tag 05", Bytes({0x05, 0x00}), [](TKdFiler& f) { f.ReadString(); }, kBadData},
      {"string tag 09", Bytes({0x09, 0x00}), [](TKdFiler& f) { f.ReadString(); }, kBadData},
      {"tag 8 length -1", Bytes({0x08, 0xFF, 0xFF, 0xFF, 0xFF, 'A'}),
       [](TKdFiler& f) { f.ReadString(); }, kReadError},
      {"length 10, 9 left", Bytes({0x06, 10, 1, 2, 3, 4, 5, 6, 7, 8, 9}),
       [](TKdFiler& f) { f.ReadString(); }, kReadError},
      {"tag 7 length cut", Bytes({0x07, 0x01}), [](TKdFiler& f) { f.ReadString(); }, kReadError},
      {"tag without length", Bytes({0x06}), [](TKdFiler& f) { f.ReadString(); }, kReadError},
      {"4 bytes, 3 left", Bytes({1, 2, 3}), [](TKdFiler& f) { f.ReadInt32(); }, kReadError},
      {"8 bytes, 7 left", Bytes({1, 2, 3, 4, 5, 6, 7}), [](TKdFiler& f) { f.ReadCurr64(); },
       kReadError},
      {"extended, 9 left", Bytes({1, 2, 3, 4, 5, 6, 7, 8, 9}),
       [](TKdFiler& f) { f.ReadExtended(); }, kReadError},
      {"byte at end", "", [](TKdFiler& f) { f.ReadInt08(); }, kReadError},
      {"raw read too long", Bytes({1, 2}),
       [](TKdFiler& f) {
         char buf[3];
         f.Read(buf, 3);
       },
       kReadError},
      {"marker EE", Bytes({0xEE}), [](TKdFiler& f) { f.CheckSignature(0xEF); },
       "EOrvakFilerInvalidSignature: Неверный формат данных в потоке"},
      {"skip 3, 2 left", Bytes({1, 2}), [](TKdFiler& f) { f.Skip(3); }, kReadError},
  };
  for (const Case& c : cases) {
    TKdFiler f = Over(c.bytes);
    EXPECT_EQ(FailureOf([&] { c.read(f); }), c.failure) << c.what;
  }
}

TEST(FilerTest, MarkerCheckConsumesOneByte) {
  const std::string b = Bytes({0xEF, 0x06, 0x00});
  TKdFiler f = Over(b);
  f.CheckSignature(0xEF);
  EXPECT_EQ(f.Position(), 1u);
  EXPECT_EQ(f.ReadString(), "");
}

TEST(FilerTest, ReadingStartsAtTheGivenPosition) {
  const std::string b = Bytes({0xAA, 0xBB, 0x2A, 0x00});
  TKdFiler f(reinterpret_cast<const uint8_t*>(b.data()), b.size(), 2);
  EXPECT_EQ(f.ReadInt16(), 42);
  // A start beyond the data leaves nothing to read.
  TKdFiler beyond(reinterpret_cast<const uint8_t*>(b.data()), b.size(), 9);
  EXPECT_TRUE(beyond.IsEndOfStream());
  EXPECT_EQ(FailureOf([&] { beyond.ReadInt08(); }), kReadError);
}

}  // namespace
}  // namespace kdx::test
