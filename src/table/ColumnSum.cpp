#include "table/ColumnSum.h"

#include "table/NumberText.h"
#include "text/StringHelpers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>
#include <thread>
#include <vector>

namespace rasmik {

namespace {

// Below this many rows a second thread costs more than it saves.
constexpr int ThreadedRows = 200000;
// The cells of a column lie a line apart in the table's bytes, at no steady
// stride: their bytes are asked for this many rows ahead.
constexpr int PrefetchAhead = 32;

} // namespace

namespace {

// The value of one cell: ParseFloatDef on its ASCII number text.
class CellReader {
public:
    explicit CellReader(TextEncoding held) : held_(held) { }
    double operator()(std::string_view cell)
    {
        std::string_view ascii;
        return AsciiNumberCandidate(cell, held_, buffer_, ascii) ? ParseFloatDef(ascii, 0) : 0;
    }

private:
    TextEncoding held_;
    std::string buffer_;
};

} // namespace

double SumCells(const CoreGrid& grid, const std::vector<int>& rows, int firstCol, int lastCol)
{
    double total = 0;
    CellReader read(grid.Encoding());
    firstCol = std::max(firstCol, 0);
    lastCol = std::min(lastCol, grid.ColCount() - 1);
    for (const int r : rows)
        for (int c = firstCol; c <= lastCol; ++c)
            total += read(grid.Cell(c, r));
    return total;
}

double SumColumn(const CoreGrid& grid, int col)
{
    double total = 0;
    if (col < 0 || col >= grid.ColCount())
        return total;
    const int rows = grid.RowCount();
    if (rows < ThreadedRows || std::thread::hardware_concurrency() < 2) {
        CellReader read(grid.Encoding());
        for (int r = 0; r < rows; ++r) {
            if (r + PrefetchAhead < rows)
                __builtin_prefetch(grid.Cell(col, r + PrefetchAhead).data());
            total += read(grid.Cell(col, r));
        }
        return total;
    }
    // The other thread reads the second half of the cells while this one
    // reads the first; the values are then added in row order, so that the
    // total is the same to the last bit as one pass would make it.
    const int mid = rows / 2;
    std::vector<double, LargeAllocator<double>> values(static_cast<std::size_t>(rows - mid));
    // Everything the other thread reads is its own copy: a reference into
    // this thread's stack shares a cache line with the running total, and
    // each store to it would pull that line back and forth.
    auto parse = [&grid, col, mid, rows, out = values.data()] {
        CellReader read(grid.Encoding());
        for (int r = mid; r < rows; ++r) {
            if (r + PrefetchAhead < rows)
                __builtin_prefetch(grid.Cell(col, r + PrefetchAhead).data());
            out[r - mid] = read(grid.Cell(col, r));
        }
    };
    std::jthread worker;
    try {
        worker = std::jthread(parse);
    } catch (const std::system_error&) {
        parse();
    }
    CellReader read(grid.Encoding());
    for (int r = 0; r < mid; ++r) {
        __builtin_prefetch(grid.Cell(col, r + PrefetchAhead).data());
        total += read(grid.Cell(col, r));
    }
    if (worker.joinable())
        worker.join();
    for (const double v : values)
        total += v;
    return total;
}

std::string FormatGroupedNumber(double x)
{
    if (std::isnan(x))
        return "NAN";
    if (std::isinf(x))
        return x < 0 ? "-INF" : "INF";

    // 15 significant digits, correctly rounded: d.dddddddddddddde±X.
    char sci[40];
    const auto res = std::to_chars(sci, sci + sizeof sci, std::fabs(x), std::chars_format::scientific, 14);
    const std::string_view text(sci, static_cast<std::size_t>(res.ptr - sci));
    const std::size_t ePos = text.find('e');
    std::string digits;
    for (const char ch : text.substr(0, ePos))
        if (ch != '.')
            digits.push_back(ch);
    const int exponent = std::atoi(std::string(text.substr(ePos + 1)).c_str());

    // The value is 0.digits x 10^(exponent + 1): place the point, padding
    // with zeros on either side, and keep the digits up to the second decimal.
    const int pointAt = exponent + 1; // digits before the point
    std::string intPart;
    std::string frac;
    for (int k = 0; k < pointAt; ++k)
        intPart.push_back(k < static_cast<int>(digits.size()) ? digits[static_cast<std::size_t>(k)] : '0');
    for (int k = pointAt; k < pointAt + 3; ++k)
        frac.push_back(k >= 0 && k < static_cast<int>(digits.size()) ? digits[static_cast<std::size_t>(k)] : '0');
    // Third decimal decides, halves away from zero (the 15-digit text is the
    // value as the user reads it, so 1.005 becomes 1.01).
    const bool up = frac[2] >= '5';
    frac.resize(2);
    if (intPart.empty())
        intPart.push_back('0');
    if (up) {
        std::string all = intPart + frac;
        int k = static_cast<int>(all.size()) - 1;
        while (k >= 0 && all[static_cast<std::size_t>(k)] == '9')
            all[static_cast<std::size_t>(k--)] = '0';
        if (k >= 0)
            ++all[static_cast<std::size_t>(k)];
        else
            all.insert(all.begin(), '1');
        intPart = all.substr(0, all.size() - 2);
        frac = all.substr(all.size() - 2);
    }
    while (!frac.empty() && frac.back() == '0')
        frac.pop_back();
    const std::size_t nonZero = intPart.find_first_not_of('0');
    if (nonZero == std::string::npos)
        intPart.assign(1, '0');
    else
        intPart.erase(0, nonZero);

    std::string out;
    const bool negative = std::signbit(x) && !(intPart == "0" && frac.empty());
    if (negative)
        out.push_back('-');
    const std::size_t n = intPart.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0)
            out.push_back(',');
        out.push_back(intPart[i]);
    }
    if (!frac.empty()) {
        out.push_back('.');
        out += frac;
    }
    return out;
}

} // namespace rasmik
