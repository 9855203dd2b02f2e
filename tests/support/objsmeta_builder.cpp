#include "support/objsmeta_builder.h"

namespace kdx::test::objsmeta {
namespace {

// The signature texts a file holds before the list.
size_t SignatureTexts(int32_t v) {
  return v >= kEightSignatureTexts ? 8 : v >= kSignatureTexts ? 4 : 0;
}

void WriteConversions(DocBuilder& b, int32_t version, const std::vector<Conversion>& group) {
  b.I16(static_cast<uint16_t>(group.size()));
  for (const Conversion& row : group) {
    b.Head(row.caption);
    const size_t factors = version >= kFiveConversionFactors ? row.k.size() : row.k.size() - 1;
    for (size_t i = 0; i < factors; ++i) b.I32(row.k[i]);
  }
}

// The amount of a column as decimal text.
std::string Amount(const Cost& cost, size_t c) {
  return cost.amounts[c].empty() ? "0" : cost.amounts[c];
}

// The link of a row before kLinkRecord: its type and, for a linked type, the
// text and what the version adds.
void WriteOldLink(DocBuilder& b, int32_t version, const DocLink& link) {
  b.Byte(link.type);
  if (link.type == 0) return;
  b.Str(link.link);
  if (version >= kLinkTarget) {
    b.Byte(link.target).Bool(!link.invalid);
  } else if (version >= kLinkTargetByte) {
    b.Byte(link.target);
  }
}

// The amounts of a row before kFormulas, by its layout.
void WriteOldAmounts(DocBuilder& b, int32_t version, const Cost& cost) {
  b.Byte(cost.layout);
  if (cost.layout == 0) {
    for (size_t c = 0; c < 4; ++c) b.Cur(Amount(cost, c));
    if (version >= kAmountsLink) {
      b.Byte(cost.link.type);
      if (cost.link.type != 0) b.Str(cost.link.link);
    }
  } else if (cost.layout == 1) {
    b.Byte(1).Byte(2).I32(1).I32(2).I32(3).I32(4).Byte(5);  // two bytes, four numbers, a byte
  } else if (cost.layout == 2) {
    b.Str("unused").Byte(9);
  }
}

}  // namespace

DocBuilder CostItem(const Cost& cost, int32_t version) {
  DocBuilder b;
  b.Byte(kCostItem).Head(cost.caption).Str(cost.basis);
  if (version < kRowAmounts) return b;
  if (version >= kRowOptions) b.Byte(cost.options);
  size_t columns = 4;  // written here; the last two follow the link before kSixColumns
  if (version >= kFormulas) {
    uint8_t formulas = 0;
    for (size_t c = 0; c < kColumns; ++c) {
      if (cost.formulas[c]) formulas |= static_cast<uint8_t>(1u << c);
    }
    b.Byte(formulas);
    if (version >= kSixColumns) columns = kColumns;
    for (size_t c = 0; c < columns; ++c) {
      if (cost.formulas[c]) {
        b.Str(*cost.formulas[c]);
      } else {
        b.Cur(Amount(cost, c));
      }
    }
    if (version >= kLinkRecord) {
      WriteDocLink(b, cost.link);
    } else {
      WriteOldLink(b, version, cost.link);
    }
  } else {
    WriteOldAmounts(b, version, cost);
  }
  for (size_t c = columns; c < kColumns; ++c) b.Cur(Amount(cost, c));
  b.Str(cost.id);
  if (version >= kCommentAndUserData) WriteUserData(b, cost.user_data);
  if (version < kOtherMethods) return b;
  for (const Amounts& block : cost.other_methods) {
    for (int64_t a : block) b.CurRaw(a);
  }
  return b.I32(cost.k);
}

DocBuilder HeaderItem(std::string_view caption) {
  return DocBuilder().Byte(kHeaderItem).Head(caption);
}

DocBuilder ChapterRecord(int32_t version, std::string_view caption, uint16_t count,
                         const DocBuilder& items) {
  DocBuilder b;
  if (version >= kChapterCaption) {
    b.Head(caption);
  } else {
    b.Head();
  }
  return b.I16(count).Append(items);
}

DocBuilder Document::Head() const {
  DocBuilder b;
  if (version >= kModeByte) {
    b.Byte(mode).Byte(stored ? *stored : static_cast<uint8_t>(chapters.size()));
  }
  if (version >= kThousands) b.Bool(thousands);
  if (version >= kModeByte) b.I16(reserved);
  if (version >= kRoundMode) b.Byte(round);
  for (const DocBuilder& chapter : chapters) b.Append(chapter);
  return b;
}

DocBuilder Document::Tail() const {
  DocBuilder b;
  if (version >= kConversionGroups) {
    WriteConversions(b, version, first_conversions);
    WriteConversions(b, version, second_conversions);
  }
  b.I16(summaries);
  if (version >= kSignatureList) {
    WriteSignatures(b, signatures);
  } else {
    for (size_t i = 0; i < SignatureTexts(version); ++i) {
      b.Str(i < signature_texts.size() ? signature_texts[i] : "");
    }
  }
  if (estimate && version >= kCcChapters) {
    for (uint8_t chapter : cc_chapters) b.Byte(chapter);
  } else if (estimate && version >= kCcChapter) {
    b.Byte(cc_chapters[0]);
  }
  if (version >= kCommentAndUserData) {
    b.Str(comment);
    WriteUserData(b, user_data);
  }
  if (version >= kVariables) WriteVariables(b, variables);
  return b;
}

std::string Document::Packed() const { return Packed(Tail()); }

std::string Document::Packed(const DocBuilder& tail) const {
  DocBuilder body = Head();
  body.Append(tail);
  return PackDocument(estimate ? 1 : 2, estimate ? "KD_ObjSm" : "KD_ConsC", version, body.Bytes());
}

}  // namespace kdx::test::objsmeta
