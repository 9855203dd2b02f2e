// Rows several document kinds hold, written from content: document signatures
// (the list of today's files), variables, user data and the price container.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "support/builder.h"

namespace kdx::test {

struct SignAttribute {
  std::string caption;
  int32_t id = 0;
  std::string value;
};
struct Signature {
  std::string role;
  int32_t id = 0;
  std::string value;
  std::vector<SignAttribute> attributes{};
  std::string attributes_caption{};
};
struct Signatures {
  std::string caption{};
  std::vector<Signature> items{};
};

struct Variable {
  std::string caption, identifier, formula;
};

using UserTexts = std::array<std::string, 10>;

// The price container's columns: current price, its second part, base price,
// its second part. The flags byte announces each stored value and text.
inline constexpr size_t kPriceColumns = 4;
inline constexpr uint8_t kPriceValue = 0x01;  // shifted by the column
inline constexpr uint8_t kPriceText = 0x10;   // shifted by the column
using PriceTexts = std::array<std::optional<std::string>, kPriceColumns>;
struct Prices {
  PriceTexts values{};  // amounts as decimal text
  PriceTexts texts{};
};

// A link to another document: its type (0 none), and for a linked type the
// file or base it names, the target kind and whether the link was found
// invalid the last time.
struct DocLink {
  uint8_t type = 0;
  std::string link{};
  uint8_t target = 0;
  bool invalid = false;
};

// The signature list: its caption, then each signature with its attributes.
void WriteSignatures(DocBuilder& b, const Signatures& s);
// The count, then each variable: caption, identifier, formula.
void WriteVariables(DocBuilder& b, const std::vector<Variable>& list);
// The user data row: a presence mask of the ten texts, then the texts given.
void WriteUserData(DocBuilder& b, const UserTexts& data);
// The price container: its head and flags, the values given (amounts as
// decimal text), then the texts given.
// The link record: its head, the format byte, the type and, for a linked
// type, the link, the target and the state.
void WriteDocLink(DocBuilder& b, const DocLink& link);
void WritePrices(DocBuilder& b, const PriceTexts& values, const PriceTexts& texts = {});

}  // namespace kdx::test
