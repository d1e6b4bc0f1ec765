#include "export/Workbook.h"

#include "export/ShellOpen.h"
#include "export/WorkbookCheck.h"
#include "table/Options.h"
#include "text/Cp1256.h"
#include "text/StringHelpers.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <new>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rasmik {

namespace {

const char* const ErrorTitle = "خطا در ذخیره فایل اکسل";

ExportResult Failure(const std::string& path, const std::string& reason)
{
    ExportResult r;
    r.status = ExportStatus::Failed;
    r.message = std::string(ErrorTitle) + "\n" + path + "\n" + reason;
    return r;
}

ExportResult Skipped()
{
    return {};
}

std::string SystemReason(int err)
{
    return std::error_code(err, std::generic_category()).message();
}

std::string LibraryReason(lxw_error err)
{
    const char* text = lxw_strerror(err);
    return text ? std::string(text) : std::string("libxlsxwriter error ") + std::to_string(int(err));
}

// UTF-8 of every Windows-1256 byte, built once from the code page table.
struct Utf8Byte {
    std::array<char, 3> bytes{};
    unsigned char length = 0;
};

const std::array<Utf8Byte, 256>& Utf8Table()
{
    static const std::array<Utf8Byte, 256> table = [] {
        std::array<Utf8Byte, 256> t{};
        for (int b = 0; b < 256; ++b) {
            const char32_t cp = Cp1256ToUnicodeChar(static_cast<unsigned char>(b));
            Utf8Byte& u = t[b];
            if (cp < 0x80) {
                u.bytes[0] = static_cast<char>(cp);
                u.length = 1;
            } else if (cp < 0x800) {
                u.bytes[0] = static_cast<char>(0xC0 | (cp >> 6));
                u.bytes[1] = static_cast<char>(0x80 | (cp & 0x3F));
                u.length = 2;
            } else {
                u.bytes[0] = static_cast<char>(0xE0 | (cp >> 12));
                u.bytes[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                u.bytes[2] = static_cast<char>(0x80 | (cp & 0x3F));
                u.length = 3;
            }
        }
        return t;
    }();
    return table;
}

bool IsHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// Spreadsheet readers decode "_xHHHH_" in cell text to the character HHHH
// (that is how the library keeps control characters in valid XML), so a field
// that holds such a sequence literally gets its underscore escaped as _x005F_
// to come back as typed. NUL cannot pass the library's C strings and is dropped.
void FieldToUtf8(std::string_view field, std::string& out)
{
    const auto& table = Utf8Table();
    out.clear();
    for (std::size_t i = 0; i < field.size(); ++i) {
        const unsigned char b = static_cast<unsigned char>(field[i]);
        if (b == 0)
            continue;
        if (b == '_' && i + 6 < field.size() && field[i + 1] == 'x' && IsHex(field[i + 2])
            && IsHex(field[i + 3]) && IsHex(field[i + 4]) && IsHex(field[i + 5])
            && field[i + 6] == '_') {
            out += "_x005F_";
            continue;
        }
        const Utf8Byte& u = table[b];
        out.append(u.bytes.data(), u.length);
    }
}

std::string ToUtf8(std::string_view cp1256)
{
    std::string out;
    FieldToUtf8(cp1256, out);
    return out;
}

// Number of fields of a line: a final TAB closes the last field instead of
// opening another.
std::size_t FieldCount(std::string_view line)
{
    const auto tabs = static_cast<std::size_t>(std::count(line.begin(), line.end(), '\t'));
    return tabs + ((!line.empty() && line.back() != '\t') ? 1 : 0);
}

// The temporary file beside the target that becomes the target on commit and
// is removed otherwise.
class StagedFile {
public:
    ~StagedFile()
    {
        if (!temp_.empty())
            ::unlink(temp_.c_str());
    }

    // Resolves the target, refuses a folder or a write-protected file, and
    // creates the temporary with the target's permissions. Empty on success,
    // else the reason.
    std::string Prepare(const std::string& path)
    {
        target_ = path;
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
            // Replace the file the link points to, not the link.
            if (char* real = ::realpath(path.c_str(), nullptr)) {
                target_ = real;
                std::free(real);
            }
        }
        bool haveMode = false;
        mode_t mode = 0;
        if (::stat(target_.c_str(), &st) == 0) {
            if (S_ISDIR(st.st_mode))
                return SystemReason(EISDIR);
            if (::faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0)
                return SystemReason(errno);
            haveMode = true;
            mode = st.st_mode & 07777;
        }
        const std::size_t slash = target_.rfind('/');
        const std::string folder = slash == std::string::npos ? std::string() : target_.substr(0, slash + 1);
        static std::atomic<unsigned> counter{0};
        const auto stamp = static_cast<unsigned long long>(
            std::chrono::steady_clock::now().time_since_epoch().count());
        int err = 0;
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = folder + ".~rasmik-" + std::to_string(::getpid()) + "-"
                + std::to_string(counter++) + "-" + std::to_string((stamp + attempt) % 1000000)
                + ".xlsx.tmp";
            const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd >= 0) {
                if (haveMode)
                    (void)::fchmod(fd, mode);
                ::close(fd);
                temp_ = std::move(name);
                return {};
            }
            err = errno;
            if (err != EEXIST)
                break;
        }
        return SystemReason(err);
    }

    const std::string& temp() const { return temp_; }

    // Flushes the finished temporary to disk and renames it over the target.
    std::string Commit()
    {
        const int fd = ::open(temp_.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return SystemReason(errno);
        if (::fsync(fd) != 0) {
            const int err = errno;
            ::close(fd);
            return SystemReason(err);
        }
        ::close(fd);
        if (::rename(temp_.c_str(), target_.c_str()) != 0)
            return SystemReason(errno);
        temp_.clear();
        const std::size_t slash = target_.rfind('/');
        const std::string folder = slash == std::string::npos ? std::string(".")
                                   : slash == 0              ? std::string("/")
                                                             : target_.substr(0, slash);
        const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dirFd >= 0) {
            (void)::fsync(dirFd);
            ::close(dirFd);
        }
        return {};
    }

private:
    std::string target_;
    std::string temp_;
};

// Frees a workbook that was not closed (error or cancel); closing frees it too.
struct WorkbookHolder {
    lxw_workbook* book = nullptr;
    ~WorkbookHolder()
    {
        if (book)
            lxw_workbook_free(book);
    }
    lxw_error Close()
    {
        lxw_workbook* b = book;
        book = nullptr;
        return workbook_close(b);
    }
};

template <typename Lines>
ExportResult WriteWorkbook(const Lines& lines, std::string_view sheetName, const std::string& path,
                           const ProgressFn& progress)
{
    const std::size_t rows = lines.size();
    if (rows == 0)
        return Skipped();
    if (path.empty())
        return Failure(path, "نام فایل داده نشده است.");
    if (rows > MaxSheetRows)
        return Failure(path, "جدول " + std::to_string(rows) + " سطر دارد و فایل اکسل حداکثر "
                                 + std::to_string(MaxSheetRows) + " سطر می‌پذیرد.");

    std::size_t columns = 1;
    std::uint64_t textBytes = 0;
    for (std::size_t i = 0; i < rows; ++i) {
        const std::string_view line = lines[i];
        columns = std::max(columns, FieldCount(line));
        textBytes += line.size();
    }
    if (columns > std::size_t(MaxSheetColumns))
        return Failure(path, "جدول " + std::to_string(columns) + " ستون دارد و فایل اکسل حداکثر "
                                 + std::to_string(MaxSheetColumns) + " ستون می‌پذیرد.");
    const auto lastCol = static_cast<lxw_col_t>(columns - 1);
    const auto lastRow = static_cast<lxw_row_t>(rows - 1);

    const std::string sheet = ToUtf8(sheetName);
    if (sheet.empty())
        return Failure(path, "نام برگه خالی است.");

    StagedFile staged;
    if (std::string reason = staged.Prepare(path); !reason.empty())
        return Failure(path, reason);

    const std::uint64_t cells = std::uint64_t(rows) * columns;
    lxw_workbook_options options{};
    options.constant_memory = cells > WorkbookStreamingCells ? LXW_TRUE : LXW_FALSE;
    // Zip64 only when a part could pass 4 GB: ordinary readers dislike it on
    // small files. Worst case: a control character escaped as _x0001_ takes
    // seven bytes; about 60 bytes of markup a cell.
    const std::uint64_t sheetXmlBound = textBytes * 7 + cells * 60 + std::uint64_t(rows) * 40;
    options.use_zip64 = sheetXmlBound > 0xE0000000ull ? LXW_TRUE : LXW_FALSE;

    WorkbookHolder holder;
    holder.book = workbook_new_opt(staged.temp().c_str(), &options);
    if (!holder.book)
        return Failure(path, LibraryReason(LXW_ERROR_MEMORY_MALLOC_FAILED));
    if (lxw_error err = workbook_validate_sheet_name(holder.book, sheet.c_str()); err != LXW_NO_ERROR)
        return Failure(path, "نام برگه «" + sheet + "» پذیرفته نیست: " + LibraryReason(err));
    lxw_worksheet* ws = workbook_add_worksheet(holder.book, sheet.c_str());
    if (!ws)
        return Failure(path, LibraryReason(LXW_ERROR_CREATING_TMPFILE));
    lxw_format* text = workbook_add_format(holder.book);
    if (!text)
        return Failure(path, LibraryReason(LXW_ERROR_MEMORY_MALLOC_FAILED));
    // Built-in format 49 is "@", text.
    format_set_num_format_index(text, 49);
    if (lxw_error err = worksheet_set_column(ws, 0, lastCol, LXW_DEF_COL_WIDTH, text); err != LXW_NO_ERROR)
        return Failure(path, LibraryReason(err));

    if (progress && !progress(0, rows))
        return Skipped();

    std::string cell;
    std::uint64_t rowElements = 0;
    std::uint64_t cellElements = 0;
    for (std::size_t i = 0; i < rows; ++i) {
        if (progress && i != 0 && (i & 4095) == 0 && !progress(i, rows))
            return Skipped();
        const auto row = static_cast<lxw_row_t>(i);
        std::string_view rest = lines[i];
        std::uint64_t rowCells = 0;
        bool cornerWritten = false;
        for (lxw_col_t col = 0; col <= lastCol; ++col) {
            const std::string_view field = TakeToken(rest, "\t", false);
            if (field.size() > MaxCellChars)
                return Failure(path, "خانه " + CellAddress(col + 1, i + 1) + " بیش از "
                                         + std::to_string(MaxCellChars) + " نویسه دارد.");
            FieldToUtf8(field, cell);
            if (!cell.empty()) {
                if (lxw_error err = worksheet_write_string(ws, row, col, cell.c_str(), text);
                    err != LXW_NO_ERROR)
                    return Failure(path, CellAddress(col + 1, i + 1) + ": " + LibraryReason(err));
                ++rowCells;
                if (col == lastCol)
                    cornerWritten = true;
            } else if (i == 0 && col == 0) {
                // The used range starts at A1 even when A1 is empty.
                worksheet_write_blank(ws, 0, 0, text);
                ++rowCells;
                if (lastCol == 0)
                    cornerWritten = true;
            }
            if (rest.empty())
                break;
        }
        // ...and ends at the last row of the last column.
        if (row == lastRow && !cornerWritten) {
            worksheet_write_blank(ws, lastRow, lastCol, text);
            ++rowCells;
        }
        cellElements += rowCells;
        if (rowCells != 0)
            ++rowElements;
    }

    if (progress && !progress(rows, rows))
        return Skipped();

    if (lxw_error err = holder.Close(); err != LXW_NO_ERROR)
        return Failure(path, LibraryReason(err));
    if (std::string reason = CheckWrittenWorkbook(staged.temp(), rowElements, cellElements);
        !reason.empty())
        return Failure(path, "فایل کامل نوشته نشد؛ شاید دیسک یا پوشه موقت پر است. (" + reason + ")");
    if (std::string reason = staged.Commit(); !reason.empty())
        return Failure(path, reason);
    ExportResult done;
    done.status = ExportStatus::Written;
    return done;
}

template <typename Lines>
ExportResult Export(const Lines& lines, std::string_view sheetName, const std::string& path,
                    const ProgressFn& progress)
{
    if (GetAppOption("NoSheet") == "1")
        return Skipped();
    try {
        return WriteWorkbook(lines, sheetName, path, progress);
    } catch (const std::bad_alloc&) {
        return Failure(path, "حافظه کافی نیست.");
    } catch (const std::exception& e) {
        return Failure(path, e.what());
    } catch (...) {
        return Failure(path, "خطای ناشناخته");
    }
}

} // namespace

std::string ColumnLetters(int col1Based)
{
    std::string letters;
    for (long long c = col1Based; c > 0; c = (c - 1) / 26)
        letters.insert(letters.begin(), char('A' + (c - 1) % 26));
    return letters;
}

std::string CellAddress(int col1Based, std::size_t row1Based)
{
    return ColumnLetters(col1Based) + std::to_string(row1Based);
}

ExportResult ExportLinesToWorkbook(const TableLines& lines, std::string_view sheetName,
                                   const std::string& path, const ProgressFn& progress)
{
    return Export(lines, sheetName, path, progress);
}

ExportResult ExportLinesToWorkbook(const std::vector<std::string>& lines, std::string_view sheetName,
                                   const std::string& path, const ProgressFn& progress)
{
    return Export(lines, sheetName, path, progress);
}

ExportResult ExportAndOpenWorkbook(const TableLines& lines, std::string_view sheetName,
                                   const std::string& path, const ProgressFn& progress)
{
    ExportResult result = ExportLinesToWorkbook(lines, sheetName, path, progress);
    if (result.written())
        ShellOpen(path);
    return result;
}

} // namespace rasmik
