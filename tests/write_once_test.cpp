// A document written once frees the items of the lists that allow it as soon
// as they are written, and gives the same XML as a document written and kept.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "api/convert.h"
#include "filer/errors.h"
#include "support/model_fixtures.h"
#include "xml/xml_writer.h"

namespace kdx::test {
namespace {

using Log = std::vector<std::string>;

// A row that notes when it is written and when it is freed.
class NotingRow : public TKDXAbstractRow {
 public:
  NotingRow(TKDXAbstractRow* owner, Log& log, std::string name)
      : TKDXAbstractRow(owner), log_(log), name_(std::move(name)) {}
  ~NotingRow() override { log_.push_back("free " + name_); }
  const char* XMLTag() const override { return "Row"; }
  void XMLSave(XmlElement element) override {
    log_.push_back("write " + name_);
    WriteAttrStr(element, "Name", name_);
  }

 private:
  Log& log_;
  std::string name_;
};

class NotingList : public TKDXAbstractObjectList {
 public:
  NotingList(TKDXAbstractRow* owner, bool frees)
      : TKDXAbstractObjectList(owner, 0), frees_(frees) {}
  const char* XMLTag() const override { return frees_ ? "Freed" : "Kept"; }
  std::unique_ptr<TKDXAbstractRow> CreateItem(uint8_t /*type*/) override { return nullptr; }
  bool FreesWrittenItems() const override { return frees_; }
  void Fill(Log& log, const char* prefix) {
    for (int i = 0; i < 2; ++i) {
      InsertRow(std::make_unique<NotingRow>(this, log, prefix + std::to_string(i)));
    }
  }

 private:
  bool frees_;
};

class TwoLists : public TestEstimate {
 public:
  explicit TwoLists(Log& log) : TestEstimate(kLatest), kept_(this, false), freed_(this, true) {
    kept_.Fill(log, "k");
    freed_.Fill(log, "f");
  }

 protected:
  void XMLSaveBody(XmlElement element) override {
    freed_.XMLSaveToChild(element);
    kept_.XMLSaveToChild(element);
  }

 private:
  NotingList kept_, freed_;
};

std::string Written(TKDXAbstractDocData& doc, bool once) {
  XmlBytes out;
  XmlWriter xml(Conventions(), out);
  XmlElement root = xml.Root("Document");
  if (once) {
    doc.XMLSaveOnce(root);
  } else {
    doc.XMLSave(root);
  }
  xml.Finish();
  return out.Text();
}

TEST(WriteOnce, FreesTheItemsOfListsThatAllowItAsTheyAreWritten) {
  Log log;
  auto doc = std::make_unique<TwoLists>(log);
  const std::string kept_xml = Written(*doc, false);
  EXPECT_EQ(log, (Log{"write f0", "write f1", "write k0", "write k1"}));

  log.clear();
  EXPECT_EQ(Written(*doc, true), kept_xml);
  EXPECT_EQ(log, (Log{"write f0", "free f0", "write f1", "free f1", "write k0", "write k1"}));
  log.clear();
  doc.reset();
  EXPECT_EQ(log, (Log{"free k0", "free k1"}));
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Every corpus document and sample that loads: the XML of the document
// written once (rows freed on the way, positions before the defects list that
// refers to them) equals the XML of the document written and kept.
TEST(WriteOnce, GivesTheXmlOfTheDocumentWrittenAndKept) {
  const std::filesystem::path root(KDX2XML_SOURCE_DIR);
  std::vector<std::filesystem::path> files;
  for (const auto& dir : {root / "tests" / "conformance", root / "examples"}) {
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
      if (entry.path().extension() == ".kdx") files.push_back(entry.path());
    }
  }
  ASSERT_GT(files.size(), 100u);
  size_t compared = 0;
  for (const auto& file : files) {
    const std::string bytes = ReadFile(file);
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    std::unique_ptr<TKDXAbstractDocData> kept;
    try {
      kept = LoadDocument(data, bytes.size(), Conventions());
    } catch (const KdxError&) {
      continue;  // a document that fails has no XML
    }
    XmlBytes once;
    WriteXml(LoadDocument(data, bytes.size(), Conventions()), Conventions(), once);
    XmlBytes whole;
    XmlWriter xml(Conventions(), whole);
    XmlElement element = xml.Root("Document");
    SetAttr(element, "ProgramVersion", Conventions().program_version);
    kept->XMLSave(element);
    xml.Finish();
    EXPECT_EQ(once.Text(), whole.Text()) << file;
    ++compared;
  }
  EXPECT_GT(compared, 100u);
}

}  // namespace
}  // namespace kdx::test
