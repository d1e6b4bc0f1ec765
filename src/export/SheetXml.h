#pragma once
// The XML of the workbook's parts: the small fixed ones whole, and the
// worksheet appended cell by cell into one buffer that the caller drains
// (no formatted printing, no allocation for a cell).

#include "text/TextEncoding.h"

#include <array>
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace rasmik {

struct SheetLook;

// Why name (UTF-8) cannot name a sheet by Excel's rules (in the words the
// export's messages have always shown); empty when it can.
std::string SheetNameProblem(std::string_view name);

// The package's small parts for a workbook of one sheet named sheetName (UTF-8).
std::string ContentTypesXml();
std::string PackageRelsXml();
std::string AppPropertiesXml(std::string_view sheetName);
std::string CorePropertiesXml(std::time_t created);
std::string WorkbookXml(std::string_view sheetName);
std::string WorkbookRelsXml();
std::string StylesXml();

// A field's characters in UTF-8 as a cell holds them, without the markup
// escapes: NUL dropped, a literal "_xHHHH_" with its underscore escaped, what
// XML cannot hold as U+FFFD. For the sheet's name.
std::string SheetTextUtf8(std::string_view field, TextEncoding held);

// Whether a field holds anything a cell shows (NUL is dropped).
bool FieldHasText(std::string_view field);

// xl/worksheets/sheet1.xml: every cell an inline string in the text style.
class SheetXml {
public:
    explicit SheetXml(TextEncoding held);
    ~SheetXml();
    SheetXml(const SheetXml&) = delete;
    SheetXml& operator=(const SheetXml&) = delete;

    // Up to <sheetData>: the used range A1 to (lastCol, lastRow), 0-based,
    // the view and the columns.
    void head(std::size_t lastCol, std::size_t lastRow, const SheetLook& look);
    void beginRow(std::size_t row);
    // A cell of the row begun, columns rising; field in the held form, not empty.
    void cell(std::size_t col, std::string_view field);
    // An empty cell in the text style (it fixes the used range).
    void blank(std::size_t col);
    void endRow();
    // From </sheetData> to the end.
    void tail();

    std::string_view bytes() const { return {data_.get(), size_}; }
    std::size_t size() const { return size_; }
    void clear() { size_ = 0; }

    // The <row> and <c> elements written.
    std::uint64_t rowsWritten() const { return rows_; }
    std::uint64_t cellsWritten() const { return cells_; }

private:
    char* room(std::size_t n);
    void put(std::string_view s);
    void cellStart(std::size_t col);
    char* text(char* out, std::string_view field) const;

    TextEncoding held_;
    std::unique_ptr<char[]> data_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    // "A", "B", ... "XFD" of each column, made on first use.
    std::vector<std::array<char, 4>> letters_;
    char rowDigits_[12] = {};
    std::size_t rowDigitCount_ = 0;
    std::uint64_t rows_ = 0;
    std::uint64_t cells_ = 0;
};

} // namespace rasmik
