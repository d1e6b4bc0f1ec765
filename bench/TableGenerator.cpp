#include "TableGenerator.h"

#include "text/Cp1256.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <string_view>
#include <vector>

namespace rasmik::bench {

namespace {

// splitmix64: small, fast and the same everywhere.
class Random {
public:
    explicit Random(std::uint64_t seed) : x_(seed) { }
    std::uint64_t next()
    {
        std::uint64_t z = (x_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::uint64_t below(std::uint64_t n) { return next() % n; }
    bool chance(int percent) { return below(100) < static_cast<std::uint64_t>(percent); }

private:
    std::uint64_t x_;
};

std::vector<std::string> ToCp1256(std::initializer_list<const char*> words)
{
    std::vector<std::string> out;
    for (const char* w : words)
        out.push_back(Utf8ToCp1256(w));
    return out;
}

struct Vocabulary {
    std::vector<std::string> firstNames =
        ToCp1256({"علی",   "محمد",  "حسین", "رضا",   "مهدی",  "زهرا",    "فاطمه",   "مریم",    "سارا",   "نرگس",
                  "امیر",  "حمید",  "کاوه", "پرویز", "شیرین", "لیلا",    "بهرام",   "داریوش",  "منصور",  "ناصر",
                  "سیمین", "پروین", "عباس", "مصطفی", "یاسمن", "غلامرضا", "عبدالله", "اسماعیل", "کیومرث", "فرشته"});
    std::vector<std::string> lastNames =
        ToCp1256({"احمدی",  "محمدی",   "حسینی",   "رضایی", "کریمی",  "موسوی",    "جعفری",  "صادقی",  "رحیمی", "تهرانی",
                  "شیرازی", "اصفهانی", "قاسمی",   "نوری",  "کاظمی",  "هاشمی",    "یزدانی", "فرهادی", "مرادی", "سلطانی",
                  "بهشتی",  "طالقانی", "خراسانی", "زمانی", "پاکزاد", "امیرخانی", "لاهوتی", "میرزایی"});
    std::vector<std::string> cities =
        ToCp1256({"تهران",  "مشهد",  "اصفهان", "شیراز", "تبریز", "کرج",    "قم",     "اهواز",    "کرمانشاه",
                  "ارومیه", "رشت",   "زاهدان", "کرمان", "همدان", "یزد",    "اردبیل", "بندرعباس", "قزوین",
                  "زنجان",  "سنندج", "گرگان",  "ساری",  "بوشهر", "بیرجند", "سمنان"});
    std::vector<std::string> words =
        ToCp1256({"پرداخت", "قسط",     "خرید",  "فروش",  "کالا", "انبار",  "تحویل", "مرجوعی", "بابت",    "فاکتور",
                  "شماره",  "حساب",    "بانک",  "ملی",   "ملت",  "صادرات", "هزینه", "حمل",    "نقل",     "بیمه",
                  "مالیات", "تخفیف",   "پیش",   "اول",   "دوم",  "سوم",    "ماه",   "سال",    "قرارداد", "سفارش",
                  "تعمیر",  "نگهداری", "لوازم", "اداری", "پخش",  "مویرگی", "شعبه",  "مرکزی"});
    std::vector<std::string> latin = {"Tehran", "Trading", "Company", "Parts",     "Steel",  "Office",  "Supply",
                                      "Pars",   "Khazar",  "Alborz",  "Export",    "Import", "Group",   "Ltd",
                                      "Global", "Service", "Kish",    "Logistics", "Oil",    "Gas",     "Textile",
                                      "Food",   "Dairy",   "Motor",   "Electric",  "Design", "Systems", "Software",
                                      "Print",  "Media",   "Bank",    "Invest"};
    std::vector<std::string> units = ToCp1256({"عدد", "کیلو", "متر", "بسته", "کارتن", "لیتر"});
};

const Vocabulary& vocabulary()
{
    static const Vocabulary v;
    return v;
}

const std::string& pick(Random& rnd, const std::vector<std::string>& list)
{
    return list[rnd.below(list.size())];
}

void appendGrouped(std::string& out, std::uint64_t v)
{
    char digits[24];
    const int n = std::snprintf(digits, sizeof digits, "%llu", static_cast<unsigned long long>(v));
    for (int i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0)
            out.push_back(',');
        out.push_back(digits[i]);
    }
}

void appendNumber(std::string& out, std::uint64_t v)
{
    char digits[24];
    const int n = std::snprintf(digits, sizeof digits, "%llu", static_cast<unsigned long long>(v));
    out.append(digits, static_cast<std::size_t>(n));
}

constexpr int ColumnCount = 10;
using Widths = std::array<int, ColumnCount>;
// The columns of each kind, about 90 bytes a row in Windows-1256.
int ColumnsOf(TableKind kind)
{
    switch (kind) {
    case TableKind::Latin: return 5;
    case TableKind::Persian: return 6;
    case TableKind::Mixed: return 5;
    default: return ColumnCount;
    }
}

// Fixed widths: every field of a row fits its width, in characters (a
// UTF-8 table of the same kind is cut at the same character counts).
const Widths& FixedWidthsOf(TableKind kind)
{
    static const Widths repeated = {8, 22, 22, 16, 34, 9, 11, 10, 12, 22};
    static const Widths latin = {8, 36, 40, 16, 16};
    static const Widths persian = {8, 24, 40, 16, 40, 40};
    static const Widths mixed = {8, 24, 80, 16, 40};
    static const Widths huge = {8, 22, 22, 16, 34, 9, 11, 10, 12, 0};
    switch (kind) {
    case TableKind::Long: return huge;
    case TableKind::Latin: return latin;
    case TableKind::Persian: return persian;
    case TableKind::Mixed: return mixed;
    default: return repeated;
    }
}

// The fields of one body row.
void makeRow(Random& rnd, std::uint64_t number, bool last, std::array<std::string, ColumnCount>& f)
{
    const Vocabulary& v = vocabulary();
    for (auto& s : f)
        s.clear();
    appendNumber(f[0], number);
    f[1] = pick(rnd, v.firstNames) + ' ' + pick(rnd, v.lastNames);
    f[2] = pick(rnd, v.latin);
    if (rnd.chance(60)) {
        f[2] += ' ';
        f[2] += pick(rnd, v.latin);
    }
    {
        // Amounts of every size, a few negative in parentheses.
        static constexpr std::uint64_t Scales[] = {1000, 100000, 10000000, 1000000000};
        const std::uint64_t amount = rnd.below(Scales[rnd.below(4)]) + 1;
        const bool negative = rnd.chance(5);
        if (negative)
            f[3].push_back('(');
        appendGrouped(f[3], amount);
        if (negative)
            f[3].push_back(')');
    }
    if (last) {
        f[4] = Utf8ToCp1256(LastRowWordUtf8);
    } else if (!rnd.chance(30)) {
        const int n = 1 + static_cast<int>(rnd.below(4));
        for (int i = 0; i < n; ++i) {
            if (i)
                f[4] += ' ';
            f[4] += pick(rnd, v.words);
        }
    }
    f[5] = "AB-";
    f[5][1] = static_cast<char>('A' + rnd.below(26));
    appendNumber(f[5], 10000 + rnd.below(90000));
    {
        char date[16];
        std::snprintf(date, sizeof date, "%u/%02u/%02u", 1390u + static_cast<unsigned>(rnd.below(12)),
                      1u + static_cast<unsigned>(rnd.below(12)), 1u + static_cast<unsigned>(rnd.below(30)));
        f[6] = date;
    }
    f[7] = pick(rnd, v.cities);
    {
        appendGrouped(f[8], rnd.below(20000));
        f[8].push_back('.');
        const unsigned cents = static_cast<unsigned>(rnd.below(100));
        f[8].push_back(static_cast<char>('0' + cents / 10));
        f[8].push_back(static_cast<char>('0' + cents % 10));
    }
    if (rnd.chance(50)) {
        // Mixed text: a count, a unit and a Latin word.
        appendNumber(f[9], 1 + rnd.below(500));
        f[9] += ' ';
        f[9] += pick(rnd, v.units);
        if (rnd.chance(50)) {
            f[9] += ' ';
            f[9] += pick(rnd, v.latin);
        }
    }
}

// A comma-separated field: quoted when it holds a comma (amounts), and a
// share of the others too. Quoted text of the columns that are neither the
// row number nor the amounts gets a comma for its first space, and
// sometimes a word in quotes or a line break for its last space; the words
// stay whole, so that the searches find them.
void appendCsvField(std::string& out, std::string s, int column, Random& quoting)
{
    const bool quoted = s.find(',') != std::string::npos || quoting.chance(17);
    if (!quoted) {
        out += s;
        return;
    }
    if (column != 0 && column != AmountColumn) {
        const std::size_t first = s.find(' ');
        if (first != std::string::npos && s.find(',') == std::string::npos)
            s.replace(first, 1, ", ");
        if (quoting.chance(15))
            s = '"' + s + '"';
        const std::size_t last = s.rfind(' ');
        if (last != std::string::npos && last > first + 1 && quoting.chance(15))
            s.replace(last, 1, "\r\n");
    }
    out.push_back('"');
    for (const char ch : s) {
        if (ch == '"')
            out.push_back('"');
        out.push_back(ch);
    }
    out.push_back('"');
}

// Fixed widths count characters: a UTF-8 field is cut and padded at whole characters.
void appendFields(std::string& out, const std::array<std::string, ColumnCount>& f, TableFormat format,
                  const Widths& widths, int columns, TableEncoding encoding, Random* quoting = nullptr)
{
    for (int c = 0; c < columns; ++c) {
        const std::string& s = f[static_cast<std::size_t>(c)];
        const std::size_t w = static_cast<std::size_t>(widths[static_cast<std::size_t>(c)]);
        if (format == TableFormat::Csv) {
            if (c)
                out.push_back(',');
            if (quoting)
                appendCsvField(out, s, c, *quoting);
            else
                out += s;
        } else if (format == TableFormat::Tabs) {
            if (c)
                out.push_back('\t');
            out += s;
        } else if (w == 0) {
            out += s; // the last field, to the end of the line
        } else {
            std::size_t bytes = 0, characters = 0;
            while (bytes < s.size() && characters < w) {
                ++bytes;
                if (encoding == TableEncoding::Utf8)
                    while (bytes < s.size() && (static_cast<unsigned char>(s[bytes]) & 0xC0) == 0x80)
                        ++bytes;
                ++characters;
            }
            out.append(s, 0, bytes);
            out.append(w - characters, ' ');
        }
    }
    out += "\r\n";
}

std::string cfgPathFor(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        return path.substr(0, dot) + ".cfg";
    return path + ".cfg";
}

// ---- tables whose cells hardly ever repeat (fields in UTF-8) ----

const std::vector<std::string>& persianSyllables()
{
    static const std::vector<std::string> s = {"به", "را", "مي", "ني", "فر", "زا", "دي", "گل", "سا", "رو",
                                               "شه", "پو", "كو", "نا", "جه", "لا", "تا", "خس", "رز", "بو",
                                               "وا", "هو", "يا", "قا", "صا", "طه", "ظر", "عا", "غف", "ژا",
                                               "چه", "ثم", "ضا", "ذو", "اي", "آر", "مه", "سي", "كي", "بي"};
    return s;
}

// A Persian-looking word of two to four syllables: tens of thousands of them.
std::string persianWord(Random& rnd)
{
    const auto& syl = persianSyllables();
    std::string w;
    const int n = 2 + static_cast<int>(rnd.below(3));
    for (int i = 0; i < n; ++i)
        w += syl[rnd.below(syl.size())];
    return w;
}

const std::vector<std::string>& persianNamesUtf8()
{
    static const std::vector<std::string> s = {
        "علی",  "محمد",  "حسین",  "رضا",     "مهدی",    "زهرا",    "فاطمه",  "مریم",  "سارا", "نرگس",  "امیر",
        "حمید", "کاوه",  "پرویز", "شیرین",   "لیلا",    "بهرام",   "داریوش", "منصور", "ناصر", "سیمین", "پروین",
        "عباس", "مصطفی", "یاسمن", "غلامرضا", "عبدالله", "اسماعیل", "کیومرث", "فرشته", "لاله", "آرش",   "ژیلا"};
    return s;
}

const std::vector<std::string>& persianWordsUtf8()
{
    static const std::vector<std::string> s = {
        "پرداخت",  "قسط",   "خرید",  "فروش", "کالا",  "انبار",     "تحویل",   "مرجوعی",  "بابت",  "فاکتور", "شماره",
        "حساب",    "بانک",  "هزینه", "حمل",  "بیمه",  "مالیات",    "تخفیف",   "قرارداد", "سفارش", "تعمیر",  "نگهداری",
        "لوازم",   "اداری", "پخش",   "شعبه", "مرکزی", "مشتری",     "ارسال",   "پیگیری",  "تأیید", "لغو",    "بازگشت",
        "کارشناس", "گزارش", "بررسی", "جلسه", "پروژه", "طرح",       "ساختمان", "واحد",    "طبقه",  "خیابان", "کوچه",
        "پلاک",    "میدان", "بلوار", "شهرک", "صنعتی", "الکترونیک", "لاستیک",  "فولاد",   "لوله",  "اتصالات"};
    return s;
}

const std::vector<std::string>& latinWordsUtf8()
{
    static const std::vector<std::string> s = {
        "office",   "traffic",  "final",   "profile",   "offline",  "workflow",  "field",  "staff",
        "effort",   "firefox",  "shuffle", "difficult", "Tehran",   "Kish",      "Alborz", "Khazar",
        "Pars",     "Global",   "Service", "Export",    "Import",   "Logistics", "Steel",  "Motor",
        "Textile",  "Software", "Fiber",   "Affiliate", "Wave",     "AVATAR",    "Galaxy", "iPhone",
        "ThinkPad", "Mi",       "Redmi",   "Xperia",    "LaserJet", "Wi-Fi",     "USB-C",  "HDMI"};
    return s;
}

std::string pickOf(Random& rnd, const std::vector<std::string>& list)
{
    return list[rnd.below(list.size())];
}

std::string lowerWord(Random& rnd, int minLen, int maxLen)
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyz";
    const int n = minLen + static_cast<int>(rnd.below(static_cast<std::uint64_t>(maxLen - minLen + 1)));
    std::string w;
    for (int i = 0; i < n; ++i)
        w.push_back(letters[rnd.below(26)]);
    return w;
}

std::string hex(Random& rnd, int digits)
{
    static const char h[] = "0123456789abcdef";
    std::string s;
    for (int i = 0; i < digits; ++i)
        s.push_back(h[rnd.below(16)]);
    return s;
}

std::string uuid(Random& rnd)
{
    return hex(rnd, 8) + '-' + hex(rnd, 4) + '-' + hex(rnd, 4) + '-' + hex(rnd, 4) + '-' + hex(rnd, 12);
}

std::string number(std::uint64_t v)
{
    std::string s;
    appendNumber(s, v);
    return s;
}

std::string amount(Random& rnd)
{
    static constexpr std::uint64_t Scales[] = {1000, 100000, 10000000, 1000000000};
    std::string s;
    const bool negative = rnd.chance(5);
    if (negative)
        s.push_back('(');
    appendGrouped(s, rnd.below(Scales[rnd.below(4)]) + 1);
    if (negative)
        s.push_back(')');
    return s;
}

std::string persianPhrase(Random& rnd, int minWords, int maxWords)
{
    const int n = minWords + static_cast<int>(rnd.below(static_cast<std::uint64_t>(maxWords - minWords + 1)));
    std::string s;
    for (int i = 0; i < n; ++i) {
        if (i)
            s += ' ';
        s += rnd.chance(30) ? persianWord(rnd) : pickOf(rnd, persianWordsUtf8());
    }
    return s;
}

std::string persianName(Random& rnd)
{
    return pickOf(rnd, persianNamesUtf8()) + ' ' + persianWord(rnd) + (rnd.chance(30) ? "ی" : "");
}

// A row number, a UUID, an e-mail address or a URL, an amount, a hex key.
void makeLatinRow(Random& rnd, std::array<std::string, ColumnCount>& f)
{
    static const char* domains[] = {"gmail.com", "yahoo.com", "chmail.ir", "afranet.ir", "sharif.edu", "fanap.ir"};
    f[1] = uuid(rnd);
    if (rnd.chance(50))
        f[2] = lowerWord(rnd, 2, 7) + (rnd.chance(30) ? number(rnd.below(1000)) : "") + "@" + domains[rnd.below(6)];
    else
        f[2] = "http://" + lowerWord(rnd, 3, 6) + ".ir/" + hex(rnd, 4 + static_cast<int>(rnd.below(5)));
    f[3] = amount(rnd);
    f[4] = hex(rnd, 8 + static_cast<int>(rnd.below(9)));
}

// A row number, a name with a number, a short phrase, an amount, a phrase
// (empty in 40% of rows), a street and a house number.
void makePersianRow(Random& rnd, std::array<std::string, ColumnCount>& f)
{
    f[1] = persianName(rnd) + ' ' + number(1 + rnd.below(99999));
    f[2] = persianPhrase(rnd, 1, 3);
    f[3] = amount(rnd);
    f[4] = rnd.chance(40) ? std::string() : persianPhrase(rnd, 1, 2);
    f[5] = "خیابان " + persianWord(rnd) + " پلاک " + number(1 + rnd.below(400));
}

// A row number, a name, a note of Persian and Latin words with a code and an
// amount, an amount, a product of Persian and Latin words and a hex code.
void makeMixedRow(Random& rnd, std::array<std::string, ColumnCount>& f)
{
    f[1] = persianName(rnd);
    f[2] = "سفارش " + std::string(rnd.chance(50) ? "ORD-" : "fx-") + number(1000 + rnd.below(900000)) + " "
        + persianPhrase(rnd, 1, 2) + " " + pickOf(rnd, latinWordsUtf8()) + " " + lowerWord(rnd, 2, 6);
    f[3] = amount(rnd);
    f[4] = persianWord(rnd) + " " + pickOf(rnd, latinWordsUtf8()) + " " + hex(rnd, 4);
}

// About 10,000 characters of Persian and Latin words.
std::string hugeText(Random& rnd)
{
    std::string s;
    while (s.size() < 14000) { // Persian letters take two bytes in UTF-8
        if (!s.empty())
            s += ' ';
        s += rnd.chance(70) ? persianPhrase(rnd, 1, 1) : pickOf(rnd, latinWordsUtf8());
    }
    return s;
}

} // namespace

bool ParseTableKind(const std::string& name, TableKind& kind)
{
    for (const TableKind k :
         {TableKind::Repeated, TableKind::Latin, TableKind::Persian, TableKind::Mixed, TableKind::Long})
        if (name == TableKindName(k)) {
            kind = k;
            return true;
        }
    return false;
}

const char* TableKindName(TableKind kind)
{
    switch (kind) {
    case TableKind::Latin: return "latin";
    case TableKind::Persian: return "persian";
    case TableKind::Mixed: return "mixed";
    case TableKind::Long: return "long";
    default: return "repeated";
    }
}

namespace {

// Fields in the table's encoding: the lists of the repeated kind are held in
// Windows-1256, the other kinds are made in UTF-8.
void encodeFields(std::array<std::string, ColumnCount>& f, bool fromUtf8, TableEncoding encoding)
{
    for (auto& s : f) {
        if (fromUtf8 && encoding == TableEncoding::Cp1256)
            s = Utf8ToCp1256(s);
        else if (!fromUtf8 && encoding == TableEncoding::Utf8)
            s = Cp1256ToUtf8(s);
    }
}

void makeBodyRow(Random& rnd, std::uint64_t row, bool last, TableKind kind, TableEncoding encoding,
                 std::array<std::string, ColumnCount>& f)
{
    if (kind == TableKind::Repeated || kind == TableKind::Long) {
        makeRow(rnd, row, last, f);
        encodeFields(f, false, encoding);
        // A few huge cells, spread over the table.
        if (kind == TableKind::Long && (row % 200000 == 100000 || row == 7)) {
            f[9] = hugeText(rnd);
            if (encoding == TableEncoding::Cp1256)
                f[9] = Utf8ToCp1256(f[9]);
        }
        return;
    }
    for (auto& s : f)
        s.clear();
    f[0] = number(row);
    if (kind == TableKind::Latin)
        makeLatinRow(rnd, f);
    else if (kind == TableKind::Persian)
        makePersianRow(rnd, f);
    else
        makeMixedRow(rnd, f);
    if (last)
        f[4] = LastRowWordUtf8;
    encodeFields(f, true, encoding);
}

} // namespace

GeneratedTable GenerateTable(const std::string& path, std::uint64_t bodyRows, TableFormat format, TableKind kind,
                             TableEncoding encoding, int columns, std::uint64_t seed)
{
    const int kept = columns > 0 ? std::min(columns, ColumnsOf(kind)) : ColumnsOf(kind);
    GeneratedTable result;
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!file)
        return result;
    Random rnd(seed);
    // Quoting draws from its own sequence: the cells are those of the other formats.
    Random quoting(seed + 1);
    std::array<std::string, ColumnCount> fields;
    std::string out;
    out.reserve(1 << 20);
    const Widths& widths = FixedWidthsOf(kind);
    {
        const char* names[ColumnCount] = {
            "ردیف", "نام و نام خانوادگی", "Company", "مبلغ (ریال)", "شرح", "کد", "تاریخ", "شهر", "مقدار", "توضیحات"};
        for (int c = 0; c < ColumnCount; ++c)
            fields[static_cast<std::size_t>(c)] = names[c];
        encodeFields(fields, true, encoding);
        appendFields(out, fields, format, widths, kept, encoding);
    }
    for (std::uint64_t r = 1; r <= bodyRows; ++r) {
        makeBodyRow(rnd, r, r == bodyRows, kind, encoding, fields);
        appendFields(out, fields, format, widths, kept, encoding, &quoting);
        if (out.size() >= (1u << 20)) {
            if (std::fwrite(out.data(), 1, out.size(), file.get()) != out.size())
                return result;
            result.bytes += out.size();
            out.clear();
        }
    }
    if (std::fwrite(out.data(), 1, out.size(), file.get()) != out.size())
        return result;
    result.bytes += out.size();
    if (std::fflush(file.get()) != 0)
        return result;

    const std::string cfg = cfgPathFor(path);
    std::remove(cfg.c_str());
    if (format == TableFormat::Fixed) {
        std::string line = "CellFormat=";
        for (int c = 0; c < kept; ++c) {
            if (c)
                line += ' ';
            line += std::to_string(widths[static_cast<std::size_t>(c)]);
        }
        line += "\r\n";
        std::unique_ptr<FILE, int (*)(FILE*)> cfgFile(std::fopen(cfg.c_str(), "wb"), &std::fclose);
        if (!cfgFile || std::fwrite(line.data(), 1, line.size(), cfgFile.get()) != line.size())
            return result;
    }
    result.path = path;
    result.rows = bodyRows + 1;
    return result;
}

} // namespace rasmik::bench
