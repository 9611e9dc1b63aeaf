// Other products' installed logs as scripts open them: handles by name, logs
// that are missing or do not parse, names that would leave the data folder,
// the queues of actions and their walk, and calls from several threads.
#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "controller/installed_product_registry.h"
#include "host/wince_hal_access.h"
#include "support/device_fixture.h"
#include "support/diag_capture.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

class FakeProducts final : public InstalledProductsController {
public:
    std::shared_ptr<HalAccess> getHalOut() const override { return host; }
    SharedString getProductDataRoot(HalAccess& on, bool merge, const SharedString& name) const override
    {
        EXPECT_EQ(&on, host.get());
        EXPECT_FALSE(merge);
        return u"\\Products\\" + name;
    }

    std::shared_ptr<HalAccess> host = std::make_shared<HalAccessWinCE>();
};

class InstalledProducts : public test::DeviceFixture {
protected:
    void SetUp() override
    {
        DeviceFixture::SetUp();
        InstalledLog log;
        log.setProgramName(u"Field Maps");
        auto feature = makeFeaturePtr();
        feature->setName(u"Feature/Maps");
        log.addFeature(feature);
        std::vector<std::uint8_t> bytes;
        ASSERT_TRUE(log.serialize(bytes));
        device().writeFile("Products/Maps/InstalledLog.xml", std::string(bytes.begin(), bytes.end()));
        device().writeFile("Products/Broken/InstalledLog.xml", "<InstalledLog><Feature/></InstalledLog>");
        device().writeFile("Products/Empty/InstalledLog.xml", "");
    }

    FakeProducts controller_;
    InstalledProductRegistry registry_{controller_};
};

TEST_F(InstalledProducts, HandlesNumberTheProductsInLoadOrder)
{
    EXPECT_EQ(registry_.load(u"Maps"), 1);
    EXPECT_EQ(registry_.load(u"MAPS"), 1);
    // No log on the device: the product is still taken, without a log.
    EXPECT_EQ(registry_.load(u"Roads"), 2);
    EXPECT_EQ(registry_.load(u"Empty"), 3);
    {
        test::DiagCapture diag;
        EXPECT_EQ(registry_.load(u"Broken"), 0);
        EXPECT_TRUE(diag.contains(
            u"\\Products\\Broken/InstalledLog.xml does not parse: at byte 14: the element was refused"));
    }
    EXPECT_EQ(registry_.load(u"Broken"), 0);
    EXPECT_EQ(registry_.load(u"Pipes"), 4);

    ASSERT_TRUE(registry_.getLog(1));
    EXPECT_EQ(registry_.getLog(1)->getProgramName(), u"Field Maps");
    EXPECT_EQ(registry_.getLog(1)->getFeatureCount(), 1);
    EXPECT_EQ(registry_.getLog(2), nullptr);
    EXPECT_EQ(registry_.getLog(3), nullptr);
    EXPECT_EQ(registry_.getLog(0), nullptr);
    EXPECT_EQ(registry_.getLog(5), nullptr);
    EXPECT_EQ(registry_.getLog(-1), nullptr);
    EXPECT_EQ(registry_.getProductName(1), u"Maps");
    EXPECT_EQ(registry_.getProductName(4), u"Pipes");
    EXPECT_EQ(registry_.getProductName(5), u"");
}

// Scripts supply the name; it must not lead the read out of the data root.
TEST_F(InstalledProducts, NamesThatAreNoSingleFolderAreRefused)
{
    device().writeFile("InstalledLog.xml", "<InstalledLog/>");
    test::DiagCapture diag;
    for (const char16_t* name : {u"", u".", u"..", u"../..", u"Maps/..", u"..\\..", u"a/b"}) {
        EXPECT_EQ(registry_.load(name), 0) << toUtf8(SharedString(name)).c_str();
    }
    EXPECT_TRUE(diag.contains(u"Installed product name refused: \"..\""));
    EXPECT_EQ(registry_.load(u"Maps"), 1);
}

TEST_F(InstalledProducts, ActionsQueueUpPerProductAndWalkInOrder)
{
    std::vector<int> handles{99};
    EXPECT_FALSE(registry_.listHandles(handles));
    EXPECT_TRUE(handles.empty());

    ASSERT_EQ(registry_.load(u"Maps"), 1);
    ASSERT_EQ(registry_.load(u"Roads"), 2);
    ASSERT_EQ(registry_.load(u"Pipes"), 3);
    registry_.sendAction(3, kInstalledProductActionRemove, u"Feature/Valves");
    registry_.sendAction(1, kInstalledProductActionRemove, u"Feature/Maps");
    registry_.sendAction(3, 7, u"Feature/Pumps");
    registry_.sendAction(0, 1, u"nowhere");
    registry_.sendAction(4, 1, u"nowhere");

    ASSERT_TRUE(registry_.listHandles(handles));
    EXPECT_EQ(handles, (std::vector<int>{1, 3}));

    auto walk = [&](int handle) {
        std::vector<std::pair<std::int32_t, SharedString>> pairs;
        InstalledProductRegistry::FeatureIterator iterator = registry_.featureIterator(handle);
        std::int32_t action = 0;
        SharedString feature;
        while (registry_.nextFeature(iterator, action, feature))
            pairs.emplace_back(action, feature);
        EXPECT_FALSE(registry_.nextFeature(iterator, action, feature));
        return pairs;
    };
    EXPECT_EQ(walk(3), (std::vector<std::pair<std::int32_t, SharedString>>{{1, u"Feature/Valves"},
                                                                              {7, u"Feature/Pumps"}}));
    EXPECT_EQ(walk(1).size(), 1u);
    EXPECT_TRUE(walk(2).empty());
    EXPECT_TRUE(walk(0).empty());
    EXPECT_TRUE(walk(4).empty());
    // Walking leaves the queue as it was.
    EXPECT_EQ(walk(3).size(), 2u);
}

using InstalledProductsThreads = InstalledProducts;

TEST_F(InstalledProductsThreads, ThreadsShareTheRegistry)
{
    constexpr int kThreads = 4;
    constexpr int kActions = 200;
    std::vector<std::thread> threads;
    for (int thread = 0; thread < kThreads; ++thread) {
        threads.emplace_back([this, thread] {
            for (int action = 0; action < kActions; ++action) {
                const int handle = registry_.load(thread % 2 ? u"Maps" : u"Roads");
                registry_.sendAction(handle, action, u"Feature/X");
                std::vector<int> handles;
                registry_.listHandles(handles);
                registry_.getLog(handle);
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    int total = 0;
    for (int handle : {1, 2}) {
        InstalledProductRegistry::FeatureIterator iterator = registry_.featureIterator(handle);
        std::int32_t action = 0;
        SharedString feature;
        while (registry_.nextFeature(iterator, action, feature))
            ++total;
    }
    EXPECT_EQ(total, kThreads * kActions);
    EXPECT_EQ(registry_.load(u"Pipes"), 3);
}

}  // namespace
}  // namespace druvex
