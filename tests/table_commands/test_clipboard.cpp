// Clipboard text to "ClipTablePaste.txt" lines, and the remembered header row.
#include "GridHelpers.h"

#include "table/ClipboardTable.h"
#include "table/SaveLines.h"

#include <QObject>
#include <QTest>

using namespace rasmik;
using namespace testgrid;

class TestClipboard : public QObject {
    Q_OBJECT
private slots:
    void takeLine_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("lines"); // joined by '|'
        QTest::newRow("CR LF") << QByteArray("a\r\nb") << QByteArray("a|b");
        QTest::newRow("LF only, final break") << QByteArray("a\nb\n") << QByteArray("a|b");
        QTest::newRow("CR only") << QByteArray("a\rb\r") << QByteArray("a|b");
        QTest::newRow("LF CR") << QByteArray("a\n\rb") << QByteArray("a|b");
        QTest::newRow("empty line in the middle") << QByteArray("a\r\n\r\nb\r\n") << QByteArray("a||b");
        QTest::newRow("lone LF stays beside CRs") << QByteArray("a\nb\rc") << QByteArray("a\nb|c");
        QTest::newRow("LFs after the last CR split") << QByteArray("a\rb\nc") << QByteArray("a|b|c");
        QTest::newRow("no break") << QByteArray("abc") << QByteArray("abc");
        QTest::newRow("only a break") << QByteArray("\r\n") << QByteArray("");
        QTest::newRow("two LFs") << QByteArray("\n\n") << QByteArray("|");
    }
    void takeLine()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, lines);
        std::string t = b(text);
        std::vector<std::string> got;
        while (!t.empty())
            got.push_back(TakeLine(t));
        QCOMPARE(joined(got), lines);
        // The paste cuts lines the same way.
        std::vector<std::string> entries;
        ParseClipboardTable(b(text), entries);
        QCOMPARE(static_cast<int>(entries.size()), static_cast<int>(got.size()));
    }

    void parse_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("entries"); // joined by '|'
        QTest::addColumn<int>("columns");
        QTest::newRow("two lines of three")
            << QByteArray("a\tb\tc\r\nd\te\tf\r\n") << QByteArray("a\tb\tc\t|d\te\tf\t") << 3;
        QTest::newRow("LF only gives the same")
            << QByteArray("a\tb\tc\nd\te\tf\n") << QByteArray("a\tb\tc\t|d\te\tf\t") << 3;
        QTest::newRow("2, 5 and 3 cells")
            << QByteArray("a\tb\n1\t2\t3\t4\t5\nx\ty\tz") << QByteArray("a\tb\t|1\t2\t3\t4\t5\t|x\ty\tz\t") << 5;
        QTest::newRow("trailing tab adds no cell") << QByteArray("a\tb\t\nc\td") << QByteArray("a\tb\t|c\td\t") << 2;
        QTest::newRow("two tabs make an empty cell") << QByteArray("a\t\tb\nc") << QByteArray("a\t\tb\t|c\t") << 3;
        QTest::newRow("leading tab") << QByteArray("\ta\nb") << QByteArray("\ta\t|b\t") << 2;
        QTest::newRow("empty line in the middle") << QByteArray("a\tb\n\nc\td") << QByteArray("a\tb\t||c\td\t") << 2;
        QTest::newRow("both kafs pasted as they are")
            << QByteArray("\x98\xDF\x90\tx\ny\tz") << QByteArray("\x98\xDF\x90\tx\t|y\tz\t") << 2;
        QTest::newRow("empty") << QByteArray() << QByteArray() << 0;
    }
    void parse()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, entries);
        QFETCH(int, columns);
        std::vector<std::string> list{"stale"};
        QCOMPARE(ParseClipboardTable(b(text), list), columns);
        QCOMPARE(joined(list), entries);
    }

    void pasteFile_data()
    {
        QTest::addColumn<QByteArray>("clipboard");
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<bool>("pasted");
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("generated header") << QByteArray("a\tb\tc\r\nd\te\tf\r\n") << QByteArray() << true
                                          << QByteArray("Col 1\tCol 2\tCol 3\t\r\na\tb\tc\t\r\nd\te\tf\t\r\n");
        QTest::newRow("widest line sets the header")
            << QByteArray("a\tb\n1\t2\t3\t4\t5\nx\ty\tz") << QByteArray() << true
            << QByteArray("Col 1\tCol 2\tCol 3\tCol 4\tCol 5\t\r\n"
                          "a\tb\t\r\n1\t2\t3\t4\t5\t\r\nx\ty\tz\t\r\n");
        QTest::newRow("remembered header found")
            << QByteArray("Report\t2024\nsub\ttitle\nnAmE\tAMOUNT\nali\t12\n") << QByteArray("Name Amount") << true
            << QByteArray("nAmE\tAMOUNT\t\r\nali\t12\t\r\n");
        QTest::newRow("remembered words without spaces")
            << QByteArray("x\ty\nFirstName\tAmount\n1\t2") << QByteArray("First Name Amount") << true
            << QByteArray("FirstName\tAmount\t\r\n1\t2\t\r\n");
        QTest::newRow("remembered header in no line") << QByteArray("a\tb\nc\td") << QByteArray("Name Amount") << true
                                                      << QByteArray("Col 1\tCol 2\t\r\na\tb\t\r\nc\td\t\r\n");
        QTest::newRow("header in the first line") << QByteArray("Name\tAmount\nc\td") << QByteArray("Name Amount")
                                                  << true << QByteArray("Name\tAmount\t\r\nc\td\t\r\n");
        QTest::newRow("one line") << QByteArray("a\tb\tc\r\n") << QByteArray() << false << QByteArray();
        QTest::newRow("one column") << QByteArray("a\nb\nc") << QByteArray() << false << QByteArray();
        QTest::newRow("empty clipboard") << QByteArray() << QByteArray() << false << QByteArray();
    }
    void pasteFile()
    {
        QFETCH(QByteArray, clipboard);
        QFETCH(QByteArray, header);
        QFETCH(bool, pasted);
        QFETCH(QByteArray, file);
        std::vector<std::string> list;
        const int columns = ParseClipboardTable(b(clipboard), list);
        const auto lines = BuildPasteFile(list, columns, b(header));
        QCOMPARE(lines.has_value(), pasted);
        if (lines) {
            QByteArray bytes;
            for (const auto& l : *lines)
                bytes += q(l) + "\r\n";
            QCOMPARE(bytes, file);
        }
    }

    void headerRowText_data()
    {
        QTest::addColumn<QByteArray>("row");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("digits and parentheses go")
            << QByteArray("1|First Name|Amount (Rial)") << QByteArray("First Name Amount Rial");
        QTest::newRow("spaces collapsed and trimmed") << QByteArray("  a  | |b-c") << QByteArray("a bc");
        QTest::newRow("Persian letters kept, marks go") << w("\u200Eنام|شماره ۲") << w("نام شماره");
        QTest::newRow("empty row") << QByteArray("|") << QByteArray();
    }
    void headerRowText()
    {
        QFETCH(QByteArray, row);
        QFETCH(QByteArray, text);
        const CoreGrid g = makeGrid("x|y|z\n" + row);
        QCOMPARE(q(HeaderRowText(g, 1)), text);
        QCOMPARE(q(HeaderRowText(g, 9)), QByteArray());
    }
    void headerFilterBytes()
    {
        // Kept: the space, A-Z, a-z and 128-252.
        for (int c = 0; c < 256; ++c) {
            const bool kept = c == 32 || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= 128 && c <= 252);
            QVERIFY2(HeaderFilter().test(static_cast<std::size_t>(c)) != kept, qPrintable(QString::number(c)));
        }
    }

    // The remembered header row is found as Search finds words: typed with
    // the other yeh or kaf, with or without a non-joiner or tatweel, in
    // pastes of both held forms.
    void headerFoundAsTyped_data()
    {
        QTest::addColumn<bool>("utf8");
        QTest::addColumn<QByteArray>("header");    // UTF-8, as "Save Current Row For Header" made it
        QTest::addColumn<QByteArray>("clipboard"); // UTF-8
        QTest::addColumn<int>("firstLine");        // the pasted line the file starts with; 0: the generated header
        for (const bool utf8 : {false, true}) {
            const auto row = [utf8](const char* name) -> QTestData& {
                return QTest::newRow(qPrintable(QString(name) + (utf8 ? " / UTF-8" : " / Windows-1256")));
            };
            row("Arabic yeh in the paste") << utf8 << QByteArray("نام خانوادگی")
                                           << QByteArray("گزارش\tماه\nنام\tخانوادگي\tسن\nعلی\tرضایی\t30") << 2;
            row("non-joiner in the header only")
                << utf8 << QByteArray("نام\u200Cخانوادگی کد") << QByteArray("x\ty\nنامخانوادگي\tكد\n1\t2") << 2;
            row("tatweel in the paste") << utf8 << QByteArray("کالا مبلغ") << QByteArray("کـالا\tمبـــلغ\n1\t2") << 1;
            row("a word missing") << utf8 << QByteArray("نام شهر") << QByteArray("نام\tده\nx\ty") << 0;
        }
    }
    void headerFoundAsTyped()
    {
        QFETCH(bool, utf8);
        QFETCH(QByteArray, header);
        QFETCH(QByteArray, clipboard);
        QFETCH(int, firstLine);
        const TextEncoding held = utf8 ? TextEncoding::Utf8 : TextEncoding::Windows1256;
        const auto inForm = [utf8](const QByteArray& text) { return utf8 ? b(text) : Utf8ToCp1256(b(text)); };
        std::vector<std::string> list;
        const int columns = ParseClipboardTable(inForm(clipboard), list);
        const auto lines = BuildPasteFile(list, columns, HeaderFileText(inForm(header), held), held);
        QVERIFY(lines);
        if (firstLine == 0) {
            QCOMPARE(lines->size(), list.size() + 1);
            QVERIFY(lines->front().starts_with("Col 1\t"));
        } else {
            QCOMPARE(lines->size(), list.size() - static_cast<std::size_t>(firstLine - 1));
            QCOMPARE(q(lines->front()), q(list[static_cast<std::size_t>(firstLine - 1)]));
        }
    }
};

QObject* makeClipboardTests()
{
    return new TestClipboard;
}

#include "test_clipboard.moc"
