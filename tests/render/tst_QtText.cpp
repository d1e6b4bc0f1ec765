// Windows-1256 to QString and back at the toolkit's edge.

#include "render/QtText.h"

#include <QStringDecoder>
#include <QtTest>

#include <string>

using namespace rasmik;

namespace {

std::string allBytes()
{
    std::string s;
    for (int b = 0; b < 256; ++b)
        s.push_back(static_cast<char>(b));
    return s;
}

QByteArray bytes(const std::string& s)
{
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace

class TestQtText : public QObject {
    Q_OBJECT
private slots:
    void knownCharacters_data();
    void knownCharacters();
    void everyByteRoundTrips();
    void buffersAreReused();
    void missingCharacters_data();
    void missingCharacters();
};

void TestQtText::knownCharacters_data()
{
    QTest::addColumn<QByteArray>("cp1256");
    QTest::addColumn<QString>("text");
    QTest::newRow("ASCII") << QByteArray("Tehran 1400") << QStringLiteral("Tehran 1400");
    QTest::newRow("Persian word") << QByteArray("\xD3\xE1\xC7\xE3") << QString::fromUtf8("سلام");
    QTest::newRow("peh, tcheh, jeh, gaf, keheh") << QByteArray("\x81\x8D\x8E\x90\x98") << QString::fromUtf8("پچژگک");
    QTest::newRow("euro and marks") << QByteArray("\x80\xFD\xFE") << QString::fromUtf16(u"\u20AC\u200E\u200F");
    QTest::newRow("NUL inside") << QByteArray("a\0b", 3) << QString::fromUtf16(u"a\u0000b", 3);
    QTest::newRow("empty") << QByteArray() << QString();
}

void TestQtText::knownCharacters()
{
    QFETCH(QByteArray, cp1256);
    QFETCH(QString, text);
    QCOMPARE(ToQString(std::string_view(cp1256.constData(), cp1256.size())), text);
    QCOMPARE(bytes(FromQString(text)), cp1256);
}

void TestQtText::everyByteRoundTrips()
{
    const std::string all = allBytes();
    const QString text = ToQString(all);
    QCOMPARE(text.size(), 256);
    QCOMPARE(bytes(FromQString(text)), bytes(all));
    // Where Qt knows the code page, it agrees on every byte.
    QStringDecoder decoder("windows-1256");
    if (decoder.isValid())
        QCOMPARE(text, decoder.decode(bytes(all)).operator QString());
}

void TestQtText::buffersAreReused()
{
    QString buffer;
    ToQString("a longer text first", buffer);
    ToQString("\xD3\xE1", buffer);
    QCOMPARE(buffer, QString::fromUtf8("سل"));
    ToQString("", buffer);
    QVERIFY(buffer.isEmpty());
}

void TestQtText::missingCharacters_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("cp1256");
    QTest::newRow("Farsi yeh to Arabic yeh") << QString::fromUtf8("ی") << QByteArray("\xED");
    QTest::newRow("Persian digits") << QString::fromUtf8("۱۲۳") << QByteArray("123");
    QTest::newRow("Arabic-Indic digits") << QString::fromUtf8("٤٥") << QByteArray("45");
    QTest::newRow("no such letter") << QString::fromUtf8("a中b") << QByteArray("a?b");
    QTest::newRow("surrogate pair is one character") << QString::fromUtf8("x😀y") << QByteArray("x?y");
}

void TestQtText::missingCharacters()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, cp1256);
    QCOMPARE(bytes(FromQString(text)), cp1256);
}

QTEST_APPLESS_MAIN(TestQtText)
#include "tst_QtText.moc"
