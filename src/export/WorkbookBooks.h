#pragma once
// The readers of each kind of workbook behind WorkbookReader, and what they
// share: the limits, and RowCollector, which turns the cells a reader finds
// into the rows WorkbookReader hands on.

#include "export/WorkbookReader.h"
#include "export/ZipArchive.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace rasmik {

// The last rows and columns of the formats.
constexpr std::uint32_t XlsxMaxRows = 1048576;
constexpr std::uint32_t XlsxMaxColumns = 16384;
constexpr std::uint32_t XlsMaxRows = 65536;
constexpr std::uint32_t XlsMaxColumns = 256;

// What one part of a workbook may inflate to: zip's deflate packs at most
// about 1000 to 1, real sheets rarely beyond 20 to 1.
std::uint64_t InflateLimit(std::uint64_t fileSize);
// How many bytes of cell text one sheet of a file of fileSize may give: a
// few strings repeated in every cell of a small file could give terabytes.
std::uint64_t TextLimit(std::uint64_t fileSize);

FileError BookFailure(FileErrorCode code, const std::string& path, std::string subject = {}, std::string detail = {});

// Collects the cells of one row at a time and hands each row on in order,
// its cells sorted by column (a cell given twice keeps its last text).
class RowCollector {
public:
    RowCollector(const SheetRowFn& onRow, std::string path, std::uint32_t maxRows, std::uint32_t maxColumns,
                 std::uint64_t textLimit);

    // Starts row (from 0). A row below the last one fails as WorkbookDamaged,
    // one past the format's last row as CellOutOfRange (reference names the
    // cell in the file's own words; empty: made from row and column).
    bool beginRow(std::uint64_t row, std::string_view reference = {});
    // A cell of the current row; an empty text adds nothing.
    bool addCell(std::uint64_t column, std::string_view text, std::string_view reference = {});
    // The row is done (also done by the next beginRow and by finish).
    bool endRow();
    bool finish();

    bool failed() const { return !status_.ok(); }
    const FileStatus& status() const { return status_; }
    void fail(FileStatus status);
    const SheetExtent& extent() const { return extent_; }
    std::uint64_t currentRow() const { return row_; }

private:
    bool outOfRange(std::uint64_t row, std::uint64_t column, std::string_view reference);

    struct Pending {
        std::uint32_t column;
        std::uint32_t offset;
        std::uint32_t size;
    };

    const SheetRowFn& onRow_;
    std::string path_;
    std::uint32_t maxRows_;
    std::uint32_t maxColumns_;
    std::uint64_t textLimit_;
    std::uint64_t row_ = 0;
    bool inRow_ = false;
    bool started_ = false;
    bool sorted_ = true;
    std::string text_;
    std::vector<Pending> pending_;
    std::vector<SheetCell> cells_;
    SheetExtent extent_;
    FileStatus status_;
};

// One kind of workbook, opened.
class WorkbookBook {
public:
    virtual ~WorkbookBook() = default;
    virtual WorkbookKind kind() const = 0;
    virtual FileStatus readSheet(std::size_t index, RowCollector& rows, const ProgressFn& progress) = 0;
    std::vector<std::string> sheetNames;
    std::uint64_t fileSize = 0;
};

// Each opens the workbook in zip or at path, or fails as WorkbookReader::open
// says.
FileStatus OpenXlsxBook(std::unique_ptr<ZipArchive> zip, const std::string& path, std::unique_ptr<WorkbookBook>& out);
FileStatus OpenOdsBook(std::unique_ptr<ZipArchive> zip, const std::string& path, std::unique_ptr<WorkbookBook>& out);
FileStatus OpenXlsBook(const std::string& path, std::unique_ptr<WorkbookBook>& out);

// Streams a part of zip through parser-like handler: feeds every piece to
// feed (false stops), reports progress, and turns the outcome into a
// FileStatus naming the part.
class XmlParser;
FileStatus ParseZipPart(const ZipArchive& zip, std::uint64_t index, const std::string& path, XmlParser& parser,
                        const ProgressFn& progress = {}, std::uint64_t progressBase = 0,
                        std::uint64_t progressTotal = 0);

} // namespace rasmik
