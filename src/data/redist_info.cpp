#include "data/redist_info.h"

#include <string>
#include <unordered_set>

#include "core/xml_reader.h"
#include "data/item_xml.h"
#include "data/xml_attributes.h"
#include "text/char_class.h"
#include "text/numbers.h"

namespace druvex {
namespace {

class RedistInfoHandler final : public XmlHandler {
public:
    explicit RedistInfoHandler(std::vector<RedistributablePtr>& out) : out_(out) {}

    bool startElement(const XmlNameSpan& name, const XmlAttributeList& attributes, const SharedString& text) override
    {
        if (xmlNameEquals(name, "Redistributable"))
            return startRedistributable(attributes);
        const bool dependency = xmlNameEquals(name, "Dependency");
        const bool supersede = xmlNameEquals(name, "Supersede");
        const bool check = xmlNameEquals(name, "Check");
        if (!dependency && !supersede && !check)
            return true;
        if (!open_)
            return false;
        if (dependency)
            open_->addDependency(text);
        else if (supersede)
            open_->addSupersede(text);
        else
            open_->setScript(text);
        return true;
    }

    bool endElement(const XmlNameSpan& name) override
    {
        if (xmlNameEquals(name, "Redistributable"))
            open_.reset();
        return true;
    }

private:
    bool startRedistributable(const XmlAttributeList& attributes)
    {
        if (open_)
            return false;
        auto item = std::make_shared<Redistributable>();
        if (!readItemAttributes(*item, attributes) || item->getNameRef().isEmpty())
            return false;
        // Each name looked up among all before it, in a hash set so that a
        // long list does not cost the square of its length.
        if (!names_.insert(toLowerText(item->getNameRef().view())).second)
            return false;
        item->setDisplayName(xmlAttributeValue(attributes, "DisplayName"));
        int flag = 0;
        if (parseInt(xmlAttributeValue(attributes, "Flag").c_str(), flag))
            item->setFlag(flag);
        out_.push_back(item);
        open_ = std::move(item);
        return true;
    }

    std::vector<RedistributablePtr>& out_;
    std::unordered_set<std::u16string> names_;  // folded by toLowerText
    RedistributablePtr open_;
};

}  // namespace

bool parseRedistInfo(const void* data, std::size_t bytes, std::vector<RedistributablePtr>& out)
{
    out.clear();
    if (!data || bytes == 0)
        return false;
    XmlReader reader;
    if (!reader.setInput(data, bytes))
        return false;
    RedistInfoHandler handler(out);
    return reader.parse(handler);
}

}  // namespace druvex
