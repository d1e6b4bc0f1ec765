// The per-byte advance bound and the shape bounds must never fall below the
// measured width of any text, or the table layout would skip the widest cell
// of a column.

#include "render/QtText.h"
#include "render/QtTextMetrics.h"
#include "table/TextAlphabet.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QtTest>

#include <algorithm>
#include <string>
#include <vector>

using namespace rasmik;

namespace {

std::string cp(const char* utf8)
{
    return FromQString(QString::fromUtf8(utf8));
}

// Real cell texts: Persian, Latin, numbers and mixtures of them.
std::vector<std::string> realTexts()
{
    std::vector<std::string> t = {
        cp("سلام"),
        cp("لا"),
        cp("لالالا"),
        cp("کتابخانه ملی ایران"),
        cp("مهندسی نرم‌افزار"),
        cp("خیابان آزادی، پلاک ۱۲"),
        cp("بِسْمِ اللّهِ الرَّحْمنِ الرَّحِيمِ"),
        cp("شرکت \"پارس\" (سهامی خاص)"),
        cp("إسلامی أصفهان آلاء"),
        cp("گچساران ژاله چهارباغ پژوهش"),
        cp("ـــبـــ"),
        cp("ﻻ"),
        cp("\xe2\x80\x8e"
           "ABC فارسی 123"),
        cp("Tehran تهران 1400/10/01"),
        "Hello, World!",
        "WAVE AVATAR Tyrolean",
        "1,234,567.89",
        "(1,000)",
        "iiiiiiiiii",
        "MMMMMMMM",
        "fi fl ffi",
        "\t",
        "a\tb",
        "\t\t\t",
        std::string("\x00\x01\x1f", 3),
        " ",
        "",
        cp("۱۲۳۴۵۶۷۸۹۰"),
        cp("٪ ٫ ٬ ؟ ؛ «»"),
        cp("ئ ؤ ء ة ى ي ك ک ی"),
    };
    return t;
}

std::string randomText(QRandomGenerator& rng, const std::string& alphabet, int maxLen)
{
    const int n = rng.bounded(1, maxLen + 1);
    std::string s;
    for (int i = 0; i < n; ++i)
        s.push_back(alphabet[static_cast<std::size_t>(rng.bounded(static_cast<int>(alphabet.size())))]);
    return s;
}

std::string allBytes()
{
    std::string s;
    for (int b = 0; b < 256; ++b)
        s.push_back(static_cast<char>(b));
    return s;
}

// Arabic-script letters of Windows-1256 with harakat, joiners and tatweel.
std::string persianBytes()
{
    std::string s;
    for (int b = 0xC1; b <= 0xFF; ++b)
        s.push_back(static_cast<char>(b));
    for (int b : {0x81, 0x8D, 0x8E, 0x90, 0x98, 0x9D, 0x9E, 0x9F, 0xAA, 0xBA, 0xBF, 0xA1, 0x20, 0x20})
        s.push_back(static_cast<char>(b));
    return s;
}

std::string latinBytes()
{
    std::string s = " .,-()/0123456789";
    for (char c = 'A'; c <= 'Z'; ++c)
        s.push_back(c);
    for (char c = 'a'; c <= 'z'; ++c)
        s.push_back(c);
    return s;
}

int boundOf(const QtTextMetrics& m, const std::string& s)
{
    int sum = 0;
    for (char c : s)
        sum += m.byteAdvanceBound(static_cast<unsigned char>(c));
    return sum;
}

QByteArray hex(const std::string& s)
{
    return QByteArray(s.data(), static_cast<qsizetype>(s.size())).toHex(' ');
}

// The UTF-8 of a text written in the Persian alphabet.
std::string persianToUtf8(const std::string& text)
{
    QString q;
    for (const char c : text)
        q.append(QChar(TextAlphabet::persian().character(static_cast<unsigned char>(c))));
    return FromQString(q, TextEncoding::Utf8);
}

std::string persianAlphabet(const char* utf8)
{
    std::string out;
    if (!TextAlphabet::persian().fromUtf8(utf8, out))
        qFatal("not in the Persian alphabet: %s", utf8);
    return out;
}

// The bytes the Persian alphabet gives to characters Windows-1256 lacks.
std::string persianOnlyBytes()
{
    std::string s;
    for (int b = 128; b < 256; ++b)
        if (TextAlphabet::persian().differsFromWindows1256(static_cast<unsigned char>(b)))
            s.push_back(static_cast<char>(b));
    return s;
}

} // namespace

class TestQtTextMetrics : public QObject {
    Q_OBJECT
private slots:
    void boundNeverBelowWidth_data();
    void boundNeverBelowWidth();
    void shapeBoundsKnowTheFont_data();
    void shapeBoundsKnowTheFont();
    void widthIsThePaintersWidth();
    void persianAlphabetBoundNeverBelowWidth_data();
    void persianAlphabetBoundNeverBelowWidth();
    void persianAlphabetBoundsAreTight_data();
    void persianAlphabetBoundsAreTight();
    void maxBoundCoversEveryByte();
};

void TestQtTextMetrics::boundNeverBelowWidth_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<int>("points");
    QTest::addColumn<bool>("bold");
    for (const char* family : {"Noto Sans Arabic", "DejaVu Sans", "Tahoma", "Noto Naskh Arabic"}) {
        for (int points : {7, 10, 13, 20}) {
            for (bool bold : {false, true}) {
                const QByteArray name = QByteArray(family) + ' ' + QByteArray::number(points) + (bold ? " bold" : "");
                QTest::newRow(name.constData()) << QString::fromLatin1(family) << points << bold;
            }
        }
    }
}

void TestQtTextMetrics::boundNeverBelowWidth()
{
    QFETCH(QString, family);
    QFETCH(int, points);
    QFETCH(bool, bold);
    QFont font(family, points);
    font.setBold(bold);
    const QtTextMetrics m(font);

    std::vector<std::string> texts = realTexts();
    QRandomGenerator rng(static_cast<quint32>(qHash(family) ^ static_cast<uint>(points * 2 + bold)));
    const std::string alphabets[] = {allBytes(), persianBytes(), latinBytes(), persianBytes() + latinBytes()};
    for (const std::string& alphabet : alphabets)
        for (int i = 0; i < 400; ++i)
            texts.push_back(randomText(rng, alphabet, 60));
    // Every byte alone and between joining neighbours.
    for (int b = 0; b < 256; ++b) {
        const char c = static_cast<char>(b);
        texts.push_back(std::string(1, c));
        texts.push_back(std::string("\xC8") + c + "\xC8");
        texts.push_back(std::string("\xDC") + c + "\xDC");
        texts.push_back(std::string(4, c));
        texts.push_back(std::string(13, c));
        texts.push_back(std::string("\n") + c);
        texts.push_back(std::string("a\r") + c + "\x1f" + c);
    }

    // Latin identifiers full of possible ligatures, and Persian words.
    const std::string hexDigits = "0123456789abcdef";
    const std::string ligatureLetters = "fffiltj.-@";
    for (int i = 0; i < 400; ++i) {
        texts.push_back(randomText(rng, hexDigits, 40));
        texts.push_back(randomText(rng, ligatureLetters + latinBytes(), 30));
    }

    const TextBounds shaped(m);
    for (const std::string& s : texts) {
        const int width = m.textWidth(s);
        const int bound = boundOf(m, s);
        if (bound < width)
            QFAIL(qPrintable(
                QStringLiteral("bound %1 < width %2 for %3").arg(bound).arg(width).arg(QString::fromLatin1(hex(s)))));
        const auto tight = static_cast<int>(shaped.bound(s));
        if (tight < width)
            QFAIL(qPrintable(QStringLiteral("shape bound %1 < width %2 for %3")
                                 .arg(tight)
                                 .arg(width)
                                 .arg(QString::fromLatin1(hex(s)))));
    }
}

void TestQtTextMetrics::shapeBoundsKnowTheFont_data()
{
    QTest::addColumn<QString>("family");
    for (const char* family : {"DejaVu Sans", "Noto Sans", "Noto Sans Arabic"})
        QTest::newRow(family) << QString::fromLatin1(family);
}

// The facts behind the tight bounds: the font's f-ligatures, an Arabic
// letter narrower when it joins, and bounds of a pixel or so for texts that
// a byte bound overshoots by many.
void TestQtTextMetrics::shapeBoundsKnowTheFont()
{
    QFETCH(QString, family);
    QFont font(family);
    font.setPixelSize(14);
    const QtTextMetrics m(font);
    ShapeBounds shape;
    QVERIFY(m.shapeBounds(shape));
    const auto& l = shape.ligatures;
    QVERIFY2(std::find(l.begin(), l.end(), "fi") != l.end(), qPrintable(family));
    // Beh (0xC8): its initial form is narrower than the isolated one.
    QVERIFY(shape.form64[0xC8 * 4 + 2] < shape.form64[0xC8 * 4]);
    QCOMPARE(shape.joining[0xC8], ShapeBounds::JoinsDual);
    QCOMPARE(shape.joining[0xC7], ShapeBounds::JoinsRight);

    const TextBounds bounds(m);
    for (const std::string& s : {std::string("ffi0f3a9e-4bff-11ee-be56-0242ac120002"), std::string("office@traffic.ir"),
                                 cp("کتابخانه ملی ایران"), cp("لالالا سلام"), cp("پژوهشگاه 1402")}) {
        const int width = m.textWidth(s);
        const auto bound = static_cast<int>(bounds.bound(s));
        QVERIFY2(bound >= width && bound <= width + 2,
                 qPrintable(QStringLiteral("%1: bound %2, width %3, byte bound %4")
                                .arg(ToQString(s))
                                .arg(bound)
                                .arg(width)
                                .arg(boundOf(m, s))));
    }
}

void TestQtTextMetrics::persianAlphabetBoundNeverBelowWidth_data()
{
    boundNeverBelowWidth_data();
}

// Texts of UTF-8 tables bounded in the Persian alphabet: U+06CC, Persian and
// Arabic-Indic digits and separators among the letters of Windows-1256.
void TestQtTextMetrics::persianAlphabetBoundNeverBelowWidth()
{
    QFETCH(QString, family);
    QFETCH(int, points);
    QFETCH(bool, bold);
    QFont font(family, points);
    font.setBold(bold);
    const QtTextMetrics m(font);
    const TextBounds bounds(m, TextAlphabet::persian());

    std::vector<std::string> texts = {
        persianAlphabet("علی یزدی ۱۲۳۴۵"),      persianAlphabet("۱۴۰۲/۰۱/۰۱"),
        persianAlphabet("۱۲٬۵۰۰٫۷۵ ٪"),         persianAlphabet("٠١٢٣٤٥٦٧٨٩"),
        persianAlphabet("خانه ما، ٪۱۰۰ شما"),   persianAlphabet("سفارش fx-48213 ی Galaxy"),
        persianAlphabet("یییی ی ی‌ی"), persianAlphabet("‏لیلا ۱۲"),
    };
    QRandomGenerator rng(static_cast<quint32>(qHash(family) ^ static_cast<uint>(points * 2 + bold)));
    const std::string persianOnly = persianOnlyBytes();
    const std::string alphabets[] = {allBytes(), persianBytes() + persianOnly + persianOnly,
                                     latinBytes() + persianOnly + persianOnly};
    for (const std::string& alphabet : alphabets)
        for (int i = 0; i < 400; ++i)
            texts.push_back(randomText(rng, alphabet, 60));
    for (const char c : persianOnly) {
        texts.push_back(std::string(1, c));
        texts.push_back(std::string("\xC8") + c + "\xC8");
        texts.push_back(std::string("\xDC") + c + "\xDC");
        texts.push_back(std::string(5, c));
        texts.push_back(std::string("1") + c + "," + c + "0");
        texts.push_back(std::string("\n") + c);
    }
    for (const std::string& s : texts) {
        const int width = m.utf8TextWidth(persianToUtf8(s));
        const auto bound = static_cast<int>(bounds.bound(s));
        if (bound < width)
            QFAIL(qPrintable(QStringLiteral("bound %1 < width %2 for %3")
                                 .arg(bound)
                                 .arg(width)
                                 .arg(QString::fromUtf8(persianToUtf8(s)))));
    }
}

void TestQtTextMetrics::persianAlphabetBoundsAreTight_data()
{
    shapeBoundsKnowTheFont_data();
}

// U+06CC joins as Arabic yeh does but has forms of its own: the font is
// known for it as for the letters of Windows-1256, and so are the digits.
void TestQtTextMetrics::persianAlphabetBoundsAreTight()
{
    QFETCH(QString, family);
    QFont font(family);
    font.setPixelSize(14);
    const QtTextMetrics m(font);
    std::vector<std::int64_t> general;
    ShapeBounds shape;
    QVERIFY(m.alphabetBounds(TextAlphabet::persian(), general, shape));
    const auto yeh = static_cast<unsigned char>(persianAlphabet("ی")[0]);
    QCOMPARE(shape.joining[yeh], ShapeBounds::JoinsDual);
    QCOMPARE(shape.unmodelled[yeh], 0);
    QVERIFY(shape.form64[yeh * 4 + 2] < shape.form64[yeh * 4]);

    const TextBounds bounds(m, TextAlphabet::persian());
    for (const char* utf8 : {"علی یزدی ۴۶۹۴۱", "خیابان ولیعصر، پلاک ۱۲", "۱۲٬۵۰۰", "٠١٢٣٤ پژوهشگاه"}) {
        const std::string s = persianAlphabet(utf8);
        const int width = m.utf8TextWidth(utf8);
        const auto bound = static_cast<int>(bounds.bound(s));
        QVERIFY2(
            bound >= width && bound <= width + 3,
            qPrintable(QStringLiteral("%1: bound %2, width %3").arg(QString::fromUtf8(utf8)).arg(bound).arg(width)));
    }
}

void TestQtTextMetrics::widthIsThePaintersWidth()
{
    // The width a text is laid out with is the width it occupies when drawn:
    // draw it and find its ink inside [0, width] (plus the glyphs' side bearings).
    QFont font(QStringLiteral("DejaVu Sans"), 14);
    QImage img(400, 60, QImage::Format_RGB32);
    const QtTextMetrics m(font, &img);
    const std::string texts[] = {"1234567890", cp("کتابخانه ملی"), cp("abc فارسی")};
    for (const std::string& s : texts) {
        img.fill(Qt::white);
        QPainter p(&img);
        p.setFont(font);
        p.setPen(Qt::black);
        p.setLayoutDirection(Qt::RightToLeft);
        p.drawText(QPointF(100, 40), ToQString(s));
        p.end();
        int left = img.width(), right = -1;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (img.pixelColor(x, y) != Qt::white) {
                    left = std::min(left, x);
                    right = std::max(right, x);
                }
        const int w = m.textWidth(s);
        QVERIFY2(right >= left, hex(s).constData());
        QVERIFY2(left >= 100 - 2 && right <= 100 + w + 2, hex(s).constData());
        QVERIFY2(right - left + 1 >= w - 6, hex(s).constData());
        QCOMPARE(m.textHeight(s), QFontMetrics(font, &img).height());
    }
}

void TestQtTextMetrics::maxBoundCoversEveryByte()
{
    const QtTextMetrics m(QFont(QStringLiteral("DejaVu Sans"), 11));
    int widest = 0;
    for (int b = 0; b < 256; ++b) {
        QVERIFY(m.byteAdvanceBound(static_cast<unsigned char>(b)) >= 1);
        widest = std::max(widest, m.byteAdvanceBound(static_cast<unsigned char>(b)));
    }
    QCOMPARE(m.maxByteAdvanceBound(), widest);
    // A wide letter needs more than a narrow one.
    QVERIFY(m.byteAdvanceBound('M') > m.byteAdvanceBound('i'));
}

QTEST_MAIN(TestQtTextMetrics)
#include "tst_QtTextMetrics.moc"
