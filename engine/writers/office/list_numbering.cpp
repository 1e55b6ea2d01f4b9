#include "writers/office/list_numbering.h"

#include <algorithm>
#include <cctype>

namespace foli::office {
namespace {

bool is_ascii_alpha(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }
bool is_ascii_digit(char c) { return c >= '0' && c <= '9'; }

long roman_value(const std::string& text) {
    auto value = [](char c) {
        switch (std::tolower(static_cast<unsigned char>(c))) {
        case 'i': return 1;
        case 'v': return 5;
        case 'x': return 10;
        case 'l': return 50;
        case 'c': return 100;
        case 'd': return 500;
        case 'm': return 1000;
        }
        return 0;
    };
    long total = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        int current = value(text[i]);
        if (current == 0) return 0;
        int next = i + 1 < text.size() ? value(text[i + 1]) : 0;
        total += current < next ? -current : current;
    }
    return total;
}

std::string trimmed(const std::string& text) {
    size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

}  // namespace

std::string ListNumbering::kind() const {
    std::string key = word_number_format(format);
    key += '|';
    key += format == NumberFormat::Bullet ? bullet : prefix + "%" + suffix;
    return key;
}

ListNumbering list_numbering(const std::string& printed, bool ordered) {
    ListNumbering numbering;
    std::string marker = trimmed(printed);
    if (!ordered) {
        numbering.format = NumberFormat::Bullet;
        numbering.suffix.clear();
        // A bullet of one character keeps its look; anything else (a
        // dash followed by more, an unknown symbol) becomes a plain one.
        bool one_character = !marker.empty() && marker.size() <= 4 &&
                             std::count_if(marker.begin(), marker.end(), [](char c) {
                                 return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
                             }) == 1;
        numbering.bullet = one_character && !is_ascii_alpha(marker[0]) && !is_ascii_digit(marker[0]) ? marker : "•";
        if (numbering.bullet == "*" || numbering.bullet == "·") numbering.bullet = "•";
        return numbering;
    }
    size_t begin = 0;
    if (!marker.empty() && marker[0] == '(') {
        numbering.prefix = "(";
        begin = 1;
    }
    size_t end = begin;
    while (end < marker.size() && std::isalnum(static_cast<unsigned char>(marker[end]))) ++end;
    std::string core = marker.substr(begin, end - begin);
    std::string rest = marker.substr(end);
    numbering.suffix = rest == ")" || rest == "." ? rest : (rest.empty() ? "" : rest.substr(0, 1));
    if (numbering.suffix != "." && numbering.suffix != ")") numbering.suffix = numbering.prefix.empty() ? "." : ")";
    numbering.format = NumberFormat::Decimal;
    if (core.empty() || core.size() > 9) return numbering;
    if (std::all_of(core.begin(), core.end(), is_ascii_digit)) {
        numbering.start = std::stol(core);
        return numbering;
    }
    bool lower = std::islower(static_cast<unsigned char>(core[0])) != 0;
    long roman = roman_value(core);
    bool single_letter = core.size() == 1;
    if (roman > 0 && (!single_letter || core == "i" || core == "I")) {
        numbering.format = lower ? NumberFormat::LowerRoman : NumberFormat::UpperRoman;
        numbering.start = roman;
    } else if (single_letter && is_ascii_alpha(core[0])) {
        numbering.format = lower ? NumberFormat::LowerLetter : NumberFormat::UpperLetter;
        numbering.start = std::tolower(static_cast<unsigned char>(core[0])) - 'a' + 1;
    }
    return numbering;
}

const char* word_number_format(NumberFormat format) {
    switch (format) {
    case NumberFormat::Decimal: return "decimal";
    case NumberFormat::LowerLetter: return "lowerLetter";
    case NumberFormat::UpperLetter: return "upperLetter";
    case NumberFormat::LowerRoman: return "lowerRoman";
    case NumberFormat::UpperRoman: return "upperRoman";
    case NumberFormat::Bullet: break;
    }
    return "bullet";
}

const char* default_bullet(int level) {
    static const char* const kBullets[] = {"•", "◦", "▪"};
    return kBullets[(level < 0 ? 0 : level) % 3];
}

}  // namespace foli::office
