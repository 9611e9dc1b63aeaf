// The install plan: one record per feature (reopened when its package is
// extracted again), a path created twice kept once, and the run-wide
// question whether a file was installed.
#include <gtest/gtest.h>

#include <stdexcept>

#include "data/feature.h"
#include "engine/install_plan.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

TEST(InstallPlan, EachFeatureHasOneRecordAndEachPathOneEntry)
{
    InstallPlan plan;
    plan.addToTotal(7);  // before any feature: a record of its own
    const FeaturePtr first = makeFeaturePtr();
    const FeaturePtr second = makeFeaturePtr();
    plan.addItem(first);
    plan.addFile(u"\\App\\a.txt", 1);
    plan.addFile(u"/app/A.TXT", 2);  // the same file on the device
    plan.addFolder(nullptr, u"\\App");
    plan.addFolder(nullptr, u"/APP/");
    plan.addItem(second);
    plan.addFile(u"\\App\\a.txt", 4);  // another feature records it too
    plan.addItem(first);  // extracted again
    plan.addFile(u"\\App\\b.txt", 0);
    plan.addToTotal(1);

    ASSERT_EQ(plan.getItemCount(), 3);
    EXPECT_EQ(plan.getItem(0).feature, nullptr);
    EXPECT_EQ(plan.getItem(0).totalBytes, 7u);
    const InstallPlanItem& main = plan.getItem(1);
    EXPECT_EQ(main.feature, first);
    ASSERT_EQ(main.files.size(), 2u);
    EXPECT_EQ(main.files[0].path, u"/App/a.txt");
    EXPECT_EQ(main.files[0].flags, 1);
    EXPECT_EQ(main.files[1].path, u"/App/b.txt");
    ASSERT_EQ(main.folders.size(), 1u);
    EXPECT_EQ(main.totalBytes, 1u);
    EXPECT_EQ(plan.getItem(2).files.size(), 1u);
    EXPECT_THROW(plan.getItem(3), std::out_of_range);

    EXPECT_TRUE(plan.containsFile(u"/APP/B.txt"));
    EXPECT_FALSE(plan.containsFile(u"\\App"));  // a folder, not a file
}

}  // namespace
}  // namespace druvex
