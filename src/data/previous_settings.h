// PreviousSettings: the wizard's choices saved so that a later run goes on
// where an earlier one stopped. A relaunch (as administrator, say) saves them
// to "PreviousSettings.xml" and the new instance applies them; the same file
// is the configuration that a "make_config" run writes and a "use_config" run
// reads. The installer variables the user set are the object's own variable
// set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "app_base/target_platform.h"
#include "text/shared_string.h"
#include "data/installer_variable.h"

namespace druvex {

class HalAccess;

// "RebootInfo" Revision of the files this program writes and reads.
constexpr std::int32_t kPreviousSettingsRevision = 40;

class PreviousSettings : public VariableSet {
public:
    // The files are read and written through `host`, which must outlive this.
    explicit PreviousSettings(HalAccess& host);

    // Writes the document and puts it in place of the file at `path` through
    // the host, then asks the host to let every user at it. The document goes
    // to "<path>.tmp" first and the old file is kept as "<path>.bak" until
    // the new one stands, so a save that fails (logged with its reason) leaves
    // an existing file as it was. True when the file was written.
    bool saveToFile(const SharedString& path) const;
    // Reads the file at `path` through the host. False with `corrupt` clear
    // when it cannot be read (missing or empty); false with `corrupt` set
    // when it reads but is refused (see readXml), keeping what was read
    // before the refusal.
    [[nodiscard]] bool loadFromFile(const SharedString& path, bool& corrupt);

    // Replaces `out` with the document (UTF-8 with a byte-order mark).
    bool writeXml(std::vector<std::uint8_t>& out) const;
    // Reads a document into this object, names ignoring case. False for an
    // empty buffer, a document that does not parse or holds no element, a "Destination" with fewer
    // than three attributes, a "RebootInfo" without attributes or whose
    // Revision is not 40, and an "InstallerVariable" or "Definition" that the
    // install data would refuse.
    bool readXml(const void* data, std::size_t bytes);

    void getFullBackup(bool& restore, SharedString& path) const
    {
        restore = restoreFullBackup_;
        path = fullBackupPath_;
    }
    void setFullBackup(bool restore, const SharedString& path)
    {
        restoreFullBackup_ = restore;
        fullBackupPath_ = path;
    }

    void addFeatureToInstall(const SharedString& name) { featuresToInstall_.push_back(name); }
    const std::vector<SharedString>& getFeaturesToInstall() const { return featuresToInstall_; }
    void clearFeaturesToInstall() { featuresToInstall_.clear(); }

    std::uint32_t getLanguage() const { return language_; }
    void setLanguage(std::uint32_t language) { language_ = language; }
    bool getWipeOldInst() const { return wipeOldInst_; }
    void setWipeOldInst(bool wipe) { wipeOldInst_ = wipe; }
    bool getIsForAnyone() const { return isForAnyone_; }
    void setIsForAnyone(bool forAnyone) { isForAnyone_ = forAnyone; }
    bool getIsTethered() const { return isTethered_; }
    void setIsTethered(bool tethered) { isTethered_ = tethered; }
    const SharedString& getTargetDir() const { return targetDir_; }
    void setTargetDir(const SharedString& folder) { targetDir_ = folder; }
    bool getUseOnlineFeature() const { return useOnlineFeature_; }
    void setUseOnlineFeature(bool use) { useOnlineFeature_ = use; }
    // Whether the run had already checked for updates; "Misc" UpdateCheckDone.
    bool getUpdateCheckDone() const { return updateCheckDone_; }
    void setUpdateCheckDone(bool done) { updateCheckDone_ = done; }
    bool getRevertToPreviousRevision() const { return revertToPreviousRevision_; }
    void setRevertToPreviousRevision(bool revert) { revertToPreviousRevision_ = revert; }
    // A WizardMode.
    std::int32_t getWizardMode() const { return wizardMode_; }
    void setWizardMode(std::int32_t mode) { wizardMode_ = mode; }
    // A WizardPageId.
    std::int32_t getStartingPage() const { return startingPage_; }
    void setStartingPage(std::int32_t page) { startingPage_ = page; }
    TargetPlatform getTargetPlatform() const { return targetPlatform_; }
    void setTargetPlatform(TargetPlatform platform) { targetPlatform_ = platform; }

private:
    friend class PreviousSettingsHandler;

    HalAccess& host_;
    std::vector<SharedString> featuresToInstall_;
    std::uint32_t language_ = 1033;
    bool wipeOldInst_ = false;
    bool isForAnyone_ = false;
    bool isTethered_ = false;
    SharedString targetDir_;
    bool useOnlineFeature_ = true;
    bool updateCheckDone_ = false;
    bool revertToPreviousRevision_ = false;
    bool restoreFullBackup_ = false;
    SharedString fullBackupPath_;
    std::int32_t wizardMode_ = 1;
    std::int32_t startingPage_ = 2;  // the prerequisites page
    TargetPlatform targetPlatform_ = kPlatformUnknown;
};

}  // namespace druvex
