#pragma once
// The text a spreadsheet program shows for a number in a cell: General, the
// common fixed and percent formats, dates and times in ISO order.

#include <cstdint>
#include <string>
#include <string_view>

namespace rasmik {

struct NumberFormat {
    enum class Kind : std::uint8_t { General, Number, Percent, DateTime, Text };
    Kind kind = Kind::General;
    std::uint8_t decimals = 0;    // Number, Percent: digits after the point, at most
    std::uint8_t minDecimals = 0; // ...and at least (trailing zeros kept up to here)
    bool grouping = false;        // thousands separated by ','
    bool date = false;            // DateTime: shows the day
    bool time = false;            // ...the time of day
    bool seconds = false;         // ...with seconds
    bool elapsed = false;         // ...hours counted past 24 ([h]:mm)
};

// A format code of a workbook's styles ("#,##0.00", "yyyy/mm/dd h:mm",
// "0.0%;[Red]-0.0%"), by its first section. Codes this reader does not show
// as such (fractions, scientific, literal text and currency signs) read as
// General or as the plain number they hold.
NumberFormat NumberFormatOfCode(std::string_view code);
// The built-in formats of .xlsx by their number (0 General, 14 a date, ...).
NumberFormat BuiltInNumberFormat(int id);

// The shortest text that reads back as value, at most 15 significant
// digits: "0.1", "1234567", "-2.5", "1E-07", "1.5E+20".
void AppendGeneralNumber(std::string& out, double value);
// value in format; a date format takes value as a serial day count from
// 1900 (Excel's, with its 29 February 1900) or from 1904: "2024-03-20",
// "2024-03-20 14:30", "14:30:05". A value no date can be shows as General.
void AppendFormattedNumber(std::string& out, double value, const NumberFormat& format, bool date1904);
// A calendar date and time of day in the same form.
void AppendDateTime(std::string& out, int year, int month, int day, int seconds, const NumberFormat& format);

// "_xHHHH_" in the strings of .xlsx stands for the character HHHH; decoded in
// place.
void DecodeXlsxEscapes(std::string& text, std::size_t from = 0);

} // namespace rasmik
