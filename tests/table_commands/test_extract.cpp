// Column extraction: the lists written, sameness and the Persian order.
#include "GridHelpers.h"

#include "table/ColumnExtract.h"

#include <QObject>
#include <QTest>

#include <algorithm>
#include <random>

using namespace rasmik;
using namespace testgrid;

namespace {

CoreGrid column(const QByteArray& cells)
{
    QByteArray text = cells;
    text.replace('|', '\n');
    return makeGrid(text);
}

// A collator without sort keys: plain byte order, so the comparison path is used.
class ByteCollator final : public ValueCollator {
public:
    int compare(std::string_view a, std::string_view b) const override { return a.compare(b); }
};

} // namespace

class TestExtract : public QObject {
    Q_OBJECT
private slots:
    void columnLists_data()
    {
        QTest::addColumn<QByteArray>("cells");
        QTest::addColumn<QByteArray>("all");
        QTest::addColumn<QByteArray>("withoutRepeat");
        QTest::addColumn<QByteArray>("values");
        QTest::newRow("names") << QByteArray("Name|b|a|b") << QByteArray("Name|b|a|b") << QByteArray("a|b|Name")
                               << QByteArray("b|a");
        QTest::newRow("case: the one nearer row 0 stays")
            << QByteArray("apple|x|Apple|APPLE") << QByteArray("apple|x|Apple|APPLE") << QByteArray("apple|x")
            << QByteArray("x|Apple");
        QTest::newRow("single spaces") << QByteArray("h| |a| ") << QByteArray("h| |a| ") << QByteArray(" |a|h")
                                       << QByteArray("a");
        QTest::newRow("values trimmed of controls")
            << QByteArray("h| \tb\t |b|\x01\x1F") << QByteArray("h| \tb\t |b|\x01\x1F")
            << QByteArray("\x01\x1F| \tb\t |b|h") << QByteArray("b");
        QTest::newRow("one row") << QByteArray("only") << QByteArray("only") << QByteArray("only") << QByteArray();
        QTest::newRow("digits before letters") << QByteArray("h|b|10|9|A") << QByteArray("h|b|10|9|A")
                                               << QByteArray("10|9|A|b|h") << QByteArray("b|10|9|A");
    }
    void columnLists()
    {
        QFETCH(QByteArray, cells);
        QFETCH(QByteArray, all);
        QFETCH(QByteArray, withoutRepeat);
        QFETCH(QByteArray, values);
        const CoreGrid g = column(cells);
        const PersianCollator collator;
        QCOMPARE(joined(ColumnValues(g, 0, false, collator)), all);
        QCOMPARE(joined(ColumnValues(g, 0, true, collator)), withoutRepeat);
        QCOMPARE(joined(DistinctColumnValues(g, 0, collator)), values);
    }

    void otherColumnAndBadIndex()
    {
        const CoreGrid g = makeGrid("a|x\nb|y\nb|x");
        const PersianCollator collator;
        QCOMPARE(joined(ColumnValues(g, 1, true, collator)), QByteArray("x|y"));
        QVERIFY(ColumnValues(g, 2, false, collator).empty());
        QVERIFY(DistinctColumnValues(g, -1, collator).empty());
    }

    void persianAlphabet()
    {
        // Every letter of the Persian alphabet as a one-letter value, shuffled.
        const QList<QByteArray> alphabet =
            w("ا ب پ ت ث ج چ ح خ د ذ ر ز ژ س ش ص ض ط ظ ع غ ف ق ک گ ل م ن و ه ی").split(' ');
        QCOMPARE(alphabet.size(), 32);
        QList<QByteArray> shuffled = alphabet;
        std::mt19937 rng(7);
        std::shuffle(shuffled.begin(), shuffled.end(), rng);
        const CoreGrid g = column(shuffled.join('|'));
        const PersianCollator collator;
        QCOMPARE(joined(ColumnValues(g, 0, true, collator)), alphabet.join('|'));
    }

    void collation_data()
    {
        QTest::addColumn<QByteArray>("a");
        QTest::addColumn<QByteArray>("b");
        QTest::addColumn<int>("order"); // sign of compare(a, b)
        QTest::newRow("case only: same") << QByteArray("Apple") << QByteArray("aPPLE") << 0;
        QTest::newRow("words in alphabet order") << w("پدر") << w("تاج") << -1;
        QTest::newRow("gaf after kaf") << w("گل") << w("کتاب") << 1;
        QTest::newRow("zhe after ze") << w("ژاله") << w("زهره") << 1;
        QTest::newRow("che after jim") << w("چای") << w("جام") << 1;
        QTest::newRow("Arabic kaf is kaf: same") << q("\xDF\xCA\xC7\xC8") << w("کتاب") << 0;
        QTest::newRow("Arabic kaf before gaf") << q("\xDF\xD1") << w("گل") << -1;
        QTest::newRow("alef maksura after yeh") << q("\xCA\xEC") << q("\xCA\xED") << 1;
        QTest::newRow("alef maksura before the next letter") << q("\xEC\xC7") << w("یب") << -1;
        QTest::newRow("alef with madda as alef") << w("آب") << w("ات") << -1;
        QTest::newRow("teh marbuta as heh") << q("\xC9") << w("ی") << -1;
        QTest::newRow("prefix first") << w("کار") << w("کارت") << -1;
        QTest::newRow("tatweel ignored for order") << w("بـا") << w("بت") << -1;
        QTest::newRow("digits before Latin") << QByteArray("9") << QByteArray("a") << -1;
        QTest::newRow("Persian before Latin") << QByteArray("z") << w("ا") << 1;
        QTest::newRow("symbols first") << QByteArray("-x") << QByteArray("0") << -1;
        QTest::newRow("space first") << QByteArray(" ") << QByteArray("!") << -1;
        QTest::newRow("e acute with e") << QByteArray("\xE9t\xE9") << QByteArray("ez") << -1;
        QTest::newRow("alef with madda a letter before alef") << w("آز") << w("اب") << -1;
        QTest::newRow("hamza on alef after alef") << w("تأثیر") << w("تاثیر") << 1;
        QTest::newRow("hamza on alef before beh") << w("تأثیر") << w("تب") << -1;
        QTest::newRow("waw with hamza as hamza, before waw") << w("مؤلف") << w("مولف") << -1;
        QTest::newRow("a mark counts: not the same") << w("کِتاب") << w("کتاب") << 1;
        QTest::newRow("shadda and kasra in either order: same") << q("\x98\xF8\xF6") << q("\x98\xF6\xF8") << 0;
        QTest::newRow("non-joiner does not count: same") << w("می‌رود") << w("میرود") << 0;
        QTest::newRow("tatweel does not count: same") << w("کـتاب") << w("کتاب") << 0;
        QTest::newRow("a space counts") << QByteArray("a b") << QByteArray("ab") << -1;
    }
    void collation()
    {
        QFETCH(QByteArray, a);
        QFETCH(QByteArray, b);
        QFETCH(int, order);
        const PersianCollator collator;
        const auto sign = [](int v) { return (v > 0) - (v < 0); };
        QCOMPARE(sign(collator.compare(testgrid::b(a), testgrid::b(b))), order);
        QCOMPARE(sign(collator.compare(testgrid::b(b), testgrid::b(a))), -order);
        // The sort keys agree with the comparison.
        std::string ka;
        std::string kb;
        QVERIFY(collator.appendSortKey(testgrid::b(a), ka));
        QVERIFY(collator.appendSortKey(testgrid::b(b), kb));
        QCOMPARE(sign(ka.compare(kb)), order);
    }

    void keysAgreeWithComparison()
    {
        // Random short values over a mix of bytes: key order and compare() agree.
        const std::string pool = std::string("aAbB zZ09-\t") + "\xC7\xC2\xDF\x98\xEC\xED\xDC\x9D\xE9\xC9\xE5\x90";
        std::mt19937 rng(11);
        std::uniform_int_distribution<std::size_t> len(0, 4);
        std::uniform_int_distribution<std::size_t> pick(0, pool.size() - 1);
        const PersianCollator collator;
        for (int i = 0; i < 20000; ++i) {
            std::string a;
            std::string b;
            for (std::size_t k = len(rng); k > 0; --k)
                a.push_back(pool[pick(rng)]);
            for (std::size_t k = len(rng); k > 0; --k)
                b.push_back(pool[pick(rng)]);
            std::string ka;
            std::string kb;
            collator.appendSortKey(a, ka);
            collator.appendSortKey(b, kb);
            const int c = collator.compare(a, b);
            const int k = ka.compare(kb);
            QVERIFY2(((c > 0) - (c < 0)) == ((k > 0) - (k < 0)), (a + " / " + b).c_str());
        }
    }

    void collatorWithoutKeys()
    {
        const CoreGrid g = column("Name|b|a|b|B");
        const ByteCollator collator;
        QCOMPARE(joined(ColumnValues(g, 0, true, collator)), QByteArray("B|Name|a|b"));
        QCOMPARE(joined(DistinctColumnValues(g, 0, collator)), QByteArray("b|a|B"));
    }

    void valuesFileName_data()
    {
        QTest::addColumn<int>("col");
        QTest::addColumn<QString>("name");
        QTest::newRow("first") << 0 << "ColValue1.txt";
        QTest::newRow("third") << 2 << "ColValue3.txt";
        QTest::newRow("twelfth") << 11 << "ColValue12.txt";
    }
    void valuesFileName()
    {
        QFETCH(int, col);
        QFETCH(QString, name);
        QCOMPARE(QString::fromStdString(ColumnValueFileName(col)), name);
    }
};

QObject* makeExtractTests()
{
    return new TestExtract;
}

#include "test_extract.moc"
