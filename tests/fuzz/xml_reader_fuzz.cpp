// The XML reader over any bytes, with a handler that keeps what it is handed
// (names and values copied, as the format readers do) and refuses now and then,
// so that a parse stopped by its handler is covered too.
// fuzz-links: druvex_core
// fuzz-seeds: tests/data/datafiles/*.xml
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/xml_reader.h"
#include "fuzz/fuzz_support.h"

namespace {

using namespace druvex;

class KeepingHandler final : public XmlHandler {
public:
    explicit KeepingHandler(std::size_t refuseAt) : refuseAt_(refuseAt) {}

    bool startElement(const XmlNameSpan& name, const XmlAttributeList& attributes, const SharedString& text) override
    {
        kept_.assign(name.begin, name.size());
        for (const XmlAttribute& attribute : attributes) {
            kept_.append(attribute.name.begin, attribute.name.size());
            lastValue_ = attribute.value;
        }
        lastValue_ = text;
        return ++calls_ != refuseAt_;
    }
    bool endElement(const XmlNameSpan& name) override
    {
        kept_.assign(name.begin, name.size());
        return ++calls_ != refuseAt_;
    }

private:
    std::size_t refuseAt_;
    std::size_t calls_ = 0;
    std::string kept_;
    SharedString lastValue_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::quietDiagnostics();
    XmlReader reader;
    reader.setInput(data, size);
    KeepingHandler keepAll(0);
    reader.parse(keepAll);
    // The last byte picks a call to refuse: a reader stopped half-way must
    // leave nothing behind and start cleanly on the next parse.
    KeepingHandler refusing(size == 0 ? 1 : data[size - 1] + 1u);
    reader.parse(refusing);
    return 0;
}
