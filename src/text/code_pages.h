// Code pages other than UTF-8, behind the conversions of text_convert.h: the
// Western code page 1252 from our own table (as the device converts it) and
// every other code page through the C library's iconv. Internal to the text
// library.
#pragma once

namespace druvex {

// Convert `length` characters (no zero among them) of an ANSI code page (never
// 0 or 65001). A null `dest` measures. `complete` turns false when `room` ran
// out before the end; the result then counts what was written. -1: invalid
// input or an unknown code page.
int codePageToWide(unsigned codePage, const char* narrow, int length, char16_t* dest, int room, bool& complete);
int wideToCodePage(unsigned codePage, const char16_t* wide, int length, char* dest, int room, bool& complete);

}  // namespace druvex
