// Column widths of UTF-8 tables: exactly the widths found by measuring every
// cell's text with the grid font, for every kind of table the benchmark
// makes: repeated values, Latin identifiers, Persian text holding U+06CC and
// Persian digits, mixed notes, and a few huge cells.

#include "render/QtTextMetrics.h"
#include "table/CoreGrid.h"
#include "table/TableLayout.h"
#include "table/TextAlphabet.h"

#include <QGuiApplication>
#include <QRandomGenerator>
#include <QtTest>

#include <cmath>
#include <string>
#include <vector>

using namespace rasmik;

namespace {

std::string Pick(QRandomGenerator& rng, const std::vector<std::string>& list)
{
    return list[static_cast<std::size_t>(rng.bounded(static_cast<int>(list.size())))];
}

// Letters one by one (two bytes each, U+06CC and U+06C0 among them, which
// Windows-1256 lacks), marks, joiners and Persian or Arabic-Indic digits.
std::string PersianText(QRandomGenerator& rng)
{
    static const std::vector<std::string> letters = {
        "ا", "ب", "پ", "ت", "ث", "ج", "چ", "ح", "خ", "د", "ذ", "ر", "ز", "ژ", "س", "ش", "ص", "ض", "ط", "ظ", "ع",
        "غ", "ف", "ق", "ک", "گ", "ل", "م", "ن", "و", "ه", "ی", "ی", "ی", "ئ", "ؤ", "آ", "أ", "ۀ", "ة", "ي", "ك"};
    static const std::vector<std::string> extras = {"\u200C", "لا", "ـ", "\u064E", "\u0651", "\u0670"};
    static const std::vector<std::string> digits = {"۰", "۱", "۲", "۳", "۴", "۵", "۶", "۷", "۸", "۹", "٤", "٫"};
    std::string s;
    const int words = rng.bounded(1, 4);
    for (int w = 0; w < words; ++w) {
        if (w)
            s += ' ';
        const int n = rng.bounded(1, 9);
        for (int i = 0; i < n; ++i)
            s += rng.bounded(10) == 0 && i > 0 ? Pick(rng, extras) : Pick(rng, letters);
    }
    if (rng.bounded(3) == 0) {
        s += ' ';
        for (int i = rng.bounded(1, 7); i > 0; --i)
            s += Pick(rng, digits);
    }
    return s;
}

std::string LatinIdentifier(QRandomGenerator& rng)
{
    auto lower = [&](int n) {
        std::string w;
        for (int i = 0; i < n; ++i)
            w.push_back(rng.bounded(4) == 0 ? 'f' : static_cast<char>('a' + rng.bounded(26)));
        return w;
    };
    auto hex = [&](int n) {
        std::string h;
        for (int i = 0; i < n; ++i)
            h.push_back("0123456789abcdef"[rng.bounded(16)]);
        return h;
    };
    switch (rng.bounded(4)) {
    case 0: return hex(8) + "-" + hex(4) + "-" + hex(4) + "-" + hex(12);
    case 1: return lower(rng.bounded(2, 9)) + "." + lower(rng.bounded(2, 9)) + "@" + lower(rng.bounded(3, 7)) + ".ir";
    case 2: return "https://" + lower(rng.bounded(3, 9)) + ".com/" + lower(rng.bounded(1, 6));
    default: return "ffi" + lower(rng.bounded(1, 6)) + "-" + std::to_string(rng.bounded(100000));
    }
}

std::string Cell(QRandomGenerator& rng, const QString& kind)
{
    static const std::vector<std::string> repeated = {
        "تهران", "یزد", "کرمان", "علی", "مریم", "نام خانوادگی", "۱۴۰۲/۰۱/۰۱", "ACME Ltd", "café", "۱۲٬۵۰۰", "ی"};
    if (kind == QLatin1String("repeated"))
        return Pick(rng, repeated);
    if (kind == QLatin1String("latin"))
        return LatinIdentifier(rng);
    if (kind == QLatin1String("persian"))
        return PersianText(rng);
    if (kind == QLatin1String("digits")) {
        // Amounts and dates in Persian and Arabic-Indic digits and separators.
        static const std::vector<std::string> digits = {"۰", "۱", "۲", "۳", "۴", "۵", "۶", "۷", "۸", "۹",
                                                        "٠", "١", "٢", "٣", "٤", "٥", "٦", "٧", "٨", "٩"};
        static const std::vector<std::string> between = {"٫", "٬", "/", ",", ".", " ", "٪", "-", "ی"};
        std::string s;
        for (int i = rng.bounded(1, 16); i > 0; --i)
            s += rng.bounded(4) == 0 ? Pick(rng, between) : Pick(rng, digits);
        return s;
    }
    if (kind == QLatin1String("latin persian"))
        return LatinIdentifier(rng) + (rng.bounded(2) ? " " : "") + PersianText(rng);
    // Mixed notes: Persian and Latin, now and then a mark first, a letter
    // beyond the first plane, or a character Windows-1256 has exactly.
    std::string s;
    const int parts = rng.bounded(1, 4);
    for (int i = 0; i < parts; ++i) {
        if (i)
            s += ' ';
        const int k = rng.bounded(6);
        s += k < 2   ? PersianText(rng)
            : k == 2 ? LatinIdentifier(rng)
            : k == 3 ? Pick(rng, repeated)
            : k == 4 ? std::string("\xF0\x9F\x93\x9E ") + std::to_string(rng.bounded(1000))
                     : std::string("« ") + "نقد" + " »";
    }
    if (rng.bounded(6) == 0)
        s = "\u200E" + s;
    return s;
}

CoreGrid MakeGrid(const QString& kind, int cols, int rows, quint32 seed)
{
    QRandomGenerator rng(seed);
    CoreGrid grid;
    grid.Reset(cols, rows);
    grid.SetEncoding(TextEncoding::Utf8);
    const bool huge = kind == QLatin1String("long");
    for (int c = 0; c < cols; ++c)
        for (int r = 0; r < rows; ++r)
            grid.SetCell(c, r, Cell(rng, huge ? QStringLiteral("mixed") : kind));
    if (huge) {
        // A few cells of 10,000 characters, cut anywhere but inside one.
        for (const int row : {3, rows / 2, rows - 1}) {
            std::string text;
            while (CharacterCount(text, TextEncoding::Utf8) < 10000)
                text += Cell(rng, QStringLiteral("mixed")) + " ";
            grid.SetCell(1, row, std::string(CutAtCharacter(text, text.size() - 1 - row % 5, TextEncoding::Utf8)));
        }
    }
    return grid;
}

std::vector<int> MeasureEveryCell(const CoreGrid& grid, const TextMetrics& metrics, int gridWidth)
{
    const int cap = static_cast<int>(std::lround(0.8 * gridWidth));
    std::vector<int> widths;
    for (int c = 0; c < grid.ColCount(); ++c) {
        int w = MinColumnWidth;
        for (int r = 0; r < grid.RowCount(); ++r)
            w = std::max(w, metrics.utf8TextWidth(grid.Cell(c, r)));
        widths.push_back(std::min(w, cap));
    }
    return widths;
}

} // namespace

class TestTableLayoutUtf8 : public QObject {
    Q_OBJECT
private slots:
    void exactWidths_data();
    void exactWidths();
    void drawnAsWindows1256WhenEveryCharacterFits();
    void persianAlphabetOfUtf8_data();
    void persianAlphabetOfUtf8();
    void widestCellOutsideTheAlphabet();
};

void TestTableLayoutUtf8::exactWidths_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<int>("pixels");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("threads");
    QTest::addColumn<int>("gridWidth");
    int n = 0;
    for (const char* family : {"DejaVu Sans", "Noto Sans Arabic", "Tahoma"})
        for (const int px : {11, 16})
            for (const char* kind : {"repeated", "latin", "persian", "mixed", "long", "digits", "latin persian"}) {
                // A narrow grid now and then so that the cap is met.
                const int gridWidth = (n % 3 == 0) ? 150 : 1600;
                const int threads = 1 + n % 2;
                ++n;
                QTest::addRow("%s %dpx %s %d thread(s) width %d", family, px, kind, threads, gridWidth)
                    << QString::fromLatin1(family) << px << QString::fromLatin1(kind) << threads << gridWidth;
            }
}

void TestTableLayoutUtf8::exactWidths()
{
    QFETCH(QString, family);
    QFETCH(int, pixels);
    QFETCH(QString, kind);
    QFETCH(int, threads);
    QFETCH(int, gridWidth);
    QFont font(family);
    font.setPixelSize(pixels);
    const QtTextMetrics metrics(font);
    const CoreGrid grid = MakeGrid(kind, 4, 300, qHash(family) ^ static_cast<quint32>(pixels * 131) ^ qHash(kind));
    QCOMPARE(ComputeColumnWidths(grid, metrics, gridWidth, {}, threads), MeasureEveryCell(grid, metrics, gridWidth));
}

// Text whose every character Windows-1256 has is the same text in either
// table: the same widths.
void TestTableLayoutUtf8::drawnAsWindows1256WhenEveryCharacterFits()
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(13);
    const QtTextMetrics metrics(font);
    const std::vector<std::string> texts = {"کتاب", "خانواده", "café", "« نقد »", "ACME Ltd", "لالا"};
    CoreGrid utf8;
    utf8.Reset(1, static_cast<int>(texts.size()));
    utf8.SetEncoding(TextEncoding::Utf8);
    for (std::size_t r = 0; r < texts.size(); ++r) {
        utf8.SetCell(0, static_cast<int>(r), texts[r]);
        std::string windows;
        QVERIFY(Utf8ToCp1256Exactly(texts[r], windows));
        QCOMPARE(metrics.utf8TextWidth(texts[r]), metrics.textWidth(windows));
    }
    QCOMPARE(ComputeColumnWidths(utf8, metrics, 1600, {}, 1), MeasureEveryCell(utf8, metrics, 1600));
}

void TestTableLayoutUtf8::persianAlphabetOfUtf8_data()
{
    QTest::addColumn<QByteArray>("utf8");
    QTest::addColumn<bool>("persian");
    QTest::addColumn<bool>("windows1256");
    QTest::newRow("ascii") << QByteArray("ACME fi 12") << true << true;
    QTest::newRow("farsi yeh") << QByteArray("علی یزدی") << true << false;
    QTest::newRow("persian digits") << QByteArray("۱۴۰۲/۰۱/۰۱ ۱۲٬۵۰۰٫۵ ٪") << true << false;
    QTest::newRow("arabic-indic digits") << QByteArray("٠١٢٣٤٥٦٧٨٩") << true << false;
    QTest::newRow("joiners and marks") << QByteArray("کتاب\u200Cها \u200E«نقد» بِ") << true << true;
    QTest::newRow("accented latin") << QByteArray("café") << false << true;
    QTest::newRow("yeh and accent") << QByteArray("café ی") << false << false;
    QTest::newRow("heh with yeh above") << QByteArray("خانۀ") << false << false;
    QTest::newRow("beyond the first plane") << QByteArray("\xF0\x9F\x93\x9E 12") << false << false;
    QTest::newRow("euro and dashes") << QByteArray("€ – — … ‰ ™") << false << true;
    QTest::newRow("lone surrogate") << QByteArray("\xED\xA0\x80") << false << false;
    QTest::newRow("cut sequence") << QByteArray("ی\xDB") << false << false;
}

// One byte per character, the same characters: what the alphabet cannot
// hold is refused, never guessed.
void TestTableLayoutUtf8::persianAlphabetOfUtf8()
{
    QFETCH(QByteArray, utf8);
    QFETCH(bool, persian);
    QFETCH(bool, windows1256);
    const std::string_view text(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    std::string bytes;
    QCOMPARE(TextAlphabet::persian().fromUtf8(text, bytes), persian);
    if (persian) {
        QString back;
        for (const char c : bytes)
            back.append(QChar(TextAlphabet::persian().character(static_cast<unsigned char>(c))));
        QCOMPARE(back, QString::fromUtf8(utf8));
        QCOMPARE(static_cast<qsizetype>(bytes.size()), QString::fromUtf8(utf8).size());
    }
    QCOMPARE(TextAlphabet::windows1256().fromUtf8(text, bytes), windows1256);
    std::string exact;
    QCOMPARE(Utf8ToCp1256Exactly(text, exact), windows1256);
    if (windows1256)
        QCOMPARE(bytes, exact);
}

// Cells in the alphabet bound tightly; the widest cell is one outside it
// (and outside Windows-1256), measured only exactly: still found.
void TestTableLayoutUtf8::widestCellOutsideTheAlphabet()
{
    QFont font(QStringLiteral("Noto Sans Arabic"));
    font.setPixelSize(13);
    const QtTextMetrics metrics(font);
    CoreGrid grid;
    grid.Reset(2, 2000);
    grid.SetEncoding(TextEncoding::Utf8);
    QRandomGenerator rng(7);
    for (int r = 0; r < grid.RowCount(); ++r) {
        grid.SetCell(0, r, Cell(rng, QStringLiteral("persian")));
        grid.SetCell(1, r, Cell(rng, QStringLiteral("digits")));
    }
    std::string yehs;
    for (int i = 0; i < 60; ++i)
        yehs += "ی";
    grid.SetCell(0, 1234, "خانۀ " + yehs + " café");
    grid.SetCell(1, 1999, "۱۲۳۴۵۶۷۸۹۰۱۲۳۴۵۶۷۸۹۰۱۲۳۴۵۶۷۸۹۰۱۲۳۴۵۶۷۸۹۰ é");
    const std::vector<int> widths = ComputeColumnWidths(grid, metrics, 1600, {}, 2);
    QCOMPARE(widths, MeasureEveryCell(grid, metrics, 1600));
    QCOMPARE(widths[0], metrics.utf8TextWidth(grid.Cell(0, 1234)));
    QCOMPARE(widths[1], metrics.utf8TextWidth(grid.Cell(1, 1999)));
}

QTEST_MAIN(TestTableLayoutUtf8)
#include "test_table_layout_utf8.moc"
