// A font file in the device's Windows folder: its table directory (or a
// collection's) and names read when a face is looked for, then its character
// map loaded and asked about units across the whole range.
// fuzz-links: druvex_data druvex_host
#include <cstddef>
#include <cstdint>

#include "data/font_cmap.h"
#include "data/font_device_context.h"
#include "fuzz/fuzz_host.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace druvex;
    fuzz::FuzzDevice& device = fuzz::FuzzDevice::instance();
    const auto& host = fuzz::fuzzHost();
    const SharedString path = device.writeFile("Windows/fuzz.ttf", {data, size});
    {
        FontDeviceContext context(host);
        context.selectFace(SharedString(u"Fuzz Sans"));
        if (context.selectFontFile(path)) {
            CmapFormat4 map;
            if (map.load(context)) {
                for (std::uint32_t unit = 0; unit < 0x10000; unit += 251)
                    map.covers(static_cast<char16_t>(unit));
            }
            isTextCoveredByCmap(context, u"Deutsch \u4E2D\u6587");
        }
    }
    device.clear();
    return 0;
}
