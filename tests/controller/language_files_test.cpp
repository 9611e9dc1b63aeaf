// Language files in the "lng" folder, the installer archive's translations
// and making a language current, on a test device with a host whose folder
// listings and file deletions the tests can see and steer.
#include "controller/language_file_manager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "../payload/payload_test_support.h"
#include "allocation_probe.h"
#include "core/app_paths.h"
#include "core/translate_text.h"
#include "liveupdate/download_list.h"
#include "liveupdate/update_bulletin.h"
#include "liveupdate/web_downloader.h"
#include "support/diag_capture.h"
#include "support/shared_string_print.h"
#include "support/xlate_file.h"

namespace druvex {
namespace {

using test::Bytes;
using test::mapRecord;
using test::translationFile;
using test::translationMap;

struct ListedEntry {
    SharedString name;
    std::uint64_t size = 0;
    bool isFolder = false;
};

class ListFinder final : public HalFileFinder {
public:
    explicit ListFinder(std::vector<ListedEntry> entries) : entries_(std::move(entries)) {}
    bool next() override { return ++position_ < entries_.size(); }
    SharedString name() const override { return entries_[position_].name; }
    std::uint64_t size() const override { return entries_[position_].size; }
    bool isFolder() const override { return entries_[position_].isFolder; }

private:
    std::vector<ListedEntry> entries_;
    std::size_t position_ = 0;
};

// The device host, with its listings optionally reversed and the files it
// creates and deletes recorded.
class RecordingHost final : public HalAccessWinCE {
public:
    bool createFileFinder(const SharedString& folder, std::unique_ptr<HalFileFinder>& finder) override
    {
        if (!HalAccessWinCE::createFileFinder(folder, finder) || !reverseListings)
            return finder != nullptr;
        std::vector<ListedEntry> entries;
        do
            entries.push_back({finder->name(), finder->size(), finder->isFolder()});
        while (finder->next());
        std::reverse(entries.begin(), entries.end());
        finder = std::make_unique<ListFinder>(std::move(entries));
        return true;
    }
    bool deleteFile(const SharedString& path) override
    {
        deleted.emplace_back(path.view());
        return HalAccessWinCE::deleteFile(path);
    }
    FileHandle createFileForWrite(const SharedString& path) override
    {
        created.emplace_back(path.view());
        return HalAccessWinCE::createFileForWrite(path);
    }

    bool reverseListings = false;
    std::vector<std::u16string> deleted;
    std::vector<std::u16string> created;
};

class FakeController final : public LanguageFileController {
public:
    SharedString getWorkFolder() const override { return workFolder; }
    std::shared_ptr<HalAccess> getHalIn() const override { return host; }
    PayloadArchive& getPayloadArchive() override { return *archive; }
    bool isForcedTranslation() const override { return forced; }
    const std::set<std::uint16_t>& getLanguageIdsAvailableAsFiles() const override { return filesAvailable; }

    SharedString workFolder{u"\\Temp\\DRUVEXInstaller42"};
    std::shared_ptr<HalAccess> host;
    PayloadArchive* archive = nullptr;
    bool forced = false;
    std::set<std::uint16_t> filesAvailable;
};

// The program folder joined with "lng" by joinPath, whose seams get '/'.
constexpr char16_t kLanguageFolder[] = u"\\Program Files\\Druvex/lng";
constexpr char kCurrentLanguage[] = "Temp/DRUVEXInstaller42/CurrentLang.lng";

void addLanguage(UpdateBulletin& bulletin, std::uint32_t localeId, const char16_t* url, const char16_t* digest = u"")
{
    auto entry = std::make_shared<InstallerLanguageEntry>();
    entry->localeId = localeId;
    entry->url = SharedString(url);
    entry->digest = SharedString(digest);
    bulletin.addInstallerLanguage(std::move(entry));
}

std::string text(const Bytes& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

class LanguageFiles : public test::DeviceFixture {
protected:
    void SetUp() override
    {
        DeviceFixture::SetUp();
        device().makeStandardFolders();
        device().makeFolder("Temp/DRUVEXInstaller42");
        AppPaths::setInstance(SharedString(u"\\Program Files\\Druvex\\setup.exe"));
        clearTranslationTable();
        host_ = std::make_shared<RecordingHost>();
        archive_ = std::make_unique<PayloadArchive>(*host_);
        controller_.host = host_;
        controller_.archive = archive_.get();
    }
    void TearDown() override
    {
        clearTranslationTable();
        archive_.reset();
        host_.reset();
        AppPaths::resetInstance();
        DeviceFixture::TearDown();
    }

    // Places the installer archive with these entries and opens it.
    void placeArchive(const std::vector<test::EntrySource>& entries)
    {
        const Bytes bytes = test::buildArchive(entries);
        device().writeFile("Temp/setup.dqres", text(bytes));
        int error = 0;
        ASSERT_TRUE(archive_->open(SharedString(u"\\Temp\\setup.dqres"), error)) << error;
    }

    // A language file in the "lng" folder holding the translation file, coded
    // by xz.
    void placeLanguageFile(std::string_view name, std::string_view translationUtf8)
    {
        device().writeFile("Program Files/Druvex/lng/" + std::string(name),
                           text(test::lzmaByXz(translationFile(translationUtf8))));
    }

    std::vector<std::u16string> currentLanguageWrites() const
    {
        std::vector<std::u16string> writes;
        for (const std::u16string& path : host_->created)
            if (path.ends_with(u"CurrentLang.lng"))
                writes.push_back(path);
        return writes;
    }

    std::shared_ptr<RecordingHost> host_;
    std::unique_ptr<PayloadArchive> archive_;
    FakeController controller_;
};

TEST_F(LanguageFiles, FileNamesParse)
{
    struct Case {
        std::u16string_view fileName;
        bool parses;
        std::uint16_t lcid = 0;
        std::u16string_view name = {};
    } cases[] = {
        {u"lng_5.1_1031_Deutsch.lng", true, 1031, u"Deutsch"},
        {u"lng_5.1_2052_Chinese_Simplified.lng", true, 2052, u"Chinese_Simplified"},
        {u"lng_5.1_972_Custom.lng", true, 972, u"Custom"},
        {u"lng_5.1_1036_.lng", true, 1036, u""},
        {u"lng_5.0_1031_Deutsch.lng", false},
        {u"LNG_5.1_1031_Deutsch.lng", false},
        {u"lng_5.1_1031_Deutsch.LNG", false},
        {u"lng_5.1_Deutsch.lng", false},
        {u"lng_5.1__Deutsch.lng", false},
        {u"lng_5.1_7_Deutsch.lng", false},
        {u"lng_5.1_10x1_Deutsch.lng", false},
        {u"lng_5.1_65536_Deutsch.lng", false},
        {u"lng_5.1_.lng", false},
        {u"lng_5.1_1031_Deutsch.lng.bak", false},
    };
    for (const Case& c : cases) {
        std::uint16_t lcid = 0;
        SharedString name;
        ASSERT_EQ(LanguageFileManager::parseLanguageFileName(c.fileName, lcid, name), c.parses)
            << std::string(c.fileName.begin(), c.fileName.end());
        if (!c.parses)
            continue;
        EXPECT_EQ(lcid, c.lcid);
        EXPECT_EQ(name, c.name);
    }

    LanguageFileManager manager(controller_, host_, false);
    EXPECT_EQ(manager.languageFolder(), kLanguageFolder);
    EXPECT_TRUE(device().exists("Program Files/Druvex/lng"));
    EXPECT_EQ(manager.languageFileName(1031, SharedString(u"Deutsch")),
              std::u16string(kLanguageFolder) + u"/lng_5.1_1031_Deutsch.lng");
}

// A language name goes into the paths of the language file's copy and
// download: one with a separator or ".." would lead them out of the folder.
TEST_F(LanguageFiles, NamesThatWouldLeaveTheLanguageFolderAreRefusedWhereTheyAreRead)
{
    for (const std::u16string_view fileName :
         {u"lng_5.1_1036_..\\..\\..\\secret.lng", u"lng_5.1_1036_../x.lng", u"lng_5.1_1036_...lng",
          u"lng_5.1_1036_a\\b.lng", u"lng_5.1_1036_Fran..cais.lng"}) {
        std::uint16_t lcid = 0;
        SharedString name;
        EXPECT_FALSE(LanguageFileManager::parseLanguageFileName(fileName, lcid, name))
            << std::string(fileName.begin(), fileName.end());
    }

    // A file of the folder whose name climbs three levels would have the
    // program folder's secret.lng decoded as the translation.
    device().writeFile("Program Files/Druvex/secret.lng",
                       text(test::lzmaByXz(translationFile("[Save][Leaked]"))));
    placeLanguageFile("lng_5.1_1036_..\\..\\..\\secret.lng", "[Save][Enregistrer]");
    placeArchive({test::codedEntry(u"TranslationMap", kPayloadMethodStored,
                                   translationMap({mapRecord(1031, u"Deutsch"), mapRecord(1040, u"..\\..\\x"),
                                                   mapRecord(1049, u"Russian")}))});
    LanguageFileManager manager(controller_, host_, true);
    // The map is damaged at its second record; the first stays.
    EXPECT_FALSE(manager.loadTranslationMap());
    const std::map<std::uint16_t, SharedString> names = {{1031, SharedString(u"Deutsch")}};
    EXPECT_EQ(manager.names(), names);
    manager.saveCurrentLanguage(1036);
    EXPECT_EQ(translateText("Save"), u"Save");

    // Nor does the bulletin's list bring such a name in.
    manager.applyBulletinLanguages({{1036, SharedString(u"../../../secret")}, {1040, SharedString(u"Italiano")}},
                                   u"5.1");
    EXPECT_EQ(manager.names().count(1036), 0u);
    EXPECT_EQ(manager.names().at(1040), u"Italiano");
}

TEST_F(LanguageFiles, FolderAndArchiveLanguagesAreKnownWithTheirSources)
{
    placeLanguageFile("lng_5.1_1031_German.lng", "[Save][Speichern]");
    placeLanguageFile("readme.lng", "");
    device().makeFolder("Program Files/Druvex/lng/lng_5.1_1040_Italiano.lng");
    placeArchive({test::codedEntry(u"TranslationMap", kPayloadMethodStored,
                                   translationMap({mapRecord(1031, u"Deutsch"), mapRecord(1036, u"Fran\u00E7ais"),
                                                   mapRecord(1040, u"")}))});

    LanguageFileManager manager(controller_, host_, false);
    ASSERT_TRUE(manager.loadTranslationMap());
    // The folder's file wins over the archive's name; a folder is no file.
    const std::map<std::uint16_t, SharedString> names = {
        {1031, SharedString(u"German")}, {1036, SharedString(u"Fran\u00E7ais")}, {1040, SharedString()}};
    EXPECT_EQ(manager.names(), names);
    const std::map<std::uint16_t, LanguageSource> sources = {{1031, LanguageSource::LanguageFolder},
                                                             {1036, LanguageSource::InstallerArchive},
                                                             {1040, LanguageSource::InstallerArchive}};
    EXPECT_EQ(manager.sources(), sources);
}

TEST_F(LanguageFiles, MissingOrThreeByteMapFails)
{
    LanguageFileManager manager(controller_, host_, false);
    EXPECT_FALSE(manager.loadTranslationMap());  // no archive at all

    placeArchive({test::codedEntry(u"TranslationMap", kPayloadMethodStored, Bytes{1, 0, 0})});
    EXPECT_FALSE(manager.loadTranslationMap());
    EXPECT_TRUE(manager.names().empty());
}

TEST_F(LanguageFiles, ArchiveTranslationBecomesCurrent)
{
    placeArchive({
        test::codedEntry(u"TranslationMap", kPayloadMethodStored, translationMap({mapRecord(1031, u"Deutsch")})),
        test::codedEntry(u"Translation_1031", kPayloadMethodLzma, translationFile("[Save][Speichern]")),
    });
    LanguageFileManager manager(controller_, host_, false);
    ASSERT_TRUE(manager.loadTranslationMap());
    manager.saveCurrentLanguage(1031);
    EXPECT_EQ(translateText("Save"), u"Speichern");
    // Written to the work folder, selected, then deleted: the table keeps it mapped.
    EXPECT_EQ(currentLanguageWrites(), std::vector<std::u16string>{u"\\Temp\\DRUVEXInstaller42/CurrentLang.lng"});
    EXPECT_FALSE(device().exists(kCurrentLanguage));

    manager.saveCurrentLanguage(kEnglishLanguageId);
    EXPECT_EQ(translateText("Save"), u"Save");
}

TEST_F(LanguageFiles, MissingArchiveEntryShowsEnglishNotAStaleFile)
{
    placeArchive({test::codedEntry(u"TranslationMap", kPayloadMethodStored, translationMap({mapRecord(1036, u"Fr")}))});
    // Left behind by an earlier choice whose deletion failed.
    device().writeFile(kCurrentLanguage, test::utf16leFromUtf8("[Save][Speichern]"));
    LanguageFileManager manager(controller_, host_, false);
    ASSERT_TRUE(manager.loadTranslationMap());
    test::DiagCapture capture;
    manager.saveCurrentLanguage(1036);
    EXPECT_EQ(translateText("Save"), u"Save");
    EXPECT_TRUE(capture.contains(u"The installer archive holds no Translation_1036"));
}

TEST_F(LanguageFiles, AnotherFileOfTheSameLcidStandsInForAMissingOne)
{
    placeLanguageFile("lng_5.1_1031_Deutsch.lng", "[Save][Speichern]");
    LanguageFileManager manager(controller_, host_, false);
    EXPECT_FALSE(manager.loadTranslationMap());  // the archive has no map
    // The file was replaced after the scan: the known name no longer names it.
    std::filesystem::rename(device().hostPath("Program Files/Druvex/lng/lng_5.1_1031_Deutsch.lng"),
                            device().hostPath("Program Files/Druvex/lng/lng_5.1_1031_Other.lng"));
    manager.saveCurrentLanguage(1031);
    EXPECT_EQ(translateText("Save"), u"Speichern");
}

TEST_F(LanguageFiles, ArchiveEntryStandsInForUnreadableFiles)
{
    placeLanguageFile("lng_5.1_1031_Deutsch.lng", "[Save][Speichern]");
    placeArchive({test::codedEntry(u"Translation_1031", kPayloadMethodStored, translationFile("[Save][Sichern]"))});
    LanguageFileManager manager(controller_, host_, false);
    EXPECT_FALSE(manager.loadTranslationMap());  // the archive has no map
    device().writeFile("Program Files/Druvex/lng/lng_5.1_1031_Deutsch.lng", "not LZMA");
    manager.saveCurrentLanguage(1031);
    EXPECT_EQ(translateText("Save"), u"Sichern");
}

TEST_F(LanguageFiles, DecodedFileIsTheTranslationByteForByte)
{
    const Bytes translation = translationFile("\xEF\xBB\xBF[Open][\xC3\x96" "ffnen]\r\n[Save][Speichern]\r\n");
    device().writeFile("Program Files/Druvex/lng/lng_5.1_1031_Deutsch.lng", text(test::lzmaByXz(translation)));
    LanguageFileManager manager(controller_, host_, false);
    ASSERT_TRUE(manager.copyDecodedFile(SharedString(u"\\Temp\\copy.lng"),
                                        SharedString(u"\\Program Files\\Druvex\\lng\\lng_5.1_1031_Deutsch.lng")));
    EXPECT_EQ(device().readFile("Temp/copy.lng"), text(translation));
}

TEST_F(LanguageFiles, HugeAnnouncedSizeOfALanguageFileFailsWithoutAllocating)
{
    Bytes coded = test::lzmaByXz(translationFile("[Save][Speichern]"));
    writeLe64(coded.data() + 5, 0x7FFFFFFF);
    device().writeFile("Program Files/Druvex/lng/lng_5.1_1031_Deutsch.lng", text(coded));
    LanguageFileManager manager(controller_, host_, false);
    test::AllocationProbe probe;
    EXPECT_FALSE(manager.copyDecodedFile(SharedString(u"\\Temp\\copy.lng"),
                                         SharedString(u"\\Program Files\\Druvex\\lng\\lng_5.1_1031_Deutsch.lng")));
    EXPECT_LT(probe.largest(), 1024u * 1024);
    EXPECT_FALSE(device().exists("Temp/copy.lng"));
}

TEST_F(LanguageFiles, DuplicatesKeepTheFileOfTheKnownName)
{
    struct Case {
        const char16_t* knownName;
        bool reversed;
        const char16_t* deleted;
    } cases[] = {
        {u"German", false, u"lng_5.1_1031_Deutsch.lng"},
        {u"German", true, u"lng_5.1_1031_Deutsch.lng"},
        // Neither is the known name: the one enumerated second goes.
        {u"Allemand", false, u"lng_5.1_1031_German.lng"},
        {u"Allemand", true, u"lng_5.1_1031_Deutsch.lng"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.knownName, c.knownName + std::char_traits<char16_t>::length(c.knownName)) +
                     (c.reversed ? " reversed" : ""));
        std::filesystem::remove_all(device().hostPath("Program Files/Druvex/lng"));
        archive_ = std::make_unique<PayloadArchive>(*host_);
        controller_.archive = archive_.get();
        placeArchive({test::codedEntry(u"TranslationMap", kPayloadMethodStored,
                                       translationMap({mapRecord(1031, c.knownName)}))});
        LanguageFileManager manager(controller_, host_, false);
        ASSERT_TRUE(manager.loadTranslationMap());
        ASSERT_EQ(manager.names().at(1031), c.knownName);
        // Files that arrived after the scan.
        placeLanguageFile("lng_5.1_1031_Deutsch.lng", "[Save][Speichern]");
        placeLanguageFile("lng_5.1_1031_German.lng", "[Save][Speichern]");
        placeLanguageFile("lng_5.1_1036_Francais.lng", "[Save][Enregistrer]");

        host_->reverseListings = c.reversed;
        host_->deleted.clear();
        manager.removeDuplicateLanguageFiles();
        EXPECT_EQ(host_->deleted, std::vector<std::u16string>{std::u16string(kLanguageFolder) + u"/" + c.deleted});
        host_->reverseListings = false;
    }
}

TEST_F(LanguageFiles, FindLanguageFileTakesTheFirstOfItsLcid)
{
    placeLanguageFile("lng_5.1_1031_B.lng", "");
    placeLanguageFile("lng_5.1_1031_A.lng", "");
    placeLanguageFile("lng_5.1_1036_C.lng", "");
    LanguageFileManager manager(controller_, host_, false);
    EXPECT_EQ(manager.findLanguageFile(1031), std::u16string(kLanguageFolder) + u"/lng_5.1_1031_A.lng");
    host_->reverseListings = true;
    EXPECT_EQ(manager.findLanguageFile(1031), std::u16string(kLanguageFolder) + u"/lng_5.1_1031_B.lng");
    EXPECT_EQ(manager.findLanguageFile(1040), u"");
}

TEST_F(LanguageFiles, ForcedTranslationServesEveryLanguageAndWritesNoCurrentFile)
{
    device().writeFile("Program Files/Druvex/DRUVEX_Installer-Force.lng", test::utf16leFromUtf8("[Save][Forced]"));
    placeArchive({
        test::codedEntry(u"TranslationMap", kPayloadMethodStored, translationMap({mapRecord(1031, u"Deutsch")})),
        test::codedEntry(u"Translation_1031", kPayloadMethodStored, translationFile("[Save][Speichern]")),
    });
    controller_.forced = true;
    LanguageFileManager manager(controller_, host_, false);
    ASSERT_TRUE(manager.loadTranslationMap());
    for (const std::uint16_t lcid : {std::uint16_t{1031}, kEnglishLanguageId, std::uint16_t{1049}}) {
        manager.saveCurrentLanguage(lcid);
        EXPECT_EQ(translateText("Save"), u"Forced") << lcid;
    }
    EXPECT_TRUE(currentLanguageWrites().empty());

    controller_.forced = false;
    manager.saveCurrentLanguage(1031);
    EXPECT_EQ(translateText("Save"), u"Speichern");
    EXPECT_EQ(currentLanguageWrites().size(), 1u);
}

TEST_F(LanguageFiles, ProductFileByCultureNameForLanguagesAvailableAsFiles)
{
    device().writeFile("Program Files/Druvex/DRUVEX_Installer-de-DE.lng", test::utf16leFromUtf8("[Save][Produkt]"));
    device().writeFile("Program Files/Druvex/DRUVEX_Installer-custm.lng", test::utf16leFromUtf8("[Save][Custom]"));
    placeArchive({
        test::codedEntry(u"TranslationMap", kPayloadMethodStored, translationMap({mapRecord(1031, u"Deutsch")})),
        test::codedEntry(u"Translation_1031", kPayloadMethodStored, translationFile("[Save][Speichern]")),
    });
    LanguageFileManager manager(controller_, host_, false);
    EXPECT_TRUE(manager.loadTranslationMap());

    manager.saveCurrentLanguage(1031);
    EXPECT_EQ(translateText("Save"), u"Speichern");  // not available as a file

    controller_.filesAvailable = {1031, 972};
    manager.saveCurrentLanguage(1031);
    EXPECT_EQ(translateText("Save"), u"Produkt");
    manager.saveCurrentLanguage(972);
    EXPECT_EQ(translateText("Save"), u"Custom");
}

TEST_F(LanguageFiles, BulletinLanguagesAreNamedByTheCultureTable)
{
    UpdateBulletin bulletin;
    addLanguage(bulletin, 1031, u"http://h/de.lng");
    addLanguage(bulletin, 0x10407, u"http://h/x.lng");  // no 16-bit id
    addLanguage(bulletin, 9999, u"http://h/y.lng");     // not in the table
    addLanguage(bulletin, 972, u"http://h/custom.lng");
    const std::vector<LanguageListEntry> languages = bulletinLanguageList(bulletin);
    ASSERT_EQ(languages.size(), 2u);
    EXPECT_EQ(languages[0].lcid, 1031);
    EXPECT_EQ(languages[0].name, u"Deutsch");
    EXPECT_EQ(languages[1].lcid, 972);
    EXPECT_EQ(languages[1].name, u"Custom language");
}

TEST_F(LanguageFiles, BulletinLanguagesReplaceDifferingNamesOnlyOnline)
{
    placeLanguageFile("lng_5.1_1031_German.lng", "[Save][Speichern]");
    placeArchive({test::codedEntry(u"TranslationMap", kPayloadMethodStored,
                                   translationMap({mapRecord(1036, u"Fran\u00E7ais")}))});
    const std::vector<LanguageListEntry> list = {
        {1031, SharedString(u"Deutsch")}, {1036, SharedString(u"Fran\u00E7ais")}, {1040, SharedString(u"Italiano")}};
    struct Case {
        bool online;
        std::u16string_view version;
        bool applied;
    } cases[] = {{true, u"5.1", true}, {false, u"5.1", false}, {true, u"5.0", false}, {true, u"5.1.0", false}};
    for (const Case& c : cases) {
        LanguageFileManager manager(controller_, host_, c.online);
        ASSERT_TRUE(manager.loadTranslationMap());
        const auto namesBefore = manager.names();
        const auto sourcesBefore = manager.sources();
        manager.applyBulletinLanguages(list, c.version);
        if (!c.applied) {
            EXPECT_EQ(manager.names(), namesBefore);
            EXPECT_EQ(manager.sources(), sourcesBefore);
            continue;
        }
        // A name the bulletin gives alike keeps its source.
        const std::map<std::uint16_t, SharedString> names = {{1031, SharedString(u"Deutsch")},
                                                             {1036, SharedString(u"Fran\u00E7ais")},
                                                             {1040, SharedString(u"Italiano")}};
        EXPECT_EQ(manager.names(), names);
        const std::map<std::uint16_t, LanguageSource> sources = {{1031, LanguageSource::UpdateServer},
                                                                 {1036, LanguageSource::InstallerArchive},
                                                                 {1040, LanguageSource::UpdateServer}};
        EXPECT_EQ(manager.sources(), sources);
        // The single file of an out-of-date name stays.
        EXPECT_TRUE(device().exists("Program Files/Druvex/lng/lng_5.1_1031_German.lng"));
    }
}

TEST_F(LanguageFiles, BulletinRenamingDecidesWhichDuplicateStays)
{
    placeLanguageFile("lng_5.1_1031_Deutsch.lng", "[Save][Speichern]");
    placeLanguageFile("lng_5.1_1031_German.lng", "[Save][Sichern]");
    LanguageFileManager manager(controller_, host_, true);
    EXPECT_FALSE(manager.loadTranslationMap());  // the archive has no map
    ASSERT_EQ(manager.names().at(1031), u"German");  // the last file listed
    host_->deleted.clear();
    manager.applyBulletinLanguages({{1031, SharedString(u"Deutsch")}}, u"5.1");
    EXPECT_EQ(host_->deleted, std::vector<std::u16string>{std::u16string(kLanguageFolder) + u"/lng_5.1_1031_German.lng"});
    manager.saveCurrentLanguage(1031);
    EXPECT_EQ(translateText("Save"), u"Speichern");
}

TEST_F(LanguageFiles, MissingServerLanguagesAreQueuedWithTheirDigests)
{
    placeLanguageFile("lng_5.1_1040_Italiano.lng", "[Save][Salva]");
    placeArchive({test::codedEntry(u"TranslationMap", kPayloadMethodStored,
                                   translationMap({mapRecord(1036, u"Fran\u00E7ais")}))});
    UpdateBulletin bulletin;
    addLanguage(bulletin, 1031, u"http://h/de.lng", u"0123456789ABCDEF0123456789ABCDEF01234567");
    addLanguage(bulletin, 1031, u"http://h/de-second.lng");
    addLanguage(bulletin, 1040, u"http://h/it.lng");
    addLanguage(bulletin, 1049, u"");
    addLanguage(bulletin, 1036, u"http://h/fr.lng");
    LanguageFileManager manager(controller_, host_, true);
    ASSERT_TRUE(manager.loadTranslationMap());
    manager.applyBulletinLanguages({{1031, SharedString(u"Deutsch")},
                                    {1040, SharedString(u"Italiano")},
                                    {1049, SharedString(u"Russkij")},
                                    {1036, SharedString(u"Fran\u00E7ais")}},
                                   u"5.1");

    WebDownloader downloader;
    DownloadList list(host_, downloader, nullptr);
    list.add(SharedString(u"\\Temp\\old.lng"), 1, SharedString(), SharedString(u"http://h/old.lng"));
    // 1040's file is there, 1049 has no address, 1036 comes with the archive.
    EXPECT_EQ(manager.queueMissingLanguageFiles(list, bulletin), 1u);
    ASSERT_EQ(list.count(), 1u);
    const auto item = list.item(0);
    EXPECT_EQ(item->id, 1031);
    EXPECT_EQ(item->target, std::u16string(kLanguageFolder) + u"/lng_5.1_1031_Deutsch.lng");
    EXPECT_EQ(item->url, u"http://h/de.lng");
    EXPECT_EQ(item->digest, u"0123456789ABCDEF0123456789ABCDEF01234567");
}

}  // namespace
}  // namespace druvex
