// Fuzz target: the redistributables list (the archive entry
// "ExtraData/Redist/RedistInfo") through its reader. Whatever the bytes, every
// redistributable taken has a name, and no two names are equal ignoring case.
// fuzz-links: druvex_data
// fuzz-seeds: tests/fuzz/corpus/redist_info/*
#include <cstddef>
#include <cstdint>
#include <vector>

#include "data/redist_info.h"
#include "text/char_class.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace druvex;
    std::vector<RedistributablePtr> list;
    parseRedistInfo(data, size, list);
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (!list[i] || list[i]->getNameRef().isEmpty())
            __builtin_trap();
        for (std::size_t j = 0; j < i; ++j) {
            if (equalsNoCase(list[i]->getNameRef().view(), list[j]->getNameRef().view()))
                __builtin_trap();
        }
    }
    return 0;
}
