// The destination logic: the storages listed and the one chosen by device
// type, the destination folder on a storage, the space check with the exact
// message when the space is just enough to fail, the unattended run (also on
// a device without any storage), and the space computation on its own thread,
// whose report a page that goes waits for.
#include "controller/page_destination_logic.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "controller/page_logic_fixture.h"
#include "data/install_data.h"
#include "hal/device_identity.h"
#include "support/diag_capture.h"
#include "support/held_report.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

// The space reports, kept until the computation is done.
class SpaceSink final : public DestinationPageSink {
public:
    void onSpaceComputation(bool done, std::uint64_t bytes) override
    {
        std::lock_guard lock(mutex_);
        reports_.push_back(std::to_string(done) + " " + std::to_string(bytes));
        if (done)
            finished_.notify_all();
    }
    std::vector<std::string> waitUntilDone()
    {
        std::unique_lock lock(mutex_);
        finished_.wait(lock, [this] { return !reports_.empty() && reports_.back().starts_with("1 "); });
        return reports_;
    }

private:
    std::mutex mutex_;
    std::condition_variable finished_;
    std::vector<std::string> reports_;
};

// A page whose first space report is held; it counts its reports, as a page
// keeps what it is told.
class HeldSpaceSink final : public DestinationPageSink {
public:
    explicit HeldSpaceSink(test::HeldReport& held) : held_(held) {}
    void onSpaceComputation(bool, std::uint64_t) override
    {
        if (reports_ == 0)
            held_.hold();
        ++reports_;
    }

private:
    test::HeldReport& held_;
    int reports_ = 0;
};

class Destination : public test::PageLogicFixture {
protected:
    void configure(DeviceConfig& config) const override
    {
        config.forceDeviceType = static_cast<int>(DeviceType::KT_31);
        config.stores.push_back({SharedString(u"\\"), std::uint64_t{1} << 30, std::uint64_t{1000}, false, false});
        config.stores.push_back({SharedString(u"\\SystemCF"), std::nullopt, std::nullopt, false, true});
        // The program's writes take from the root's 1000 bytes: its log
        // (in the temporary folder) goes to the card, so that they stay 1000.
        config.tempPath = u"\\SystemCF\\Temp\\";
    }
    void SetUp() override
    {
        PageLogicFixture::SetUp();
        device().makeFolder("SystemCF/Temp");
    }

    // The device as another type: a new host identifies it afresh.
    void becomeDevice(DeviceType type)
    {
        DeviceConfig config = device().config();
        config.forceDeviceType = static_cast<int>(type);
        controller_.reset();
        device().reconfigure(config);
        resetDeviceIdentificationForTests();
        source_ = std::make_shared<test::ScriptedHost>();
        resetPageLogicProcessState();
        makePageProduct();
    }

    PageDestinationLogic makeLogic() { return PageDestinationLogic(controller(), controller().getHalOut()); }
};

TEST_F(Destination, StoragesAndTheChoicePerDeviceType)
{
    struct Row {
        DeviceType type;
        std::vector<std::string> names;
        const char16_t* chosen;
        bool canChoose;
    };
    const Row rows[] = {
        {DeviceType::KT_31, {"/", "SystemCF"}, u"/", true},
        {DeviceType::KT_61, {"SystemCF"}, u"SystemCF", true},
        {DeviceType::LQ5, {"SystemCF"}, u"/HardDisk", true},
        {DeviceType::KT_41, {"/", "SystemCF"}, u"/Extended Storage", true},
        {DeviceType::KT_21, {"/", "SystemCF"}, u"/", false},
        {DeviceType::TS_QM40, {"/ROMDisk"}, u"/ROMDisk", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(static_cast<int>(row.type));
        becomeDevice(row.type);
        PageDestinationLogic logic = makeLogic();
        logic.refreshStorages();
        std::vector<std::string> names;
        for (int i = 0; i < logic.getStorageCount(); ++i)
            names.emplace_back(toUtf8(logic.getStorageName(i)).c_str());
        EXPECT_EQ(names, row.names);
        EXPECT_EQ(pageLogicProcessState().chosenStorage, row.chosen);
        EXPECT_EQ(logic.canChooseStorage(), row.canChoose);
        EXPECT_EQ(logic.isExtendedStorageSelected(), row.type == DeviceType::KT_41);
        // A chosen storage the list lacks counts as the first.
        EXPECT_EQ(logic.findSelectedStorage(), 0);
    }
}

TEST_F(Destination, TheDestinationFolderLiesInTheStoragesProgramFolder)
{
    makePageProduct();
    PageDestinationLogic logic = makeLogic();
    logic.refreshStorages();
    ASSERT_TRUE(logic.selectStorage(1));
    EXPECT_EQ(controller().getDestinationFolder(), u"\\SystemCF\\Program Files/Survey Pro");
    EXPECT_EQ(pageLogicProcessState().chosenStorage, u"SystemCF");
    EXPECT_EQ(logic.findSelectedStorage(), 1);
    EXPECT_EQ(logic.getSelectedStoragePath(), u"/SystemCF");

    setSetting(InstallerSettingKey::InstallFolderMobile, u"Survey");
    ASSERT_TRUE(logic.selectStorage(0));
    EXPECT_EQ(controller().getDestinationFolder(), u"\\Program Files/Survey");
    // Outside the list nothing changes.
    EXPECT_FALSE(logic.selectStorage(2));
    EXPECT_EQ(controller().getDestinationFolder(), u"\\Program Files/Survey");
    EXPECT_EQ(logic.getFreeSpace(), 1000u);
}

TEST_F(Destination, SpaceEqualToTheRequiredIsNotEnough)
{
    makePageProduct();
    const FeaturePtr maps = addFeature(u"Maps", nullptr, u"1.0", 1000);
    controller().selectFeature(maps);
    PageDestinationLogic logic = makeLogic();
    logic.refreshStorages();
    ASSERT_TRUE(logic.selectStorage(0));

    EXPECT_EQ(logic.getAvailableSpace(), 1000u);
    EXPECT_FALSE(logic.checkSpace());
    ASSERT_EQ(ui_->shown.size(), 1u);
    // The storage as people see paths on the device.
    EXPECT_EQ(std::get<0>(ui_->shown[0]), u"Cannot install Survey Pro. There is not enough free disk space.\n\n"
                                          u"Please free at least an additional 0.0 kB of disk space on \\ to continue.");
    EXPECT_EQ(std::get<1>(ui_->shown[0]), kMessageError);

    // With a feature left to choose, the feature page checks later.
    EXPECT_TRUE(logic.validate());
    EXPECT_EQ(ui_->shown.size(), 1u);
    maps->setPresel(FeaturePreselection::Required);
    EXPECT_FALSE(logic.validate());

    maps->setReqSpace(2536);
    EXPECT_FALSE(logic.checkSpace());
    EXPECT_TRUE(std::get<0>(ui_->shown.back()).ends_with(u"an additional 1.5 kB of disk space on \\ to continue."));

    // What a wiped old installation gives back counts.
    maps->setReqSpace(1000);
    controller().setOldInstallationSize(1);
    EXPECT_TRUE(logic.checkSpace());
}

TEST_F(Destination, TheUnattendedRunTakesTheFirstStorageWithoutWipe)
{
    makePageProduct();
    controller().setWipeOldInstallation(true);
    PageDestinationLogic logic = makeLogic();
    EXPECT_TRUE(logic.runUnattended());
    EXPECT_FALSE(controller().getWipeOldInstallation());
    EXPECT_EQ(controller().getDestinationFolder(), u"\\Program Files/Survey Pro");

    // A KT 61 without its card lists nothing to install to.
    becomeDevice(DeviceType::KT_61);
    controller().setDestinationFolder(SharedString(u"\\Before"));
    DeviceConfig config = device().config();
    config.stores.pop_back();
    device().reconfigure(config);
    test::DiagCapture diag;
    PageDestinationLogic bare = makeLogic();
    EXPECT_FALSE(bare.runUnattended());
    EXPECT_TRUE(diag.contains(u"The target lists no storage to install to"));
    EXPECT_EQ(controller().getDestinationFolder(), u"\\Before");
}

using DestinationThreads = Destination;

TEST_F(DestinationThreads, TheSpaceOfAWipedInstallationIsCountedOnItsOwnThread)
{
    makePageProduct();
    device().writeFile("Program Files/Survey Pro/app.exe", std::string(300, 'a'));
    device().writeFile("Program Files/Survey Pro/data/maps/m1.dat", std::string(120, 'b'));
    device().writeFile("Program Files/Survey Pro/data/m2.dat", std::string(80, 'c'));
    PageDestinationLogic logic = makeLogic();
    logic.refreshStorages();
    ASSERT_TRUE(logic.selectStorage(0));

    SpaceSink plain;
    logic.setSink(&plain);
    logic.startSpaceComputation();
    EXPECT_EQ(plain.waitUntilDone(), std::vector<std::string>{"1 1000"});

    SpaceSink wiped;
    logic.setSink(&wiped);
    logic.setWipeOldInstallation(true);
    logic.startSpaceComputation();
    EXPECT_EQ(wiped.waitUntilDone(), (std::vector<std::string>{"0 0", "1 1500"}));
    EXPECT_EQ(logic.getSpaceComputationState(), kSpaceDone);
    EXPECT_EQ(controller().getOldInstallationSize(), 500u);
    EXPECT_EQ(logic.getAvailableSpace(), 1500u);
}

TEST_F(DestinationThreads, ARestartedOrAbandonedComputationIsJoined)
{
    makePageProduct();
    for (int i = 0; i < 20; ++i)
        device().writeFile("Program Files/Survey Pro/f" + std::to_string(i), "x");
    controller().setWipeOldInstallation(true);
    SpaceSink sink;
    {
        PageDestinationLogic logic = makeLogic();
        logic.refreshStorages();
        ASSERT_TRUE(logic.selectStorage(0));
        logic.setSink(&sink);
        logic.startSpaceComputation();
        logic.startSpaceComputation();
        EXPECT_EQ(sink.waitUntilDone().back(), "1 1020");
        logic.startSpaceComputation();
    }
    EXPECT_EQ(controller().getOldInstallationSize(), 20u);
}

// The wizard takes the page down while the space thread may be reporting to
// it: clearing the sink waits for that report, so the page can go at once.
TEST_F(DestinationThreads, ClearingTheSinkWaitsForAReportUnderWay)
{
    makePageProduct();
    PageDestinationLogic logic = makeLogic();
    logic.refreshStorages();
    ASSERT_TRUE(logic.selectStorage(0));
    test::HeldReport held;
    auto page = std::make_unique<HeldSpaceSink>(held);
    logic.setSink(page.get());
    logic.startSpaceComputation();
    ASSERT_TRUE(held.waitHeld());
    held.tearDown([&] {
        logic.setSink(nullptr);
        page.reset();
    });
    EXPECT_EQ(held.events(), (std::vector<std::string>{"held", "teardown", "left", "gone"}));
}

}  // namespace
}  // namespace druvex
