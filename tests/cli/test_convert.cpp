// The command line without a window: rasmik --convert, --help, --version,
// run as a copy of the program in a folder of its own.

#include "common/TestFiles.h"
#include "table/ColumnOrder.h"
#include "table/TableLayout.h"
#include "table/TableLines.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace rasmik;

namespace {

struct Run {
    int status = -1;
    QByteArray out;
    QByteArray err;
};

QString Sample(const char* name)
{
    return QStringLiteral(RASMIK_SOURCE_DIR "/samples/") + QString::fromLatin1(name);
}

QByteArray Tool(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(60000);
    return p.readAllStandardOutput();
}

} // namespace

class TestConvert : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString exe;

    Run rasmik(const QStringList& args, const QStringList& unset = {})
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString& name : unset)
            env.remove(name);
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        env.remove("QT_QPA_PLATFORM");
        p.setProcessEnvironment(env);
        p.start(exe, args);
        if (!p.waitForFinished(120000))
            return {};
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput(),
                p.readAllStandardError()};
    }

private slots:
    void initTestCase()
    {
        // A copy of the program keeps its settings beside itself.
        exe = dir.path() + "/rasmik";
        QVERIFY(QFile::copy(QStringLiteral(RASMIK_EXE), exe));
        QVERIFY(QFile::setPermissions(exe, QFile::permissions(exe) | QFile::ExeOwner));
    }

    void textOutputIsWhatSaveWrites()
    {
        const QString out = dir.path() + "/plain.tsv";
        const Run r = rasmik({"--convert", Sample("plain.txt"), out});
        QCOMPARE(r.status, 0);
        QCOMPARE(ReadAll(out), ReadAll(Sample("plain.txt")));

        // The header block is not written; fixed widths come from the .cfg.
        const QString out2 = dir.path() + "/h.TXT";
        QCOMPARE(rasmik({"--convert", Sample("persian-header.txt"), out2}).status, 0);
        const QByteArray h = ReadAll(out2);
        QVERIFY(!h.contains("SardoVelam"));
        QVERIFY(h.startsWith(ReadAll(Sample("persian-header.txt")).split('\n').at(7).chopped(1) + "\r\n"));
        const QString out3 = dir.path() + "/fixed.txt";
        QCOMPARE(rasmik({"--convert", Sample("fixed-width.txt"), out3}).status, 0);
        QCOMPARE(ReadAll(out3).split('\n').at(1), QByteArray("1001\tTehran\t125000\tfirst\r"));
    }

    void convertingATableOntoItselfKeepsABackup()
    {
        const QString t = dir.path() + "/self.txt";
        QVERIFY(QFile::copy(Sample("persian-header.txt"), t));
        const QByteArray before = ReadAll(t);
        QCOMPARE(rasmik({"--convert", t, t}).status, 0);
        QCOMPARE(ReadAll(dir.path() + "/self.Bak"), before);
        // Written over itself, the table keeps its header block.
        const QList<QByteArray> lines = before.split('\n');
        QVERIFY(ReadAll(t).startsWith(lines.mid(0, 7).join('\n') + '\n'));
    }

    // Over itself a fixed-width table is written tab-separated and its .cfg
    // loses its widths; a table that a NUL cut off is not written over.
    void convertingOntoItselfKeepsTheTableWhole()
    {
        QVERIFY(QDir(dir.path()).mkpath("whole"));
        const QString t = dir.path() + "/whole/fixed.txt";
        QVERIFY(QFile::copy(Sample("fixed-width.txt"), t));
        Write(dir.path() + "/whole/fixed.cfg", "CellFormat=6 12 8\r\nOther=1\r\n");
        QCOMPARE(rasmik({"--convert", t, t}).status, 0);
        QCOMPARE(ReadAll(t).split('\n').at(1), QByteArray("1001\tTehran\t125000\tfirst\r"));
        QCOMPARE(ReadAll(dir.path() + "/whole/fixed.cfg"), QByteArray("Other=1\r\n"));
        const QString again = dir.path() + "/whole/again.txt";
        QCOMPARE(rasmik({"--convert", t, again}).status, 0);
        QCOMPARE(ReadAll(again), ReadAll(t));

        const QString cut = dir.path() + "/whole/cut.txt";
        const QByteArray bytes = QByteArray("a\tb\r\nc") + '\0' + "d\r\n";
        Write(cut, bytes);
        const Run refused = rasmik({"--convert", cut, cut});
        QCOMPARE(refused.status, 3);
        QVERIFY2(refused.err.contains("byte 7") && refused.err.contains("last 4 bytes"), refused.err.constData());
        QCOMPARE(ReadAll(cut), bytes);
        QVERIFY(!QFile::exists(dir.path() + "/whole/cut.Bak"));
        QCOMPARE(rasmik({"--convert", cut, again}).status, 0);
        QCOMPARE(ReadAll(again), QByteArray("a\tb\r\nc\t \r\n"));
    }

    void convertingOntoItselfUnderAnotherSpelling()
    {
        QVERIFY(QDir(dir.path()).mkpath("spelt/sub"));
        const QString t = dir.path() + "/spelt/t.txt";
        Write(t, "a\tb\r\n");
        const QString spelt = dir.path() + "/spelt/sub/..//./t.txt";
        QCOMPARE(rasmik({"--convert", spelt, t}).status, 0);
        QCOMPARE(ReadAll(dir.path() + "/spelt/t.Bak"), QByteArray("a\tb\r\n"));
    }

    void backupThatCannotBeMadeIsToldOnStandardError()
    {
        QVERIFY(QDir(dir.path()).mkpath("nobak/t.Bak"));
        const QString t = dir.path() + "/nobak/t.txt";
        Write(t, "SardoVelam31415926535-0 0\r\na\tb\r\n");
        const Run run = rasmik({"--convert", t, t});
        QCOMPARE(run.status, 0);
        QCOMPARE(ReadAll(t), QByteArray("SardoVelam31415926535-0 0\r\na\tb\r\n"));
        QVERIFY(run.err.contains(
            QFile::encodeName("rasmik: " + dir.path() + "/nobak/t.Bak: no backup made: Is a directory\n")));
    }

    void workbookOutput()
    {
        const QString out = dir.path() + "/plain.xlsx";
        const Run r = rasmik({"--convert", Sample("plain.txt"), out});
        QCOMPARE(r.status, 0);
        const QByteArray sheet = Tool("unzip", {"-p", out, "xl/worksheets/sheet1.xml"});
        QVERIFY(sheet.contains("<dimension ref=\"A1:E6\"/>"));
        const QByteArray strings = Tool("unzip", {"-p", out, "xl/sharedStrings.xml"}) + sheet;
        QVERIFY(strings.contains("450,000"));
        QVERIFY(strings.contains(QStringLiteral("زعفران").toUtf8()));
        QVERIFY(Tool("unzip", {"-p", out, "xl/workbook.xml"}).contains("name=\"Sheet1\""));
    }

    void reportOutput()
    {
        const QString out = dir.path() + "/plain.pdf";
        const Run r = rasmik({"--convert", Sample("plain.txt"), out, "--title", "Stock list"});
        QCOMPARE(r.status, 0);
        const QByteArray text = Tool("pdftotext", {"-layout", out, "-"});
        const QList<QByteArray> lines = text.split('\n');
        QVERIFY(lines.value(0).contains("Stock list"));
        int header = -1;
        for (int i = 0; i < lines.size(); ++i)
            if (lines[i].contains("Product"))
                header = i;
        QVERIFY(header > 0);
        // Right to left: the first column at the right.
        QVERIFY(lines[header].indexOf("Code") > lines[header].indexOf("Price"));
        QVERIFY(text.indexOf("A-100") > text.indexOf("Product"));
        QVERIFY(Tool("pdfinfo", {out}).contains("(A4)"));
    }

    void rememberedColumnOrderApplies()
    {
        // Remember Price, Code, ... for the header names of plain.txt.
        QFile f(Sample("plain.txt"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const TableLines lines = TableLines::FromBytes(f.readAll().toStdString());
        CoreGrid g;
        LayoutGridCells(g, lines, "");
        g.MoveColumn(4, 0);
        std::vector<std::string> orders;
        QVERIFY(SaveColOrder(g, orders, (dir.path() + "/Option.cfg").toStdString()));
        const QString out = dir.path() + "/ordered.txt";
        QCOMPARE(rasmik({"--convert", Sample("plain.txt"), out}).status, 0);
        QCOMPARE(ReadAll(out).split('\n').at(0), QByteArray("Price\tCode\tProduct\tUnit\tQty\r"));
        QFile::remove(dir.path() + "/Option.cfg");
    }

    void quietOnSuccess_data()
    {
        QTest::addColumn<QString>("output");
        QTest::newRow("text") << "quiet.txt";
        QTest::newRow("workbook") << "quiet.xlsx";
        QTest::newRow("report") << "quiet.pdf";
    }
    void quietOnSuccess()
    {
        // Qt complains about a missing XDG_RUNTIME_DIR; the user asked for none of it.
        QFETCH(QString, output);
        const Run r = rasmik({"--convert", Sample("persian-header.txt"), dir.path() + "/" + output},
                             {"XDG_RUNTIME_DIR", "QT_LOGGING_RULES"});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.err, QByteArray());
        QCOMPARE(r.out, QByteArray());
    }

    void failures_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing input") << QStringList{"--convert", "/no/such/table.txt", "/tmp/x.txt"} << 1
                                       << "/no/such/table.txt";
        QTest::newRow("input is a folder") << QStringList{"--convert", "/tmp", "/tmp/x.txt"} << 1 << "/tmp";
        QTest::newRow("input is a device")
            << QStringList{"--convert", "/dev/zero", "/tmp/x.txt"} << 1 << "/dev/zero: not a regular file";
        QTest::newRow("unwritable text output")
            << QStringList{"--convert", Sample("plain.txt"), "/no/dir/x.txt"} << 3 << "/no/dir/x.txt";
        QTest::newRow("unwritable workbook")
            << QStringList{"--convert", Sample("plain.txt"), "/no/dir/x.xlsx"} << 3 << "/no/dir/x.xlsx";
        QTest::newRow("unwritable report")
            << QStringList{"--convert", Sample("plain.txt"), "/no/dir/x.pdf"} << 3 << "/no/dir/x.pdf";
        QTest::newRow("one argument") << QStringList{"--convert", Sample("plain.txt")} << 2 << "usage:";
        QTest::newRow("unknown extension")
            << QStringList{"--convert", Sample("plain.txt"), "/tmp/x.doc"} << 2 << "usage:";
        QTest::newRow("title without text")
            << QStringList{"--convert", Sample("plain.txt"), "/tmp/x.pdf", "--title"} << 2 << "usage:";
        QTest::newRow("three paths") << QStringList{"--convert", "a.txt", "b.txt", "c.txt"} << 2 << "usage:";
        QTest::newRow("help with extra") << QStringList{"--help", "x"} << 2 << "usage:";
        QTest::newRow("unknown encoding")
            << QStringList{"--convert", Sample("plain.txt"), "/tmp/x.txt", "--encoding", "latin-1"} << 2 << "usage:";
        QTest::newRow("encoding of a report")
            << QStringList{"--convert", Sample("plain.txt"), "/tmp/x.pdf", "--encoding", "utf-8"} << 2 << "usage:";
    }

    // A .txt output keeps the input's encoding and mark unless --encoding
    // asks for another; a character Windows-1256 lacks writes nothing.
    void encodings_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("output");
        const QByteArray utf8 = QStringLiteral("نام\tی\r\n۱\t€\r\n").toUtf8();
        const QByteArray cp1256("\xE4\xC7\xE3\t\xED\r\n1\t\x80\r\n");
        QByteArray utf16("\xFF\xFE");
        for (const QChar c : QStringLiteral("نام\tی\r\n۱\t€\r\n"))
            utf16.append(static_cast<char>(c.unicode() & 0xFF)).append(static_cast<char>(c.unicode() >> 8));
        QTest::newRow("utf-8 kept") << utf8 << "" << 0 << utf8;
        QTest::newRow("utf-8 mark kept") << "\xEF\xBB\xBF" + utf8 << "" << 0 << "\xEF\xBB\xBF" + utf8;
        QTest::newRow("utf-16 kept") << utf16 << "" << 0 << utf16;
        QTest::newRow("utf-8 to windows-1256") << utf8 << "windows-1256" << 0 << cp1256;
        QTest::newRow("utf-16 to utf-8") << utf16 << "UTF-8" << 0 << utf8;
        QTest::newRow("utf-8 mark to utf-8") << "\xEF\xBB\xBF" + utf8 << "utf-8" << 0 << utf8;
        QTest::newRow("utf-8 to utf-16") << utf8 << "utf-16" << 0 << utf16;
        QTest::newRow("windows-1256 to utf-8")
            << cp1256 << "utf-8" << 0 << QStringLiteral("نام\tي\r\n1\t€\r\n").toUtf8();
        QTest::newRow("refused") << QStringLiteral("a\tb\r\nc\t₪\r\n").toUtf8() << "windows-1256" << 3 << QByteArray();
    }
    void encodings()
    {
        QFETCH(QByteArray, input);
        QFETCH(QString, encoding);
        QFETCH(int, status);
        QFETCH(QByteArray, output);
        const QString in = dir.path() + "/enc-in.txt";
        const QString out = dir.path() + "/enc-out.txt";
        QFile::remove(out);
        QVERIFY(Write(in, input));
        QStringList args{"--convert", in, out};
        if (!encoding.isEmpty())
            args << "--encoding" << encoding;
        const Run r = rasmik(args);
        QCOMPARE(r.status, status);
        if (status == 0) {
            QCOMPARE(ReadAll(out), output);
        } else {
            QVERIFY(!QFile::exists(out));
            // Named as the window's status bar names the cell.
            QVERIFY2(r.err.contains("row 1, column 2 \"b\"") && r.err.contains("U+20AA"), r.err.constData());
        }
    }
    // Comma-separated tables in and out: the output's extension decides its
    // form, --separator its separator; a text output that cannot hold a
    // cell's line break writes nothing.
    void commaSeparated_data()
    {
        QTest::addColumn<QString>("inName");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("outName");
        QTest::addColumn<QString>("separator");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("output");
        const QByteArray csv("a,\"b,c\"\r\n\"x\"\"y\",\r\n");
        QTest::newRow("csv kept") << "in.csv" << csv << "out.csv"
                                  << "" << 0 << csv;
        QTest::newRow("csv to text") << "in.csv" << QByteArray("a,\"b,c\"\r\n") << "out.txt"
                                     << "" << 0 << QByteArray("a\tb,c\r\n");
        QTest::newRow("text to csv") << "in.txt" << QByteArray("a\tb,c\r\nd\t\"\r\n") << "out.csv"
                                     << "" << 0 << QByteArray("a,\"b,c\"\r\nd,\"\"\"\"\r\n");
        QTest::newRow("semicolons asked") << "in.csv" << QByteArray("a,\"b;c\",d\n") << "out.csv"
                                          << "semicolon" << 0 << QByteArray("a;\"b;c\";d\n");
        QTest::newRow("semicolons kept") << "in.csv" << QByteArray("a;\"b,c\";d\n1;2;3\n") << "out.csv"
                                         << "" << 0 << QByteArray("a;\"b,c\";d\n1;2;3\n");
        QTest::newRow("break refused as text") << "in.csv" << QByteArray("a,\"b\nc\"\r\n") << "out.txt"
                                               << "" << 3 << QByteArray();
        QTest::newRow("separator of a text output") << "in.csv" << QByteArray("a,b\r\n") << "out.txt"
                                                    << "comma" << 2 << QByteArray();
        QTest::newRow("unknown separator") << "in.csv" << QByteArray("a,b\r\n") << "out.csv"
                                           << "colon" << 2 << QByteArray();
    }
    void workbookInput_data()
    {
        QTest::addColumn<QString>("book");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("outName");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("output");
        const QByteArray second("\r\n\tsecond\r\n");
        QTest::newRow("the first sheet") << "openpyxl.xlsx" << QStringList{} << "out.csv" << 0 << QByteArray();
        QTest::newRow("a sheet by number")
            << "openpyxl.xlsx" << QStringList{"--sheet", "2"} << "out.txt" << 0 << second;
        QTest::newRow("a sheet by name") << "xlwt.xls" << QStringList{"--sheet", "دوم"} << "out.txt" << 0 << second;
        QTest::newRow("OpenDocument") << "handwritten.ods" << QStringList{"--sheet", "دوم"} << "out.txt" << 0 << second;
        QTest::newRow("no such sheet") << "openpyxl.xlsx" << QStringList{"--sheet", "3"} << "out.txt" << 1
                                       << QByteArray();
        QTest::newRow("a sheet of a text table") << "" << QStringList{"--sheet", "1"} << "out.txt" << 2 << QByteArray();
        QTest::newRow("never over the workbook")
            << "openpyxl.xlsx" << QStringList{} << "openpyxl.xlsx" << 3 << QByteArray();
    }

    // Workbooks of other writers (tests/export/make_workbooks.py) as input.
    void workbookInput()
    {
        QFETCH(QString, book);
        QFETCH(QStringList, options);
        QFETCH(QString, outName);
        QFETCH(int, status);
        QFETCH(QByteArray, output);
        QTemporaryDir tables;
        QProcess python;
        python.start("/usr/bin/python3", {RASMIK_SOURCE_DIR "/tests/export/make_workbooks.py", tables.path()});
        QVERIFY(python.waitForFinished(120000) && python.exitCode() == 0);
        QVERIFY(Write(tables.path() + "/t.txt", "a\tb\r\n"));
        const QString in = tables.path() + "/" + (book.isEmpty() ? QStringLiteral("t.txt") : book);
        const QString out = tables.path() + "/" + outName;
        const QByteArray before = ReadAll(in);
        const Run r = rasmik(QStringList{"--convert", in, out} + options);
        QVERIFY2(r.status == status, r.err.constData());
        QCOMPARE(ReadAll(in), before);
        if (status == 0 && !output.isEmpty())
            QCOMPARE(ReadAll(out), output);
        if (status == 0 && output.isEmpty())
            QVERIFY(ReadAll(out).startsWith("سلام دنیا,\"Latin, with comma\",\"quote \"\" inside\""));
        if (status != 0 && outName != book)
            QVERIFY(!QFile::exists(out));
    }

    // Rasmik's own workbook reads back to the same cells.
    void ownWorkbookReadsBack()
    {
        QTemporaryDir tables;
        const QByteArray csv("a,\"b,c\"\r\n\"x\"\"y\",1\r\n\"two\nlines\",سلام\r\n");
        QVERIFY(Write(tables.path() + "/in.csv", csv));
        QCOMPARE(rasmik({"--convert", tables.path() + "/in.csv", tables.path() + "/book.xlsx"}).status, 0);
        QCOMPARE(rasmik({"--convert", tables.path() + "/book.xlsx", tables.path() + "/back.csv"}).status, 0);
        QCOMPARE(ReadAll(tables.path() + "/back.csv"), csv);
    }

    void commaSeparated()
    {
        QFETCH(QString, inName);
        QFETCH(QByteArray, input);
        QFETCH(QString, outName);
        QFETCH(QString, separator);
        QFETCH(int, status);
        QFETCH(QByteArray, output);
        QTemporaryDir tables;
        const QString in = tables.path() + "/" + inName;
        const QString out = tables.path() + "/" + outName;
        QVERIFY(Write(in, input));
        QStringList args{"--convert", in, out};
        if (!separator.isEmpty())
            args << "--separator" << separator;
        const Run r = rasmik(args);
        QCOMPARE(r.status, status);
        QCOMPARE(QFile::exists(out), status == 0);
        if (status == 0)
            QCOMPARE(ReadAll(out), output);
        if (status == 3)
            QVERIFY2(r.err.contains("row 0, column 2") && r.err.contains("CSV"), r.err.constData());
    }

    // A workbook and a report hold a comma-separated table's cells, line
    // breaks and all.
    void commaSeparatedToWorkbookAndReport()
    {
        const QString in = dir.path() + "/lines.csv";
        QVERIFY(Write(in, QStringLiteral("نام,توضیح\r\n\"علی, رضا\",\"دو\r\nخط\"\r\n").toUtf8()));
        const QString book = dir.path() + "/lines.xlsx";
        QCOMPARE(rasmik({"--convert", in, book}).status, 0);
        const QByteArray strings = Tool("unzip", {"-p", book, "xl/sharedStrings.xml"})
            + Tool("unzip", {"-p", book, "xl/worksheets/sheet1.xml"});
        QVERIFY(strings.contains(QStringLiteral("علی, رضا").toUtf8()));
        QVERIFY2(strings.contains(QStringLiteral("دو_x000D_\nخط").toUtf8()), strings.constData());
        QVERIFY(!strings.contains("\"\xD8\xB9"));
        const QString pdf = dir.path() + "/lines.pdf";
        QCOMPARE(rasmik({"--convert", in, pdf}).status, 0);
        QVERIFY(Tool("pdftotext", {pdf, "-"}).contains("\u21B5"));
    }

    void failures()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, message);
        const Run r = rasmik(args);
        QCOMPARE(r.status, status);
        QVERIFY2(r.err.contains(message.toUtf8()), r.err.constData());
        QVERIFY2(r.err.startsWith("rasmik: "), r.err.constData());
        // Nothing is left half-written at the output.
        if (status == 3)
            QVERIFY(!QFile::exists(args.at(2)));
    }

    void helpAndVersion()
    {
        const Run help = rasmik({"--help"});
        QCOMPARE(help.status, 0);
        QVERIFY(help.out.contains("--convert INPUT OUTPUT"));
        const Run version = rasmik({"--version"});
        QCOMPARE(version.status, 0);
        QVERIFY(version.out.startsWith("Rasmik - Version 1400.10.01\n"));
        QVERIFY(version.out.contains(QByteArray("Qt ") + qVersion()));
    }
};

QTEST_GUILESS_MAIN(TestConvert)
#include "test_convert.moc"
