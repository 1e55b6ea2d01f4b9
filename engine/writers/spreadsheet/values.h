// Cell texts as spreadsheet values: numbers as numbers with the number
// format that keeps their printed look, unambiguous dates as dates, and
// everything else (codes, ranges, phone numbers, numbers with leading
// zeros) as the text it is.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace foli {

struct SheetValue {
    enum class Kind { Empty, Text, Number, Date };
    Kind kind = Kind::Empty;
    std::string text;  // the cell's text as printed
    double number = 0;  // Number
    int year = 0, month = 0, day = 0;  // Date
    std::string format;  // number format code for Number and Date; empty for the general format
};

// How a column writes dates with slashes: month first ("05/31/2019"), day
// first ("31/05/2019"), or not known, when such dates stay text.
enum class DateOrder { Unknown, MonthFirst, DayFirst };

// The value of a cell's text. Text with a letter, a leading zero, more
// than fifteen digits or an inner dash stays text.
SheetValue parse_sheet_value(std::string_view text, DateOrder order = DateOrder::Unknown);

// The order of a column's slash dates: the one its dates agree on where a
// day above 12 tells. Unknown without such a date or when they disagree.
DateOrder column_date_order(const std::vector<std::string>& texts);

}  // namespace foli
