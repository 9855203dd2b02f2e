// Work types: the fields each file version adds to a work type, group and
// catalogue, the mask and column texts, the order of the two lists in the XML,
// and the lookups positions use (by ID, inherited index codes).
#include "smeta/vidrab.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "support/model_fixtures.h"

namespace kdx::test {
namespace {

// A work type record; the optional parts are present when asked for.
struct VidRab {
  std::string caption = "Земляные работы";
  int32_t id = 5;
  int32_t nacl = 950000, plan = 500000;
  uint16_t mask = 0x0A01;
  int os_column = -1;          // -1: not stored
  const char* code = nullptr;  // nullptr: not stored
  int methods = 0;             // pairs of coefficient texts
  bool curr = false;

  DocBuilder Record() const {
    DocBuilder b;
    b.Head(caption).I32(id).I32(nacl).I32(plan).I16(mask);
    if (os_column >= 0) b.Byte(static_cast<uint8_t>(os_column));
    if (code) b.Str(code);
    static constexpr const char* kNacl[3] = {"n0", "n1", "n2"};
    static constexpr const char* kPlan[3] = {"p0", "p1", "p2"};
    for (int m = 0; m < methods; ++m) b.Str(kNacl[m]).Str(kPlan[m]);
    if (curr) b.I32(1200000).I32(0);
    return b;
  }
};

TEST(WorkTypes, FieldsByVersion) {
  struct Case {
    int32_t version;
    VidRab vr;
    const char* xml;
  };
  const char* base =
      "  <Vid_Rab Caption=\"Земляные работы\" ID=\"5\" Nacl=\"95\" NaclMask=\"ФОТ\" "
      "Plan=\"50\" PlanMask=\"ПЗ\"";
  const Case cases[] = {
      {0x0001011A, {}, ""},
      {0x0001011B, {.os_column = 2}, " OsColumn=\"О\""},
      {0x00010134, {.os_column = 0}, ""},
      {0x00010135, {.os_column = 1, .code = "И-1"}, " OsColumn=\"М\" IndexCode=\"И-1\""},
      {0x00010140, {.os_column = 3, .code = ""}, " OsColumn=\"П\""},
      {0x00010141,
       {.os_column = 0, .code = "", .methods = 2},
       " NKB=\"n0\" PNB=\"p0\" NKI=\"n1\" PKI=\"p1\""},
      {0x00010142,
       {.os_column = 0, .code = "", .methods = 3},
       " NKB=\"n0\" PNB=\"p0\" NKI=\"n1\" PKI=\"p1\" NKR=\"n2\" PKR=\"p2\""},
      {0x00010151,
       {.os_column = 9, .code = "", .methods = 3},
       " NKB=\"n0\" PNB=\"p0\" NKI=\"n1\" "
       "PKI=\"p1\" NKR=\"n2\" PKR=\"p2\""},
      {0x00010152,
       {.os_column = 0, .code = "", .methods = 3, .curr = true},
       " NaclCurr=\"120\" NKB=\"n0\" PNB=\"p0\" NKI=\"n1\" PKI=\"p1\" NKR=\"n2\" PKR=\"p2\""},
  };
  for (const Case& c : cases) {
    TestEstimate doc(c.version);
    TKDXSmetaVidRab vr(&doc);
    ReadRow(vr, c.vr.Record());
    EXPECT_EQ(RowXml(vr), std::string(base) + c.xml + "/>\n") << std::hex << c.version;
  }
}

TEST(WorkTypes, EmptyRatesAndMasks) {
  TestEstimate doc(0x00010100);
  TKDXSmetaVidRab vr(&doc);
  ReadRow(vr, VidRab{.caption = "", .id = -3, .nacl = 0, .plan = 0, .mask = 0}.Record());
  EXPECT_EQ(RowXml(vr), "  <Vid_Rab ID=\"-3\" NaclMask=\"\" PlanMask=\"\"/>\n");
}

// A catalogue (of a version before the coefficient texts): one 2001 group with two work types, and
// one 1984 group with one; the 1984 list is stored first.
DocBuilder Catalogue(int32_t version, bool head) {
  const auto vr = [&](int32_t id, const char* code) {
    VidRab v{.caption = id == 1 ? "w1" : "w7", .id = id, .nacl = 0, .plan = 0, .mask = 0};
    if (version >= 0x0001011B) v.os_column = 0;
    if (version >= 0x00010135) v.code = code;
    return v.Record();
  };
  DocBuilder b;
  if (head) b.Head("");
  b.I16(1).Head("g84").I32(10).I16(1).Append(vr(1, ""));
  if (version >= 0x00010135) b.Str("G84");
  b.I16(1).Head("g01").I32(20).I16(2).Append(vr(7, "")).Append(vr(7, "own"));
  if (version >= 0x00010135) b.Str("G01");
  return b;
}

TEST(WorkTypes, CatalogueHeadAndListOrder) {
  // Before 0x1013B the catalogue starts with the count of the 1984 list.
  for (int32_t version : {0x0001013A, 0x0001013B}) {
    TestEstimate doc(version);
    TSmetaVidRabsCatalog catalogue(&doc);
    ReadRow(catalogue, Catalogue(version, version >= 0x0001013B));
    EXPECT_EQ(RowXml(catalogue),
              "  <VidRab_Catalog Caption=\"Основной справочник видов работ\">\n"
              "    <Vids_Rab Type=\"Виды работ 2001г\">\n"
              "      <VidRab_Group Caption=\"g01\" ID=\"20\" IndexCode=\"G01\">\n"
              "        <Vid_Rab Caption=\"w7\" ID=\"7\" NaclMask=\"\" PlanMask=\"\"/>\n"
              "        <Vid_Rab Caption=\"w7\" ID=\"7\" NaclMask=\"\" PlanMask=\"\" "
              "IndexCode=\"own\"/>\n"
              "      </VidRab_Group>\n"
              "    </Vids_Rab>\n"
              "    <Vids_Rab Type=\"Виды работ 1984г\">\n"
              "      <VidRab_Group Caption=\"g84\" ID=\"10\" IndexCode=\"G84\">\n"
              "        <Vid_Rab Caption=\"w1\" ID=\"1\" NaclMask=\"\" PlanMask=\"\"/>\n"
              "      </VidRab_Group>\n"
              "    </Vids_Rab>\n"
              "  </VidRab_Catalog>\n")
        << std::hex << version;
  }

  // An empty catalogue still writes both lists; a stored caption replaces the default.
  TestEstimate doc(0x0001015F);
  TSmetaVidRabsCatalog empty(&doc);
  ReadRow(empty, DocBuilder().Head("Мой").I16(0).I16(0));
  EXPECT_EQ(RowXml(empty),
            "  <VidRab_Catalog Caption=\"Мой\">\n"
            "    <Vids_Rab Type=\"Виды работ 2001г\"/>\n"
            "    <Vids_Rab Type=\"Виды работ 1984г\"/>\n"
            "  </VidRab_Catalog>\n");
}

TEST(WorkTypes, Lookups) {
  TestEstimate doc(0x0001013B);
  TSmetaVidRabsCatalog catalogue(&doc);
  ReadRow(catalogue, Catalogue(0x0001013B, true));
  const TKDXSmetaVidRabs& list2001 = catalogue.List(vr2001);
  const TKDXSmetaVidRabs& list1984 = catalogue.List(vr1984);

  // The first of equal IDs; none in the other list.
  TKDXSmetaVidRab* found = list2001.FindVidRab(7);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found, list2001.At(0)->At(0));
  EXPECT_EQ(list2001.FindVidRab(1), nullptr);
  EXPECT_EQ(list1984.FindVidRab(1), list1984.At(0)->At(0));

  // Index codes: the group's when the work type has none.
  EXPECT_EQ(found->PriceIndexCode(), "G01");
  EXPECT_EQ(list2001.At(0)->At(1)->PriceIndexCode(), "own");
}

TEST(WorkTypes, TruncatedCatalogueFails) {
  const std::string bytes = Catalogue(0x0001013B, true).Bytes();
  for (size_t n = 0; n < bytes.size(); ++n) {
    TestEstimate doc(0x0001013B);
    TSmetaVidRabsCatalog catalogue(&doc);
    TKdFiler filer(reinterpret_cast<const uint8_t*>(bytes.data()), n);
    EXPECT_THROW(catalogue.Load(filer), KdxError) << n;
  }
}

}  // namespace
}  // namespace kdx::test
