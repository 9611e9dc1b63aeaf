#include "core/app_paths.h"

#include <gtest/gtest.h>

#include "platform/device_root.h"
#include "support/device_fixture.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

TEST(AppPaths, FoldersFollowTheProgramFile)
{
    const AppPaths paths(u"\\Storage Card\\Setup\\setup.exe");
    EXPECT_EQ(paths.getProgramFolder(), u"\\Storage Card\\Setup");
    EXPECT_EQ(paths.getModulePath(), u"\\Storage Card\\Setup/setup.exe");
    EXPECT_EQ(paths.getDataFolder(), u"\\Storage Card\\Setup");
    EXPECT_EQ(paths.getDocumentsFolder(), u"\\Storage Card\\Setup");
    EXPECT_EQ(paths.getGeoidFolder(), u"\\Storage Card\\Setup/geoids");
    EXPECT_EQ(paths.getGeodataFolder(), u"\\Storage Card\\Setup/geo");

    const AppPaths slashes(u"/a/b/prog");
    EXPECT_EQ(slashes.getProgramFolder(), u"/a/b");
    EXPECT_EQ(slashes.getModulePath(), u"/a/b/prog");

    const AppPaths atRoot(u"\\setup.exe");
    EXPECT_EQ(atRoot.getProgramFolder(), u"");
    EXPECT_EQ(atRoot.getModulePath(), u"/setup.exe");

    // No separator leaves everything empty.
    for (const char16_t* file : {u"setup.exe", u""}) {
        const AppPaths none(file);
        for (const SharedString& path : {none.getModulePath(), none.getProgramFolder(), none.getDataFolder(),
                                         none.getDocumentsFolder(), none.getGeoidFolder(), none.getGeodataFolder()})
            EXPECT_EQ(path, u"") << testing::PrintToString(SharedString(file));
    }
}

TEST(AppPaths, ModulePathOnADevice)
{
    test::TestDevice device;
    const std::string inside = DeviceRoot::instance().rootFolder() + "/Storage Card/setup.exe";
    EXPECT_EQ(findModulePath({inside, ""}), u"\\Storage Card\\setup.exe");
    EXPECT_EQ(findModulePath({inside, "\\Other\\x.exe"}), u"\\Storage Card\\setup.exe");
    EXPECT_EQ(findModulePath({"/usr/bin/druvex", "\\Storage Card\\Set\xC3\xBCp.exe"}), u"\\Storage Card\\Set\u00FCp.exe");
    EXPECT_EQ(findModulePath({"/usr/bin/druvex", ""}), u"");
    EXPECT_EQ(findModulePath({"", ""}), u"");
}

TEST(AppPaths, ModulePathWithoutADevice)
{
    EXPECT_EQ(findModulePath({"/opt/druvex/setup", ""}), u"/opt/druvex/setup");
    EXPECT_EQ(findModulePath({"/opt/druvex/setup", "\\Storage Card\\setup.exe"}), u"\\Storage Card\\setup.exe");
    const SharedString running = findModulePath(currentModulePathSources());
    if (currentModulePathSources().modulePathEnv.empty()) {
        EXPECT_TRUE(running.view().ends_with(u"/druvex_core_tests")) << toUtf8(running).c_str();
    }
}

TEST(AppPaths, TheInstanceCanBeReplacedAndDerivedAgain)
{
    AppPaths::setInstance(u"\\Program Files\\App\\app.exe");
    EXPECT_EQ(AppPaths::instance().getProgramFolder(), u"\\Program Files\\App");
    AppPaths::resetInstance();
    const SharedString expected = findModulePath(currentModulePathSources());
    EXPECT_EQ(AppPaths::instance().getModulePath(), AppPaths(expected).getModulePath());
    AppPaths::resetInstance();
}

}  // namespace
}  // namespace druvex
