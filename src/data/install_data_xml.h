// The install-data document "data.xml" (root "data"): read from UTF-8 bytes
// into an InstallData, and written from one, whole or without the contents
// (the copy an installation leaves in the target folder).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/xml_reader.h"
#include "text/shared_string.h"

namespace druvex {

class ByteStream;
class HalAccess;
class InstallData;
class VariableSet;
class XmlWriter;

// Why readInstallDataXml refused a document, for the caller's log line.
struct InstallDataRefusal {
    // Where the document broke which rule; kXmlRuleHandlerRefused when the
    // element below was refused.
    XmlParseError xml;
    // The element refused, as the document spells it; empty when the markup
    // itself broke a rule.
    std::string element;
    // The attribute at fault; empty when the element as a whole was refused.
    std::string attribute;
};

// Reads the document into `data`, which keeps what it held except the
// sub-features of "Feature" (removed first). Element and attribute names
// match without regard to case. False for an empty buffer, a document without
// elements or that does not parse, a "Version" other than 3, and at the first
// element the format refuses; what was read before stays in `data`, and the
// reason goes to `refusal` when given. The texts of "IncludeFile" elements go
// to `includes` when given. A text or attribute value that holds a character
// XML does not allow (a control character other than tab, line feed and
// carriage return, U+FFFE, U+FFFF) is refused at its byte. Each element of a
// name the format does not know (a misspelling, most likely) is passed over
// and gets a line for the log in `unknownElements`, when given: its name, its
// parent and its line. Throws nothing.
bool readInstallDataXml(InstallData& data, const void* bytes, std::size_t size,
                        std::vector<SharedString>* includes = nullptr, InstallDataRefusal* refusal = nullptr,
                        std::vector<SharedString>* unknownElements = nullptr);
// The refusal as a log line's ending: "the element "Platform" (attribute
// "Name") at byte 120 was refused", "at byte 7: an attribute has no '='",
// "the element "Text" at byte 80 was refused: the text holds a character
// that XML does not allow (U+000F)".
SharedString describeInstallDataRefusal(const InstallDataRefusal& refusal);

// Writes the document (UTF-8 with a byte-order mark) into the stream. With
// `omitContents` every content tree, feature record list and registry, and
// every banner's OrigPath, are left out. False when the stream refused output.
bool writeInstallDataXml(const InstallData& data, ByteStream& output, bool omitContents);
// The document built in memory, then written to the file at the device path
// through the host, replacing it. False, with a log line naming the file,
// when any of it could not be written.
bool writeInstallDataXml(HalAccess& host, const InstallData& data, const SharedString& path, bool omitContents);

// "InstallerVariables" with every variable of the set and its values.
void writeInstallerVariables(XmlWriter& writer, const VariableSet& variables);

// `path` relative to `folder` ("..\" for each folder of `folder` not shared,
// '\' between names; names compare ignoring case). Empty when either is empty.
SharedString makeRelativePath(const SharedString& folder, const SharedString& path);

}  // namespace druvex
