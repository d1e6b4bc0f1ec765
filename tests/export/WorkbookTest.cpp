#include "app/ErrorMessages.h"
#include "common/TestFiles.h"
#include "export/ShellOpen.h"
#include "export/Workbook.h"
#include "export/XlsxReader.h"
#include "table/CoreGrid.h"
#include "table/Options.h"
#include "table/TableLines.h"
#include "text/TextFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <csignal>

#include <sys/resource.h>
#include <unistd.h>

using namespace rasmik;

namespace {

const QString ErrorTitle = QStringLiteral("خطا در ذخیره فایل اکسل");

// A path as the message shows it: isolated left to right.
QString Isolated(const QString& path)
{
    if (path.isEmpty())
        return path;
    return QChar(0x2066) + path + QChar(0x2069);
}

// Windows-1256 bytes of a few Persian words and their Unicode text.
const char* const SalamCp = "\xD3\xE1\xC7\xE3"; // سلام
const char* const PeGafKafCp = "\x81\x90\x98";  // پگک

std::vector<std::string> ToStrings(const QByteArrayList& lines)
{
    std::vector<std::string> out;
    for (const QByteArray& l : lines)
        out.emplace_back(l.constData(), l.size());
    return out;
}

TableLines ToTable(const QByteArrayList& lines)
{
    return TableLines::FromLines(ToStrings(lines));
}

QStringList Entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

using Grid = QList<QStringList>;

bool Writable(const QString& path)
{
    return ::access(QFile::encodeName(path).constData(), W_OK) == 0;
}

// Write protection that also holds for root, where the file system allows it.
bool SetImmutable(const QString& path, bool on)
{
    QProcess chattr;
    chattr.start(QStringLiteral("chattr"), {on ? QStringLiteral("+i") : QStringLiteral("-i"), path});
    return chattr.waitForFinished(10000) && chattr.exitStatus() == QProcess::NormalExit && chattr.exitCode() == 0;
}

// Takes write access away from path; false when this user keeps it anyway.
bool WriteProtect(const QString& path, bool& immutable)
{
    const bool folder = QFileInfo(path).isDir();
    QFile::setPermissions(path, QFileDevice::ReadOwner | (folder ? QFileDevice::ExeOwner : QFileDevice::Permissions()));
    if (Writable(path))
        immutable = SetImmutable(path, true);
    return !Writable(path);
}

void Unprotect(const QString& path, bool immutable)
{
    if (immutable)
        SetImmutable(path, false);
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

} // namespace

class TestWorkbook : public QObject {
    Q_OBJECT

    QTemporaryDir exeDir_;
    QTemporaryDir work_;

    void setAppOptions(const QByteArray& text)
    {
        const QString file = exeDir_.filePath(QStringLiteral("AppOptions.txt"));
        if (text.isNull())
            QFile::remove(file);
        else
            Write(file, text);
        AppOptions(true);
    }

    QString target(const QString& name) const { return work_.filePath(name); }

    // Every cell holds text in the text format, the columns 1..N carry it too,
    // and the cells are exactly the expected grid.
    void verifySheet(const QString& file, const Grid& expected, const QString& dimension)
    {
        const XlsxSheet sheet = ReadXlsxSheet(file);
        QVERIFY2(sheet.error.isEmpty(), qPrintable(sheet.error));
        QCOMPARE(sheet.dimension, dimension);
        QCOMPARE(sheet.formulas, 0);

        const QStringList numFmts = ReadCellNumberFormats(file);
        int columns = 0;
        for (const QStringList& row : expected)
            columns = std::max(columns, int(row.size()));
        QCOMPARE(sheet.columns.size(), 1);
        QCOMPARE(sheet.columns[0].min, 1);
        QCOMPARE(sheet.columns[0].max, columns);
        const int textStyle = sheet.columns[0].style;
        QVERIFY(textStyle >= 0 && textStyle < numFmts.size());
        QCOMPARE(numFmts[textStyle], QStringLiteral("49")); // "@"

        int valued = 0;
        for (int r = 0; r < expected.size(); ++r) {
            for (int c = 0; c < expected[r].size(); ++c) {
                const QString address = QString::fromStdString(CellAddress(c + 1, r + 1));
                const XlsxCell cell = sheet.cells.value(address);
                QVERIFY2(cell.text == expected[r][c], qPrintable(address + ": " + cell.text + " != " + expected[r][c]));
                if (expected[r][c].isEmpty()) {
                    QVERIFY2(!cell.hasValue, qPrintable(address));
                    continue;
                }
                ++valued;
                QVERIFY2(cell.type == QLatin1String("s") || cell.type == QLatin1String("inlineStr"),
                         qPrintable(address + " type " + cell.type));
                QCOMPARE(cell.style, textStyle);
            }
        }
        int stored = 0;
        for (const XlsxCell& cell : sheet.cells) {
            stored += cell.hasValue ? 1 : 0;
            QCOMPARE(cell.style, textStyle);
        }
        QCOMPARE(stored, valued);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(exeDir_.isValid() && work_.isValid());
        SetExeFolderForTesting(NativePath(exeDir_.path()) + "/");
        setAppOptions(QByteArray());
    }

    void init()
    {
        setAppOptions(QByteArray());
        SetUrlOpenerForTesting({});
        QDir(work_.path()).removeRecursively();
        QDir().mkpath(work_.path());
    }

    void columnLetters_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("letters");
        QTest::newRow("1") << 1 << "A";
        QTest::newRow("26") << 26 << "Z";
        QTest::newRow("27") << 27 << "AA";
        QTest::newRow("52") << 52 << "AZ";
        QTest::newRow("53") << 53 << "BA";
        QTest::newRow("702") << 702 << "ZZ";
        QTest::newRow("703") << 703 << "AAA";
        QTest::newRow("728") << 728 << "AAZ";
        QTest::newRow("16384") << 16384 << "XFD";
        QTest::newRow("0") << 0 << "";
        QTest::newRow("-3") << -3 << "";
    }
    void columnLetters()
    {
        QFETCH(int, column);
        QFETCH(QString, letters);
        QCOMPARE(QString::fromStdString(ColumnLetters(column)), letters);
    }

    void cells_data()
    {
        QTest::addColumn<QByteArrayList>("lines");
        QTest::addColumn<Grid>("expected");
        QTest::addColumn<QString>("dimension");

        QTest::newRow("persian text") << QByteArrayList{QByteArray(SalamCp) + "\t" + PeGafKafCp,
                                                        "\xFD"
                                                        "abc\t\xED\xDF"}
                                      << Grid{{"سلام", "پگک"}, {"\u200Eabc", "يك"}} << "A1:B2";
        QTest::newRow("numbers and formulas stay as typed")
            << QByteArrayList{"007\t1,250\t=SUM(A1)", "-5\t1e3\t(12)", "0.50\t'x\t+1"}
            << Grid{{"007", "1,250", "=SUM(A1)"}, {"-5", "1e3", "(12)"}, {"0.50", "'x", "+1"}} << "A1:C3";
        QTest::newRow("short lines leave cells empty")
            << QByteArrayList{"a\tb\tc", "d", "\te", "f\t\tg"}
            << Grid{{"a", "b", "c"}, {"d", "", ""}, {"", "e", ""}, {"f", "", "g"}} << "A1:C4";
        QTest::newRow("lines written by Save keep their last field")
            << QByteArrayList{"h1\th2\th3", "x\ty\tz"} << Grid{{"h1", "h2", "h3"}, {"x", "y", "z"}} << "A1:C2";
        QTest::newRow("a final TAB adds no field")
            << QByteArrayList{"a\tb\t", "c\t"} << Grid{{"a", "b"}, {"c", ""}} << "A1:B2";
        QTest::newRow("empty first and last cells keep the range")
            << QByteArrayList{"\tb", "c\t"} << Grid{{"", "b"}, {"c", ""}} << "A1:B2";
        QTest::newRow("empty lines") << QByteArrayList{"", "a", ""} << Grid{{""}, {"a"}, {""}} << "A1:A3";
        QTest::newRow("one empty line") << QByteArrayList{""} << Grid{{""}} << "A1";
        QTest::newRow("spaces are kept") << QByteArrayList{" a \t  \tb  "} << Grid{{" a ", "  ", "b  "}} << "A1:C1";
        QTest::newRow("fixed-width lines are cut at TABs only")
            << QByteArrayList{"abc  def  ghi", "12   345"} << Grid{{"abc  def  ghi"}, {"12   345"}} << "A1:A2";
        QTest::newRow("markup characters") << QByteArrayList{"<b>&amp;\t\"q\" 'a'", "]]>\t</c>"}
                                           << Grid{{"<b>&amp;", "\"q\" 'a'"}, {"]]>", "</c>"}} << "A1:B2";
        QTest::newRow("control characters") << QByteArrayList{"a\x01"
                                                              "b\t\x0B\x0C\x1B\x7F"}
                                            << Grid{{"a\u0001b", "\u000B\u000C\u001B\u007F"}} << "A1:B1";
        QTest::newRow("text that looks like an escape")
            << QByteArrayList{"_x0041_\t__x0041__\t_x004_\t_x00e9_x"}
            << Grid{{"_x0041_", "__x0041__", "_x004_", "_x00e9_x"}} << "A1:D1";
    }
    void cells()
    {
        QFETCH(QByteArrayList, lines);
        QFETCH(Grid, expected);
        QFETCH(QString, dimension);

        const QString file = target(QStringLiteral("cells.xlsx"));
        const FileStatus fromTable = ExportLinesToWorkbook(ToTable(lines), "Sheet1", NativePath(file));
        QVERIFY2(fromTable.ok(), DescribeFileError(fromTable.error()).c_str());
        QCOMPARE(fromTable.code(), FileErrorCode::None);
        verifySheet(file, expected, dimension);
        QCOMPARE(ReadSheetNames(file), QStringList{"Sheet1"});

        QVERIFY(QFile::remove(file));
        const FileStatus fromList = ExportLinesToWorkbook(ToStrings(lines), "Sheet1", NativePath(file));
        QVERIFY2(fromList.ok(), DescribeFileError(fromList.error()).c_str());
        verifySheet(file, expected, dimension);
        QCOMPARE(Entries(work_.path()), QStringList{"cells.xlsx"});
    }

    // A UTF-8 table's cells hold its own text; what XML cannot hold becomes
    // U+FFFD, and the sheet name is read in the table's form too.
    void utf8Cells_data()
    {
        QTest::addColumn<QByteArrayList>("lines");
        QTest::addColumn<Grid>("expected");
        QTest::addColumn<QString>("dimension");
        QTest::newRow("Persian with yeh and Persian digits")
            << QByteArrayList{"نام\tپلاک ۱۲", "علی\tکتابی ٤٬٠٠٠"} << Grid{{"نام", "پلاک ۱۲"}, {"علی", "کتابی ٤٬٠٠٠"}}
            << "A1:B2";
        QTest::newRow("beyond the first plane, marks and Latin")
            << QByteArrayList{"\xF0\x9F\x98\x80 ok\t\xE2\x80\x8E"
                              "abc\tcafé"}
            << Grid{{QString::fromUtf8("\xF0\x9F\x98\x80 ok"), "\u200Eabc", "café"}} << "A1:C1";
        QTest::newRow("a lone surrogate and non-characters") << QByteArrayList{"a\xED\xA0\x80"
                                                                               "b\t\xEF\xBF\xBE\xEF\xBF\xBF"}
                                                             << Grid{{"a\uFFFDb", "\uFFFD\uFFFD"}} << "A1:B1";
        QTest::newRow("escapes and control characters")
            << QByteArrayList{"_x0041_\tی\x01ی"} << Grid{{"_x0041_", "ی\u0001ی"}} << "A1:B1";
    }
    void utf8Cells()
    {
        QFETCH(QByteArrayList, lines);
        QFETCH(Grid, expected);
        QFETCH(QString, dimension);
        const QString file = target(QStringLiteral("utf8.xlsx"));
        TableLines table = ToTable(lines);
        table.setEncoding({TextEncoding::Utf8, false});
        const FileStatus fromTable = ExportLinesToWorkbook(table, "برگه ی ۱", NativePath(file));
        QVERIFY2(fromTable.ok(), DescribeFileError(fromTable.error()).c_str());
        verifySheet(file, expected, dimension);
        QCOMPARE(ReadSheetNames(file), QStringList{QStringLiteral("برگه ی ۱")});
        // The sheet holds the text as UTF-8 of its own characters.
        const QByteArray sheetXml = ReadXlsxPart(file, QStringLiteral("xl/worksheets/sheet1.xml"));
        QVERIFY(sheetXml.contains(expected[0][0].toUtf8()));

        QVERIFY(QFile::remove(file));
        const FileStatus fromList =
            ExportLinesToWorkbook(ToStrings(lines), "Sheet1", NativePath(file), {}, TextEncoding::Utf8);
        QVERIFY2(fromList.ok(), DescribeFileError(fromList.error()).c_str());
        verifySheet(file, expected, dimension);
    }

    // The limit counts characters: two bytes a Persian letter.
    void utf8CellLength()
    {
        const QString file = target(QStringLiteral("long.xlsx"));
        std::string longest;
        for (std::size_t i = 0; i < MaxCellChars; ++i)
            longest += "ی";
        TableLines fits = TableLines::FromLines({"a\t" + longest});
        fits.setEncoding({TextEncoding::Utf8, false});
        const FileStatus ok = ExportLinesToWorkbook(fits, "Sheet1", NativePath(file));
        QVERIFY2(ok.ok(), DescribeFileError(ok.error()).c_str());
        QCOMPARE(ReadXlsxSheet(file).cells.value("B1").text, QString(int(MaxCellChars), QChar(0x06CC)));

        TableLines over = TableLines::FromLines({"a", "b\t" + longest + "ی"});
        over.setEncoding({TextEncoding::Utf8, false});
        const FileStatus tooLong = ExportLinesToWorkbook(over, "Sheet1", NativePath(file));
        QCOMPARE(tooLong.code(), FileErrorCode::CellTooLong);
        QCOMPARE(tooLong.error().count, std::uint64_t(MaxCellChars + 1));
        QCOMPARE(tooLong.error().subject, std::string("B2"));
    }

    void fieldsWithLineBreaksAndNul()
    {
        // Only a list of lines can carry these inside a field.
        const std::vector<std::string> lines{std::string("a\rb\nc\td", 7), std::string("x\0y", 3)};
        const QString file = target(QStringLiteral("breaks.xlsx"));
        QVERIFY(ExportLinesToWorkbook(lines, "Sheet1", NativePath(file)).ok());
        verifySheet(file, Grid{{"a\rb\nc", "d"}, {"xy", ""}}, "A1:B2");
    }

    void sheetName_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("shown");
        QTest::newRow("Sheet1") << QByteArray("Sheet1") << "Sheet1";
        QTest::newRow("persian") << QByteArray("\xDD\xD1\xE6\xD4") << "فروش";
        QTest::newRow("31 characters") << QByteArray(31, 'n') << QString(31, 'n');
    }
    void sheetName()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, shown);
        const QString file = target(QStringLiteral("name.xlsx"));
        QVERIFY(ExportLinesToWorkbook(ToTable({"a"}), name.toStdString(), NativePath(file)).ok());
        QCOMPARE(ReadSheetNames(file), QStringList{shown});
    }

    void blockSize_data()
    {
        QTest::addColumn<int>("rows");
        QTest::addColumn<int>("columns");
        QTest::addColumn<bool>("finalTab");
        QTest::addColumn<QString>("dimension");
        QTest::newRow("30 x 12") << 12 << 30 << false << "A1:AD12";
        QTest::newRow("30 x 12, column list") << 12 << 30 << true << "A1:AD12";
        QTest::newRow("702 columns") << 2 << 702 << false << "A1:ZZ2";
        QTest::newRow("703 columns") << 2 << 703 << true << "A1:AAA2";
        QTest::newRow("16384 columns") << 2 << 16384 << false << "A1:XFD2";
    }
    void blockSize()
    {
        QFETCH(int, rows);
        QFETCH(int, columns);
        QFETCH(bool, finalTab);
        QFETCH(QString, dimension);
        QByteArrayList lines;
        Grid expected;
        for (int r = 1; r <= rows; ++r) {
            QByteArray line;
            QStringList row;
            for (int c = 1; c <= columns; ++c) {
                const QByteArray field = "r" + QByteArray::number(r) + "c" + QByteArray::number(c);
                line += field;
                if (c < columns || finalTab)
                    line += '\t';
                row << QString::fromLatin1(field);
            }
            lines << line;
            expected << row;
        }
        const QString file = target(QStringLiteral("block.xlsx"));
        const FileStatus result = ExportLinesToWorkbook(ToTable(lines), "Sheet1", NativePath(file));
        QVERIFY2(result.ok(), DescribeFileError(result.error()).c_str());
        verifySheet(file, expected, dimension);
    }

    void formatLimits()
    {
        const QString file = target(QStringLiteral("limits.xlsx"));
        // As many rows as the format holds.
        const FileStatus rows =
            ExportLinesToWorkbook(TableLines::FromBytes(std::string(MaxSheetRows, '\n')), "Sheet1", NativePath(file));
        QVERIFY2(rows.ok(), DescribeFileError(rows.error()).c_str());
        QCOMPARE(ReadXlsxSheet(file).dimension, QStringLiteral("A1:A1048576"));
        // The longest text a cell holds.
        const std::string longest(MaxCellChars, '\xC7');
        const FileStatus longText =
            ExportLinesToWorkbook(TableLines::FromLines({"a\t" + longest}), "Sheet1", NativePath(file));
        QVERIFY2(longText.ok(), DescribeFileError(longText.error()).c_str());
        QCOMPARE(ReadXlsxSheet(file).cells.value("B1").text, QString(int(MaxCellChars), QChar(0x0627)));
    }

    // The sheet reads as the grid: right to left for a Persian header row,
    // the header row frozen, each column as wide as the grid's.
    void sheetLook_data()
    {
        QTest::addColumn<bool>("persian");
        QTest::addColumn<bool>("streamed");
        QTest::newRow("persian header") << true << false;
        QTest::newRow("latin header") << false << false;
        QTest::newRow("persian header, streamed") << true << true;
    }
    void sheetLook()
    {
        QFETCH(bool, persian);
        QFETCH(bool, streamed);
        const int rows = streamed ? int(WorkbookStreamingCells / 3) + 1 : 3;
        CoreGrid grid;
        grid.Reset(3, rows);
        const QByteArray name = persian ? QByteArray(SalamCp) : QByteArray("Name");
        const QByteArray names[3] = {"Code", name, "Note"};
        const int widths[3] = {75, 145, 40};
        for (int c = 0; c < 3; ++c) {
            grid.SetCell(c, 0, names[c].toStdString());
            grid.SetColWidth(c, widths[c]);
            for (int r = 1; r < rows; ++r)
                grid.SetCell(c, r, std::string(1, char('a' + c)));
        }
        const SheetLook look = SheetLookOfGrid(grid, true);
        QCOMPARE(look.rightToLeft, persian);
        QVERIFY(look.freezeHeaderRow);
        QCOMPARE(look.columnWidths, (std::vector<double>{10.0, 20.0, 5.0}));
        QVERIFY(SheetLookOfGrid(grid, false).columnWidths.empty());

        const QString file = target(QStringLiteral("look.xlsx"));
        const FileStatus result = ExportGridToWorkbook(grid, "Sheet1", NativePath(file), {}, look);
        QVERIFY2(result.ok(), DescribeFileError(result.error()).c_str());
        const QByteArray xml = ReadXlsxPart(file, QStringLiteral("xl/worksheets/sheet1.xml"));
        QCOMPARE(xml.contains("rightToLeft=\"1\""), persian);
        QVERIFY(xml.contains("<pane ySplit=\"1\" topLeftCell=\"A2\" activePane=\"bottomLeft\" state=\"frozen\"/>"));
        QVERIFY(xml.contains("<col min=\"1\" max=\"1\" width=\"10.7109375\""));
        QVERIFY(xml.contains("<col min=\"2\" max=\"2\" width=\"20.7109375\""));
        // Cells stay text.
        QCOMPARE(ReadXlsxSheet(file).cells.value("C2").text, QStringLiteral("c"));
    }

    // The grid's cells, each in a cell of its own: a cell holding only the
    // space of an empty field stays empty, other spaces stay, TABs and line
    // breaks stay inside their cell.
    void gridCells_data()
    {
        QTest::addColumn<bool>("utf8");
        QTest::newRow("Windows-1256") << false;
        QTest::newRow("UTF-8") << true;
    }
    void gridCells()
    {
        QFETCH(bool, utf8);
        CoreGrid grid;
        grid.Reset(3, 3);
        if (utf8)
            grid.SetEncoding(TextEncoding::Utf8);
        const std::string persian = utf8 ? std::string("سلام") : std::string(SalamCp);
        const std::string cells[3][3] = {{"Name", persian, "Note"}, {" ", "", "  "}, {"a\tb", "x\r\ny", "007"}};
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                grid.SetCell(c, r, cells[r][c]);
        const QString file = target(QStringLiteral("grid.xlsx"));
        const FileStatus result = ExportGridToWorkbook(grid, "Sheet1", NativePath(file));
        QVERIFY2(result.ok(), DescribeFileError(result.error()).c_str());
        verifySheet(file, Grid{{"Name", "سلام", "Note"}, {"", "", "  "}, {"a\tb", "x\r\ny", "007"}}, "A1:C3");
    }

    void streamedSheet()
    {
        // Enough cells for the row-by-row mode.
        const int rows = int(WorkbookStreamingCells / 10) + 1;
        QByteArrayList lines;
        Grid expected;
        for (int r = 0; r < rows; ++r) {
            QByteArray line;
            QStringList row;
            for (int c = 0; c < 10; ++c) {
                if (c == 3) {
                    line += QByteArray(SalamCp) + QByteArray::number(r) + '\t';
                    row << QStringLiteral("سلام") + QString::number(r);
                } else if (c == 7 && r % 3 == 0) {
                    line += '\t';
                    row << QString();
                } else {
                    line += "0" + QByteArray::number(r * 10 + c) + '\t';
                    row << QStringLiteral("0") + QString::number(r * 10 + c);
                }
            }
            lines << line;
            expected << row;
        }
        QList<std::uint64_t> done;
        const ProgressFn progress = [&](std::uint64_t d, std::uint64_t total) {
            if (total != std::uint64_t(rows))
                done << ~std::uint64_t(0);
            done << d;
            return true;
        };
        const QString file = target(QStringLiteral("big.xlsx"));
        const FileStatus result = ExportLinesToWorkbook(ToTable(lines), "Sheet1", NativePath(file), progress);
        QVERIFY2(result.ok(), DescribeFileError(result.error()).c_str());
        verifySheet(file, expected, QStringLiteral("A1:J%1").arg(rows));
        QVERIFY(done.size() >= 3);
        QCOMPARE(done.first(), std::uint64_t(0));
        QCOMPARE(done.last(), std::uint64_t(rows));
        QVERIFY(std::is_sorted(done.begin(), done.end()));
    }

    void cancelled_data()
    {
        QTest::addColumn<int>("answerYesTimes");
        QTest::newRow("at the start") << 0;
        QTest::newRow("half way") << 1;
        QTest::newRow("before saving") << 3;
    }
    void cancelled()
    {
        QFETCH(int, answerYesTimes);
        QByteArrayList lines;
        for (int r = 0; r < 10000; ++r)
            lines << "a\tb";
        const QString file = target(QStringLiteral("old.xlsx"));
        Write(file, "old");
        int calls = 0;
        const FileStatus result =
            ExportLinesToWorkbook(ToTable(lines), "Sheet1", NativePath(file),
                                  [&](std::uint64_t, std::uint64_t) { return calls++ < answerYesTimes; });
        QCOMPARE(calls, answerYesTimes + 1);
        QCOMPARE(result.code(), FileErrorCode::Cancelled);
        QVERIFY(!needsMessage(result.error()));
        QCOMPARE(ReadAll(file), QByteArray("old"));
        QCOMPARE(Entries(work_.path()), QStringList{"old.xlsx"});
    }

    void noSheet_data()
    {
        QTest::addColumn<QByteArray>("options");
        QTest::addColumn<bool>("written");
        QTest::newRow("1 switches it off") << QByteArray("NoSheet=1\r\n") << false;
        QTest::newRow("key in any case") << QByteArray("Other=x\r\nnosheet=1\r\n") << false;
        QTest::newRow("first line wins") << QByteArray("NoSheet=1\r\nNoSheet=0\r\n") << false;
        QTest::newRow("true") << QByteArray("NoSheet=true\r\n") << true;
        QTest::newRow("space before 1") << QByteArray("NoSheet= 1\r\n") << true;
        QTest::newRow("space after 1") << QByteArray("NoSheet=1 \r\n") << true;
        QTest::newRow("0") << QByteArray("NoSheet=0\r\n") << true;
        QTest::newRow("no key") << QByteArray("Other=1\r\n") << true;
        QTest::newRow("no file") << QByteArray() << true;
    }
    void noSheet()
    {
        QFETCH(QByteArray, options);
        QFETCH(bool, written);
        setAppOptions(options);
        const QString file = target(QStringLiteral("opt.xlsx"));
        const FileStatus result = ExportLinesToWorkbook(ToTable({"a\tb"}), "Sheet1", NativePath(file));
        QCOMPARE(result.ok(), written);
        QVERIFY(!needsMessage(result.error()));
        QCOMPARE(QFile::exists(file), written);
        if (!written) {
            QCOMPARE(result.code(), FileErrorCode::ExportSwitchedOff);
            QCOMPARE(DescribeFileError(result.error()),
                     std::string("the export is switched off (NoSheet=1 in AppOptions.txt)"));
        }
    }

    void emptyTable()
    {
        const QString fresh = target(QStringLiteral("new.xlsx"));
        const FileStatus a = ExportLinesToWorkbook(TableLines(), "Sheet1", NativePath(fresh));
        QCOMPARE(a.code(), FileErrorCode::EmptyTable);
        QVERIFY(!needsMessage(a.error()));
        QCOMPARE(DescribeFileError(a.error()), std::string("the table is empty"));
        const QString old = target(QStringLiteral("old.xlsx"));
        Write(old, "old");
        const FileStatus b = ExportLinesToWorkbook(std::vector<std::string>{}, "Sheet1", NativePath(old));
        QCOMPARE(b.code(), FileErrorCode::EmptyTable);
        QCOMPARE(ReadAll(old), QByteArray("old"));
        QCOMPARE(Entries(work_.path()), QStringList{"old.xlsx"});
    }

    void failures_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("folder missing") << "missing folder"
                                        << "پیدا نشد";
        QTest::newRow("target is a folder") << "folder"
                                            << "پوشه است";
        // Root meets the file system's immutable flag instead of permissions.
        QTest::newRow("write-protected file") << "read-only"
                                              << "فقط خواندنی|اجازه دسترسی";
        QTest::newRow("folder not writable") << "read-only folder"
                                             << "اجازه دسترسی";
        QTest::newRow("16385 columns") << "columns"
                                       << "16385";
        QTest::newRow("1048577 rows") << "rows"
                                      << "1048577";
        QTest::newRow("field too long") << "long field"
                                        << "32767";
        QTest::newRow("empty sheet name") << "empty name"
                                          << "برگه";
        QTest::newRow("sheet name with /") << "bad name"
                                           << "a/b";
        QTest::newRow("sheet name too long") << "long name"
                                             << "برگه";
        QTest::newRow("empty path") << "empty path"
                                    << "نام فایل";
    }
    void failures()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        QString file = target(QStringLiteral("out.xlsx"));
        QString folder = work_.path();
        TableLines lines = ToTable({"a\tb", "c"});
        std::string sheet = "Sheet1";
        QString protectedPath;
        bool immutable = false;
        if (kind == "missing folder") {
            file = target(QStringLiteral("no such folder/out.xlsx"));
        } else if (kind == "folder") {
            QVERIFY(QDir().mkpath(file));
        } else if (kind == "read-only") {
            Write(file, "old");
            protectedPath = file;
        } else if (kind == "read-only folder") {
            folder = target(QStringLiteral("locked"));
            QVERIFY(QDir().mkpath(folder));
            file = folder + QStringLiteral("/out.xlsx");
            Write(file, "old");
            protectedPath = folder;
        } else if (kind == "columns") {
            Write(file, "old");
            lines = TableLines::FromLines({"a", std::string(MaxSheetColumns, '\t') + "x"});
        } else if (kind == "rows") {
            Write(file, "old");
            lines = TableLines::FromBytes(std::string(MaxSheetRows + 1, '\n'));
        } else if (kind == "long field") {
            lines = TableLines::FromLines({"a", "b\t" + std::string(MaxCellChars + 1, 'x')});
            reason = QStringLiteral("B2");
        } else if (kind == "empty name") {
            sheet.clear();
        } else if (kind == "bad name") {
            sheet = "a/b";
        } else if (kind == "long name") {
            sheet = std::string(32, 'n');
        } else if (kind == "empty path") {
            file.clear();
        }
        const QStringList before = Entries(folder);
        const QByteArray oldBytes = ReadAll(file);
        if (!protectedPath.isEmpty() && !WriteProtect(protectedPath, immutable)) {
            Unprotect(protectedPath, immutable);
            QSKIP("this user keeps write access to write-protected files");
        }

        const FileStatus result = ExportLinesToWorkbook(lines, sheet, NativePath(file));

        if (!protectedPath.isEmpty())
            Unprotect(protectedPath, immutable);
        QVERIFY(!result.ok());
        QVERIFY(needsMessage(result.error()));
        const QString message = persianFileMessage(result.error(), FileOperation::Workbook);
        QVERIFY2(message.startsWith(ErrorTitle + "\n" + Isolated(file) + "\n"), qPrintable(message));
        QVERIFY2(message.contains(QRegularExpression(reason)), qPrintable(message));
        QCOMPARE(ReadAll(file), oldBytes);
        QCOMPARE(Entries(folder), before);
    }

    void fullDisk()
    {
        // A file size limit stands in for a full disk, also for root: the
        // library's own scratch files are cut off as well.
        QByteArrayList lines;
        for (int r = 0; r < 4000; ++r)
            lines << QByteArray::number(r * 7919 % 100003) + "\t" + SalamCp + QByteArray::number(r) + "\tx"
                    + QByteArray::number(r * 31);
        const QString file = target(QStringLiteral("old.xlsx"));
        Write(file, "old");

        struct rlimit saved { };
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &saved) == 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = saved;
        small.rlim_cur = 32 * 1024;
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
        const FileStatus result = ExportLinesToWorkbook(ToTable(lines), "Sheet1", NativePath(file));
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);

        const QString message = persianFileMessage(result.error(), FileOperation::Workbook);
        QVERIFY2(message.startsWith(ErrorTitle + "\n" + Isolated(file) + "\n"), qPrintable(message));
        QCOMPARE(ReadAll(file), QByteArray("old"));
        QCOMPARE(Entries(work_.path()), QStringList{"old.xlsx"});

        // With room again the same table is written whole.
        QVERIFY(ExportLinesToWorkbook(ToTable(lines), "Sheet1", NativePath(file)).ok());
        QCOMPARE(ReadXlsxSheet(file).cells.value("B4000").text, QStringLiteral("سلام3999"));
    }

    void replacesExistingFile()
    {
        const QString file = target(QStringLiteral("again.xlsx"));
        Write(file, "old");
        QVERIFY(QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup));
        QVERIFY(ExportLinesToWorkbook(ToTable({"new"}), "Sheet1", NativePath(file)).ok());
        verifySheet(file, Grid{{"new"}}, "A1");
        const QFileDevice::Permissions perUser = QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser;
        QCOMPARE(QFile::permissions(file) & ~perUser,
                 QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);
        // A link is followed: the file it names gets the workbook.
        const QString link = target(QStringLiteral("link.xlsx"));
        QVERIFY(QFile::link(file, link));
        QVERIFY(ExportLinesToWorkbook(ToTable({"via link"}), "Sheet1", NativePath(link)).ok());
        QVERIFY(QFileInfo(link).isSymLink());
        verifySheet(file, Grid{{"via link"}}, "A1");
        QCOMPARE(Entries(work_.path()), (QStringList{"again.xlsx", "link.xlsx"}));
    }

    void openedOnlyAfterWriting_data()
    {
        QTest::addColumn<QByteArray>("options");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("opened");
        QTest::newRow("written") << QByteArray() << "t.xlsx" << true;
        QTest::newRow("NoSheet") << QByteArray("NoSheet=1") << "t.xlsx" << false;
        QTest::newRow("failed") << QByteArray() << "missing/t.xlsx" << false;
    }
    void openedOnlyAfterWriting()
    {
        QFETCH(QByteArray, options);
        QFETCH(QString, name);
        QFETCH(bool, opened);
        setAppOptions(options);
        QList<QUrl> urls;
        bool existedWhenOpened = false;
        SetUrlOpenerForTesting([&](const QUrl& url) {
            urls << url;
            existedWhenOpened = QFile::exists(url.toLocalFile());
            return true;
        });
        const QString file = target(name);
        CoreGrid grid;
        grid.Reset(1, 1);
        grid.SetCell(0, 0, "a");
        const FileStatus result = ExportAndOpenWorkbook(grid, "Sheet1", NativePath(file));
        SetUrlOpenerForTesting({});
        QCOMPARE(result.ok(), opened);
        if (opened) {
            QCOMPARE(urls, QList<QUrl>{QUrl::fromLocalFile(file)});
            QVERIFY(existedWhenOpened);
        } else {
            QVERIFY(urls.isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(TestWorkbook)
#include "WorkbookTest.moc"
