// What a list item's printed marker says about its list's numbering, for
// the formats that number lists themselves (Word's numbering part, RTF's
// list table): "3." starts decimal numbering at 3, "b)" lower-case
// letters at 2, "(iv)" lower-case roman numerals at 4, "•" a bullet.
#pragma once

#include <string>

namespace foli::office {

enum class NumberFormat { Bullet, Decimal, LowerLetter, UpperLetter, LowerRoman, UpperRoman };

struct ListNumbering {
    NumberFormat format = NumberFormat::Bullet;
    long start = 1;           // the first item's number
    std::string prefix;       // before the number: "(" or ""
    std::string suffix = "."; // after it: ".", ")" or ""
    std::string bullet;       // the bullet character for Bullet ("•", "–", "▪")

    // A key that is equal for markers numbered alike ("1." and "7.").
    std::string kind() const;
};

// `ordered` as the analysis judged the item.
ListNumbering list_numbering(const std::string& marker, bool ordered);

// Word's w:numFmt value: "bullet", "decimal", "lowerLetter", ...
const char* word_number_format(NumberFormat format);

// A bullet for the nesting level when the printed one is not known.
const char* default_bullet(int level);

}  // namespace foli::office
