#include "app/load_steps.h"

#include <limits>
#include <map>
#include <string>
#include <vector>

#include "controller/installer_controller.h"
#include "core/app_log.h"
#include "data/install_data.h"
#include "fileutil/file_util.h"
#include "payload/payload_archive.h"
#include "ui_base/screen_type.h"

namespace druvex {
namespace {

constexpr const char16_t* kThemeVariants[] = {u"", u"_ic", u"_ppc", u"_ppc_wide"};

SharedString themeSuffix(std::int32_t theme)
{
    switch (theme) {
    case 1:
    case 6:
        return SharedString(u"_cs1");
    case 2:
        return SharedString(u"_cs2");
    case 3:
        return SharedString(u"_cs3");
    case 4:
        return SharedString(u"_cs4");
    default:
        return {};
    }
}

struct BannerEntry {
    SharedString entry;
    std::int32_t number = 0;
};

// The archive's banner entries by their names without the trailing number;
// the first entry of a name wins.
std::map<std::u16string, BannerEntry, std::less<>> bannerEntries(const PayloadArchive& archive)
{
    std::map<std::u16string, BannerEntry, std::less<>> entries;
    for (std::uint32_t i = 0; i < archive.entryCount(); ++i) {
        const SharedString& entry = archive.entryAt(static_cast<std::int32_t>(i)).name;
        if (!entry.view().starts_with(u"Welcome") && !entry.view().starts_with(u"Banners"))
            continue;
        SharedString name;
        std::int32_t number = 0;
        splitBannerNumber(entry.view(), name, number);
        entries.emplace(std::u16string(name.view()), BannerEntry{entry, number});
    }
    return entries;
}

// A banner's file name comes from the installer data: it must stay a plain
// name inside the work folder.
bool isPlainFileName(std::u16string_view name)
{
    return !name.empty() && name != u"." && name != u".." && name.find_first_of(u"\\/:") == std::u16string_view::npos;
}

}  // namespace

void splitBannerNumber(std::u16string_view entry, SharedString& name, std::int32_t& number)
{
    name = SharedString(entry);
    number = 0;
    const std::size_t separator = entry.rfind(u'_');
    if (separator == std::u16string_view::npos || separator + 1 == entry.size())
        return;
    std::int64_t value = 0;
    for (std::size_t i = separator + 1; i < entry.size(); ++i) {
        const char16_t unit = entry[i];
        if (unit < u'0' || unit > u'9')
            return;
        value = std::min<std::int64_t>(value * 10 + (unit - u'0'), std::numeric_limits<std::int32_t>::max());
    }
    name = SharedString(entry.substr(0, separator));
    number = static_cast<std::int32_t>(value);
}

bool extractThemeBitmaps(InstallerController& controller)
{
    PayloadArchive& archive = controller.getPayloadArchive();
    HalAccess& host = *controller.getHalIn();
    const SharedString folder = controller.getWorkFolder();
    const SharedString theme = themeSuffix(controller.getInstallData().settings().getBackgroundTheme());
    for (const char16_t* variant : kThemeVariants) {
        const SharedString entry = SharedString(u"Theme") + variant;
        if (archive.findEntry(entry) < 0)
            continue;
        const SharedString path =
            joinPath(folder, SharedString(u"bkgnd_Druvex") + variant + theme + SharedString(u".bmp"));
        std::vector<std::uint8_t> bytes;
        if (!archive.extractTo(entry, bytes) || !writeBufferToFile(host, bytes, path)) {
            logPrintf(u"The theme bitmap %s cannot be written to %s", entry, path);
            return false;
        }
    }
    setImagesFolder(folder);
    return true;
}

void collectWelcomeBanners(InstallerController& controller)
{
    const auto entries = bannerEntries(controller.getPayloadArchive());
    for (int variant = 0; variant < kBannerVariantCount; ++variant) {
        const SharedString name = SharedString(u"Welcome") + bannerVariantSuffix(variant);
        const auto found = entries.find(name.view());
        if (found != entries.end())
            controller.recordBanner(name, found->second.number);
    }
}

void extractBanners(InstallerController& controller)
{
    PayloadArchive& archive = controller.getPayloadArchive();
    HalAccess& host = *controller.getHalIn();
    const SharedString folder = controller.getWorkFolder();
    const InstallData& data = controller.getInstallData();
    const auto entries = bannerEntries(archive);
    for (int variant = 0; variant < kBannerVariantCount; ++variant) {
        int counter = 0;
        for (int i = 0; i < data.bannerCount(); ++i) {
            const BannerElement& element = *data.bannerAt(i);
            if (!element.screenAvailable(variant))
                continue;
            const SharedString name = SharedString().format(u"Banners/%d%s", counter++, bannerVariantSuffix(variant));
            const auto found = entries.find(name.view());
            if (found == entries.end())
                continue;
            controller.recordBanner(name, found->second.number);
            const SharedString fileName = element.fileName(variant, true);
            if (!isPlainFileName(fileName.view())) {
                logPrintf(u"The banner %s is not extracted: \"%s\" is no file name", name, fileName);
                continue;
            }
            const SharedString path = joinPath(folder, fileName);
            std::vector<std::uint8_t> bytes;
            if (!archive.extractTo(found->second.entry, bytes) || !writeBufferToFile(host, bytes, path))
                continue;
            logPrintf(u"Extracted banner at %s", path);
        }
    }
}

bool InstallerAppServices::extractThemeBitmaps(InstallerController& controller)
{
    return druvex::extractThemeBitmaps(controller);
}

void InstallerAppServices::collectWelcomeBanners(InstallerController& controller)
{
    druvex::collectWelcomeBanners(controller);
}

void InstallerAppServices::extractBanners(InstallerController& controller)
{
    druvex::extractBanners(controller);
}

}  // namespace druvex
