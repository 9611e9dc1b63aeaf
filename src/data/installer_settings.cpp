#include "data/installer_settings.h"

#include <boost/uuid/string_generator.hpp>
#include <boost/uuid/uuid.hpp>

#include <string>
#include <utility>

#include "app_base/theme_names.h"
#include "text/numbers.h"
#include "data/variable_expansion.h"
#include "hal/os_version.h"

namespace druvex {
namespace {

// Every key by the name it is written with, then the older names that still
// read. The older banner names cross over on purpose: "Vert" gave the VGA
// banner and "VGA" the vertical one, and stored data relies on that.
constexpr NamedValue<InstallerSettingKey> kKeys[] = {
    {InstallerSettingKey::OutputFolder, u"OutputFolder"},
    {InstallerSettingKey::OutputPackagesSubFolder, u"OutputPackagesSubFolder"},
    {InstallerSettingKey::OutputFullInstallersSubFolder, u"OutputFullInstallersSubFolder"},
    {InstallerSettingKey::OutputUpdateSubFolder, u"OutputUpdateSubFolder"},
    {InstallerSettingKey::OutputIntermediateFolder, u"OutputIntermediateFolder"},
    {InstallerSettingKey::ProgramName, u"ProgramName"},
    {InstallerSettingKey::ProgramShortName, u"ProgramShortName"},
    {InstallerSettingKey::ProgramUuid, u"ProgramUuid"},
    {InstallerSettingKey::Author, u"Author"},
    {InstallerSettingKey::Copyright, u"Copyright"},
    {InstallerSettingKey::CabProvider, u"CabProvider"},
    {InstallerSettingKey::CabProgramName, u"CabProgramName"},
    {InstallerSettingKey::BkGndTheme, u"BkGndTheme"},
    {InstallerSettingKey::BkGndThemeOverride, u"BkGndThemeOverride"},
    {InstallerSettingKey::AllowWipe, u"AllowWipe"},
    {InstallerSettingKey::WipeExceptions, u"WipeExceptions"},
    {InstallerSettingKey::WipeExtraFolders, u"WipeExtraFolders"},
    {InstallerSettingKey::AllowRestoreFromBackup, u"AllowRestoreFromBackup"},
    {InstallerSettingKey::MergeProject, u"MergeProject"},
    {InstallerSettingKey::ProgramVersion, u"ProgramVersion"},
    {InstallerSettingKey::PackageUuid, u"PackageUuid"},
    {InstallerSettingKey::LiveUpdateUrl, u"LiveUpdateUrl"},
    {InstallerSettingKey::LiveUpdateUrlDailyBuild, u"LiveUpdateUrlDailyBuild"},
    {InstallerSettingKey::RedistributablesOnline, u"RedistributablesOnline"},
    {InstallerSettingKey::InstallFolderBaseWindows, u"InstallFolderBaseWindows"},
    {InstallerSettingKey::InstallFolderWindows, u"InstallFolderWindows"},
    {InstallerSettingKey::InstallFolderMobile, u"InstallFolderMobile"},
    {InstallerSettingKey::ReleaseNotes, u"ReleaseNotes"},
    {InstallerSettingKey::DailyBuild, u"DailyBuild"},
    {InstallerSettingKey::RevisionNumber, u"RevisionNumber"},
    {InstallerSettingKey::RevisionDate, u"RevisionDate"},
    {InstallerSettingKey::Allow32bitsOn64Os, u"Allow32bitsOn64Os"},
    {InstallerSettingKey::RequireAdminRights, u"RequireAdminRights"},
    {InstallerSettingKey::AvailablePlatforms, u"AvailablePlatforms"},
    {InstallerSettingKey::InstallerAppIconPath, u"InstallerAppIconPath"},
    {InstallerSettingKey::TreatLq5AsQm40, u"TreatLq5AsQm40"},
    {InstallerSettingKey::OldMsiProductcode, u"OldMsiProductcode"},
    {InstallerSettingKey::OldMobileCabProvider, u"OldMobileCabProvider"},
    {InstallerSettingKey::OldMobileCabProgramName, u"OldMobileCabProgramName"},
    {InstallerSettingKey::OldIssFilePath, u"OldIssFilePath"},
    {InstallerSettingKey::OldMsiInstallerType, u"OldMsiInstallerType"},
    {InstallerSettingKey::MinOSVersion, u"MinOSVersion"},
    {InstallerSettingKey::LaunchApp, u"LaunchApp"},
    {InstallerSettingKey::ProgramsAndFeaturesName, u"ProgramsAndFeaturesName"},
    {InstallerSettingKey::AskForWhichUsers, u"AskForWhichUsers"},
    {InstallerSettingKey::InstallerIcon, u"InstallerIcon"},
    {InstallerSettingKey::InstallerLogoIC, u"InstallerLogoIC"},
    {InstallerSettingKey::InstallerLogoQVGA, u"InstallerLogoQVGA"},
    {InstallerSettingKey::InstallerMenuButtonIC, u"InstallerMenuButtonIC"},
    {InstallerSettingKey::InstallerMenuButtonQVGA, u"InstallerMenuButtonQVGA"},
    {InstallerSettingKey::WelcomeBannerIC, u"WelcomeBannerIC"},
    {InstallerSettingKey::WelcomeBannerVGA, u"WelcomeBannerVGA"},
    {InstallerSettingKey::WelcomeBannerQVGA, u"WelcomeBannerQVGA"},
    {InstallerSettingKey::WelcomeBannerVert, u"WelcomeBannerVert"},
    {InstallerSettingKey::InstallerTetheredIC, u"InstallerTetheredIC"},
    {InstallerSettingKey::InstallerTetheredVGA, u"InstallerTetheredVGA"},
    {InstallerSettingKey::InstallerUntetheredIC, u"InstallerUntetheredIC"},
    {InstallerSettingKey::InstallerUntetheredVGA, u"InstallerUntetheredVGA"},
    {InstallerSettingKey::WelcomeBannerIC, u"InstallerBannerIC"},
    {InstallerSettingKey::WelcomeBannerVGA, u"InstallerBannerVert"},
    {InstallerSettingKey::WelcomeBannerQVGA, u"InstallerBannerQVGA"},
    {InstallerSettingKey::WelcomeBannerVert, u"InstallerBannerVGA"},
};

struct DefaultValue {
    InstallerSettingKey key;
    const char16_t* value;
};

constexpr DefaultValue kDefaults[] = {
    {InstallerSettingKey::Allow32bitsOn64Os, u"Yes"},
    {InstallerSettingKey::RequireAdminRights, u"No"},
    {InstallerSettingKey::OldMsiInstallerType, u"InstallShield"},
    {InstallerSettingKey::ProgramsAndFeaturesName, u"<PROGRAMNAME>"},
    {InstallerSettingKey::TreatLq5AsQm40, u"No"},
    {InstallerSettingKey::AskForWhichUsers, u"Prompt"},
    {InstallerSettingKey::BkGndThemeOverride, u"No"},
    {InstallerSettingKey::AllowWipe, u"Yes"},
    {InstallerSettingKey::AllowRestoreFromBackup, u"No"},
    {InstallerSettingKey::InstallFolderBaseWindows, u"<USERDEP_PROGRAM_FILES>"},
};

bool isKnownKey(InstallerSettingKey key)
{
    const auto index = static_cast<std::int32_t>(key);
    return index >= 0 && index < kInstallerSettingKeyCount;
}

bool isShortVersion(const SharedString& value)
{
    VersionNumber number;
    return number.parse(value.view()) && number.partCount() <= 3;
}

// The decimal number at `at`, moving past its digits; 0 when there are none.
int readDecimal(std::u16string_view text, std::size_t& at)
{
    int value = 0;
    while (at < text.size() && text[at] >= u'0' && text[at] <= u'9') {
        if (value < 100000000)
            value = value * 10 + (text[at] - u'0');
        ++at;
    }
    return value;
}

std::vector<SharedString> splitAtSemicolons(const SharedString& text)
{
    std::vector<SharedString> pieces;
    if (text.isEmpty())
        return pieces;
    const std::u16string_view view = text.view();
    std::size_t start = 0;
    while (true) {
        const std::size_t semicolon = view.find(u';', start);
        if (semicolon == std::u16string_view::npos) {
            pieces.emplace_back(view.substr(start));
            return pieces;
        }
        pieces.emplace_back(view.substr(start, semicolon - start));
        start = semicolon + 1;
    }
}

// The settings keys this thread is expanding, innermost last: a program
// variable whose setting leads back to one of them is a loop.
thread_local std::vector<std::pair<const InstallerSettings*, InstallerSettingKey>> t_expanding;

class ExpansionGuard {
public:
    ExpansionGuard(const InstallerSettings* settings, InstallerSettingKey key) { t_expanding.emplace_back(settings, key); }
    ~ExpansionGuard() { t_expanding.pop_back(); }
    ExpansionGuard(const ExpansionGuard&) = delete;
    ExpansionGuard& operator=(const ExpansionGuard&) = delete;
};

bool isBeingExpanded(const InstallerSettings* settings, InstallerSettingKey key)
{
    for (const auto& entry : t_expanding) {
        if (entry.first == settings && entry.second == key)
            return true;
    }
    return false;
}

}  // namespace

const NameTable<InstallerSettingKey> kInstallerSettingKeyNames{kKeys, NameCase::kIgnoreCase};

InstallerSettingKey installerSettingKeyFromName(std::u16string_view name)
{
    return kInstallerSettingKeyNames.valueOf(name, InstallerSettingKey::Unknown);
}

SharedString installerSettingKeyName(InstallerSettingKey key)
{
    return SharedString(kInstallerSettingKeyNames.nameOf(key));
}

bool parseIsoDate(std::u16string_view text, DateRecord& date)
{
    date = DateRecord{};
    const std::size_t firstDash = text.find(u'-');
    if (firstDash == std::u16string_view::npos)
        return false;
    const std::size_t secondDash = text.find(u'-', firstDash + 1);
    if (secondDash == std::u16string_view::npos)
        return false;
    std::size_t at = 0;
    date.year = readDecimal(text, at);
    at = firstDash + 1;
    date.month = readDecimal(text, at);
    at = secondDash + 1;
    date.day = readDecimal(text, at);
    return date.year >= 2000 && date.year <= 3000 && date.month >= 1 && date.month <= 12 && date.day >= 1 &&
           date.day <= 31;
}

std::int32_t getBuildNumber()
{
    return 168891;
}

InstallerSettings::InstallerSettings(std::shared_ptr<const InstallerSettings> parent)
    : parent_(parent ? std::move(parent) : defaults())
{
}

InstallerSettings::InstallerSettings(DefaultsTag)
{
    for (const DefaultValue& entry : kDefaults)
        values_[entry.key] = entry.value;
}

const std::shared_ptr<const InstallerSettings>& InstallerSettings::defaults()
{
    static const std::shared_ptr<const InstallerSettings> store(new InstallerSettings(DefaultsTag{}));
    return store;
}

bool InstallerSettings::set(InstallerSettingKey key, const SharedString& value)
{
    if (!isKnownKey(key))
        return false;
    switch (key) {
    case InstallerSettingKey::ProgramVersion:
    case InstallerSettingKey::RevisionNumber:
        if (!isShortVersion(value))
            return false;
        break;
    case InstallerSettingKey::RevisionDate: {
        DateRecord date;
        if (!parseIsoDate(value.view(), date))
            return false;
        break;
    }
    default:
        break;
    }
    values_[key] = value;
    return true;
}

SharedString InstallerSettings::lookupRaw(InstallerSettingKey key) const
{
    for (const InstallerSettings* store = this; store; store = store->parent_.get()) {
        const auto found = store->values_.find(key);
        if (found != store->values_.end())
            return found->second;
    }
    return {};
}

bool InstallerSettings::expand(InstallerSettingKey key, SharedString& out) const
{
    const ExpansionGuard guard(this, key);
    return expandSettingVariables(lookupRaw(key), *this, out);
}

bool InstallerSettings::expandNested(InstallerSettingKey key, SharedString& value) const
{
    if (isBeingExpanded(this, key))
        return false;
    value = get(key);
    return true;
}

SharedString InstallerSettings::get(InstallerSettingKey key) const
{
    SharedString out;
    expand(key, out);
    return out;
}

void InstallerSettings::Iterator::start(const InstallerSettings& settings)
{
    settings_ = &settings;
    started_ = false;
}

bool InstallerSettings::Iterator::next()
{
    if (!settings_)
        return false;
    if (!started_) {
        started_ = true;
        current_ = settings_->values_.begin();
    } else if (current_ != settings_->values_.end()) {
        ++current_;
    }
    return current_ != settings_->values_.end();
}

bool InstallerSettings::getAllowWipe() const
{
    return get(InstallerSettingKey::AllowWipe) != u"No";
}

VersionNumber InstallerSettings::getProgramVersion() const
{
    return VersionNumber::fromText(get(InstallerSettingKey::ProgramVersion).view());
}

VersionNumber InstallerSettings::getRevisionNumber() const
{
    return VersionNumber::fromText(get(InstallerSettingKey::RevisionNumber).view());
}

std::int32_t InstallerSettings::getAvailablePlatforms() const
{
    int mask = 0;
    parseInt(get(InstallerSettingKey::AvailablePlatforms).c_str(), mask);
    return mask;
}

std::int32_t InstallerSettings::getBackgroundTheme() const
{
    return themeFromName(get(InstallerSettingKey::BkGndTheme).view());
}

std::int32_t InstallerSettings::getMinOsVersion() const
{
    return OSVersion::fromName(get(InstallerSettingKey::MinOSVersion).view());
}

int InstallerSettings::getAskForWhichUsers() const
{
    const SharedString value = get(InstallerSettingKey::AskForWhichUsers);
    if (value == u"For Everyone")
        return kInstallForEveryone;
    if (value == u"For Current")
        return kInstallForCurrentUser;
    return kInstallForPrompt;
}

std::vector<SharedString> InstallerSettings::getWipeExceptions() const
{
    std::vector<SharedString> entries = splitAtSemicolons(get(InstallerSettingKey::WipeExceptions));
    for (SharedString& entry : entries)
        entry.remove(u'*');
    return entries;
}

std::vector<SharedString> InstallerSettings::getWipeExtraFolders() const
{
    return splitAtSemicolons(get(InstallerSettingKey::WipeExtraFolders));
}

SharedString InstallerSettings::getEffectiveCabProvider() const
{
    for (const InstallerSettingKey key :
         {InstallerSettingKey::OldMobileCabProvider, InstallerSettingKey::CabProvider, InstallerSettingKey::Author}) {
        SharedString value = get(key);
        if (!value.isEmpty())
            return value;
    }
    return {};
}

SharedString InstallerSettings::getEffectiveCabProgramName() const
{
    for (const InstallerSettingKey key : {InstallerSettingKey::OldMobileCabProgramName,
                                          InstallerSettingKey::CabProgramName, InstallerSettingKey::ProgramName}) {
        SharedString value = get(key);
        if (!value.isEmpty())
            return value;
    }
    return {};
}

bool InstallerSettings::setProgramVersion(const SharedString& text)
{
    return set(InstallerSettingKey::ProgramVersion, text);
}

bool InstallerSettings::namesProgramUuid() const
{
    SharedString uuid = getProgramUuid();
    uuid.trimRight();
    return !uuid.isEmpty();
}

void InstallerSettings::setProgramUuid(const SharedString& text)
{
    const SharedStringA utf8 = toUtf8(text);
    // Throws std::runtime_error for a text that is no UUID.
    boost::uuids::string_generator()(std::string(utf8.view()));
    set(InstallerSettingKey::ProgramUuid, text);
}

bool InstallerSettings::setBackgroundTheme(std::int32_t theme)
{
    return set(InstallerSettingKey::BkGndTheme, themeName(theme));
}

bool InstallerSettings::setRevisionNumber(const VersionNumber& revision)
{
    return set(InstallerSettingKey::RevisionNumber, revision.toText());
}

bool InstallerSettings::setAvailablePlatforms(std::int32_t mask)
{
    SharedString text;
    text.format(u"%d", mask);
    return set(InstallerSettingKey::AvailablePlatforms, text);
}

}  // namespace druvex
