// The culture table: installer languages by their 16-bit Windows locale id
// (LCID), with the culture name stored in "_config.xml" and offered to
// scripts, and the English and native language names shown in the language
// list; plus the installer's custom language.
#pragma once

#include <cstdint>
#include <string_view>

#include "text/shared_string.h"

namespace druvex {

struct CultureInfo {
    const char16_t* cultureName;   // "en-US"; older spellings kept ("Cy-sr-SP")
    std::uint16_t lcid;
    const char16_t* englishName;   // the language, e.g. "Serbian (Latin)"
    const char16_t* countryName;   // the country or region; empty for a neutral culture
    const char16_t* nativeName;    // the language in its own words, e.g. "Dansk"
};

constexpr int kCultureCount = 145;

// The custom language of an installer's custom folder.
constexpr std::uint16_t kCustomLanguageId = 972;
constexpr const char16_t* kCustomCultureName = u"custm";
constexpr const char16_t* kCustomLanguageName = u"Custom language";

// Row `index` in the table's fixed order; null at 145 and above (and below 0).
const CultureInfo* cultureByIndex(int index);
// The first row with that LCID, 1034 (traditional Spanish) looked up as 3082;
// -1 when none.
int cultureIndexByLcid(std::uint16_t lcid);
// The first row whose culture name equals the text ignoring case; -1 when none.
int cultureIndexByName(std::u16string_view name);

// False, with lcid 0, when the name is not in the table.
bool lcidByCultureName(std::u16string_view name, std::uint16_t& lcid);
// False when the LCID is not in the table.
bool cultureNameByLcid(std::uint16_t lcid, SharedString& name);
// The table first; else "custm" (ignoring case) gives 972.
bool languageNameOrCustom(std::u16string_view name, std::uint16_t& lcid);
// The table first; else 972 gives "custm".
bool cultureNameOrCustom(std::uint16_t lcid, SharedString& name);
// 972 gives "Custom language"; else the row's English language name.
bool languageDisplayName(std::uint16_t lcid, SharedString& text);
// 972 gives "Custom language"; else the row's native language name.
bool languageNativeName(std::uint16_t lcid, SharedString& text);

}  // namespace druvex
