// Natural-order comparison of names for display: case ignored, runs of digits
// by their value ("file2" before "file10"), file-name punctuation by fixed
// weights. Texts are counted, so they need no terminator.
#pragma once

namespace druvex {

// Negative when `a` sorts before `b`, 0 when they are equal in this order,
// positive otherwise; the magnitude has no meaning.
int naturalCompare(int lengthA, const char16_t* a, int lengthB, const char16_t* b);

// '0' to '9' only.
bool isAsciiDigit(char16_t ch);

// One of the 24 punctuation characters that have a sort weight.
bool isSortPunctuation(char16_t ch);

// At the first digit of a number at `index`: skips its leading '0's and
// returns the index of the first other digit, with `zeroCount` the zeros
// skipped. When no digit follows the zeros, the last '0' is the number: its
// index is returned and `zeroCount` is one less.
int skipLeadingZeros(const char16_t* text, int index, int end, int& zeroCount);

}  // namespace druvex
