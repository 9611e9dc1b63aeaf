// InstalledLog: what an earlier run installed at a destination, kept as
// "InstalledLog.xml" in the product's data folder: the program, its version,
// revision and build kind, the installer that wrote the log, the destination
// and owner, the language and accepted licence, pending registrations, the
// persistent installer variables (the object's own variable set) and one
// record per installed feature with the files it put on the target.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "data/eula_record.h"
#include "data/feature.h"
#include "data/installer_variable.h"
#include "data/version_number.h"
#include "text/shared_string.h"

namespace druvex {

class HalAccess;
struct XmlParseError;

// Bit of the support flags: the product accepts the "RoboActions" actions.
constexpr std::uint32_t kInstalledLogSupportsRoboActions = 1;

class InstalledLog : public VariableSet {
public:
    InstalledLog() = default;
    InstalledLog(const InstalledLog&) = delete;
    InstalledLog& operator=(const InstalledLog&) = delete;

    // Every field back to the empty state, the variables and features included.
    void clear();

    // Replaces the content with the document in `bytes`. False for an empty
    // buffer, a document that does not parse, whose root is not
    // "InstalledLog", or that holds an element the format refuses; the log is
    // then empty, and `error` (when given) says where and why. Throws nothing.
    [[nodiscard]] bool loadFromBuffer(const void* bytes, std::size_t size, XmlParseError* error = nullptr);
    // The document (UTF-8 with a byte-order mark) in place of `out`'s content.
    bool serialize(std::vector<std::uint8_t>& out) const;
    // Writes the document to the file at `path` through the host so that a
    // failure at any step leaves an existing file as it was (it is replaced
    // only once the new one is written whole). True when the file was written.
    bool saveToFile(HalAccess& host, const SharedString& path) const;

    // Installed features: each a record of its own (no parent) whose Name is
    // the feature's path in the installer data ("Feature/Help/English") and
    // whose content holds one file per installed file, named by the file's
    // full target path with '/' between the names.
    int getFeatureCount() const { return static_cast<int>(features_.size()); }
    // Throws std::out_of_range outside the list.
    const FeaturePtr& getFeature(int index) const;
    // Refuses null and a feature that has a parent.
    bool addFeature(FeaturePtr feature);
    // The feature whose Name equals `name` ignoring case; null when none.
    FeaturePtr findFeature(std::u16string_view name) const;

    const SharedString& getProgramName() const { return programName_; }
    void setProgramName(const SharedString& name) { programName_ = name; }
    const VersionNumber& getProgramVersion() const { return programVersion_; }
    void setProgramVersion(const VersionNumber& version) { programVersion_ = version; }
    bool isDailyBuild() const { return dailyBuild_; }
    void setDailyBuild(bool daily) { dailyBuild_ = daily; }
    // Written only when not zero.
    const VersionNumber& getRevisionNumber() const { return revisionNumber_; }
    void setRevisionNumber(const VersionNumber& revision) { revisionNumber_ = revision; }
    // The version of the installer that wrote the log.
    const VersionNumber& getInstallerVersion() const { return installerVersion_; }
    void setInstallerVersion(const VersionNumber& version) { installerVersion_ = version; }
    // The oldest installer that may maintain the installation unasked.
    const VersionNumber& getMinAutoVersion() const { return minAutoVersion_; }
    void setMinAutoVersion(const VersionNumber& version) { minAutoVersion_ = version; }
    bool isInstalledForAllUsers() const { return installedForAllUsers_; }
    void setInstalledForAllUsers(bool allUsers) { installedForAllUsers_ = allUsers; }
    const SharedString& getOwner() const { return owner_; }
    void setOwner(const SharedString& owner) { owner_ = owner; }
    const SharedString& getDestinationFolder() const { return destinationFolder_; }
    void setDestinationFolder(const SharedString& folder) { destinationFolder_ = folder; }
    std::uint16_t getLanguageId() const { return languageId_; }
    const SharedString& getLanguageName() const { return languageName_; }
    void setLanguage(std::uint16_t id, const SharedString& name)
    {
        languageId_ = id;
        languageName_ = name;
    }
    // The licence accepted at installation; null when none was.
    const EulaRecordPtr& getEula() const { return eula_; }
    void setEula(EulaRecordPtr eula) { eula_ = std::move(eula); }
    std::uint32_t getSupportFlags() const { return supportFlags_; }
    void setSupportFlags(std::uint32_t flags) { supportFlags_ = flags; }

    // Registrations to be completed after the next start, each the path of
    // what is to be registered.
    std::uint32_t getPendingRegistrationCount() const { return static_cast<std::uint32_t>(registrations_.size()); }
    // Throws std::out_of_range outside the list.
    const SharedString& getPendingRegistration(std::uint32_t index) const;
    void addPendingRegistration(const SharedString& path) { registrations_.push_back(path); }

private:
    friend class InstalledLogHandler;

    std::vector<FeaturePtr> features_;
    SharedString programName_;
    VersionNumber programVersion_;
    bool dailyBuild_ = false;
    VersionNumber revisionNumber_;
    VersionNumber installerVersion_;
    VersionNumber minAutoVersion_;
    bool installedForAllUsers_ = false;
    SharedString owner_;
    SharedString destinationFolder_;
    std::uint16_t languageId_ = 0;
    SharedString languageName_;
    EulaRecordPtr eula_;
    std::uint32_t supportFlags_ = 0;
    std::vector<SharedString> registrations_;
};

using InstalledLogPtr = std::shared_ptr<InstalledLog>;

}  // namespace druvex
