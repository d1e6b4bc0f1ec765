// "Sort Ascending" and "Sort Descending": which rows go where.
#include "GridHelpers.h"

#include "table/ColumnExtract.h"
#include "table/SortRows.h"
#include "table/TableLayout.h"
#include "table/TableLines.h"
#include "text/TextEncoding.h"

#include <QFile>
#include <QObject>
#include <QProcess>
#include <QTest>

#include <algorithm>
#include <random>

using namespace rasmik;
using namespace testgrid;

namespace {

// Real Persian words, and the order the platform's Persian collation gives
// them, asked of ICU through PyICU: the judge the sort is checked against.
struct JudgedWords {
    QList<QByteArray> words; // UTF-8, in the order of the sample
    QList<int> sorted;       // indexes of words[1..] in ICU's order, equal words in sample order
    QList<int> distinct;     // the first of each set of equal words[0..], in ICU's order
    QString error;
};

constexpr const char* WordListPath = "/usr/share/hunspell/fa_IR.dic"; // Debian's myspell-fa
constexpr const char* Judge = R"(
import sys, icu
c = icu.Collator.createInstance(icu.Locale('fa'))
c.setStrength(icu.Collator.SECONDARY)
words = sys.stdin.buffer.read().decode('utf-8').split('\n')[:-1]
key = lambda i: c.getSortKey(words[i])
print(' '.join(map(str, sorted(range(1, len(words)), key=key))))
seen, first = set(), []
for i in range(len(words)):
    if key(i) not in seen:
        seen.add(key(i))
        first.append(i)
print(' '.join(map(str, sorted(first, key=key))))
)";

QList<int> numbers(const QByteArray& line)
{
    QList<int> out;
    for (const auto& n : line.trimmed().split(' '))
        out.push_back(n.toInt());
    return out;
}

// Latin texts of the kinds tables hold (codes, names, e-mail addresses), at
// least one letter each, so that none reads as a number.
QByteArray latinText(std::mt19937& random)
{
    static const char Letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    static const char Others[] = "0123456789-_.@ #/()";
    QByteArray text(1, Letters[random() % 52]);
    for (int k = static_cast<int>(random() % 24); k > 0; --k)
        text += random() % 3 ? Letters[random() % 52] : Others[random() % (sizeof(Others) - 1)];
    return text.trimmed();
}

// count words drawn from the word list with seed, judged; with latin, every
// third one is a Latin text instead.
JudgedWords judgedWords(unsigned seed, int count, bool latin = false)
{
    JudgedWords j;
    QFile file(WordListPath);
    if (!file.open(QIODevice::ReadOnly)) {
        j.error = QString("%1 is missing: scripts/setup installs myspell-fa").arg(WordListPath);
        return j;
    }
    QList<QByteArray> all = file.readAll().split('\n');
    all.removeFirst(); // the word count
    all.removeAll(QByteArray());
    std::mt19937 random(seed);
    std::shuffle(all.begin(), all.end(), random);
    // A word may carry affix flags after a '/'.
    for (int i = 0; i < count && i < all.size(); ++i)
        j.words.push_back(latin && i % 3 == 2 ? latinText(random) : all[i].split('/').front().trimmed());
    QProcess python;
    python.start("/usr/bin/python3", {"-c", Judge});
    python.write(j.words.join('\n') + '\n');
    python.closeWriteChannel();
    if (!python.waitForFinished(120000) || python.exitCode() != 0) {
        j.error =
            "PyICU failed (scripts/setup installs python3-icu): " + QString::fromUtf8(python.readAllStandardError());
        return j;
    }
    const QList<QByteArray> lines = python.readAllStandardOutput().split('\n');
    if (lines.size() < 2) {
        j.error = "PyICU gave no order";
        return j;
    }
    j.sorted = numbers(lines[0]);
    j.distinct = numbers(lines[1]);
    return j;
}

} // namespace

class TestSort : public QObject {
    Q_OBJECT
private slots:
    void numbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("isNumber");
        QTest::addColumn<double>("value");
        QTest::newRow("plain") << "42" << true << 42.0;
        QTest::newRow("spaces") << "  7 " << true << 7.0;
        QTest::newRow("thousands") << "1,234.50" << true << 1234.5;
        QTest::newRow("minus") << "-7" << true << -7.0;
        QTest::newRow("parentheses") << "(1,336,000)" << true << -1336000.0;
        QTest::newRow("point first") << ".5" << true << 0.5;
        QTest::newRow("persian digits") << "۱۲٬۳۴۵٫۵" << true << 12345.5;
        QTest::newRow("arabic-indic digits") << "-٣" << true << -3.0;
        QTest::newRow("unit") << "12 kg" << false << 0.0;
        QTest::newRow("two points") << "1.2.3" << false << 0.0;
        QTest::newRow("comma at the end") << "12," << false << 0.0;
        QTest::newRow("comma first") << ",12" << false << 0.0;
        QTest::newRow("sign alone") << "-" << false << 0.0;
        QTest::newRow("word") << "nan" << false << 0.0;
    }
    void numbers()
    {
        QFETCH(QString, text);
        QFETCH(bool, isNumber);
        QFETCH(double, value);
        const QByteArray utf8 = text.toUtf8();
        double got = 0;
        QCOMPARE(ReadSortNumber(b(utf8), TextEncoding::Utf8, got), isNumber);
        if (isNumber)
            QCOMPARE(got, value);
    }

    // Column 1 of rows 1..n; the expected column after the sort.
    void order_data()
    {
        QTest::addColumn<bool>("utf8");
        QTest::addColumn<bool>("descending");
        QTest::addColumn<QString>("cells");
        QTest::addColumn<QString>("sorted");
        QTest::newRow("numbers by value") << false << false << "10|9|-3|(20)|1,000"
                                          << "(20)|-3|9|10|1,000";
        QTest::newRow("numbers, then texts, then empty") << false << false << "b| |3|a|1"
                                                         << "1|3|a|b| ";
        QTest::newRow("descending: texts, numbers, empty") << false << true << "b| |3|a|1"
                                                           << "b|a|3|1| ";
        QTest::newRow("latin case folded") << false << false << "beta|Alpha|alpha|Beta"
                                           << "Alpha|alpha|beta|Beta";
        QTest::newRow("persian alphabet") << false << false << "ژاله|پری|زهره|بابک|آرش"
                                          << "آرش|بابک|پری|زهره|ژاله";
        // Arabic and Persian kaf and yeh are one value, as in "Values": the rows keep their order.
        QTest::newRow("persian in utf-8, yeh and kaf") << true << false << "یاس|کیان|گل|ياس|كيان"
                                                       << "کیان|كيان|گل|یاس|ياس";
        QTest::newRow("persian digits in utf-8") << true << false << "۱۰|۹|2"
                                                 << "2|۹|۱۰";
        QTest::newRow("stable when equal") << false << true << "x|X|y|x"
                                           << "y|x|X|x";
    }
    void order()
    {
        QFETCH(bool, utf8);
        QFETCH(bool, descending);
        QFETCH(QString, cells);
        QFETCH(QString, sorted);
        const auto bytes = [utf8](const QString& s) { return utf8 ? s.toUtf8() : w(s.toUtf8().constData()); };
        // Each row also keeps its number in column 0, to check that rows move whole.
        const QStringList values = cells.split('|');
        QByteArray text = "No|Value";
        for (int i = 0; i < values.size(); ++i)
            text += "\n" + QByteArray::number(i + 1) + "|" + bytes(values[i]);
        CoreGrid grid = makeGrid(text);
        grid.SetEncoding(utf8 ? TextEncoding::Utf8 : TextEncoding::Windows1256);
        const std::vector<int> order = SortedRowOrder(grid, 1, descending);
        grid.PermuteRows(1, order);
        QByteArray got;
        for (int r = 1; r < grid.RowCount(); ++r) {
            got += (r > 1 ? "|" : "") + q(std::string(grid.Cell(1, r)));
            QCOMPARE(grid.Cell(0, r), std::string_view(std::to_string(order[static_cast<std::size_t>(r - 1)])));
        }
        QCOMPARE(got, bytes(sorted));
        QCOMPARE(q(std::string(grid.Cell(1, 0))), QByteArray("Value"));
    }

    // A table large enough to be read on two threads: the order is a
    // permutation, and each row goes before the next by kind (numbers,
    // texts, empty cells), then by value, then by row.
    void largeTableOnTwoThreads_data()
    {
        QTest::addColumn<bool>("utf8");
        QTest::addColumn<bool>("descending");
        QTest::newRow("windows-1256 ascending") << false << false;
        QTest::newRow("windows-1256 descending") << false << true;
        QTest::newRow("utf-8 ascending") << true << false;
        QTest::newRow("utf-8 descending") << true << true;
    }
    void largeTableOnTwoThreads()
    {
        QFETCH(bool, utf8);
        QFETCH(bool, descending);
        const TextEncoding held = utf8 ? TextEncoding::Utf8 : TextEncoding::Windows1256;
        QStringList pool = {"12",    "(3,400)", "-7.5", "1,000", "12",   " ",       "",
                            "Alpha", "alpha",   "beta", "Beta",  "زهره", "زهرا",    "یاس",
                            "ياس",   "کیان",    "كيان", "گل",    "آرش",  "بابک 12", "x-1"};
        if (utf8)
            pool << "۴۵"
                 << "٣٫٥"
                 << "emoji 🙂";
        std::mt19937 random(1400);
        constexpr int Rows = 120'001;
        CoreGrid grid;
        grid.Reset(1, Rows);
        grid.SetEncoding(held);
        grid.SetCell(0, 0, "Value");
        for (int r = 1; r < Rows; ++r) {
            const QString v = pool[static_cast<int>(random() % static_cast<unsigned>(pool.size()))];
            grid.SetCell(0, r, b(utf8 ? v.toUtf8() : w(v.toUtf8().constData())));
        }
        const std::vector<int> order = SortedRowOrder(grid, 0, descending);
        QCOMPARE(order.size(), static_cast<std::size_t>(Rows - 1));
        std::vector<int> rows = order;
        std::sort(rows.begin(), rows.end());
        for (int r = 1; r < Rows; ++r)
            QCOMPARE(rows[static_cast<std::size_t>(r - 1)], r);

        const PersianCollator collator(held);
        enum Kind { Number, Text, Empty };
        const auto kindOf = [&](int row, double& value) {
            const std::string_view cell = grid.Cell(0, row);
            if (cell.find_first_not_of(' ') == std::string_view::npos)
                return Empty;
            return ReadSortNumber(cell, held, value) ? Number : Text;
        };
        // Ascending: numbers, texts, empty; descending: texts, numbers, empty.
        const auto place = [descending](Kind k) { return k == Empty ? 2 : (descending ? 1 - k : k); };
        for (std::size_t i = 0; i + 1 < order.size(); ++i) {
            const int a = order[i];
            const int b = order[i + 1];
            double va = 0, vb = 0;
            const Kind ka = kindOf(a, va);
            const Kind kb = kindOf(b, vb);
            int c = place(ka) - place(kb);
            if (c == 0 && ka != Empty) {
                if (ka == Number)
                    c = va < vb ? -1 : (va > vb ? 1 : 0);
                else
                    c = collator.compare(grid.Cell(0, a), grid.Cell(0, b));
                if (descending)
                    c = -c;
            }
            if (c == 0)
                c = a < b ? -1 : 1;
            QVERIFY2(c < 0,
                     qPrintable(QString("row %1 (%2) before row %3 (%4)")
                                    .arg(a)
                                    .arg(QString::fromStdString(std::string(grid.Cell(0, a))))
                                    .arg(b)
                                    .arg(QString::fromStdString(std::string(grid.Cell(0, b))))));
        }
    }

    // Sort Ascending and "Save Current Column without Repeat" on real Persian
    // words (and Latin texts among them), in both held forms: the order and
    // the sameness ICU's Persian collation gives them.
    void persianWordsAsIcuOrdersThem_data()
    {
        QTest::addColumn<bool>("utf8");
        QTest::addColumn<uint>("seed");
        QTest::addColumn<bool>("latin");
        for (const bool utf8 : {false, true}) {
            const char* form = utf8 ? "UTF-8" : "Windows-1256";
            QTest::newRow(qPrintable(QString("sample 1400 / %1").arg(form))) << utf8 << 1400u << false;
            QTest::newRow(qPrintable(QString("sample 1403 / %1").arg(form))) << utf8 << 1403u << false;
            QTest::newRow(qPrintable(QString("with Latin texts / %1").arg(form))) << utf8 << 1404u << true;
        }
    }
    void persianWordsAsIcuOrdersThem()
    {
        QFETCH(bool, utf8);
        QFETCH(uint, seed);
        QFETCH(bool, latin);
        const JudgedWords judged = judgedWords(seed, 3000, latin);
        if (!judged.error.isEmpty())
            QFAIL(qPrintable(judged.error));
        QCOMPARE(judged.words.size(), 3000);
        QVERIFY(
            std::none_of(judged.words.begin(), judged.words.end(), [](const QByteArray& w) { return w.isEmpty(); }));
        const TextEncoding held = utf8 ? TextEncoding::Utf8 : TextEncoding::Windows1256;
        // A Windows-1256 table holds the words with the nearest letters (ی as ي).
        std::vector<std::string> cells;
        for (const auto& word : judged.words) {
            std::string cell;
            QVERIFY(AppendHeldAs(b(word), TextEncoding::Utf8, held, cell));
            cells.push_back(cell);
        }
        CoreGrid grid;
        grid.Reset(1, static_cast<int>(cells.size()));
        grid.SetEncoding(held);
        for (std::size_t r = 0; r < cells.size(); ++r)
            grid.SetCell(0, static_cast<int>(r), cells[r]);

        const std::vector<int> order = SortedRowOrder(grid, 0, false);
        QList<int> place(judged.words.size());
        for (int i = 0; i < judged.sorted.size(); ++i)
            place[judged.sorted[i]] = i;
        int outOfOrder = 0;
        for (std::size_t i = 0; i + 1 < order.size(); ++i)
            outOfOrder += place[order[i]] > place[order[i + 1]];
        QCOMPARE(outOfOrder, 0);
        QCOMPARE(QList<int>(order.begin(), order.end()), judged.sorted);

        QList<QByteArray> expected;
        for (const int i : judged.distinct)
            expected.push_back(q(cells[static_cast<std::size_t>(i)]));
        QCOMPARE(joined(ColumnValues(grid, 0, true, PersianCollator(held)), '\n'), expected.join('\n'));
    }

    // Rows laid out from a table view its bytes; they move with their lines.
    void laidOutRowsMove()
    {
        TableLines lines = TableLines::FromBytes(std::string("h\tk\r\nc\t3\r\na\t1\r\nb\t2\r\n"));
        CoreGrid grid;
        QVERIFY(LayoutGridCells(grid, lines, ""));
        const std::vector<int> order = SortedRowOrder(grid, 0, false);
        QCOMPARE(order, (std::vector<int>{2, 3, 1}));
        grid.PermuteRows(1, order);
        QCOMPARE(gridText(grid), QByteArray("h|k\na|1\nb|2\nc|3"));
        // Back again with the inverse order.
        grid.PermuteRows(1, {3, 1, 2});
        QCOMPARE(gridText(grid), QByteArray("h|k\nc|3\na|1\nb|2"));
    }
};

QObject* makeSortTests()
{
    return new TestSort;
}

#include "test_sort.moc"
