// The workbook's zip as written by ZipWriter: the check of a written file
// finds damage without inflating it; Python's zipfile and openpyxl, unzip and
// our own reader read workbooks with and without zip64 records, cells that
// need escapes included; write errors come back as the system's errors.

#include "common/TestFiles.h"
#include "export/Workbook.h"
#include "export/WorkbookCheck.h"
#include "export/WorkbookReader.h"
#include "export/ZipWriter.h"
#include "table/CoreGrid.h"
#include "text/Cp1256.h"
#include "text/StagedFile.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <sys/resource.h>
#include <unistd.h>

using namespace rasmik;

namespace {

using Cells = QMap<QString, QString>;

// Reads the workbook as an independent program would: zipfile's testzip
// inflates every part against its CRC, openpyxl reads the cells, "_xHHHH_"
// decoded as spreadsheet programs decode it.
const char* const Judge = R"(
import json, re, sys, zipfile, openpyxl
path = sys.argv[1]
data = open(path, 'rb').read()
with zipfile.ZipFile(path) as z:
    bad = z.testzip()
    names = z.namelist()
ws = openpyxl.load_workbook(path).worksheets[0]
def text(v):
    return re.sub('_x([0-9A-Fa-f]{4})_', lambda m: chr(int(m.group(1), 16)), v)
cells = {c.coordinate: text(c.value) for row in ws.iter_rows() for c in row if c.value is not None}
formats = sorted({c.number_format for row in ws.iter_rows() for c in row if c.value is not None})
print(json.dumps({'bad': bad, 'zip64': data.rfind(b'PK\x06\x06') >= 0 and data.rfind(b'PK\x06\x07') >= 0,
                  'names': names, 'sheet': ws.title, 'cells': cells, 'formats': formats}))
)";

QJsonObject RunJudge(const QString& file)
{
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QString::fromUtf8(Judge), file});
    if (!python.waitForFinished(120000) || python.exitCode() != 0) {
        qWarning("%s", python.readAllStandardError().constData());
        return {};
    }
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}

Cells OwnReaderCells(const QString& file, FileStatus& status)
{
    Cells cells;
    WorkbookReader book;
    status = book.open(NativePath(file));
    if (status)
        status = book.readSheet(0, [&](std::uint32_t row, std::span<const SheetCell> rowCells) {
            for (const SheetCell& c : rowCells)
                cells[QString::fromStdString(CellAddress(int(c.column + 1), row + 1))] =
                    QString::fromUtf8(c.text.data(), qsizetype(c.text.size()));
            return true;
        });
    return cells;
}

// Text that compresses, but not to nothing.
std::string Filler(std::size_t n)
{
    std::string s;
    std::uint32_t x = 12345;
    while (s.size() < n) {
        x = x * 1103515245u + 12345u;
        s += "<r v=\"" + std::to_string(x >> 16) + "\"/>";
    }
    return s;
}

void Patch(const QString& file, qint64 at, char mask)
{
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.seek(at));
    char c = 0;
    QVERIFY(f.getChar(&c));
    QVERIFY(f.seek(at));
    QVERIFY(f.putChar(char(c ^ mask)));
}

} // namespace

class TestWorkbookZip : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

private slots:
    void cleanup() { SetWorkbookWritingForTesting({}); }

    // Damage to a written archive is found from its records and each part's
    // deflated bytes alone.
    void checkFindsDamage_data()
    {
        QTest::addColumn<bool>("zip64");
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("reason");
        for (const bool zip64 : {false, true}) {
            const char* z = zip64 ? ", zip64" : "";
            QTest::addRow("whole%s", z) << zip64 << "none"
                                        << "";
            QTest::addRow("byte flipped in a part's data%s", z) << zip64 << "data"
                                                                << "big.xml: the deflated bytes";
            QTest::addRow("last byte of a part flipped%s", z) << zip64 << "data end"
                                                              << "big.xml: the deflated bytes";
            QTest::addRow("cut in half%s", z) << zip64 << "half"
                                              << "the file holds";
            QTest::addRow("one byte short%s", z) << zip64 << "short"
                                                 << "the file holds";
            QTest::addRow("a byte more%s", z) << zip64 << "longer"
                                              << "the file holds";
            QTest::addRow("CRC in the central directory%s", z) << zip64 << "directory crc"
                                                               << "the entry of c.xml";
            QTest::addRow("name in the central directory%s", z) << zip64 << "directory name"
                                                                << "the entry of a.xml";
            QTest::addRow("directory offset in the end record%s", z) << zip64 << "end"
                                                                     << "the end of central directory";
            QTest::addRow("local header%s", z) << zip64 << "local"
                                               << "a.xml: the local header";
        }
        QTest::addRow("zip64 end record") << true << "end64"
                                          << "the zip64 end of central directory";
    }
    void checkFindsDamage()
    {
        QFETCH(bool, zip64);
        QFETCH(QString, damage);
        QFETCH(QString, reason);
        const QString file = dir_.filePath(QStringLiteral("damage.zip"));
        ZipLayout layout;
        {
            StagedFile staged;
            QVERIFY(staged.open(NativePath(file)));
            ZipWriter zip(staged, 5, zip64);
            const std::string parts[][2] = {{"a.xml", "<a/>"}, {"big.xml", Filler(300000)}, {"c.xml", "<c>x</c>"}};
            for (const auto& [name, bytes] : parts) {
                QVERIFY(zip.begin(name));
                QVERIFY(zip.write(bytes));
                QVERIFY(zip.end());
            }
            QVERIFY(zip.finish());
            layout = zip.layout();
            QVERIFY(staged.commit());
        }
        QCOMPARE(layout.zip64, zip64);
        QCOMPARE(quint64(QFileInfo(file).size()), layout.fileSize);
        QCOMPARE(QString::fromStdString(CheckWrittenWorkbook(NativePath(file), layout)), QString());

        const ZipPart& big = layout.parts[1];
        const qint64 bigData = qint64(big.offset + big.headerSize);
        const qint64 entry3 = qint64(layout.directoryOffset + zip::CentralEntry(layout.parts[0], zip64).size()
                                     + zip::CentralEntry(layout.parts[1], zip64).size());
        const qint64 end = qint64(layout.fileSize - zip::EndSize);
        if (damage == "data")
            Patch(file, bigData + qint64(big.compressedSize / 2), 0x10);
        else if (damage == "data end")
            Patch(file, bigData + qint64(big.compressedSize) - 1, 0x01);
        else if (damage == "half")
            QVERIFY(::truncate(NativePath(file).c_str(), off_t(layout.fileSize / 2)) == 0);
        else if (damage == "short")
            QVERIFY(::truncate(NativePath(file).c_str(), off_t(layout.fileSize - 1)) == 0);
        else if (damage == "longer")
            QVERIFY(::truncate(NativePath(file).c_str(), off_t(layout.fileSize + 1)) == 0);
        else if (damage == "directory crc")
            Patch(file, entry3 + 16, 0x01);
        else if (damage == "directory name")
            Patch(file, qint64(layout.directoryOffset + zip::CentralHeaderSize), 0x20);
        else if (damage == "end")
            Patch(file, end + 16, 0x01);
        else if (damage == "end64")
            Patch(file, end - qint64(zip::Locator64Size + zip::End64Size) + 48, 0x01);
        else if (damage == "local")
            Patch(file, 14, 0x01);
        const QString found = QString::fromStdString(CheckWrittenWorkbook(NativePath(file), layout));
        if (reason.isEmpty())
            QCOMPARE(found, QString());
        else
            QVERIFY2(found.contains(reason), qPrintable(found));
    }

    // Cells that need escapes, in both encodings, in workbooks with and
    // without zip64 records, as independent readers see them.
    void readersSeeTheCells_data()
    {
        QTest::addColumn<bool>("zip64");
        QTest::addColumn<bool>("utf8");
        QTest::newRow("Windows-1256") << false << false;
        QTest::newRow("Windows-1256, zip64") << true << false;
        QTest::newRow("UTF-8") << false << true;
        QTest::newRow("UTF-8, zip64") << true << true;
    }
    void readersSeeTheCells()
    {
        QFETCH(bool, zip64);
        QFETCH(bool, utf8);
        SetWorkbookWritingForTesting({0, zip64});
        const std::string persian = utf8 ? std::string("سلام پگک") : std::string("\xD3\xE1\xC7\xE3 \x81\x90\x98");
        // Persian yeh in UTF-8, Arabic yeh (0xED) in Windows-1256.
        const std::string yeh = utf8 ? std::string("ی") : std::string("\xED");
        std::string longest;
        for (std::size_t i = 0; i < MaxCellChars; ++i)
            longest += yeh;
        const std::string cells[3][4] = {
            {persian, "a & b <c> \"q\" 'z'", "", "_x0041_ and __x005F_"},
            {std::string("\x01\x02\x1F\x7F", 4), " lead and trail ", "tab\tline\nbreak\rcr", std::string("a\0b", 3)},
            {"", longest, "]]> &amp;", ""},
        };
        const QString longText(int(MaxCellChars), QChar(utf8 ? 0x06CC : 0x064A));
        const Cells expected{
            {"A1", QStringLiteral("سلام پگک")},
            {"B1", "a & b <c> \"q\" 'z'"},
            {"D1", "_x0041_ and __x005F_"},
            {"A2", QString::fromUtf8("\x01\x02\x1F\x7F", 4)},
            {"B2", " lead and trail "},
            {"C2", "tab\tline\nbreak\rcr"},
            {"D2", "ab"},
            {"B3", longText},
            {"C3", "]]> &amp;"},
        };
        CoreGrid grid;
        grid.Reset(4, 3);
        if (utf8)
            grid.SetEncoding(TextEncoding::Utf8);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 4; ++c)
                grid.SetCell(c, r, cells[r][c]);
        const QString file = dir_.filePath(QStringLiteral("cells.xlsx"));
        const std::string sheetName = utf8 ? "فروش & <سود>" : "\xDD\xD1\xE6\xD4 & <\xD3\xE6\xCF>";
        const FileStatus written = ExportGridToWorkbook(grid, sheetName, NativePath(file));
        QVERIFY2(written.ok(), DescribeFileError(written.error()).c_str());

        const QJsonObject judged = RunJudge(file);
        QVERIFY(!judged.isEmpty());
        QVERIFY(judged.value("bad").isNull());
        QCOMPARE(judged.value("zip64").toBool(), zip64);
        QCOMPARE(judged.value("sheet").toString(), QStringLiteral("فروش & <سود>"));
        QCOMPARE(judged.value("formats").toVariant().toStringList(), QStringList{"@"});
        Cells seen;
        const QJsonObject judgedCells = judged.value("cells").toObject();
        for (auto it = judgedCells.begin(); it != judgedCells.end(); ++it)
            seen[it.key()] = it.value().toString();
        QCOMPARE(seen.keys(), expected.keys());
        for (auto it = expected.begin(); it != expected.end(); ++it)
            QVERIFY2(seen.value(it.key()) == it.value(), qPrintable(it.key()));

        FileStatus read;
        const Cells own = OwnReaderCells(file, read);
        QVERIFY2(read.ok(), DescribeFileError(read.error()).c_str());
        QCOMPARE(own, expected);

        // Info-ZIP's unzip tests every part too.
        QProcess unzip;
        unzip.start(QStringLiteral("unzip"), {QStringLiteral("-tq"), file});
        QVERIFY(unzip.waitForFinished(30000));
        QVERIFY2(unzip.exitCode() == 0, unzip.readAllStandardOutput().constData());
    }

    // The sheet name rules Excel has, and markup in an allowed name.
    void sheetNames_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("problem"); // empty: allowed
        QTest::newRow("apostrophe inside") << QByteArray("a'b") << "";
        QTest::newRow("markup") << QByteArray("a&b<c>\"d\"") << "";
        QTest::newRow("31 Persian letters") << QByteArray(31, '\xED') << "";
        QTest::newRow("32 Persian letters") << QByteArray(32, '\xED') << "31 characters";
        QTest::newRow("leading apostrophe") << QByteArray("'a") << "apostrophe";
        QTest::newRow("trailing apostrophe") << QByteArray("a'") << "apostrophe";
        for (const char c : std::string("[]:*?/\\"))
            QTest::addRow("with %c", c) << (QByteArray("a") + c) << "invalid characters";
        QTest::newRow("control character") << QByteArray("a\x01") << "control characters";
    }
    void sheetNames()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, problem);
        const QString file = dir_.filePath(QStringLiteral("named.xlsx"));
        QFile::remove(file);
        const FileStatus r = ExportLinesToWorkbook(std::vector<std::string>{"a"}, name.toStdString(), NativePath(file));
        if (problem.isEmpty()) {
            QVERIFY2(r.ok(), DescribeFileError(r.error()).c_str());
            FileStatus read;
            QCOMPARE(OwnReaderCells(file, read).value("A1"), QStringLiteral("a"));
            QVERIFY(read.ok());
            WorkbookReader book;
            QVERIFY(book.open(NativePath(file)));
            QCOMPARE(QString::fromStdString(book.sheetNames().at(0)),
                     QString::fromStdString(Cp1256ToUtf8(name.toStdString())));
        } else {
            QCOMPARE(r.code(), FileErrorCode::BadSheetName);
            QVERIFY2(QString::fromStdString(r.error().detail).contains(problem), r.error().detail.c_str());
            QVERIFY(!QFile::exists(file));
        }
    }

    // Columns' widths as Excel stores them, runs of one width in one element.
    void columnWidths()
    {
        CoreGrid grid;
        grid.Reset(8, 1);
        grid.SetCell(0, 0, "x");
        SheetLook look;
        look.columnWidths = {0, 0.5, 10, 10, 8.43, -1, 255, 300};
        const QString file = dir_.filePath(QStringLiteral("widths.xlsx"));
        QVERIFY(ExportGridToWorkbook(grid, "Sheet1", NativePath(file), {}, look));
        QProcess unzip;
        unzip.start(QStringLiteral("unzip"), {QStringLiteral("-p"), file, QStringLiteral("xl/worksheets/sheet1.xml")});
        QVERIFY(unzip.waitForFinished(30000));
        const QByteArray xml = unzip.readAllStandardOutput();
        QVERIFY2(xml.contains("<cols><col min=\"1\" max=\"1\" width=\"0\" style=\"1\" customWidth=\"1\"/>"
                              "<col min=\"2\" max=\"2\" width=\"0.85546875\" style=\"1\" customWidth=\"1\"/>"
                              "<col min=\"3\" max=\"4\" width=\"10.7109375\" style=\"1\" customWidth=\"1\"/>"
                              "<col min=\"5\" max=\"6\" width=\"9.140625\" style=\"1\"/>"
                              "<col min=\"7\" max=\"8\" width=\"255.7109375\" style=\"1\" customWidth=\"1\"/></cols>"),
                 xml.left(1200).constData());
    }

    // A write that fails part way (here a file size limit: EFBIG, as a full
    // disk gives ENOSPC) is the system's error; the old file stays.
    void writeErrors_data()
    {
        QTest::addColumn<int>("limit"); // bytes; below 0: that many before the end
        QTest::newRow("in the first part") << 40;
        QTest::newRow("in the sheet") << 20000;
        QTest::newRow("in the central directory") << -30;
    }
    void writeErrors()
    {
        QFETCH(int, limit);
        std::vector<std::string> lines;
        for (int r = 0; r < 3000; ++r)
            lines.push_back(std::to_string(r * 7919 % 100003) + "\t\xD3\xE1\xC7\xE3" + std::to_string(r));
        const QTemporaryDir folder;
        const QString file = folder.filePath(QStringLiteral("old.xlsx"));
        QVERIFY(ExportLinesToWorkbook(lines, "Sheet1", NativePath(file)).ok());
        const qint64 whole = QFileInfo(file).size();
        QVERIFY(Write(file, "old"));

        struct rlimit saved { };
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &saved) == 0);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit small = saved;
        small.rlim_cur = rlim_t(limit > 0 ? limit : whole + limit);
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
        const FileStatus r = ExportLinesToWorkbook(lines, "Sheet1", NativePath(file));
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);

        QCOMPARE(r.code(), FileErrorCode::TooLarge);
        QCOMPARE(r.error().sysErrno, EFBIG);
        QCOMPARE(r.error().path, NativePath(file));
        QCOMPARE(ReadAll(file), QByteArray("old"));
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"old.xlsx"});
    }
};

QTEST_GUILESS_MAIN(TestWorkbookZip)
#include "WorkbookZipTest.moc"
