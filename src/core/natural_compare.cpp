#include "core/natural_compare.h"

#include "text/char_class.h"

namespace druvex {
namespace {

// Sort weight of a punctuation character, -1 for any other. Apostrophe and
// hyphen weigh more than the digits on purpose: "a1" sorts before "a-1".
int punctuationWeight(char16_t ch)
{
    switch (ch) {
    case u' ': return 0;
    case u'!': return 1;
    case u'#': return 2;
    case u'$': return 3;
    case u'%': return 4;
    case u'&': return 5;
    case u'(': return 6;
    case u')': return 7;
    case u',': return 8;
    case u'.': return 9;
    case u';': return 10;
    case u'@': return 11;
    case u'[': return 12;
    case u']': return 13;
    case u'^': return 14;
    case u'_': return 15;
    case u'`': return 16;
    case u'{': return 17;
    case u'}': return 18;
    case u'~': return 19;
    case u'+': return 20;
    case u'=': return 21;
    case u'\'': return 60;
    case u'-': return 62;
    default: return -1;
    }
}

// A character outside numbers as it takes part in the comparison.
int sortKey(char16_t ch)
{
    const char16_t lower = toLowerChar(ch);
    const int weight = punctuationWeight(lower);
    return weight >= 0 ? weight : lower;
}

}  // namespace

bool isAsciiDigit(char16_t ch)
{
    return ch >= u'0' && ch <= u'9';
}

bool isSortPunctuation(char16_t ch)
{
    return punctuationWeight(ch) >= 0;
}

int skipLeadingZeros(const char16_t* text, int index, int end, int& zeroCount)
{
    int k = index;
    while (k < end && text[k] == u'0')
        ++k;
    if (k < end && isAsciiDigit(text[k])) {
        zeroCount = k - index;
        return k;
    }
    zeroCount = k - index - 1;
    return k - 1;
}

int naturalCompare(int lengthA, const char16_t* a, int lengthB, const char16_t* b)
{
    int i = 0;
    int j = 0;
    bool inNumber = false;
    int firstDigitDifference = 0;
    int zeroDifference = 0;
    int za = 0;
    int zb = 0;
    int totalZerosA = 0;
    int totalZerosB = 0;

    if (lengthA >= 1) {
        while (j < lengthB) {
            int ca = a[i];
            int cb = b[j];
            const bool digitA = isAsciiDigit(a[i]);
            const bool digitB = isAsciiDigit(b[j]);
            if (!inNumber && digitA) {
                i = skipLeadingZeros(a, i, lengthA, za);
                ca = a[i];
                totalZerosA += za;
            }
            if (!inNumber && digitB) {
                j = skipLeadingZeros(b, j, lengthB, zb);
                cb = b[j];
                totalZerosB += zb;
            }
            if (!digitA)
                ca = sortKey(a[i]);
            if (!digitB)
                cb = sortKey(b[j]);

            if (!inNumber) {
                if (digitA && digitB) {
                    inNumber = true;
                    firstDigitDifference = ca - cb;
                    zeroDifference = zb - za;
                } else if (ca != cb) {
                    return ca - cb;
                }
            } else if (digitA && digitB) {
                if (firstDigitDifference == 0)
                    firstDigitDifference = ca - cb;
            } else if (digitA) {
                return 1;  // a's number is longer
            } else if (digitB) {
                return -1;
            } else {
                // Both numbers ended at the same length.
                if (firstDigitDifference != 0)
                    return firstDigitDifference;
                if (zeroDifference != 0)
                    return zeroDifference;
                if (ca != cb)
                    return ca - cb;
                inNumber = false;
            }
            ++i;
            ++j;
            if (i >= lengthA)
                break;
        }
    }

    // Lengths without the leading zeros skipped.
    const int effectiveA = lengthA - totalZerosA;
    const int effectiveB = lengthB - totalZerosB;
    if (inNumber) {
        // i lies inside a exactly when a has more left, and j inside b likewise.
        if (effectiveB < effectiveA && i < lengthA && isAsciiDigit(a[i]))
            return 1;
        if (effectiveA < effectiveB && j < lengthB && isAsciiDigit(b[j]))
            return -1;
        if (firstDigitDifference != 0)
            return firstDigitDifference;
        if (zb - za != 0)
            return zb - za;
    }
    return effectiveA - effectiveB;
}

}  // namespace druvex
