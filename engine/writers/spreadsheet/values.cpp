#include "writers/spreadsheet/values.h"

#include <charconv>
#include <string>

namespace foli {
namespace {

// More significant digits than a double keeps: account numbers and the
// like, which must not be rounded.
constexpr int kMaxDigits = 15;

constexpr std::string_view kSpaces[] = {" ", "\t", "\xC2\xA0", "\xE2\x80\x89", "\xE2\x80\xAF"};
constexpr std::string_view kMinus[] = {"-", "\xE2\x88\x92", "\xE2\x80\x93"};  // hyphen, minus sign, en dash
constexpr std::string_view kCurrencies[] = {"US$", "$", "\xE2\x82\xAC", "\xC2\xA3", "\xC2\xA5", "\xE2\x82\xB9",
                                            "\xE2\x82\xA9"};  // $ € £ ¥ ₹ ₩

bool take_prefix(std::string_view& text, std::string_view prefix) {
    if (text.substr(0, prefix.size()) != prefix) return false;
    text.remove_prefix(prefix.size());
    return true;
}

bool take_suffix(std::string_view& text, std::string_view suffix) {
    if (text.size() < suffix.size() || text.substr(text.size() - suffix.size()) != suffix) return false;
    text.remove_suffix(suffix.size());
    return true;
}

// Removes spaces at both ends; true when there were any at the front.
bool trim(std::string_view& text) {
    bool leading = false;
    for (bool again = true; again;) {
        again = false;
        for (std::string_view space : kSpaces) {
            if (take_prefix(text, space)) again = leading = true;
            if (take_suffix(text, space)) again = true;
        }
    }
    return leading;
}

bool take_any_prefix(std::string_view& text, const std::string_view* options, size_t count, std::string* which) {
    for (size_t i = 0; i < count; ++i)
        if (take_prefix(text, options[i])) {
            if (which != nullptr) *which = std::string(options[i]);
            return true;
        }
    return false;
}

bool take_any_suffix(std::string_view& text, const std::string_view* options, size_t count, std::string* which) {
    for (size_t i = 0; i < count; ++i)
        if (take_suffix(text, options[i])) {
            if (which != nullptr) *which = std::string(options[i]);
            return true;
        }
    return false;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

struct Decimal {
    std::string plain;  // digits and a decimal point, for the conversion
    bool grouped = false;  // thousands separated by commas
    int decimals = 0;
};

// "1,234.50", "1234.5", ".5": digits in groups of three or not at all,
// and decimals after a point. Codes with a leading zero are no number.
bool parse_decimal(std::string_view text, Decimal& out) {
    size_t i = 0;
    int digits = 0;
    size_t group_start = 0;
    bool first_group = true;
    while (i < text.size() && (is_digit(text[i]) || text[i] == ',')) {
        if (text[i] == ',') {
            size_t length = i - group_start;
            if ((first_group ? (length < 1 || length > 3) : length != 3)) return false;
            out.grouped = true;
            first_group = false;
            group_start = i + 1;
        } else {
            out.plain += text[i];
            ++digits;
        }
        ++i;
    }
    if (out.grouped && i - group_start != 3) return false;
    const size_t integer_digits = out.plain.size();
    if (integer_digits > 1 && out.plain[0] == '0' && !out.grouped) return false;
    if (i < text.size() && text[i] == '.') {
        out.plain += '.';
        ++i;
        while (i < text.size() && is_digit(text[i])) {
            out.plain += text[i++];
            ++out.decimals;
            ++digits;
        }
        if (out.decimals == 0) return false;
    }
    return i == text.size() && digits > 0 && digits <= kMaxDigits;
}

std::string quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

int days_in_month(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

bool valid_date(int year, int month, int day) {
    return year >= 1900 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 && day <= days_in_month(year, month);
}

// Reads a number of `min_digits` to `max_digits` digits at `pos`.
bool read_number(std::string_view text, size_t& pos, int min_digits, int max_digits, int& value) {
    int digits = 0;
    value = 0;
    while (pos < text.size() && is_digit(text[pos]) && digits < max_digits) {
        value = value * 10 + (text[pos++] - '0');
        ++digits;
    }
    return digits >= min_digits;
}

struct DateParts {
    int first = 0, second = 0, year = 0;
    bool padded = false;
    char separator = 0;
};

// "05/31/2019", "31.05.2019": two numbers of one or two digits and a year.
bool parse_numeric_date(std::string_view text, DateParts& parts) {
    size_t pos = 0;
    size_t before = pos;
    if (!read_number(text, pos, 1, 2, parts.first)) return false;
    parts.padded = pos - before == 2;
    if (pos >= text.size() || (text[pos] != '/' && text[pos] != '.')) return false;
    parts.separator = text[pos++];
    before = pos;
    if (!read_number(text, pos, 1, 2, parts.second)) return false;
    parts.padded = parts.padded && pos - before == 2;
    if (pos >= text.size() || text[pos++] != parts.separator) return false;
    if (!read_number(text, pos, 4, 4, parts.year)) return false;
    return pos == text.size();
}

bool parse_iso_date(std::string_view text, SheetValue& value) {
    size_t pos = 0;
    int year, month, day;
    if (!read_number(text, pos, 4, 4, year) || pos >= text.size() || text[pos++] != '-') return false;
    if (!read_number(text, pos, 2, 2, month) || pos >= text.size() || text[pos++] != '-') return false;
    if (!read_number(text, pos, 2, 2, day) || pos != text.size() || !valid_date(year, month, day)) return false;
    value.kind = SheetValue::Kind::Date;
    value.year = year;
    value.month = month;
    value.day = day;
    value.format = "yyyy-mm-dd";
    return true;
}

bool parse_date(std::string_view text, DateOrder order, SheetValue& value) {
    if (parse_iso_date(text, value)) return true;
    DateParts parts;
    if (!parse_numeric_date(text, parts)) return false;
    // Dates with points are written day first.
    if (parts.separator == '.') order = DateOrder::DayFirst;
    if (order == DateOrder::Unknown) return false;
    const bool month_first = order == DateOrder::MonthFirst;
    const int month = month_first ? parts.first : parts.second;
    const int day = month_first ? parts.second : parts.first;
    if (!valid_date(parts.year, month, day)) return false;
    value.kind = SheetValue::Kind::Date;
    value.year = parts.year;
    value.month = month;
    value.day = day;
    std::string m = parts.padded ? "mm" : "m", d = parts.padded ? "dd" : "d";
    std::string separator(1, parts.separator);
    value.format = month_first ? m + separator + d + separator + "yyyy" : d + separator + m + separator + "yyyy";
    return true;
}

struct NumberLook {
    bool parentheses = false, minus = false, trailing_minus = false, plus = false, percent = false;
    std::string currency;
    bool currency_after = false, currency_spaced = false, percent_spaced = false;
};

std::string number_format(const Decimal& decimal, const NumberLook& look) {
    const bool general = !decimal.grouped && decimal.decimals == 0 && !look.percent && look.currency.empty() &&
                         !look.parentheses && !look.trailing_minus && !look.plus;
    if (general) return "";
    std::string base = decimal.grouped ? "#,##0" : "0";
    if (decimal.decimals > 0) base += "." + std::string(static_cast<size_t>(decimal.decimals), '0');
    if (look.percent) base += look.percent_spaced ? " %" : "%";
    if (!look.currency.empty()) {
        std::string symbol = quoted(look.currency), gap = look.currency_spaced ? " " : "";
        base = look.currency_after ? base + gap + symbol : symbol + gap + base;
    }
    if (look.parentheses) return base + ";(" + base + ")";
    if (look.trailing_minus) return base + ";" + base + "-";
    if (look.plus) return "+" + base + ";-" + base + ";" + base;
    return base;
}

bool parse_number(std::string_view text, SheetValue& value) {
    NumberLook look;
    if (text.size() >= 2 && text.front() == '(' && text.back() == ')') {
        look.parentheses = true;
        text = text.substr(1, text.size() - 2);
        trim(text);
    }
    constexpr size_t currencies = sizeof kCurrencies / sizeof kCurrencies[0];
    constexpr size_t minus_signs = sizeof kMinus / sizeof kMinus[0];
    auto take_currency_prefix = [&] {
        if (!look.currency.empty() || !take_any_prefix(text, kCurrencies, currencies, &look.currency)) return;
        look.currency_spaced = trim(text);
    };
    take_currency_prefix();
    if (!look.parentheses) {
        if (take_any_prefix(text, kMinus, minus_signs, nullptr)) look.minus = true;
        else if (take_prefix(text, "+")) look.plus = true;
    }
    take_currency_prefix();
    if (take_suffix(text, "%")) {
        look.percent = true;
        size_t length = text.size();
        trim(text);
        look.percent_spaced = text.size() != length;
    }
    if (look.currency.empty() && take_any_suffix(text, kCurrencies, currencies, &look.currency)) {
        look.currency_after = true;
        size_t length = text.size();
        trim(text);
        look.currency_spaced = text.size() != length;
    }
    if (!look.parentheses && !look.minus && !look.plus && take_any_suffix(text, kMinus, minus_signs, nullptr))
        look.trailing_minus = true;
    Decimal decimal;
    if (!parse_decimal(text, decimal)) return false;
    double number = 0;
    auto [end, error] = std::from_chars(decimal.plain.data(), decimal.plain.data() + decimal.plain.size(), number);
    if (error != std::errc() || end != decimal.plain.data() + decimal.plain.size()) return false;
    if (look.minus || look.parentheses || look.trailing_minus) number = -number;
    if (look.percent) number /= 100;
    value.kind = SheetValue::Kind::Number;
    value.number = number;
    value.format = number_format(decimal, look);
    return true;
}

}  // namespace

SheetValue parse_sheet_value(std::string_view text, DateOrder order) {
    SheetValue value;
    std::string_view core = text;
    trim(core);
    if (core.empty()) return value;
    value.text = std::string(core);
    if (parse_date(core, order, value) || parse_number(core, value)) return value;
    value.kind = SheetValue::Kind::Text;
    value.format.clear();
    return value;
}

DateOrder column_date_order(const std::vector<std::string>& texts) {
    bool month_first = false, day_first = false;
    for (const std::string& text : texts) {
        std::string_view core = text;
        trim(core);
        DateParts parts;
        if (!parse_numeric_date(core, parts) || parts.separator != '/') continue;
        if (parts.first > 12 && parts.second <= 12) day_first = true;
        if (parts.second > 12 && parts.first <= 12) month_first = true;
    }
    if (month_first == day_first) return DateOrder::Unknown;
    return month_first ? DateOrder::MonthFirst : DateOrder::DayFirst;
}

}  // namespace foli
