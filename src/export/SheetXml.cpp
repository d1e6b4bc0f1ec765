#include "export/SheetXml.h"

#include "export/Workbook.h"
#include "text/Cp1256.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace rasmik {

namespace {

constexpr std::string_view XmlDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
constexpr std::string_view MainNs = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr std::string_view RelNs = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
// Excel's default column width in characters, and how it is stored.
constexpr double DefaultColumnWidth = 8.43;
constexpr double MaxColumnWidth = 255;

// What a byte of cell text needs, beyond being copied.
enum ByteKind : unsigned char { Plain, Nul, Control, Amp, Less, Greater, Underscore, High };

struct ByteKinds {
    ByteKind kind[256];
    constexpr ByteKinds() : kind()
    {
        for (int b = 0; b < 256; ++b)
            kind[b] = b >= 0x80 ? High : Plain;
        for (int b = 1; b < 0x20; ++b)
            kind[b] = Control;
        kind[0] = Nul;
        kind['\t'] = Plain;
        kind['\n'] = Plain;
        kind['&'] = Amp;
        kind['<'] = Less;
        kind['>'] = Greater;
        kind['_'] = Underscore;
    }
};
constexpr ByteKinds Kinds;

// UTF-8 of every Windows-1256 byte, built once from the code page table.
struct Utf8Byte {
    char bytes[3] = {};
    unsigned char length = 0;
};

const Utf8Byte* Cp1256Utf8()
{
    static const auto table = [] {
        std::array<Utf8Byte, 256> t{};
        for (int b = 0; b < 256; ++b) {
            const char32_t cp = Cp1256ToUnicodeChar(static_cast<unsigned char>(b));
            Utf8Byte& u = t[static_cast<std::size_t>(b)];
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
    return table.data();
}

bool IsHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// "_xHHHH_" at field[i].
bool EscapeAt(std::string_view field, std::size_t i)
{
    return i + 6 < field.size() && field[i + 1] == 'x' && IsHex(field[i + 2]) && IsHex(field[i + 3])
        && IsHex(field[i + 4]) && IsHex(field[i + 5]) && field[i + 6] == '_';
}

// What XML cannot hold at all (a lone surrogate, U+FFFE, U+FFFF) as U+FFFD.
char32_t XmlCharacter(char32_t cp)
{
    return (cp >= 0xD800 && cp <= 0xDFFF) || cp == 0xFFFE || cp == 0xFFFF ? 0xFFFD : cp;
}

char* PutUtf8(char* out, char32_t cp)
{
    if (cp < 0x80) {
        *out++ = static_cast<char>(cp);
    } else if (cp < 0x800) {
        *out++ = static_cast<char>(0xC0 | (cp >> 6));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        *out++ = static_cast<char>(0xE0 | (cp >> 12));
        *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        *out++ = static_cast<char>(0xF0 | (cp >> 18));
        *out++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        *out++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        *out++ = static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

char* PutText(char* out, std::string_view s)
{
    std::memcpy(out, s.data(), s.size());
    return out + s.size();
}

// XML text of a sheet or other name: & < > and, for attributes, ".
void AppendEscaped(std::string& out, std::string_view s, bool attribute)
{
    for (const char c : s) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"':
            if (attribute) {
                out += "&quot;";
                break;
            }
            [[fallthrough]];
        default: out += c;
        }
    }
}

// The stored width of a column width in characters (at most 255), as Excel
// computes it from a font whose digits are 7 pixels wide with 5 of padding.
double StoredWidth(double width)
{
    if (width <= 0)
        return 0;
    if (width < 1)
        return static_cast<std::uint16_t>(static_cast<std::uint16_t>(width * 12 + 0.5) / 7.0 * 256.0) / 256.0;
    return static_cast<std::uint16_t>((static_cast<std::uint16_t>(width * 7 + 0.5) + 5) / 7.0 * 256.0) / 256.0;
}

void AppendNumber(std::string& out, double v)
{
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

void AppendNumber(std::string& out, std::uint64_t v)
{
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

} // namespace

std::string SheetNameProblem(std::string_view name)
{
    std::size_t chars = 0;
    for (const char c : name) {
        if (StartsCharacter(static_cast<unsigned char>(c)))
            ++chars;
        if (std::string_view("[]:*?/\\").find(c) != std::string_view::npos)
            return "Worksheet name cannot contain invalid characters: '[ ] : * ? / \\'";
        // XML cannot hold them in an attribute.
        if (static_cast<unsigned char>(c) < 0x20)
            return "Worksheet name cannot contain control characters.";
    }
    if (chars > 31)
        return "Worksheet name exceeds Excel's limit of 31 characters.";
    if (!name.empty() && (name.front() == '\'' || name.back() == '\''))
        return "Worksheet name cannot start or end with an apostrophe.";
    return {};
}

std::string ContentTypesXml()
{
    std::string x(XmlDeclaration);
    x += "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
         "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
         "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
         "<Override PartName=\"/docProps/app.xml\" "
         "ContentType=\"application/vnd.openxmlformats-officedocument.extended-properties+xml\"/>"
         "<Override PartName=\"/docProps/core.xml\" "
         "ContentType=\"application/vnd.openxmlformats-package.core-properties+xml\"/>"
         "<Override PartName=\"/xl/styles.xml\" "
         "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>"
         "<Override PartName=\"/xl/workbook.xml\" "
         "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
         "<Override PartName=\"/xl/worksheets/sheet1.xml\" "
         "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
         "</Types>";
    return x;
}

std::string PackageRelsXml()
{
    std::string x(XmlDeclaration);
    x += "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
         "<Relationship Id=\"rId1\" "
         "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
         "Target=\"xl/workbook.xml\"/>"
         "<Relationship Id=\"rId2\" "
         "Type=\"http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties\" "
         "Target=\"docProps/core.xml\"/>"
         "<Relationship Id=\"rId3\" "
         "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/extended-properties\" "
         "Target=\"docProps/app.xml\"/>"
         "</Relationships>";
    return x;
}

std::string AppPropertiesXml(std::string_view sheetName)
{
    std::string x(XmlDeclaration);
    x += "<Properties xmlns=\"http://schemas.openxmlformats.org/officeDocument/2006/extended-properties\" "
         "xmlns:vt=\"http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes\">"
         "<Application>Microsoft Excel</Application><DocSecurity>0</DocSecurity><ScaleCrop>false</ScaleCrop>"
         "<HeadingPairs><vt:vector size=\"2\" baseType=\"variant\"><vt:variant><vt:lpstr>Worksheets</vt:lpstr>"
         "</vt:variant><vt:variant><vt:i4>1</vt:i4></vt:variant></vt:vector></HeadingPairs>"
         "<TitlesOfParts><vt:vector size=\"1\" baseType=\"lpstr\"><vt:lpstr>";
    AppendEscaped(x, sheetName, false);
    x += "</vt:lpstr></vt:vector></TitlesOfParts><Company></Company><LinksUpToDate>false</LinksUpToDate>"
         "<SharedDoc>false</SharedDoc><HyperlinksChanged>false</HyperlinksChanged><AppVersion>12.0000</AppVersion>"
         "</Properties>";
    return x;
}

std::string CorePropertiesXml(std::time_t created)
{
    std::tm tm{};
    char when[32] = "1980-01-01T00:00:00Z";
    if (::gmtime_r(&created, &tm))
        std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", &tm);
    std::string x(XmlDeclaration);
    x += "<cp:coreProperties xmlns:cp=\"http://schemas.openxmlformats.org/package/2006/metadata/core-properties\" "
         "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" xmlns:dcterms=\"http://purl.org/dc/terms/\" "
         "xmlns:dcmitype=\"http://purl.org/dc/dcmitype/\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">"
         "<dc:creator></dc:creator><cp:lastModifiedBy></cp:lastModifiedBy>"
         "<dcterms:created xsi:type=\"dcterms:W3CDTF\">";
    x += when;
    x += "</dcterms:created><dcterms:modified xsi:type=\"dcterms:W3CDTF\">";
    x += when;
    x += "</dcterms:modified></cp:coreProperties>";
    return x;
}

std::string WorkbookXml(std::string_view sheetName)
{
    std::string x(XmlDeclaration);
    x += "<workbook xmlns=\"";
    x += MainNs;
    x += "\" xmlns:r=\"";
    x += RelNs;
    x += "\"><fileVersion appName=\"xl\" lastEdited=\"4\" lowestEdited=\"4\" rupBuild=\"4505\"/>"
         "<workbookPr defaultThemeVersion=\"124226\"/><bookViews><workbookView xWindow=\"240\" yWindow=\"15\" "
         "windowWidth=\"16095\" windowHeight=\"9660\"/></bookViews><sheets><sheet name=\"";
    AppendEscaped(x, sheetName, true);
    x += "\" sheetId=\"1\" r:id=\"rId1\"/></sheets><calcPr calcId=\"124519\" fullCalcOnLoad=\"1\"/></workbook>";
    return x;
}

std::string WorkbookRelsXml()
{
    std::string x(XmlDeclaration);
    x += "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
         "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
         "worksheet\" Target=\"worksheets/sheet1.xml\"/>"
         "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
         "styles\" Target=\"styles.xml\"/>"
         "</Relationships>";
    return x;
}

std::string StylesXml()
{
    // Style 1 is the text format, built-in number format 49 ("@"). No
    // theme: the font names its own face.
    std::string x(XmlDeclaration);
    x += "<styleSheet xmlns=\"";
    x += MainNs;
    x += "\"><fonts count=\"1\"><font><sz val=\"11\"/><name val=\"Calibri\"/><family val=\"2\"/></font></fonts>"
         "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
         "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
         "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
         "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellStyleXfs>"
         "<cellXfs count=\"2\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/>"
         "<xf numFmtId=\"49\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyNumberFormat=\"1\"/>"
         "</cellXfs><cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles>"
         "<dxfs count=\"0\"/><tableStyles count=\"0\" defaultTableStyle=\"TableStyleMedium9\" "
         "defaultPivotStyle=\"PivotStyleLight16\"/></styleSheet>";
    return x;
}

bool FieldHasText(std::string_view field)
{
    for (const char c : field)
        if (c != '\0')
            return true;
    return false;
}

SheetXml::SheetXml(TextEncoding held) : held_(held)
{
}

SheetXml::~SheetXml() = default;

char* SheetXml::room(std::size_t n)
{
    if (capacity_ - size_ < n) {
        const std::size_t wanted = std::max({capacity_ * 2, size_ + n, std::size_t{512} << 10});
        std::unique_ptr<char[]> bigger(new char[wanted]);
        if (size_ != 0)
            std::memcpy(bigger.get(), data_.get(), size_);
        data_ = std::move(bigger);
        capacity_ = wanted;
    }
    return data_.get() + size_;
}

void SheetXml::put(std::string_view s)
{
    std::memcpy(room(s.size()), s.data(), s.size());
    size_ += s.size();
}

void SheetXml::head(std::size_t lastCol, std::size_t lastRow, const SheetLook& look)
{
    letters_.resize(lastCol + 1);
    for (std::size_t c = 0; c <= lastCol; ++c) {
        const std::string l = ColumnLetters(static_cast<int>(c + 1));
        auto& cell = letters_[c];
        std::memcpy(cell.data(), l.data(), l.size());
        cell[3] = static_cast<char>(l.size());
    }

    std::string x(XmlDeclaration);
    x += "<worksheet xmlns=\"";
    x += MainNs;
    x += "\" xmlns:r=\"";
    x += RelNs;
    x += "\"><dimension ref=\"A1";
    if (lastCol != 0 || lastRow != 0) {
        x += ':';
        x += CellAddress(static_cast<int>(lastCol + 1), lastRow + 1);
    }
    x += "\"/><sheetViews><sheetView ";
    if (look.rightToLeft)
        x += "rightToLeft=\"1\" ";
    x += "tabSelected=\"1\" workbookViewId=\"0\"";
    if (look.freezeHeaderRow && lastRow > 0)
        x += "><pane ySplit=\"1\" topLeftCell=\"A2\" activePane=\"bottomLeft\" state=\"frozen\"/>"
             "<selection pane=\"bottomLeft\"/></sheetView>";
    else
        x += "/>";
    x += "</sheetViews><sheetFormatPr defaultRowHeight=\"15\"/><cols>";
    // Runs of columns of one width share an element.
    const auto widthOf = [&](std::size_t c) {
        return c < look.columnWidths.size() && look.columnWidths[c] >= 0
            ? std::min(look.columnWidths[c], MaxColumnWidth)
            : DefaultColumnWidth;
    };
    for (std::size_t c = 0; c <= lastCol;) {
        const double width = widthOf(c);
        std::size_t last = c;
        while (last < lastCol && widthOf(last + 1) == width)
            ++last;
        x += "<col min=\"";
        AppendNumber(x, std::uint64_t(c + 1));
        x += "\" max=\"";
        AppendNumber(x, std::uint64_t(last + 1));
        x += "\" width=\"";
        AppendNumber(x, StoredWidth(width));
        x += "\" style=\"1\"";
        if (width != DefaultColumnWidth)
            x += " customWidth=\"1\"";
        x += "/>";
        c = last + 1;
    }
    x += "</cols><sheetData>";
    put(x);
}

void SheetXml::beginRow(std::size_t row)
{
    const auto r = std::to_chars(rowDigits_, rowDigits_ + sizeof rowDigits_, std::uint64_t(row) + 1);
    rowDigitCount_ = static_cast<std::size_t>(r.ptr - rowDigits_);
    char* out = room(32);
    out = PutText(out, "<row r=\"");
    std::memcpy(out, rowDigits_, rowDigitCount_);
    out += rowDigitCount_;
    out = PutText(out, "\">");
    size_ = static_cast<std::size_t>(out - data_.get());
    ++rows_;
}

void SheetXml::endRow()
{
    put("</row>");
}

void SheetXml::cellStart(std::size_t col)
{
    char* out = data_.get() + size_;
    out = PutText(out, "<c r=\"");
    const auto& l = letters_[col];
    std::memcpy(out, l.data(), 3);
    out += l[3];
    std::memcpy(out, rowDigits_, rowDigitCount_);
    out += rowDigitCount_;
    size_ = static_cast<std::size_t>(out - data_.get());
    ++cells_;
}

void SheetXml::blank(std::size_t col)
{
    room(64);
    cellStart(col);
    put("\" s=\"1\"/>");
}

void SheetXml::cell(std::size_t col, std::string_view field)
{
    // Worst case a byte becomes seven ("_x0001_", "_x005F_").
    room(field.size() * 7 + 128);
    cellStart(col);
    // Leading or trailing white space is kept only when the element says so.
    std::size_t first = 0;
    while (first < field.size() && field[first] == '\0')
        ++first;
    std::size_t last = field.size();
    while (last > first && field[last - 1] == '\0')
        --last;
    const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\n'; };
    const bool preserve = first < last && (space(field[first]) || space(field[last - 1]));
    char* out = data_.get() + size_;
    out = PutText(out,
                  preserve ? std::string_view("\" s=\"1\" t=\"inlineStr\"><is><t xml:space=\"preserve\">")
                           : std::string_view("\" s=\"1\" t=\"inlineStr\"><is><t>"));
    out = text(out, field);
    out = PutText(out, "</t></is></c>");
    size_ = static_cast<std::size_t>(out - data_.get());
}

// Cell text as the sheet holds it: UTF-8 of the field's characters, markup
// escaped, and what XML cannot hold as "_xHHHH_", which readers decode; a
// literal "_xHHHH_" gets its underscore escaped so it comes back as typed.
// NUL is dropped; a lone surrogate and U+FFFE, U+FFFF become U+FFFD.
char* SheetXml::text(char* out, std::string_view field) const
{
    static constexpr char Hex[] = "0123456789ABCDEF";
    const Utf8Byte* cp1256 = held_ == TextEncoding::Windows1256 ? Cp1256Utf8() : nullptr;
    const char* s = field.data();
    const std::size_t n = field.size();
    std::size_t i = 0;
    std::size_t run = 0; // start of the bytes copied as they are
    while (i < n) {
        const unsigned char b = static_cast<unsigned char>(s[i]);
        const ByteKind kind = Kinds.kind[b];
        if (kind == Plain) {
            ++i;
            continue;
        }
        if (kind == High && !cp1256) {
            // Well-formed two-byte characters pass as they are.
            if (b >= 0xC2 && b <= 0xDF && i + 1 < n && (static_cast<unsigned char>(s[i + 1]) & 0xC0) == 0x80) {
                i += 2;
                continue;
            }
        }
        std::memcpy(out, s + run, i - run);
        out += i - run;
        switch (kind) {
        case Nul: ++i; break;
        case Control:
            out = PutText(out, "_x00");
            *out++ = Hex[b >> 4];
            *out++ = Hex[b & 15];
            *out++ = '_';
            ++i;
            break;
        case Amp:
            out = PutText(out, "&amp;");
            ++i;
            break;
        case Less:
            out = PutText(out, "&lt;");
            ++i;
            break;
        case Greater:
            out = PutText(out, "&gt;");
            ++i;
            break;
        case Underscore:
            out = PutText(out, EscapeAt(field, i) ? std::string_view("_x005F_") : std::string_view("_"));
            ++i;
            break;
        default:
            if (cp1256) {
                const Utf8Byte& u = cp1256[b];
                std::memcpy(out, u.bytes, 3);
                out += u.length;
                ++i;
            } else {
                out = PutUtf8(out, XmlCharacter(NextCodePoint(field, i)));
            }
            break;
        }
        run = i;
    }
    std::memcpy(out, s + run, n - run);
    return out + (n - run);
}

std::string SheetTextUtf8(std::string_view field, TextEncoding held)
{
    std::string out;
    for (std::size_t i = 0; i < field.size();) {
        if (field[i] == '_' && EscapeAt(field, i)) {
            out += "_x005F_";
            ++i;
            continue;
        }
        const char32_t cp = held == TextEncoding::Windows1256
            ? Cp1256ToUnicodeChar(static_cast<unsigned char>(field[i++]))
            : NextCodePoint(field, i);
        if (cp != 0)
            AppendUtf8(out, XmlCharacter(cp));
    }
    return out;
}

void SheetXml::tail()
{
    put("</sheetData><pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" header=\"0.3\" "
        "footer=\"0.3\"/></worksheet>");
}

} // namespace rasmik
