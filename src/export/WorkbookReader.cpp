#include "export/WorkbookReader.h"

#include "export/Workbook.h"
#include "export/WorkbookBooks.h"
#include "export/XmlParser.h"
#include "text/TextFiles.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rasmik {

namespace {

constexpr std::string_view ZipMagic = "PK\x03\x04";
constexpr std::string_view EmptyZipMagic = "PK\x05\x06";
constexpr std::string_view Ole2Magic = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1";

} // namespace

std::uint64_t InflateLimit(std::uint64_t fileSize)
{
    return (std::uint64_t{64} << 20) + std::min<std::uint64_t>(fileSize, std::uint64_t{1} << 40) * 128;
}

std::uint64_t TextLimit(std::uint64_t fileSize)
{
    return std::min<std::uint64_t>(MaxFileBytes,
                                   (std::uint64_t{256} << 20) + std::min<std::uint64_t>(fileSize, MaxFileBytes) * 64);
}

FileError BookFailure(FileErrorCode code, const std::string& path, std::string subject, std::string detail)
{
    FileError e(code, path);
    e.subject = std::move(subject);
    e.detail = std::move(detail);
    return e;
}

// ---- RowCollector

RowCollector::RowCollector(const SheetRowFn& onRow, std::string path, std::uint32_t maxRows, std::uint32_t maxColumns,
                           std::uint64_t textLimit)
    : onRow_(onRow), path_(std::move(path)), maxRows_(maxRows), maxColumns_(maxColumns), textLimit_(textLimit)
{
}

void RowCollector::fail(FileStatus status)
{
    if (status_.ok())
        status_ = std::move(status);
}

bool RowCollector::outOfRange(std::uint64_t row, std::uint64_t column, std::string_view reference)
{
    std::string where(reference);
    if (where.empty()) {
        where = column < (std::uint64_t{1} << 31) ? ColumnLetters(static_cast<int>(column + 1)) : std::string("?");
        where += std::to_string(row + 1);
    }
    fail(BookFailure(FileErrorCode::CellOutOfRange, path_, where));
    return false;
}

bool RowCollector::beginRow(std::uint64_t row, std::string_view reference)
{
    if (failed())
        return false;
    if (inRow_ && row == row_)
        return true; // the same row again: its cells join
    if (inRow_ && !endRow())
        return false;
    if (row >= maxRows_)
        return outOfRange(row, 0, reference);
    if (started_ && row <= row_) {
        fail(BookFailure(FileErrorCode::WorkbookDamaged, path_, {},
                         "row " + std::to_string(row + 1) + " comes after row " + std::to_string(row_ + 1)));
        return false;
    }
    row_ = row;
    inRow_ = true;
    started_ = true;
    return true;
}

bool RowCollector::addCell(std::uint64_t column, std::string_view text, std::string_view reference)
{
    if (failed())
        return false;
    if (column >= maxColumns_)
        return outOfRange(row_, column, reference);
    if (text.empty())
        return true;
    if (extent_.textBytes + text_.size() + text.size() > textLimit_) {
        FileError e(FileErrorCode::TooLarge, path_);
        e.limit = textLimit_;
        fail(e);
        return false;
    }
    if (!pending_.empty() && pending_.back().column >= column)
        sorted_ = false;
    pending_.push_back({static_cast<std::uint32_t>(column), static_cast<std::uint32_t>(text_.size()),
                        static_cast<std::uint32_t>(text.size())});
    text_.append(text);
    return true;
}

bool RowCollector::endRow()
{
    if (failed())
        return false;
    inRow_ = false;
    if (pending_.empty())
        return true;
    if (!sorted_) {
        // The last text of a column wins.
        std::stable_sort(pending_.begin(), pending_.end(),
                         [](const Pending& a, const Pending& b) { return a.column < b.column; });
        std::size_t kept = 0;
        for (std::size_t i = 0; i < pending_.size(); ++i) {
            if (kept > 0 && pending_[kept - 1].column == pending_[i].column)
                pending_[kept - 1] = pending_[i];
            else
                pending_[kept++] = pending_[i];
        }
        pending_.resize(kept);
        sorted_ = true;
    }
    cells_.clear();
    std::uint64_t bytes = 0;
    for (const Pending& p : pending_) {
        cells_.push_back({p.column, std::string_view(text_).substr(p.offset, p.size)});
        bytes += p.size;
    }
    extent_.rows = static_cast<std::uint32_t>(row_ + 1);
    extent_.columns = std::max(extent_.columns, cells_.back().column + 1);
    extent_.cells += cells_.size();
    extent_.textBytes += bytes;
    const bool go = onRow_(static_cast<std::uint32_t>(row_), std::span<const SheetCell>(cells_));
    pending_.clear();
    text_.clear();
    if (!go) {
        fail(FileStatus(FileErrorCode::Cancelled, path_));
        return false;
    }
    return true;
}

bool RowCollector::finish()
{
    if (inRow_)
        return endRow();
    return !failed();
}

// ---- parsing parts

FileStatus ParseZipPart(const ZipArchive& zip, std::uint64_t index, const std::string& path, XmlParser& parser,
                        const ProgressFn& progress, std::uint64_t progressBase, std::uint64_t progressTotal)
{
    const std::string name = zip.entryName(index);
    std::uint64_t done = 0;
    std::uint64_t sinceReport = 0;
    bool cancelled = false;
    FileStatus read = zip.read(index, InflateLimit(zip.fileSize()), [&](const char* data, std::size_t size) {
        if (!parser.feed(data, size, false))
            return false;
        done += size;
        sinceReport += size;
        if (progress && sinceReport >= (std::uint64_t{4} << 20)) {
            sinceReport = 0;
            if (!progress(progressBase + done, std::max(progressTotal, progressBase + done))) {
                cancelled = true;
                return false;
            }
        }
        return true;
    });
    if (cancelled)
        return FileStatus(FileErrorCode::Cancelled, path);
    if (read.ok())
        parser.feed(nullptr, 0, true);
    else if (!read.cancelled())
        return read;
    switch (parser.outcome()) {
    case XmlParser::Outcome::Ok:
    case XmlParser::Outcome::Stopped: return {};
    case XmlParser::Outcome::Declarations: return BookFailure(FileErrorCode::XmlDeclarations, path, name);
    case XmlParser::Outcome::Malformed: return BookFailure(FileErrorCode::WorkbookDamaged, path, name, parser.error());
    }
    return {};
}

// ---- WorkbookReader

bool LooksLikeWorkbook(std::string_view firstBytes)
{
    return firstBytes.starts_with(ZipMagic) || firstBytes.starts_with(EmptyZipMagic)
        || firstBytes.starts_with(Ole2Magic);
}

struct WorkbookReader::Impl {
    std::string path;
    std::unique_ptr<WorkbookBook> book;
};

WorkbookReader::WorkbookReader() : impl_(std::make_unique<Impl>())
{
}
WorkbookReader::~WorkbookReader() = default;
WorkbookReader::WorkbookReader(WorkbookReader&&) noexcept = default;
WorkbookReader& WorkbookReader::operator=(WorkbookReader&&) noexcept = default;

FileStatus WorkbookReader::open(const std::string& path)
{
    impl_->book.reset();
    impl_->path = path;
    if (path.empty())
        return FileStatus(FileErrorCode::NoFileName, path);
    try {
        char head[8] = {};
        ssize_t got = 0;
        {
            // Not blocking on a pipe: only a regular file is read.
            const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
            if (fd < 0)
                return ErrnoError(errno, path);
            struct stat st { };
            if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
                const bool folder = S_ISDIR(st.st_mode);
                ::close(fd);
                return folder ? ErrnoError(EISDIR, path) : FileStatus(FileErrorCode::NotRegularFile, path);
            }
            got = ::read(fd, head, sizeof head);
            const int err = errno;
            ::close(fd);
            if (got < 0)
                return ErrnoError(err, path);
        }
        const std::string_view first(head, static_cast<std::size_t>(got));
        std::unique_ptr<WorkbookBook> book;
        FileStatus opened;
        if (first.starts_with(Ole2Magic)) {
            opened = OpenXlsBook(path, book);
        } else if (first.starts_with(ZipMagic) || first.starts_with(EmptyZipMagic)) {
            auto zip = std::make_unique<ZipArchive>();
            if (FileStatus z = zip->open(path); !z)
                return z;
            // An OpenDocument file names its kind first; else the parts of
            // Office Open XML.
            if (zip->find("mimetype") || zip->find("content.xml"))
                opened = OpenOdsBook(std::move(zip), path, book);
            else
                opened = OpenXlsxBook(std::move(zip), path, book);
        } else {
            return FileStatus(FileErrorCode::NotWorkbook, path);
        }
        if (!opened)
            return opened;
        impl_->book = std::move(book);
        return {};
    } catch (const std::bad_alloc&) {
        return FileStatus(FileErrorCode::NoMemory, path);
    }
}

WorkbookKind WorkbookReader::kind() const
{
    return impl_->book ? impl_->book->kind() : WorkbookKind::Xlsx;
}

const std::vector<std::string>& WorkbookReader::sheetNames() const
{
    static const std::vector<std::string> none;
    return impl_->book ? impl_->book->sheetNames : none;
}

int WorkbookReader::findSheet(std::string_view text) const
{
    return SheetNamedOrNumbered(sheetNames(), text);
}

int SheetNamedOrNumbered(const std::vector<std::string>& names, std::string_view text)
{
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == text)
            return static_cast<int>(i);
    }
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string_view::npos)
        return -1;
    const std::size_t n = std::stoul(std::string(text));
    return n >= 1 && n <= names.size() ? static_cast<int>(n - 1) : -1;
}

FileStatus WorkbookReader::readSheet(std::size_t index, const SheetRowFn& onRow, const ProgressFn& progress,
                                     SheetExtent* extent)
{
    if (extent)
        *extent = {};
    if (!impl_->book || index >= impl_->book->sheetNames.size())
        return BookFailure(FileErrorCode::SheetNotFound, impl_->path, std::to_string(index + 1));
    WorkbookBook& book = *impl_->book;
    const bool xls = book.kind() == WorkbookKind::Xls;
    RowCollector rows(onRow, impl_->path, xls ? XlsMaxRows : XlsxMaxRows, xls ? XlsMaxColumns : XlsxMaxColumns,
                      TextLimit(book.fileSize));
    FileStatus result;
    try {
        result = book.readSheet(index, rows, progress);
        if (result && !rows.finish())
            result = rows.status();
        if (rows.failed())
            result = rows.status();
    } catch (const std::bad_alloc&) {
        result = FileStatus(FileErrorCode::NoMemory, impl_->path);
    }
    if (result && extent)
        *extent = rows.extent();
    return result;
}

// ---- the comma-separated table

namespace {

// Bytes in blocks that grow as the table does, joined once at the end, so
// that no growth ever copies what was written.
class BlockWriter {
public:
    void append(std::string_view bytes)
    {
        while (!bytes.empty()) {
            if (blocks_.empty() || used_ == blocks_.back().size()) {
                const std::size_t size = std::min<std::size_t>(std::size_t{64} << 20,
                                                               std::max<std::size_t>(std::size_t{1} << 16, total_ / 4));
                blocks_.emplace_back(size);
                used_ = 0;
            }
            ByteBuffer& b = blocks_.back();
            const std::size_t n = std::min(bytes.size(), b.size() - used_);
            std::memcpy(b.data() + used_, bytes.data(), n);
            used_ += n;
            total_ += n;
            bytes.remove_prefix(n);
        }
    }
    std::uint64_t size() const { return total_; }
    void joinInto(ByteBuffer& out)
    {
        ByteBuffer all(total_);
        std::size_t at = 0;
        for (std::size_t i = 0; i < blocks_.size(); ++i) {
            const std::size_t n = i + 1 == blocks_.size() ? used_ : blocks_[i].size();
            if (n)
                std::memcpy(all.data() + at, blocks_[i].data(), n);
            at += n;
            blocks_[i] = ByteBuffer();
        }
        blocks_.clear();
        out = std::move(all);
    }

private:
    std::vector<ByteBuffer> blocks_;
    std::size_t used_ = 0;
    std::size_t total_ = 0;
};

} // namespace

FileStatus ReadSheetAsCsv(WorkbookReader& book, std::size_t index, ByteBuffer& out, const ProgressFn& progress,
                          SheetExtent* extent)
{
    out = ByteBuffer();
    BlockWriter writer;
    std::uint32_t nextRow = 0;
    std::string line;
    bool tooLarge = false;
    auto onRow = [&](std::uint32_t row, std::span<const SheetCell> cells) {
        line.clear();
        for (; nextRow < row; ++nextRow)
            line += "\r\n";
        std::uint32_t column = 0;
        for (const SheetCell& cell : cells) {
            line.append(cell.column - column, ',');
            column = cell.column;
            if (cell.text.find_first_of(",\"\r\n") == std::string_view::npos) {
                line += cell.text;
            } else {
                line += '"';
                for (char c : cell.text) {
                    if (c == '"')
                        line += '"';
                    line += c;
                }
                line += '"';
            }
        }
        line += "\r\n";
        nextRow = row + 1;
        if (writer.size() + line.size() > MaxFileBytes) {
            tooLarge = true;
            return false;
        }
        writer.append(line);
        return true;
    };
    try {
        FileStatus read = book.readSheet(index, onRow, progress, extent);
        if (tooLarge) {
            FileError e(FileErrorCode::TooLarge, read.error().path);
            e.limit = MaxFileBytes;
            return e;
        }
        if (!read)
            return read;
        writer.joinInto(out);
    } catch (const std::bad_alloc&) {
        out = ByteBuffer();
        return FileStatus(FileErrorCode::NoMemory, {});
    }
    return {};
}

bool FileLooksLikeWorkbook(const std::string& path)
{
    // Only a regular file is looked into: a pipe or a device is never read.
    struct stat st { };
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    char head[8];
    const ssize_t n = ::read(fd, head, sizeof head);
    ::close(fd);
    return n > 0 && LooksLikeWorkbook(std::string_view(head, static_cast<std::size_t>(n)));
}

FileStatus ReadWorkbookTable(const std::string& path, const SheetChooser& choose, TableLines& lines, std::string& sheet,
                             const ProgressFn& progress, bool askForOne)
{
    WorkbookReader book;
    if (FileStatus opened = book.open(path); !opened)
        return opened;
    const std::vector<std::string>& names = book.sheetNames();
    if (names.empty())
        return FileStatus(FileError(FileErrorCode::SheetNotFound, path));
    int index = 0;
    if (names.size() > 1 || (askForOne && choose)) {
        index = choose ? choose(names) : 0;
        if (index < 0 || static_cast<std::size_t>(index) >= names.size())
            return FileStatus(FileErrorCode::Cancelled, path);
    }
    ByteBuffer csv;
    if (FileStatus read = ReadSheetAsCsv(book, static_cast<std::size_t>(index), csv, progress); !read)
        return read;
    TableLines table;
    if (!TableLines::FromBytes(std::move(csv), table, progress, CommaForm))
        return FileStatus(FileErrorCode::Cancelled, path);
    table.setEncoding(FileEncoding{TextEncoding::Utf8, false});
    lines = std::move(table);
    sheet = names[static_cast<std::size_t>(index)];
    return {};
}

} // namespace rasmik
