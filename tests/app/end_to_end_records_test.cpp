// The records a feature's package carries beside its files, from end to end:
// Core's package holds one fragment of each kind (registry, environment
// variables, file associations, feature scripts, shortcuts, web-server
// settings), made with the project's package writer. A silent installation
// puts each where it belongs: the registry and the file types in the
// device's registry, the shortcut in the programs menu, the feature script
// run, and the records in the installed log; the uninstallation reads them
// back from there and takes them away again.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "data/feature.h"
#include "data/installed_log.h"
#include "end_to_end_fixture.h"
#include "package_writer/package_writer.h"

namespace druvex {
namespace {

namespace fs = std::filesystem;
using test::ProductFeature;
using test::RunResult;

// Written as the tools that make packages write them, one fragment a kind.
const char kRegistry[] = R"(<Registry><HKEY_LOCAL_MACHINE><Key Name="Software" Flag="SystemReadOnly">)"
                         R"(<Key Name="FieldDemo" Flag="Automatic"><Value Name="InstallDir" Format="String" )"
                         R"(Data="&lt;TARGETDIR&gt;"/></Key></Key></HKEY_LOCAL_MACHINE></Registry>)";
const char kEnvironment[] = R"(<EnvironmentVars><EnvironmentVar Name="FIELD_DEMO" Value="&lt;TARGETDIR&gt;" )"
                            R"(Type="System" AddMode="Create" Placement="Replace" RepInUpgrade="No"/>)"
                            R"(</EnvironmentVars>)";
const char kAssociations[] = R"(<FileAssociations><FileAssociation ProgId="FieldDemo.Job" Description="Field job" )"
                             R"(IconPath=""><FileExtensions><FileExtension Name=".fjob" )"
                             R"(Command="&lt;TARGETDIR&gt;\core-0.txt" ExpAssReset="None"><FileActions>)"
                             R"(<FileAction Type="open" Arguments="&quot;%1&quot;"/></FileActions></FileExtension>)"
                             R"(</FileExtensions></FileAssociation></FileAssociations>)";
const char kScripts[] = R"x(<FeatureScripts>)x"
                        R"x(<FeatureScript Name="mark" ExecutionTime="onInstall" )x"
                        R"x(Script="if not HalOut:createDirectory('\\Temp\\CoreInstalled') then )x"
                        R"x(error('no mark') end"/>)x"
                        R"x(<FeatureScript Name="unmark" ExecutionTime="onUninstall" )x"
                        R"x(Script="HalOut:removeDirectory('\\Temp\\CoreInstalled')"/>)x"
                        R"x(</FeatureScripts>)x";
const char kShortcuts[] = R"(<Shortcuts><Shortcut Name="Field Demo" LinkPos="MenuPrograms" )"
                          R"(LinkedTo="&lt;TARGETDIR&gt;\core-0.txt" FolderName=""/></Shortcuts>)";
const char kWebServer[] = R"(<InternetInformationServices><AppPools><AppPool Name="FieldPool"/></AppPools>)"
                          R"(</InternetInformationServices>)";

class EndToEndRecords : public test::EndToEndRuns {
protected:
    // Core's package: its files below "<TARGETDIR>", a fragment of each kind first.
    test::Bytes corePackage(const ProductFeature& core)
    {
        tools::PackageWriter writer;
        const std::pair<std::uint32_t, const char*> fragments[] = {{3, kRegistry},     {4, kEnvironment},
                                                                   {5, kAssociations}, {6, kScripts},
                                                                   {8, kShortcuts},    {9, kWebServer}};
        for (const auto& [type, xml] : fragments)
            writer.addData(type, test::toBytes(xml));
        const test::ScratchDir sources;
        for (const auto& [name, text] : core.files) {
            fs::create_directories((sources.path() / name).parent_path());
            test::writeFileBytes(sources.path() / name, test::toBytes(text));
        }
        std::string reason;
        EXPECT_TRUE(tools::addFolderTree(writer, sources.path(), u"<TARGETDIR>", reason)) << reason;
        return writer.build();
    }

    std::string registry() { return test::textOf(test::readFileBytes(device().directory() / "registry.reg")); }

    FeaturePtr installedCore()
    {
        const test::Bytes bytes = test::readFileBytes(device().hostPath(test::kDataFolder + "/InstalledLog.xml"));
        InstalledLog log;
        EXPECT_TRUE(log.loadFromBuffer(bytes.data(), bytes.size()));
        for (int index = 0; index < log.getFeatureCount(); ++index) {
            if (log.getFeature(index)->getName() == u"Feature/Core")
                return log.getFeature(index);
        }
        return nullptr;
    }
};

TEST_F(EndToEndRecords, EveryKindOfRecordAPackageCarriesLandsWhereItBelongs)
{
    const std::vector<ProductFeature> features = test::productFeatures();
    const SharedString coreName = fromUtf8(test::archiveName(features[0]));
    test::EntrySource core = test::codedEntry(coreName.c_str(), kPayloadMethodLzma, corePackage(features[0]));
    core.unpacked = static_cast<std::uint32_t>(fileBytes(features[0].files));
    const fs::path setup = placeInstaller("Setup", test::dataXml(features),
                                          std::vector<ProductFeature>(features.begin() + 1, features.end()), {core});

    expectCompleted(run(setup, {"silent_mode"}));
    expectInstalledFeatures(features);
    const std::string written = registry();
    // <TARGETDIR> is the destination as the installer joins it: "\Program Files/FieldDemo".
    for (const char* entry : {"[HKEY_LOCAL_MACHINE\\Software\\FieldDemo]\n"
                              "\"InstallDir\"=\"\\\\Program Files/FieldDemo\"",
                              "[HKEY_CLASSES_ROOT\\.fjob]\n@=\"FieldDemo.Job\"",
                              "[HKEY_CLASSES_ROOT\\FieldDemo.Job]\n@=\"Field job\"",
                              "[HKEY_CLASSES_ROOT\\FieldDemo.Job\\shell\\open\\command]\n"
                              "@=\"\\\\Program Files/FieldDemo\\\\core-0.txt \\\"%1\\\"\""})
        EXPECT_NE(written.find(entry), std::string::npos) << entry << "\n" << written;
    EXPECT_TRUE(device().exists("Windows/Start Menu/Programs/Field Demo.lnk"));
    EXPECT_TRUE(device().exists("Temp/CoreInstalled"));
    const FeaturePtr installed = installedCore();
    ASSERT_TRUE(installed);
    EXPECT_EQ(installed->shortcutCount(), 1);
    ASSERT_EQ(installed->environmentVarCount(), 1);
    EXPECT_EQ(installed->environmentVarAt(0)->name, u"FIELD_DEMO");
    ASSERT_EQ(installed->fileAssociationCount(), 1);
    EXPECT_EQ(installed->fileAssociationAt(0)->progId, u"FieldDemo.Job");
    EXPECT_EQ(installed->featureScriptCount(), 2);
    EXPECT_TRUE(installed->getRegistry().findKey(2, u"Software\\FieldDemo"));

    // The uninstallation knows the records from the installed log alone.
    expectCompleted(run(setup, {"uninstall_mode", "silent_mode"}));
    const std::string left = registry();
    for (const char* key : {"[HKEY_LOCAL_MACHINE\\Software\\FieldDemo]", "[HKEY_CLASSES_ROOT\\.fjob]",
                            "[HKEY_CLASSES_ROOT\\FieldDemo.Job"})
        EXPECT_EQ(left.find(key), std::string::npos) << key << "\n" << left;
    EXPECT_FALSE(device().exists("Windows/Start Menu/Programs/Field Demo.lnk"));
    EXPECT_FALSE(device().exists("Temp/CoreInstalled"));
}

}  // namespace
}  // namespace druvex
