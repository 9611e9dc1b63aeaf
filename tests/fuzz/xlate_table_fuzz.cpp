// A language's translation table: the file mapped from the scratch device and
// indexed, then every key it holds looked up, and a key it may not hold.
// fuzz-links: druvex_core
#include <cstddef>
#include <cstdint>

#include "core/xlate_table.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace druvex;
    fuzz::FuzzDevice& device = fuzz::FuzzDevice::instance();
    const SharedString path = device.writeFile("lang.xlt", {data, size});
    {
        XlateTable table(path.view());
        for (const XlateEntry& entry : table.entries())
            table.lookup(entry.key);
        table.lookup(u"Cancel@@button");
    }
    device.clear();
    return 0;
}
