// The registry fragment: reading with a stack of open keys, and writing.
#include <utility>

#include "core/xml_writer.h"
#include "data/registry_model.h"
#include "data/xml_attributes.h"

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

void writeChildren(XmlWriter& writer, const RegistryKey& key)
{
    for (int index = 0; index < key.childCount(); ++index) {
        const std::shared_ptr<RegistryItem> child = key.childAt(index);
        if (child->kind() == kKindValue) {
            const auto& value = static_cast<const RegistryValue&>(*child);
            writer.startElement("Value");
            writer.attribute("Name", value.getName().view());
            writer.attribute("Format", registryFormatText(value.getFormat()).view());
            writer.attribute("Data", value.getData().view());
            writer.endElement("Value");
            continue;
        }
        auto& subKey = static_cast<RegistryKey&>(*child);
        writer.startElement("Key");
        writer.attribute("Name", subKey.getName().view());
        writer.attribute("Flag", registryFlagText(subKey.getFlag()).view());
        if (subKey.hasDefaultValue())
            writer.attribute("DefaultValue", subKey.getDefaultValue()->getData().view());
        writeChildren(writer, subKey);
        writer.endElement("Key");
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
        if (attributes.size() < 2 || open_.empty())
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
        open_.back()->addChild(std::move(value));
        return true;
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
