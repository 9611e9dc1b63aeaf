// The second example product, Field Suite, as its generator makes it, for the
// end-to-end runs that install it.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "end_to_end_fixture.h"

namespace druvex::test {

inline const std::filesystem::path kExamples = std::filesystem::path(DRUVEX_SOURCE_DIR) / "examples";

// Every file below the folder by its path relative to it, with '/'.
inline std::map<std::string, std::string> filesBelow(const std::filesystem::path& folder)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file())
            files[std::filesystem::relative(entry.path(), folder).generic_string()] =
                textOf(readFileBytes(entry.path()));
    }
    return files;
}

class FieldSuiteRuns : public EndToEndRuns {
protected:
    // Runs the product's generator (`--small` for its small size) and takes
    // the product's installer data and layout.
    void makeFieldSuite(const std::string& size)
    {
        const ToolResult made = runTool("python3 '" + (kExamples / "make_field_suite.py").string() + "' " + size +
                                        " '" + product_.path().string() + "' 2>&1");
        ASSERT_EQ(made.exitCode, 0) << textOf(made.output);
        data_ = textOf(readFileBytes(kExamples / "field-suite" / "data.xml"));
        layout_.destination = "Program Files/FieldSuite";
        layout_.dataFolder = "Windows/_QuendaSuperInstaller/{65C9025D-A7B6-5716-BC79-90B288A51CC1}";
        layout_.installerInfo = textOf(readFileBytes(kExamples / "field-suite" / "InstallerInfo.xml"));
    }

    // The named packages with the files the generator made, of that Version.
    std::vector<ProductFeature> packagesOf(const std::vector<std::string>& names, const std::string& version) const
    {
        std::vector<ProductFeature> features;
        for (const std::string& name : names)
            features.push_back({name, version, filesBelow(product_.path() / name), ""});
        return features;
    }

    ScratchDir product_;
    std::string data_;
};

}  // namespace druvex::test
