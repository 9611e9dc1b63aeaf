// LanguageFileManager: where each installer language is available (in the
// installer archive, on the update server, as a file in the "lng" folder
// beside the installer), the names and contents of the language files in that
// folder, and making a language current: its translation file is written to
// "CurrentLang.lng" in the work folder and selected as the translation table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string_view>
#include <vector>

#include "text/shared_string.h"

namespace druvex {

class DownloadList;
class HalAccess;
class PayloadArchive;
class UpdateBulletin;

// The format version in language file names and bulletin language lists.
inline constexpr char16_t kLanguageFileVersion[] = u"5.1";
// The language whose texts are the keys themselves.
constexpr std::uint16_t kEnglishLanguageId = 1033;

enum class LanguageSource : std::uint8_t {
    InstallerArchive = 0,
    UpdateServer = 1,
    LanguageFolder = 2,
};

// What the language files need of the controller; the controller implements it.
class LanguageFileController {
public:
    virtual ~LanguageFileController() = default;
    // The run's scratch folder.
    virtual SharedString getWorkFolder() const = 0;
    // The host of the machine that runs the installer.
    virtual std::shared_ptr<HalAccess> getHalIn() const = 0;
    // The installer archive of this run.
    virtual PayloadArchive& getPayloadArchive() = 0;
    // A forced translation file beside the program replaces every language.
    virtual bool isForcedTranslation() const = 0;
    // The languages that have a product translation file beside the program.
    virtual const std::set<std::uint16_t>& getLanguageIdsAvailableAsFiles() const = 0;
};

// One language of an update bulletin's list.
struct LanguageListEntry {
    std::uint16_t lcid = 0;
    SharedString name;
};

// The bulletin's installer languages, each named in its own words by the
// culture table ("Deutsch"), the name its file takes in the "lng" folder. Ids
// the table does not know are left out.
std::vector<LanguageListEntry> bulletinLanguageList(const UpdateBulletin& bulletin);

// Decodes a language file's content (an LZMA-alone stream) into `decoded`.
// False when it does not decode, or when it announces or yields more than
// kMaxLanguageFileSize (refused before anything is allocated for it).
bool decodeLanguageFile(const std::vector<std::uint8_t>& packed, std::vector<std::uint8_t>& decoded);

class LanguageFileManager {
public:
    // Makes the "lng" folder (with its parents) through `host`, the host
    // through which the folder is read and written. An online manager takes
    // the languages of the update bulletin.
    LanguageFileManager(LanguageFileController& controller, std::shared_ptr<HalAccess> host, bool online);
    virtual ~LanguageFileManager();
    LanguageFileManager(const LanguageFileManager&) = delete;
    LanguageFileManager& operator=(const LanguageFileManager&) = delete;

    // Forgets every language, scans the "lng" folder, then adds the languages
    // of the archive's "TranslationMap" that have no name yet (or an empty
    // one). False when the entry is missing, shorter than its count, or
    // damaged; the records read before the damage are kept.
    [[nodiscard]] bool loadTranslationMap();
    // Every file of the "lng" folder whose name parses becomes a language
    // found in the folder, under the name its file carries.
    void scanLanguageFolder();

    // "lng_5.1_<LCID>_<name>.lng", exact in case: the LCID is the decimal
    // digits (at least two, at most 0xFFFF) up to the first '_' after the
    // version, the name everything after that '_', which must be safe for a
    // file name (isSafeLanguageName).
    static bool parseLanguageFileName(std::u16string_view fileName, std::uint16_t& lcid, SharedString& name);
    // The path of the language file of `lcid` named `name` in the "lng" folder.
    SharedString languageFileName(std::uint16_t lcid, const SharedString& name) const;

    // Only for an online manager and a list of format version "5.1": every
    // language whose name differs from the known one takes the list's name
    // and is offered by the update server (a name that is not safe for a
    // file name is passed over); then duplicate files are removed.
    void applyBulletinLanguages(const std::vector<LanguageListEntry>& languages, std::u16string_view formatVersion);

    // Keeps one file per LCID in the "lng" folder: of several, the one whose
    // name is the known name of its LCID, else the first enumerated.
    void removeDuplicateLanguageFiles();
    // The first file of the "lng" folder, in enumeration order, that carries
    // `lcid`; empty when there is none.
    SharedString findLanguageFile(std::uint16_t lcid) const;

    // Reads `source` through the manager's host, decodes it and writes the
    // translation file to `target` through the controller's source host.
    bool copyDecodedFile(const SharedString& target, const SharedString& source);
    // copyDecodedFile from the language file of `lcid` under its known name.
    bool copyLanguageFile(const SharedString& target, std::uint16_t lcid);
    // Writes the archive entry "Translation_<lcid>" to `target` through the
    // controller's source host. False when the archive has no such entry: a
    // file already standing at `target` must not pass for the translation.
    bool extractTranslationEntry(const SharedString& target, std::uint16_t lcid);

    // Empties `list`, then queues the download of every language offered by
    // the update server whose file is missing from the "lng" folder and whose
    // address the bulletin gives, with the bulletin's digest for it. Answers
    // the number queued.
    std::size_t queueMissingLanguageFiles(DownloadList& list, const UpdateBulletin& bulletin);

    // Makes `lcid` the current language: the product translation file beside
    // the program when there is one, else no table for English, else the
    // language's translation file written to "CurrentLang.lng" in the work
    // folder and selected. A language that cannot be had leaves no table, so
    // the English keys show.
    void saveCurrentLanguage(std::uint16_t lcid);

    const std::map<std::uint16_t, SharedString>& names() const { return names_; }
    const std::map<std::uint16_t, LanguageSource>& sources() const { return sources_; }
    const SharedString& languageFolder() const { return languageFolder_; }
    bool isOnline() const { return online_; }

private:
    // The product translation file's name, or empty when this language has none.
    SharedString productTranslationFile(std::uint16_t lcid) const;
    // Calls `visit` (name) for each file of the "lng" folder, in enumeration order.
    template <class Visit>
    void forEachLanguageFile(Visit visit) const;

    LanguageFileController& controller_;
    std::shared_ptr<HalAccess> host_;
    std::map<std::uint16_t, SharedString> names_;
    std::map<std::uint16_t, LanguageSource> sources_;
    SharedString programFolder_;
    SharedString languageFolder_;
    bool online_;
};

}  // namespace druvex
