// The install plan: the forms of the recorded paths, one record per feature
// (reopened when its package is extracted again), paths created twice kept
// once, and the run-wide question whether a file was installed.
#include <gtest/gtest.h>

#include <stdexcept>

#include "data/content_tree.h"
#include "data/feature.h"
#include "engine/install_plan.h"
#include "support/package_fixtures.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

TEST(InstallPlan, PathsAreRecordedWithForwardSlashes)
{
    struct Case {
        const char16_t* given;
        const char16_t* folder;  // as addFolder records it
        const char16_t* file;    // as addFile records it
    };
    const Case cases[] = {
        {u"\\Program Files\\App", u"/Program Files/App", u"/Program Files/App"},
        {u"\\Program Files\\App\\", u"/Program Files/App", u"/Program Files/App/"},
        {u"/a/b//", u"/a/b/", u"/a/b//"},  // one trailing '/' only
        {u"\\", u"", u"/"},
        {u"rel\\x/y", u"rel/x/y", u"rel/x/y"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(test::narrow(c.given));
        InstallPlan plan;
        plan.addItem(makeFeaturePtr());
        ContentFolder node(u"n");
        node.setFlags(20);
        plan.addFolder(&node, SharedString(c.given));
        plan.addFile(SharedString(c.given), 3);
        const InstallPlanItem& item = plan.getItem(0);
        ASSERT_EQ(item.folders.size(), 1u);
        EXPECT_EQ(item.folders[0].path, SharedString(c.folder));
        EXPECT_EQ(item.folders[0].flags, 20);
        ASSERT_EQ(item.files.size(), 1u);
        EXPECT_EQ(item.files[0].path, SharedString(c.file));
        EXPECT_EQ(item.files[0].flags, 3);
    }
}

TEST(InstallPlan, EachFeatureHasOneRecordAndEachPathOneEntry)
{
    InstallPlan plan;
    // What comes before any feature is kept in a record of its own.
    plan.addToTotal(7);
    plan.addFolder(nullptr, u"\\Temp");

    const FeaturePtr first = makeFeaturePtr();
    const FeaturePtr second = makeFeaturePtr();
    plan.addItem(first);
    plan.addFile(u"\\App\\a.txt", 1);
    plan.addFile(u"/app/A.TXT", 2);  // the same file on the device
    plan.addFolder(nullptr, u"\\App");
    plan.addFolder(nullptr, u"/APP/");
    plan.addToTotal(10);
    plan.addItem(second);
    plan.addFile(u"\\App\\a.txt", 4);  // another feature records it too
    plan.addToTotal(5);
    plan.addItem(first);  // extracted again
    plan.addFile(u"\\App\\b.txt", 0);
    plan.addToTotal(1);

    ASSERT_EQ(plan.getItemCount(), 3);
    EXPECT_EQ(plan.getItem(0).feature, nullptr);
    EXPECT_EQ(plan.getItem(0).totalBytes, 7u);
    EXPECT_EQ(plan.getItem(0).folders.size(), 1u);
    const InstallPlanItem& main = plan.getItem(1);
    EXPECT_EQ(main.feature, first);
    ASSERT_EQ(main.files.size(), 2u);
    EXPECT_EQ(main.files[0].path, u"/App/a.txt");
    EXPECT_EQ(main.files[0].flags, 1);
    EXPECT_EQ(main.files[1].path, u"/App/b.txt");
    ASSERT_EQ(main.folders.size(), 1u);
    EXPECT_EQ(main.folders[0].path, u"/App");
    EXPECT_EQ(main.totalBytes, 11u);
    EXPECT_EQ(plan.getItem(2).feature, second);
    EXPECT_EQ(plan.getItem(2).files.size(), 1u);
    EXPECT_EQ(plan.getItem(2).totalBytes, 5u);
    EXPECT_THROW(plan.getItem(3), std::out_of_range);
    EXPECT_THROW(plan.getItem(-1), std::out_of_range);

    EXPECT_TRUE(plan.containsFile(u"/APP/B.txt"));
    EXPECT_TRUE(plan.containsFile(u"\\app\\a.TXT"));
    EXPECT_FALSE(plan.containsFile(u"\\App"));  // a folder, not a file
    EXPECT_FALSE(plan.containsFile(u"\\App\\c.txt"));
}

}  // namespace
}  // namespace druvex
