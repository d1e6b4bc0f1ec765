#pragma once
// The one error of file, export and print operations: what went wrong, the
// system's error number where it has one, and the file. Operations report
// it through FileStatus; the window turns it into its Persian message and the
// command line into DescribeFileError's English line.

#include <cstdint>
#include <string>
#include <utility>

namespace rasmik {

enum class FileErrorCode {
    None,
    Cancelled,      // the user stopped it; nothing to tell
    NoFileName,     // an empty path
    NotFound,       // the file or a folder on its path is missing
    AccessDenied,   // no permission to read, write or create it
    Locked,         // another program holds a lock on it
    ReadOnly,       // the file (or its file system) is read-only
    NotRegularFile, // a folder, device or pipe
    BackupIsTarget, // the backup name is the file itself
    NotRestored,    // written in place, the write failed and the old content could not be put back
    TooLarge,       // beyond what a table or a file may hold
    NoSpace,        // the disk or the quota is full
    NoMemory,
    System, // any other system error: see sysErrno, else detail
    // The table holds a character the chosen encoding cannot: the character
    // codePoint, in the cell at row and column (as the status bar counts them:
    // row 0 is the header row, columns from 1), named subject when the column
    // has a name; column 0: in line row of the header block.
    NotInEncoding,
    // A cell (row, column, subject as above) holds a TAB, which a
    // tab-separated file written over a fixed-width table cannot hold.
    TabInCell,
    // A cell (as above) holds a TAB, CR or LF, which a tab-separated file
    // cannot hold; a comma-separated one can.
    BreakInCell,
    // The table's text was cut off by a NUL at byte count of the file's limit
    // bytes: writing over the file would lose the rest.
    TextCut,
    // Another program changed the table's file since it was read or last
    // saved: writing over it would lose that, so nothing was written.
    ChangedOnDisk,
    // Workbook export.
    EmptyTable,        // nothing to write
    ExportSwitchedOff, // "NoSheet" = 1 in AppOptions.txt
    TooManyRows,       // count rows
    TooManyColumns,    // count columns
    CellTooLong,       // the cell subject holds more than a cell may
    BadSheetName,      // the sheet name subject is empty or refused (detail)
    Incomplete,        // the written file does not read back whole (detail)
    Library,           // the library's reason in detail, about subject if any
    // Workbook reading.
    NotWorkbook,         // neither an .xlsx, .ods nor .xls workbook
    WorkbookKindNotRead, // a workbook of a kind that is not read (subject: ".xlsb")
    PasswordProtected,   // the workbook is encrypted with a password
    WorkbookDamaged,     // broken container or XML: detail says what, subject names the part
    UnpacksTooLarge,     // the part subject inflates past limit bytes (a zip bomb)
    XmlDeclarations,     // the part subject holds a DTD (entity declarations are never read)
    CellOutOfRange,      // the cell reference subject lies outside the sheet's limits
    SheetNotFound,       // no sheet named or numbered subject
    OverWorkbook,        // a table read from this workbook is never written over it as text
    RecordDamaged,       // a recovery record that does not read back whole
};

struct FileError {
    FileErrorCode code = FileErrorCode::None;
    int sysErrno = 0;        // 0 when the code says it all
    std::string path;        // the file concerned
    std::string detail;      // a library's own words (UTF-8)
    std::string subject;     // what it is about: a cell address, a sheet name, a column's name
    std::uint64_t count = 0; // for the limits: what the table has...
    std::uint64_t limit = 0; // ...and what the file takes
    std::int64_t row = 0;    // NotInEncoding, TabInCell: the cell
    int column = 0;
    char32_t codePoint = 0;

    FileError() = default;
    FileError(FileErrorCode c, std::string p) : code(c), path(std::move(p)) { }
};

// The code of a system error number.
FileErrorCode CodeOfErrno(int err);
// An error from a system error number.
FileError ErrnoError(int err, const std::string& path);

// Outcome of an operation: success, or the error. Default is success.
class FileStatus {
public:
    FileStatus() = default;
    FileStatus(FileError error) : error_(std::move(error)) { }
    FileStatus(FileErrorCode code, std::string path) : error_(code, std::move(path)) { }

    // A success the user should still hear about, such as a backup that
    // could not be made.
    static FileStatus okWithWarning(FileError warning)
    {
        FileStatus s;
        s.warning_ = std::move(warning);
        return s;
    }

    bool ok() const { return error_.code == FileErrorCode::None; }
    explicit operator bool() const { return ok(); }
    bool cancelled() const { return error_.code == FileErrorCode::Cancelled; }
    FileErrorCode code() const { return error_.code; }
    const FileError& error() const { return error_; }
    bool hasWarning() const { return warning_.code != FileErrorCode::None; }
    const FileError& warning() const { return warning_; }

private:
    FileError error_;
    FileError warning_;
};

// The cell of a NotInEncoding or TabInCell error in English: "row 4, column
// 2 "City"", or the line of the header block.
std::string CellPlaceText(const FileError& error);

// The reason in English for the command line and logs, without the path:
// the system's own text where there is an error number.
std::string DescribeFileError(const FileError& error);

} // namespace rasmik
