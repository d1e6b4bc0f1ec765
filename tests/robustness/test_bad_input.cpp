// Bad input of every kind, opened in the window (offscreen) and converted by
// `rasmik --convert`: the program answers, shows the table it could read and
// writes what Save writes.

#include "Robustness.h"

#include "app/MainWindow.h"
#include "common/ModalCloser.h"
#include "common/WindowHelpers.h"
#include "render/QtText.h"
#include "text/TextFiles.h"

#include <QClipboard>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <random>

using namespace rasmik;
using namespace robustness;

namespace {

// Bytes lowest..255, the same for the same seed; eight bytes from each draw,
// as 50 MB of them are made in the unoptimised sanitizer build too.
QByteArray RandomBytes(std::size_t n, unsigned seed, int lowest)
{
    std::mt19937_64 gen(seed);
    const auto range = static_cast<unsigned>(256 - lowest);
    QByteArray out(static_cast<qsizetype>(n), '\0');
    char* p = out.data();
    for (std::size_t i = 0; i < n;) {
        std::uint64_t draw = gen();
        for (int k = 0; k < 8 && i < n; ++k, ++i, draw >>= 8)
            p[i] = static_cast<char>(lowest + static_cast<int>((draw & 0xFF) % range));
    }
    return out;
}

// Cells of a grid row as the window holds them.
QList<QByteArray> RowCells(MainWindow& w, int row)
{
    QList<QByteArray> cells;
    for (int c = 0; c < w.document().grid().ColCount(); ++c) {
        const std::string_view cell = w.document().grid().Cell(c, row);
        cells << QByteArray(cell.data(), static_cast<qsizetype>(cell.size()));
    }
    return cells;
}

} // namespace

class TestBadInput : public QObject {
    Q_OBJECT
    QTemporaryDir appDir;
    QTemporaryDir dir;
    QString exe;

    QString path(const char* name) const { return dir.path() + "/" + QLatin1String(name); }

    // Opens path in a fresh window as the command line does; the window is
    // shown and painted when shown is true.
    std::unique_ptr<MainWindow> open(const QString& file, bool shown = true)
    {
        auto w = MakeWindow(file);
        if (shown) {
            w->resize(800, 600);
            w->show();
            (void)w->grab(); // every visible cell painted
        }
        return w;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(appDir.isValid() && dir.isValid());
        SetExeFolderForTesting(appDir.path().toStdString());
        exe = CopyProgram(dir.path());
        QVERIFY(!exe.isEmpty());
    }

    // A binary file: the table is what stands before its first NUL byte.
    void binaryFile()
    {
        const QByteArray elf = ReadAll(QStringLiteral(RASMIK_EXE));
        QVERIFY(elf.startsWith("\x7f"
                               "ELF"));
        const QString file = path("binary.txt");
        QVERIFY(Write(file, elf));
        ModalCloser closer;
        auto w = open(file);
        COMPARE_MODALS(closer, 0);
        QCOMPARE(w->caption(), QFile::encodeName(file).toStdString());
        QCOMPARE(w->document().grid().RowCount(), 1);
        QCOMPARE(RowCells(*w, 0), QList<QByteArray>{elf.left(elf.indexOf('\0'))});

        const Run r = RunProgram(exe, {"--convert", file, path("binary-out.txt")});
        QCOMPARE(r.status, 0);
        QCOMPARE(ReadAll(path("binary-out.txt")), elf.left(elf.indexOf('\0')) + "\r\n");
    }

    // Random bytes without NUL: every line break makes a row, every TAB a
    // column, and saving the saved table again changes nothing.
    void randomBytes_data()
    {
        QTest::addColumn<unsigned>("seed");
        QTest::addColumn<int>("size");
        QTest::newRow("small") << 1u << 4096;
        QTest::newRow("1 MB") << 2u << (1 << 20);
    }
    void randomBytes()
    {
        QFETCH(unsigned, seed);
        QFETCH(int, size);
        const QByteArray bytes = RandomBytes(static_cast<std::size_t>(size), seed, 1);
        const QString file = path("random.txt");
        QVERIFY(Write(file, bytes));
        auto w = open(file);
        const auto lines = SplitLines(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
        QCOMPARE(w->document().grid().RowCount(), static_cast<int>(lines.size()));

        const Run first = RunProgram(exe, {"--convert", file, path("random-1.txt")});
        QCOMPARE(first.status, 0);
        const Run second = RunProgram(exe, {"--convert", path("random-1.txt"), path("random-2.txt")});
        QCOMPARE(second.status, 0);
        const QByteArray once = ReadAll(path("random-1.txt"));
        QCOMPARE(once.count("\r\n"), static_cast<qsizetype>(lines.size()));
        QCOMPARE(ReadAll(path("random-2.txt")), once);
    }

    // A NUL byte ends the text, wherever it stands.
    void nulBytes()
    {
        const QString file = path("nul.txt");
        QVERIFY(Write(file, QByteArray("a\tb\r\nc\0d\te\r\nf\r\n", 16)));
        auto w = open(file);
        QCOMPARE(w->document().grid().RowCount(), 2);
        QCOMPARE(RowCells(*w, 0), (QList<QByteArray>{"a", "b"}));
        QCOMPARE(RowCells(*w, 1), (QList<QByteArray>{"c", " "}));
        const Run r = RunProgram(exe, {"--convert", file, path("nul-out.txt")});
        QCOMPARE(r.status, 0);
        // The filled-in empty cell keeps its space (only the line end is trimmed).
        QCOMPARE(ReadAll(path("nul-out.txt")), QByteArray("a\tb\r\nc\t \r\n"));
    }

    // One line of 50 MB without a TAB is one cell, saved back whole.
    void fiftyMegabyteLine()
    {
        QByteArray line = RandomBytes(50u << 20, 3, 0x21); // no blank, no control
        const QString file = path("long.txt");
        QVERIFY(Write(file, line + "\n"));
        const Run r = RunProgram(exe, {"--convert", file, path("long-out.txt")});
        QCOMPARE(r.status, 0);
        const QByteArray out = ReadAll(path("long-out.txt"));
        QCOMPARE(out.size(), line.size() + 2);
        QVERIFY(out == line + "\r\n");

        // In the window: one cell, as wide as the cap allows, painted.
        auto w = open(file);
        QCOMPARE(w->document().grid().RowCount(), 1);
        QCOMPARE(w->document().grid().Cell(0, 0).size(), std::size_t(line.size()));
        // (the cap: 0.8 of the grid's width when the table was laid out)
        QVERIFY(w->document().grid().ColWidth(0) > 400 && w->document().grid().ColWidth(0) < 696);
    }

    // 100,000 columns in the window and through --convert.
    void hundredThousandColumns()
    {
        QByteArray header, row;
        for (int c = 0; c < 100000; ++c) {
            header += "C" + QByteArray::number(c) + "\t";
            row += QByteArray::number(c % 97) + "\t";
        }
        header.chop(1);
        row.chop(1);
        const QString file = path("wide.txt");
        QVERIFY(Write(file, header + "\r\n" + row + "\r\n"));
        auto w = open(file);
        QCOMPARE(w->document().grid().ColCount(), 100000);
        QCOMPARE(w->document().grid().RowCount(), 2);
        QCOMPARE(Cell(*w, 99999, 0), QStringLiteral("C99999"));
        QCOMPARE(Cell(*w, 99999, 1), QString::number(99999 % 97));
        QCOMPARE(w->grid()->model()->columnCount(), 100000);

        const Run r = RunProgram(exe, {"--convert", file, path("wide-out.txt")});
        QCOMPARE(r.status, 0);
        QCOMPARE(ReadAll(path("wide-out.txt")), header + "\r\n" + row + "\r\n");
    }

    // A header block asking for 10,000 panels gets the ten there are room
    // for; their 30 caption lines are not table rows.
    void tenThousandHeaderPanels()
    {
        QByteArray text = "SardoVelam31415926535-0 10000\r\n";
        for (int i = 1; i <= 30; ++i)
            text += "caption " + QByteArray::number(i) + "\r\n";
        text += "Name\tCity\r\nAli\tTehran\r\n";
        const QString file = path("panels.txt");
        QVERIFY(Write(file, text));
        auto w = open(file);
        QCOMPARE(w->document().headerPanelCount(), 10);
        QCOMPARE(w->headerStrip()->panelsMade(), 10);
        QCOMPARE(w->headerStrip()->label(10, 1)->text(), QStringLiteral("caption 28"));
        QCOMPARE(w->document().grid().RowCount(), 2);
        QCOMPARE(RowCells(*w, 0), (QList<QByteArray>{"Name", "City"}));

        const Run r = RunProgram(exe, {"--convert", file, path("panels-out.txt")});
        QCOMPARE(r.status, 0);
        QCOMPARE(ReadAll(path("panels-out.txt")), QByteArray("Name\tCity\r\nAli\tTehran\r\n"));
    }

    // Fixed widths from a damaged .cfg: a width beyond the line takes the
    // rest, a negative or unreadable one cuts at the next TAB.
    void damagedWidths_data()
    {
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<QList<QByteArray>>("cells");
        QTest::addColumn<QByteArray>("saved");
        const QByteArray line = "ab\tcd\tef\tgh\tij";
        QTest::newRow("huge, negative, word")
            << QByteArray("99999999999 -5 abc") << QList<QByteArray>{line} << line + "\r\n";
        QTest::newRow("two, negative, word, huge")
            << QByteArray("2 -5 abc 99999999999") << QList<QByteArray>{"ab", " ", "cd", "ef\tgh\tij"}
            << QByteArray("ab\t \tcd\tef\tgh\tij\r\n");
        QTest::newRow("blank and junk") << QByteArray("   ,,, (x) 1e999")
                                        << QList<QByteArray>{"ab", "cd", "ef", "gh", "ij"} << line + "\r\n";
    }
    void damagedWidths()
    {
        QFETCH(QByteArray, format);
        QFETCH(QList<QByteArray>, cells);
        QFETCH(QByteArray, saved);
        const QString file = path("widths.txt");
        QVERIFY(Write(file, "ab\tcd\tef\tgh\tij\r\n"));
        QVERIFY(Write(path("widths.cfg"), "CellFormat=" + format + "\r\n"));
        auto w = open(file);
        QCOMPARE(RowCells(*w, 0), cells);
        const Run r = RunProgram(exe, {"--convert", file, path("widths-out.txt")});
        QCOMPARE(r.status, 0);
        QCOMPARE(ReadAll(path("widths-out.txt")), saved);
    }

    // Whatever the clipboard holds: random UTF-16 (lone surrogates, controls,
    // letters no code page has) with TABs and line breaks. The paste opens as
    // a table of one row a line, under the generated header.
    void pasteOfGarbage()
    {
        std::mt19937 gen(11);
        QString text;
        int lines = 0;
        for (int i = 0; i < 20000; ++i) {
            const unsigned r = gen() % 20;
            if (r == 0) {
                text += QLatin1String("\r\n");
                ++lines;
            } else if (r < 4) {
                text += QLatin1Char('\t');
            } else {
                text += QChar(static_cast<char16_t>(1 + gen() % 0xFFFE)); // no NUL
            }
        }
        text += QLatin1String("\tend\r\n");
        ++lines;
        QGuiApplication::clipboard()->setText(text);
        QFile::remove(appDir.path() + "/ClipTablePasteHdr.txt");
        const QString file = path("before-paste.txt");
        QVERIFY(Write(file, "A\tB\r\n1\t2\r\n"));
        auto w = open(file);
        // The progress is left to run; anything else is closed.
        ModalCloser closer([](QWidget* shown) {
            if (qobject_cast<QProgressDialog*>(shown))
                return;
            if (auto* d = qobject_cast<QDialog*>(shown))
                d->reject();
        });
        w->pasteTable();
        // No message; text of so many scripts is kept as UTF-8 and measured
        // letter by letter, so a progress dialog may show while it opens.
        QVERIFY2(closer.texts.isEmpty(), qPrintable(closer.texts.join('\n')));
        QCOMPARE(w->caption(), (appDir.path() + "/ClipTablePaste.txt").toStdString());
        QCOMPARE(Cell(*w, 0, 0), QStringLiteral("Col 1"));
        // A line break inside the text can also be a lone CR or LF the
        // clipboard held: at least one row a CR LF, and the header.
        QVERIFY(w->document().grid().RowCount() >= lines + 1);
        const QByteArray written = ReadAll(appDir.path() + "/ClipTablePaste.txt");
        QVERIFY(written.endsWith("\r\n"));
        QCOMPARE(
            static_cast<int>(
                SplitLines(std::string_view(written.constData(), static_cast<std::size_t>(written.size()))).size()),
            w->document().grid().RowCount());
    }

    // Keys pressed at random on a window with a table: every dialog they open
    // is cancelled, the window keeps answering and the file stays as it was.
    void randomKeystrokes()
    {
        // A folder of its own: Ctrl+Left and Ctrl+Right walk it.
        QTemporaryDir folder;
        const QString file = folder.path() + "/keys.txt";
        const QByteArray text = "Name\tCity\tAge\r\nAli\tTehran\t30\r\nSara\tShiraz\t25\r\nReza\tYazd\t41\r\n";
        QVERIFY(Write(file, text));
        QVERIFY(Write(folder.path() + "/other.txt", "x\ty\r\n1\t2\r\n"));
        auto w = open(file);
        w->activateWindow();
        QVERIFY(WaitActive(w.get()));
        ModalCloser closer; // cancels every dialog a key opens
        const Qt::Key keys[] = {Qt::Key_A,         Qt::Key_1,    Qt::Key_Space, Qt::Key_Return,   Qt::Key_F4,
                                Qt::Key_Delete,    Qt::Key_F2,   Qt::Key_Left,  Qt::Key_Right,    Qt::Key_Up,
                                Qt::Key_Down,      Qt::Key_Home, Qt::Key_End,   Qt::Key_PageDown, Qt::Key_Tab,
                                Qt::Key_Backspace, Qt::Key_F3,   Qt::Key_S,     Qt::Key_D,        Qt::Key_F};
        const Qt::KeyboardModifiers mods[] = {Qt::NoModifier, Qt::NoModifier, Qt::ShiftModifier, Qt::ControlModifier};
        std::mt19937 gen(7);
        for (int i = 0; i < 400; ++i) {
            const Qt::Key key = keys[gen() % std::size(keys)];
            const Qt::KeyboardModifiers mod = mods[gen() % std::size(mods)];
            QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : w.get();
            QTest::keyClick(target, key, mod);
            QCoreApplication::processEvents();
        }
        QVERIFY(w->document().grid().RowCount() >= 1);
        QVERIFY(w->document().currentRow() >= 0 && w->document().currentRow() < w->document().grid().RowCount());
        QCOMPARE(ReadAll(file), text);
        QCOMPARE(ReadAll(folder.path() + "/other.txt"), QByteArray("x\ty\r\n1\t2\r\n"));
    }
};

QTEST_MAIN(TestBadInput)
#include "test_bad_input.moc"
