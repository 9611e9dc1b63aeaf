// The licence logic: Next only with a licence held, the text of a licence
// kept in a package file, and downloads from a loopback server: the text
// read through "license.txt" (which does not stay), an error with no text,
// two downloads in a row showing the second text only, a download longer
// than a licence can be, a download stopped on the user's word, and a logic
// taken apart while its download runs.
#include "controller/page_license_logic.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "controller/page_logic_fixture.h"
#include "data/install_data.h"
#include "data/package_sources.h"
#include "fileutil/file_util.h"
#include "hal/hal_access.h"
#include "liveupdate/download_request.h"
#include "package_writer/package_writer.h"
#include "payload/entry_encoder.h"
#include "platform/input_limits.h"
#include "support/diag_capture.h"
#include "support/loopback_http_server.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

using test::HttpReply;

class RecordingLicenceSink final : public LicensePageSink {
public:
    void onDownloadProgress(std::uint64_t received, std::uint64_t total) override
    {
        std::lock_guard lock(mutex_);
        lastProgress_ = {received, total};
    }
    void onDownloadFinished(int error) override
    {
        std::lock_guard lock(mutex_);
        finished_.push_back(error);
        changed_.notify_all();
    }
    std::vector<int> waitForFinished(std::size_t count)
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return finished_.size() >= count; });
        return finished_;
    }
    std::pair<std::uint64_t, std::uint64_t> lastProgress()
    {
        std::lock_guard lock(mutex_);
        return lastProgress_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<int> finished_;
    std::pair<std::uint64_t, std::uint64_t> lastProgress_;
};

class LicenceLogic : public test::PageLogicFixture {
protected:
    FeaturePtr addLicence(const char16_t* name, std::uint16_t localeId)
    {
        FeaturePtr item = makeFeaturePtr();
        item->setName(SharedString(name));
        item->setLocaleId(localeId);
        controller().getInstallData().eulaItem()->addSubFeature(item);
        return item;
    }
    SharedString workFile() const { return joinPath(controller_->getWorkFolder(), SharedString(u"license.txt")); }

    // The product and a logic reporting to `sink_`, with "/slow.txt" on the
    // server stalling after `stallAt` bytes.
    PageLicenseLogic& makeDownloadingLogic(std::size_t stallAt)
    {
        HttpReply slow = HttpReply::ok("Stalled licence");
        slow.stallAt = {stallAt};
        server_.setReply("/slow.txt", slow);
        makePageProduct();
        logic_ = std::make_unique<PageLicenseLogic>(controller());
        logic_->setSink(&sink_);
        return *logic_;
    }
    void TearDown() override
    {
        logic_.reset();
        PageLogicFixture::TearDown();
    }
    SharedString url(const char* path) { return fromUtf8(server_.url(path)); }

    test::LoopbackHttpServer server_;
    RecordingLicenceSink sink_;
    std::unique_ptr<PageLicenseLogic> logic_;
};

TEST_F(LicenceLogic, NextNeedsALicenceHeld)
{
    makePageProduct();
    PageLicenseLogic logic(controller());
    EXPECT_TRUE(logic.runUnattended());
    EXPECT_FALSE(logic.onNext());

    addLicence(u"English", 1033);
    EXPECT_TRUE(logic.runUnattended());
    EXPECT_TRUE(logic.onNext());
    EXPECT_EQ(controller().getEula()->path, u"ExtraData/EULA/English");
    logic.clearEula();
    EXPECT_FALSE(logic.hasEula());
}

TEST_F(LicenceLogic, TheTextOfALicenceInAPackageFile)
{
    makePageProduct();
    const FeaturePtr item = addLicence(u"English", 1033);
    PageLicenseLogic logic(controller());
    SharedString text;
    EXPECT_FALSE(logic.loadEulaText(text));  // none held

    logic.loadLocalEula();
    // No source and nothing in an archive.
    EXPECT_FALSE(logic.loadEulaText(text));

    tools::PackageWriter writer;
    writer.openFolder(u"<TARGETDIR>");
    const std::string words = "Licence terms";
    writer.addFile(u"eula.txt", std::vector<std::uint8_t>(words.begin(), words.end()));
    std::vector<std::uint8_t> coded;
    ASSERT_TRUE(encodeLzmaEntry(writer.build(), coded));
    ASSERT_TRUE(writeBufferToFile(*controller().getHalIn(), coded, SharedString(u"\\Temp\\eula.lzma")));
    controller().getPackageSources().addIfAbsent(*item, kSourceLocalFile, SharedString(u"\\Temp\\eula.lzma"), 0, 0);
    EXPECT_TRUE(logic.loadEulaText(text));
    EXPECT_EQ(text, u"Licence terms");
}

// A licence text that cannot be found says in the log where it was looked for.
TEST_F(LicenceLogic, ALicenceThatCannotBeFoundLogsWhereItWasLookedFor)
{
    makePageProduct();
    const FeaturePtr item = addLicence(u"Deutsch", 1031);
    controller().setLanguage(1031, SharedString(u"Deutsch"));
    PageLicenseLogic logic(controller());
    logic.loadLocalEula();
    SharedString text;
    {
        test::DiagCapture log;
        EXPECT_FALSE(logic.loadEulaText(text));
        EXPECT_TRUE(log.contains(u"No license agreement for the language 1031: looked for the installer archive's "
                                 u"entry \"ExtraData/EULA/Deutsch\""));
    }
    controller().getPackageSources().addIfAbsent(*item, kSourceLocalFile, SharedString(u"\\Temp\\eula-de.lzma"), 0,
                                                  0);
    test::DiagCapture log;
    EXPECT_FALSE(logic.loadEulaText(text));
    EXPECT_TRUE(log.contains(u"No license agreement for the language 1031: looked for the package file "
                             u"\"\\Temp\\eula-de.lzma\""));
}

// A silent run takes the licence without showing it; one whose text is not
// in the installer still lets it go on, and the log names what was looked for.
TEST_F(LicenceLogic, ASilentRunNamesALicenceTextItCannotFind)
{
    makePageProduct();
    addLicence(u"English", 1033);
    PageLicenseLogic logic(controller());
    test::DiagCapture log;
    EXPECT_TRUE(logic.runUnattended());
    EXPECT_TRUE(logic.hasEula());
    EXPECT_TRUE(log.contains(u"No license agreement for the language 1033: looked for the installer archive's "
                             u"entry \"ExtraData/EULA/English\""));
}

using LicenceLogicThreads = LicenceLogic;

TEST_F(LicenceLogicThreads, TwoDownloadsInARowShowTheSecondTextOnly)
{
    server_.setReply("/first.txt", HttpReply::ok("First licence, rather long"));
    server_.setReply("/second.txt", HttpReply::ok("\xEF\xBB\xBFSecond \xC3\xA9"));
    PageLicenseLogic& logic = makeDownloadingLogic(0);

    logic.startEulaDownload(url("/first.txt"));
    EXPECT_EQ(sink_.waitForFinished(1), std::vector<int>{kDownloadOk});
    EXPECT_EQ(logic.getEulaText(), u"First licence, rather long");
    EXPECT_EQ(sink_.lastProgress(), (std::pair<std::uint64_t, std::uint64_t>{26, 26}));

    logic.startEulaDownload(url("/second.txt"));
    EXPECT_EQ(sink_.waitForFinished(2), (std::vector<int>{kDownloadOk, kDownloadOk}));
    EXPECT_TRUE(logic.isTextReady());
    EXPECT_EQ(logic.getEulaText(), u"Second \u00E9");
    EXPECT_FALSE(controller().getHalIn()->exists(workFile(), nullptr));
}

TEST_F(LicenceLogicThreads, ASecondDownloadStopsTheFirstAndADownloadErrorGivesNoText)
{
    server_.setReply("/second.txt", HttpReply::ok("Second"));
    PageLicenseLogic& logic = makeDownloadingLogic(4);

    logic.startEulaDownload(url("/slow.txt"));
    ASSERT_TRUE(server_.waitForStalls(1));
    logic.startEulaDownload(url("/second.txt"));
    EXPECT_EQ(sink_.waitForFinished(2), (std::vector<int>{kDownloadCancelled, kDownloadOk}));
    EXPECT_EQ(logic.getEulaText(), u"Second");

    logic.startEulaDownload(url("/missing.txt"));
    EXPECT_EQ(sink_.waitForFinished(3).back(), kDownloadRequestFailed);
    EXPECT_FALSE(logic.isTextReady());
    EXPECT_EQ(logic.getEulaText(), u"");
    server_.stop();
}

// A server may send a body without end: what a licence cannot be is refused
// at the limit, announced or not, before it is held.
TEST_F(LicenceLogicThreads, ADownloadLongerThanALicenceCanBeIsRefused)
{
    const std::string longest(kMaxLicenseTextSize, 'a');
    HttpReply atLimit = HttpReply::ok(longest);
    atLimit.omitLength = true;
    HttpReply overLimit = HttpReply::ok(longest + "a");
    overLimit.omitLength = true;
    HttpReply announced = HttpReply::ok("Short licence");
    announced.contentLength = kMaxLicenseTextSize + 1;
    server_.setReply("/at.txt", atLimit);
    server_.setReply("/over.txt", overLimit);
    server_.setReply("/announced.txt", announced);
    PageLicenseLogic& logic = makeDownloadingLogic(0);
    test::DiagCapture log;

    logic.startEulaDownload(url("/at.txt"));
    EXPECT_EQ(sink_.waitForFinished(1).back(), kDownloadOk);
    EXPECT_EQ(logic.getEulaText().length(), static_cast<int>(kMaxLicenseTextSize));
    EXPECT_FALSE(log.contains(u"licence download is refused"));

    std::size_t finished = 1;
    for (const char* path : {"/over.txt", "/announced.txt"}) {
        SCOPED_TRACE(path);
        log.clear();
        logic.startEulaDownload(url(path));
        EXPECT_EQ(sink_.waitForFinished(++finished).back(), kDownloadRefused);
        EXPECT_FALSE(logic.isTextReady());
        EXPECT_TRUE(logic.getEulaText().isEmpty());
        EXPECT_TRUE(log.contains(u"The licence download is refused: it is longer than 4194304 bytes"));
    }
    EXPECT_LE(sink_.lastProgress().first, kMaxLicenseTextSize);
}

TEST_F(LicenceLogicThreads, TheUserDecidesWhetherADownloadStops)
{
    PageLicenseLogic& logic = makeDownloadingLogic(0);
    EXPECT_TRUE(logic.stopEulaDownload(false));  // nothing runs: nothing asked

    logic.startEulaDownload(url("/slow.txt"));
    ASSERT_TRUE(server_.waitForStalls(1));
    EXPECT_FALSE(logic.stopEulaDownload(false));
    EXPECT_TRUE(logic.isDownloading());
    EXPECT_TRUE(logic.stopEulaDownload(true));
    EXPECT_EQ(ui_->stopEulaAsked, 1);
    EXPECT_EQ(sink_.waitForFinished(1), std::vector<int>{kDownloadCancelled});
    server_.stop();
}

TEST_F(LicenceLogicThreads, ALogicTakenApartWhileItsDownloadRunsHearsNothingMore)
{
    makeDownloadingLogic(6).startEulaDownload(url("/slow.txt"));
    ASSERT_TRUE(server_.waitForStalls(1));
    logic_.reset();
    // The rest of the body arrives for no one, and the page hears of no end.
    server_.releaseStalls();
    server_.stop();
    EXPECT_TRUE(sink_.waitForFinished(0).empty());
}

}  // namespace
}  // namespace druvex
