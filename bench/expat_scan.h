// expat parsing a document into nothing but an element count: the reference
// that the XML benchmarks compare our readers with.
#pragma once

#include <cstdint>
#include <vector>

#include <expat.h>

namespace druvex::bench {

namespace expat_detail {
inline void XMLCALL start(void* data, const XML_Char*, const XML_Char**)
{
    ++*static_cast<long*>(data);
}
inline void XMLCALL end(void*, const XML_Char*) {}
inline void XMLCALL text(void*, const XML_Char*, int) {}
}  // namespace expat_detail

// The number of elements of `bytes`, or -1 when expat refuses the document.
inline long expatScan(const std::vector<std::uint8_t>& bytes)
{
    long elements = 0;
    XML_Parser parser = XML_ParserCreate(nullptr);
    XML_SetUserData(parser, &elements);
    XML_SetElementHandler(parser, expat_detail::start, expat_detail::end);
    XML_SetCharacterDataHandler(parser, expat_detail::text);
    const bool parsed =
        XML_Parse(parser, reinterpret_cast<const char*>(bytes.data()), static_cast<int>(bytes.size()), 1) ==
        XML_STATUS_OK;
    XML_ParserFree(parser);
    return parsed ? elements : -1;
}

}  // namespace druvex::bench
