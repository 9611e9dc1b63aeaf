// Installer variables: the "<NAME>" values that the installer data defines,
// one per target platform (or platform group) and user scope, and VariableSet,
// the data's list of them looked up by name without regard to case.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "app_base/target_platform.h"
#include "text/shared_string.h"
#include "core/xml_reader.h"

namespace druvex {

constexpr std::int32_t kVariableAllUsers = 0;
constexpr std::int32_t kVariableCurrentUser = 1;

// A value's key: platform (0 to 8 or a group), then user; both order signed.
struct VariableKey {
    TargetPlatform platform = kPlatformUnknown;
    std::int32_t user = kVariableAllUsers;

    friend auto operator<=>(const VariableKey&, const VariableKey&) = default;
};

class InstallerVariable : public std::enable_shared_from_this<InstallerVariable> {
public:
    static std::shared_ptr<InstallerVariable> create(const SharedString& name = {});
    virtual ~InstallerVariable() = default;

    const SharedString& getName() const { return name_; }
    void setName(const SharedString& name) { name_ = name; }
    // Persistent variables are carried over into saved wizard state.
    bool isPersistent() const { return persistent_; }
    void setPersistent(bool persistent) { persistent_ = persistent; }

    // Replaces the value of the key.
    void setValue(TargetPlatform platform, std::int32_t user, const SharedString& text);
    // Empty text when the key has no value.
    SharedString getExactValue(TargetPlatform platform, std::int32_t user) const;
    void clearValues() { values_.clear(); }
    const std::map<VariableKey, SharedString>& values() const { return values_; }

    // Name, flag and every value.
    std::shared_ptr<InstallerVariable> clone() const;

    // A "Definition" element of the install data: "platform" names a platform
    // or group (ignoring case), "user" is exactly "current" for the current
    // user, and the element's text is the value. False, with nothing stored,
    // when the platform is missing, unknown or "Unknown".
    bool readDefinition(const XmlAttributeList& attributes, const SharedString& text);

    // The first key present of: (Windows, current user) for the desktop
    // platforms with user 1; (platform, all users); the platform's group (1100
    // for 4 and 5, else 1200) for 0 to 8; All, unless the platform is All.
    // False, with the key (Unknown, 0), when none is present.
    bool findKey(TargetPlatform platform, std::int32_t user, VariableKey& key) const;
    // The value findKey finds; empty text when none.
    SharedString getValue(TargetPlatform platform, std::int32_t user) const;

protected:
    InstallerVariable() = default;

private:
    SharedString name_;
    bool persistent_ = false;
    std::map<VariableKey, SharedString> values_;
};

using InstallerVariablePtr = std::shared_ptr<InstallerVariable>;

// Copies of a set share its variables.
class VariableSet {
public:
    VariableSet() = default;
    VariableSet(const VariableSet&) = default;
    VariableSet& operator=(const VariableSet&) = default;
    virtual ~VariableSet() = default;

    int count() const { return static_cast<int>(variables_.size()); }
    // Throws std::out_of_range for an index outside the list.
    const InstallerVariablePtr& at(int index) const;
    // Ignoring case; null when absent.
    InstallerVariablePtr findByName(std::u16string_view name) const;
    // No duplicate check.
    void append(InstallerVariablePtr variable);
    // Removes a variable of the same name first.
    void addOrReplace(InstallerVariablePtr variable);
    void remove(const InstallerVariable* variable);
    void clear() { variables_.clear(); }
    // addOrReplace of a copy of every persistent variable into `other`: the
    // two sets never share a variable, so an edit on one side stays there.
    void copyPersistentTo(VariableSet& other) const;

private:
    std::vector<InstallerVariablePtr> variables_;
};

}  // namespace druvex
