// The print preview shows what prints: its recorded pages played back against
// the same pages written to PDF and read back by poppler; huge captions, the
// progress of page making and the memory of a closed preview.

#include "PageImages.h"
#include "PdfText.h"

#include "common/Waits.h"
#include "common/WhenShown.h"
#include "print/CaptionWindow.h"
#include "print/ReportEngine.h"
#include "print/ReportLines.h"
#include "print/ReportRenderer.h"
#include "table/CoreGrid.h"
#include "text/Cp1256.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QPrintPreviewDialog>
#include <QProgressDialog>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <string>
#include <vector>

using namespace rasmik;

namespace {

using Lines = std::vector<std::string>;

// The mixed texts that a replay without their direction turns round.
const std::vector<std::vector<const char*>> MixedRows{
    {"شرح", "مبلغ (ريال)", "تاريخ", "Code"},
    {"تخفيف 5% اعمال شد", "مبلغ (ريال)", "از 12", "آذر 1402"},
    {"Tea (Lahijan)", "41,464,000", "كد AK-48213 (جديد)", "(1402/09/18)"},
    {"[ب] {ج}", "-12.5%", "قيمت: 1,250 ريال", "A (b) c"},
};

Lines mixedReport(const char* fontName, int size = 10)
{
    CoreGrid g;
    g.Reset(4, static_cast<int>(MixedRows.size()));
    for (int c = 0; c < 4; ++c)
        g.SetColWidth(c, 160);
    for (std::size_t r = 0; r < MixedRows.size(); ++r)
        for (int c = 0; c < 4; ++c)
            g.SetCell(c, static_cast<int>(r), Utf8ToCp1256(MixedRows[r][static_cast<std::size_t>(c)]));
    ReportFont font;
    font.name = fontName;
    font.size = size;
    Lines lines;
    BuildPrintLines(g, font, Utf8ToCp1256("عنوان (1402)"), lines);
    return lines;
}

// The process's resident memory in kB.
long long residentKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

} // namespace

class TestPrintPreview : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { endWatches(); }
    void previewPageMatchesPdfPage_data();
    void previewPageMatchesPdfPage();
    void visibleCaptionPart_data();
    void visibleCaptionPart();
    void hugeCaptionPrintsWhatShows_data();
    void hugeCaptionPrintsWhatShows();
    void makingPagesCanBeCancelled();
    void memoryGoesBackWhenPreviewCloses();
};

void TestPrintPreview::previewPageMatchesPdfPage_data()
{
    QTest::addColumn<QString>("font");
    // One face with Arabic letters, two whose Arabic comes from a fallback.
    QTest::newRow("DejaVu Sans") << "DejaVu Sans";
    QTest::newRow("Nimbus Sans") << "Nimbus Sans";
    QTest::newRow("Tahoma") << "Tahoma";
}

void TestPrintPreview::previewPageMatchesPdfPage()
{
    QFETCH(QString, font);
    const Lines lines = mixedReport(font.toUtf8().constData());
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("page.pdf"));
    QVERIFY(RenderReportToPdf(lines, pdf));
    const std::vector<QPicture> pages = RenderReportToPictures(lines);
    QCOMPARE(pages.size(), std::size_t(1));

    const int dpi = QPicture().logicalDpiX();
    const QSize pageSize(qRound(210 / 25.4 * dpi), qRound(297 / 25.4 * dpi));
    const QImage preview = PlayPicture(pages[0], pageSize, QPoint(qRound(5 / 25.4 * dpi), qRound(10 / 25.4 * dpi)));
    const QImage printed = RenderPdfPage(pdf, 1, dpi);
    QVERIFY(!printed.isNull());
    QCOMPARE(printed.size(), pageSize);
    const QRect table = InkBounds(printed, printed.rect());
    QVERIFY(table.height() > 40);
    // Row by row, every dark pixel of one lies within two pixels of one of
    // the other. A bracket turned round or a word moved across a space
    // leaves dozens of pixels alone.
    const int rows = static_cast<int>(MixedRows.size()) + 1;
    const QString unmatched = UnmatchedRow(printed, preview, table, rows, 3, 6, QStringLiteral("rasmik"));
    QVERIFY2(unmatched.isEmpty(), qPrintable(unmatched));
}

void TestPrintPreview::visibleCaptionPart_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("maxChars");
    QTest::addColumn<int>("edge");
    QTest::addColumn<QString>("expected");
    const int right = static_cast<int>(VisibleEdge::Right);
    const int left = static_cast<int>(VisibleEdge::Left);
    const int middle = static_cast<int>(VisibleEdge::Middle);
    QTest::newRow("short stays") << "abc" << 3 << right << "abc";
    QTest::newRow("persian at the right: its start") << "ابجدهوز" << 3 << right << "ابج";
    QTest::newRow("persian at the left: its end") << "ابجدهوز" << 3 << left << "هوز";
    QTest::newRow("persian in the middle") << "ابجدهوز" << 3 << middle << "جده";
    QTest::newRow("latin at the right: its end") << "abcdefg" << 3 << right << "efg";
    QTest::newRow("latin at the left: its start") << "abcdefg" << 3 << left << "abc";
    QTest::newRow("digits at the right: their end")
        << QString("\u200F  1234567") << 5 << right << QString("\u200F  \u200E7");
    // Shown as "abcdef ابج": the right edge holds the Persian word and the
    // end of the Latin one.
    QTest::newRow("persian then latin at the right") << "ابج abcdef" << 6 << right << "ابج ef";
    QTest::newRow("persian then latin at the left") << "ابج abcdef" << 6 << left << "abcdef";
    // Latin first reads left to right: shown as "abcdef جبا".
    QTest::newRow("latin then persian at the right") << "abcdef ابج" << 6 << right << "ef ابج";
    QTest::newRow("latin then persian at the left") << "abcdef ابج" << 6 << left << "abcdef";
    // A mark first reads its way: shown as "ابج abcdef".
    QTest::newRow("mark, latin, persian at the right") << "\u200Fabcdef ابج" << 6 << right << "\u200Fbcdef";
    QTest::newRow("mark, latin, persian at the left") << "\u200Fabcdef ابج" << 7 << left << "abc ابج";
    QTest::newRow("latin, number, latin at the right") << "ab 12 cd" << 3 << right << " cd";
    QTest::newRow("a pair of surrogates stays whole") << QString::fromUtf8("\U0001F600\U0001F601\U0001F602") << 2
                                                      << right << QString::fromUtf8("\U0001F600\U0001F601");
}

void TestPrintPreview::visibleCaptionPart()
{
    QFETCH(QString, text);
    QFETCH(int, maxChars);
    QFETCH(int, edge);
    QFETCH(QString, expected);
    QCOMPARE(VisibleCaptionPart(text, maxChars, static_cast<VisibleEdge>(edge)), expected);
}

void TestPrintPreview::hugeCaptionPrintsWhatShows_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("filler");
    QTest::addColumn<QString>("last");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("gone");
    // A Latin cell in the right-to-left label is flush right: its end shows.
    QTest::newRow("latin") << "Begin"
                           << "word "
                           << "Finish"
                           << "Finish"
                           << "Begin";
    // A Persian one shows its start.
    QTest::newRow("persian") << "آغاز"
                             << "واژه "
                             << "پايان"
                             << "آغاز"
                             << "پايان";
}

void TestPrintPreview::hugeCaptionPrintsWhatShows()
{
    QFETCH(QString, first);
    QFETCH(QString, filler);
    QFETCH(QString, last);
    QFETCH(QString, shown);
    QFETCH(QString, gone);
    // A cell of about 2 MB.
    std::string cell = Utf8ToCp1256((first + QLatin1Char(' ')).toStdString());
    const std::string word = Utf8ToCp1256(filler.toStdString());
    while (cell.size() < 2'000'000)
        cell += word;
    cell += Utf8ToCp1256(last.toStdString());
    CoreGrid g;
    g.Reset(2, 2);
    g.SetColWidth(0, 300);
    g.SetColWidth(1, 300);
    g.SetCell(0, 0, "Head");
    g.SetCell(1, 0, "Other");
    g.SetCell(0, 1, cell);
    g.SetCell(1, 1, "Next");
    ReportFont font;
    font.name = "DejaVu Sans";
    font.size = 10;
    Lines lines;
    BuildPrintLines(g, font, "T", lines);

    ReportEngine engine;
    engine.band().setWidthMm(197);
    ReportRowFeeder feeder(engine.band());
    feeder.layLine(lines[2]);
    const ReportLabel& label = *feeder.labels()[0];
    QCOMPARE(label.font.pointSize(), SmallestFontSize);
    QVERIFY2(label.caption.size() < 10000, qPrintable(QString::number(label.caption.size())));
    QVERIFY(label.caption.contains(shown));
    QVERIFY(!label.caption.contains(gone));
    // A Latin cell reads left to right: the spaces that hold it off the
    // label's right edge go to its end.
    QCOMPARE(feeder.labels()[1]->caption, QStringLiteral("Next  \u200E"));
    QCOMPARE(feeder.labels()[1]->textDirection, Qt::LeftToRight);

    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("huge.pdf"));
    QVERIFY(RenderReportToPdf(lines, pdf));
    QCOMPARE(ReadPdfWords(pdf).pages, 1);
    const QString page = ReadPdfLetters(pdf);
    auto present = [&](const QString& s) { return HoldsEitherWay(page, s); };
    QVERIFY(present(shown));
    QVERIFY(!present(gone));
    QVERIFY(page.contains(QStringLiteral("Next")));
}

void TestPrintPreview::makingPagesCanBeCancelled()
{
    GridReport report;
    CoreGrid g;
    g.Reset(3, 40001);
    for (int c = 0; c < 3; ++c)
        g.SetColWidth(c, 100);
    for (int r = 0; r < g.RowCount(); ++r)
        for (int c = 0; c < 3; ++c)
            g.SetCell(c, r, "Row" + std::to_string(r));
    ReportFont font;
    font.name = "DejaVu Sans";
    font.size = 10;
    BuildPrintLines(g, font, "Big", report.lines());

    QString label;
    bool previewShown = false;
    bool messageShown = false;
    whenShown<QProgressDialog>([&](QProgressDialog* progress) {
        label = progress->labelText();
        QVERIFY(progress->value() > 0);
        QVERIFY(progress->value() < progress->maximum());
        whenShown<QPrintPreviewDialog>([&](QPrintPreviewDialog* dlg) {
            previewShown = true;
            dlg->reject();
        });
        whenShown<QMessageBox>([&](QMessageBox* box) {
            messageShown = true;
            box->accept();
        });
        progress->cancel();
    });
    QVERIFY(report.preview(nullptr));
    QCOMPARE(label, QString::fromUtf8("در حال آماده كردن صفحه هاي چاپ..."));
    // Every window of the print goes; no preview and no message came.
    QString shown;
    const auto visible = [&] {
        shown.clear();
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible())
                shown += QLatin1String(w->metaObject()->className()) + QLatin1Char(' ');
        return shown;
    };
    WAIT_VERIFY2(visible().isEmpty(), qPrintable(shown));
    QVERIFY(!previewShown);
    QVERIFY(!messageShown);
    // The report keeps its lines for the next print.
    QCOMPARE(report.lines().size(), std::size_t(40002));
}

void TestPrintPreview::memoryGoesBackWhenPreviewCloses()
{
#if defined(__SANITIZE_ADDRESS__)
    QSKIP("AddressSanitizer's allocator keeps freed memory; the plain build checks this");
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    QSKIP("AddressSanitizer's allocator keeps freed memory; the plain build checks this");
#endif
#endif
    // About 50 MB of pages: well above what the first preview loads and
    // what the allocator keeps.
    GridReport report;
    CoreGrid g;
    g.Reset(6, 7501);
    for (int c = 0; c < 6; ++c)
        g.SetColWidth(c, 100);
    for (int r = 0; r < g.RowCount(); ++r)
        for (int c = 0; c < 6; ++c)
            g.SetCell(c, r, Utf8ToCp1256("مبلغ (ريال) ") + std::to_string(r * 7 + c));
    ReportFont font;
    font.name = "DejaVu Sans";
    font.size = 10;
    BuildPrintLines(g, font, "Memory", report.lines());
    // One small preview first, so that fonts and dialogs are loaded.
    GridReport warm;
    warm.lines() = {"100 16777215 2 1 1 1 1 10 0 0 0 0 DejaVu Sans*Warm"};
    whenShown<QPrintPreviewDialog>([](QPrintPreviewDialog* dlg) { dlg->reject(); });
    QVERIFY(warm.preview(nullptr));

    const long long before = residentKb();
    long long open = 0;
    whenShown<QPrintPreviewDialog>([&](QPrintPreviewDialog* dlg) {
        open = residentKb();
        dlg->reject();
    });
    QVERIFY(report.preview(nullptr));
    const long long after = residentKb();
    qInfo("resident: %lld kB before, %lld kB with the preview open, %lld kB after", before, open, after);
    QVERIFY(open - before > 20 * 1024);
    // Most of what the pages took is back.
    QVERIFY2(after - before < (open - before) / 4, qPrintable(QString::number(after - before)));
}

QTEST_MAIN(TestPrintPreview)
#include "tst_PrintPreview.moc"
