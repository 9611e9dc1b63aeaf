// The registry fragment: reading with a stack of open keys, and writing.
#include <utility>
#include <vector>

#include "core/xml_writer.h"
#include "data/registry_model.h"
#include "data/xml_attributes.h"
#include "platform/input_limits.h"

namespace druvex {
namespace regmodel {
namespace {

int rootIndexOfElement(const XmlNameSpan& name)
{
    for (int index = 0; index < kRootCount; ++index) {
        if (xmlNameEquals(name, registryRootElementName(index)))
            return index;
    }
    return -1;
}

class FragmentHandler final : public XmlHandler {
public:
    explicit FragmentHandler(RegistryRootSet& target) : reader_(&target) {}

    bool startElement(const XmlNameSpan& name, const XmlAttributeList& attributes, const SharedString&) override
    {
        return reader_.startElement(name, attributes);
    }
    bool endElement(const XmlNameSpan& name) override { return reader_.endElement(name); }

private:
    RegistryXmlReader reader_;
};

// A list of the keys open on the way down rather than recursion: a tree
// built in code may be deeper than any fragment.
void writeChildren(XmlWriter& writer, const RegistryKey& top)
{
    struct Level {
        const RegistryKey* key;
        int next;
    };
    std::vector<Level> levels{{&top, 0}};
    while (!levels.empty()) {
        Level& level = levels.back();
        if (level.next == level.key->childCount()) {
            levels.pop_back();
            if (!levels.empty())
                writer.endElement("Key");
            continue;
        }
        const std::shared_ptr<RegistryItem> child = level.key->childAt(level.next++);
        if (child->kind() == kKindValue) {
            const auto& value = static_cast<const RegistryValue&>(*child);
            writer.startElement("Value");
            writer.attribute("Name", value.getName().view());
            writer.attribute("Format", registryFormatText(value.getFormat()).view());
            writer.attribute("Data", value.getData().view());
            writer.endElement("Value");
            continue;
        }
        auto& key = static_cast<RegistryKey&>(*child);
        writer.startElement("Key");
        writer.attribute("Name", key.getName().view());
        writer.attribute("Flag", registryFlagText(key.getFlag()).view());
        if (key.hasDefaultValue())
            writer.attribute("DefaultValue", key.getDefaultValue()->getData().view());
        levels.push_back({&key, 0});
    }
}

}  // namespace

void RegistryXmlReader::setTarget(RegistryRootSet* target)
{
    target_ = target;
    open_.clear();
}

bool RegistryXmlReader::startElement(const XmlNameSpan& name, const XmlAttributeList& attributes)
{
    const int root = rootIndexOfElement(name);
    if (root >= 0) {
        if (!target_ || !open_.empty())
            return false;
        open_.push_back(target_->getRoot(root));
        return true;
    }
    if (xmlNameEquals(name, "Key")) {
        // open_ holds the root first, so its size is the new key's depth.
        if (attributes.size() < 2 || open_.empty() || open_.size() > kMaxRegistryKeyDepth)
            return false;
        auto key = std::make_shared<RegistryKey>(xmlAttributeValue(attributes, "Name"),
                                                 registryFlagFromText(xmlAttributeValue(attributes, "Flag").view()));
        // "Format" and "Data" on a key are read by older writers' files and mean nothing.
        const SharedString defaultValue = xmlAttributeValue(attributes, "DefaultValue");
        if (!defaultValue.isEmpty())
            key->getDefaultValue()->setData(defaultValue);
        if (!open_.back()->addChild(key))
            return false;
        open_.push_back(std::move(key));
        return true;
    }
    if (xmlNameEquals(name, "Value")) {
        if (attributes.size() != 3 || open_.empty())
            return false;
        const XmlAttribute* format = findXmlAttribute(attributes, "Format");
        auto value = std::make_shared<RegistryValue>(xmlAttributeValue(attributes, "Name"),
                                                     format ? registryFormatFromText(format->value.view()) : kValueDword,
                                                     xmlAttributeValue(attributes, "Data"));
        // A value its key refuses is refused with the fragment: dropping it
        // would install less than the fragment says.
        return open_.back()->addChild(std::move(value));
    }
    return true;
}

bool RegistryXmlReader::endElement(const XmlNameSpan& name)
{
    if (rootIndexOfElement(name) >= 0) {
        if (open_.empty())
            return false;
        open_.clear();
        return true;
    }
    if (xmlNameEquals(name, "Key")) {
        if (open_.empty())
            return false;
        open_.pop_back();
        return true;
    }
    return true;
}

bool RegistryRootSet::loadXml(const void* data, std::size_t bytes, XmlParseError* error)
{
    clear();
    if (!data || bytes == 0)
        return false;
    XmlReader reader;
    if (!reader.setInput(data, bytes))
        return false;
    FragmentHandler handler(*this);
    if (reader.parse(handler))
        return true;
    if (error)
        *error = reader.lastError();
    return false;
}

void RegistryRootSet::writeXml(XmlWriter& writer) const
{
    if (!hasContent())
        return;
    writer.startElement("Registry");
    for (int index = 0; index < kRootCount; ++index) {
        if (!rootHasContent(index))
            continue;
        const std::string_view name = registryRootElementName(index);
        writer.startElement(name);
        writeChildren(writer, *roots_[static_cast<std::size_t>(index)]);
        writer.endElement(name);
    }
    writer.endElement("Registry");
}

}  // namespace regmodel
}  // namespace druvex
