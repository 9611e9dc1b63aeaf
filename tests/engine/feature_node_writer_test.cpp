// The feature node writer over the device host: where the run's pause and
// cancel checks stop it, the queued requests and progress around each file,
// the install plan's records, the clean-up of managed folders, the "lng.ini"
// files of language features, files held open on a desktop, and the copy of a
// file from its local source path.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <optional>
#include <thread>

#include "data/content_tree.h"
#include "data/feature.h"
#include "engine/feature_node_writer.h"
#include "engine/host_node_writer.h"
#include "engine_fixture.h"
#include "feature_writer_fixture.h"
#include "package_writer/package_writer.h"
#include "payload/package_unpacker.h"
#include "support/shared_string_print.h"
#include "text/text_convert.h"

namespace druvex {
namespace {

using test::FakeInstallRun;
using Calls = std::vector<std::string>;

const char16_t kTarget[] = u"\\Program Files\\App";

// Remembers what it was told, in order.
class RecordingObserver final : public ItemObserver {
public:
    bool beforeFolder(ContentFolder* node) override
    {
        seen.push_back("folder " + (node ? test::narrow(node->getName().view()) : std::string("-")));
        return false;
    }
    bool beforeFile(ContentFile*, const SharedString& path) override
    {
        seen.push_back("file " + test::narrow(path.view()));
        return false;
    }

    std::vector<std::string> seen;
};

class FeatureNodeWriterTest : public test::EngineHostFixture {
protected:
    void SetUp() override
    {
        EngineHostFixture::SetUp();
        device().makeFolder("Program Files/App");
        run_.emplace(host_, SharedString(kTarget));
        nodeWriter_.emplace(host_);
        feature_ = makeFeaturePtr();
        feature_->setName(SharedString(u"Main"));
    }
    void TearDown() override
    {
        nodeWriter_.reset();
        run_.reset();
        EngineHostFixture::TearDown();
    }

    FeatureNodeWriter makeWriter(bool drain = true, FeaturePtr feature = nullptr)
    {
        return FeatureNodeWriter(*nodeWriter_, *run_, plan_, observer_, feature ? feature : feature_, drain);
    }

    // createFile, the content in one write, finishFile.
    static bool writeFile(FeatureNodeWriter& writer, ContentFile* node, const SharedString& path,
                          std::string_view content)
    {
        return writer.createFile(node, path) &&
               writer.writeData(static_cast<std::uint32_t>(content.size()),
                                reinterpret_cast<const std::uint8_t*>(content.data())) &&
               writer.finishFile();
    }

    std::vector<std::string> planFiles() const
    {
        std::vector<std::string> files;
        for (const InstallPlanEntry& entry : plan_.getItem(0).files)
            files.push_back(test::narrow(entry.path.view()));
        return files;
    }

    std::optional<FakeInstallRun> run_;
    std::optional<HostNodeWriter> nodeWriter_;
    InstallPlan plan_;
    RecordingObserver observer_;
    FeaturePtr feature_;
};

// A canceled run: nothing of the folder or file reaches the plan, the
// observer or the target; a cancel during the data closes the open file.
TEST_F(FeatureNodeWriterTest, ACanceledRunStopsEachOperationBeforeItActs)
{
    nodeWriter_.emplace(faulty_);
    FeatureNodeWriter writer = makeWriter();
    run_->canceled = true;
    ContentFolder folder(u"data");
    ContentFile file(u"a.txt");
    EXPECT_FALSE(writer.createFolder(&folder, u"\\Program Files\\App\\data"));
    EXPECT_FALSE(writer.createFile(&file, u"\\Program Files\\App\\a.txt"));
    EXPECT_EQ(run_->takeCalls(), (Calls{"check", "check"}));  // no drain either
    EXPECT_TRUE(plan_.getItem(0).folders.empty());
    EXPECT_TRUE(plan_.getItem(0).files.empty());
    EXPECT_TRUE(observer_.seen.empty());
    EXPECT_FALSE(device().exists("Program Files/App/data"));
    EXPECT_FALSE(device().exists("Program Files/App/a.txt"));

    run_->canceled = false;
    ASSERT_TRUE(writer.createFile(&file, u"\\Program Files\\App\\a.txt"));
    ASSERT_TRUE(writer.writeData(3, reinterpret_cast<const std::uint8_t*>("abc")));
    run_->canceled = true;
    const int closes = faulty_->closeCount();
    EXPECT_FALSE(writer.writeData(3, reinterpret_cast<const std::uint8_t*>("def")));
    EXPECT_EQ(faulty_->closeCount(), closes + 1);
    EXPECT_EQ(device().readFile("Program Files/App/a.txt"), "abc");
    EXPECT_EQ(plan_.getItem(0).totalBytes, 3u);
}

// Before each file the queued requests are handled (unless the feature comes
// from such a request); each piece is reported, and the file's byte count is
// the estimate's sample when it closes.
TEST_F(FeatureNodeWriterTest, EachFileDrainsTheQueueAndReportsItsBytes)
{
    {
        FeatureNodeWriter writer = makeWriter(true);
        ContentFile node(u"a.txt");
        ASSERT_TRUE(writer.createFile(&node, u"\\Program Files\\App\\a.txt"));
        ASSERT_TRUE(writer.writeData(5, reinterpret_cast<const std::uint8_t*>("hello")));
        ASSERT_TRUE(writer.writeData(4, reinterpret_cast<const std::uint8_t*>(" you")));
        ASSERT_TRUE(writer.finishFile());
        EXPECT_EQ(run_->takeCalls(), (Calls{"check", "drain", "check", "progress \\Program Files\\App\\a.txt 5",
                                            "check", "progress \\Program Files\\App\\a.txt 4", "sample 9"}));
        EXPECT_EQ(device().readFile("Program Files/App/a.txt"), "hello you");
    }
    {
        FeatureNodeWriter writer = makeWriter(false);
        ASSERT_TRUE(writeFile(writer, nullptr, u"\\Program Files\\App\\b.txt", ""));
        EXPECT_EQ(run_->takeCalls(), (Calls{"check", "check", "progress \\Program Files\\App\\b.txt 0", "sample 0"}));
    }

    // A queued request that fails fails the file before anything of it happens.
    run_->drainResult = false;
    FeatureNodeWriter writer = makeWriter(true);
    EXPECT_FALSE(writer.createFile(nullptr, u"\\Program Files\\App\\c.txt"));
    EXPECT_FALSE(device().exists("Program Files/App/c.txt"));
    EXPECT_EQ(planFiles(), (std::vector<std::string>{"/Program Files/App/a.txt", "/Program Files/App/b.txt"}));
}

// Folders with their Flags, '\' turned into '/' and a trailing '/' dropped;
// files with theirs; the feature's bytes; the observer told of each folder
// and file before it is created.
TEST_F(FeatureNodeWriterTest, ThePlanRecordsFoldersFilesAndBytes)
{
    FeatureNodeWriter writer = makeWriter();
    ContentFolder folder(u"App");
    folder.setFlags(17);
    ContentFile file(u"a.dll");
    file.setFlags(8);
    ASSERT_TRUE(writer.createFolder(&folder, u"\\Program Files\\App\\"));
    ASSERT_TRUE(writer.createFolder(nullptr, u"\\Program Files\\App\\bin"));
    ASSERT_TRUE(writeFile(writer, &file, u"\\Program Files\\App\\bin\\a.dll", "12345"));
    ASSERT_TRUE(writeFile(writer, nullptr, u"\\Program Files\\App\\bin/b.dll", "678"));
    EXPECT_EQ(observer_.seen, (std::vector<std::string>{"folder App", "folder -", "file \\Program Files\\App\\bin\\a.dll",
                                                        "file \\Program Files\\App\\bin/b.dll"}));

    ASSERT_EQ(plan_.getItemCount(), 1);
    const InstallPlanItem& main = plan_.getItem(0);
    EXPECT_EQ(main.feature, feature_);
    ASSERT_EQ(main.folders.size(), 2u);
    EXPECT_EQ(main.folders[0].path, u"/Program Files/App");
    EXPECT_EQ(main.folders[0].flags, 17);
    EXPECT_EQ(main.folders[1].path, u"/Program Files/App/bin");
    EXPECT_EQ(main.folders[1].flags, 0);
    ASSERT_EQ(main.files.size(), 2u);
    EXPECT_EQ(main.files[0].path, u"/Program Files/App/bin/a.dll");
    EXPECT_EQ(main.files[0].flags, 8);
    EXPECT_EQ(main.files[1].path, u"/Program Files/App/bin/b.dll");
    EXPECT_EQ(main.files[1].flags, 0);
    EXPECT_EQ(main.totalBytes, 8u);
}

// A managed folder (Flags value 4) keeps the files an installed feature lists
// (a path with '\' matching a listed name with '/', in other letter cases)
// and those this run installed; other files go, sub-folders stay.
TEST_F(FeatureNodeWriterTest, AManagedFolderKeepsOnlyWhatIsInstalled)
{
    for (const char* name : {"listed.dll", "stray.txt", "other.cfg", "sub/inner.txt", "ran.dat"})
        device().writeFile(std::string("Program Files/App/plugins/") + name, "old");
    device().writeFile("Program Files/App/plain/stray.txt", "old");

    auto installed = makeFeaturePtr();
    installed->setName(SharedString(u"Feature/Plugins"));
    installed->addContent(std::make_shared<ContentFile>(SharedString(u"/program files/APP/Plugins/Listed.DLL")));
    auto elsewhere = std::make_shared<ContentFolder>(SharedString(u"deep"));
    elsewhere->addChild(std::make_shared<ContentFile>(SharedString(u"/Program Files/App/plugins/other.cfg")));
    auto second = makeFeaturePtr();
    second->setName(SharedString(u"Feature/Other"));
    second->addContent(elsewhere);
    run_->installedLog->addFeature(installed);
    run_->installedLog->addFeature(second);

    // An earlier feature of this run installed "ran.dat" there.
    auto earlier = makeFeaturePtr();
    earlier->setName(SharedString(u"Earlier"));
    plan_.addItem(earlier);
    plan_.addFile(u"\\Program Files\\App\\plugins\\RAN.dat", 0);

    FeatureNodeWriter writer = makeWriter();
    ContentFolder managed(u"plugins");
    managed.setFlags(kContentFlagManagedFolder);
    ContentFolder plain(u"plain");
    ASSERT_TRUE(writer.createFolder(&managed, u"\\Program Files\\App\\plugins"));
    ASSERT_TRUE(writer.createFolder(&plain, u"\\Program Files\\App\\plain"));
    EXPECT_TRUE(device().exists("Program Files/App/plugins/listed.dll"));
    EXPECT_TRUE(device().exists("Program Files/App/plugins/other.cfg"));
    EXPECT_TRUE(device().exists("Program Files/App/plugins/ran.dat"));
    EXPECT_TRUE(device().exists("Program Files/App/plugins/sub/inner.txt"));
    EXPECT_FALSE(device().exists("Program Files/App/plugins/stray.txt"));
    EXPECT_TRUE(device().exists("Program Files/App/plain/stray.txt"));

    // A managed folder that does not stand yet is simply made.
    ContentFolder fresh(u"fresh");
    fresh.setFlags(kContentFlagManagedFolder | kContentFlagForEveryone);
    EXPECT_TRUE(writer.createFolder(&fresh, u"\\Program Files\\App\\fresh"));
    EXPECT_TRUE(device().exists("Program Files/App/fresh"));
}

// A language feature (LocaleId 1031) whose template writes "lng.ini" files:
// before each file, the "lng.ini" of its folder holds exactly that file's name
// in the ANSI code page; the last file of a folder is the one named.
TEST_F(FeatureNodeWriterTest, ALanguageFeatureNamesItsFileInLngIni)
{
    auto languageTemplate = std::make_shared<LanguageTemplate>();
    languageTemplate->inigen = 1;
    auto parent = makeFeaturePtr();
    parent->setName(SharedString(u"Languages"));
    auto german = makeFeaturePtr();
    german->setName(SharedString(u"German"));
    german->setLocaleId(1031);
    ASSERT_TRUE(parent->addSubFeature(german));
    // Paired with the parent only: the feature takes its parent's template.
    run_->templates[parent.get()] = languageTemplate;

    for (const char* folder : {"lang", "lang/sub", "none"})
        device().makeFolder(std::string("Program Files/App/") + folder);
    FeatureNodeWriter writer = makeWriter(true, german);
    ASSERT_TRUE(writeFile(writer, nullptr, u"\\Program Files\\App\\lang\\app_deu.lng", "[Save][Speichern]"));
    EXPECT_EQ(device().readFile("Program Files/App/lang/lng.ini"), "app_deu.lng");
    EXPECT_EQ(planFiles(), (std::vector<std::string>{"/Program Files/App/lang/lng.ini",
                                                     "/Program Files/App/lang/app_deu.lng"}));
    EXPECT_EQ(plan_.getItem(0).totalBytes, 11u + 17u);

    ASSERT_TRUE(writeFile(writer, nullptr, u"\\Program Files\\App\\lang\\Hilfe_\u00C4.lng", "x"));
    EXPECT_EQ(device().readFile("Program Files/App/lang/lng.ini"), "Hilfe_\xC4.lng");  // 1252
    EXPECT_EQ(planFiles().size(), 3u);  // lng.ini is recorded once

    // On a desktop target the one "lng.ini" lies in the installation's folder.
    run_->desktopTarget = true;
    ASSERT_TRUE(writeFile(writer, nullptr, u"\\Program Files\\App\\lang\\sub\\map_deu.lng", "m"));
    EXPECT_EQ(device().readFile("Program Files/App/lng.ini"), "map_deu.lng");
    EXPECT_FALSE(device().exists("Program Files/App/lang/sub/lng.ini"));
    run_->desktopTarget = false;

    // A template that writes none, or no template at all: no "lng.ini".
    languageTemplate->inigen = 0;
    FeatureNodeWriter none = makeWriter(true, german);
    ASSERT_TRUE(writeFile(none, nullptr, u"\\Program Files\\App\\none\\app_deu.lng", "x"));
    run_->templates.clear();
    FeatureNodeWriter untemplated = makeWriter(true, german);
    ASSERT_TRUE(writeFile(untemplated, nullptr, u"\\Program Files\\App\\none\\app_deu.lng", "x"));
    EXPECT_FALSE(device().exists("Program Files/App/none/lng.ini"));

    // An "lng.ini" whose close fails may not hold the name: it fails the file.
    languageTemplate->inigen = 1;
    run_->templates[german.get()] = languageTemplate;
    nodeWriter_.emplace(faulty_);
    test::HalFaultPlan plan;
    plan.failClose = true;
    faulty_->setPlan(plan);
    FeatureNodeWriter unclosed = makeWriter(true, german);
    EXPECT_FALSE(unclosed.createFile(nullptr, u"\\Program Files\\App\\none\\app_deu.lng"));
}

// The English feature of such a template writes, when its writer is made, an
// empty "lng.ini" in the folder the pattern names, making each folder of the
// pattern first; the pattern's file part plays no role.
TEST_F(FeatureNodeWriterTest, TheEnglishFeatureWritesAnEmptyLngIniAtOnce)
{
    auto languageTemplate = std::make_shared<LanguageTemplate>();
    languageTemplate->inigen = 1;
    languageTemplate->pattern = SharedString(u"<TARGETDIR>\\Lang\\Text\\lng_%d.lng");
    feature_->setLocaleId(1033);
    run_->templates[feature_.get()] = languageTemplate;

    FeatureNodeWriter writer = makeWriter();
    EXPECT_TRUE(device().exists("Program Files/App/Lang/Text/lng.ini"));
    EXPECT_EQ(device().readFile("Program Files/App/Lang/Text/lng.ini"), "");
    const InstallPlanItem& item = plan_.getItem(0);
    ASSERT_EQ(item.folders.size(), 3u);
    EXPECT_EQ(item.folders[0].path, u"/Program Files/App");
    EXPECT_EQ(item.folders[1].path, u"/Program Files/App/Lang");
    EXPECT_EQ(item.folders[2].path, u"/Program Files/App/Lang/Text");
    EXPECT_EQ(planFiles(), (std::vector<std::string>{"/Program Files/App/Lang/Text/lng.ini"}));
    EXPECT_EQ(item.totalBytes, 0u);
    EXPECT_TRUE(observer_.seen.empty());

    // Its files get no "lng.ini" of their own.
    device().makeFolder("Program Files/App/Other");
    ASSERT_TRUE(writeFile(writer, nullptr, u"\\Program Files\\App\\Other\\app_enu.lng", "x"));
    EXPECT_FALSE(device().exists("Program Files/App/Other/lng.ini"));
}

// On a desktop a file that another process holds open is deleted before it is
// written again, with the user's help when it stays held; the device is
// never asked.
TEST_F(FeatureNodeWriterTest, AHeldFileOnADesktopIsReplacedOrAbandoned)
{
    constexpr std::uint32_t kNoWrite = 0x120089;
    const char16_t* const path = u"\\Program Files\\App\\app.exe";
    const std::u16string key = installPathKey(path);
    struct Case {
        const char* name;
        DeviceType deviceType = DeviceType::WIN32;
        bool locked = true;
        bool denied = false;
        std::optional<std::uint32_t> mask = std::nullopt;
        bool administrator = false;
        bool closeReleases = false;
        bool rebootRequired = false;
        std::deque<LockedFilesAnswer> answers = {};
        bool releaseOnRetry = false;
        // Expected.
        bool replaced = true;
        bool abandoned = false;
        bool writable = true;
        std::size_t prompts = 0;
        Calls calls = {};
        int maskQueries = 1;
        int elevatedDeletes = 0;
        bool needsReboot = false;
    };
    const Calls waited = {"check", "drain", "wait 500", "close-holders"};
    // Ignored, the held file is written over and the run needs a reboot.
    const Calls ignored = {"check", "drain", "wait 500", "close-holders", "reboot-required"};
    const Case cases[] = {
        {.name = "device", .deviceType = DeviceType::TS_TSORLAN, .calls = {"check", "drain"}, .maskQueries = 0},
        {.name = "free", .locked = false, .calls = {"check", "drain"}, .maskQueries = 0},
        {.name = "ignore", .answers = {kLockedFilesIgnore}, .prompts = 1, .calls = ignored, .needsReboot = true},
        {.name = "exit", .answers = {kLockedFilesExit}, .replaced = false, .abandoned = true, .prompts = 1,
         .calls = waited},
        {.name = "retry until released", .answers = {kLockedFilesRetry}, .releaseOnRetry = true, .prompts = 1,
         .calls = waited},
        {.name = "retry, retry, exit", .answers = {kLockedFilesRetry, kLockedFilesRetry, kLockedFilesExit},
         .replaced = false, .abandoned = true, .prompts = 3, .calls = waited},
        {.name = "holders closed", .closeReleases = true, .calls = waited},
        {.name = "reboot pending", .rebootRequired = true, .calls = {"check", "drain", "wait 500"},
         .needsReboot = true},
        {.name = "administrator without write access", .mask = kNoWrite, .administrator = true, .replaced = false,
         .writable = false, .calls = {"check", "drain"}},
        {.name = "administrator, mask unreadable", .administrator = true, .replaced = false,
         .calls = {"check", "drain"}},
        {.name = "administrator with write access", .mask = 0x40000000, .administrator = true,
         .answers = {kLockedFilesIgnore}, .prompts = 1, .calls = ignored, .needsReboot = true},
        {.name = "denied, elevated delete", .locked = false, .denied = true, .mask = kNoWrite, .writable = false,
         .calls = {"check", "drain"}, .elevatedDeletes = 1},
        {.name = "all write bits", .mask = 0x120116, .answers = {kLockedFilesIgnore}, .prompts = 1, .calls = ignored,
         .needsReboot = true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        device().writeFile("Program Files/App/app.exe", "old");
        auto state = std::make_shared<test::DesktopState>();
        state->deviceType = c.deviceType;
        state->holders = {LockingProcess{42, 1, 2, SharedString(u"Survey Office"), SharedString()}};
        if (c.locked)
            state->locked.insert(key);
        if (c.denied)
            state->denied.insert(key);
        if (c.mask)
            state->masks[key] = *c.mask;
        run_->halOut = std::make_shared<test::DesktopHost>(state, false);
        run_->halOutElevated = std::make_shared<test::DesktopHost>(state, true);
        run_->desktop = state;
        run_->administrator = c.administrator;
        run_->closeReleases = c.closeReleases;
        run_->rebootRequired = c.rebootRequired;
        run_->prompt = std::make_shared<test::LockedFilesPrompt>();
        run_->prompt->answers = c.answers;
        if (c.releaseOnRetry)
            run_->prompt->onAnswer = [state](LockedFilesAnswer) { state->locked.clear(); };
        run_->takeCalls();

        FeatureNodeWriter writer = makeWriter();
        const bool written = writeFile(writer, nullptr, path, "new");
        EXPECT_EQ(written, c.replaced);
        EXPECT_EQ(device().readFile("Program Files/App/app.exe"), c.replaced ? "new" : "old");
        EXPECT_EQ(writer.isAbandoned(), c.abandoned);
        EXPECT_EQ(writer.isWritable(), c.writable);
        ASSERT_EQ(run_->prompt->shownLists.size(), c.prompts);
        for (const std::vector<LockingProcess>& shown : run_->prompt->shownLists) {
            ASSERT_EQ(shown.size(), 1u);
            EXPECT_EQ(shown[0].applicationName, u"Survey Office");
        }
        // Up to the check of the first data piece.
        Calls calls = run_->takeCalls();
        const auto dataCheck = std::find(std::find(calls.begin(), calls.end(), "check") + 1, calls.end(), "check");
        calls.erase(dataCheck, calls.end());
        EXPECT_EQ(calls, c.calls);
        EXPECT_EQ(state->maskQueries, c.maskQueries);
        EXPECT_EQ(state->elevatedDeletes, c.elevatedDeletes);
        EXPECT_EQ(run_->rebootRequired, c.needsReboot);
    }
}

// A file node with a local OrigPath takes its data from that file in blocks
// of 4,096 bytes, without further checks and with progress per block; an
// "http://" address (any case) or none leaves the data to writeData.
TEST_F(FeatureNodeWriterTest, AFileIsCopiedFromItsLocalSourcePath)
{
    const test::Bytes data = test::sampleData(10000);
    placeFile("source.bin", data);
    FeatureNodeWriter writer = makeWriter(false);
    ContentFile node(u"copy.bin");
    node.setOrigPath(SharedString(u"\\Temp\\source.bin"));
    ASSERT_TRUE(writer.createFile(&node, u"\\Program Files\\App\\copy.bin"));
    ASSERT_TRUE(writer.finishFile());
    const std::string progress = "progress \\Program Files\\App\\copy.bin ";
    EXPECT_EQ(run_->takeCalls(), (Calls{"check", progress + "4096", progress + "4096", progress + "1808", "sample 0"}));
    EXPECT_EQ(device().readFile("Program Files/App/copy.bin"), std::string(data.begin(), data.end()));
    EXPECT_EQ(plan_.getItem(0).totalBytes, 10000u);

    for (const char16_t* address : {u"", u"HTTP://server/copy.bin", u"http://server/copy.bin"}) {
        SCOPED_TRACE(test::narrow(address));
        ContentFile remote(u"remote.bin");
        remote.setOrigPath(SharedString(address));
        ASSERT_TRUE(writeFile(writer, &remote, u"\\Program Files\\App\\remote.bin", "via data"));
        EXPECT_EQ(device().readFile("Program Files/App/remote.bin"), "via data");
    }

    // A source that is missing, or an address other than "http://" taken for
    // a local path, fails the file.
    for (const char16_t* missing : {u"\\Temp\\missing.bin", u"https://server/copy.bin"}) {
        ContentFile absent(u"absent.bin");
        absent.setOrigPath(SharedString(missing));
        EXPECT_FALSE(writer.createFile(&absent, u"\\Program Files\\App\\absent.bin"));
    }

    // A read that fails part-way fails it too.
    test::HalFaultPlan plan;
    plan.failReadAtOffset = 5000;
    faulty_->setPlan(plan);
    run_->halIn = faulty_;
    EXPECT_FALSE(writer.createFile(&node, u"\\Program Files\\App\\short.bin"));
}

// The size of a local source is the whole 64-bit size: a file reported at
// 4 GiB + 100 bytes is not taken for one of 100 bytes, copied whole and
// reported as a success.
TEST_F(FeatureNodeWriterTest, ALocalSourceOfFourGibibytesIsNotCutToItsLowBits)
{
    class HugeSizeHost final : public HalAccessWinCE {
    public:
        bool getOpenFileSize(FileHandle, std::uint64_t& size) override
        {
            size = (std::uint64_t{1} << 32) + 100;
            return true;
        }
    };
    placeFile("huge.bin", test::sampleData(100));
    run_->halIn = std::make_shared<HugeSizeHost>();
    FeatureNodeWriter writer = makeWriter(false);
    ContentFile node(u"huge.bin");
    node.setOrigPath(SharedString(u"\\Temp\\huge.bin"));
    EXPECT_FALSE(writer.createFile(&node, u"\\Program Files\\App\\huge.bin"));
}

// A language feature's package unpacked through the writer onto the device:
// beside its file the folder's "lng.ini" holds exactly the 11 bytes of the
// file's name, recorded before it.
TEST_F(FeatureNodeWriterTest, APackageOfALanguageFeatureUnpacksWithItsLngIni)
{
    auto languageTemplate = std::make_shared<LanguageTemplate>();
    languageTemplate->inigen = 1;
    feature_->setLocaleId(1031);
    run_->templates[feature_.get()] = languageTemplate;

    tools::PackageWriter package;
    package.openFolder(u"<TARGETDIR>").openFolder(u"lang");
    package.addFile(u"app_deu.lng", test::toBytes("[Open][\xC3\x96" "ffnen]"));
    const test::Bytes stream = package.build();

    test::TargetFolderResolver resolver;
    resolver.map(u"<TARGETDIR>", kTarget);
    FeatureNodeWriter writer = makeWriter();
    PackageUnpacker unpacker(&resolver, writer, *host_);
    ASSERT_TRUE(test::feedPackage(unpacker, stream));
    EXPECT_EQ(device().readFile("Program Files/App/lang/lng.ini"), "app_deu.lng");
    EXPECT_EQ(device().readFile("Program Files/App/lang/app_deu.lng"), "[Open][\xC3\x96" "ffnen]");
    EXPECT_EQ(planFiles(), (std::vector<std::string>{"/Program Files/App/lang/lng.ini",
                                                     "/Program Files/App/lang/app_deu.lng"}));
}

class FeatureNodeWriterThreads : public FeatureNodeWriterTest {};

// A paused run holds the writer inside its check until it is resumed; a
// cancel while paused stops it there.
TEST_F(FeatureNodeWriterThreads, APausedRunHoldsTheWriterUntilResumed)
{
    FeatureNodeWriter writer = makeWriter();
    ContentFolder folder(u"paused");
    run_->pause();
    bool created = false;
    std::thread worker([&] { created = writer.createFolder(&folder, u"\\Program Files\\App\\paused"); });
    run_->awaitBlockedCheck();
    EXPECT_FALSE(device().exists("Program Files/App/paused"));
    EXPECT_TRUE(observer_.seen.empty());
    run_->resume();
    worker.join();
    EXPECT_TRUE(created);
    EXPECT_TRUE(device().exists("Program Files/App/paused"));

    run_->pause();
    bool fileCreated = true;
    std::thread second([&] { fileCreated = writer.createFile(nullptr, u"\\Program Files\\App\\late.txt"); });
    run_->awaitBlockedCheck();
    run_->canceled = true;
    run_->resume();
    second.join();
    EXPECT_FALSE(fileCreated);
    EXPECT_FALSE(device().exists("Program Files/App/late.txt"));
    EXPECT_EQ(planFiles(), std::vector<std::string>{});
}

}  // namespace
}  // namespace druvex
