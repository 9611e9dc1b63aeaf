// data.xml read and written again: every document the reader takes (the
// fixtures, the example products, the fuzz corpus and the shapes of the
// hostile inputs) is a fixed point of reading and writing, and what the
// writer makes is well-formed XML to expat, a reader this project did not
// write. No fixture or example names an element the reader does not know,
// except the messy file, which holds one on purpose (its own test checks it).
#include <gtest/gtest.h>

#include <expat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "core/byte_stream.h"
#include "data/install_data.h"
#include "data/install_data_xml.h"
#include "platform/input_limits.h"
#include "support/diag_capture.h"
#include "support/external_tool.h"
#include "support/hostile_inputs.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;

struct Document {
    std::string name;
    std::string text;
    bool fixture;  // kept in the tree as an example of the format
};

void addFiles(std::vector<Document>& documents, const fs::path& folder, bool fixture,
              bool (*wanted)(const fs::path&))
{
    std::vector<fs::path> paths;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file() && wanted(entry.path()))
            paths.push_back(entry.path());
    }
    std::sort(paths.begin(), paths.end());
    for (const fs::path& path : paths) {
        const test::Bytes bytes = test::readFileBytes(path);
        documents.push_back({fs::relative(path, DRUVEX_SOURCE_DIR).string(), std::string(bytes.begin(), bytes.end()),
                             fixture});
    }
}

std::vector<Document> everyDocument()
{
    const fs::path source = DRUVEX_SOURCE_DIR;
    std::vector<Document> documents;
    addFiles(documents, source / "tests/data/datafiles", true, [](const fs::path& path) {
        return path.extension() == ".xml" && path.parent_path().filename() != "refused" &&
               path.filename() != "data_messy.xml";
    });
    addFiles(documents, source / "tests/data/datafiles", false,
             [](const fs::path& path) { return path.filename() == "data_messy.xml"; });
    addFiles(documents, source / "examples", true, [](const fs::path& path) {
        return path.extension() == ".xml" && path.filename().string().starts_with("data");
    });
    addFiles(documents, source / "tests/fuzz/corpus/data_xml", false, [](const fs::path&) { return true; });
    addFiles(documents, source / "tests/data/datafiles/refused", false, [](const fs::path&) { return true; });
    const int depth = static_cast<int>(kMaxXmlDocumentDepth);
    documents.push_back({"siblings", test::dataXmlWithSiblingFeatures(200), false});
    documents.push_back({"components", test::dataXmlWithComponentFeatures(200), false});
    documents.push_back({"controls", test::dataXmlWithLayoutControls(200), false});
    documents.push_back({"nested", test::dataXmlWithNestedFeatures(static_cast<int>(kMaxFeatureNesting) - 1), false});
    documents.push_back({"registry",
                         test::dataXmlDocument(test::featureStartTag("Reg") +
                                               test::registryFragmentWithNestedKeys(depth / 4) + "</Feature>"),
                         false});
    return documents;
}

std::string write(const InstallData& data, bool omitContents)
{
    std::vector<std::uint8_t> bytes;
    MemoryStream stream(bytes);
    EXPECT_TRUE(writeInstallDataXml(data, stream, omitContents));
    return std::string(bytes.begin(), bytes.end());
}

// Whether expat takes the document as well-formed XML; its reason when not.
std::string expatRefusal(const std::string& document)
{
    XML_Parser parser = XML_ParserCreate(nullptr);
    const bool parsed = XML_Parse(parser, document.data(), static_cast<int>(document.size()), 1) == XML_STATUS_OK;
    std::string reason;
    if (!parsed) {
        reason = std::string(XML_ErrorString(XML_GetErrorCode(parser))) + " at line " +
                 std::to_string(XML_GetCurrentLineNumber(parser));
    }
    XML_ParserFree(parser);
    return reason;
}

TEST(DataXmlRoundTrip, EveryDocumentTakenIsAFixedPointThatExpatAccepts)
{
    int taken = 0;
    for (const Document& document : everyDocument()) {
        SCOPED_TRACE(document.name);
        InstallData data;
        std::vector<SharedString> unknown;
        const bool read =
            readInstallDataXml(data, document.text.data(), document.text.size(), nullptr, nullptr, &unknown);
        if (document.fixture) {
            EXPECT_TRUE(read);
            EXPECT_TRUE(unknown.empty()) << testing::PrintToString(unknown.front());
        }
        if (!read)
            continue;
        ++taken;
        for (const bool omitContents : {false, true}) {
            SCOPED_TRACE(omitContents ? "without contents" : "whole");
            const std::string written = write(data, omitContents);
            EXPECT_EQ(expatRefusal(written), "");
            InstallData again;
            std::vector<SharedString> unknownAgain;
            ASSERT_TRUE(readInstallDataXml(again, written.data(), written.size(), nullptr, nullptr, &unknownAgain));
            EXPECT_TRUE(unknownAgain.empty());
            EXPECT_EQ(write(again, omitContents), written);
        }
    }
    EXPECT_GE(taken, 12);
}

}  // namespace
}  // namespace druvex
