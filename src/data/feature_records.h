// The records a feature's installation turns into things on the target:
// shortcuts, environment variables, file associations with their extensions
// and shell verbs, and the scripts run when the feature is installed or
// removed; with the texts by which the install data names their values.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "text/name_table.h"
#include "text/shared_string.h"

namespace druvex {

// Shortcut link positions: 0 on the desktop, any other value in the programs menu.
constexpr std::int32_t kLinkDesktop = 0;
constexpr std::int32_t kLinkMenuPrograms = 1;

class Shortcut {
public:
    std::shared_ptr<Shortcut> clone() const { return std::make_shared<Shortcut>(*this); }

    std::int32_t linkPos = kLinkDesktop;
    SharedString name;
    SharedString linkedTo;
    SharedString folderName;
    SharedString iconPath;
    std::int32_t iconIndex = 0;  // 0: none
};

// The names of the values below: verbs compare exactly, the others ignoring case.
extern const NameTable<std::int32_t> kLinkPosNames;
extern const NameTable<std::int32_t> kEnvTypeNames;
extern const NameTable<std::int32_t> kEnvAddModeNames;
extern const NameTable<std::int32_t> kEnvPlacementNames;
extern const NameTable<int> kVerbNames;
extern const NameTable<std::int32_t> kScriptTimeNames;

// "MenuPrograms" ignoring case is the programs menu; anything else the desktop.
std::int32_t linkPosFromText(std::u16string_view text);
// 0 "Desktop", any other value "MenuPrograms".
SharedString linkPosText(std::int32_t position);

// EnvironmentVar values.
constexpr std::int32_t kEnvTypeAuto = 0;
constexpr std::int32_t kEnvTypeSystem = 1;
constexpr std::int32_t kEnvTypeUser = 2;
constexpr std::int32_t kEnvAddCreate = 0;
constexpr std::int32_t kEnvAddSet = 1;
constexpr std::int32_t kEnvAddRemove = 2;
constexpr std::int32_t kEnvPlaceAppend = 0;
constexpr std::int32_t kEnvPlacePrefix = 1;
constexpr std::int32_t kEnvPlaceReplace = 2;
constexpr std::int32_t kEnvWasPresentUnknown = 0;
constexpr std::int32_t kEnvWasPresentYes = 1;
constexpr std::int32_t kEnvWasPresentNo = 2;

class EnvironmentVar {
public:
    std::shared_ptr<EnvironmentVar> clone() const { return std::make_shared<EnvironmentVar>(*this); }

    SharedString name;
    SharedString value;
    std::int32_t type = kEnvTypeAuto;
    std::int32_t addMode = kEnvAddSet;
    std::int32_t placement = kEnvPlaceReplace;
    // "RepInUpgrade" in the install data.
    bool removeOnUninstall = true;
    // 0 not recorded, 1 yes, any other value no.
    std::int32_t wasPresent = kEnvWasPresentUnknown;
    bool removeTrailingSlash = false;
};

// Readings ignore case; unknown texts give Auto, Set and Replace.
std::int32_t envTypeFromText(std::u16string_view text);
std::int32_t envAddModeFromText(std::u16string_view text);
std::int32_t envPlacementFromText(std::u16string_view text);
// 1 "System", 2 "User", else "Auto".
SharedString envTypeText(std::int32_t type);
// 0 "Create", 2 "Remove", else "Set".
SharedString envAddModeText(std::int32_t mode);
// 0 "Append", 1 "Prefix", else "Replace".
SharedString envPlacementText(std::int32_t placement);

// Shell verbs of a file extension; 0 and unknown numbers are named "open".
constexpr int kVerbOpenDefault = 0;
constexpr int kVerbOpen = 1;
constexpr int kVerbEdit = 2;
constexpr int kVerbPlay = 3;
constexpr int kVerbPrint = 4;
constexpr int kVerbPreview = 5;
constexpr int kVerbExplore = 6;
constexpr int kVerbFind = 7;
constexpr int kVerbCount = 8;

// "open" 1 to "find" 7, compared exactly; any other name 0.
int verbFromName(std::u16string_view name);
SharedString verbName(int verb);

class FileExtension {
public:
    std::shared_ptr<FileExtension> clone() const { return std::make_shared<FileExtension>(*this); }

    // Stores the verb's arguments. An empty text removes the verb and gives
    // false; so does a verb outside 0 to 7.
    bool setAction(int verb, const SharedString& arguments);
    // Empty for a verb without arguments or outside 0 to 7.
    SharedString actionArguments(int verb) const;
    // The verbs that have arguments.
    int actionCount() const;

    SharedString name;  // the extension
    SharedString command;
    // Written "RemoveAll" when set, "None" when not.
    bool expAssReset = true;

private:
    std::array<SharedString, kVerbCount> actions_;
};

class FileAssociation {
public:
    // The extensions are cloned too.
    std::shared_ptr<FileAssociation> clone() const;

    // False for null.
    bool addExtension(std::shared_ptr<FileExtension> extension);
    int extensionCount() const { return static_cast<int>(extensions_.size()); }
    // Throws std::out_of_range outside the list.
    const std::shared_ptr<FileExtension>& extensionAt(int index) const;

    SharedString progId;
    SharedString description;
    SharedString iconPath;
    std::int32_t iconIndex = -1;  // -1: none

private:
    std::vector<std::shared_ptr<FileExtension>> extensions_;
};

// FeatureScript execution times: 0 on installation, any other value on removal.
constexpr std::int32_t kScriptOnInstall = 0;
constexpr std::int32_t kScriptOnUninstall = 1;

class FeatureScript {
public:
    std::shared_ptr<FeatureScript> clone() const { return std::make_shared<FeatureScript>(*this); }

    SharedString name;
    SharedString script;  // Lua
    std::int32_t executionTime = kScriptOnInstall;
};

// "onUninstall" ignoring case is the removal time; anything else installation.
std::int32_t scriptTimeFromText(std::u16string_view text);
// 0 "onInstall", any other value "onUninstall".
SharedString scriptTimeText(std::int32_t time);

}  // namespace druvex
