// The scan-only XML run that two benchmark programs share: every element
// counted, nothing kept, so that what is measured is the reader itself.
#pragma once

#include <cstdint>
#include <vector>

#include <benchmark/benchmark.h>

#include "core/xml_reader.h"

namespace druvex::bench {

class CountingHandler final : public XmlHandler {
public:
    long elements = 0;
    bool startElement(const XmlNameSpan&, const XmlAttributeList&, const SharedString&) override
    {
        ++elements;
        return true;
    }
    bool endElement(const XmlNameSpan&) override { return true; }
};

// One pass of XmlReader over `bytes` per benchmark iteration.
inline void scanWithXmlReader(benchmark::State& state, const std::vector<std::uint8_t>& bytes)
{
    for (auto _ : state) {
        CountingHandler handler;
        XmlReader reader;
        reader.setInput(bytes.data(), bytes.size());
        if (!reader.parse(handler))
            state.SkipWithError("document refused");
        benchmark::DoNotOptimize(handler.elements);
    }
}

}  // namespace druvex::bench
