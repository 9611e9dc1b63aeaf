// Fuzz target: an update bulletin in its packed form as the server might send
// it (an LZMA-alone stream and the SHA-1 of that stream), through the check
// that unpacks it. What passes is never larger than a bulletin may be.
// fuzz-links: druvex_controller
#include <cstddef>
#include <cstdint>
#include <vector>

#include "controller/page_prerequisites_logic.h"
#include "platform/input_limits.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::uint8_t> bytes(data, data + size);
    if (druvex::unpackBulletin(druvex::SharedString(u"http://127.0.0.1:8080/p/bulletin.bin"), bytes) &&
        bytes.size() > druvex::kMaxBulletinSize)
        __builtin_trap();
    return 0;
}
