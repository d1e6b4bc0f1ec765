// .xlsx (Office Open XML, transitional and strict): the package's
// relationships lead to the workbook part, its sheets, the shared strings
// and the styles; each sheet is streamed from the zip through expat.

#include "export/CellText.h"
#include "export/WorkbookBooks.h"
#include "export/XmlParser.h"

#include <charconv>
#include <cstring>
#include <map>

namespace rasmik {

namespace {

bool EndsWith(std::string_view s, std::string_view end)
{
    return s.size() >= end.size() && s.substr(s.size() - end.size()) == end;
}

std::string Trimmed(std::string_view s)
{
    const std::size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string_view::npos)
        return {};
    const std::size_t b = s.find_last_not_of(" \t\r\n");
    return std::string(s.substr(a, b - a + 1));
}

// A relationship's target as a part name: relative to the folder of the part
// that holds it, or from the package's root when it starts with '/'.
std::string ResolvePart(std::string_view from, std::string_view target)
{
    std::string base;
    if (!target.empty() && target.front() == '/') {
        target.remove_prefix(1);
    } else {
        const std::size_t slash = from.rfind('/');
        base = slash == std::string_view::npos ? std::string() : std::string(from.substr(0, slash + 1));
    }
    std::vector<std::string> parts;
    std::string all = base + std::string(target);
    std::size_t start = 0;
    while (start <= all.size()) {
        const std::size_t slash = all.find('/', start);
        const std::string piece = all.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (piece == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!piece.empty() && piece != ".") {
            parts.push_back(piece);
        }
        if (slash == std::string::npos)
            break;
        start = slash + 1;
    }
    std::string out;
    for (const std::string& p : parts) {
        if (!out.empty())
            out += '/';
        out += p;
    }
    return out;
}

// The .rels part of a part: "xl/workbook.xml" -> "xl/_rels/workbook.xml.rels".
std::string RelsOf(std::string_view part)
{
    const std::size_t slash = part.rfind('/');
    if (slash == std::string_view::npos)
        return "_rels/" + std::string(part) + ".rels";
    return std::string(part.substr(0, slash + 1)) + "_rels/" + std::string(part.substr(slash + 1)) + ".rels";
}

struct Relationship {
    std::string type; // its last word: "worksheet", "sharedStrings", "styles", "officeDocument"
    std::string target;
};

class RelsHandler : public XmlHandler {
public:
    std::map<std::string, Relationship> byId;
    void startElement(const char* name, const char** atts) override
    {
        if (SplitXmlName(name).local != "Relationship")
            return;
        const char* id = XmlAttribute(atts, "Id");
        const char* type = XmlAttribute(atts, "Type");
        const char* target = XmlAttribute(atts, "Target");
        const char* mode = XmlAttribute(atts, "TargetMode");
        if (!id || !type || !target || (mode && std::string_view(mode) == "External"))
            return;
        const std::string_view t(type);
        const std::size_t slash = t.rfind('/');
        byId[id] = {std::string(slash == std::string_view::npos ? t : t.substr(slash + 1)), target};
    }
    void endElement(const char*) override { }
    void text(const char*, int) override { }
};

struct SheetEntry {
    std::string name;
    std::string relId;
};

class WorkbookHandler : public XmlHandler {
public:
    std::vector<SheetEntry> sheets;
    bool date1904 = false;
    void startElement(const char* name, const char** atts) override
    {
        const std::string_view local = SplitXmlName(name).local;
        if (local == "sheet") {
            const char* sheetName = XmlAttribute(atts, "name");
            const char* id = XmlAttribute(atts, "id");
            sheets.push_back({sheetName ? sheetName : "", id ? id : ""});
        } else if (local == "workbookPr") {
            const char* d = XmlAttribute(atts, "date1904");
            date1904 = d && (std::string_view(d) == "1" || std::string_view(d) == "true");
        }
    }
    void endElement(const char*) override { }
    void text(const char*, int) override { }
};

class StylesHandler : public XmlHandler {
public:
    std::map<int, std::string> codes;
    std::vector<int> cellFormats; // numFmtId by xf
    void startElement(const char* name, const char** atts) override
    {
        const std::string_view local = SplitXmlName(name).local;
        if (local == "cellXfs") {
            inCellXfs_ = true;
        } else if (local == "numFmt") {
            const char* id = XmlAttribute(atts, "numFmtId");
            const char* code = XmlAttribute(atts, "formatCode");
            if (id && code)
                codes[std::atoi(id)] = code;
        } else if (local == "xf" && inCellXfs_) {
            const char* id = XmlAttribute(atts, "numFmtId");
            cellFormats.push_back(id ? std::atoi(id) : 0);
        }
    }
    void endElement(const char* name) override
    {
        if (SplitXmlName(name).local == "cellXfs")
            inCellXfs_ = false;
    }
    void text(const char*, int) override { }

private:
    bool inCellXfs_ = false;
};

// The shared strings, their text end to end in one block.
struct SharedStrings {
    std::string text;
    std::vector<std::uint64_t> ends;
    std::string_view at(std::size_t i) const
    {
        const std::uint64_t start = i == 0 ? 0 : ends[i - 1];
        return std::string_view(text).substr(start, ends[i] - start);
    }
};

// Text of <t> in <si>, leaving out phonetic runs (<rPh>).
class SharedStringsHandler : public XmlHandler {
public:
    explicit SharedStringsHandler(SharedStrings& out) : out_(out) { }
    void startElement(const char* name, const char**) override
    {
        const std::string_view local = SplitXmlName(name).local;
        if (local == "si") {
            inItem_ = true;
            start_ = out_.text.size();
        } else if (local == "t" && inItem_ && phonetic_ == 0) {
            inText_ = true;
        } else if (local == "rPh") {
            ++phonetic_;
        }
    }
    void endElement(const char* name) override
    {
        const std::string_view local = SplitXmlName(name).local;
        if (local == "t") {
            inText_ = false;
        } else if (local == "rPh") {
            --phonetic_;
        } else if (local == "si" && inItem_) {
            if (out_.text.find("_x", start_) != std::string::npos) {
                std::string item = out_.text.substr(start_);
                DecodeXlsxEscapes(item);
                out_.text.resize(start_);
                out_.text += item;
            }
            out_.ends.push_back(out_.text.size());
            inItem_ = false;
        }
    }
    void text(const char* data, int size) override
    {
        if (inText_)
            out_.text.append(data, static_cast<std::size_t>(size));
    }

private:
    SharedStrings& out_;
    std::size_t start_ = 0;
    bool inItem_ = false;
    bool inText_ = false;
    int phonetic_ = 0;
};

// "AB12": column 27 (from 0) and row 11 (from 0); false when it is no
// reference at all. Large numbers are kept, for the range check.
bool ParseReference(std::string_view ref, std::uint64_t& column, std::uint64_t& row)
{
    std::size_t i = 0;
    column = 0;
    while (i < ref.size() && ((ref[i] >= 'A' && ref[i] <= 'Z') || (ref[i] >= 'a' && ref[i] <= 'z'))) {
        if (i < 8)
            column = column * 26 + static_cast<std::uint64_t>((ref[i] | 0x20) - 'a' + 1);
        ++i;
    }
    if (i == 0 || i == ref.size())
        return false;
    if (i >= 8)
        column = std::uint64_t{1} << 40;
    row = 0;
    const std::size_t digitsStart = i;
    for (; i < ref.size(); ++i) {
        if (ref[i] < '0' || ref[i] > '9')
            return false;
        if (i - digitsStart < 12)
            row = row * 10 + static_cast<std::uint64_t>(ref[i] - '0');
    }
    if (i - digitsStart >= 12)
        row = std::uint64_t{1} << 40;
    if (row == 0)
        return false;
    --column;
    --row;
    return true;
}

bool ParseUnsigned(std::string_view s, std::uint64_t& v)
{
    const std::size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string_view::npos)
        return false;
    const std::size_t b = s.find_last_not_of(" \t\r\n");
    const std::string_view t = s.substr(a, b - a + 1);
    if (t.size() > 12)
        return false;
    const auto r = std::from_chars(t.data(), t.data() + t.size(), v);
    return r.ec == std::errc() && r.ptr == t.data() + t.size();
}

class SheetHandler : public XmlHandler {
public:
    SheetHandler(RowCollector& rows, const SharedStrings& strings, const std::vector<NumberFormat>& formats,
                 bool date1904, XmlParser*& parser, const std::string& path)
        : rows_(rows), strings_(strings), formats_(formats), date1904_(date1904), parser_(parser), path_(path)
    {
    }

    void startElement(const char* name, const char** atts) override
    {
        const std::string_view local = SplitXmlName(name).local;
        if (!inData_) {
            if (local == "sheetData")
                inData_ = true;
            return;
        }
        if (inCell_) {
            if (local == "v") {
                inValue_ = true;
            } else if (local == "is") {
                inInline_ = true;
            } else if (local == "t" && inInline_ && phonetic_ == 0) {
                inText_ = true;
            } else if (local == "rPh") {
                ++phonetic_;
            }
            return;
        }
        if (local == "row") {
            std::uint64_t r = 0;
            const char* ref = XmlAttribute(atts, "r");
            if (ref) {
                if (!ParseUnsigned(ref, r) || r == 0)
                    return damaged("row number \"" + std::string(ref) + "\"");
                --r;
            } else {
                r = started_ ? row_ + 1 : 0;
            }
            if (!rows_.beginRow(r, ref ? std::string("A") + ref : std::string()))
                return stop();
            row_ = r;
            started_ = true;
            column_ = -1;
        } else if (local == "c") {
            inCell_ = true;
            type_ = Type::Number;
            style_ = 0;
            value_.clear();
            inline_.clear();
            reference_.clear();
            std::uint64_t col = static_cast<std::uint64_t>(column_ + 1);
            for (const char** a = atts; *a; a += 2) {
                // Unprefixed one-letter names: r, t, s.
                const char attr = a[0][0] != '\0' && a[0][1] == '\0' ? a[0][0] : '\0';
                if (attr == 'r') {
                    reference_ = a[1];
                    std::uint64_t r = 0;
                    if (!ParseReference(reference_, col, r))
                        return damaged("cell reference \"" + reference_ + "\"");
                    if (!started_) {
                        if (!rows_.beginRow(r, reference_))
                            return stop();
                        row_ = r;
                        started_ = true;
                    } else if (r != row_) {
                        return damaged("cell " + reference_ + " in row " + std::to_string(row_ + 1));
                    }
                } else if (attr == 't') {
                    const std::string_view t = a[1];
                    type_ = t == "s"       ? Type::Shared
                        : t == "inlineStr" ? Type::Inline
                        : t == "str"       ? Type::Formula
                        : t == "b"         ? Type::Boolean
                        : t == "e"         ? Type::Error
                        : t == "d"         ? Type::Date
                                           : Type::Number;
                } else if (attr == 's') {
                    std::uint64_t s = 0;
                    style_ = ParseUnsigned(a[1], s) && s < formats_.size() ? static_cast<std::size_t>(s) : 0;
                }
            }
            if (!started_) {
                if (!rows_.beginRow(0))
                    return stop();
                started_ = true;
            }
            column_ = static_cast<std::int64_t>(std::min<std::uint64_t>(col, std::uint64_t{1} << 40));
        }
    }

    void endElement(const char* name) override
    {
        if (!inData_)
            return;
        const std::string_view local = SplitXmlName(name).local;
        if (inCell_) {
            if (local == "v") {
                inValue_ = false;
            } else if (local == "t") {
                inText_ = false;
            } else if (local == "is") {
                inInline_ = false;
            } else if (local == "rPh") {
                --phonetic_;
            } else if (local == "c") {
                inCell_ = false;
                finishCell();
            }
            return;
        }
        if (local == "row") {
            if (!rows_.endRow())
                stop();
        } else if (local == "sheetData") {
            inData_ = false;
        }
    }

    void text(const char* data, int size) override
    {
        if (inValue_)
            value_.append(data, static_cast<std::size_t>(size));
        else if (inText_)
            inline_.append(data, static_cast<std::size_t>(size));
    }

private:
    enum class Type { Number, Shared, Inline, Formula, Boolean, Error, Date };

    void stop()
    {
        if (parser_)
            parser_->stop();
    }

    void damaged(std::string what)
    {
        rows_.fail(BookFailure(FileErrorCode::WorkbookDamaged, path_, {}, std::move(what)));
        stop();
    }

    void finishCell()
    {
        const auto column = static_cast<std::uint64_t>(column_);
        shown_.clear();
        switch (type_) {
        case Type::Shared: {
            if (value_.empty())
                return;
            std::uint64_t i = 0;
            if (!ParseUnsigned(value_, i) || i >= strings_.ends.size())
                return damaged("shared string " + value_ + " of " + std::to_string(strings_.ends.size()));
            if (!rows_.addCell(column, strings_.at(static_cast<std::size_t>(i)), reference_))
                stop();
            return;
        }
        case Type::Inline:
            DecodeXlsxEscapes(inline_);
            if (!rows_.addCell(column, inline_, reference_))
                stop();
            return;
        case Type::Formula:
        case Type::Error:
            DecodeXlsxEscapes(value_);
            if (!rows_.addCell(column, value_, reference_))
                stop();
            return;
        case Type::Boolean: {
            const std::string v = Trimmed(value_);
            shown_ = v == "1" ? "TRUE" : v == "0" ? "FALSE" : v;
            break;
        }
        case Type::Date: AppendIsoDate(Trimmed(value_)); break;
        case Type::Number: {
            if (value_.empty())
                return;
            const char* begin = value_.data();
            const char* end = begin + value_.size();
            while (begin < end && (*begin == ' ' || *begin == '\n' || *begin == '\r' || *begin == '\t'))
                ++begin;
            while (end > begin && (end[-1] == ' ' || end[-1] == '\n' || end[-1] == '\r' || end[-1] == '\t'))
                --end;
            double v = 0;
            const auto r = std::from_chars(begin, end, v);
            if (r.ec == std::errc() && r.ptr == end)
                AppendFormattedNumber(shown_, v, formats_.empty() ? NumberFormat{} : formats_[style_], date1904_);
            else
                shown_.assign(begin, end);
            break;
        }
        }
        if (!rows_.addCell(column, shown_, reference_))
            stop();
    }

    // "2024-03-20T14:30:00" of a t="d" cell in this reader's form.
    void AppendIsoDate(const std::string& v)
    {
        int year = 0, month = 0, day = 0, h = 0, m = 0, s = 0;
        NumberFormat f;
        f.kind = NumberFormat::Kind::DateTime;
        f.date = true;
        if (std::sscanf(v.c_str(), "%d-%d-%d", &year, &month, &day) != 3) {
            shown_ = v;
            return;
        }
        const std::size_t t = v.find('T');
        if (t != std::string::npos && std::sscanf(v.c_str() + t + 1, "%d:%d:%d", &h, &m, &s) >= 2) {
            f.time = h != 0 || m != 0 || s != 0;
            f.seconds = s != 0;
        }
        AppendDateTime(shown_, year, month, day, h * 3600 + m * 60 + s, f);
    }

    RowCollector& rows_;
    const SharedStrings& strings_;
    const std::vector<NumberFormat>& formats_;
    bool date1904_;
    XmlParser*& parser_;
    const std::string& path_;

    bool inData_ = false;
    bool inCell_ = false;
    bool inValue_ = false;
    bool inInline_ = false;
    bool inText_ = false;
    int phonetic_ = 0;
    bool started_ = false;
    std::uint64_t row_ = 0;
    std::int64_t column_ = -1;
    Type type_ = Type::Number;
    std::size_t style_ = 0;
    std::string value_;
    std::string inline_;
    std::string reference_;
    std::string shown_;
};

class XlsxBook : public WorkbookBook {
public:
    std::unique_ptr<ZipArchive> zip;
    std::string path;
    std::vector<std::string> sheetParts;
    std::string sharedStringsPart;
    std::string stylesPart;
    bool date1904 = false;
    bool stylesRead = false;
    std::vector<NumberFormat> formats;

    WorkbookKind kind() const override { return WorkbookKind::Xlsx; }

    // Parses the named part with handler; a missing part is no error when
    // optional.
    FileStatus parsePart(const std::string& part, XmlHandler& handler, bool optional)
    {
        const auto index = zip->find(part);
        if (!index) {
            if (optional)
                return {};
            return BookFailure(FileErrorCode::WorkbookDamaged, path, part, "the part is missing");
        }
        XmlParser parser(handler);
        return ParseZipPart(*zip, *index, path, parser);
    }

    FileStatus readStyles()
    {
        if (stylesRead)
            return {};
        StylesHandler styles;
        if (!stylesPart.empty())
            if (FileStatus read = parsePart(stylesPart, styles, true); !read)
                return read;
        formats.clear();
        std::map<int, NumberFormat> custom;
        for (const auto& [id, code] : styles.codes)
            custom[id] = NumberFormatOfCode(code);
        for (int id : styles.cellFormats) {
            const auto it = custom.find(id);
            formats.push_back(it != custom.end() ? it->second : BuiltInNumberFormat(id));
        }
        stylesRead = true;
        return {};
    }

    FileStatus readSheet(std::size_t index, RowCollector& rows, const ProgressFn& progress) override
    {
        if (FileStatus read = readStyles(); !read)
            return read;
        const auto sheetIndex = zip->find(sheetParts[index]);
        if (!sheetIndex)
            return BookFailure(FileErrorCode::WorkbookDamaged, path, sheetParts[index], "the part is missing");
        SharedStrings strings;
        std::uint64_t base = 0;
        const std::uint64_t sheetSize = zip->entrySize(*sheetIndex);
        std::uint64_t total = sheetSize;
        if (const auto sst = sharedStringsPart.empty() ? std::nullopt : zip->find(sharedStringsPart)) {
            const std::uint64_t declared = std::min(zip->entrySize(*sst), InflateLimit(fileSize));
            total += declared;
            // The text is shorter than its XML: one block, never grown.
            strings.text.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(declared, std::uint64_t{1} << 32)));
            SharedStringsHandler handler(strings);
            XmlParser parser(handler, false);
            if (FileStatus read = ParseZipPart(*zip, *sst, path, parser, progress, 0, total); !read)
                return read;
            strings.text.shrink_to_fit();
            base = declared;
        }
        XmlParser* parserRef = nullptr;
        SheetHandler handler(rows, strings, formats, date1904, parserRef, path);
        XmlParser parser(handler, false);
        parserRef = &parser;
        FileStatus read = ParseZipPart(*zip, *sheetIndex, path, parser, progress, base, total);
        if (rows.failed())
            return rows.status();
        return read;
    }
};

} // namespace

FileStatus OpenXlsxBook(std::unique_ptr<ZipArchive> zip, const std::string& path, std::unique_ptr<WorkbookBook>& out)
{
    auto book = std::make_unique<XlsxBook>();
    book->path = path;
    book->fileSize = zip->fileSize();
    book->zip = std::move(zip);
    ZipArchive& z = *book->zip;

    std::string workbookPart;
    {
        RelsHandler rels;
        if (FileStatus read = book->parsePart("_rels/.rels", rels, true); !read)
            return read;
        for (const auto& [id, r] : rels.byId) {
            if (r.type == "officeDocument")
                workbookPart = ResolvePart("", r.target);
        }
    }
    if (workbookPart.empty()) {
        if (z.find("xl/workbook.bin"))
            return BookFailure(FileErrorCode::WorkbookKindNotRead, path, ".xlsb");
        workbookPart = "xl/workbook.xml";
    }
    if (EndsWith(workbookPart, ".bin"))
        return BookFailure(FileErrorCode::WorkbookKindNotRead, path, ".xlsb");
    if (!z.find(workbookPart))
        return FileStatus(FileErrorCode::NotWorkbook, path);

    WorkbookHandler workbook;
    if (FileStatus read = book->parsePart(workbookPart, workbook, false); !read)
        return read;
    RelsHandler rels;
    if (FileStatus read = book->parsePart(RelsOf(workbookPart), rels, true); !read)
        return read;
    for (const auto& [id, r] : rels.byId) {
        if (r.type == "sharedStrings")
            book->sharedStringsPart = ResolvePart(workbookPart, r.target);
        else if (r.type == "styles")
            book->stylesPart = ResolvePart(workbookPart, r.target);
    }
    for (const SheetEntry& s : workbook.sheets) {
        const auto it = rels.byId.find(s.relId);
        if (it == rels.byId.end() || it->second.type != "worksheet")
            continue; // a chart sheet, a dialog sheet: no cells
        book->sheetNames.push_back(s.name);
        book->sheetParts.push_back(ResolvePart(workbookPart, it->second.target));
    }
    if (book->sheetNames.empty())
        return BookFailure(FileErrorCode::WorkbookDamaged, path, workbookPart, "no worksheet");
    book->date1904 = workbook.date1904;
    out = std::move(book);
    return {};
}

} // namespace rasmik
