// The program-wide translation: the current language's XlateTable and the
// lookups every subsystem calls for its user-visible texts. Any thread may
// translate while another selects or clears the table: a lookup holds the
// table it started with, and a replaced table goes when its last reader is done.
#pragma once

#include <initializer_list>
#include <string_view>

#include "text/placeholders.h"
#include "text/shared_string.h"

namespace druvex {

// The narrow key converted with the ANSI code page, then translateTextW. Null
// is empty.
SharedString translateText(const char* key);
// Empty key: empty text. With a current table its lookup, else the key cut
// before its "@@" context.
SharedString translateTextW(std::u16string_view key);
SharedString translateTextW(const char16_t* key);  // null is empty

// The one way to fill a translated template: translateText(key) with its
// placeholders filled from `args` (formatPlaceholders rules):
// formatTranslated("{1} of {2}", {done, total}).
SharedString formatTranslated(const char* key, std::initializer_list<PlaceholderText> args);
// translateText(key) with "{1}" filled from `text`.
SharedString formatTranslated(const char* key, PlaceholderText text);
// translateText(key) with "{1}" and "{2}" filled from the two texts.
SharedString translateAndFormat2(const char* key, PlaceholderText text1, PlaceholderText text2);

// Makes the translation file `path` current. When the current table already
// has exactly this path nothing changes and the answer is whether that table
// holds pairs. Otherwise the current table is dropped, a new one is loaded
// from `path` and made current even when it holds nothing (every key then
// comes back as itself); the answer is whether it holds pairs.
bool selectTranslationFile(std::u16string_view path);
// Drops the current table: every key comes back as itself.
void clearTranslationTable();

}  // namespace druvex
