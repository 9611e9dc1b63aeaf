// "<NAME>" expansion: program, folder and installer variables, the start
// flag that limits folder references, per-platform values, the slash
// clean-up, and variables that refer to themselves.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>

#include "data/installer_settings.h"
#include "data/installer_variable.h"
#include "data/variable_expansion.h"
#include "host/wince_hal_access.h"
#include "support/shared_string_print.h"

namespace druvex {
namespace {

// A device host whose special folders, system-drive answer and device type
// come from the test; folders can be made to fail one by one, and lookups
// are counted.
class TestFolderHost final : public HalAccessWinCE {
public:
    bool getSpecialFolderPath(int csidl, SharedString& path) override
    {
        ++folderLookups;
        const auto found = folders.find(csidl);
        if (failing.contains(csidl) || found == folders.end())
            return false;
        path = found->second;
        return true;
    }
    bool reservedSlot40() override { return systemDriveIsRoot; }
    ConnectionState getDeviceType(DeviceType& type, bool) override
    {
        type = deviceType;
        return ConnectionState::DEVICE_CONNECTED;
    }

    std::map<int, SharedString> folders = {
        {0, u"\\Windows\\Desktop\\"},     {2, u"\\Windows\\Start Menu\\Programs\\"}, {5, u"\\My Documents\\"},
        {7, u"\\Windows\\StartUp\\"},     {11, u"\\Windows\\Start Menu\\"},           {16, u"\\Windows\\Desktop\\"},
        {26, u"\\Application Data\\"}, {36, u"\\Windows\\"}, {38, u"\\Program Files\\"},
    };
    std::set<int> failing;
    bool systemDriveIsRoot = true;
    DeviceType deviceType = DeviceType::TS_QM40;
    int folderLookups = 0;
};

// What one expansion must give: the answer and the text as far as it got
// (null: not checked).
struct Expansion {
    const char16_t* text;
    bool ok;
    const char16_t* expected;
};

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

    bool folderTyped(const char16_t* name) { return isFolderTypedVariable(*variables.findByName(name), variables); }

    // Through the device entry point, target "\Program Files\FS".
    void expectAll(std::initializer_list<Expansion> cases, bool allUsers = true)
    {
        for (const Expansion& c : cases) {
            SCOPED_TRACE(toUtf8(SharedString(c.text)).c_str());
            SharedString out;
            EXPECT_EQ(expandVariablesForDevice(SharedString(c.text), settings, variables, allUsers, host,
                                               SharedString(u"\\Program Files\\FS"), out),
                      c.ok);
            if (c.expected) {
                EXPECT_EQ(out, c.expected);
            }
        }
    }

    InstallerSettings settings;
    VariableSet variables;
    TestFolderHost host;
};

TEST_F(ExpandVariables, ProgramVariables)
{
    settings.setRevisionNumber(VersionNumber::fromText(u"4.1.0"));
    const Expansion cases[] = {
        {u"<PROGRAMNAME> <PROGRAMVERSION_MAJOR>", true, u"Survey 4"},
        {u"[<PROGRAMVERSION_PATCH>]", true, u"[]"},
        {u"<programversion>", true, u"4.1"},
        {u"r<PROGRAMVERSION_REVISION>", true, u"r4.1.0"},
        {u"<TARGETDIR>", false, nullptr},  // a setting never reaches a folder or an installer variable
    };
    for (const Expansion& c : cases) {
        SharedString out;
        EXPECT_EQ(expandSettingVariables(SharedString(c.text), settings, out), c.ok);
        if (c.expected) {
            EXPECT_EQ(out, c.expected);
        }
    }
    EXPECT_EQ(host.folderLookups, 0);
}

TEST_F(ExpandVariables, FolderVariablesTheStartFlagAndTheSlashes)
{
    expectAll({
        {u"<targetdir>\\bin", true, u"\\Program Files\\FS\\bin"},
        {u"data\\<TARGETDIR>", true, u"data\\Program Files\\FS"},
        // After the first substitution the text starts with plain text, so the
        // second folder finds the flag lowered; the text stays as far as it got.
        {u"<TARGETDIR>\\x\\<APPDATA>", false, u"\\Program Files\\FS\\x\\<APPDATA>"},
        {u"<PROGRAM_FILES>\\<PROGRAMNAME>", true, u"\\Program Files\\Survey"},
        {u"<TARGETDIR>;<TARGETDIR>", false, nullptr},
        {u"<UNKNOWN>", false, u"<UNKNOWN>"},
        {u"<APPDATA//\\x>", true, u"\\Application Data\\x"},  // prefix and suffix
        {u"<PROGRAMNAME/[/]/more>", true, u"[Survey]/more"},
        {u"<TARGETDIR", true, u"\\Program Files\\FS"},  // a token without '>' runs to the end
        {u"<TARGETDIR>\\\\bin", true, u"\\Program Files\\FS\\bin"},  // slashes collapse after success
        {u"<PROGRAM_FILES>\\x", true, u"\\Program Files\\x"},
    });
    host.folders[26] = u"";
    expectAll({{u"<APPDATA//\\x>", true, u""}});

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
        expectAll({{c.text, true, c.allUsers}}, true);
        expectAll({{c.text, true, c.currentUser}}, false);
    }
}

TEST_F(ExpandVariables, SystemDriveAndHostFailures)
{
    host.systemDriveIsRoot = false;
    host.folders[36] = u"D:\\WINNT\\";
    expectAll({{u"<SYSTEMDRIVE>", true, u"D:\\"}});
    host.folders[36] = u"C:\\a\\b\\";
    expectAll({{u"<SYSTEMDRIVE>", true, u"C:\\"}});
    host.failing.insert(36);
    expectAll({{u"<SYSTEMDRIVE>", false, nullptr}, {u"x<WINDOWS>", false, nullptr}, {u"<WINDOWS>", false, u"<WINDOWS>"}});
}

TEST_F(ExpandVariables, InstallerVariablesPerPlatform)
{
    addVariable(u"DATA", kPlatformControllers, u"ctrl");
    addVariable(u"DATA", kPlatformAll, u"all");
    addVariable(u"DATA", kPlatformWin64, u"win64");
    host.deviceType = DeviceType::TS_QM40;  // Qm40 falls back to the controllers
    expectAll({{u"<data>", true, u"ctrl"}});
    host.deviceType = DeviceType::WIN64;
    expectAll({{u"<DATA>", true, u"win64"}});
    host.deviceType = DeviceType::WIN32;  // no Windows value: All
    expectAll({{u"<DATA>", true, u"all"}});
    host.deviceType = DeviceType::NONE;  // no connection: Unknown, All
    expectAll({{u"<DATA>", true, u"all"}});

    // The current-user value of the Windows group, for the current user only.
    addVariable(u"USERDIR", kPlatformWindows, u"mine", kVariableCurrentUser);
    host.deviceType = DeviceType::WIN64;
    expectAll({{u"[<USERDIR>]", true, u"[mine]"}}, false);
    expectAll({{u"[<USERDIR>]", true, u"[]"}}, true);
}

TEST_F(ExpandVariables, FolderTypedVariablesTakeTheFlag)
{
    addVariable(u"DATADIR", kPlatformAll, u"<MYDOCUMENTS>Data");
    // Its value starts with another folder variable: the substituted text
    // starts with a token again.
    addVariable(u"JOBDIR", kPlatformAll, u"<DATADIR>\\Jobs");
    addVariable(u"EMPTY", kPlatformAll, u"");  // no value at all counts as folder-typed
    addVariable(u"NAME", kPlatformAll, u"plain");  // plain text is not folder-typed
    expectAll({
        {u"<DATADIR>\\jobs", true, u"\\My Documents\\Data\\jobs"},
        {u"<TARGETDIR>\\<DATADIR>", false, nullptr},
        {u"<JOBDIR>", true, u"\\My Documents\\Data\\Jobs"},
        {u"<TARGETDIR>\\<EMPTY>", false, nullptr},
        {u"x<EMPTY>", true, u"x"},
        {u"<TARGETDIR>\\<NAME>", true, u"\\Program Files\\FS\\plain"},
    });
    EXPECT_TRUE(folderTyped(u"JOBDIR"));
}

TEST_F(ExpandVariables, FolderTypedCheckPerKey)
{
    // DATADIR is a folder on every platform but Qm40, so JOBDIR's Qm40 value
    // follows a plain text and JOBDIR is not folder-typed.
    addVariable(u"DATADIR", kPlatformAll, u"<TARGETDIR>\\Data");
    addVariable(u"DATADIR", kPlatformQm40, u"\\ROMDisk\\Data");
    addVariable(u"JOBDIR", kPlatformAll, u"<DATADIR>\\Jobs");
    addVariable(u"JOBDIR", kPlatformQm40, u"<DATADIR>\\Jobs");
    EXPECT_FALSE(folderTyped(u"JOBDIR"));
    host.deviceType = DeviceType::TS_QM40;
    expectAll({{u"<JOBDIR>", true, u"\\ROMDisk\\Data\\Jobs"}});
    // Program variables and unknown names are no folders.
    addVariable(u"P", kPlatformAll, u"<PROGRAMNAME>");
    addVariable(u"Q", kPlatformAll, u"<NOPE>");
    addVariable(u"R", kPlatformAll, u"<APPDATA");
    EXPECT_FALSE(folderTyped(u"P"));
    EXPECT_FALSE(folderTyped(u"Q"));
    EXPECT_FALSE(folderTyped(u"R"));
}

// Variables that lead back to themselves, directly or in a cycle, fail the
// expansion and the folder check (rather than loop).
TEST_F(ExpandVariables, SelfReferenceFails)
{
    addVariable(u"SELF", kPlatformAll, u"<SELF>");
    addVariable(u"A", kPlatformAll, u"<B>\\a");
    addVariable(u"B", kPlatformAll, u"<C>\\b");
    addVariable(u"C", kPlatformAll, u"<A>\\c");
    addVariable(u"LOWER", kPlatformAll, u"<lower>x");
    expectAll({{u"<SELF>", false, u"<SELF>"}, {u"<A>", false, u"<A>\\c\\b\\a"}, {u"<LOWER>", false, nullptr}});
    EXPECT_FALSE(folderTyped(u"SELF"));
    EXPECT_FALSE(folderTyped(u"A"));
}

TEST_F(ExpandVariables, CheckingWithATargetCollectsNames)
{
    addVariable(u"DATADIR", kPlatformAll, u"<MYDOCUMENTS>Data");
    std::vector<SharedString> names;
    EXPECT_TRUE(expandVariablesWithTarget(SharedString(u"<datadir>\\<ProgramName>"), settings, variables, host,
                                          kPlatformWm6, names));
    EXPECT_EQ(names, (std::vector<SharedString>{u"DATADIR", u"MYDOCUMENTS", u"PROGRAMNAME"}));
    names.clear();
    EXPECT_FALSE(expandVariablesWithTarget(SharedString(u"<TARGETDIR>x<AppData>"), settings, variables, host,
                                           kPlatformWm6, names));
    EXPECT_EQ(names, (std::vector<SharedString>{u"TARGETDIR", u"APPDATA"}));
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
}

}  // namespace
}  // namespace druvex
