// Installer settings: the key table, the defaults through a parent chain,
// validation, the typed getters and setters, and settings that lead back to
// themselves.
#include <gtest/gtest.h>

#include <stdexcept>

#include "data/installer_settings.h"
#include "hal/os_version.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

using Key = InstallerSettingKey;

TEST(InstallerSettingsKeys, NamesBothWays)
{
    for (int index = 0; index < kInstallerSettingKeyCount; ++index) {
        const auto key = static_cast<Key>(index);
        const SharedString name = installerSettingKeyName(key);
        ASSERT_FALSE(name.isEmpty()) << index;
        EXPECT_EQ(installerSettingKeyFromName(name.view()), key) << index;
    }
    EXPECT_EQ(installerSettingKeyFromName(u"programname"), Key::ProgramName);
    EXPECT_EQ(installerSettingKeyFromName(u"INSTALLERUNTETHEREDVGA"), Key::InstallerUntetheredVGA);
    EXPECT_EQ(installerSettingKeyFromName(u"InstallerBannerIC"), Key::WelcomeBannerIC);
    EXPECT_EQ(installerSettingKeyFromName(u"installerbannervert"), Key::WelcomeBannerVGA);
    EXPECT_EQ(installerSettingKeyFromName(u"InstallerBannerQVGA"), Key::WelcomeBannerQVGA);
    EXPECT_EQ(installerSettingKeyFromName(u"InstallerBannerVGA"), Key::WelcomeBannerVert);
    EXPECT_EQ(installerSettingKeyFromName(u"Bogus"), Key::Unknown);
    EXPECT_EQ(installerSettingKeyName(Key::Unknown), u"");
    EXPECT_EQ(installerSettingKeyName(static_cast<Key>(-1)), u"");
}

TEST(InstallerSettingsDefaults, NewStoreAnswersTheDefaults)
{
    InstallerSettings settings;
    // Flags are "Yes" exactly, defaults included.
    EXPECT_EQ(settings.get(Key::AllowWipe), u"Yes");
    EXPECT_TRUE(settings.getAllowWipe());
    EXPECT_TRUE(settings.getAllow32bitsOn64Os());
    EXPECT_FALSE(settings.getRequireAdminRights());
    EXPECT_EQ(settings.getAskForWhichUsers(), kInstallForPrompt);
    // No folder variable can expand in a setting: the text comes back as written.
    EXPECT_EQ(settings.get(Key::InstallFolderBaseWindows), u"<USERDEP_PROGRAM_FILES>");
    // The default ProgramsAndFeaturesName is "<PROGRAMNAME>".
    EXPECT_EQ(settings.get(Key::ProgramsAndFeaturesName), u"");
    settings.setProgramName(u"Survey");
    EXPECT_EQ(settings.get(Key::ProgramsAndFeaturesName), u"Survey");

    // Inherited values are not this store's entries.
    InstallerSettings::Iterator it;
    it.start(settings);
    ASSERT_TRUE(it.next());
    EXPECT_EQ(it.key(), Key::ProgramName);
    EXPECT_EQ(it.value(), u"Survey");
    EXPECT_FALSE(it.next());
    EXPECT_FALSE(it.next());
}

TEST(InstallerSettingsDefaults, ParentChainAndClear)
{
    auto parent = std::make_shared<InstallerSettings>();
    parent->setAuthor(u"Maker");
    parent->set(Key::AllowWipe, u"No");
    InstallerSettings child(parent);
    EXPECT_EQ(child.getAuthor(), u"Maker");
    EXPECT_FALSE(child.getAllowWipe());
    child.setAuthor(u"Other");
    EXPECT_EQ(child.getAuthor(), u"Other");
    child.clear();
    EXPECT_EQ(child.getAuthor(), u"Maker");
    EXPECT_EQ(child.parent(), parent);
    EXPECT_EQ(child.lookupRaw(Key::OldMsiInstallerType), u"InstallShield");
}

TEST(InstallerSettingsValidation, VersionsAndDatesWithTheDateRecord)
{
    InstallerSettings settings;
    EXPECT_FALSE(settings.setProgramVersion(u"1.2.3.4"));
    EXPECT_FALSE(settings.setProgramVersion(u""));
    EXPECT_FALSE(settings.setProgramVersion(u"1.2b"));
    EXPECT_EQ(settings.lookupRaw(Key::ProgramVersion), u"");
    EXPECT_TRUE(settings.setProgramVersion(u"1.2.3"));
    EXPECT_FALSE(settings.set(Key::ProgramVersion, u"2.0.0.1"));
    EXPECT_EQ(settings.getProgramVersionText(), u"1.2.3");
    EXPECT_EQ(settings.getProgramVersion().partCount(), 3);

    EXPECT_FALSE(settings.set(Key::RevisionNumber, u"1.2.3.4"));
    EXPECT_TRUE(settings.setRevisionNumber(VersionNumber::fromText(u"4.1.0")));
    EXPECT_EQ(settings.getRevisionNumber().toText(), u"4.1.0");
    EXPECT_FALSE(settings.setRevisionNumber(VersionNumber::fromParts(1, 2, 3, 4)));

    EXPECT_FALSE(settings.set(Key::RevisionDate, u"1999-12-31"));
    EXPECT_FALSE(settings.set(Key::RevisionDate, u"2020-13-01"));
    EXPECT_FALSE(settings.set(Key::RevisionDate, u"20200101"));
    EXPECT_TRUE(settings.set(Key::RevisionDate, u"2020-02-31"));
    EXPECT_EQ(settings.getRevisionDate(), u"2020-02-31");
    EXPECT_FALSE(settings.set(Key::Unknown, u"x"));

    DateRecord date;
    EXPECT_TRUE(parseIsoDate(u"2020-02-31", date));
    EXPECT_EQ(date.year, 2020);
    EXPECT_EQ(date.month, 2);
    EXPECT_EQ(date.day, 31);
    // Filled once both dashes are found, also when the values are refused.
    EXPECT_FALSE(parseIsoDate(u"3001-01-01", date));
    EXPECT_EQ(date.year, 3001);
    EXPECT_FALSE(parseIsoDate(u"2020-01", date));
    EXPECT_EQ(date.year, 0);
    EXPECT_TRUE(parseIsoDate(u"3000-12-01T10:00", date));
    EXPECT_EQ(date.hour, 0);
}

TEST(InstallerSettingsValidation, ProgramUuid)
{
    InstallerSettings settings;
    for (const char16_t* text : {u"{0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0}", u"0f1e2d3c4b5a69788796a5b4c3d2e1f0",
                                 u"0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0"}) {
        EXPECT_NO_THROW(settings.setProgramUuid(text));
        EXPECT_EQ(settings.getProgramUuid(), text);
    }
    EXPECT_THROW(settings.setProgramUuid(u"not-a-uuid"), std::runtime_error);
    EXPECT_THROW(settings.setProgramUuid(u""), std::runtime_error);
    EXPECT_EQ(settings.getProgramUuid(), u"0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0");
}

TEST(InstallerSettingsGetters, FlagsListsAndChains)
{
    InstallerSettings settings;
    settings.set(Key::DailyBuild, u"yes");
    EXPECT_FALSE(settings.getDailyBuild());
    settings.set(Key::DailyBuild, u"Yes");
    EXPECT_TRUE(settings.getDailyBuild());
    settings.set(Key::AllowWipe, u"no");
    EXPECT_TRUE(settings.getAllowWipe());
    settings.set(Key::AllowWipe, u"No");
    EXPECT_FALSE(settings.getAllowWipe());

    settings.set(Key::AskForWhichUsers, u"For Everyone");
    EXPECT_EQ(settings.getAskForWhichUsers(), kInstallForEveryone);
    settings.set(Key::AskForWhichUsers, u"For Current");
    EXPECT_EQ(settings.getAskForWhichUsers(), kInstallForCurrentUser);
    settings.set(Key::AskForWhichUsers, u"for everyone");
    EXPECT_EQ(settings.getAskForWhichUsers(), kInstallForPrompt);

    using Names = std::vector<SharedString>;
    settings.set(Key::WipeExceptions, u"*.log;a*b;;c");
    EXPECT_EQ(settings.getWipeExceptions(), (Names{u".log", u"ab", u"", u"c"}));
    EXPECT_TRUE(settings.getWipeExtraFolders().empty());
    settings.set(Key::WipeExtraFolders, u"\\A*;\\B");
    EXPECT_EQ(settings.getWipeExtraFolders(), (Names{u"\\A*", u"\\B"}));

    EXPECT_EQ(settings.getEffectiveCabProvider(), u"");
    settings.setAuthor(u"Author");
    EXPECT_EQ(settings.getEffectiveCabProvider(), u"Author");
    settings.set(Key::CabProvider, u"Cab");
    EXPECT_EQ(settings.getEffectiveCabProvider(), u"Cab");
    settings.set(Key::OldMobileCabProvider, u"Old");
    EXPECT_EQ(settings.getEffectiveCabProvider(), u"Old");
    settings.setProgramName(u"Name");
    EXPECT_EQ(settings.getEffectiveCabProgramName(), u"Name");
    settings.set(Key::OldMobileCabProgramName, u"OldName");
    EXPECT_EQ(settings.getEffectiveCabProgramName(), u"OldName");
}

TEST(InstallerSettingsGetters, NumbersThemesAndOsVersions)
{
    InstallerSettings settings;
    EXPECT_EQ(settings.getAvailablePlatforms(), 0);
    settings.setAvailablePlatforms(-1);
    EXPECT_EQ(settings.lookupRaw(Key::AvailablePlatforms), u"-1");
    EXPECT_EQ(settings.getAvailablePlatforms(), -1);
    settings.set(Key::AvailablePlatforms, u"17abc");
    EXPECT_EQ(settings.getAvailablePlatforms(), 17);

    EXPECT_EQ(settings.getBackgroundTheme(), 0);
    settings.setBackgroundTheme(6);
    EXPECT_EQ(settings.lookupRaw(Key::BkGndTheme), u"Tillora 2nd Skin");
    EXPECT_EQ(settings.getBackgroundTheme(), 6);
    settings.setBackgroundTheme(0);
    EXPECT_EQ(settings.lookupRaw(Key::BkGndTheme), u"Dark");

    const SharedString windows7 = OSVersion::toName(10);
    settings.set(Key::MinOSVersion, windows7);
    EXPECT_EQ(settings.getMinOsVersion(), OSVersion::fromName(windows7.view()));
    settings.set(Key::MinOSVersion, u"Nothing");
    EXPECT_EQ(settings.getMinOsVersion(), OSVersion::kUnknown);
}

TEST(InstallerSettingsExpansion, ProgramVariablesAndSlashes)
{
    InstallerSettings settings;
    settings.setProgramName(u"Survey");
    settings.setProgramVersion(u"4.1");
    settings.set(Key::ReleaseNotes, u"<PROGRAMNAME> <PROGRAMVERSION_MAJOR>.<PROGRAMVERSION_MINOR>");
    EXPECT_EQ(settings.get(Key::ReleaseNotes), u"Survey 4.1");
    settings.setLiveUpdateUrl(u"http://h//a//b");
    EXPECT_EQ(settings.getLiveUpdateUrl(), u"http://h/a/b");
    // A failed expansion is not collapsed.
    settings.set(Key::Copyright, u"<b>//x");
    EXPECT_EQ(settings.get(Key::Copyright), u"<b>//x");
    SharedString out;
    EXPECT_FALSE(settings.expand(Key::Copyright, out));
    EXPECT_TRUE(settings.expand(Key::LiveUpdateUrl, out));
}

// A setting that leads back to itself fails its expansion and comes back as
// it stood, however it loops (an expansion that looped for ever would hang
// the test, not pass it).
TEST(InstallerSettingsExpansion, SelfReferenceFailsAndComesBackAsItStood)
{
    InstallerSettings direct;
    direct.setProgramName(u"<PROGRAMNAME>");
    SharedString out;
    EXPECT_FALSE(direct.expand(Key::ProgramName, out));
    EXPECT_EQ(out, u"<PROGRAMNAME>");
    EXPECT_EQ(direct.getProgramName(), u"<PROGRAMNAME>");
    EXPECT_EQ(direct.get(Key::ProgramsAndFeaturesName), u"<PROGRAMNAME>");

    InstallerSettings doubled;
    doubled.setProgramName(u"A<PROGRAMNAME>B<PROGRAMNAME>");
    EXPECT_FALSE(doubled.expand(Key::ProgramName, out));
    EXPECT_EQ(out, u"A<PROGRAMNAME>B<PROGRAMNAME>");

    // Through a parent: the child's ProgramName leads to itself as well.
    auto parent = std::make_shared<InstallerSettings>();
    parent->setProgramName(u"x<PROGRAMNAME>");
    InstallerSettings child(parent);
    EXPECT_FALSE(child.expand(Key::ProgramName, out));
    EXPECT_EQ(child.get(Key::ProgramsAndFeaturesName), u"x<PROGRAMNAME>");
}

}  // namespace
}  // namespace druvex
