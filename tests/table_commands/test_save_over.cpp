// Saving over the open table: its header block, its ".cfg", its encoding,
// a text a NUL cut off and the half character of a UTF-16 file; and the one
// way a cell is named.
#include "GridHelpers.h"

#include "common/FixedMetrics.h"
#include "table/CellPlace.h"
#include "table/SaveLines.h"
#include "table/TableDocument.h"

#include <QObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <sys/resource.h>

using namespace rasmik;
using namespace testgrid;

namespace {

QByteArray Utf16LE(const QString& text)
{
    QByteArray out;
    for (const QChar c : text) {
        out.append(static_cast<char>(c.unicode() & 0xFF));
        out.append(static_cast<char>(c.unicode() >> 8));
    }
    return out;
}

// Every cell as the user reads it, rows by '\n', cells by '|'.
QString Shown(const CoreGrid& grid)
{
    QStringList rows;
    for (int r = 0; r < grid.RowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < grid.ColCount(); ++c) {
            std::string utf8;
            AppendHeldAs(grid.Cell(c, r), grid.Encoding(), TextEncoding::Utf8, utf8);
            cells << QString::fromStdString(utf8).trimmed();
        }
        rows << cells.join('|');
    }
    return rows.join('\n');
}

} // namespace

class TestSaveOver : public QObject {
    Q_OBJECT
    FixedMetrics metrics_;

private slots:
    // The header block goes back in front of the rows, in the table's
    // encoding, each line ended by CR LF; a save to another file leaves it out.
    void headerBlockWrittenBack_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("sort");
        QTest::addColumn<QString>("encoding"); // of the save; empty: the table's own
        QTest::addColumn<QByteArray>("saved");
        QTest::addColumn<QByteArray>("elsewhere");
        const QByteArray rows = w("نام\tشهر\r\nعلی\tکرج\r\n");
        QTest::newRow("two panels, lone LF and CR")
            << "SardoVelam31415926535-1 2 rest\n" + w("راست\rمیان\r\nچپ\r\nD\r\nE\r\nF\r\n") + rows << false
            << QString() << "SardoVelam31415926535-1 2 rest\r\n" + w("راست\r\nمیان\r\nچپ\r\nD\r\nE\r\nF\r\n") + rows
            << rows;
        QTest::newRow("sorted report") << QByteArray("SardoVelam31415926535-0 0\r\nName\tCity\r\nb\t2\r\na\t1\r\n")
                                       << true << QString()
                                       << QByteArray("SardoVelam31415926535-0 0\r\nName\tCity\r\na\t1\r\nb\t2\r\n")
                                       << QByteArray("Name\tCity\r\na\t1\r\nb\t2\r\n");
        QTest::newRow("magic line alone") << "SardoVelam31415926535-1\r\n" + rows << false << QString()
                                          << "SardoVelam31415926535-1\r\n" + rows << rows;
        QTest::newRow("labels cut short by the file")
            << QByteArray("SardoVelam31415926535-0 2\r\nA\r\nB") << false << QString()
            << QByteArray("SardoVelam31415926535-0 2\r\nA\r\nB\r\n\r\n") << QByteArray("\r\n");
        const QString header = QStringLiteral("SardoVelam31415926535-0 1\r\nراست\r\n\r\nچپ\r\n");
        QTest::newRow("utf-16") << "\xFF\xFE" + Utf16LE(header + QStringLiteral("نام\tشهر\r\n")) << false << QString()
                                << "\xFF\xFE" + Utf16LE(header + QStringLiteral("نام\tشهر\r\n"))
                                << "\xFF\xFE" + Utf16LE(QStringLiteral("نام\tشهر\r\n"));
        QTest::newRow("saved as utf-8") << "SardoVelam31415926535-0 1\r\n" + w("راست\r\n\r\nچپ\r\n") + rows << false
                                        << "utf-8" << (header + QStringLiteral("نام\tشهر\r\nعلي\tکرج\r\n")).toUtf8()
                                        << QStringLiteral("نام\tشهر\r\nعلي\tکرج\r\n").toUtf8();
    }
    void headerBlockWrittenBack()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, sort);
        QFETCH(QString, encoding);
        QFETCH(QByteArray, saved);
        QFETCH(QByteArray, elsewhere);
        QTemporaryDir dir;
        Write(dir.filePath("t.txt"), file);
        TableDocument doc;
        FixedLayoutTarget target(metrics_, 600);
        QVERIFY(doc.open(path(dir, "t.txt"), target).ok());
        if (sort)
            QVERIFY(doc.sortRows(false));
        std::optional<FileEncoding> as;
        if (!encoding.isEmpty()) {
            FileEncoding e;
            QVERIFY(ParseEncodingName(encoding.toStdString(), e));
            as = e;
        }
        QVERIFY(doc.save(path(dir, "u.txt"), 0, {}, as).ok());
        QCOMPARE(ReadAll(dir.filePath("u.txt")), elsewhere);
        QVERIFY(doc.save(path(dir, "t.txt"), 0, {}, as).ok());
        QCOMPARE(ReadAll(dir.filePath("t.txt")), saved);
        QCOMPARE(ReadAll(dir.filePath("t.Bak")), file);
        // Saved again, it is still there: the document keeps its block.
        QVERIFY(doc.save(path(dir, "t.txt"), 0, {}, as).ok());
        QCOMPARE(ReadAll(dir.filePath("t.txt")), saved);
    }

    // A fixed-width table saved over itself is written tab-separated, and its
    // ".cfg" loses its widths, keeping its other lines: laid out again or
    // opened again, the grid is the one that was saved.
    void fixedWidthTableSavedOverItself_data()
    {
        QTest::addColumn<QByteArray>("cfg");
        QTest::addColumn<QByteArray>("cfgAfter");
        QTest::newRow("widths alone") << QByteArray("CellFormat=5 4\r\n") << QByteArray();
        QTest::newRow("other lines kept")
            << QByteArray("Other=1\r\ncellformat=5 4\nLast=x") << QByteArray("Other=1\r\nLast=x");
    }
    void fixedWidthTableSavedOverItself()
    {
        QFETCH(QByteArray, cfg);
        QFETCH(QByteArray, cfgAfter);
        QTemporaryDir dir;
        const QByteArray table("Nam  Ci  Rest\r\nabc  de  f g\r\nxy   z   \r\n");
        Write(dir.filePath("t.txt"), table);
        Write(dir.filePath("t.cfg"), cfg);
        TableDocument doc;
        FixedLayoutTarget target(metrics_, 600);
        QVERIFY(doc.open(path(dir, "t.txt"), target).ok());
        const QString grid = QStringLiteral("Nam|Ci|Rest\nabc|de|f g\nxy|z|");
        QCOMPARE(Shown(doc.grid()), grid);

        // Elsewhere: the table's own ".cfg" and widths stay.
        QVERIFY(doc.save(path(dir, "u.txt"), 0).ok());
        QCOMPARE(ReadAll(dir.filePath("t.cfg")), cfg);
        QVERIFY(!QFile::exists(dir.filePath("u.cfg")));
        QCOMPARE(doc.cellWidths(), std::string("5 4"));

        QVERIFY(doc.save(path(dir, "t.txt"), 0).ok());
        QCOMPARE(ReadAll(dir.filePath("t.txt")), QByteArray("Nam\tCi\tRest\r\nabc\tde\tf g\r\nxy\tz\t \r\n"));
        QCOMPARE(ReadAll(dir.filePath("t.cfg")), cfgAfter);
        QCOMPARE(ReadAll(dir.filePath("t.Bak")), table);
        QCOMPARE(doc.cellWidths(), std::string());
        QVERIFY(doc.layOut(target));
        QCOMPARE(Shown(doc.grid()), grid);
        TableDocument again;
        QVERIFY(again.open(path(dir, "t.txt"), target).ok());
        QCOMPARE(Shown(again.grid()), grid);
        // "Fix Cell Size" afterwards cuts the file as it now is.
        QVERIFY(doc.fixCellSize("0 0", target));
        QCOMPARE(Shown(doc.grid()), grid);
    }

    // A fixed-width field holding a TAB would come back as two cells: the
    // save over the table is refused, naming the cell, and nothing changes.
    void tabInAFixedWidthCellRefusesTheSave()
    {
        QTemporaryDir dir;
        const QByteArray table("Name  Id\r\na\tbc 7\r\n");
        Write(dir.filePath("t.txt"), table);
        Write(dir.filePath("t.cfg"), "CellFormat=4\r\n");
        TableDocument doc;
        FixedLayoutTarget target(metrics_, 600);
        QVERIFY(doc.open(path(dir, "t.txt"), target).ok());
        QCOMPARE(doc.grid().Cell(0, 1), std::string_view("a\tbc"));
        const FileStatus r = doc.save(path(dir, "t.txt"), 0);
        QCOMPARE(r.code(), FileErrorCode::TabInCell);
        QCOMPARE(r.error().row, 1);
        QCOMPARE(r.error().column, 1);
        QCOMPARE(r.error().subject, std::string("Name"));
        QVERIFY2(DescribeFileError(r.error()).find("row 1, column 1 \"Name\"") != std::string::npos,
                 DescribeFileError(r.error()).c_str());
        QCOMPARE(ReadAll(dir.filePath("t.txt")), table);
        QCOMPARE(ReadAll(dir.filePath("t.cfg")), QByteArray("CellFormat=4\r\n"));
        QVERIFY(!QFile::exists(dir.filePath("t.Bak")));
    }

    // A header line that the save's encoding cannot hold refuses the save,
    // naming the line.
    void headerThatDoesNotFitRefusesTheSave()
    {
        QTemporaryDir dir;
        const QByteArray table = QStringLiteral("SardoVelam31415926535-0 1\r\nراست\r\n₪\r\nچپ\r\nنام\r\n").toUtf8();
        Write(dir.filePath("t.txt"), table);
        TableDocument doc;
        FixedLayoutTarget target(metrics_, 600);
        QVERIFY(doc.open(path(dir, "t.txt"), target).ok());
        const FileStatus r = doc.save(path(dir, "t.txt"), 0, {}, FileEncoding{TextEncoding::Windows1256, false});
        QCOMPARE(r.code(), FileErrorCode::NotInEncoding);
        QCOMPARE(r.error().codePoint, char32_t(0x20AA));
        QCOMPARE(DescribeFileError(r.error()),
                 std::string("line 3 of the header block: the character U+20AA has no Windows-1256 form"));
        QCOMPARE(ReadAll(dir.filePath("t.txt")), table);
        QVERIFY(doc.save(path(dir, "u.txt"), 0, {}, FileEncoding{TextEncoding::Windows1256, false}).ok());
    }

    // A table that cannot be written leaves its ".cfg" as it was.
    void failedSavePutsTheCfgBack()
    {
        QTemporaryDir dir;
        const QByteArray table = QByteArray("Nam  Ci  Rest\r\n").repeated(20);
        const QByteArray cfg("Other=1\r\nCellFormat=5 4\r\n");
        Write(dir.filePath("t.txt"), table);
        Write(dir.filePath("t.cfg"), cfg);
        TableDocument doc;
        FixedLayoutTarget target(metrics_, 600);
        QVERIFY(doc.open(path(dir, "t.txt"), target).ok());
        // A file size limit lets the ".cfg" through and stops the table.
        rlimit old{};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &old) == 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = old;
        small.rlim_cur = 64;
        QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
        const FileStatus r = doc.save(path(dir, "t.txt"), 0);
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        QVERIFY(!r.ok());
        QCOMPARE(ReadAll(dir.filePath("t.txt")), table);
        QCOMPARE(ReadAll(dir.filePath("t.cfg")), cfg);
        QCOMPARE(doc.cellWidths(), std::string("5 4"));
    }

    // What of the file the lines lack: the rest after a NUL, or the half
    // character of a UTF-16 file; UTF-16 without a mark is read as UTF-16.
    void textEndOfAnOpenedTable_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("cutAt");     // -1: not cut
        QTest::addColumn<int>("strayByte"); // -1: none
        QTest::newRow("stray NUL in row 2") << QByteArray("a\tb\r\nc\0d\r\ne\tf\r\n", 15) << "Windows-1256"
                                            << "a|b\nc|" << 6 << -1;
        QTest::newRow("png") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x10", 20) << "Windows-1256"
                             << QStringLiteral("\u2030PNG\n\u001a") << 8 << -1;
        QTest::newRow("utf-16 le without mark") << Utf16LE(QStringLiteral("نام\tشهر\r\nعلی\tکرج\r\n")) << "UTF-16 LE"
                                                << QStringLiteral("نام|شهر\nعلی|کرج") << -1 << -1;
        QByteArray be = Utf16LE(QStringLiteral("Name\tCity\r\nAli\t1\r\n"));
        for (int i = 0; i + 1 < be.size(); i += 2)
            std::swap(be[i], be[i + 1]);
        QTest::newRow("utf-16 be without mark") << be << "UTF-16 BE"
                                                << "Name|City\nAli|1" << -1 << -1;
        QTest::newRow("utf-16 NUL unit") << "\xFF\xFE" + Utf16LE(QStringLiteral("ab\r\n")) + QByteArray(2, '\0')
                + Utf16LE(QStringLiteral("cd"))
                                         << "UTF-16 LE"
                                         << "ab" << 10 << -1;
        QTest::newRow("utf-16 odd byte") << "\xFF\xFE" + Utf16LE(QStringLiteral("ab\r\ncd\r\n")) + "X"
                                         << "UTF-16 LE"
                                         << "ab\ncd" << -1 << int('X');
        QTest::newRow("utf-16 without mark, odd byte") << Utf16LE(QStringLiteral("ab\tc\r\n")) + "\x06"
                                                       << "UTF-16 LE"
                                                       << "ab|c" << -1 << 6;
    }
    void textEndOfAnOpenedTable()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, encoding);
        QFETCH(QString, shown);
        QFETCH(int, cutAt);
        QFETCH(int, strayByte);
        QTemporaryDir dir;
        Write(dir.filePath("t.txt"), file);
        TableDocument doc;
        FixedLayoutTarget target(metrics_, 600);
        QVERIFY(doc.open(path(dir, "t.txt"), target).ok());
        QCOMPARE(QString::fromStdString(EncodingName(doc.encoding())), encoding);
        QCOMPARE(Shown(doc.grid()), shown);
        const TextEnd& end = doc.lines().textEnd();
        QCOMPARE(end.fileBytes, std::uint64_t(file.size()));
        QCOMPARE(end.cut, cutAt >= 0);
        if (cutAt >= 0) {
            QCOMPARE(end.cutAt, std::uint64_t(cutAt));
            QCOMPARE(end.bytesLeftOut(), std::uint64_t(file.size() - cutAt));
        }
        QCOMPARE(end.halfCharacter, strayByte >= 0);
        if (strayByte >= 0)
            QCOMPARE(int(end.strayByte), strayByte);

        // Unchanged and saved over itself, a UTF-16 table is its file again,
        // half character and all; a cut one is now the text that was read.
        QVERIFY(doc.save(path(dir, "t.txt"), 0).ok());
        if (cutAt < 0)
            QCOMPARE(ReadAll(dir.filePath("t.txt")), file);
        QVERIFY(!doc.lines().textEnd().cut);
        QCOMPARE(doc.lines().textEnd().halfCharacter, strayByte >= 0);
        TableDocument again;
        QVERIFY(again.open(path(dir, "t.txt"), target).ok());
        QCOMPARE(Shown(again.grid()), shown);
        // Edited and saved again, the half character is still written back;
        // elsewhere, and in UTF-8, it has no place.
        if (strayByte >= 0) {
            doc.setCell(0, 0, "x");
            QVERIFY(doc.save(path(dir, "t.txt"), 0).ok());
            QVERIFY(doc.save(path(dir, "t.txt"), 0).ok());
            QVERIFY(ReadAll(dir.filePath("t.txt")).endsWith(QByteArray("\r\0\n\0", 4) + char(strayByte)));
            QVERIFY(doc.save(path(dir, "u.txt"), 0).ok());
            QVERIFY(!ReadAll(dir.filePath("u.txt")).endsWith(char(strayByte)));
            QVERIFY(doc.save(path(dir, "t.txt"), 0, {}, FileEncoding{TextEncoding::Utf8, false}).ok());
            QString edited = shown;
            edited.replace(QRegularExpression("^[^|\n]*"), "x");
            QCOMPARE(ReadAll(dir.filePath("t.txt")), edited.replace('|', '\t').replace("\n", "\r\n").toUtf8() + "\r\n");
            QVERIFY(!doc.lines().textEnd().halfCharacter);
        }
    }

    // Saved over itself in another encoding, the table holds its text in
    // that encoding: what is typed next is kept as that encoding keeps it.
    void savedInAnotherEncodingHoldsItsTextThatWay_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<QByteArray>("afterTyping"); // the file after "علی" is typed into row 1 and saved
        const QString typed = QStringLiteral("نام\tشهر\r\nعلی\tکرج\r\nرضا\tقم\r\n");
        QTest::newRow("windows-1256 to utf-8")
            << w("نام\tشهر\r\nمینا\tکرج\r\nرضا\tقم\r\n") << "utf-8" << typed.toUtf8();
        QTest::newRow("windows-1256 to utf-16") << w("نام\tشهر\r\nمینا\tکرج\r\nرضا\tقم\r\n") << "utf-16"
                                                << "\xFF\xFE" + Utf16LE(typed);
        QTest::newRow("utf-8 to windows-1256") << QStringLiteral("نام\tشهر\r\nمینا\tکرج\r\nرضا\tقم\r\n").toUtf8()
                                               << "windows-1256" << w(typed.toUtf8().constData());
    }
    void savedInAnotherEncodingHoldsItsTextThatWay()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, encoding);
        QFETCH(QByteArray, afterTyping);
        QTemporaryDir dir;
        Write(dir.filePath("t.txt"), file);
        TableDocument doc;
        FixedLayoutTarget target(metrics_, 600);
        QVERIFY(doc.open(path(dir, "t.txt"), target).ok());
        std::string query;
        QVERIFY(AppendHeldAs("\xD9\x82\xD9\x85", TextEncoding::Utf8, doc.grid().Encoding(), query)); // قم
        QCOMPARE(doc.searchRows(query), 2);
        doc.setCursor(1, 1);
        const QString before = Shown(doc.grid());
        FileEncoding as;
        QVERIFY(ParseEncodingName(encoding.toStdString(), as));
        QVERIFY(doc.save(path(dir, "t.txt"), 0, {}, as).ok());
        QCOMPARE(doc.encoding(), as);
        QCOMPARE(doc.grid().Encoding(), HeldForm(as.encoding));
        QCOMPARE(doc.lines().heldForm(), HeldForm(as.encoding));
        // Into Windows-1256 with the nearest letters, as the file now holds it.
        QCOMPARE(Shown(doc.grid()),
                 as.encoding == TextEncoding::Windows1256 ? QString(before).replace(QChar(0x06CC), QChar(0x064A))
                                                          : before);
        QCOMPARE(doc.currentCol(), 1);
        QCOMPARE(doc.currentRow(), 1);
        QVERIFY(!doc.isModified());
        // Typed text reaches the grid in the grid's form, as the window puts it.
        std::string typed;
        QVERIFY(AppendHeldAs("\xD8\xB9\xD9\x84\xDB\x8C", TextEncoding::Utf8, doc.grid().Encoding(), typed)); // علی
        doc.setCell(0, 1, typed);
        QVERIFY(doc.save(path(dir, "t.txt"), 0).ok());
        QCOMPARE(ReadAll(dir.filePath("t.txt")), afterTyping);
        // The last search goes on in the new form.
        QCOMPARE(doc.searchAgain(), 2);
    }

    // One numbering of cells: the status bar's row (the header row is 0)
    // and the column's name, for every message.
    void placeOfACell_data()
    {
        QTest::addColumn<QByteArray>("grid");
        QTest::addColumn<int>("col");
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("placeRow");
        QTest::addColumn<int>("placeColumn");
        QTest::addColumn<QString>("name");
        const QByteArray table = QStringLiteral("نام|شهر\nعلی|کرج\nرضا|قم\nمریم|تهران\nسارا|یزد").toUtf8();
        QTest::newRow("body cell") << table << 1 << 4 << 4 << 2 << QStringLiteral("شهر");
        QTest::newRow("header row") << table << 1 << 0 << 0 << 2 << QString();
        QTest::newRow("blank header cell") << QByteArray("a| \nb|c") << 1 << 1 << 1 << 2 << QString();
        QTest::newRow("spaces around the name") << QByteArray("  Id  |x\n1|2") << 0 << 1 << 1 << 1 << "Id";
        QTest::newRow("one row, no header") << QByteArray("a|b") << 1 << 0 << 0 << 2 << QString();
        QTest::newRow("long name cut") << QByteArray(200, 'n') + "|x\n1|2" << 0 << 1 << 1 << 1 << QString(120, 'n');
    }
    void placeOfACell()
    {
        QFETCH(QByteArray, grid);
        QFETCH(int, col);
        QFETCH(int, row);
        QFETCH(int, placeRow);
        QFETCH(int, placeColumn);
        QFETCH(QString, name);
        CoreGrid g = makeGrid(grid);
        g.SetEncoding(TextEncoding::Utf8);
        g.SetFixedRows(g.RowCount() > 1 ? 1 : 0);
        const CellPlace place = PlaceOfCell(g, col, row);
        QCOMPARE(place.row, placeRow);
        QCOMPARE(place.column, placeColumn);
        QCOMPARE(QString::fromStdString(place.name), name);
        // A refusal names the cell the same way.
        g.SetCell(col, row, "\xE2\x82\xAA"); // ₪
        const FileError unfit = FirstUnfitCell(g, TextEncoding::Windows1256, "t.txt");
        QCOMPARE(unfit.code, FileErrorCode::NotInEncoding);
        QCOMPARE(unfit.row, placeRow);
        QCOMPARE(unfit.column, placeColumn);
    }
};

QObject* makeSaveOverTests()
{
    return new TestSaveOver;
}

#include "test_save_over.moc"
