#include "controller/update_info.h"

#include <functional>
#include <string_view>

#include "controller/installer_controller.h"
#include "core/app_log.h"
#include "core/byte_stream.h"
#include "core/time_stamp.h"
#include "core/xml_writer.h"
#include "data/feature.h"
#include "data/install_data.h"
#include "data/installed_log.h"
#include "fileutil/file_util.h"
#include "hal/hal_access.h"
#include "liveupdate/new_installer.h"
#include "liveupdate/update_bulletin.h"
#include "liveupdate/update_patcher.h"
#include "text/char_class.h"

namespace druvex {
namespace {

constexpr char16_t kUpdateInfoName[] = u"update_info.xml";
constexpr std::u16string_view kFeaturePrefix = u"Feature/";

// The item, then each sub-item's walk in order.
void walkDepthFirst(const FeaturePtr& item, const std::function<void(const FeaturePtr&)>& visit)
{
    visit(item);
    for (int i = 0; i < item->subFeatureCount(); ++i)
        walkDepthFirst(item->subFeatureAt(i), visit);
}

void writeFeature(XmlWriter& writer, std::u16string_view name, const SharedString& desc, const SharedString& digest,
                  std::int64_t timestamp, std::u16string_view changeType)
{
    writer.startElement("feature");
    writer.attribute("name", name);
    writer.attribute("desc", desc.view());
    writer.attribute("digest", digest.view());
    writer.attribute("timestamp", SharedString().format(u"%I64d", timestamp).view());
    writer.attribute("change-type", changeType);
    writer.endElement("feature");
}

// Whether the newer installer chosen for download already lies on this machine.
bool isNewerInstallerPresent(InstallerController& controller)
{
    SharedString url;
    std::uint64_t size = 0;
    SharedString target;
    controller.getNewVersionDownload(url, size, target);
    return !target.isEmpty() && controller.getHalIn()->exists(target, nullptr);
}

}  // namespace

bool hasNewerInstaller(InstallerController& controller)
{
    return controller.hasNewInstallerEntry();
}

bool hasFeatureUpdates(InstallerController& controller)
{
    const FeaturePtr root = controller.getInstallData().featureRoot();
    if (!root)
        return false;
    const InstalledLog& installed = *controller.getInstalledLog();
    bool remaining = false;
    walkDepthFirst(root, [&](const FeaturePtr& feature) {
        if (feature->getUpdateState() == 0)
            return;
        const FeaturePtr record = installed.findFeature(feature->getName().view());
        if (record && !bulletinFeatureDiffers(0, *record, *feature)) {
            feature->setUpdateState(0);
            return;
        }
        remaining = true;
    });
    return remaining;
}

void buildUpdateInfoXml(InstallerController& controller, bool includeUpdateManager, std::vector<std::uint8_t>& out)
{
    out.clear();
    MemoryStream stream(out);
    XmlWriter writer(stream, true);
    writer.startElement("data");

    BulletinVersionPtr version;
    int index = 0;
    bool platformMatched = false;
    if (getNewInstallerEntry(controller, version, index, platformMatched)) {
        writer.startElement("newversion");
        writer.attribute("ver", version->getVer().toText().view());
        if (!isNewerInstallerPresent(controller))
            writer.attribute("installerPresent", u"No");
        writer.text(version->getReleaseNotes().view());
        writer.endElement("newversion");
    }

    const auto writeMarked = [&](const FeaturePtr& item) {
        const std::int32_t state = item->getUpdateState();
        if (state == 0)
            return;
        const SharedString path = item->getName();
        std::u16string_view name = path.view();
        if (name.starts_with(kFeaturePrefix))
            name.remove_prefix(kFeaturePrefix.size());
        const std::u16string_view changeType = state == 2 ? u"new"
                                               : controller.isFeatureSelected(item.get()) ? u"newinstalled"
                                                                                          : u"newknown";
        writeFeature(writer, name, item->getDesc(), item->getDigest(), item->getTimestamp(), changeType);
    };
    const InstallData& data = controller.getInstallData();
    if (const FeaturePtr root = data.featureRoot())
        walkDepthFirst(root, writeMarked);
    if (const FeaturePtr root = data.extraDataRoot()) {
        writeMarked(root);
        // The redistributables and the prerequisite checks, and what follows
        // them, are the installer's own: no update manager installs them.
        for (int i = 0; i < root->subFeatureCount(); ++i) {
            const FeaturePtr& child = root->subFeatureAt(i);
            if (equalsNoCase(child->getNameRef().view(), u"Redist") ||
                equalsNoCase(child->getNameRef().view(), u"ReqInfo"))
                break;
            walkDepthFirst(child, writeMarked);
        }
    }
    if (includeUpdateManager)
        writeFeature(writer, u"Update manager", SharedString(), SharedString(u"1"), TimeStamp::now().seconds,
                     u"newinstalled");

    writer.endElement("data");
    writer.flush();
}

bool writeUpdateInfoXml(InstallerController& controller, bool includeUpdateManager, const SharedString& folder)
{
    std::vector<std::uint8_t> bytes;
    buildUpdateInfoXml(controller, includeUpdateManager, bytes);
    const SharedString path = joinPath(folder, SharedString(kUpdateInfoName));
    if (!writeBufferToFile(*controller.getHalIn(), bytes, path)) {
        logPrintf(u"%s cannot be written (error %u)", path, controller.getHalIn()->getLastError());
        return false;
    }
    return true;
}

}  // namespace druvex
