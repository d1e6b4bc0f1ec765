// Windows-1256 against glibc's converter, the nearest-letter folding, and the
// Persian letter tables.

#include "text/Cp1256.h"
#include "text/PersianLetters.h"

#include <QtTest>

#include <iconv.h>

using namespace rasmik;

using Bytes = std::string;
Q_DECLARE_METATYPE(Bytes)

namespace {

QByteArray Hex(const std::string& s)
{
    return QByteArray(s.data(), static_cast<qsizetype>(s.size())).toHex(' ');
}

std::string Utf8(const char* s)
{
    return std::string(s);
}

// One character on its way into a Windows-1256 table: its byte, the byte of
// its nearest letter, or '?'.
int NearestByte(char32_t cp)
{
    std::string out;
    if (!AppendNearestCp1256(cp, out))
        return '?';
    return out.size() == 1 ? static_cast<unsigned char>(out[0]) : -1;
}

// What a folding-free converter gives for one code point: the exact byte or
// nothing.
int ExactByte(char32_t cp)
{
    for (int b = 0; b < 256; ++b) {
        if (Cp1256Table[b] == cp)
            return b;
    }
    return -1;
}

} // namespace

class TestTextCodePages : public QObject {
    Q_OBJECT

private slots:
    void tableMatchesIconv();
    void everyByteRoundTrips();
    void nearestLetter_data();
    void nearestLetter();
    void wholeBmpFoldsOnlyToTheSameLetter();
    void utf16ToCp1256_data();
    void utf16ToCp1256();
    void utf8ToCp1256_data();
    void utf8ToCp1256();
    void cp1256ToUtf8();

    void iranSystemRows_data();
    void iranSystemRows();
    void iranSystemLettersAreArabicScript();
};

void TestTextCodePages::tableMatchesIconv()
{
    iconv_t cd = iconv_open("UTF-32LE", "CP1256");
    QVERIFY(cd != reinterpret_cast<iconv_t>(-1));
    // glibc converts every one of the 256 bytes; a byte it refused would
    // fail here rather than be skipped.
    for (int b = 0; b < 256; ++b) {
        char in = static_cast<char>(b);
        char32_t out = 0;
        char* ip = &in;
        char* op = reinterpret_cast<char*>(&out);
        size_t il = 1, ol = sizeof out;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        const size_t r = iconv(cd, &ip, &il, &op, &ol);
        QVERIFY2(r != static_cast<size_t>(-1), qPrintable(QString("iconv refused byte %1").arg(b, 2, 16)));
        QVERIFY2(out == Cp1256Table[b],
                 qPrintable(QString("byte %1: iconv U+%2, table U+%3")
                                .arg(b, 2, 16)
                                .arg(static_cast<uint>(out), 4, 16, QChar('0'))
                                .arg(static_cast<uint>(Cp1256Table[b]), 4, 16, QChar('0'))));
    }
    iconv_close(cd);
}

void TestTextCodePages::everyByteRoundTrips()
{
    std::string all;
    for (int b = 0; b < 256; ++b) {
        all.push_back(static_cast<char>(b));
        QCOMPARE(NearestByte(Cp1256ToUnicodeChar(static_cast<unsigned char>(b))), b);
    }
    const std::u16string wide = Cp1256ToUnicode(all);
    QCOMPARE(wide.size(), std::size_t{256});
    QCOMPARE(Hex(UnicodeToCp1256(wide)), Hex(all));
    QCOMPARE(Hex(Utf8ToCp1256(Cp1256ToUtf8(all))), Hex(all));
    // Qt's own UTF-8 reading agrees with our UTF-8 writing.
    const std::string utf8 = Cp1256ToUtf8(all);
    const QString viaQt = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    QCOMPARE(viaQt, QString::fromStdU16String(wide));
}

void TestTextCodePages::nearestLetter_data()
{
    QTest::addColumn<uint>("cp");
    QTest::addColumn<int>("byte");

    QTest::newRow("Farsi yeh to Arabic yeh") << 0x06CCu << 0xED;
    QTest::newRow("Arabic yeh exact") << 0x064Au << 0xED;
    QTest::newRow("keheh stays keheh") << 0x06A9u << 0x98;
    QTest::newRow("Persian zero") << 0x06F0u << int('0');
    QTest::newRow("Persian five") << 0x06F5u << int('5');
    QTest::newRow("Persian nine") << 0x06F9u << int('9');
    QTest::newRow("Arabic-Indic zero") << 0x0660u << int('0');
    QTest::newRow("Arabic-Indic nine") << 0x0669u << int('9');
    QTest::newRow("heh with yeh above to heh") << 0x06C0u << 0xE5;
    QTest::newRow("Persian decimal separator") << 0x066Bu << int('.');
    QTest::newRow("Persian thousands separator") << 0x066Cu << int(',');
    QTest::newRow("Persian percent sign") << 0x066Au << int('%');
    QTest::newRow("sheqel has no byte") << 0x20AAu << int('?');
    QTest::newRow("heh goal exact") << 0x06C1u << 0xC0;
    QTest::newRow("keheh isolated form") << 0xFB8Eu << 0x98;
    QTest::newRow("Farsi yeh medial form") << 0xFBFFu << 0xED;
    QTest::newRow("lam initial form") << 0xFEDFu << 0xE1;
    QTest::newRow("hamza isolated form") << 0xFE80u << 0xC1;
    QTest::newRow("yeh final form") << 0xFEF2u << 0xED;
    QTest::newRow("left-to-right mark") << 0x200Eu << 0xFD;
    QTest::newRow("euro") << 0x20ACu << 0x80;
    QTest::newRow("e acute") << 0x00E9u << 0xE9;
    QTest::newRow("NUL") << 0x0000u << 0x00;
    QTest::newRow("question mark") << 0x003Fu << int('?');
    QTest::newRow("Latin A with macron") << 0x0100u << int('?');
    QTest::newRow("alef wasla has no byte") << 0x0671u << int('?');
    QTest::newRow("CJK") << 0x4E2Du << int('?');
    QTest::newRow("replacement character") << 0xFFFDu << int('?');
    QTest::newRow("byte order mark") << 0xFEFFu << int('?');
    QTest::newRow("beyond the BMP") << 0x1F600u << int('?');
    QTest::newRow("beyond Unicode") << 0x110000u << int('?');
    QTest::newRow("lone surrogate") << 0xD800u << int('?');
}

void TestTextCodePages::nearestLetter()
{
    QFETCH(uint, cp);
    QFETCH(int, byte);
    QCOMPARE(NearestByte(cp), byte);
}

// Over the whole BMP a character becomes its own byte, one of the listed
// folds, or (Arabic presentation forms) the byte of its compatibility decomposition
// as Qt computes it; everything else becomes '?'.
void TestTextCodePages::wholeBmpFoldsOnlyToTheSameLetter()
{
    auto folded = [](char32_t cp) -> int {
        if (cp == 0x06CC)
            return 0xED;
        if (cp == 0x06C0)
            return 0xE5;
        if (cp >= 0x06F0 && cp <= 0x06F9)
            return '0' + static_cast<int>(cp - 0x06F0);
        if (cp >= 0x0660 && cp <= 0x0669)
            return '0' + static_cast<int>(cp - 0x0660);
        if (cp >= 0x066A && cp <= 0x066C)
            return "%.,"[cp - 0x066A];
        return -1;
    };
    auto expected = [&](char32_t cp) -> int {
        if (const int b = ExactByte(cp); b >= 0)
            return b;
        if (const int b = folded(cp); b >= 0)
            return b;
        if ((cp >= 0xFB50 && cp <= 0xFDFF) || (cp >= 0xFE70 && cp <= 0xFEFF)) {
            const QString kc = QString(QChar(static_cast<char16_t>(cp))).normalized(QString::NormalizationForm_KC);
            if (kc.size() == 1 && kc[0].unicode() != cp) {
                const char32_t base = kc[0].unicode();
                if (const int b = ExactByte(base); b >= 0)
                    return b;
                if (const int b = folded(base); b >= 0)
                    return b;
            }
        }
        return '?';
    };
    int wrong = 0;
    QString first;
    for (char32_t cp = 0; cp <= 0xFFFF; ++cp) {
        if (cp >= 0xFEF5 && cp <= 0xFEFC)
            continue; // lam-alef ligatures become two letters: utf16ToCp1256
        const int want = expected(cp);
        const int got = NearestByte(cp);
        if (got != want && wrong++ == 0)
            first = QString("U+%1 gave %2, expected %3")
                        .arg(static_cast<uint>(cp), 4, 16, QChar('0'))
                        .arg(got, 2, 16)
                        .arg(want, 2, 16);
    }
    QVERIFY2(wrong == 0, qPrintable(QString("%1 wrong, first %2").arg(wrong).arg(first)));
}

void TestTextCodePages::utf16ToCp1256_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<Bytes>("bytes");

    QTest::newRow("Persian word") << QString::fromUtf8("سلام") << Bytes("\xD3\xE1\xC7\xE3");
    QTest::newRow("Persian word with Farsi yeh and keheh") << QString::fromUtf8("کیف") << Bytes("\x98\xED\xDD");
    QTest::newRow("Persian digits") << QString::fromUtf8("۱۲۳٫۵") << Bytes("123.5");
    QTest::newRow("surrogate pair is one character") << QString::fromUtf8("a😀b") << Bytes("a?b");
    QTest::newRow("lone high surrogate") << (QString(QChar(0xD83D)) + "a") << Bytes("?a");
    QTest::newRow("lone low surrogate") << (QString("a") + QChar(0xDE00)) << Bytes("a?");
    QTest::newRow("two high surrogates") << (QString(QChar(0xD83D)) + QChar(0xD83D)) << Bytes("??");
    QTest::newRow("lam-alef ligature") << QString(QChar(0xFEFB)) << Bytes("\xE1\xC7");
    QTest::newRow("lam-alef madda final") << QString(QChar(0xFEF6)) << Bytes("\xE1\xC2");
    QTest::newRow("lam-alef hamza below") << QString(QChar(0xFEF9)) << Bytes("\xE1\xC5");
    QTest::newRow("NUL kept") << QString(QChar(0)) << Bytes(1, '\0');
    QTest::newRow("empty") << QString() << Bytes();
}

void TestTextCodePages::utf16ToCp1256()
{
    QFETCH(QString, text);
    QFETCH(Bytes, bytes);
    QCOMPARE(Hex(UnicodeToCp1256(text.toStdU16String())), Hex(bytes));
    // The UTF-8 road gives the same bytes.
    const QByteArray utf8 = text.toUtf8();
    if (!text.contains(QChar(0xD83D)) && !text.contains(QChar(0xDE00)))
        QCOMPARE(Hex(Utf8ToCp1256(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())))),
                 Hex(bytes));
}

void TestTextCodePages::utf8ToCp1256_data()
{
    QTest::addColumn<Bytes>("utf8");
    QTest::addColumn<Bytes>("bytes");

    QTest::newRow("ASCII") << Utf8("Col 1\t2") << Bytes("Col 1\t2");
    QTest::newRow("Persian") << Utf8("جدول") << Bytes("\xCC\xCF\xE6\xE1");
    QTest::newRow("four-byte character") << Utf8("\xF0\x9F\x98\x80") << Bytes("?");
    QTest::newRow("bad continuation") << Utf8("\xC3\x28") << Bytes("?(");
    QTest::newRow("truncated at the end") << Utf8("a\xE2\x82") << Bytes("a?");
    QTest::newRow("encoded surrogate") << Utf8("\xED\xA0\x80") << Bytes("???");
    QTest::newRow("overlong slash") << Utf8("\xC0\xAF") << Bytes("??");
    QTest::newRow("overlong three bytes") << Utf8("\xE0\x80\xAF") << Bytes("???");
    QTest::newRow("beyond U+10FFFF") << Utf8("\xF4\x90\x80\x80") << Bytes("????");
    QTest::newRow("stray continuation") << Utf8("\x80x") << Bytes("?x");
    QTest::newRow("Windows-1256 bytes are not UTF-8") << Utf8("\xD3\xE1\xC7\xE3") << Bytes("????");
    QTest::newRow("NUL inside") << Bytes("a\0b", 3) << Bytes("a\0b", 3);
}

void TestTextCodePages::utf8ToCp1256()
{
    QFETCH(Bytes, utf8);
    QFETCH(Bytes, bytes);
    QCOMPARE(Hex(Utf8ToCp1256(utf8)), Hex(bytes));
}

void TestTextCodePages::cp1256ToUtf8()
{
    QCOMPARE(QString::fromStdString(Cp1256ToUtf8("\xD3\xE1\xC7\xE3")), QString::fromUtf8("سلام"));
    QCOMPARE(QString::fromStdString(Cp1256ToUtf8("\x98\x90\x81\x8D\x8E")), QString::fromUtf8("کگپچژ"));
    QCOMPARE(QString::fromStdString(Cp1256ToUtf8("\x80 \xFD")), QString::fromUtf8("€ \u200E"));
    QCOMPARE(Cp1256ToUtf8(std::string_view("a\0b", 3)), std::string("a\0b", 3));
}

void TestTextCodePages::iranSystemRows_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<int>("ansi");

    for (int d = 0; d < 10; ++d)
        QTest::addRow("digit %d", d) << 0x80 + d << 0x80 + d << '0' + d;
    QTest::newRow("Arabic comma") << 0x8A << 0x8A << 0xA1;
    QTest::newRow("tatweel") << 0x8B << 0x8B << 0xDC;
    QTest::newRow("question mark") << 0x8C << 0x8C << 0xBF;
    QTest::newRow("alef madda") << 0x8D << 0x8D << 0xC2;
    QTest::newRow("yeh hamza") << 0x8E << 0x8E << 0xC6;
    QTest::newRow("hamza") << 0x8F << 0x8F << 0xC1;
    QTest::newRow("alef") << 0x90 << 0x91 << 0xC7;
    QTest::newRow("beh") << 0x92 << 0x93 << 0xC8;
    QTest::newRow("peh") << 0x94 << 0x95 << 0x81;
    QTest::newRow("teh") << 0x96 << 0x97 << 0xCA;
    QTest::newRow("theh") << 0x98 << 0x99 << 0xCB;
    QTest::newRow("jeem") << 0x9A << 0x9B << 0xCC;
    QTest::newRow("tcheh") << 0x9C << 0x9D << 0x8D;
    QTest::newRow("hah") << 0x9E << 0x9F << 0xCD;
    QTest::newRow("khah") << 0xA0 << 0xA1 << 0xCE;
    QTest::newRow("dal") << 0xA2 << 0xA2 << 0xCF;
    QTest::newRow("thal") << 0xA3 << 0xA3 << 0xD0;
    QTest::newRow("reh") << 0xA4 << 0xA4 << 0xD1;
    QTest::newRow("zain") << 0xA5 << 0xA5 << 0xD2;
    QTest::newRow("jeh") << 0xA6 << 0xA6 << 0x8E;
    QTest::newRow("seen") << 0xA7 << 0xA8 << 0xD3;
    QTest::newRow("sheen") << 0xA9 << 0xAA << 0xD4;
    QTest::newRow("sad") << 0xAB << 0xAC << 0xD5;
    QTest::newRow("dad") << 0xAD << 0xAE << 0xD6;
    QTest::newRow("tah") << 0xAF << 0xAF << 0xD8;
    QTest::newRow("box drawing") << 0xB0 << 0xDF << 0x23;
    QTest::newRow("zah") << 0xE0 << 0xE0 << 0xD9;
    QTest::newRow("ain") << 0xE1 << 0xE4 << 0xDA;
    QTest::newRow("ghain") << 0xE5 << 0xE8 << 0xDB;
    QTest::newRow("feh") << 0xE9 << 0xEA << 0xDD;
    QTest::newRow("qaf") << 0xEB << 0xEC << 0xDE;
    QTest::newRow("keheh as Arabic kaf") << 0xED << 0xEE << 0xDF;
    QTest::newRow("gaf") << 0xEF << 0xF0 << 0x90;
    QTest::newRow("lam, lam-alef included") << 0xF1 << 0xF3 << 0xE1;
    QTest::newRow("meem") << 0xF4 << 0xF5 << 0xE3;
    QTest::newRow("noon") << 0xF6 << 0xF7 << 0xE4;
    QTest::newRow("waw") << 0xF8 << 0xF8 << 0xE6;
    QTest::newRow("heh") << 0xF9 << 0xFB << 0xE5;
    QTest::newRow("yeh as Arabic yeh") << 0xFC << 0xFE << 0xED;
    QTest::newRow("FF") << 0xFF << 0xFF << 0xFF;
}

void TestTextCodePages::iranSystemRows()
{
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(int, ansi);
    for (int b = first; b <= last; ++b)
        QCOMPARE(int(IranSystemToAnsi[b - 0x80]), ansi);
}

// Every letter entry names an Arabic-script character of the code page.
void TestTextCodePages::iranSystemLettersAreArabicScript()
{
    for (int i = 0x0A; i < 0x80; ++i) {
        const unsigned char b = IranSystemToAnsi[i];
        if (b == 0x23 || b == 0xFF)
            continue;
        const char16_t u = Cp1256Table[b];
        QVERIFY2(u >= 0x0600 && u <= 0x06FF,
                 qPrintable(QString("Iran System %1 -> %2").arg(i + 0x80, 2, 16).arg(b, 2, 16)));
    }
}

QTEST_GUILESS_MAIN(TestTextCodePages)
#include "test_text_codepages.moc"
