// The prerequisites logic against a loopback update server: the connection
// check's address and its proxy question, the bulletin in its plain and its
// packed form (LZMA-alone made by xz, with an SHA-1 trailer made by OpenSSL),
// invalid bulletins, a cancel that ends the online checks once, the newer
// installer downloaded and started, and missing language files. Also the
// silent waiter that stands in for the page.
#include <gtest/gtest.h>

#include <openssl/sha.h>

#include <string>
#include <thread>
#include <vector>

#include "../liveupdate/recording_listener.h"
#include "controller/prerequisites_fixture.h"
#include "controller/unattended_prerequisites.h"
#include "core/app_paths.h"
#include "data/install_data.h"
#include "data/package_sources.h"
#include "liveupdate/update_bulletin.h"
#include "liveupdate/update_patcher.h"
#include "support/diag_capture.h"
#include "support/loopback_http_server.h"
#include "support/recorded_start.h"

namespace druvex {
namespace {

using test::Bytes;

const std::string kRecorder = DRUVEX_RECORD_START_PROGRAM;
// The newer installer's file: its title from the address, its revision, ".exe".
constexpr char16_t kNewInstallerName[] = u"setup_qm40168900.exe";

std::string bulletinXml(std::string_view format = "5.1", std::string_view beforeVersion = "")
{
    return std::string("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<UpdateBulletin>\n <Installer InstallerVersion=\"") +
           std::string(format) + "\"/>\n" + std::string(beforeVersion) +
           " <Version Ver=\"4.2\" RevNum=\"4.2.7\">\n"
           "  <Feature Name=\"Feature/Maps\" Prompt=\"Maps\" Version=\"2.0\" url=\"maps.lzma\" "
           "compressed-size=\"4096\"/>\n"
           " </Version>\n</UpdateBulletin>\n";
}

std::string rawSha1(std::string_view bytes)
{
    unsigned char digest[SHA_DIGEST_LENGTH];
    SHA1(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
    return std::string(reinterpret_cast<const char*>(digest), SHA_DIGEST_LENGTH);
}

std::string hexSha1(std::string_view bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    for (const unsigned char byte : rawSha1(bytes)) {
        hex += digits[byte >> 4];
        hex += digits[byte & 15];
    }
    return hex;
}

// The packed form: the document as an LZMA-alone stream, then the SHA-1 of
// that stream.
std::string packedBulletin(const std::string& xml)
{
    const Bytes lzma = test::lzmaByXz(Bytes(xml.begin(), xml.end()));
    const std::string stream(lzma.begin(), lzma.end());
    return stream + rawSha1(stream);
}

class PrerequisitesOnlineServer : public test::PrerequisitesFixture {
protected:
    void configure(DeviceConfig& config) const override
    {
        config.forceDeviceType = static_cast<int>(DeviceType::TS_QM40);
        config.programs.push_back({SharedString(kNewInstallerName), kRecorder});
    }
    void TearDown() override
    {
        server_.stop();
        PrerequisitesFixture::TearDown();
        AppPaths::resetInstance();
    }

    // The product, its update server at `path` of the loopback server.
    InstallerController& makeOnlineProduct(const std::string& path = "/bulletin.xml")
    {
        InstallerController& controller = makePrerequisitesProduct();
        setSetting(InstallerSettingKey::LiveUpdateUrl, fromUtf8(server_.url(path)).c_str());
        return controller;
    }
    void serve(const std::string& path, std::string body) { server_.setReply(path, test::HttpReply::ok(std::move(body))); }

    test::LoopbackHttpServer server_;
};

using PrerequisitesOnline = PrerequisitesOnlineServer;
using PrerequisitesOnlineThreads = PrerequisitesOnlineServer;
using UnattendedPrerequisitesThreads = PrerequisitesOnlineServer;

TEST_F(PrerequisitesOnline, TheConnectionCheckTriesTheServersHost)
{
    const std::pair<const char16_t*, const char16_t*> addresses[] = {
        {u"http://h:8080/a/b.xml", u"http://h:8080"},
        {u"https://updates.invalid/x/bulletin.bin", u"https://updates.invalid"},
        {u"http://h", u"http://h"},
        {u"http:/", u""},
        {u"updates.invalid/bulletin.xml", u""},
    };
    for (const auto& [url, address] : addresses)
        EXPECT_EQ(connectionCheckAddress(SharedString(url)), SharedString(address));

    makeOnlineProduct();
    test::DiagCapture log;
    EXPECT_TRUE(makeLogic().probeConnection());
    EXPECT_TRUE(log.contains(u"Checking internet connection with " + std::u16string(fromUtf8(server_.url("")).view())));
}

TEST_F(PrerequisitesOnline, AProxyIsAskedAboutOncePerProcess)
{
    DeviceConfig config = device().config();
    config.proxy = SharedString(u"127.0.0.1:3128");
    device().reconfigure(config);
    makeOnlineProduct();
    // Nothing answers at the server's address: the device's connected state
    // (through its proxy) decides.
    server_.stop();
    EXPECT_TRUE(makeLogic().probeConnection());
    EXPECT_TRUE(makeLogic().probeConnection());
    EXPECT_EQ(ui_->proxyQuestions, 1);

    config.proxy = SharedString();
    device().reconfigure(config);
    EXPECT_FALSE(makeLogic().probeConnection());
}

TEST_F(PrerequisitesOnlineThreads, ABulletinIsTakenOnlyWhenItIsValid)
{
    const std::string xml = bulletinXml();
    std::string flipped = packedBulletin(xml);
    flipped[flipped.size() - 5] ^= 0x01;
    // A stream whose header announces a terabyte: refused before anything is
    // made room for.
    std::string huge = packedBulletin(xml);
    huge.resize(huge.size() - SHA_DIGEST_LENGTH);
    huge.replace(5, 8, std::string("\0\0\0\0\0\1\0\0", 8));
    huge += rawSha1(huge);
    struct Row {
        const char* what;
        std::string path;
        std::string body;
        int result;
    };
    const Row rows[] = {
        {"plain", "/bulletin.xml", xml, 0},
        {"packed with its digest", "/bulletin.bin", packedBulletin(xml), 0},
        {"a digest byte flipped", "/bulletin.bin", flipped, 3},
        {"announcing more than a bulletin holds", "/bulletin.bin", huge, 3},
        {"shorter than a digest", "/bulletin.bin", std::string(19, 'x'), 3},
        {"of another format", "/bulletin.xml", bulletinXml("5.0"), 3},
        {"not a bulletin", "/bulletin.xml", "<UpdateBulletin><Feature/>", 3},
        {"not there", "/missing.xml", "", 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        if (!row.body.empty())
            serve(row.path, row.body);
        InstallerController& controller = makeOnlineProduct(row.path);
        sink_.clear();
        makeLogic().checkConnection();
        ASSERT_TRUE(sink_.waitFor("online finished"));
        EXPECT_EQ(sink_.events(), (std::vector<std::string>{"connection check", "connected 1",
                                                            "download " + std::to_string(row.result),
                                                            "online finished"}));
        const bool taken = row.result == 0;
        EXPECT_EQ(controller.getUpdatePatcher().hasVersionRecord(), taken);
        EXPECT_EQ(controller.getLastBulletinBytes(), taken ? Bytes(xml.begin(), xml.end()) : Bytes());
        // The feature it makes newer can be downloaded: no other source has its package.
        std::vector<PackageSource> sources;
        EXPECT_EQ(controller.getPackageSources().equalRange(u"Feature_Maps_2.0_.lzma", sources), taken);
        EXPECT_TRUE(!taken || (sources.front().sourceKind == kSourceDownload &&
                               sources.front().location == fromUtf8(server_.url("/maps.lzma")) &&
                               sources.front().sizeLow == 4096));
    }
}

// Online checks that end without a bulletin take the one the last run kept
// beside the installed log: its packages stay known. A bulletin of the run
// comes first, and an update check reports only what the server says.
TEST_F(PrerequisitesOnlineThreads, WithoutABulletinTheOneTheLastRunKeptIsTaken)
{
    std::string served = bulletinXml();
    served.replace(served.find("Version=\"2.0\""), 13, "Version=\"3.0\"");
    const std::string cached = bulletinXml();
    const struct {
        const char* what;
        bool serve;
        bool checkForUpdates;
        std::string taken;
    } rows[] = {
        {"no bulletin from the server", false, false, cached},
        {"the server's bulletin", true, false, served},
        {"an update check without a bulletin", false, true, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        server_.setReply("/bulletin.xml", row.serve ? test::HttpReply::ok(served)
                                                    : test::HttpReply::withStatus(404, "Not Found"));
        options_ = InstallerOptions();
        options_.checkForUpdates = row.checkForUpdates;
        InstallerController& controller = makeOnlineProduct();
        HalAccess& target = *controller.getHalOut();
        ASSERT_TRUE(createDirectoryRecursive(target, controller.getProductDataFolder()));
        ASSERT_TRUE(writeBufferToFile(target, Bytes(cached.begin(), cached.end()),
                                      joinPath(controller.getProductDataFolder(), SharedString(u"last_bulletin.xml"))));
        sink_.clear();
        makeLogic().checkConnection();
        ASSERT_TRUE(sink_.waitFor("online finished"));
        EXPECT_EQ(controller.getLastBulletinBytes(), Bytes(row.taken.begin(), row.taken.end()));
        EXPECT_EQ(controller.getUpdatePatcher().hasVersionRecord(), !row.taken.empty());
        std::vector<PackageSource> sources;
        EXPECT_EQ(controller.getPackageSources().equalRange(u"Feature_Maps_2.0_.lzma", sources), row.taken == cached);
    }
}

TEST_F(PrerequisitesOnlineThreads, CancellingTheDownloadsEndsTheOnlineChecksOnce)
{
    makeOnlineProduct();
    PagePrerequisitesLogic& logic = makeLogic();
    // Nothing runs: nothing to ask.
    EXPECT_TRUE(logic.cancelDownloads(false));
    EXPECT_EQ(ui_->stopSearchQuestions, 0);

    test::HttpReply stalled = test::HttpReply::ok(bulletinXml());
    stalled.stallBeforeReply = true;
    server_.setReply("/bulletin.xml", stalled);
    logic.checkConnection();
    ASSERT_TRUE(server_.waitForStalls(1));
    // The user would rather wait.
    EXPECT_FALSE(logic.cancelDownloads(false));
    EXPECT_EQ(ui_->stopSearchQuestions, 1);
    EXPECT_FALSE(logic.isOnlineFinished());

    EXPECT_TRUE(logic.cancelDownloads(true));
    EXPECT_EQ(ui_->stopSearchQuestions, 1);
    EXPECT_TRUE(logic.isOffline());
    EXPECT_EQ(sink_.events(), (std::vector<std::string>{"connection check", "connected 1", "download 5",
                                                        "online finished"}));
    server_.stop();
    EXPECT_EQ(sink_.count("online finished"), 1);
}

TEST_F(PrerequisitesOnlineThreads, ALogicThatGoesEndsItsDownloadFirst)
{
    test::HttpReply stalled = test::HttpReply::ok(bulletinXml());
    stalled.stallAt = {10};
    server_.setReply("/bulletin.xml", stalled);
    makeOnlineProduct();
    makeLogic().checkConnection();
    ASSERT_TRUE(server_.waitForStalls(1));
    logic_.reset();
    // Nothing reached the page after the logic went, and nothing was taken.
    EXPECT_EQ(sink_.events(), (std::vector<std::string>{"connection check", "connected 1"}));
    EXPECT_FALSE(controller().getUpdatePatcher().hasVersionRecord());
}

TEST_F(PrerequisitesOnlineThreads, TheNewerInstallerIsDownloadedCheckedAndStarted)
{
    AppPaths::setInstance(SharedString(u"\\Program Files\\Druvex\\setup.exe"));
    const std::string program = "MZ the newer installer";
    serve("/setup_qm40.exe", program);
    const std::string record = " <EmptyInstaller platform=\"Qm40\" revision=\"168900\" size=\"" +
                               std::to_string(program.size()) + "\" digest=\"" + hexSha1(program) +
                               "\" url=\"setup_qm40.exe\" updateMask=\"1\"/>\n";
    serve("/bulletin.xml", bulletinXml("5.1", record));
    makeOnlineProduct();
    source_->waitForStartedProcesses = true;
    // A file of that name left by an earlier run is not the installer
    // offered: it goes, and the offered one is fetched.
    const SharedString folder = joinPath(controller().getWorkFolder(), SharedString(u"dq_empty_inst"));
    ASSERT_TRUE(source_->createDirectory(folder));
    const std::vector<std::uint8_t> stale = {'M', 'Z', '?'};
    ASSERT_TRUE(writeBufferToFile(*source_, stale, joinPath(folder, SharedString(kNewInstallerName))));

    PagePrerequisitesLogic& logic = makeLogic();
    logic.checkConnection();
    ASSERT_TRUE(sink_.waitFor("online finished"));
    EXPECT_EQ(sink_.events(), (std::vector<std::string>{"connection check", "connected 1", "ready 0", "download 0",
                                                        "online finished"}));
    EXPECT_FALSE(source_->exists(joinPath(folder, SharedString(kNewInstallerName)), nullptr));
    SharedString version;
    EXPECT_TRUE(logic.getNewInstallerVersionText(version));
    EXPECT_EQ(version, SharedString(u"5.1.0.168900"));

    sink_.clear();
    logic.startNewInstallerDownload();
    ASSERT_TRUE(sink_.waitFor("new installer started"));
    EXPECT_EQ(sink_.events(), (std::vector<std::string>{"download 0", "new installer started"}));
    // It was started as the empty installer of this one: told to wait for
    // this process and where this installer lies.
    const std::vector<std::string> arguments = test::recordedArguments(device().directory());
    ASSERT_EQ(arguments.size(), 2u);
    char pid[16];
    std::snprintf(pid, sizeof pid, "%08X", static_cast<unsigned>(::getpid()));
    EXPECT_EQ(arguments[1], std::string("empty_installer ") + pid + " \"" +
                                std::string(toUtf8(AppPaths::instance().getModulePath()).view()) + "\"");
    EXPECT_FALSE(controller().isNewInstallerLaunchFailed());
    // It runs from there after this installer has gone.
    logic_.reset();
    destroyController();
    EXPECT_TRUE(source_->exists(joinPath(folder, SharedString(kNewInstallerName)), nullptr));
}

// Whom the newer installer is offered to follows its update mask: bit 1 a
// new installation, bit 32 an installed program, bit 8 an installed log that
// lists features without naming a program; bit 256 is kept in the controller.
TEST_F(PrerequisitesOnlineThreads, TheNewerInstallersMaskFollowsWhatIsInstalled)
{
    AppPaths::setInstance(SharedString(u"\\Program Files\\Druvex\\setup.exe"));
    enum Installed { kNothing, kProgram, kFeaturesOnly };
    const struct {
        const char* name;
        Installed installed;
        unsigned mask;
        bool offered;
    } cases[] = {
        {"nothing installed, for new installations", kNothing, 1, true},
        {"nothing installed, for installed features", kNothing, 8, false},
        {"a program, for installed programs", kProgram, 32, true},
        {"a program, for installed features", kProgram, 8, false},
        {"features only, for installed features", kFeaturesOnly, 8, true},
        {"features only, for installed programs", kFeaturesOnly, 32, false},
        {"features only, for new installations", kFeaturesOnly, 1, false},
        {"bit 256 with the offer", kNothing, 1 | 256, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        resetPrerequisitesProcessStateForTests();
        serve("/bulletin.xml", bulletinXml("5.1", " <EmptyInstaller platform=\"Qm40\" revision=\"168900\" size=\"4\" "
                                                  "url=\"setup_qm40.exe\" updateMask=\"" +
                                                      std::to_string(c.mask) + "\"/>\n"));
        InstallerController& controller = makeOnlineProduct();
        if (c.installed != kNothing) {
            addInstalled(u"Feature/Maps");
            if (c.installed == kFeaturesOnly)
                controller.getInstalledLog()->setProgramVersion(VersionNumber());
        }
        EXPECT_EQ(controller.isInstalledProgramRecorded(), c.installed == kProgram);
        sink_.clear();
        makeLogic().checkConnection();
        ASSERT_TRUE(sink_.waitFor("online finished"));
        EXPECT_EQ(sink_.count("ready 0"), c.offered ? 1 : 0);
        EXPECT_EQ(controller.hasNewerInstallerFlag256(), (c.mask & 256) != 0);
    }
}

TEST_F(PrerequisitesOnlineThreads, MissingLanguageFilesAreOfferedAndFetched)
{
    AppPaths::setInstance(SharedString(u"\\Program Files\\Druvex\\setup.exe"));
    const std::string file = "a language file";
    serve("/lng/deutsch.lng", file);
    serve("/bulletin.xml", bulletinXml("5.1", " <InstallerLanguage localeID=\"1031\" digest=\"" + hexSha1(file) +
                                                  "\" url=\"lng/deutsch.lng\"/>\n"));
    makeOnlineProduct();
    PagePrerequisitesLogic& logic = makeLogic();
    logic.runDeviceAndOnlineChecks();
    ASSERT_TRUE(sink_.waitFor("online finished"));
    EXPECT_EQ(sink_.events(), (std::vector<std::string>{"device check", "device 1  16", "connection check",
                                                        "connected 1", "ready 1", "download 0", "online finished"}));
    logic.startLanguageDownloads();
    // The downloader works in queue order: once a request queued after the
    // language file has ended, so has the language file's.
    test::RecordingListener end;
    std::shared_ptr<DownloadRequest> request;
    controller().getWebDownloader().enqueue(fromUtf8(server_.url("/bulletin.xml")), SharedString(), 0, &end, request);
    ASSERT_TRUE(end.waitFinished());
    EXPECT_EQ(device().readFile("Program Files/Druvex/lng/lng_5.1_1031_Deutsch.lng"), file);
}

TEST_F(UnattendedPrerequisitesThreads, TheWaiterEndsWithTheBulletin)
{
    serve("/bulletin.xml", bulletinXml());
    makeOnlineProduct();
    {
        UnattendedPrerequisites waiter(makeLogic(), &waits_);
        EXPECT_TRUE(waiter.run());
        EXPECT_EQ(waiter.getResult(), 0);
        EXPECT_FALSE(waiter.getResultFlag());
    }
    EXPECT_TRUE(controller().getUpdatePatcher().hasVersionRecord());

    serve("/bulletin.xml", bulletinXml("5.0"));
    makeOnlineProduct();
    UnattendedPrerequisites waiter(makeLogic(), &waits_);
    EXPECT_FALSE(waiter.run());
    EXPECT_EQ(waiter.getResult(), 3);
}

TEST_F(UnattendedPrerequisitesThreads, AServerThatNeverAnswersFailsTheWait)
{
    test::HttpReply silent;
    silent.stallBeforeReply = true;
    server_.setReply("/bulletin.xml", silent);
    makeOnlineProduct();
    waits_.expireAtOnce = true;
    UnattendedPrerequisites waiter(makeLogic(), &waits_);
    EXPECT_FALSE(waiter.run());
    EXPECT_EQ(waiter.getResult(), UnattendedPrerequisites::kNoResult);
}

TEST_F(UnattendedPrerequisitesThreads, TheWaiterStartsTheNewerInstallerFromItsOwnThread)
{
    const std::string program = "MZ the newer installer";
    serve("/setup_qm40.exe", program);
    serve("/bulletin.xml",
          bulletinXml("5.1", " <EmptyInstaller platform=\"Qm40\" revision=\"168900\" size=\"" +
                                 std::to_string(program.size()) + "\" url=\"setup_qm40.exe\" updateMask=\"1\"/>\n"));
    makeOnlineProduct();
    UnattendedPrerequisites waiter(makeLogic(), &waits_);
    EXPECT_TRUE(waiter.run());
    EXPECT_TRUE(waiter.getResultFlag());
    // The bulletin, then the newer installer.
    ASSERT_TRUE(server_.waitForRequests(2));
    EXPECT_EQ(server_.requests()[1].target, "/setup_qm40.exe");
}

TEST_F(UnattendedPrerequisitesThreads, ASilentRunFetchesTheBulletinBeforeTheMode)
{
    serve("/bulletin.xml", bulletinXml());
    makeOnlineProduct();
    openArchive(test::buildArchive({test::codedEntry(u"Data", kPayloadMethodStored, test::sampleData(100))}));
    addFeature(u"Maps");
    // Installed already: the update server's answer lets it go on unasked.
    addInstalled(u"Feature/Maps");
    EXPECT_TRUE(makeLogic().runUnattended());
    EXPECT_EQ(ui_->noUpdateServerQuestions, 0);
    EXPECT_TRUE(controller().getUpdatePatcher().hasVersionRecord());
    EXPECT_EQ(controller().getPageSequence().getMode(), kModeMaintenance);
    // The bulletin was applied: the feature has the bulletin's version.
    EXPECT_EQ(controller().getInstallData().findItemByPath(u"Feature/Maps")->getVersion(), SharedString(u"2.0"));
}

}  // namespace
}  // namespace druvex
