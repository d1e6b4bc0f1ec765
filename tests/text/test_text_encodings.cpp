// Which encoding a table file is read in, what its bytes become in memory,
// and that writing them back gives the same bytes.

#include "text/TextEncoding.h"

#include <QtTest>

using namespace rasmik;

using Bytes = std::string;
Q_DECLARE_METATYPE(Bytes)
Q_DECLARE_METATYPE(rasmik::TextEncoding)

namespace {

Bytes Utf16(const char16_t* units, bool big)
{
    Bytes out;
    for (const char16_t* u = units; *u; ++u) {
        const char hi = static_cast<char>(*u >> 8), lo = static_cast<char>(*u & 0xFF);
        out.push_back(big ? hi : lo);
        out.push_back(big ? lo : hi);
    }
    return out;
}

Bytes Held(Bytes file, FileEncoding e)
{
    ByteBuffer b(file);
    if (!FileBytesToHeld(b, e, 1u << 30))
        return "<too large>";
    return Bytes(b.view());
}

} // namespace

class TestTextEncodings : public QObject {
    Q_OBJECT

private slots:
    void detection_data()
    {
        QTest::addColumn<Bytes>("file");
        QTest::addColumn<TextEncoding>("encoding");
        QTest::addColumn<bool>("mark");
        QTest::addColumn<Bytes>("held");
        const Bytes name = "\xD9\x86\xD8\xA7\xD9\x85"; // نام in UTF-8
        QTest::newRow("empty") << Bytes() << TextEncoding::Windows1256 << false << Bytes();
        QTest::newRow("ascii only") << Bytes("a\tb\r\n") << TextEncoding::Windows1256 << false << Bytes("a\tb\r\n");
        QTest::newRow("utf-8") << name << TextEncoding::Utf8 << false << name;
        QTest::newRow("utf-8 mark") << Bytes("\xEF\xBB\xBF") + name << TextEncoding::Utf8 << true << name;
        QTest::newRow("utf-8 mark, ascii") << Bytes("\xEF\xBB\xBF"
                                                    "a")
                                           << TextEncoding::Utf8 << true << Bytes("a");
        QTest::newRow("late persian") << Bytes(2'000'000, 'x') + name << TextEncoding::Utf8 << false
                                      << Bytes(2'000'000, 'x') + name;
        QTest::newRow("one stray byte") << name + "\xE1" << TextEncoding::Windows1256 << false << name + "\xE1";
        QTest::newRow("windows-1256") << Bytes("\xE4\xC7\xE3") << TextEncoding::Windows1256 << false
                                      << Bytes("\xE4\xC7\xE3");
        QTest::newRow("cut sequence at end")
            << name.substr(0, 5) << TextEncoding::Windows1256 << false << name.substr(0, 5);
        QTest::newRow("overlong") << Bytes("\xC0\xAF") << TextEncoding::Windows1256 << false << Bytes("\xC0\xAF");
        QTest::newRow("utf-8 surrogate") << Bytes("\xED\xA0\x80") << TextEncoding::Windows1256 << false
                                         << Bytes("\xED\xA0\x80");
        QTest::newRow("four bytes") << Bytes("\xF0\x9F\x98\x80") << TextEncoding::Utf8 << false
                                    << Bytes("\xF0\x9F\x98\x80");
        QTest::newRow("broken after NUL is not read")
            << name + Bytes(1, '\0') + "\xFF" << TextEncoding::Utf8 << false << name + Bytes(1, '\0') + "\xFF";
        QTest::newRow("utf-16 le") << Bytes("\xFF\xFE") + Utf16(u"\u0646\u0627\u0645\tA", false)
                                   << TextEncoding::Utf16LE << true << name + "\tA";
        QTest::newRow("utf-16 be") << Bytes("\xFE\xFF") + Utf16(u"\u0646\u0627\u0645\tA", true) << TextEncoding::Utf16BE
                                   << true << name + "\tA";
        QTest::newRow("utf-16 pair") << Bytes("\xFF\xFE") + Utf16(u"\U0001F600", false) << TextEncoding::Utf16LE << true
                                     << Bytes("\xF0\x9F\x98\x80");
        QTest::newRow("utf-16 lone surrogate") << Bytes("\xFF\xFE")
                + Utf16(u"a\xD800"
                        "b",
                        false) << TextEncoding::Utf16LE
                                               << true
                                               << Bytes("a\xED\xA0\x80"
                                                        "b");
        QTest::newRow("utf-16 NUL ends the text")
            << Bytes("\xFF\xFE") + Utf16(u"ab", false) + Bytes(2, '\0') + Utf16(u"cd", false) << TextEncoding::Utf16LE
            << true << Bytes("ab");
        QTest::newRow("utf-16 odd byte") << Bytes("\xFF\xFE"
                                                  "a\0b",
                                                  5)
                                         << TextEncoding::Utf16LE << true << Bytes("a");
        // Without a mark: NULs in the odd or even places of printable text.
        QTest::newRow("utf-16 le without mark")
            << Utf16(u"\u0646\u0627\u0645\tA\r\n", false) << TextEncoding::Utf16LE << false << name + "\tA\r\n";
        QTest::newRow("utf-16 be without mark")
            << Utf16(u"\u0646\u0627\u0645\tA\r\n", true) << TextEncoding::Utf16BE << false << name + "\tA\r\n";
        QTest::newRow("utf-16 without mark or line break")
            << Utf16(u"abc", false) << TextEncoding::Utf16LE << false << Bytes("abc");
        QTest::newRow("utf-16 without mark, odd byte")
            << Utf16(u"a\tb", false) + "\x06" << TextEncoding::Utf16LE << false << Bytes("a\tb");
        // Not UTF-16: read as Windows-1256, cut at the NUL.
        const auto notUtf16 = [](const char* row, Bytes file) {
            QTest::newRow(row) << file << TextEncoding::Windows1256 << false << file;
        };
        notUtf16("png", Bytes("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\x01\0", 20));
        notUtf16("executable",
                 Bytes("\x7F"
                       "ELF\x02\x01\x01\0\0\0\0\0\0\0\0\0\x02\0\x3E\0",
                       20));
        notUtf16("stray NUL in a table", Bytes("a\tb\r\nc\0d\r\ne\tf\r\n", 15));
        notUtf16("stray NUL after a TAB", Bytes("ab\t\0cd\r\n", 8));
        notUtf16("stray NUL in one line", Bytes("abc\0def", 7));
        notUtf16("U+0000 unit", Bytes("a\0\0\0b\0", 6));
        notUtf16("control unit", Utf16(u"a\u0001b", false));
        notUtf16("lone surrogate",
                 Utf16(u"a\xDC00"
                       u"b",
                       false));
    }
    void detection()
    {
        QFETCH(Bytes, file);
        QFETCH(TextEncoding, encoding);
        QFETCH(bool, mark);
        QFETCH(Bytes, held);
        const FileEncoding e = DetectEncoding(file);
        QCOMPARE(e.encoding, encoding);
        QCOMPARE(e.byteOrderMark, mark);
        QCOMPARE(Held(file, e), held);
    }

    // Long texts, checked sixteen bytes at a time: a fault anywhere, at any
    // place in a block, makes the file Windows-1256.
    void validityOfLongText()
    {
        const Bytes persian = "\xD9\x86\xD8\xA7\xD9\x85 \xDB\x8C"; // 9 bytes, ends with U+06CC
        Bytes text;
        while (text.size() < 200)
            text += persian;
        bool beyond = false;
        QVERIFY(IsValidUtf8(text, &beyond));
        QVERIFY(beyond);
        const Bytes faults[] = {"\xC0\xAF", "\xC1\xBF", "\x80", "\xD9", "\xD9\xD9\x86", "\xED\xA0\x80", "\xFF"};
        for (std::size_t at = 0; at <= 40; ++at) {
            for (const Bytes& fault : faults) {
                // At a character boundary of the text, so that only the fault breaks it.
                std::size_t cut = at;
                while (cut < text.size() && !StartsCharacter(static_cast<unsigned char>(text[cut])))
                    ++cut;
                const Bytes broken = text.substr(0, cut) + fault + text.substr(cut);
                QVERIFY2(
                    !IsValidUtf8(broken),
                    qPrintable(
                        QString("fault %1 at %2").arg(QByteArray::fromStdString(fault).toHex().constData()).arg(cut)));
            }
            // Three- and four-byte characters between two-byte ones stay valid.
            std::size_t cut = at;
            while (!StartsCharacter(static_cast<unsigned char>(text[cut])))
                ++cut;
            QVERIFY(IsValidUtf8(text.substr(0, cut) + "\xE2\x82\xAC\xF0\x9F\x98\x80" + text.substr(cut)));
        }
    }

    // Bytes in, the same bytes out, for every encoding a file may be in.
    void roundTrip_data()
    {
        QTest::addColumn<Bytes>("file");
        QTest::newRow("windows-1256, every byte") << [] {
            Bytes all;
            for (int b = 1; b < 256; ++b)
                all.push_back(static_cast<char>(b));
            return all;
        }();
        QTest::newRow("utf-8") << Bytes("\xDB\x8C\xDB\xB1\xD9\xA2 a\t\xF0\x9F\x98\x80\r\n");
        QTest::newRow("utf-8 mark") << Bytes("\xEF\xBB\xBF\xDB\x8C\r\n");
        QTest::newRow("utf-16 le") << Bytes("\xFF\xFE") + Utf16(u"\u06CC\tx\U0001F600\r\n", false);
        QTest::newRow("utf-16 be") << Bytes("\xFE\xFF") + Utf16(u"\u06CC\tx\U0001F600\r\n", true);
        QTest::newRow("utf-16 lone surrogates") << Bytes("\xFF\xFE") + Utf16(u"\xDC00z\xD800", false);
    }
    void roundTrip()
    {
        QFETCH(Bytes, file);
        const FileEncoding e = DetectEncoding(file);
        const Bytes held = Held(file, e);
        Bytes out(ByteOrderMarkOf(e));
        QVERIFY(AppendHeldAs(held, HeldForm(e.encoding), e.encoding, out));
        QCOMPARE(out, file);
    }

    void conversion_data()
    {
        QTest::addColumn<Bytes>("held");
        QTest::addColumn<TextEncoding>("from");
        QTest::addColumn<TextEncoding>("to");
        QTest::addColumn<Bytes>("out");
        QTest::addColumn<int>("unfitAt"); // -1: it fits
        QTest::newRow("1256 to utf-8") << Bytes("\xED\xC7 1") << TextEncoding::Windows1256 << TextEncoding::Utf8
                                       << Bytes("\xD9\x8A\xD8\xA7 1") << -1;
        QTest::newRow("1256 to utf-16") << Bytes("\xC7") << TextEncoding::Windows1256 << TextEncoding::Utf16BE
                                        << Bytes("\x06\x27") << -1;
        QTest::newRow("nearest letters") << Bytes("\xDB\x8C\xDB\xB1\xD9\xA2\xDA\xA9") << TextEncoding::Utf8
                                         << TextEncoding::Windows1256
                                         << Bytes("\xED"
                                                  "12\x98")
                                         << -1;
        QTest::newRow("refused") << Bytes("ab\xE2\x82\xAA") << TextEncoding::Utf8 << TextEncoding::Windows1256
                                 << Bytes() << 2;
        QTest::newRow("refused emoji") << Bytes("\xF0\x9F\x98\x80") << TextEncoding::Utf8 << TextEncoding::Windows1256
                                       << Bytes() << 0;
        QTest::newRow("lone surrogate into utf-8")
            << Bytes("a\xED\xA0\x80") << TextEncoding::Utf8 << TextEncoding::Utf8 << Bytes("a\xEF\xBF\xBD") << -1;
    }
    void conversion()
    {
        QFETCH(Bytes, held);
        QFETCH(TextEncoding, from);
        QFETCH(TextEncoding, to);
        QFETCH(Bytes, out);
        QFETCH(int, unfitAt);
        Bytes got = "keep";
        UnfitCharacter unfit;
        QCOMPARE(AppendHeldAs(held, from, to, got, &unfit), unfitAt < 0);
        if (unfitAt >= 0) {
            QCOMPARE(got, Bytes("keep"));
            QCOMPARE(unfit.offset, std::size_t(unfitAt));
        } else {
            QCOMPARE(got, "keep" + out);
        }
    }

    void characters()
    {
        const Bytes s = "a\xDB\x8C\xF0\x9F\x98\x80z";
        QCOMPARE(CharacterCount(s, TextEncoding::Utf8), std::size_t(4));
        QCOMPARE(BytesOfCharacters(s, 2, TextEncoding::Utf8), std::size_t(3));
        QCOMPARE(BytesOfCharacters(s, 2, TextEncoding::Windows1256), std::size_t(2));
        // Long texts are counted eight bytes at a time: every count, on
        // texts of whole and broken characters (a leading continuation byte
        // counts as a character), equals one character after the other.
        const Bytes pieces[] = {"a", "\xDB\x8C", "\xE2\x80\x8C", "\xF0\x9F\x98\x80", "\x80", "\xBF\xBF", "\xC3"};
        for (unsigned seed = 1; seed <= 60; ++seed) {
            Bytes text;
            for (unsigned k = 0; k < seed % 23; ++k)
                text += pieces[(seed + k * k * 3 + k * 5) % std::size(pieces)];
            std::vector<std::size_t> starts;
            for (std::size_t i = 0; i < text.size(); ++i)
                if (i == 0 || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80)
                    starts.push_back(i);
            for (std::size_t n = 0; n <= starts.size() + 1; ++n)
                QCOMPARE(BytesOfCharacters(text, n, TextEncoding::Utf8), n < starts.size() ? starts[n] : text.size());
        }
        QCOMPARE(CutAtCharacter(s, 5, TextEncoding::Utf8), std::string_view(s).substr(0, 3));
        std::string exact;
        QVERIFY(Utf8ToCp1256Exactly("\xD9\x86\xDA\xA9", exact));
        QCOMPARE(exact, Bytes("\xE4\x98"));
        QVERIFY(!Utf8ToCp1256Exactly("\xDB\x8C", exact)); // U+06CC only by its nearest letter
        FileEncoding e;
        QVERIFY(ParseEncodingName("UTF-16", e));
        QCOMPARE(e, (FileEncoding{TextEncoding::Utf16LE, true}));
        QVERIFY(!ParseEncodingName("latin-1", e));
        QCOMPARE(SaveEncodingFor(TextEncoding::Utf16LE, {TextEncoding::Utf16BE, true}),
                 (FileEncoding{TextEncoding::Utf16BE, true}));
        QCOMPARE(SaveEncodingFor(TextEncoding::Utf8, {TextEncoding::Utf8, true}),
                 (FileEncoding{TextEncoding::Utf8, true}));
        QCOMPARE(SaveEncodingFor(TextEncoding::Utf8, {}), (FileEncoding{TextEncoding::Utf8, false}));
    }
};

QTEST_APPLESS_MAIN(TestTextEncodings)
#include "test_text_encodings.moc"
