#include "data/font_coverage.h"

#include <vector>

#include "data/font_device_context.h"
#include "hal/hal_access.h"
#include "text/mutex.h"

namespace druvex {
namespace {

constexpr const char16_t* kSystemLinkKey = u"SOFTWARE\\Microsoft\\FontLink\\SystemLink";

struct FontLinkCache {
    Mutex mutex;
    bool loaded GUARDED_BY(mutex) = false;
    std::vector<SharedString> faces GUARDED_BY(mutex);
};

FontLinkCache& fontLinkCache()
{
    static FontLinkCache cache;
    return cache;
}

// An entry is "<font file>,<face>"; desktop systems may append scaling
// numbers after a further comma, which are no part of the face.
SharedString linkedFace(const SharedString& entry)
{
    const std::u16string_view text = entry.view();
    const std::size_t comma = text.find(u',');
    if (comma == std::u16string_view::npos)
        return {};
    std::u16string_view face = text.substr(comma + 1);
    face = face.substr(0, face.find(u','));
    return SharedString(face);
}

std::vector<SharedString> linkedFaces(HalAccess& host, const SharedString& face)
{
    FontLinkCache& cache = fontLinkCache();
    const MutexLock lock(cache.mutex);
    if (!cache.loaded) {
        cache.loaded = true;
        std::vector<SharedString> entries;
        if (!face.isEmpty() &&
            host.readRegistryMultiStringValue(kRegistryLocalMachine, SharedString(kSystemLinkKey),
                                              kRegistryViewDefault, face, entries)) {
            for (const SharedString& entry : entries) {
                SharedString linked = linkedFace(entry);
                if (!linked.isEmpty())
                    cache.faces.push_back(std::move(linked));
            }
        }
    }
    return cache.faces;
}

}  // namespace

bool isTextCoveredByFont(FontDeviceContext& context, std::u16string_view text)
{
    return isTextCoveredByCmap(context, text);
}

bool isTextCoveredByFonts(HalAccess& host, FontDeviceContext& context, std::u16string_view text)
{
    if (isTextCoveredByFont(context, text))
        return true;
    for (const SharedString& face : linkedFaces(host, context.faceName())) {
        // A font of the linked face in a context of its own: the caller's
        // context keeps its font.
        FontDeviceContext linked(context.host());
        if (linked.selectFace(face) && isTextCoveredByFont(linked, text))
            return true;
    }
    return false;
}

void resetFontLinkCacheForTests()
{
    FontLinkCache& cache = fontLinkCache();
    const MutexLock lock(cache.mutex);
    cache.loaded = false;
    cache.faces.clear();
}

}  // namespace druvex
