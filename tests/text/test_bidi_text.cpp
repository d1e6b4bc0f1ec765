// The bidirectional algorithm as the grid and the report use it: judged by
// the Unicode's own test cases, the direction of held text, and the part of a
// long line that an edge shows.

#include "text/BidiText.h"
#include "text/Cp1256.h"

#include <QtTest>

#include <string>

using namespace rasmik;

Q_DECLARE_METATYPE(rasmik::TextEncoding)

namespace {

std::u32string codePoints(const QString& s)
{
    std::u32string out;
    for (uint c : s.toUcs4())
        out.push_back(static_cast<char32_t>(c));
    return out;
}

std::string held(const QString& s, TextEncoding form)
{
    const QByteArray utf8 = s.toUtf8();
    const std::string text(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    return form == TextEncoding::Windows1256 ? Utf8ToCp1256(text) : text;
}

} // namespace

class TestBidiText : public QObject {
    Q_OBJECT
private slots:
    void unicodeCharacterTests();
    void directionOfText_data();
    void directionOfText();
    void windowOfALongLineShowsWhatTheWholeLineShows_data();
    void windowOfALongLineShowsWhatTheWholeLineShows();
};

// Every case of BidiCharacterTest.txt: the paragraph's level (found by the
// first strong character where the case asks for it), each character's level
// and the visual order.
void TestBidiText::unicodeCharacterTests()
{
    QFile file(QStringLiteral("/usr/share/unicode/BidiCharacterTest.txt"));
    QVERIFY2(file.open(QIODevice::ReadOnly), "the unicode-data package holds the test cases");
    int cases = 0;
    int failed = 0;
    QString firstFailure;
    while (!file.atEnd()) {
        const QByteArray raw = file.readLine().trimmed();
        if (raw.isEmpty() || raw.startsWith('#'))
            continue;
        const QList<QByteArray> fields = raw.split(';');
        QCOMPARE(fields.size(), 5);
        std::u32string text;
        for (const QByteArray& hex : fields[0].split(' '))
            text.push_back(static_cast<char32_t>(hex.toUInt(nullptr, 16)));
        const int asked = fields[1].toInt();
        const int paragraphLevel = fields[2].toInt();
        const ReadingDirection direction = asked == 0 ? ReadingDirection::LeftToRight
            : asked == 1                              ? ReadingDirection::RightToLeft
                                                      : DirectionOfText(text, ReadingDirection::LeftToRight);
        ++cases;
        const BidiLine line = LayOutBidiLine(text, direction);
        const QList<QByteArray> levels = fields[3].split(' ');
        bool same = (direction == ReadingDirection::RightToLeft) == (paragraphLevel == 1)
            && levels.size() == static_cast<qsizetype>(text.size());
        std::vector<std::size_t> order;
        for (std::size_t i = 0; same && i < text.size(); ++i)
            same =
                levels[static_cast<qsizetype>(i)] == "x" || levels[static_cast<qsizetype>(i)].toInt() == line.levels[i];
        // The expected order leaves out what the algorithm removes (levels "x").
        for (std::size_t v : line.visual)
            if (levels.value(static_cast<qsizetype>(v)) != "x")
                order.push_back(v);
        QList<QByteArray> expected = fields[4].split(' ');
        expected.removeAll(QByteArray());
        same = same && expected.size() == static_cast<qsizetype>(order.size());
        for (std::size_t k = 0; same && k < order.size(); ++k)
            same = expected[static_cast<qsizetype>(k)].toULongLong() == order[k];
        if (!same && failed++ == 0)
            firstFailure = QString::fromLatin1(raw);
    }
    QVERIFY(cases > 90000);
    QVERIFY2(failed == 0,
             qPrintable(QStringLiteral("%1 of %2 cases differ, first: %3").arg(failed).arg(cases).arg(firstFailure)));
}

void TestBidiText::directionOfText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("rightToLeft");
    QTest::newRow("Latin first") << "# This file holds 12 rows" << false;
    QTest::newRow("a formula") << "-6617+11031" << true;
    QTest::newRow("Persian") << "پرداخت شده" << true;
    QTest::newRow("Latin, then Persian") << "ID: شماره" << false;
    QTest::newRow("digits, then Persian") << "12 کتاب abc" << true;
    QTest::newRow("empty") << "" << true;
    QTest::newRow("left-to-right mark") << "\u200Eکتاب" << false;
    QTest::newRow("right-to-left mark") << "\u200FLatin" << true;
    // Inside an isolate the letters do not count.
    QTest::newRow("isolated Latin") << "\u2066abc\u2069 کتاب" << true;
    // A letter beyond the 16 bits of UTF-16 (Old Italic, left to right).
    QTest::newRow("a surrogate pair") << "12 \U00010300" << false;
}

// In UTF-16 and both held forms: Windows-1256 holds the marks (0xFD, 0xFE).
void TestBidiText::directionOfText()
{
    QFETCH(QString, text);
    QFETCH(bool, rightToLeft);
    const ReadingDirection want = rightToLeft ? ReadingDirection::RightToLeft : ReadingDirection::LeftToRight;
    QCOMPARE(DirectionOfText(codePoints(text)), want);
    QCOMPARE(DirectionOfText(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                                 static_cast<std::size_t>(text.size()))),
             want);
    QCOMPARE(DirectionOfText(held(text, TextEncoding::Utf8), TextEncoding::Utf8), want);
    // Windows-1256 has no isolates and nothing beyond 16 bits.
    const bool inCp1256 = !text.contains(QChar(0x2066)) && text.toUcs4().size() == text.size();
    if (inCp1256)
        QCOMPARE(DirectionOfText(held(text, TextEncoding::Windows1256), TextEncoding::Windows1256), want);
}

void TestBidiText::windowOfALongLineShowsWhatTheWholeLineShows_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<int>("edge");
    const int right = static_cast<int>(VisibleEdge::Right);
    const int left = static_cast<int>(VisibleEdge::Left);
    for (const auto& [name, word] :
         {std::pair{"Persian and numbers", "کتاب ۱۲ (3) "}, std::pair{"Persian and Latin", "کتاب word1 "},
          std::pair{"Latin and Persian", "word کتاب 12 "}}) {
        QTest::newRow((std::string(name) + ", right").c_str()) << QString::fromUtf8(word) << right;
        QTest::newRow((std::string(name) + ", left").c_str()) << QString::fromUtf8(word) << left;
    }
}

// A line far longer than its window: the characters its window keeps are
// the ones the whole line, laid out at once, holds at that edge. (The
// middle of a window is the middle of its bytes, near enough for a header.)
void TestBidiText::windowOfALongLineShowsWhatTheWholeLineShows()
{
    QFETCH(QString, word);
    QFETCH(int, edge);
    QString line;
    while (line.size() < 20000)
        line += word;
    const std::string text = held(line, TextEncoding::Utf8);
    const ReadingDirection direction = DirectionOfText(text, TextEncoding::Utf8);
    const std::size_t budget = 300;
    const std::vector<ShownPiece> pieces =
        ShownPieces(text, TextEncoding::Utf8, direction, static_cast<VisibleEdge>(edge), budget, true, 0);
    QVERIFY(!pieces.empty());

    HeldCodePoints all;
    DecodeHeld(text, TextEncoding::Utf8, all);
    const BidiLine whole = LayOutBidiLine(all.text, direction);
    std::vector<bool> expected(all.text.size(), false);
    for (const auto& [a, b] : VisibleRanges(whole, {}, budget, static_cast<VisibleEdge>(edge)))
        for (std::size_t i = a; i < b; ++i)
            expected[i] = true;
    std::vector<bool> got(all.text.size(), false);
    std::size_t k = 0;
    for (const ShownPiece& piece : pieces) {
        while (all.starts[k] < piece.from)
            ++k;
        for (; all.starts[k] < piece.to; ++k)
            got[k] = true;
    }
    QVERIFY(got == expected);
}

QTEST_GUILESS_MAIN(TestBidiText)
#include "test_bidi_text.moc"
