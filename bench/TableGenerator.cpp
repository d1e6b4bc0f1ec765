#include "TableGenerator.h"

#include "text/Cp1256.h"

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
    explicit Random(std::uint64_t seed) : x_(seed) {}
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
    std::vector<std::string> firstNames = ToCp1256({
        "علی", "محمد", "حسین", "رضا", "مهدی", "زهرا", "فاطمه", "مریم", "سارا", "نرگس", "امیر", "حمید",
        "کاوه", "پرویز", "شیرین", "لیلا", "بهرام", "داریوش", "منصور", "ناصر", "سیمین", "پروین", "عباس",
        "مصطفی", "یاسمن", "غلامرضا", "عبدالله", "اسماعیل", "کیومرث", "فرشته"});
    std::vector<std::string> lastNames = ToCp1256({
        "احمدی", "محمدی", "حسینی", "رضایی", "کریمی", "موسوی", "جعفری", "صادقی", "رحیمی", "تهرانی",
        "شیرازی", "اصفهانی", "قاسمی", "نوری", "کاظمی", "هاشمی", "یزدانی", "فرهادی", "مرادی", "سلطانی",
        "بهشتی", "طالقانی", "خراسانی", "زمانی", "پاکزاد", "امیرخانی", "لاهوتی", "میرزایی"});
    std::vector<std::string> cities = ToCp1256({
        "تهران", "مشهد", "اصفهان", "شیراز", "تبریز", "کرج", "قم", "اهواز", "کرمانشاه", "ارومیه", "رشت",
        "زاهدان", "کرمان", "همدان", "یزد", "اردبیل", "بندرعباس", "قزوین", "زنجان", "سنندج", "گرگان",
        "ساری", "بوشهر", "بیرجند", "سمنان"});
    std::vector<std::string> words = ToCp1256({
        "پرداخت", "قسط", "خرید", "فروش", "کالا", "انبار", "تحویل", "مرجوعی", "بابت", "فاکتور", "شماره",
        "حساب", "بانک", "ملی", "ملت", "صادرات", "هزینه", "حمل", "نقل", "بیمه", "مالیات", "تخفیف",
        "پیش", "اول", "دوم", "سوم", "ماه", "سال", "قرارداد", "سفارش", "تعمیر", "نگهداری", "لوازم",
        "اداری", "پخش", "مویرگی", "شعبه", "مرکزی"});
    std::vector<std::string> latin = {
        "Tehran",   "Trading", "Company", "Parts",    "Steel",   "Office", "Supply", "Pars",
        "Khazar",   "Alborz",  "Export",  "Import",   "Group",   "Ltd",    "Global", "Service",
        "Kish",     "Logistics", "Oil",   "Gas",      "Textile", "Food",   "Dairy",  "Motor",
        "Electric", "Design",  "Systems", "Software", "Print",   "Media",  "Bank",   "Invest"};
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
// Fixed widths: every field of a row fits its width.
constexpr std::array<int, ColumnCount> FixedWidths = {8, 22, 22, 16, 34, 9, 11, 10, 12, 22};

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

void appendFields(std::string& out, const std::array<std::string, ColumnCount>& f, TableFormat format)
{
    for (int c = 0; c < ColumnCount; ++c) {
        const std::string& s = f[static_cast<std::size_t>(c)];
        if (format == TableFormat::Tabs) {
            if (c)
                out.push_back('\t');
            out += s;
        } else {
            const std::size_t w = static_cast<std::size_t>(FixedWidths[static_cast<std::size_t>(c)]);
            if (s.size() >= w) {
                out.append(s, 0, w);
            } else {
                out += s;
                out.append(w - s.size(), ' ');
            }
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

} // namespace

GeneratedTable GenerateTable(const std::string& path, std::uint64_t bodyRows, TableFormat format,
                             std::uint64_t seed)
{
    GeneratedTable result;
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!file)
        return result;
    Random rnd(seed);
    std::array<std::string, ColumnCount> fields;
    std::string out;
    out.reserve(1 << 20);
    {
        const auto names = ToCp1256({"ردیف", "نام و نام خانوادگی", "Company", "مبلغ (ریال)", "شرح",
                                     "کد", "تاریخ", "شهر", "مقدار", "توضیحات"});
        for (int c = 0; c < ColumnCount; ++c)
            fields[static_cast<std::size_t>(c)] = names[static_cast<std::size_t>(c)];
        appendFields(out, fields, format);
    }
    for (std::uint64_t r = 1; r <= bodyRows; ++r) {
        makeRow(rnd, r, r == bodyRows, fields);
        appendFields(out, fields, format);
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
        for (int c = 0; c < ColumnCount; ++c) {
            if (c)
                line += ' ';
            line += std::to_string(FixedWidths[static_cast<std::size_t>(c)]);
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
