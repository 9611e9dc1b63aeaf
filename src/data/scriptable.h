// Scriptable: the small script-carrying items of the installer data that are
// not features. PrerequisiteCheck is a check script of the payload with its
// parameters; Redistributable is an entry of the redistributables list with
// the names it depends on and supersedes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "data/install_item.h"

namespace druvex {

class Scriptable : public InstallItem {
public:
    ~Scriptable() override;

    // A list of names the kind of item keeps; the base has none.
    virtual int nameListCount() const;
    // Base: an assertion report, and empty text.
    virtual SharedString nameListItem(int index) const;

    const SharedString& getScript() const { return script_; }
    void setScript(const SharedString& script) { script_ = script; }

protected:
    // The platform mask starts as the two desktop platforms (48).
    Scriptable();

private:
    SharedString script_;
};

class PrerequisiteCheck final : public Scriptable {
public:
    PrerequisiteCheck() = default;

    int storageKind() const override { return kStoragePrerequisiteCheck; }

    // The check's description: "Requirement" gives FullName (required) and
    // Platforms (a platform list; every platform when absent); each
    // "Parameter" with text appends it. False for an empty buffer, a document
    // that does not parse, and a Requirement without FullName.
    bool parseXml(const void* data, std::size_t bytes);

    const SharedString& getFullName() const { return fullName_; }
    void setFullName(const SharedString& name) { fullName_ = name; }
    int parameterCount() const { return static_cast<int>(parameters_.size()); }
    // Throws std::out_of_range outside the list.
    const SharedString& parameterAt(int index) const;
    void addParameter(const SharedString& parameter) { parameters_.push_back(parameter); }

private:
    SharedString fullName_;
    std::vector<SharedString> parameters_;
};

class Redistributable final : public Scriptable {
public:
    Redistributable() = default;

    int storageKind() const override { return kStorageRedistributable; }
    // The dependency list.
    int nameListCount() const override { return static_cast<int>(dependencies_.size()); }
    // Empty text outside the list.
    SharedString nameListItem(int index) const override;
    int supersedeCount() const { return static_cast<int>(supersedes_.size()); }
    SharedString supersedeAt(int index) const;
    // The display name when not empty, else Name.
    SharedString displayName() const;

    // Each appends a non-empty name and answers the list's count.
    int addDependency(const SharedString& name);
    int addSupersede(const SharedString& name);

    void setDisplayName(const SharedString& name) { displayName_ = name; }
    std::int32_t getFlag() const { return flag_; }
    void setFlag(std::int32_t flag) { flag_ = flag; }

private:
    std::vector<SharedString> dependencies_;
    std::vector<SharedString> supersedes_;
    SharedString displayName_;
    std::int32_t flag_ = 0;
};

}  // namespace druvex
