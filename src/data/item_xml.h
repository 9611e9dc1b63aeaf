// The XML forms of install items and feature records, shared by the
// install-data document, the feature record fragments of packages and the
// update bulletin: attribute readers and writers of items and features, the
// record elements' writers, and a reader for the record elements that keeps
// the open file association, extension and web site between elements.
#pragma once

#include <memory>

#include "core/xml_reader.h"

namespace druvex {

class CustomAction;
class Feature;
class InstallItem;
class XmlWriter;

// The item attributes. Name goes through setName; a refusal gives false.
// Absent attributes give the defaults (FullInst true unless "No" ignoring
// case, Platforms every platform).
bool readItemAttributes(InstallItem& item, const XmlAttributeList& attributes);
// Name, Prompt, Platforms (unless every platform), FullInst, ReqSpace,
// compressed-size (unless 0), Digest, Timestamp, Version; never url.
void writeItemAttributes(XmlWriter& writer, const InstallItem& item);

// Empties the feature's content, then reads the item attributes and the
// feature's own (a missing Mode or Presel is 0, a missing StoreFileTimes
// true); false when the Name is refused. The caller checks the count.
bool readFeatureAttributes(Feature& feature, const XmlAttributeList& attributes);
// The item attributes, Desc, Presel, Mode, then InstallAs, LocaleId,
// TotalFiles, EqReqSpace, Skippable, StoreFileTimes and Failed where the
// document writes them.
void writeFeatureAttributes(XmlWriter& writer, const Feature& feature);

// The item attributes and the action's own (defaults when absent); false
// when the Name is refused.
bool readCustomActionAttributes(CustomAction& action, const XmlAttributeList& attributes);
void writeCustomActionAttributes(XmlWriter& writer, const CustomAction& action);

// The record lists of a feature, each element only when the list has entries.
void writeShortcutsXml(XmlWriter& writer, const Feature& feature);
void writeEnvironmentVarsXml(XmlWriter& writer, const Feature& feature);
void writeFileAssociationsXml(XmlWriter& writer, const Feature& feature);
void writeFeatureScriptsXml(XmlWriter& writer, const Feature& feature);
// "InternetInformationServices" when the feature has web-server settings.
void writeWebServerXml(XmlWriter& writer, const Feature& feature);

class FileAssociation;
class FileExtension;
class WebSite;

// Reads "Shortcut", "EnvironmentVar", "FeatureScript", "FileAssociation",
// "FileExtension", "FileAction", "AppPool", "WebSite" and "Application" into
// a target feature; other names are accepted and passed over.
class FeatureRecordXmlReader {
public:
    // `strictShortcuts`: a Shortcut without Name fails the read (the
    // install-data document) instead of being passed over (package fragments).
    explicit FeatureRecordXmlReader(Feature* target = nullptr, bool strictShortcuts = true);
    ~FeatureRecordXmlReader();
    FeatureRecordXmlReader(const FeatureRecordXmlReader&) = delete;
    FeatureRecordXmlReader& operator=(const FeatureRecordXmlReader&) = delete;

    // The open feature; null refuses the record elements. An open association,
    // extension or site stays open across a change.
    void setTarget(Feature* target) { target_ = target; }

    // False when the element is refused: no target; a Shortcut with fewer
    // than two attributes (or, strict, without Name); a FileAssociation while
    // one is open; a FileExtension without an open association or while one
    // is open; a FileAction without an open extension or without Type or
    // Arguments; an Application without an open site; a WebSite while one is
    // open; the end of a FileAssociation, FileExtension or WebSite that is not
    // open.
    bool startElement(const XmlNameSpan& name, const XmlAttributeList& attributes);
    bool endElement(const XmlNameSpan& name);

private:
    Feature* target_;
    bool strictShortcuts_;
    std::shared_ptr<FileAssociation> association_;
    std::shared_ptr<FileExtension> extension_;
    std::shared_ptr<WebSite> site_;
};

}  // namespace druvex
