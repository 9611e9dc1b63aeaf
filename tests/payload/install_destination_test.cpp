// The destination record: package nodes under "<TARGETDIR>" and under other
// bracketed roots resolved for the target's platform and user scope, paths
// that do not expand, and a package unpacked through the record onto a device.
#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "data/content_tree.h"
#include "data/install_data.h"
#include "hal/device_identity.h"
#include "package_writer/package_writer.h"
#include "payload/install_destination.h"
#include "payload_test_support.h"
#include "support/package_fixtures.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

// A device host whose special folders and device type come from the test.
class FolderHost final : public HalAccessWinCE {
public:
    bool getSpecialFolderPath(int csidl, SharedString& path) override
    {
        const auto found = folders.find(csidl);
        if (found == folders.end())
            return false;
        path = found->second;
        return true;
    }
    ConnectionState getDeviceType(DeviceType& type, bool) override
    {
        type = deviceType;
        return ConnectionState::DEVICE_CONNECTED;
    }

    std::map<int, SharedString> folders = {
        {26, u"\\Application Data\\"}, {36, u"\\Windows\\"}, {38, u"\\Program Files\\"}};
    DeviceType deviceType = DeviceType::TS_QM40;
};

class FakeDestinationContext final : public DestinationContext {
public:
    InstallData& getInstallData() override { return data; }
    bool isForAnyone() const override { return forAnyone; }

    InstallData data;
    bool forAnyone = true;
};

// A tree as the unpacker builds it: root folder, then "<TOP>/a/b/file".
struct NodeTree {
    explicit NodeTree(const char16_t* top)
    {
        topFolder = std::make_shared<ContentFolder>(SharedString(top));
        root.addChild(topFolder);
        auto sub = std::make_shared<ContentFolder>(SharedString(u"jobs"));
        topFolder->addChild(sub);
        file = std::make_shared<ContentFile>(SharedString(u"a.job"));
        sub->addChild(file);
    }

    ContentFolder root;
    std::shared_ptr<ContentFolder> topFolder;
    std::shared_ptr<ContentFile> file;
};

class InstallDestinationTest : public ::testing::Test {
protected:
    InstallDestinationTest()
    {
        auto data = InstallerVariable::create(u"DATA_FOLDER");
        data->setValue(kPlatformQm40, kVariableAllUsers, u"<TARGETDIR>\\data");
        data->setValue(kPlatformAll, kVariableAllUsers, u"\\Data");
        context_.data.append(data);
    }

    FakeDestinationContext context_;
    std::shared_ptr<FolderHost> host_ = std::make_shared<FolderHost>();
    InstallDestination destination_{context_, host_, SharedString(u"\\Program Files\\Survey")};
};

TEST_F(InstallDestinationTest, NodesResolveUnderTheirTopFolderForTheTargetsPlatform)
{
    const struct {
        const char16_t* top;
        const char16_t* file;    // the file two levels down
        const char16_t* folder;  // the top folder itself
    } cases[] = {
        {u"<TARGETDIR>", u"\\Program Files\\Survey/jobs/a.job", u"\\Program Files\\Survey"},
        {u"<targetdir>", u"\\Program Files\\Survey/jobs/a.job", u"\\Program Files\\Survey"},
        {u"<INSTALLDIR>", u"\\Program Files\\Survey/jobs/a.job", u"\\Program Files\\Survey"},
        {u"<WINDOWS>", u"\\Windows\\jobs/a.job", u"\\Windows\\"},
        // An installer variable that is a folder in its own right, per platform.
        {u"<DATA_FOLDER>", u"\\Program Files\\Survey\\data/jobs/a.job", u"\\Program Files\\Survey\\data"},
        // Unknown roots and folders the host cannot give resolve to nothing.
        {u"<NOWHERE>", u"", u""},
        {u"<DESKTOP>", u"", u""},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(toUtf8(SharedString(row.top)).c_str());
        NodeTree tree(row.top);
        EXPECT_EQ(destination_.resolveQualifiedHostPath(*tree.file), row.file);
        EXPECT_EQ(destination_.resolveQualifiedHostPath(*tree.topFolder), row.folder);
    }

    // A node without a parent stands for the destination itself.
    ContentFile alone(SharedString(u"x.txt"));
    EXPECT_EQ(destination_.resolveQualifiedHostPath(alone), u"\\Program Files\\Survey");

    // On a platform without its own value the variable takes the general one.
    host_->deviceType = DeviceType::KT_11;
    NodeTree tree(u"<DATA_FOLDER>");
    EXPECT_EQ(destination_.resolveQualifiedHostPath(*tree.file), u"\\Data/jobs/a.job");
}

TEST_F(InstallDestinationTest, TheUserScopeChoosesTheFolderOfUserDependentRoots)
{
    NodeTree tree(u"<USERDEP_PROGRAM_FILES>");
    EXPECT_EQ(destination_.resolveQualifiedHostPath(*tree.file), u"\\Program Files\\jobs/a.job");
    context_.forAnyone = false;
    EXPECT_EQ(destination_.resolveQualifiedHostPath(*tree.file), u"\\Application Data\\jobs/a.job");
}

TEST_F(InstallDestinationTest, HostPathsJoinFolderAndNameWithOneSeparator)
{
    const struct {
        const char16_t* folder;
        const char16_t* name;
        const char16_t* expected;
    } cases[] = {
        {u"<TARGETDIR>", u"readme.txt", u"\\Program Files\\Survey/readme.txt"},
        {u"<TARGETDIR>\\", u"\\readme.txt", u"\\Program Files\\Survey\\readme.txt"},
        {u"<TARGETDIR>\\bin", u"", u"\\Program Files\\Survey\\bin"},
        {u"", u"<WINDOWS>fonts", u"\\Windows\\fonts"},
        {u"\\Temp", u"x", u"\\Temp/x"},
        // Two folder references in one path do not expand.
        {u"<TARGETDIR>\\x", u"<WINDOWS>", u""},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(toUtf8(SharedString(row.name)).c_str());
        EXPECT_EQ(destination_.resolveHostPath(row.folder, row.name), row.expected);
    }
    destination_.setFolder(u"\\Storage Card\\Survey");
    EXPECT_EQ(destination_.resolveHostPath(u"<TARGETDIR>", u"a"), u"\\Storage Card\\Survey/a");
}

// The unpacker asks the record for every folder and file it writes.
TEST_F(InstallDestinationTest, APackageUnpacksIntoTheDestinationAndItsOtherRoots)
{
    tools::PackageWriter writer;
    writer.openFolder(u"<TARGETDIR>").openFolder(u"bin").addFile(u"survey.exe", test::toBytes("MZ")).closeFolder();
    writer.closeFolder();
    writer.openFolder(u"<WINDOWS>").addFile(u"survey.ini", test::toBytes("[a]")).closeFolder();
    test::RecordingNodeWriter recorder;
    PackageUnpacker unpacker(&destination_, recorder, *host_);
    ASSERT_TRUE(test::feedPackage(unpacker, writer.build()));
    EXPECT_EQ(recorder.calls, (std::vector<std::string>{
                                  "folder \\Program Files\\Survey",
                                  "folder \\Program Files\\Survey/bin",
                                  "file \\Program Files\\Survey/bin/survey.exe",
                                  "finish",
                                  "folder \\Windows\\",
                                  "file \\Windows\\survey.ini",
                                  "finish",
                              }));
}

}  // namespace
}  // namespace druvex
