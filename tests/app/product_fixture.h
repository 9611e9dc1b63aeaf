// The test product of the program's runs on test devices: three features
// of many files, its installer data, and a device with the installer placed
// on it, each feature a package in the installer's archive; what the
// installed log lists and what the device holds afterwards.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "../payload/payload_test_support.h"
#include "data/content_tree.h"
#include "data/feature.h"
#include "data/installed_log.h"
#include "package_writer/package_writer.h"
#include "payload/entry_encoder.h"
#include "program_fixture.h"
#include "support/device_fixture.h"
#include "support/package_fixtures.h"
#include "support/xlate_file.h"

namespace druvex::test {

namespace fs = std::filesystem;

inline const std::string kDestination = "Program Files/FieldDemo";
inline const std::string kDataFolder = "Windows/_QuendaSuperInstaller/{8C2F4D1E-6A3B-4C59-9E07-1B2D3F4A5C6E}";

// A feature of the test product: its Version and its files (relative path
// with '/', content).
struct ProductFeature {
    std::string name;
    std::string version = "1.0";
    std::map<std::string, std::string> files;
    // Elements inside the feature's element of the installer data.
    std::string elements;
};

// `count` files in three folders, of sizes from a few bytes to tens of
// kilobytes, whose text depends on the feature and its edition.
inline std::map<std::string, std::string> makeFiles(const std::string& feature, const std::string& edition, int count)
{
    std::map<std::string, std::string> files;
    for (int i = 0; i < count; ++i) {
        const std::string folder = i % 3 == 0 ? "" : (i % 3 == 1 ? "data/" : "data/deep/");
        std::string text = feature + " " + edition + " file " + std::to_string(i) + "\n";
        const int repeats = i % 5 == 0 ? 2000 : 20 + i;
        for (int line = 0; line < repeats; ++line)
            text += "line " + std::to_string(line) + " of " + feature + "\n";
        files[folder + feature + "-" + std::to_string(i) + ".txt"] = text;
    }
    return files;
}

inline std::vector<ProductFeature> productFeatures()
{
    return {{"Core", "1.0", makeFiles("core", "1.0", 30), ""},
            {"Maps", "1.0", makeFiles("maps", "1.0", 30), ""},
            {"Help", "1.0", makeFiles("help", "1.0", 30), ""}};
}

// The test product whose Core needs the redistributable "Runtime"
// (ProductFixture::placeInstallerWithRuntime).
inline std::vector<ProductFeature> featuresNeedingRuntime()
{
    std::vector<ProductFeature> features = productFeatures();
    features[0].elements = "<RequiresRedist><Redist>Runtime</Redist></RequiresRedist>";
    return features;
}

// The installer data of the product: the features, and what a test adds to
// the supported platform, the settings and, last, the custom actions and
// custom pages (customPageXml in custom_page_xml.h).
inline std::string dataXml(const std::vector<ProductFeature>& features, const std::string& requirements = "",
                    const std::string& settings = "", const std::string& customActions = "",
                    const std::string& platform = "Wm6")
{
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<data>\n <Version>3</Version>\n"
        " <SupportedPlatforms><Platform Type=\"" + platform + "\"><Requirements>" +
        requirements +
        "</Requirements></Platform></SupportedPlatforms>\n"
        " <Variables>\n"
        "  <Variable Type=\"ProgramName\" Value=\"Field Demo\"/>\n"
        "  <Variable Type=\"ProgramUuid\" Value=\"{8C2F4D1E-6A3B-4C59-9E07-1B2D3F4A5C6E}\"/>\n"
        "  <Variable Type=\"ProgramVersion\" Value=\"1.0\"/>\n"
        "  <Variable Type=\"InstallFolderMobile\" Value=\"FieldDemo\"/>\n" +
        settings +
        " </Variables>\n <Features>\n"
        "  <Feature Name=\"Feature\" Prompt=\"\" FullInst=\"Yes\" ReqSpace=\"0\" Digest=\"\" Timestamp=\"0\" "
        "Version=\"\" Desc=\"\" Presel=\"Not preselected\" Mode=\"Not visible\" LocaleId=\"0\">\n   <SubFeatures>\n";
    for (const ProductFeature& feature : features) {
        xml += "    <Feature Name=\"" + feature.name + "\" Prompt=\"" + feature.name +
               "\" FullInst=\"Yes\" ReqSpace=\"1048576\" Digest=\"\" Timestamp=\"0\" Version=\"" + feature.version +
               "\" Desc=\"\" Presel=\"" + (feature.name == "Core" ? "Required" : "Default") +
               "\" Mode=\"Expanded\" LocaleId=\"0\"" +
               (feature.elements.empty() ? "/>\n" : ">" + feature.elements + "</Feature>\n");
    }
    return xml + "   </SubFeatures>\n  </Feature>\n </Features>\n" + customActions + "</data>\n";
}

// The product's installer data with an English licence, and the custom
// actions and settings given.
inline std::string licencedData(const std::vector<ProductFeature>& features, const std::string& actions = "",
                                const std::string& settings = "")
{
    std::string xml = dataXml(features, "", settings, actions);
    const std::string attributes = "Prompt=\"\" FullInst=\"Yes\" ReqSpace=\"0\" Digest=\"\" Timestamp=\"0\" "
                                   "Version=\"\" Desc=\"\" Presel=\"Not preselected\"";
    const std::string licence = "  <Feature Name=\"ExtraData\" " + attributes +
                                " Mode=\"Not visible\" LocaleId=\"0\">\n   <SubFeatures>\n    <Feature Name=\"EULA\" " +
                                attributes + " Mode=\"Collapsed\" LocaleId=\"0\">\n     <SubFeatures>\n"
                                "      <Feature Name=\"English\" " + attributes + " Mode=\"Collapsed\" LocaleId=\"1033\"/>\n"
                                "     </SubFeatures>\n    </Feature>\n   </SubFeatures>\n  </Feature>\n";
    xml.insert(xml.find(" </Features>"), licence);
    return xml;
}

inline const char kInstallerInfo[] =
    "<InstallerConfiguration InstallerType=\"Full\" InstallerPlat=\"Controller\" TargetPlatMask=\"Wm6\"/>";

// A custom action that holds the installation after its files are in place:
// it tells so in a message box, then waits until the test puts \Temp\go.txt
// on the device, so that a test sees the installation page mid-run and may
// leave it there.
inline const std::string kGateAction =
    " <CustomActions>\n  <CustomAction Name=\"Gate\" Prompt=\"\" FullInst=\"Yes\" ReqSpace=\"0\" Digest=\"\" "
    "Timestamp=\"0\" Version=\"\" ActionType=\"RunScript\" InstallerType=\"Both\" StoreLocation=\"InsideInstaller\" "
    "ExecutionMask=\"15\" Command=\"gate.lua\" Param=\"\" PostInstallMode=\"DontShow\" PostInstallText=\"\">\n"
    "   <Content><Folder Name=\"&lt;TARGETDIR&gt;\" Flags=\"0\"><File Name=\"gate.lua\" Flags=\"0\" "
    "OrigPath=\"\"/></Folder></Content>\n  </CustomAction>\n </CustomActions>\n"
    " <CustomActionsSequence>[INSTALL-REGISTRY]Gate;</CustomActionsSequence>\n";
inline const char kGateScript[] = "function Main()\n"
                           "  DQ_MessageBox('The files are in place.')\n"
                           "  while not HalIn:exists('\\\\Temp\\\\go.txt') do end\n"
                           "end\n";

// The archive entry of the feature's package: its path below "Feature"
// (a sub-feature's name holds '/'), its Version, every '/' turned into '_'.
inline std::string archiveName(const ProductFeature& feature)
{
    std::string name = "Feature_" + feature.name + "_" + feature.version + "_.lzma";
    std::replace(name.begin(), name.end(), '/', '_');
    return name;
}

// Where a product lands on the device and the build its installer is: the
// test product's unless a fixture names another product.
struct ProductLayout {
    std::string destination = kDestination;
    std::string dataFolder = kDataFolder;
    std::string installerInfo = kInstallerInfo;
};

class ProductFixture : public DeviceFixture {
protected:
    ProductLayout layout_;

    std::string deviceIni() const override
    {
        // The store holds what the runs write, the installer's copy of itself
        // among them (a sanitizer build's program is some 150 MB).
        return "[Device]\nForceDeviceType=18\nOsVersion=5.2\n\n[Store:\\]\nTotal=8589934592\nFree=4294967296\n";
    }
    void SetUp() override
    {
        DeviceFixture::SetUp();
        device().makeStandardFolders();
    }

    // The installer as \Temp\<folder>\FieldSetup.exe with its archive
    // beside it as setup.dqres: the installer data, the build, a package per
    // feature, and the entries given.
    fs::path placeInstaller(const std::string& folder, const std::string& data,
                            const std::vector<ProductFeature>& features,
                            std::vector<EntrySource> entries = {})
    {
        entries.push_back(codedEntry(u"Data", kPayloadMethodLzma, toBytes(data)));
        entries.push_back(codedEntry(u"InstallerInfo", kPayloadMethodLzma, toBytes(layout_.installerInfo)));
        for (const ProductFeature& feature : features) {
            EntrySource entry = codedEntry(fromUtf8(archiveName(feature)).c_str(), kPayloadMethodLzma,
                                                       packageOf(feature.files));
            entry.unpacked = static_cast<std::uint32_t>(fileBytes(feature.files));
            entries.push_back(std::move(entry));
        }
        const fs::path installer = device().hostPath("Temp/" + folder);
        fs::create_directories(installer);
        fs::copy_file(kSetupProgram, installer / "FieldSetup.exe");
        writeFileBytes(installer / "setup.dqres", buildArchive(entries));
        return installer / "FieldSetup.exe";
    }

    // The installer of the product whose Core (featuresNeedingRuntime) needs
    // the redistributable "Runtime", whose installer puts
    // \Windows\runtime.dll on the device, and whose custom action at the end
    // of the installation fails while \Temp\fail.txt is there.
    fs::path placeInstallerWithRuntime(const std::vector<ProductFeature>& features)
    {
        const std::string list =
            "<RedistInfo><Redistributable Name=\"Runtime\" Version=\"1.0\" DisplayName=\"Survey runtime\">"
            "<Check>function check()\n"
            "  if HalOut:exists('\\\\Windows\\\\runtime.dll') then return 1, 'present' end\n"
            "  return 0, 'missing'\nend</Check></Redistributable></RedistInfo>";
        const std::map<std::string, std::string> runtime{
            {"setup.lua", utf16leFromUtf8("function install()\n"
                                          "  if not HalIn:copyFile(DQ_GetCustomActionExecFolder() .. "
                                          "'\\\\runtime.dll', '\\\\Windows\\\\runtime.dll', false) then "
                                          "error('not copied') end\n"
                                          "  return 1\nend\n")},
            {"runtime.dll", "the runtime"}};
        const std::string actions =
            " <CustomActions>\n  <CustomAction Name=\"Finish\" Prompt=\"\" FullInst=\"Yes\" ReqSpace=\"0\" Digest=\"\" "
            "Timestamp=\"0\" Version=\"\" ActionType=\"RunScript\" InstallerType=\"Both\" "
            "StoreLocation=\"InsideInstaller\" ExecutionMask=\"15\" Command=\"finish.lua\" Param=\"\" "
            "PostInstallMode=\"DontShow\" PostInstallText=\"\">\n"
            "   <Content><Folder Name=\"&lt;TARGETDIR&gt;\" Flags=\"0\"><File Name=\"finish.lua\" Flags=\"0\" "
            "OrigPath=\"\"/></Folder></Content>\n  </CustomAction>\n </CustomActions>\n"
            " <CustomActionsSequence>[INSTALL-EXIT]Finish;</CustomActionsSequence>\n";
        const std::map<std::string, std::string> finish{
            {"finish.lua", utf16leFromUtf8("function Main()\n"
                                           "  if HalIn:exists('\\\\Temp\\\\fail.txt') then error('told to fail') end\n"
                                           "end\n")}};
        // The installer data lists the redistributable in its "ExtraData" tree
        // too, as the tools that write it do.
        std::string data = dataXml(features, "", "", actions);
        const std::string attributes = "Prompt=\"\" FullInst=\"Yes\" ReqSpace=\"0\" Digest=\"\" Timestamp=\"0\" "
                                       "Desc=\"\" Presel=\"Not preselected\" LocaleId=\"0\"";
        data.insert(data.find(" </Features>"),
                    "  <Feature Name=\"ExtraData\" Version=\"\" Mode=\"Not visible\" " + attributes +
                        ">\n   <SubFeatures>\n    <Feature Name=\"Redist\" Version=\"\" Mode=\"Collapsed\" " +
                        attributes + ">\n     <SubFeatures>\n      <Feature Name=\"Runtime\" Version=\"1.0\" "
                        "Mode=\"Collapsed\" " + attributes +
                        "/>\n     </SubFeatures>\n    </Feature>\n   </SubFeatures>\n  </Feature>\n");
        return placeInstaller(
            "Setup", data, features,
            {codedEntry(u"ExtraData/Redist/RedistInfo", kPayloadMethodLzma, toBytes(list)),
             codedEntry(u"ExtraData_Redist_Runtime", kPayloadMethodLzma, packageOf(runtime)),
             codedEntry(u"Finish__.lzma", kPayloadMethodLzma, packageOf(finish))});
    }

    // The package of the gate's script (kGateAction), as its entry.
    EntrySource gateEntry()
    {
        return codedEntry(u"Gate__.lzma", kPayloadMethodLzma, packageOf({{"gate.lua", utf16leFromUtf8(kGateScript)}}));
    }
    // Lets the gate's script end.
    void openGate() { device().writeFile("Temp/go.txt", "go"); }

    // A feature package of the files below "<TARGETDIR>".
    Bytes packageOf(const std::map<std::string, std::string>& files)
    {
        const ScratchDir sources;
        for (const auto& [name, text] : files) {
            fs::create_directories((sources.path() / name).parent_path());
            std::ofstream(sources.path() / name, std::ios::binary) << text;
        }
        tools::PackageWriter writer;
        std::string reason;
        EXPECT_TRUE(tools::addFolderTree(writer, sources.path(), u"<TARGETDIR>", reason)) << reason;
        return writer.build();
    }
    static std::uint64_t fileBytes(const std::map<std::string, std::string>& files)
    {
        std::uint64_t total = 0;
        for (const auto& [name, text] : files)
            total += text.size();
        return total;
    }

    // The files the installed log lists, relative to fs/ with '/'; empty
    // when there is no installed log.
    std::set<std::string> installedLogFiles(std::map<std::string, std::string>* versions = nullptr)
    {
        std::set<std::string> files;
        const fs::path path = device().hostPath(layout_.dataFolder + "/InstalledLog.xml");
        if (!fs::exists(path))
            return files;
        const Bytes bytes = readFileBytes(path);
        InstalledLog log;
        EXPECT_TRUE(log.loadFromBuffer(bytes.data(), bytes.size()));
        for (int index = 0; index < log.getFeatureCount(); ++index) {
            const FeaturePtr& feature = log.getFeature(index);
            if (versions)
                (*versions)[narrow(feature->getName().view())] = narrow(feature->getVersion().view());
            for (const auto& item : feature->contentFolder()->children()) {
                std::string name = narrow(item->getName().view());
                std::replace(name.begin(), name.end(), '\\', '/');
                files.insert(name.substr(name.find_first_not_of('/')));
            }
        }
        return files;
    }

    // Every file of the features stands below the destination with its
    // bytes, and the installed log lists exactly them.
    void expectInstalledFeatures(const std::vector<ProductFeature>& features)
    {
        std::set<std::string> expected;
        for (const ProductFeature& feature : features) {
            for (const auto& [name, text] : feature.files) {
                const std::string path = layout_.destination + "/" + name;
                expected.insert(path);
                ASSERT_TRUE(device().exists(path)) << name;
                EXPECT_TRUE(device().readFile(path) == text) << name << " differs";
            }
        }
        std::map<std::string, std::string> versions;
        EXPECT_EQ(installedLogFiles(&versions), expected);
        for (const ProductFeature& feature : features)
            EXPECT_EQ(versions["Feature/" + feature.name], feature.version) << feature.name;
    }

    // Every file below fs/ (or one folder of it) with its content, leaving
    // out the installers' folders below \Temp.
    std::map<std::string, std::string> deviceFiles(const std::string& folder = "")
    {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(device().hostPath(folder))) {
            const std::string relative = fs::relative(entry.path(), device().fsFolder()).generic_string();
            if (entry.is_regular_file() && !relative.starts_with("Temp/"))
                files[relative] = device().readFile(relative);
        }
        return files;
    }
};

}  // namespace druvex::test
