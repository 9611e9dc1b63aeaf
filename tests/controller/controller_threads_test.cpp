// The controller taken apart while a download runs: the downloader's worker
// reports the end of the download to a page logic that reaches into the
// controller, and it must find everything still in place.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "controller/controller_fixture.h"
#include "core/thread_utils.h"
#include "data/package_sources.h"
#include "data/previous_settings.h"
#include "liveupdate/update_patcher.h"
#include "liveupdate/web_downloader.h"
#include "support/loopback_http_server.h"

namespace druvex {
namespace {

// What the worker and the test thread write, in the order they did.
class Timeline {
public:
    void add(std::string event)
    {
        std::lock_guard lock(mutex_);
        events_.push_back(std::move(event));
    }
    std::vector<std::string> events() const
    {
        std::lock_guard lock(mutex_);
        return events_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> events_;
};

// A page logic that downloads as the licence and prerequisites logics do,
// and, at the end of its download, uses what such logics use of the
// controller: the work folder, the UI callback, the package sources, the
// update patcher and the saved state.
class DownloadingPageLogic final : public PageLogic, public DownloadListener {
public:
    DownloadingPageLogic(InstallerController& controller, Timeline& timeline, const SharedString& url)
        : controller_(controller), timeline_(timeline)
    {
        controller_.getWebDownloader().enqueue(url, SharedString(), 0, this, request_);
    }
    ~DownloadingPageLogic() override
    {
        // What a logic's destructor does with its own request; the downloader
        // must still be there for it.
        controller_.getWebDownloader().cancel(request_);
        const bool workFolder = controller_.getHalIn()->exists(controller_.getWorkFolder(), nullptr);
        timeline_.add(std::string("logic deleted, work folder ") + (workFolder ? "present" : "gone"));
    }

    bool onNext() override { return true; }
    bool onBack() override { return true; }
    void onLeave(WizardPageId) override { timeline_.add("logic left"); }

    void onContentLength(DownloadRequest&, std::uint64_t) override {}
    void onBegin(DownloadRequest&) override {}
    bool onData(DownloadRequest&, std::uint32_t, std::uint32_t, const std::uint8_t*) override { return true; }
    void onFinished(DownloadRequest&, int status, bool&) override
    {
        const bool workFolder = controller_.getHalIn()->exists(controller_.getWorkFolder(), nullptr);
        controller_.getUiCallback()->askStopEulaDownload();
        const bool sources = controller_.getPackageSources().isEmpty();
        const bool bulletin = controller_.getUpdatePatcher().getBulletin() == nullptr;
        const bool language = controller_.getPreviousSettings().getLanguage() != 0;
        timeline_.add("download ended with " + std::to_string(status) + ", work folder " +
                      (workFolder ? "present" : "gone") + (sources && bulletin && language ? ", members read" : ""));
    }

private:
    InstallerController& controller_;
    Timeline& timeline_;
    std::shared_ptr<DownloadRequest> request_;
};

class ControllerCoreThreads : public test::ControllerFixture {
protected:
    Timeline timeline_;
    test::LoopbackHttpServer server_;
};

TEST_F(ControllerCoreThreads, ADownloadEndingWhileTheControllerGoesFindsItWhole)
{
    test::HttpReply silent;
    silent.stallBeforeReply = true;
    server_.setReply("/bulletin.xml", silent);
    const SharedString url = SharedString::fromCodePage(server_.url("/bulletin.xml").c_str(), 0);

    InstallerController& controller = makeController();
    auto registry = std::make_shared<PageLogicRegistry>();
    registry->registerMaker(kPagePrerequisites, [this, url](InstallerController& owner, const PageLogicArguments&) {
        return std::make_unique<DownloadingPageLogic>(owner, timeline_, url);
    });
    controller.setPageLogicFactory(registry);
    controller.getPageSequence().reset(kPagePrerequisites);
    ASSERT_TRUE(server_.waitForStalls(1));

    destroyController();
    server_.stop();
    EXPECT_EQ(timeline_.events(), (std::vector<std::string>{
                                      "download ended with 5, work folder present, members read",
                                      "logic left",
                                      "logic deleted, work folder present",
                                  }));
}

TEST_F(ControllerCoreThreads, TheInstallationThreadSharesItsWordsWithTheUi)
{
    // The installation thread sets the result and the flags and polls the
    // cancel request while the UI reads them and asks to cancel.
    InstallerController& controller = makeController();
    WorkerThread installation([&controller] {
        while (!controller.isCancelRequested()) {
            controller.setResult(kResultCompleted);
            controller.setHasMadeChanges(true);
            controller.setRebootRequired(true);
            controller.setSkipFeatureChoice(true);
            controller.setRedistLastError(-3);
            controller.setRestoreDone();
        }
        controller.setResult(kResultCanceled);
    });
    while (!controller.hasMadeChanges() || controller.getRestoreResult() != kRestoreDone)
        std::this_thread::yield();
    EXPECT_TRUE(controller.isRebootRequired());
    controller.setCancelRequested(true);
    installation.join();
    EXPECT_EQ(controller.getResult(), kResultCanceled);
    EXPECT_TRUE(controller.getSkipFeatureChoice());
    EXPECT_EQ(controller.getRedistLastError(), -3);
}

}  // namespace
}  // namespace druvex
