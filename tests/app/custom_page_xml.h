// A custom wizard page for test installers: the installer-data elements of a
// page with a text and an edit box bound to an installer variable, with its
// scripts, placed after one of the wizard's pages. The elements go anywhere
// inside the installer data's "data" element.
#pragma once

#include <string>

namespace druvex::test {

struct CustomPageSpec {
    std::string name = "JobPage";
    std::string title = "Job of <PROGRAMNAME>";
    // The page the custom page follows ("Welcome page", "Destination page"...).
    std::string anchor = "Welcome page";
    // The text above the edit box.
    std::string label = "Name of the first job";
    // The edit box: its Id, the box's own text, and the variable it edits.
    std::string editId = "job";
    std::string editText;
    std::string variable = "JOB_NAME";
    bool editIsPath = false;
    // The variable's value for all platforms at first; none when empty.
    std::string value;
    // Only a persistent variable takes what the person types.
    bool persistent = true;
    // Lua chunks; empty: none.
    std::string onActivationScript;
    std::string onNextScript;
    std::string onBackScript;
    int supportedModes = 255;
};

// The text as an XML attribute value.
inline std::string xmlAttributeText(const std::string& text)
{
    std::string out;
    for (const char ch : text) {
        switch (ch) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += ch;
        }
    }
    return out;
}

// The variable, the page (a vertical layout: the text, then a row of the
// edit box) and the sequence that places it.
inline std::string customPageXml(const CustomPageSpec& page)
{
    const auto attribute = [](const char* name, const std::string& value) {
        return std::string(" ") + name + "=\"" + xmlAttributeText(value) + "\"";
    };
    std::string xml = " <InstallerVariables>\n  <InstallerVariable" + attribute("name", page.variable) +
                      attribute("persistent", page.persistent ? "yes" : "no") + ">";
    if (!page.value.empty())
        xml += "<Definition platform=\"All\">" + xmlAttributeText(page.value) + "</Definition>";
    xml += "</InstallerVariable>\n </InstallerVariables>\n";
    xml += " <CustomPages>\n  <CustomPage" + attribute("Name", page.name) + attribute("Title", page.title) +
           attribute("SupportedModes", std::to_string(page.supportedModes)) +
           attribute("OnActivationScript", page.onActivationScript) + attribute("OnBackScript", page.onBackScript) +
           attribute("OnNextScript", page.onNextScript) + ">\n";
    xml += "   <LinearLayout Id=\"root\" MarginTop=\"1\" MarginLeft=\"1\" IsVertical=\"yes\"><Components>\n";
    xml += "    <TextView Id=\"label\"" + attribute("Text", page.label) + "/>\n";
    xml += "    <LinearLayout Id=\"row\" MarginTop=\"1\" IsVertical=\"no\"><Components>\n";
    xml += "     <EditBox" + attribute("Id", page.editId) + attribute("Text", page.editText) +
           attribute("Variable", page.variable) + attribute("IsAPath", page.editIsPath ? "yes" : "no") + "/>\n";
    xml += "    </Components></LinearLayout>\n   </Components></LinearLayout>\n  </CustomPage>\n </CustomPages>\n";
    xml += " <CustomPagesSequence>[" + xmlAttributeText(page.anchor) + "]" + xmlAttributeText(page.name) +
           ";</CustomPagesSequence>\n";
    return xml;
}

}  // namespace druvex::test
