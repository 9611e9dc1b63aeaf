// "<NAME>" expansion: program, folder and installer variables, the start
// flag that limits folder references, per-platform values, the slash
// clean-up, and variables that refer to themselves.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "data/installer_settings.h"
#include "data/installer_variable.h"
#include "data/test_folder_host.h"
#include "data/variable_expansion.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

using test::TestFolderHost;

class ExpandVariables : public ::testing::Test {
protected:
    ExpandVariables()
    {
        settings.setProgramName(u"Survey");
        settings.setProgramVersion(u"4.1");
    }

    InstallerVariablePtr addVariable(const char16_t* name, TargetPlatform platform, const char16_t* value,
                                     std::int32_t user = kVariableAllUsers)
    {
        InstallerVariablePtr variable = variables.findByName(name);
        if (!variable) {
            variable = InstallerVariable::create(name);
            variables.append(variable);
        }
        variable->setValue(platform, user, value);
        return variable;
    }

    // Through the device entry point, for all users, target "\Program Files\FS".
    bool expand(const char16_t* text, SharedString& out, bool allUsers = true)
    {
        return expandVariablesForDevice(SharedString(text), settings, variables, allUsers, host,
                                        SharedString(u"\\Program Files\\FS"), out);
    }

    InstallerSettings settings;
    VariableSet variables;
    TestFolderHost host;
};

TEST_F(ExpandVariables, ProgramVariables)
{
    SharedString out;
    ASSERT_TRUE(expandSettingVariables(SharedString(u"<PROGRAMNAME> <PROGRAMVERSION_MAJOR>"), settings, out));
    EXPECT_EQ(out, u"Survey 4");
    ASSERT_TRUE(expandSettingVariables(SharedString(u"[<PROGRAMVERSION_PATCH>]"), settings, out));
    EXPECT_EQ(out, u"[]");
    ASSERT_TRUE(expandSettingVariables(SharedString(u"<programversion>"), settings, out));
    EXPECT_EQ(out, u"4.1");
    settings.setRevisionNumber(VersionNumber::fromText(u"4.1.0"));
    ASSERT_TRUE(expandSettingVariables(SharedString(u"r<PROGRAMVERSION_REVISION>"), settings, out));
    EXPECT_EQ(out, u"r4.1.0");
    // A setting never reaches a folder or an installer variable.
    EXPECT_FALSE(expandSettingVariables(SharedString(u"<TARGETDIR>"), settings, out));
    EXPECT_EQ(host.folderLookups, 0);
}

TEST_F(ExpandVariables, FolderVariablesAndTheStartFlag)
{
    SharedString out;
    ASSERT_TRUE(expand(u"<targetdir>\\bin", out));
    EXPECT_EQ(out, u"\\Program Files\\FS\\bin");
    ASSERT_TRUE(expand(u"data\\<TARGETDIR>", out));
    EXPECT_EQ(out, u"data\\Program Files\\FS");

    // After the first substitution the text starts with plain text, so the
    // second folder finds the flag lowered; the text stays as far as it got.
    EXPECT_FALSE(expand(u"<TARGETDIR>\\x\\<APPDATA>", out));
    EXPECT_EQ(out, u"\\Program Files\\FS\\x\\<APPDATA>");

    ASSERT_TRUE(expand(u"<PROGRAM_FILES>\\<PROGRAMNAME>", out));
    EXPECT_EQ(out, u"\\Program Files\\Survey");
    EXPECT_FALSE(expand(u"<TARGETDIR>;<TARGETDIR>", out));
    EXPECT_FALSE(expand(u"<UNKNOWN>", out));
    EXPECT_EQ(out, u"<UNKNOWN>");
}

TEST_F(ExpandVariables, PrefixAndSuffix)
{
    SharedString out;
    ASSERT_TRUE(expand(u"<APPDATA//\\x>", out));
    EXPECT_EQ(out, u"\\Application Data\\x");
    ASSERT_TRUE(expand(u"<PROGRAMNAME/[/]/more>", out));
    EXPECT_EQ(out, u"[Survey]/more");
    host.folders[26] = u"";
    ASSERT_TRUE(expand(u"<APPDATA//\\x>", out));
    EXPECT_EQ(out, u"");
    // A token without '>' runs to the end of the text.
    ASSERT_TRUE(expand(u"<TARGETDIR", out));
    EXPECT_EQ(out, u"\\Program Files\\FS");
}

TEST_F(ExpandVariables, EveryFolderVariable)
{
    struct Case {
        const char16_t* text;
        const char16_t* allUsers;
        const char16_t* currentUser;
    };
    const Case cases[] = {
        {u"<INSTALLDIR>", u"\\Program Files\\FS", u"\\Program Files\\FS"},
        {u"<COMMON_APPDATA>", u"\\Application Data\\", u"\\Application Data\\"},
        {u"<COMMON_DESKTOPDIRECTORY>", u"\\Windows\\Desktop\\", u"\\Windows\\Desktop\\"},
        {u"<MYDOCUMENTS>", u"\\My Documents\\", u"\\My Documents\\"},
        {u"<PROGRAM_FILES_COMMONX86>", u"\\Windows\\Start Menu\\Programs\\", u"\\Windows\\Start Menu\\Programs\\"},
        {u"<DESKTOP>", u"\\Users\\Me\\Desktop\\", u"\\Users\\Me\\Desktop\\"},
        {u"<STARTMENU>", u"\\Windows\\Start Menu\\", u"\\Windows\\Start Menu\\"},
        {u"<STARTUP>", u"\\Windows\\StartUp\\", u"\\Windows\\StartUp\\"},
        {u"<SYSTEMX86>", u"\\Windows\\", u"\\Windows\\"},
        {u"<USERDEP_PROGRAM_FILES>", u"\\Program Files\\", u"\\Application Data\\"},
        {u"<USERDEP_PROGRAM_FILESX86>", u"\\Windows\\Start Menu\\Programs\\", u"\\Application Data\\"},
        {u"<USERDEP_DESKTOP>", u"\\Windows\\Desktop\\", u"\\Users\\Me\\Desktop\\"},
        {u"<7R_SYSTEMCF>", u"\\SystemCF", u"\\SystemCF"},
        {u"<ROMDISK>", u"\\ROMdisk", u"\\ROMdisk"},
        {u"<SYSTEMDRIVE>", u"\\", u"\\"},
    };
    host.folders[0] = u"\\Users\\Me\\Desktop\\";
    for (const Case& c : cases) {
        SharedString out;
        ASSERT_TRUE(expand(c.text, out, true)) << toUtf8(SharedString(c.text)).c_str();
        EXPECT_EQ(out, c.allUsers) << toUtf8(SharedString(c.text)).c_str();
        ASSERT_TRUE(expand(c.text, out, false));
        EXPECT_EQ(out, c.currentUser) << toUtf8(SharedString(c.text)).c_str();
    }
}

TEST_F(ExpandVariables, SystemDriveAndHostFailures)
{
    SharedString out;
    host.systemDriveIsRoot = false;
    host.folders[36] = u"D:\\WINNT\\";
    ASSERT_TRUE(expand(u"<SYSTEMDRIVE>", out));
    EXPECT_EQ(out, u"D:\\");
    host.folders[36] = u"C:\\a\\b\\";
    ASSERT_TRUE(expand(u"<SYSTEMDRIVE>", out));
    EXPECT_EQ(out, u"C:\\");
    host.failing.insert(36);
    EXPECT_FALSE(expand(u"<SYSTEMDRIVE>", out));
    EXPECT_FALSE(expand(u"x<WINDOWS>", out));
    EXPECT_FALSE(expand(u"<WINDOWS>", out));
    EXPECT_EQ(out, u"<WINDOWS>");
}

TEST_F(ExpandVariables, SlashesCollapseAfterSuccessOnly)
{
    struct Case {
        const char16_t* text;
        const char16_t* collapsed;
    };
    const Case cases[] = {
        {u"\\\\a\\\\b", u"\\a\\b"},      {u"HTTP://a//b", u"HTTP://a/b"}, {u"ftp://a//b", u"ftp://a/b"},
        {u"ftp:\\\\a\\\\b", u"ftp:\\\\a\\b"}, {u"https:///a", u"https:///a"}, {u"http:/x//y", u"http:/x/y"},
        {u"a\\/b", u"a\\b"},             {u"ftp:", u"ftp:"},              {u"", u""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(collapseSlashes(SharedString(c.text)), c.collapsed) << toUtf8(SharedString(c.text)).c_str();

    SharedString out;
    ASSERT_TRUE(expand(u"<TARGETDIR>\\\\bin", out));
    EXPECT_EQ(out, u"\\Program Files\\FS\\bin");
    ASSERT_TRUE(expand(u"<PROGRAM_FILES>\\x", out));
    EXPECT_EQ(out, u"\\Program Files\\x");
}

TEST_F(ExpandVariables, InstallerVariablesPerPlatform)
{
    addVariable(u"DATA", kPlatformControllers, u"ctrl");
    addVariable(u"DATA", kPlatformAll, u"all");
    addVariable(u"DATA", kPlatformWin64, u"win64");
    SharedString out;
    host.deviceType = DeviceType::TS_QM40;  // Qm40 falls back to the controllers
    ASSERT_TRUE(expand(u"<data>", out));
    EXPECT_EQ(out, u"ctrl");
    host.deviceType = DeviceType::WIN64;
    ASSERT_TRUE(expand(u"<DATA>", out));
    EXPECT_EQ(out, u"win64");
    host.deviceType = DeviceType::WIN32;  // no Windows value: All
    ASSERT_TRUE(expand(u"<DATA>", out));
    EXPECT_EQ(out, u"all");
    host.deviceType = DeviceType::NONE;  // no connection: Unknown, All
    ASSERT_TRUE(expand(u"<DATA>", out));
    EXPECT_EQ(out, u"all");

    // The current-user value of the Windows group, for the current user only.
    addVariable(u"USERDIR", kPlatformWindows, u"mine", kVariableCurrentUser);
    host.deviceType = DeviceType::WIN64;
    ASSERT_TRUE(expand(u"[<USERDIR>]", out, false));
    EXPECT_EQ(out, u"[mine]");
    ASSERT_TRUE(expand(u"[<USERDIR>]", out, true));
    EXPECT_EQ(out, u"[]");
}

TEST_F(ExpandVariables, FolderTypedVariablesTakeTheFlag)
{
    addVariable(u"DATADIR", kPlatformAll, u"<MYDOCUMENTS>Data");
    addVariable(u"JOBDIR", kPlatformAll, u"<DATADIR>\\Jobs");
    SharedString out;
    ASSERT_TRUE(expand(u"<DATADIR>\\jobs", out));
    EXPECT_EQ(out, u"\\My Documents\\Data\\jobs");
    EXPECT_FALSE(expand(u"<TARGETDIR>\\<DATADIR>", out));
    // A folder-typed variable whose value starts with another folder variable:
    // the substituted text starts with a token again.
    ASSERT_TRUE(expand(u"<JOBDIR>", out));
    EXPECT_EQ(out, u"\\My Documents\\Data\\Jobs");
    EXPECT_TRUE(isFolderTypedVariable(*variables.findByName(u"JOBDIR"), variables));

    // A variable without any value counts as folder-typed.
    addVariable(u"EMPTY", kPlatformAll, u"");
    EXPECT_FALSE(expand(u"<TARGETDIR>\\<EMPTY>", out));
    ASSERT_TRUE(expand(u"x<EMPTY>", out));
    EXPECT_EQ(out, u"x");
    // A plain text value is not folder-typed.
    addVariable(u"NAME", kPlatformAll, u"plain");
    ASSERT_TRUE(expand(u"<TARGETDIR>\\<NAME>", out));
    EXPECT_EQ(out, u"\\Program Files\\FS\\plain");
}

TEST_F(ExpandVariables, FolderTypedCheckPerKey)
{
    // DATADIR is a folder on every platform but Qm40, so JOBDIR's Qm40 value
    // follows a plain text and JOBDIR is not folder-typed.
    addVariable(u"DATADIR", kPlatformAll, u"<TARGETDIR>\\Data");
    addVariable(u"DATADIR", kPlatformQm40, u"\\ROMDisk\\Data");
    addVariable(u"JOBDIR", kPlatformAll, u"<DATADIR>\\Jobs");
    addVariable(u"JOBDIR", kPlatformQm40, u"<DATADIR>\\Jobs");
    EXPECT_FALSE(isFolderTypedVariable(*variables.findByName(u"JOBDIR"), variables));
    SharedString out;
    host.deviceType = DeviceType::TS_QM40;
    ASSERT_TRUE(expand(u"<JOBDIR>", out));
    EXPECT_EQ(out, u"\\ROMDisk\\Data\\Jobs");
    // Program variables and unknown names are no folders.
    addVariable(u"P", kPlatformAll, u"<PROGRAMNAME>");
    EXPECT_FALSE(isFolderTypedVariable(*variables.findByName(u"P"), variables));
    addVariable(u"Q", kPlatformAll, u"<NOPE>");
    EXPECT_FALSE(isFolderTypedVariable(*variables.findByName(u"Q"), variables));
    addVariable(u"R", kPlatformAll, u"<APPDATA");
    EXPECT_FALSE(isFolderTypedVariable(*variables.findByName(u"R"), variables));
}

// Variables that lead back to themselves, directly or in a cycle, fail the
// expansion and the folder check at once.
TEST_F(ExpandVariables, SelfReferenceFailsPromptly)
{
    const auto started = std::chrono::steady_clock::now();
    addVariable(u"SELF", kPlatformAll, u"<SELF>");
    addVariable(u"A", kPlatformAll, u"<B>\\a");
    addVariable(u"B", kPlatformAll, u"<C>\\b");
    addVariable(u"C", kPlatformAll, u"<A>\\c");
    addVariable(u"LOWER", kPlatformAll, u"<lower>x");
    SharedString out;
    EXPECT_FALSE(expand(u"<SELF>", out));
    EXPECT_EQ(out, u"<SELF>");
    EXPECT_FALSE(expand(u"<A>", out));
    EXPECT_EQ(out, u"<A>\\c\\b\\a");
    EXPECT_FALSE(expand(u"<LOWER>", out));
    EXPECT_FALSE(isFolderTypedVariable(*variables.findByName(u"SELF"), variables));
    EXPECT_FALSE(isFolderTypedVariable(*variables.findByName(u"A"), variables));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(1));
}

TEST_F(ExpandVariables, CheckingWithATargetCollectsNames)
{
    addVariable(u"DATADIR", kPlatformAll, u"<MYDOCUMENTS>Data");
    std::vector<SharedString> names;
    EXPECT_TRUE(expandVariablesWithTarget(SharedString(u"<datadir>\\<ProgramName>"), settings, variables, host,
                                          kPlatformWm6, names));
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[0], u"DATADIR");
    EXPECT_EQ(names[1], u"MYDOCUMENTS");
    EXPECT_EQ(names[2], u"PROGRAMNAME");
    names.clear();
    EXPECT_FALSE(expandVariablesWithTarget(SharedString(u"<TARGETDIR>x<AppData>"), settings, variables, host,
                                           kPlatformWm6, names));
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[1], u"APPDATA");
}

TEST(ExpandTargetDirToken, Names)
{
    for (const char16_t* text : {u"TARGETDIR", u"installdir", u"<TargetDir>", u"<INSTALLDIR>"})
        EXPECT_TRUE(isTargetDirToken(text));
    for (const char16_t* text : {u"<TARGETDIR", u"TARGETDIR>", u"<APPDATA>", u""})
        EXPECT_FALSE(isTargetDirToken(text));
}

TEST(ExpandVariableLookup, FallbackOrder)
{
    const InstallerVariablePtr variable = InstallerVariable::create(u"V");
    variable->setValue(kPlatformWindows, kVariableCurrentUser, u"win-user");
    VariableKey key;
    EXPECT_TRUE(variable->findKey(kPlatformWin64, kVariableCurrentUser, key));
    EXPECT_EQ(key, (VariableKey{kPlatformWindows, kVariableCurrentUser}));
    EXPECT_FALSE(variable->findKey(kPlatformWin64, kVariableAllUsers, key));
    EXPECT_EQ(key, (VariableKey{kPlatformUnknown, kVariableAllUsers}));
    EXPECT_EQ(variable->getValue(kPlatformWin64, kVariableAllUsers), u"");

    variable->setValue(kPlatformControllers, kVariableAllUsers, u"ctrl");
    variable->setValue(kPlatformAll, kVariableAllUsers, u"all");
    variable->setValue(kPlatformQm40, kVariableAllUsers, u"qm40");
    variable->setValue(kPlatformWin32, kVariableCurrentUser, u"never found");
    EXPECT_EQ(variable->getValue(kPlatformQm40, kVariableCurrentUser), u"qm40");
    EXPECT_EQ(variable->getValue(kPlatformLQ5, kVariableAllUsers), u"ctrl");
    EXPECT_EQ(variable->getValue(kPlatformWin32, kVariableAllUsers), u"all");
    EXPECT_EQ(variable->getValue(kPlatformWin32, kVariableCurrentUser), u"win-user");
    EXPECT_EQ(variable->getValue(kPlatformAll, kVariableAllUsers), u"all");
    EXPECT_EQ(variable->getValue(kPlatformUnknown, kVariableAllUsers), u"all");
    EXPECT_EQ(variable->getExactValue(kPlatformWin32, kVariableCurrentUser), u"never found");
}

// Reads "Definition" elements the way the install data carries them.
class DefinitionReader final : public XmlHandler {
public:
    explicit DefinitionReader(InstallerVariable& variable) : variable_(variable) {}
    bool startElement(const XmlNameSpan& name, const XmlAttributeList& attributes, const SharedString& text) override
    {
        if (xmlNameEquals(name, "Definition"))
            results.push_back(variable_.readDefinition(attributes, text));
        return true;
    }
    bool endElement(const XmlNameSpan&) override { return true; }

    std::vector<bool> results;

private:
    InstallerVariable& variable_;
};

TEST(ExpandVariableLookup, DefinitionElements)
{
    const std::string xml =
        "<InstallerVariable name=\"DATADIR\" persistent=\"no\">"
        "<Definition platform=\"qm40\">\\ROMDisk\\Data</Definition>"
        "<Definition platform=\"Windows\" user=\"current\">&lt;APPDATA&gt;Data</Definition>"
        "<Definition platform=\"Windows\" user=\"Current\">&lt;COMMON_APPDATA&gt;Data</Definition>"
        "<Definition platform=\"All\"/>"
        "<Definition platform=\"Unknown\">x</Definition>"
        "<Definition platform=\"Mars\">x</Definition>"
        "<Definition user=\"current\">x</Definition>"
        "</InstallerVariable>";
    const InstallerVariablePtr variable = InstallerVariable::create(u"DATADIR");
    DefinitionReader reader(*variable);
    XmlReader parser;
    ASSERT_TRUE(parser.setInput(xml.data(), xml.size()));
    ASSERT_TRUE(parser.parse(reader));
    EXPECT_EQ(reader.results, (std::vector<bool>{true, true, true, true, false, false, false}));
    EXPECT_EQ(variable->getExactValue(kPlatformQm40, kVariableAllUsers), u"\\ROMDisk\\Data");
    EXPECT_EQ(variable->getExactValue(kPlatformWindows, kVariableCurrentUser), u"<APPDATA>Data");
    EXPECT_EQ(variable->getExactValue(kPlatformWindows, kVariableAllUsers), u"<COMMON_APPDATA>Data");
    EXPECT_EQ(variable->values().size(), 4u);
}

TEST(ExpandVariableLookup, SetOperations)
{
    VariableSet set;
    const InstallerVariablePtr a = InstallerVariable::create(u"Alpha");
    a->setPersistent(true);
    a->setValue(kPlatformAll, 0, u"1");
    set.append(a);
    set.append(InstallerVariable::create(u"Beta"));
    EXPECT_EQ(set.findByName(u"ALPHA"), a);
    EXPECT_EQ(set.findByName(u"Gamma"), nullptr);
    EXPECT_THROW(set.at(2), std::out_of_range);

    const InstallerVariablePtr replacement = InstallerVariable::create(u"alpha");
    set.addOrReplace(replacement);
    ASSERT_EQ(set.count(), 2);
    EXPECT_EQ(set.at(0)->getName(), u"Beta");
    EXPECT_EQ(set.at(1), replacement);

    // Persistent variables are copied, not shared.
    VariableSet saved;
    VariableSet source;
    source.append(a);
    source.append(InstallerVariable::create(u"Transient"));
    source.copyPersistentTo(saved);
    ASSERT_EQ(saved.count(), 1);
    EXPECT_NE(saved.at(0), a);
    EXPECT_EQ(saved.at(0)->getExactValue(kPlatformAll, 0), u"1");
    EXPECT_TRUE(saved.at(0)->isPersistent());
    a->setValue(kPlatformAll, 0, u"changed");
    EXPECT_EQ(saved.at(0)->getExactValue(kPlatformAll, 0), u"1");

    set.remove(replacement.get());
    EXPECT_EQ(set.count(), 1);
    set.clear();
    EXPECT_EQ(set.count(), 0);
}

}  // namespace
}  // namespace druvex
