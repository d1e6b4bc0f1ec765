// Reading workbooks: what each cell shows, for workbooks of several writers
// made at test time; the comma-separated table of a sheet; Rasmik's own
// workbooks read back; bad workbooks refused with a clear error, the file
// untouched and memory bounded.

#include "common/TestFiles.h"
#include "export/Workbook.h"
#include "export/WorkbookReader.h"
#include "table/TableLines.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <fstream>
#include <string>

#include <sys/stat.h>

using namespace rasmik;

Q_DECLARE_METATYPE(rasmik::FileErrorCode)

namespace {

using Cells = QMap<QString, QString>;

QString Address(std::uint32_t row, std::uint32_t column)
{
    return QString::fromStdString(CellAddress(static_cast<int>(column + 1), row + 1));
}

// Every cell of the sheet by address; the error, if any, in error.
Cells ReadCells(const QString& file, std::size_t sheet, FileStatus* status = nullptr, SheetExtent* extent = nullptr)
{
    Cells cells;
    WorkbookReader book;
    FileStatus s = book.open(NativePath(file));
    if (s)
        s = book.readSheet(
            sheet,
            [&](std::uint32_t row, std::span<const SheetCell> row_cells) {
                for (const SheetCell& c : row_cells)
                    cells[Address(row, c.column)] = QString::fromUtf8(c.text.data(), qsizetype(c.text.size()));
                return true;
            },
            {}, extent);
    if (status)
        *status = s;
    return cells;
}

// What a spreadsheet program shows in the sheet "Cells" of make_workbooks.py.
const Cells Expected{
    {"A1", QStringLiteral("سلام دنیا")},
    {"B1", "Latin, with comma"},
    {"C1", "quote \" inside"},
    {"D1", "two\nlines"},
    {"E1", "  padded  "},
    {"A2", "0.3"},
    {"B2", "0.333333333333333"},
    {"C2", "1E+20"},
    {"D2", "123456789012"},
    {"E2", "-2.5"},
    {"F2", "1E-07"},
    {"G2", "42"},
    {"A3", "1235"},
    {"B3", "1234.57"},
    {"C3", "1,234,568"},
    {"D3", "-1,234,567.89"},
    {"E3", "26%"},
    {"F3", "25.68%"},
    {"G3", "2.68"},
    {"A4", "2024-03-20"},
    {"B4", "2024-03-20 14:30"},
    {"C4", "2024-03-20 14:30:05"},
    {"D4", "14:30"},
    {"E4", "1900-02-28"},
    {"F4", "2024-03-20"},
    {"A5", "TRUE"},
    {"B5", "FALSE"},
    {"C5", "#DIV/0!"},
    {"D5", "5"},
    {"E5", "ab"},
    {"A6", "bold plain"},
    {"B6", "merged"},
    {"F9", "far"},
};

} // namespace

class TestWorkbookReader : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString good_;
    QString bad_;
    bool libreOffice_ = false;

    bool run(const QString& program, const QStringList& args, int timeoutMs = 300000)
    {
        QProcess p;
        p.start(program, args);
        if (!p.waitForFinished(timeoutMs) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
            qWarning() << program << args << p.readAllStandardError();
            return false;
        }
        return true;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(dir_.isValid());
        good_ = dir_.filePath("good");
        bad_ = dir_.filePath("bad");
        const QString script = QStringLiteral(RASMIK_SOURCE_DIR "/tests/export/make_workbooks.py");
        // Debian's Python, which has the writers scripts/setup installs.
        QVERIFY(run("/usr/bin/python3", {script, good_}));
        QVERIFY(run("/usr/bin/python3", {script, bad_, "bad"}));
        QVERIFY(QDir(bad_).mkdir("folder.xlsx"));
        QVERIFY(::mkfifo(QFile::encodeName(bad_ + "/pipe.xlsx").constData(), 0600) == 0);
        // LibreOffice, where it is installed, writes .ods, .xls and .xlsx of its own.
        const QString office = QStandardPaths::findExecutable("soffice");
        if (!office.isEmpty()) {
            const QString profile = QUrl::fromLocalFile(dir_.filePath("profile")).toString();
            const QString out = dir_.filePath("lo");
            libreOffice_ = true;
            for (const char* to : {"ods", "xls", "xlsx"})
                libreOffice_ = libreOffice_
                    && run(office,
                           {"-env:UserInstallation=" + profile, "--headless", "--convert-to", to, "--outdir", out,
                            good_ + "/xlsxwriter.xlsx"});
            // LibreOffice is optional: a conversion that fails leaves its rows out.
            if (!libreOffice_)
                qWarning("LibreOffice is installed but did not convert; its workbooks are left out");
        }
    }

    void cells_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("missing"); // cells the writer cannot write
        const QStringList formulas{"D5", "E5"};
        const QStringList before1904{"E4"};
        QTest::newRow("openpyxl") << good_ + "/openpyxl.xlsx" << formulas;
        QTest::newRow("openpyxl, 1904") << good_ + "/openpyxl-1904.xlsx" << formulas + before1904;
        QTest::newRow("XlsxWriter") << good_ + "/xlsxwriter.xlsx" << QStringList{};
        QTest::newRow("XlsxWriter, inline strings") << good_ + "/xlsxwriter-inline.xlsx" << QStringList{};
        QTest::newRow("XlsxWriter, 1904") << good_ + "/xlsxwriter-1904.xlsx" << before1904;
        QTest::newRow("xlwt .xls") << good_ + "/xlwt.xls" << formulas + QStringList{"C5"};
        QTest::newRow("hand-written .ods") << good_ + "/handwritten.ods" << QStringList{};
        if (libreOffice_) {
            // LibreOffice counts the days before March 1900 one less than Excel does.
            QTest::newRow("LibreOffice .ods") << dir_.filePath("lo/xlsxwriter.ods") << QStringList{"E4"};
            // LibreOffice 7.4 writes the text formula's value to .xls as the number 0.
            QTest::newRow("LibreOffice .xls") << dir_.filePath("lo/xlsxwriter.xls") << QStringList{"E5"};
            QTest::newRow("LibreOffice .xlsx") << dir_.filePath("lo/xlsxwriter.xlsx") << QStringList{};
        }
    }
    void cells()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, missing);
        Cells expected = Expected;
        for (const QString& m : missing)
            expected.remove(m);
        FileStatus status;
        SheetExtent extent;
        const Cells got = ReadCells(file, 0, &status, &extent);
        QVERIFY2(status.ok(), DescribeFileError(status.error()).c_str());
        for (auto it = expected.begin(); it != expected.end(); ++it)
            QVERIFY2(got.value(it.key()) == it.value(),
                     qPrintable(it.key() + ": " + got.value(it.key()) + " instead of " + it.value()));
        for (auto it = got.begin(); it != got.end(); ++it)
            QVERIFY2(expected.contains(it.key()) || missing.contains(it.key()),
                     qPrintable(it.key() + " holds " + it.value()));
        // Rows 7 and 8 and columns between hold nothing, but keep their places.
        QCOMPARE(extent.rows, 9u);
        QCOMPARE(extent.columns, 7u);

        WorkbookReader book;
        QVERIFY(book.open(NativePath(file)));
        QCOMPARE(book.sheetNames(), (std::vector<std::string>{"Cells", "دوم"}));
        QCOMPARE(book.findSheet("دوم"), 1);
        QCOMPARE(book.findSheet("2"), 1);
        QCOMPARE(book.findSheet("1"), 0);
        QCOMPARE(book.findSheet("3"), -1);
        QCOMPARE(book.findSheet("Cell"), -1);
        QCOMPARE(ReadCells(file, 1), (Cells{{"B2", "second"}}));
    }

    void commaSeparated()
    {
        WorkbookReader book;
        QVERIFY(book.open(NativePath(good_ + "/xlsxwriter.xlsx")));
        ByteBuffer csv;
        SheetExtent extent;
        QVERIFY(ReadSheetAsCsv(book, 0, csv, {}, &extent));
        const QByteArray expected =
            QStringLiteral("سلام دنیا,\"Latin, with comma\",\"quote \"\" inside\",\"two\nlines\",  "
                           "padded  \r\n"
                           "0.3,0.333333333333333,1E+20,123456789012,-2.5,1E-07,42\r\n"
                           "1235,1234.57,\"1,234,568\",\"-1,234,567.89\",26%,25.68%,2.68\r\n"
                           "2024-03-20,2024-03-20 14:30,2024-03-20 14:30:05,14:30,1900-02-28,2024-03-20\r\n"
                           "TRUE,FALSE,#DIV/0!,5,ab\r\n"
                           "bold plain,merged\r\n"
                           "\r\n"
                           "\r\n"
                           ",,,,,far\r\n")
                .toUtf8();
        QCOMPARE(QByteArray(csv.data(), qsizetype(csv.size())), expected);
        QCOMPARE(extent.rows, 9u);
        // A sheet with no cells gives no bytes.
        QVERIFY(book.open(NativePath(bad_ + "/missing-string.xlsx")));
    }

    void ownWorkbooks_data()
    {
        QTest::addColumn<int>("rows"); // beyond the streaming threshold the export writes inline strings
        QTest::newRow("shared strings") << 50;
        QTest::newRow("streamed") << 25000;
    }
    void ownWorkbooks()
    {
        QFETCH(int, rows);
        std::vector<std::string> lines{"نام\tمبلغ\t\tیادداشت", "x"};
        for (int r = 0; r < rows; ++r)
            lines.push_back("ردیف " + std::to_string(r) + "\t00" + std::to_string(r * 7) + "\t\t_x0041_, \"q\" "
                            + std::to_string(r % 13) + "\t1.50\t=SUM(A1)\t TRUE ");
        const QString file = dir_.filePath(QStringLiteral("own%1.xlsx").arg(rows));
        QVERIFY(ExportLinesToWorkbook(lines, "برگه", NativePath(file), {}, TextEncoding::Utf8));
        WorkbookReader book;
        QVERIFY(book.open(NativePath(file)));
        QCOMPARE(book.sheetNames(), std::vector<std::string>{"برگه"});
        std::size_t seen = 0;
        bool same = true;
        QString first;
        QVERIFY(book.readSheet(0, [&](std::uint32_t row, std::span<const SheetCell> cells) {
            // The line again from its cells, empty fields in their places.
            std::string line;
            std::uint32_t column = 0;
            for (const SheetCell& c : cells) {
                line.append(c.column - column, '\t');
                column = c.column;
                line += c.text;
            }
            if (row >= lines.size() || line != lines[row]) {
                if (first.isEmpty())
                    first = QString::fromStdString(line);
                same = false;
            }
            seen = row + 1;
            return true;
        }));
        QVERIFY2(same, qPrintable(first));
        QCOMPARE(seen, lines.size());
    }

    void badWorkbooks_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<FileErrorCode>("code");
        QTest::addColumn<QString>("subject");
        using C = FileErrorCode;
        QTest::newRow("cut-off zip") << "truncated.xlsx" << C::WorkbookDamaged << "";
        QTest::newRow("garbled zip data") << "garbled.xlsx" << C::WorkbookDamaged << "_rels/.rels";
        QTest::newRow("text named .xlsx") << "text.xlsx" << C::NotWorkbook << "";
        QTest::newRow("a zip that is no workbook") << "document.xlsx" << C::NotWorkbook << "";
        QTest::newRow("zip bomb") << "bomb.xlsx" << C::UnpacksTooLarge << "xl/worksheets/sheet1.xml";
        QTest::newRow("entity expansion") << "entities.xlsx" << C::XmlDeclarations << "xl/worksheets/sheet1.xml";
        QTest::newRow("external DTD") << "external-dtd.xlsx" << C::XmlDeclarations << "xl/worksheets/sheet1.xml";
        QTest::newRow("one string in every cell") << "repeated-string.xlsx" << C::TooLarge << "";
        QTest::newRow("column past XFD") << "column-out-of-range.xlsx" << C::CellOutOfRange << "XFE1";
        QTest::newRow("row past 1048576") << "row-out-of-range.xlsx" << C::CellOutOfRange << "A1048577";
        QTest::newRow("reference A0") << "bad-reference.xlsx" << C::WorkbookDamaged << "";
        QTest::newRow("rows out of order") << "rows-out-of-order.xlsx" << C::WorkbookDamaged << "";
        QTest::newRow("shared string missing") << "missing-string.xlsx" << C::WorkbookDamaged << "";
        QTest::newRow("cut-off sheet XML") << "cut-xml.xlsx" << C::WorkbookDamaged << "xl/worksheets/sheet1.xml";
        QTest::newRow("sheet part missing") << "missing-sheet.xlsx" << C::WorkbookDamaged << "xl/worksheets/sheet1.xml";
        QTest::newRow(".xlsb") << "binary.xlsb" << C::WorkbookKindNotRead << ".xlsb";
        QTest::newRow("encrypted .ods") << "encrypted.ods" << C::PasswordProtected << "";
        QTest::newRow("encrypted .xlsx") << "encrypted.xlsx" << C::PasswordProtected << "";
        QTest::newRow(".xls with a password") << "filepass.xls" << C::PasswordProtected << "";
        QTest::newRow("a compound file that is no workbook") << "document.xls" << C::NotWorkbook << "";
        QTest::newRow(".xls declaring 65536 x 256") << "declared-huge.xls" << C::TooLarge << "";
        QTest::newRow(".xls declaring 4294967295 rows")
            << "rows-out-of-range.xls" << C::CellOutOfRange << "R4294967295C256";
        QTest::newRow("cut-off .xls") << "cut.xls" << C::WorkbookDamaged << "";
        QTest::newRow("missing file") << "none.xlsx" << C::NotFound << "";
        QTest::newRow("a folder") << "folder.xlsx" << C::NotRegularFile << "";
        QTest::newRow("a pipe") << "pipe.xlsx" << C::NotRegularFile << "";
    }
    void badWorkbooks()
    {
        QFETCH(QString, file);
        QFETCH(FileErrorCode, code);
        QFETCH(QString, subject);
        const QString path = bad_ + "/" + file;
        // A pipe is not read here: it would wait for a writer.
        auto bytes = [&] { return QFileInfo(path).isFile() ? ReadAll(path) : QByteArray(); };
        const QByteArray before = bytes();
        const QStringList folder = QDir(bad_).entryList(QDir::AllEntries | QDir::System);
        // The peak of memory from here on.
        {
            std::ofstream("/proc/self/clear_refs") << "5";
        }
        FileStatus status;
        WorkbookReader book;
        status = book.open(NativePath(path));
        if (status) {
            ByteBuffer csv;
            status = ReadSheetAsCsv(book, 0, csv);
            QVERIFY(!status.ok());
            QVERIFY(csv.empty());
        }
        QCOMPARE(status.code(), code);
        QVERIFY2(QString::fromStdString(status.error().subject) == subject, DescribeFileError(status.error()).c_str());
        QCOMPARE(status.error().path, NativePath(path));
        QVERIFY(!DescribeFileError(status.error()).empty());
        QCOMPARE(bytes(), before);
        QCOMPARE(QDir(bad_).entryList(QDir::AllEntries | QDir::System), folder);
        QFile status_file("/proc/self/status");
        QVERIFY(status_file.open(QIODevice::ReadOnly));
        const QByteArray procStatus = status_file.readAll();
        const qsizetype at = procStatus.indexOf("VmHWM:");
        const qsizetype at2 = procStatus.indexOf("VmRSS:");
        QVERIFY(at >= 0 && at2 >= 0);
        const long long peak = procStatus.mid(at + 6).trimmed().split(' ').first().toLongLong();
        const long long now = procStatus.mid(at2 + 6).trimmed().split(' ').first().toLongLong();
        QVERIFY2(peak - now < 600 * 1024, qPrintable(QStringLiteral("peak %1 kB over %2 kB").arg(peak).arg(now)));
    }

    void declaredButEmpty()
    {
        // A1:XFD1048576 declared, three rows held: only they are.
        FileStatus status;
        SheetExtent extent;
        const Cells cells = ReadCells(bad_ + "/declared-huge.xlsx", 0, &status, &extent);
        QVERIFY(status);
        QCOMPARE(cells, (Cells{{"A1", "1"}, {"B3", "x"}}));
        QCOMPARE(extent.rows, 3u);
        QCOMPARE(extent.columns, 2u);
        QCOMPARE(extent.cells, 2u);
    }

    void notWorkbookBytes_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<bool>("workbook");
        QTest::newRow("zip") << QByteArray("PK\x03\x04\x14\0", 6) << true;
        QTest::newRow("empty zip") << QByteArray("PK\x05\x06", 4) << true;
        QTest::newRow("compound file") << QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) << true;
        QTest::newRow("text") << QByteArray("PK is a name\tx") << false;
        QTest::newRow("empty") << QByteArray() << false;
    }
    void notWorkbookBytes()
    {
        QFETCH(QByteArray, head);
        QFETCH(bool, workbook);
        QCOMPARE(LooksLikeWorkbook(std::string_view(head.constData(), std::size_t(head.size()))), workbook);
    }
};

QTEST_GUILESS_MAIN(TestWorkbookReader)
#include "WorkbookReaderTest.moc"
