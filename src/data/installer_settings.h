// InstallerSettings: the 58 named settings of the program an installer
// installs (names and versions, update server addresses, install folders,
// wipe rules, theme, icons and banners). Every value is text; a lookup falls
// back along a chain of parent stores to the process-wide store of defaults,
// and every value read goes through the variable expansion.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string_view>
#include <vector>

#include "text/name_table.h"
#include "text/shared_string.h"
#include "data/version_number.h"

namespace druvex {

// The keys; the name of each is its "Type" in the install data.
enum class InstallerSettingKey : std::int32_t {
    OutputFolder = 0,
    OutputPackagesSubFolder = 1,
    OutputFullInstallersSubFolder = 2,
    OutputUpdateSubFolder = 3,
    OutputIntermediateFolder = 4,
    ProgramName = 5,
    ProgramShortName = 6,
    ProgramUuid = 7,
    Author = 8,
    Copyright = 9,
    CabProvider = 10,
    CabProgramName = 11,
    BkGndTheme = 12,
    BkGndThemeOverride = 13,
    AllowWipe = 14,
    WipeExceptions = 15,
    WipeExtraFolders = 16,
    AllowRestoreFromBackup = 17,
    MergeProject = 18,
    ProgramVersion = 19,
    PackageUuid = 20,
    LiveUpdateUrl = 21,
    LiveUpdateUrlDailyBuild = 22,
    RedistributablesOnline = 23,
    InstallFolderBaseWindows = 24,
    InstallFolderWindows = 25,
    InstallFolderMobile = 26,
    ReleaseNotes = 27,
    DailyBuild = 28,
    RevisionNumber = 29,
    RevisionDate = 30,
    Allow32bitsOn64Os = 31,
    RequireAdminRights = 32,
    AvailablePlatforms = 33,
    InstallerAppIconPath = 34,
    TreatLq5AsQm40 = 35,
    OldMsiProductcode = 36,
    OldMobileCabProvider = 37,
    OldMobileCabProgramName = 38,
    OldIssFilePath = 39,
    OldMsiInstallerType = 40,
    MinOSVersion = 41,
    LaunchApp = 42,
    ProgramsAndFeaturesName = 43,
    AskForWhichUsers = 44,
    InstallerIcon = 45,
    InstallerLogoIC = 46,
    InstallerLogoQVGA = 47,
    InstallerMenuButtonIC = 48,
    InstallerMenuButtonQVGA = 49,
    WelcomeBannerIC = 50,
    WelcomeBannerVGA = 51,
    WelcomeBannerQVGA = 52,
    WelcomeBannerVert = 53,
    InstallerTetheredIC = 54,
    InstallerTetheredVGA = 55,
    InstallerUntetheredIC = 56,
    InstallerUntetheredVGA = 57,
    Unknown = 58,
};

constexpr int kInstallerSettingKeyCount = 58;

// The key of a name, ignoring case, with the older names "InstallerBannerIC"
// (50), "InstallerBannerVert" (51), "InstallerBannerQVGA" (52) and
// "InstallerBannerVGA" (53); Unknown for any other text.
extern const NameTable<InstallerSettingKey> kInstallerSettingKeyNames;
InstallerSettingKey installerSettingKeyFromName(std::u16string_view name);
// The table's name; empty for Unknown and anything outside the table.
SharedString installerSettingKeyName(InstallerSettingKey key);

// The fields of a date read by parseIsoDate; the time of day stays 0.
struct DateRecord {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// "YYYY-MM-DD": the numbers before, between and after two '-'. The record is
// cleared first and filled once both '-' are found; true only for the years
// 2000 to 3000, months 1 to 12 and days 1 to 31 (no check of the month's length).
bool parseIsoDate(std::u16string_view text, DateRecord& date);

// The installer's own build number.
std::int32_t getBuildNumber();

// getAskForWhichUsers answers.
constexpr int kInstallForEveryone = 0;
constexpr int kInstallForCurrentUser = 1;
constexpr int kInstallForPrompt = 2;

class InstallerSettings {
public:
    // A null parent means the default store.
    explicit InstallerSettings(std::shared_ptr<const InstallerSettings> parent = nullptr);

    // The process-wide store of defaults, the end of every parent chain.
    static const std::shared_ptr<const InstallerSettings>& defaults();

    const std::shared_ptr<const InstallerSettings>& parent() const { return parent_; }

    // Removes this store's own values; the parent stays.
    void clear() { values_.clear(); }

    // Validates and stores, replacing an earlier value. ProgramVersion and
    // RevisionNumber must read as a version of at most 3 parts, RevisionDate
    // as a date (parseIsoDate); any other key takes any text. False, with
    // nothing stored, for an invalid value or an unknown key.
    bool set(InstallerSettingKey key, const SharedString& value);
    // This store's value, else the parent's, else empty text.
    SharedString lookupRaw(InstallerSettingKey key) const;
    // lookupRaw, then the program variables expanded with this store. On
    // success runs of slashes are collapsed; when the expansion fails, the text
    // as it stood at the failing variable comes back (a folder variable such as
    // the default "<USERDEP_PROGRAM_FILES>" stays as written).
    SharedString get(InstallerSettingKey key) const;
    // As get, and whether the expansion succeeded.
    bool expand(InstallerSettingKey key, SharedString& out) const;
    // get for the expansion of a program variable: false, with nothing read,
    // when this thread is already expanding that key of this store (a setting
    // that leads back to itself), so that the loop fails instead of recursing.
    bool expandNested(InstallerSettingKey key, SharedString& value) const;

    // This store's own entries in key order, never inherited ones.
    class Iterator {
    public:
        void start(const InstallerSettings& settings);
        // The first call arms the first entry; false at the end.
        bool next();
        InstallerSettingKey key() const { return current_->first; }
        const SharedString& value() const { return current_->second; }

    private:
        const InstallerSettings* settings_ = nullptr;
        std::map<InstallerSettingKey, SharedString>::const_iterator current_;
        bool started_ = false;
    };

    // Texts.
    SharedString getProgramName() const { return get(InstallerSettingKey::ProgramName); }
    SharedString getProgramShortName() const { return get(InstallerSettingKey::ProgramShortName); }
    SharedString getProgramVersionText() const { return get(InstallerSettingKey::ProgramVersion); }
    SharedString getAuthor() const { return get(InstallerSettingKey::Author); }
    SharedString getCopyright() const { return get(InstallerSettingKey::Copyright); }
    SharedString getCabProvider() const { return get(InstallerSettingKey::CabProvider); }
    SharedString getCabProgramName() const { return get(InstallerSettingKey::CabProgramName); }
    SharedString getProgramUuid() const { return get(InstallerSettingKey::ProgramUuid); }
    // A ProgramUuid that is more than blanks: it names the product's data
    // folder, which holds its installed log, so installer data without one
    // would share the folder with every other such product.
    bool namesProgramUuid() const;
    SharedString getLiveUpdateUrl() const { return get(InstallerSettingKey::LiveUpdateUrl); }
    SharedString getWipeExceptionsText() const { return get(InstallerSettingKey::WipeExceptions); }
    SharedString getWipeExtraFoldersText() const { return get(InstallerSettingKey::WipeExtraFolders); }
    SharedString getInstallFolderBaseWindows() const { return get(InstallerSettingKey::InstallFolderBaseWindows); }
    SharedString getInstallFolderWindows() const { return get(InstallerSettingKey::InstallFolderWindows); }
    SharedString getInstallFolderMobile() const { return get(InstallerSettingKey::InstallFolderMobile); }
    SharedString getRevisionDate() const { return get(InstallerSettingKey::RevisionDate); }
    SharedString getOldMobileCabProvider() const { return get(InstallerSettingKey::OldMobileCabProvider); }
    SharedString getOldMobileCabProgramName() const { return get(InstallerSettingKey::OldMobileCabProgramName); }
    SharedString getLaunchApp() const { return get(InstallerSettingKey::LaunchApp); }

    // "Yes" flags: true only for exactly "Yes".
    bool getBkGndThemeOverride() const { return isYes(InstallerSettingKey::BkGndThemeOverride); }
    bool getAllowRestoreFromBackup() const { return isYes(InstallerSettingKey::AllowRestoreFromBackup); }
    bool getMergeProject() const { return isYes(InstallerSettingKey::MergeProject); }
    bool getDailyBuild() const { return isYes(InstallerSettingKey::DailyBuild); }
    bool getAllow32bitsOn64Os() const { return isYes(InstallerSettingKey::Allow32bitsOn64Os); }
    bool getRequireAdminRights() const { return isYes(InstallerSettingKey::RequireAdminRights); }
    bool getTreatLq5AsQm40() const { return isYes(InstallerSettingKey::TreatLq5AsQm40); }
    // True unless exactly "No".
    bool getAllowWipe() const;

    // The value as a version; empty when it does not read as one.
    VersionNumber getProgramVersion() const;
    VersionNumber getRevisionNumber() const;
    // The value as a decimal platform mask; 0 when absent.
    std::int32_t getAvailablePlatforms() const;
    // The theme id of the value by its name (themeFromName).
    std::int32_t getBackgroundTheme() const;
    // The OS version id of the value by its product name (OSVersion::fromName).
    std::int32_t getMinOsVersion() const;
    // "For Everyone" 0, "For Current" 1 (exactly); anything else 2.
    int getAskForWhichUsers() const;
    // Split at ';', every '*' removed from each entry; none for empty text.
    std::vector<SharedString> getWipeExceptions() const;
    // Split at ';'; none for empty text.
    std::vector<SharedString> getWipeExtraFolders() const;
    // The first non-empty of OldMobileCabProvider, CabProvider, Author.
    SharedString getEffectiveCabProvider() const;
    // The first non-empty of OldMobileCabProgramName, CabProgramName, ProgramName.
    SharedString getEffectiveCabProgramName() const;

    bool setProgramName(const SharedString& name) { return set(InstallerSettingKey::ProgramName, name); }
    // True when the text was stored: it reads as a version of at most 3 parts.
    bool setProgramVersion(const SharedString& text);
    bool setAuthor(const SharedString& author) { return set(InstallerSettingKey::Author, author); }
    // The text must be a UUID in the dependency's textual form (with or without
    // braces and dashes); anything else throws std::runtime_error. The text
    // itself is stored.
    void setProgramUuid(const SharedString& text);
    bool setLiveUpdateUrl(const SharedString& url) { return set(InstallerSettingKey::LiveUpdateUrl, url); }
    // BkGndTheme: the theme's name (themeName).
    bool setBackgroundTheme(std::int32_t theme);
    bool setRevisionNumber(const VersionNumber& revision);
    bool setAvailablePlatforms(std::int32_t mask);

private:
    struct DefaultsTag {};
    explicit InstallerSettings(DefaultsTag);

    bool isYes(InstallerSettingKey key) const { return get(key) == u"Yes"; }

    std::shared_ptr<const InstallerSettings> parent_;
    std::map<InstallerSettingKey, SharedString> values_;
};

}  // namespace druvex
