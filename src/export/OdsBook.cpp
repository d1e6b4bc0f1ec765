// .ods (OpenDocument spreadsheet): content.xml holds every sheet, streamed
// through expat; the data styles of styles.xml and of content.xml's
// automatic styles tell how a number shows.

#include "export/CellText.h"
#include "export/WorkbookBooks.h"
#include "export/XmlParser.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>

namespace rasmik {

namespace {

constexpr std::string_view OfficeNs = "urn:oasis:names:tc:opendocument:xmlns:office:1.0";
constexpr std::string_view TableNs = "urn:oasis:names:tc:opendocument:xmlns:table:1.0";
constexpr std::string_view TextNs = "urn:oasis:names:tc:opendocument:xmlns:text:1.0";
constexpr std::string_view StyleNs = "urn:oasis:names:tc:opendocument:xmlns:style:1.0";
constexpr std::string_view NumberNs = "urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0";
constexpr std::string_view SpreadsheetMime = "application/vnd.oasis.opendocument.spreadsheet";

// An attribute by namespace and local name.
const char* Attribute(const char** atts, std::string_view ns, std::string_view local)
{
    for (const char** a = atts; a && *a; a += 2) {
        const XmlName n = SplitXmlName(a[0]);
        if (n.local == local && n.uri == ns)
            return a[1];
    }
    return nullptr;
}

std::uint64_t Repeats(const char* value)
{
    if (!value)
        return 1;
    std::uint64_t n = 0;
    const std::string_view v(value);
    const auto r = std::from_chars(v.data(), v.data() + v.size(), n);
    if (r.ec != std::errc() || n == 0)
        return 1;
    return std::min<std::uint64_t>(n, std::uint64_t{1} << 32);
}

// Cell styles and data styles as far as numbers need them.
struct OdsStyles {
    std::map<std::string, NumberFormat> dataStyles;
    std::map<std::string, std::string> cellStyles;   // style -> its data style
    std::map<std::string, std::string> parentStyles; // style -> its parent
    std::vector<std::string> booleanStyles;
    bool isBoolean(const std::string& cellStyle) const
    {
        const auto it = cellStyles.find(cellStyle);
        return it != cellStyles.end()
            && std::find(booleanStyles.begin(), booleanStyles.end(), it->second) != booleanStyles.end();
    }

    const NumberFormat* formatOf(const std::string& cellStyle) const
    {
        std::string name = cellStyle;
        for (int depth = 0; depth < 8 && !name.empty(); ++depth) {
            if (const auto it = cellStyles.find(name); it != cellStyles.end()) {
                const auto f = dataStyles.find(it->second);
                return f == dataStyles.end() ? nullptr : &f->second;
            }
            const auto p = parentStyles.find(name);
            if (p == parentStyles.end())
                break;
            name = p->second;
        }
        return nullptr;
    }
};

// Collects styles from office:styles and office:automatic-styles.
class StyleCollector {
public:
    explicit StyleCollector(OdsStyles& styles) : styles_(styles) { }

    void start(const XmlName& n, const char** atts)
    {
        if (n.uri == StyleNs && n.local == "style") {
            const char* name = Attribute(atts, StyleNs, "name");
            if (!name)
                return;
            if (const char* data = Attribute(atts, StyleNs, "data-style-name"))
                styles_.cellStyles[name] = data;
            if (const char* parent = Attribute(atts, StyleNs, "parent-style-name"))
                styles_.parentStyles[name] = parent;
            return;
        }
        if (n.uri != NumberNs)
            return;
        using K = NumberFormat::Kind;
        if (n.local == "number-style" || n.local == "percentage-style" || n.local == "currency-style"
            || n.local == "date-style" || n.local == "time-style" || n.local == "boolean-style"
            || n.local == "text-style") {
            const char* name = Attribute(atts, StyleNs, "name");
            current_ = name ? name : "";
            format_ = NumberFormat{};
            format_.kind = n.local == "percentage-style"               ? K::Percent
                : (n.local == "date-style" || n.local == "time-style") ? K::DateTime
                : n.local == "text-style"                              ? K::Text
                                                                       : K::General;
            format_.date = n.local == "date-style";
            inStyle_ = true;
            return;
        }
        if (!inStyle_)
            return;
        if (n.local == "number") {
            if (const char* places = Attribute(atts, NumberNs, "decimal-places")) {
                const int d = std::clamp(std::atoi(places), 0, 30);
                const char* least = Attribute(atts, NumberNs, "min-decimal-places");
                if (format_.kind == K::General)
                    format_.kind = K::Number;
                format_.decimals = static_cast<std::uint8_t>(d);
                format_.minDecimals = static_cast<std::uint8_t>(least ? std::clamp(std::atoi(least), 0, d) : d);
            } else if (format_.kind == K::Percent) {
                format_.decimals = format_.minDecimals = 0;
            }
            const char* grouping = Attribute(atts, NumberNs, "grouping");
            format_.grouping = grouping && std::string_view(grouping) == "true";
        } else if (n.local == "hours" || n.local == "minutes") {
            format_.time = true;
        } else if (n.local == "seconds") {
            format_.time = true;
            format_.seconds = true;
        } else if (n.local == "year" || n.local == "month" || n.local == "day") {
            format_.date = true;
        } else if (n.local == "scientific-number" || n.local == "fraction") {
            format_.kind = K::General;
        }
    }

    void end(const XmlName& n)
    {
        if (n.uri == NumberNs && inStyle_
            && (n.local == "number-style" || n.local == "percentage-style" || n.local == "currency-style"
                || n.local == "date-style" || n.local == "time-style" || n.local == "boolean-style"
                || n.local == "text-style")) {
            if (format_.kind == NumberFormat::Kind::DateTime && n.local == "time-style")
                format_.date = false;
            if (!current_.empty())
                styles_.dataStyles[current_] = format_;
            if (!current_.empty() && n.local == "boolean-style")
                styles_.booleanStyles.push_back(current_);
            inStyle_ = false;
        }
    }

private:
    OdsStyles& styles_;
    std::string current_;
    NumberFormat format_;
    bool inStyle_ = false;
};

class StylesHandler : public XmlHandler {
public:
    explicit StylesHandler(OdsStyles& styles) : collector_(styles) { }
    void startElement(const char* name, const char** atts) override { collector_.start(SplitXmlName(name), atts); }
    void endElement(const char* name) override { collector_.end(SplitXmlName(name)); }
    void text(const char*, int) override { }

private:
    StyleCollector collector_;
};

// The tables' names only.
class NamesHandler : public XmlHandler {
public:
    std::vector<std::string> names;
    void startElement(const char* name, const char** atts) override
    {
        const XmlName n = SplitXmlName(name);
        if (n.uri == TableNs && n.local == "table") {
            if (depth_ == 0) {
                const char* tableName = Attribute(atts, TableNs, "name");
                names.push_back(tableName ? tableName : "");
            }
            ++depth_;
        }
    }
    void endElement(const char* name) override
    {
        const XmlName n = SplitXmlName(name);
        if (n.uri == TableNs && n.local == "table")
            --depth_;
    }
    void text(const char*, int) override { }

private:
    int depth_ = 0;
};

class ManifestHandler : public XmlHandler {
public:
    bool encrypted = false;
    void startElement(const char* name, const char**) override
    {
        if (SplitXmlName(name).local == "encryption-data")
            encrypted = true;
    }
    void endElement(const char*) override { }
    void text(const char*, int) override { }
};

// "PT14H30M05.5S" -> seconds; false when it is no duration.
bool ParseDuration(std::string_view v, double& seconds)
{
    if (v.size() < 3 || v[0] != 'P')
        return false;
    seconds = 0;
    double number = 0;
    bool inTime = false;
    std::size_t i = 1;
    while (i < v.size()) {
        if (v[i] == 'T') {
            inTime = true;
            ++i;
            continue;
        }
        const auto r = std::from_chars(v.data() + i, v.data() + v.size(), number);
        if (r.ec != std::errc() || r.ptr == v.data() + v.size())
            return false;
        i = static_cast<std::size_t>(r.ptr - v.data());
        const char unit = v[i++];
        if (unit == 'D')
            seconds += number * 86400;
        else if (unit == 'H' && inTime)
            seconds += number * 3600;
        else if (unit == 'M' && inTime)
            seconds += number * 60;
        else if (unit == 'S' && inTime)
            seconds += number;
        else
            return false;
    }
    return true;
}

class ContentHandler : public XmlHandler {
public:
    ContentHandler(std::size_t sheet, RowCollector& rows, OdsStyles& styles, XmlParser*& parser,
                   const std::string& path)
        : sheet_(sheet), rows_(rows), styles_(styles), collector_(styles), parser_(parser), path_(path)
    {
    }

    bool done() const { return done_; }

    void startElement(const char* name, const char** atts) override
    {
        const XmlName n = SplitXmlName(name);
        if (!inBody_) {
            if (n.uri == OfficeNs && n.local == "body")
                inBody_ = true;
            else
                collector_.start(n, atts);
            return;
        }
        if (n.uri == TableNs && n.local == "table") {
            ++tableDepth_;
            if (tableDepth_ == 1) {
                inSheet_ = tableIndex_ == sheet_;
                ++tableIndex_;
                row_ = 0;
            }
            return;
        }
        if (!inSheet_ || tableDepth_ != 1)
            return;
        if (cellDepth_ > 0) {
            ++cellDepth_;
            cellChild(n, atts);
            return;
        }
        if (n.uri != TableNs)
            return;
        if (n.local == "table-column") {
            const std::uint64_t count = Repeats(Attribute(atts, TableNs, "number-columns-repeated"));
            const char* style = Attribute(atts, TableNs, "default-cell-style-name");
            const std::uint64_t room = XlsxMaxColumns - std::min<std::uint64_t>(columnStyles_.size(), XlsxMaxColumns);
            columnStyles_.insert(columnStyles_.end(), static_cast<std::size_t>(std::min(count, room)),
                                 style ? std::string(style) : std::string());
        } else if (n.local == "table-row") {
            rowRepeats_ = Repeats(Attribute(atts, TableNs, "number-rows-repeated"));
            column_ = 0;
            cells_.clear();
            cellText_.clear();
            inRow_ = true;
        } else if (inRow_ && (n.local == "table-cell" || n.local == "covered-table-cell")) {
            cellDepth_ = 1;
            covered_ = n.local == "covered-table-cell";
            cellRepeats_ = Repeats(Attribute(atts, TableNs, "number-columns-repeated"));
            text_.clear();
            paragraphs_ = 0;
            valueType_.clear();
            value_.clear();
            style_.clear();
            error_ = false;
            formula_ = false;
            if (covered_)
                return;
            for (const char** a = atts; *a; a += 2) {
                const XmlName an = SplitXmlName(a[0]);
                if (an.uri == OfficeNs) {
                    if (an.local == "value-type")
                        valueType_ = a[1];
                    else if (an.local == "value" || an.local == "date-value" || an.local == "time-value"
                             || an.local == "boolean-value" || an.local == "string-value")
                        value_ = a[1], hasValue_ = true;
                } else if (an.uri == TableNs && an.local == "style-name") {
                    style_ = a[1];
                } else if (an.uri == TableNs && an.local == "formula") {
                    formula_ = true;
                } else if (an.local == "value-type" && std::string_view(a[1]) == "error") {
                    error_ = true; // LibreOffice's calcext:value-type
                }
            }
        }
    }

    void endElement(const char* name) override
    {
        const XmlName n = SplitXmlName(name);
        if (!inBody_)
            return collector_.end(n);
        if (n.uri == TableNs && n.local == "table") {
            if (tableDepth_ == 1 && inSheet_) {
                inSheet_ = false;
                done_ = true;
                if (parser_)
                    parser_->stop();
            }
            --tableDepth_;
            return;
        }
        if (!inSheet_ || tableDepth_ != 1)
            return;
        if (cellDepth_ > 0) {
            if (cellDepth_ == 2 && n.uri == TextNs && (n.local == "p" || n.local == "h"))
                inParagraph_ = false;
            if (skipDepth_ == cellDepth_)
                skipDepth_ = 0;
            if (--cellDepth_ == 0)
                finishCell();
            return;
        }
        if (n.uri == TableNs && n.local == "table-row" && inRow_) {
            inRow_ = false;
            finishRow();
        }
    }

    void text(const char* data, int size) override
    {
        if (cellDepth_ > 0 && inParagraph_ && skipDepth_ == 0)
            appendText(std::string_view(data, static_cast<std::size_t>(size)));
    }

private:
    // White space in a paragraph collapses to one space and falls away at
    // its start; text:s, text:tab and text:line-break keep theirs.
    void appendText(std::string_view s)
    {
        for (char c : s) {
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
                if (!text_.empty() && !pendingSpace_ && text_.size() > paragraphStart_)
                    pendingSpace_ = true;
                continue;
            }
            flushSpace();
            text_ += c;
        }
    }
    void flushSpace()
    {
        if (pendingSpace_)
            text_ += ' ';
        pendingSpace_ = false;
    }

    void cellChild(const XmlName& n, const char** atts)
    {
        if (skipDepth_ != 0)
            return;
        if (cellDepth_ == 2) {
            if (n.uri == TextNs && (n.local == "p" || n.local == "h")) {
                if (paragraphs_++ > 0)
                    text_ += '\n';
                paragraphStart_ = text_.size();
                pendingSpace_ = false;
                inParagraph_ = true;
            } else {
                skipDepth_ = cellDepth_; // a comment, a drawing: not the cell's text
            }
            return;
        }
        if (!inParagraph_)
            return;
        if (n.uri == TextNs) {
            if (n.local == "s") {
                flushSpace();
                const std::uint64_t count = Repeats(Attribute(atts, TextNs, "c"));
                text_.append(static_cast<std::size_t>(std::min<std::uint64_t>(count, 65536)), ' ');
            } else if (n.local == "tab") {
                pendingSpace_ = false;
                text_ += '\t';
            } else if (n.local == "line-break") {
                pendingSpace_ = false;
                text_ += '\n';
            } else if (n.local == "note" || n.local == "annotation") {
                skipDepth_ = cellDepth_;
            }
        } else if (n.uri == OfficeNs && n.local == "annotation") {
            skipDepth_ = cellDepth_;
        }
    }

    void shownValue()
    {
        shown_.clear();
        const std::string_view type = valueType_;
        const NumberFormat* format = style_.empty() ? columnFormat() : styles_.formatOf(style_);
        if (error_ || type.empty() || type == "string" || !hasValue_) {
            shown_ = (type == "string" && hasValue_ && !error_) ? value_ : text_;
            return;
        }
        if (type == "boolean") {
            shown_ = (value_ == "true" || value_ == "1") ? "TRUE" : "FALSE";
            return;
        }
        if (type == "date") {
            int y = 0, mo = 0, d = 0, h = 0, mi = 0;
            double s = 0;
            if (std::sscanf(value_.c_str(), "%d-%d-%d", &y, &mo, &d) != 3) {
                shown_ = text_;
                return;
            }
            const std::size_t t = value_.find('T');
            if (t != std::string::npos)
                std::sscanf(value_.c_str() + t + 1, "%d:%d:%lf", &h, &mi, &s);
            NumberFormat f;
            f.kind = NumberFormat::Kind::DateTime;
            f.date = true;
            const int seconds = h * 3600 + mi * 60 + static_cast<int>(s + 0.5);
            f.time = format ? format->time : seconds != 0;
            f.seconds = format ? format->seconds : seconds % 60 != 0;
            AppendDateTime(shown_, y, mo, d, seconds, f);
            return;
        }
        if (type == "time") {
            double seconds = 0;
            if (!ParseDuration(value_, seconds)) {
                shown_ = text_;
                return;
            }
            const long long total = std::llround(seconds);
            NumberFormat f;
            f.kind = NumberFormat::Kind::DateTime;
            f.time = true;
            f.seconds = format ? format->seconds : total % 60 != 0;
            AppendDateTime(shown_, 0, 0, 0, static_cast<int>(std::min<long long>(total, 359999999)), f);
            return;
        }
        double v = 0;
        const auto r = std::from_chars(value_.data(), value_.data() + value_.size(), v);
        if (r.ec != std::errc()) {
            shown_ = text_;
            return;
        }
        // A truth value is a number shown as TRUE or FALSE: by its style, or
        // as LibreOffice writes the value of TRUE() and FALSE().
        if ((!style_.empty() && styles_.isBoolean(style_)) || (formula_ && (text_ == "TRUE" || text_ == "FALSE"))) {
            shown_ = v != 0 ? "TRUE" : "FALSE";
            return;
        }
        NumberFormat f = format && format->kind != NumberFormat::Kind::DateTime ? *format : NumberFormat{};
        if (type == "percentage" && f.kind != NumberFormat::Kind::Percent) {
            AppendGeneralNumber(shown_, v * 100);
            shown_ += '%';
            return;
        }
        AppendFormattedNumber(shown_, v, f, false);
    }

    const NumberFormat* columnFormat() const
    {
        if (column_ < columnStyles_.size() && !columnStyles_[column_].empty())
            return styles_.formatOf(columnStyles_[column_]);
        return nullptr;
    }

    void finishCell()
    {
        inParagraph_ = false;
        skipDepth_ = 0;
        const std::uint64_t repeats = cellRepeats_;
        if (!covered_) {
            shownValue();
            if (!shown_.empty()) {
                if (column_ + repeats > XlsxMaxColumns) {
                    rows_.fail(BookFailure(FileErrorCode::CellOutOfRange, path_,
                                           ColumnLettersOf(std::min<std::uint64_t>(column_ + repeats, 1u << 30))
                                               + std::to_string(row_ + 1)));
                    if (parser_)
                        parser_->stop();
                    return;
                }
                for (std::uint64_t k = 0; k < repeats; ++k) {
                    cells_.push_back({static_cast<std::uint32_t>(column_ + k),
                                      static_cast<std::uint32_t>(cellText_.size()),
                                      static_cast<std::uint32_t>(shown_.size())});
                    cellText_ += shown_;
                    if (cellText_.size() > (std::size_t{1} << 31)) {
                        FileError e(FileErrorCode::TooLarge, path_);
                        rows_.fail(e);
                        if (parser_)
                            parser_->stop();
                        return;
                    }
                }
            }
        }
        hasValue_ = false;
        column_ += repeats;
    }

    static std::string ColumnLettersOf(std::uint64_t column)
    {
        std::string letters;
        for (std::uint64_t c = column; c > 0; c = (c - 1) / 26)
            letters.insert(letters.begin(), static_cast<char>('A' + (c - 1) % 26));
        return letters;
    }

    void finishRow()
    {
        if (cells_.empty()) {
            row_ += rowRepeats_; // empty rows only move on
            return;
        }
        for (std::uint64_t k = 0; k < rowRepeats_; ++k) {
            if (!rows_.beginRow(row_)) {
                if (parser_)
                    parser_->stop();
                return;
            }
            for (const Cell& c : cells_) {
                if (!rows_.addCell(c.column, std::string_view(cellText_).substr(c.offset, c.size))) {
                    if (parser_)
                        parser_->stop();
                    return;
                }
            }
            if (!rows_.endRow()) {
                if (parser_)
                    parser_->stop();
                return;
            }
            ++row_;
        }
    }

    struct Cell {
        std::uint32_t column;
        std::uint32_t offset;
        std::uint32_t size;
    };

    std::size_t sheet_;
    RowCollector& rows_;
    OdsStyles& styles_;
    StyleCollector collector_;
    XmlParser*& parser_;
    const std::string& path_;

    bool inBody_ = false;
    bool done_ = false;
    int tableDepth_ = 0;
    std::size_t tableIndex_ = 0;
    bool inSheet_ = false;
    bool inRow_ = false;
    std::uint64_t row_ = 0;
    std::uint64_t rowRepeats_ = 1;
    std::uint64_t column_ = 0;
    std::vector<std::string> columnStyles_;
    std::vector<Cell> cells_;
    std::string cellText_;

    int cellDepth_ = 0;
    int skipDepth_ = 0;
    bool covered_ = false;
    std::uint64_t cellRepeats_ = 1;
    bool inParagraph_ = false;
    bool pendingSpace_ = false;
    std::size_t paragraphStart_ = 0;
    int paragraphs_ = 0;
    std::string text_;
    std::string valueType_;
    std::string value_;
    bool hasValue_ = false;
    bool error_ = false;
    bool formula_ = false;
    std::string style_;
    std::string shown_;
};

class OdsBook : public WorkbookBook {
public:
    std::unique_ptr<ZipArchive> zip;
    std::string path;
    std::uint64_t content = 0;

    WorkbookKind kind() const override { return WorkbookKind::Ods; }

    FileStatus readSheet(std::size_t index, RowCollector& rows, const ProgressFn& progress) override
    {
        OdsStyles styles;
        if (const auto s = zip->find("styles.xml")) {
            StylesHandler handler(styles);
            XmlParser parser(handler);
            if (FileStatus read = ParseZipPart(*zip, *s, path, parser); !read)
                return read;
        }
        XmlParser* parserRef = nullptr;
        ContentHandler handler(index, rows, styles, parserRef, path);
        XmlParser parser(handler);
        parserRef = &parser;
        FileStatus read = ParseZipPart(*zip, content, path, parser, progress, 0, zip->entrySize(content));
        if (rows.failed())
            return rows.status();
        return read;
    }
};

} // namespace

FileStatus OpenOdsBook(std::unique_ptr<ZipArchive> zip, const std::string& path, std::unique_ptr<WorkbookBook>& out)
{
    auto book = std::make_unique<OdsBook>();
    book->path = path;
    book->fileSize = zip->fileSize();
    if (const auto mime = zip->find("mimetype")) {
        std::string type;
        if (FileStatus read = zip->readAll(*mime, 256, type); !read && read.code() != FileErrorCode::UnpacksTooLarge)
            return read;
        if (!type.starts_with(SpreadsheetMime))
            return FileStatus(FileErrorCode::NotWorkbook, path);
    }
    if (const auto manifest = zip->find("META-INF/manifest.xml")) {
        ManifestHandler handler;
        XmlParser parser(handler);
        if (FileStatus read = ParseZipPart(*zip, *manifest, path, parser); !read)
            return read;
        if (handler.encrypted)
            return FileStatus(FileErrorCode::PasswordProtected, path);
    }
    const auto content = zip->find("content.xml");
    if (!content)
        return BookFailure(FileErrorCode::WorkbookDamaged, path, "content.xml", "the part is missing");
    book->content = *content;
    NamesHandler names;
    XmlParser parser(names);
    if (FileStatus read = ParseZipPart(*zip, *content, path, parser); !read)
        return read;
    if (names.names.empty())
        return BookFailure(FileErrorCode::WorkbookDamaged, path, "content.xml", "no sheet");
    book->sheetNames = std::move(names.names);
    book->zip = std::move(zip);
    out = std::move(book);
    return {};
}

} // namespace rasmik
