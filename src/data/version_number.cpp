#include "data/version_number.h"

#include <algorithm>
#include <limits>

namespace druvex {

VersionNumber VersionNumber::fromText(std::u16string_view text)
{
    VersionNumber number;
    number.parse(text);
    return number;
}

VersionNumber VersionNumber::fromParts(std::int32_t major, std::int32_t minor, std::int32_t build,
                                       std::int32_t fourth)
{
    VersionNumber number;
    number.parts_ = {major, minor, build};
    if (fourth != 0)
        number.parts_.push_back(fourth);
    return number;
}

bool VersionNumber::parse(std::u16string_view text)
{
    if (text.empty())
        return false;
    for (const char16_t ch : text) {
        if (ch != u'.' && (ch < u'0' || ch > u'9'))
            return false;
    }
    parts_.clear();
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    std::int64_t value = 0;
    bool inPiece = false;
    for (const char16_t ch : text) {
        if (ch == u'.') {
            if (inPiece)
                parts_.push_back(static_cast<std::int32_t>(value));
            value = 0;
            inPiece = false;
            continue;
        }
        inPiece = true;
        value = value * 10 + (ch - u'0');
        if (value > kMax)
            value = kMax;
    }
    if (inPiece)
        parts_.push_back(static_cast<std::int32_t>(value));
    return true;
}

std::int32_t VersionNumber::part(int index) const
{
    if (index < 0 || index >= partCount())
        return 0;
    return parts_[static_cast<std::size_t>(index)];
}

bool VersionNumber::isNonZero() const
{
    for (const std::int32_t part : parts_) {
        if (part != 0)
            return true;
    }
    return false;
}

int VersionNumber::compare(const VersionNumber& a, const VersionNumber& b)
{
    const std::size_t common = std::min(a.parts_.size(), b.parts_.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (a.parts_[i] != b.parts_[i])
            return a.parts_[i] < b.parts_[i] ? -1 : 1;
    }
    for (std::size_t i = common; i < a.parts_.size(); ++i) {
        if (a.parts_[i] != 0)
            return 1;
    }
    for (std::size_t i = common; i < b.parts_.size(); ++i) {
        if (b.parts_[i] != 0)
            return -1;
    }
    return 0;
}

SharedString VersionNumber::toText() const
{
    SharedString text;
    for (const std::int32_t part : parts_) {
        SharedString piece;
        piece.format(u"%d.", part);
        text += piece;
    }
    text.trimRightChar(u'.');
    return text;
}

SharedString formatVersionPart(const VersionNumber& number, int index)
{
    if (index < 0 || index >= number.partCount())
        return {};
    SharedString text;
    text.format(u"%d", number.part(index));
    return text;
}

}  // namespace druvex
