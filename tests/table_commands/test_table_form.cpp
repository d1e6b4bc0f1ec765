// A Unicode tab-separated table is saved in its own form: its line break,
// its empty and one-space fields, the length of each row, a last line
// without a break. A Windows-1256 table is saved as it always was.
#include "GridHelpers.h"

#include "common/FixedMetrics.h"
#include "common/TestFiles.h"
#include "table/TableDocument.h"
#include "text/TextEncoding.h"

#include <QObject>
#include <QTemporaryDir>
#include <QTest>

using namespace rasmik;
using namespace testgrid;

namespace {

// The lines of the table each test starts from (UTF-8, cells at '|').
const QList<QByteArray> Lines{
    "نام|شهر|یادداشت", // header
    "علی||کرج",        // an empty field
    "رضا| |",          // a one-space field and an empty last field
    "کوتاه",           // a short row
    " پیش|",           // leading space, trailing empty field
    "",                // an empty line
    "x|y|z",
};

// The file of the lines in encoding (with its mark when mark is set), each
// line ended by lineBreak, the last one only when lastEnded.
QByteArray fileOf(QList<QByteArray> lines, TextEncoding encoding, bool mark, const QByteArray& lineBreak,
                  bool lastEnded)
{
    QByteArray text;
    for (int i = 0; i < lines.size(); ++i) {
        text += lines[i].replace('|', '\t');
        if (i + 1 < lines.size() || lastEnded)
            text += lineBreak;
    }
    std::string out(ByteOrderMarkOf({encoding, mark}));
    if (encoding == TextEncoding::Windows1256)
        out += Utf8ToCp1256(b(text));
    else
        AppendHeldAs(b(text), TextEncoding::Utf8, encoding, out);
    return q(out);
}

} // namespace

class TestTableForm : public QObject {
    Q_OBJECT
    FixedMetrics metrics_;

    void addForms()
    {
        QTest::addColumn<int>("encoding");
        QTest::addColumn<bool>("mark");
        QTest::addColumn<QByteArray>("lineBreak");
        QTest::addColumn<bool>("lastEnded");
        const struct {
            const char* name;
            TextEncoding encoding;
            bool mark;
        } encodings[] = {{"utf-8", TextEncoding::Utf8, false},
                         {"utf-8 mark", TextEncoding::Utf8, true},
                         {"utf-16 le mark", TextEncoding::Utf16LE, true},
                         {"utf-16 le", TextEncoding::Utf16LE, false}};
        const struct {
            const char* name;
            QByteArray bytes;
        } breaks[] = {{"LF", "\n"}, {"CR LF", "\r\n"}, {"CR", "\r"}};
        for (const auto& e : encodings)
            for (const auto& br : breaks)
                for (const bool lastEnded : {true, false})
                    QTest::addRow("%s %s%s", e.name, br.name, lastEnded ? "" : ", last line unended")
                        << int(e.encoding) << e.mark << br.bytes << lastEnded;
    }

    // Opens the file of lines in the form of the current data row.
    void open(TableDocument& doc, const QTemporaryDir& dir, const QList<QByteArray>& lines)
    {
        QFETCH(int, encoding);
        QFETCH(bool, mark);
        QFETCH(QByteArray, lineBreak);
        QFETCH(bool, lastEnded);
        QVERIFY(Write(dir.filePath("t.txt"), fileOf(lines, TextEncoding(encoding), mark, lineBreak, lastEnded)));
        FixedLayoutTarget target(metrics_, 600);
        QVERIFY(doc.open(path(dir, "t.txt"), target).ok());
        QCOMPARE(int(doc.encoding().encoding), encoding);
    }

    // The file the lines make in the form of the current data row.
    static QByteArray expected(const QList<QByteArray>& lines)
    {
        QFETCH(int, encoding);
        QFETCH(bool, mark);
        QFETCH(QByteArray, lineBreak);
        QFETCH(bool, lastEnded);
        return fileOf(lines, TextEncoding(encoding), mark, lineBreak, lastEnded);
    }

    // Saved over itself and elsewhere, the table is the file expected.
    void savesAs(TableDocument& doc, const QTemporaryDir& dir, const QList<QByteArray>& lines)
    {
        QVERIFY(doc.save(path(dir, "u.txt"), 0).ok());
        QCOMPARE(ReadAll(dir.filePath("u.txt")), expected(lines));
        QVERIFY(doc.save(path(dir, "t.txt"), 0).ok());
        QCOMPARE(ReadAll(dir.filePath("t.txt")), expected(lines));
        // And again, from the lines the save left.
        QVERIFY(doc.save(path(dir, "t.txt"), 0).ok());
        QCOMPARE(ReadAll(dir.filePath("t.txt")), expected(lines));
    }

private slots:
    void unchangedTableSavesItsOwnBytes_data() { addForms(); }
    void unchangedTableSavesItsOwnBytes()
    {
        QTemporaryDir dir;
        TableDocument doc;
        open(doc, dir, Lines);
        // An empty field reads empty, a one-space field one space.
        QCOMPARE(doc.grid().Cell(1, 1), std::string_view());
        QCOMPARE(doc.grid().Cell(1, 2), std::string_view(" "));
        savesAs(doc, dir, Lines);
    }

    void oneEditChangesOnlyItsLine_data() { addForms(); }
    void oneEditChangesOnlyItsLine()
    {
        QTemporaryDir dir;
        TableDocument doc;
        open(doc, dir, Lines);
        doc.setCell(0, 2, "\xD9\x85\xD9\x87\xD8\xB1\xDB\x8C"); // مهری
        QList<QByteArray> edited = Lines;
        edited[2] = "مهری| |";
        savesAs(doc, dir, edited);
    }

    void editPastAShortRowLengthensThatRow_data() { addForms(); }
    void editPastAShortRowLengthensThatRow()
    {
        QTemporaryDir dir;
        TableDocument doc;
        open(doc, dir, Lines);
        doc.setCell(2, 3, "z");
        doc.setCell(2, 5, {}); // nothing put past the end of the empty line
        QList<QByteArray> edited = Lines;
        edited[3] = "کوتاه||z";
        savesAs(doc, dir, edited);
        // Undone, the row is short again.
        QVERIFY(doc.undo());
        savesAs(doc, dir, Lines);
    }

    // Rows and columns moved or deleted take their lengths with them: a row
    // is written up to its last cell that lies within its line as read or
    // was set since.
    void rowsAndColumnsKeepTheirLengths_data() { addForms(); }
    void rowsAndColumnsKeepTheirLengths()
    {
        QTemporaryDir dir;
        TableDocument doc;
        open(doc, dir, Lines);
        doc.setCursor(0, 5);
        QVERIFY(doc.deleteRow());
        QList<QByteArray> edited = Lines;
        edited.removeAt(5);
        savesAs(doc, dir, edited);
        QVERIFY(doc.undo());
        savesAs(doc, dir, Lines);
        doc.moveColumn(0, 2);
        savesAs(doc, dir, {"شهر|یادداشت|نام", "|کرج|علی", " ||رضا", "||کوتاه", "|| پیش", "", "y|z|x"});
        QVERIFY(doc.undo());
        doc.setCursor(1, 1);
        QVERIFY(doc.removeColumn());
        savesAs(doc, dir, {"نام|یادداشت", "علی|کرج", "رضا|", "کوتاه", " پیش", "", "x|z"});
    }

    // A Windows-1256 table is written as always: CR LF, " " for an empty
    // field, short rows filled, the line's leading spaces trimmed.
    void windows1256TableSavedAsAlways()
    {
        QTemporaryDir dir;
        QVERIFY(Write(dir.filePath("t.txt"), fileOf(Lines, TextEncoding::Windows1256, false, "\n", false)));
        TableDocument doc;
        FixedLayoutTarget target(metrics_, 600);
        QVERIFY(doc.open(path(dir, "t.txt"), target).ok());
        QCOMPARE(doc.encoding().encoding, TextEncoding::Windows1256);
        QVERIFY(doc.save(path(dir, "t.txt"), 0).ok());
        QCOMPARE(ReadAll(dir.filePath("t.txt")),
                 fileOf({"نام|شهر|یادداشت", "علی| |کرج", "رضا| | ", "کوتاه| | ", "پیش| | ", "| | ", "x|y|z"},
                        TextEncoding::Windows1256, false, "\r\n", true));
    }
};

QObject* makeTableFormTests()
{
    return new TestTableForm;
}

#include "test_table_form.moc"
