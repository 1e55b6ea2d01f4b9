#include "analysis/bidi.h"

#include <fribidi.h>

namespace foli {
namespace {

bool is_right_to_left(char32_t c) {
    return (c >= 0x0590 && c <= 0x08FF) || (c >= 0xFB1D && c <= 0xFDFF) || (c >= 0xFE70 && c <= 0xFEFF) ||
           (c >= 0x10800 && c <= 0x10FFF) || (c >= 0x1E800 && c <= 0x1EFFF);
}

}  // namespace

bool has_right_to_left(const std::vector<PlacedChar>& chars) {
    for (const PlacedChar& ch : chars)
        if (is_right_to_left(ch.c)) return true;
    return false;
}

void visual_to_logical(std::vector<PlacedChar>& chars) {
    const FriBidiStrIndex length = static_cast<FriBidiStrIndex>(chars.size());
    if (length == 0) return;
    std::vector<FriBidiChar> text(chars.size());
    for (size_t i = 0; i < chars.size(); ++i) text[i] = static_cast<FriBidiChar>(chars[i].c);
    std::vector<FriBidiCharType> types(chars.size());
    fribidi_get_bidi_types(text.data(), length, types.data());
    int rtl = 0, ltr = 0;
    for (FriBidiCharType type : types) {
        rtl += FRIBIDI_IS_RTL(type) && FRIBIDI_IS_STRONG(type);
        ltr += !FRIBIDI_IS_RTL(type) && FRIBIDI_IS_STRONG(type);
    }
    // The visual order read as if it were logical: reordering it once more
    // gives the logical order back, since reordering a line reverses its
    // runs, which undoes itself.
    FriBidiParType direction = rtl >= ltr ? FRIBIDI_PAR_RTL : FRIBIDI_PAR_LTR;
    std::vector<FriBidiBracketType> brackets(chars.size());
    fribidi_get_bracket_types(text.data(), length, types.data(), brackets.data());
    std::vector<FriBidiLevel> levels(chars.size());
    if (fribidi_get_par_embedding_levels_ex(types.data(), brackets.data(), length, &direction, levels.data()) == 0)
        return;
    std::vector<FriBidiStrIndex> map(chars.size());
    for (FriBidiStrIndex i = 0; i < length; ++i) map[static_cast<size_t>(i)] = i;
    if (fribidi_reorder_line(FRIBIDI_FLAG_REORDER_NSM, types.data(), length, 0, direction, levels.data(), nullptr,
                             map.data()) == 0)
        return;
    std::vector<PlacedChar> logical;
    logical.reserve(chars.size());
    for (FriBidiStrIndex i = 0; i < length; ++i) {
        size_t source = static_cast<size_t>(map[static_cast<size_t>(i)]);
        PlacedChar ch = chars[source];
        FriBidiChar mirrored;
        if (FRIBIDI_LEVEL_IS_RTL(levels[source]) && fribidi_get_mirror_char(text[source], &mirrored))
            ch.c = static_cast<char32_t>(mirrored);
        logical.push_back(ch);
    }
    chars = std::move(logical);
}

}  // namespace foli
