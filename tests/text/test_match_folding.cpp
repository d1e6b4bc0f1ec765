// Matching as people type Persian: the letter forms, digits and invisible
// characters that fold together, in both held forms, and where a match lies
// in the text's own bytes.

#include "text/Cp1256.h"
#include "text/MatchFolding.h"

#include <QtTest>

#include <optional>
#include <random>
#include <string>

using namespace rasmik;

Q_DECLARE_METATYPE(rasmik::TextEncoding)

namespace {

std::string str(const QByteArray& a)
{
    return std::string(a.constData(), static_cast<std::size_t>(a.size()));
}

// UTF-8 text in a held form, as the table holds it: Windows-1256 takes the
// nearest letters (ی as ي, the digits as ASCII ones). Nothing when a
// character has no place there.
std::optional<std::string> held(const QByteArray& utf8, TextEncoding form)
{
    std::string out;
    if (!AppendHeldAs(str(utf8), TextEncoding::Utf8, form, out))
        return std::nullopt;
    return out;
}

// Rows for both held forms of every case.
void addBoth(const char* name, const QByteArray& a, const QByteArray& b, const QVariant& expected)
{
    for (const TextEncoding form : {TextEncoding::Utf8, TextEncoding::Windows1256})
        QTest::newRow(qPrintable(QString("%1 / %2").arg(name, form == TextEncoding::Utf8 ? "UTF-8" : "Windows-1256")))
            << form << a << b << expected;
}

} // namespace

class TestMatchFolding : public QObject {
    Q_OBJECT

private slots:
    // Whether the folded query occurs in the folded text.
    void contains_data()
    {
        QTest::addColumn<TextEncoding>("form");
        QTest::addColumn<QByteArray>("query");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QVariant>("found");
        addBoth("Arabic yeh finds Persian yeh", "علي", "نام: علی", true);
        addBoth("Persian yeh finds Arabic yeh", "علی", "علي", true);
        addBoth("Arabic kaf finds Persian kaf", "كتاب", "کتابخانه", true);
        addBoth("Persian kaf finds Arabic kaf", "کتاب", "كتاب", true);
        addBoth("Persian digits find ASCII ones", "۱۲۳", "کد 123", true);
        addBoth("ASCII digits find Arabic-Indic ones", "123", "١٢٣", true);
        addBoth("Arabic-Indic digits find Persian ones", "٤٥", "۴۵", true);
        addBoth("digits of three kinds in one number", "۱2٣", "1۲3", true);
        addBoth("non-joiner in the text ignored", "پرداختشده", "پرداخت\u200Cشده", true);
        addBoth("non-joiner in the query ignored", "پرداخت\u200Cشده", "پرداختشده", true);
        addBoth("tatweel in the text ignored", "کتاب", "کـتـــاب", true);
        addBoth("tatweel in the query ignored", "کــتاب", "کتاب", true);
        addBoth("every fold at once", "علي\u200Cك ۱۲", "عـلی\u200Cک12", true);
        addBoth("Latin case folded", "TEHRAN", "tehran", true);
        addBoth("spaces of the text dropped", "علیرضا", "علی رضا", true);
        addBoth("heh is not teh marbuta", "ه", "ة", false);
        addBoth("alef maksura is not yeh", "ى", "ی", false);
        addBoth("alef with madda is not alef", "آ", "ا", false);
        addBoth("a digit is not a letter", "1", "ا", false);
        addBoth("the zero-width joiner counts", "ab", "a\u200Db", false);
        addBoth("a tab is no space", "ab", "a\tb", false);
        addBoth("no match across a line break", "ab", "a\r\nb", false);
        addBoth("one letter less", "کتابها", "کتاب", false);
        // ی, ك and the digits have no Windows-1256 byte: those rows are UTF-8 only.
        QTest::newRow("É is not é / UTF-8")
            << TextEncoding::Utf8 << QByteArray("É") << QByteArray("é") << QVariant(false);
        QTest::newRow("Greek beyond the folds / UTF-8")
            << TextEncoding::Utf8 << QByteArray("Ω") << QByteArray("xΩy") << QVariant(true);
    }
    void contains()
    {
        QFETCH(TextEncoding, form);
        QFETCH(QByteArray, query);
        QFETCH(QByteArray, text);
        QFETCH(QVariant, found);
        const auto q = held(query, form);
        const auto t = held(text, form);
        QVERIFY(q && t);
        const MatchFolding folding(form);
        const std::string pattern = folding.fold(*q);
        QCOMPARE(folding.fold(*t).find(pattern) != std::string::npos, found.toBool());
        QCOMPARE(folding.find(*t, pattern).has_value(), found.toBool());
    }

    // What the text folds to, as bytes of its held form.
    void fold_data()
    {
        QTest::addColumn<TextEncoding>("form");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("folded");
        QTest::addColumn<QVariant>("spacesKept");
        const auto u = TextEncoding::Utf8;
        const auto c = TextEncoding::Windows1256;
        QTest::newRow("yeh and kaf to the Arabic forms / UTF-8")
            << u << QByteArray("یک") << QByteArray("يك") << QVariant();
        QTest::newRow("kaf to the Arabic form / Windows-1256")
            << c << QByteArray("\x98\xDF") << QByteArray("\xDF\xDF") << QVariant();
        QTest::newRow("digits to ASCII / UTF-8") << u << QByteArray("۰۹٠٩") << QByteArray("0909") << QVariant();
        QTest::newRow("non-joiner, tatweel and spaces go / UTF-8")
            << u << QByteArray("a\u200Cـ b") << QByteArray("AB") << QVariant();
        QTest::newRow("non-joiner, tatweel and spaces go / Windows-1256")
            << c << QByteArray("a\x9D\xDC b") << QByteArray("AB") << QVariant();
        QTest::newRow("spaces kept when asked / UTF-8")
            << u << QByteArray("a b\u200C") << QByteArray("A B") << QVariant(true);
        QTest::newRow("spaces kept when asked / Windows-1256")
            << c << QByteArray("a b\x9D") << QByteArray("A B") << QVariant(true);
        QTest::newRow("other Arabic letters stay / UTF-8") << u << QByteArray("ىةأ") << QByteArray("ىةأ") << QVariant();
        QTest::newRow("other bytes stay / Windows-1256")
            << c << QByteArray("\xEC\xC9\xED\x9E\xE9{@") << QByteArray("\xEC\xC9\xED\x9E\xE9{@") << QVariant();
        QTest::newRow("long ASCII run, eight at a time / UTF-8")
            << u << QByteArray("abcdefghijklmnopqrstuvwxyz[`{@") << QByteArray("ABCDEFGHIJKLMNOPQRSTUVWXYZ[`{@")
            << QVariant();
        QTest::newRow("long run with a kaf at its end / Windows-1256")
            << c << QByteArray("abcdefghijklmno\x98") << QByteArray("ABCDEFGHIJKLMNO\xDF") << QVariant();
        QTest::newRow("a sequence cut at the end stays / UTF-8")
            << u << QByteArray("abcdefgh\xDB") << QByteArray("ABCDEFGH\xDB") << QVariant();
        QTest::newRow("a broken sequence stays / UTF-8") << u
                                                         << QByteArray("\xDB"
                                                                       "a\xE2\x80")
                                                         << QByteArray("\xDB"
                                                                       "A\xE2\x80")
                                                         << QVariant();
    }
    void fold()
    {
        QFETCH(TextEncoding, form);
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, folded);
        QFETCH(QVariant, spacesKept);
        const MatchFolding folding(form, spacesKept.toBool() ? MatchFolding::Spaces::Keep : MatchFolding::Spaces::Drop);
        QCOMPARE(QByteArray::fromStdString(folding.fold(str(text))), folded);
        // Appending after other text gives the same bytes after it.
        std::string out = "xy";
        std::size_t len = 2;
        folding.append(out, len, str(text));
        QVERIFY(out.size() >= len + 16);
        QCOMPARE(QByteArray::fromStdString(out.substr(0, len)), "xy" + folded);
    }

    // Where a match lies in the text's own bytes: text is written as
    // "before[match]after"; replacing the span keeps before and after as
    // they were, invisible characters included.
    void find_data()
    {
        QTest::addColumn<TextEncoding>("form");
        QTest::addColumn<QByteArray>("pattern");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QVariant>("from");
        addBoth("Arabic yeh, tatweel inside", "علي", "نام: [علـی]\u200Cرضا", 0);
        addBoth("a non-joiner inside the match", "يرض", "عل[ی\u200Cرض]ا", 0);
        addBoth("dropped characters at the ends stay out", "کتاب", "\u200Cـ[کتاب]ـ\u200C", 0);
        addBoth("Persian kaf for an Arabic one", "كتاب", "دو [کتاب]", 0);
        addBoth("spaces inside the match", "علیرضا", "آقای [علی رضا] احمدی", 0);
        addBoth("case of Latin letters", "AB", "x[ab]y", 0);
        addBoth("the second one, from after the first", "ab", "ab x [ab]", 2);
        addBoth("no match", "کتابها", "کتاب", 0);
        QTest::newRow("Persian digits / UTF-8")
            << TextEncoding::Utf8 << QByteArray("12") << QByteArray("کد ۳[۱۲]۵") << QVariant(0);
        QTest::newRow("Arabic-Indic for Persian digits / UTF-8")
            << TextEncoding::Utf8 << QByteArray("١٢") << QByteArray("۳[۱۲]") << QVariant(0);
    }
    void find()
    {
        QFETCH(TextEncoding, form);
        QFETCH(QByteArray, pattern);
        QFETCH(QByteArray, text);
        QFETCH(QVariant, from);
        const qsizetype open = text.indexOf('[');
        const qsizetype close = text.indexOf(']');
        const auto before = held(text.left(open < 0 ? text.size() : open), form);
        const auto match = held(open < 0 ? QByteArray() : text.mid(open + 1, close - open - 1), form);
        const auto after = held(open < 0 ? QByteArray() : text.mid(close + 1), form);
        const auto p = held(pattern, form);
        QVERIFY(before && match && after && p);
        const std::string whole = *before + *match + *after;
        const MatchFolding folding(form);
        const auto span = folding.find(whole, folding.fold(*p), static_cast<std::size_t>(from.toInt()));
        if (open < 0) {
            QVERIFY(!span);
            return;
        }
        QVERIFY(span);
        QCOMPARE(*span, (ByteSpan{before->size(), before->size() + match->size()}));
        // A replace of the span leaves the rest of the cell as it was.
        std::string replaced = whole;
        replaced.replace(span->begin, span->end - span->begin, "#");
        QCOMPARE(replaced, *before + "#" + *after);
    }

    // Many texts folded into one buffer, as Search folds a block of rows,
    // give the bytes of each folded alone, and their starts follow them.
    void partsAsOne_data()
    {
        QTest::addColumn<TextEncoding>("form");
        QTest::addColumn<bool>("keepSpaces");
        QTest::newRow("UTF-8") << TextEncoding::Utf8 << false;
        QTest::newRow("UTF-8, spaces kept") << TextEncoding::Utf8 << true;
        QTest::newRow("Windows-1256") << TextEncoding::Windows1256 << false;
    }
    void partsAsOne()
    {
        QFETCH(TextEncoding, form);
        QFETCH(bool, keepSpaces);
        const MatchFolding folding(form, keepSpaces ? MatchFolding::Spaces::Keep : MatchFolding::Spaces::Drop);
        // Pieces that fold and pieces that do not, long runs among them.
        QList<QByteArray> pool = {"ی",
                                  "ک",
                                  "ي",
                                  "ك",
                                  "۱",
                                  "٢",
                                  "3",
                                  "\u200C",
                                  "ـ",
                                  " ",
                                  "علی",
                                  "a",
                                  "Z",
                                  "کتاب‌خانه",
                                  "abcdefghijklmnop",
                                  "دیـگر",
                                  "\u200D",
                                  "é"};
        if (form == TextEncoding::Utf8)
            pool << "Ω"
                 << "😀";
        std::mt19937 random(31);
        std::vector<std::string> texts;
        for (int t = 0; t < 3000; ++t) {
            QByteArray text;
            for (int k = static_cast<int>(random() % 40); k > 0; --k)
                text += pool[static_cast<int>(random() % static_cast<unsigned>(pool.size()))];
            const auto h = held(text, form);
            QVERIFY(h);
            texts.push_back(*h);
        }
        std::string buffer;
        std::size_t len = 0;
        std::vector<std::size_t> marks;
        std::string expected;
        std::vector<std::size_t> expectedMarks;
        for (const auto& text : texts) {
            marks.push_back(len);
            folding.appendPart(buffer, len, text);
            buffer[len++] = '\t';
            expectedMarks.push_back(expected.size());
            expected += folding.fold(text) + '\t';
        }
        marks.push_back(len);
        expectedMarks.push_back(expected.size());
        len = folding.finishParts(buffer.data(), len, marks.data(), marks.size());
        QCOMPARE(QByteArray::fromStdString(buffer.substr(0, len)), QByteArray::fromStdString(expected));
        QCOMPARE(marks, expectedMarks);
    }

    void emptyPatternFindsNothing()
    {
        const MatchFolding folding(TextEncoding::Utf8);
        QVERIFY(!folding.find("abc", ""));
        QVERIFY(!folding.find("abc", "A", 3));
        QVERIFY(!folding.find("", "A"));
    }
};

QTEST_APPLESS_MAIN(TestMatchFolding)
#include "test_match_folding.moc"
