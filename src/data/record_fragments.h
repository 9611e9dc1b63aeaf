// Readers of the feature record fragments that a package carries beside its
// files: the feature's shortcuts, environment variables, file associations,
// feature scripts and web-server settings, one XML fragment per kind with the
// elements of the install data. Each reader adds what it finds to the feature
// the package belongs to and passes over every other element.
#pragma once

#include <cstdint>
#include <span>

namespace druvex {

class Feature;
struct XmlParseError;

// Each answers false for an empty buffer (leaving the feature as it was), a
// fragment that does not parse, and an element that the install data would
// refuse, with the reader's reason in `error` when given; records read before
// a refusal stay with the feature.
//
// "Shortcut": at least two attributes; one without a Name is passed over.
bool parseShortcutsXmlFragment(Feature& feature, std::span<const std::uint8_t> fragment,
                                      XmlParseError* error = nullptr);
// "EnvironmentVar".
bool parseEnvironmentVarsXmlFragment(Feature& feature, std::span<const std::uint8_t> fragment,
                                      XmlParseError* error = nullptr);
// "FeatureScript".
bool parseFeatureScriptsXmlFragment(Feature& feature, std::span<const std::uint8_t> fragment,
                                      XmlParseError* error = nullptr);
// "FileAssociation" holding "FileExtension" elements holding "FileAction"
// elements; an association joins the feature at its end tag, complete.
bool parseFileAssociationsXmlFragment(Feature& feature, std::span<const std::uint8_t> fragment,
                                      XmlParseError* error = nullptr);
// "AppPool", and "WebSite" holding "Application" elements.
bool parseIisXmlFragment(Feature& feature, std::span<const std::uint8_t> fragment,
                                      XmlParseError* error = nullptr);

}  // namespace druvex
