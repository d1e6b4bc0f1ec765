// The print preview in a real window: the pixels the X server shows of a
// preview page against the same page printed to PDF and drawn by poppler.

#include "PageImages.h"

#include "common/Waits.h"
#include "print/ReportLines.h"
#include "print/ReportRenderer.h"
#include "table/CoreGrid.h"
#include "text/Cp1256.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace rasmik;

namespace {

const std::vector<std::vector<const char*>> MixedRows{
    {"شرح", "مبلغ (ريال)", "تاريخ", "كد"},
    {"تخفيف 5% اعمال شد", "مبلغ (ريال)", "از 12", "آذر 1402"},
    {"چاي (لاهيجان)", "41,464,000", "كد AK-48213 (جديد)", "(1402/09/18)"},
    {"Tea (Lahijan)", "-12.5%", "قيمت: 1,250 ريال", "A (b) c"},
};

// The white page inside the grey preview.
QRect pageIn(const QImage& shot)
{
    QRect page;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            if ((shot.pixel(x, y) & 0xFFFFFF) == 0xFFFFFF)
                page |= QRect(x, y, 1, 1);
    return page;
}

} // namespace

class TestPreviewWindow : public QObject {
    Q_OBJECT
private slots:
    void previewShowsWhatPrints_data();
    void previewShowsWhatPrints();
};

void TestPreviewWindow::previewShowsWhatPrints_data()
{
    QTest::addColumn<QString>("font");
    QTest::newRow("Tahoma") << "Tahoma";
    QTest::newRow("Nimbus Sans") << "Nimbus Sans";
}

void TestPreviewWindow::previewShowsWhatPrints()
{
    QFETCH(QString, font);
    CoreGrid g;
    g.Reset(4, static_cast<int>(MixedRows.size()));
    for (int c = 0; c < 4; ++c)
        g.SetColWidth(c, 160);
    for (std::size_t r = 0; r < MixedRows.size(); ++r)
        for (int c = 0; c < 4; ++c)
            g.SetCell(c, static_cast<int>(r), Utf8ToCp1256(MixedRows[r][static_cast<std::size_t>(c)]));
    ReportFont reportFont;
    reportFont.name = font.toStdString();
    reportFont.size = 10;
    GridReport report;
    BuildPrintLines(g, reportFont, Utf8ToCp1256("عنوان (1402)"), report.lines());

    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("printed.pdf"));
    QVERIFY(RenderReportToPdf(report.lines(), pdf));

    QImage shot;
    QTimer::singleShot(0, [&] {
        QPrintPreviewDialog* dlg = nullptr;
        QDeadlineTimer deadline(WaitMs);
        while (!dlg && !deadline.hasExpired()) {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* d = qobject_cast<QPrintPreviewDialog*>(w); d && d->isVisible())
                    dlg = d;
            if (!dlg)
                QTest::qWait(20);
        }
        if (!dlg)
            return;
        // No window manager maximizes it here.
        dlg->setGeometry(0, 0, 1200, 1000);
        QVERIFY(WaitExposed(dlg));
        auto* preview = dlg->findChild<QPrintPreviewWidget*>();
        preview->fitToWidth();
        // What the X server shows, not what the widget would paint: taken
        // once the page shows whole and two grabs in a row agree.
        const auto grab = [&] {
            const QPoint topLeft = preview->mapToGlobal(QPoint(0, 0));
            return dlg->screen()
                ->grabWindow(0, topLeft.x(), topLeft.y(), preview->width(), preview->height())
                .toImage()
                .convertToFormat(QImage::Format_RGB32);
        };
        QImage before;
        deadline.setRemainingTime(WaitMs);
        do {
            QTest::qWait(50);
            before = shot;
            shot = grab();
        } while ((shot != before || pageIn(shot).width() <= 600) && !deadline.hasExpired());
        dlg->reject();
    });
    QVERIFY(report.preview(nullptr));
    QVERIFY(!shot.isNull());

    const QRect page = pageIn(shot);
    QVERIFY2(page.width() > 600, qPrintable(QString::number(page.width())));
    const double dpi = page.width() / (210 / 25.4);
    QImage printed = RenderPdfPage(pdf, 1, qRound(dpi));
    QVERIFY(!printed.isNull());
    printed = printed.scaled(page.width(), qRound(page.width() * 297.0 / 210), Qt::IgnoreAspectRatio,
                             Qt::SmoothTransformation);
    const QImage shown = shot.copy(QRect(page.topLeft(), printed.size()));

    const QRect table = InkBounds(printed, printed.rect());
    QVERIFY(table.height() > 40);
    const int rows = static_cast<int>(MixedRows.size()) + 1;
    const QString unmatched = UnmatchedRow(printed, shown, table, rows, 4, 10, QStringLiteral("rasmik-window"));
    QVERIFY2(unmatched.isEmpty(), qPrintable(unmatched));
}

QTEST_MAIN(TestPreviewWindow)
#include "tst_PreviewWindow.moc"
