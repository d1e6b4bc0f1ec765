// The report as a reader sees it: PDF pages read back with pdftotext, the
// label layout of a row, and the print preview window.

#include "PdfText.h"

#include "print/PrintCommand.h"
#include "print/ReportEngine.h"
#include "print/ReportLines.h"
#include "print/ReportRenderer.h"
#include "render/QtText.h"
#include "table/CoreGrid.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <string>
#include <vector>

using namespace rasmik;

namespace {

using Lines = std::vector<std::string>;

ReportFont dejaVu(int size = 10)
{
    ReportFont f;
    f.name = "DejaVu Sans";
    f.size = size;
    return f;
}

} // namespace

class TestReportRender : public QObject {
    Q_OBJECT
private slots:
    void smallTableReadsRightToLeft();
};

void TestReportRender::smallTableReadsRightToLeft()
{
    CoreGrid grid;
    grid.Reset(3, 3);
    const char* cells[3][3] = {{"Name", "Age", "City"}, {"Ali", "30", "Tehran"}, {"Sara", "25", "Shiraz"}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            grid.SetCell(c, r, cells[r][c]);
    Lines lines;
    BuildPrintLines(grid, dejaVu(), "Title", lines);
    QTemporaryDir dir;
    const QString pdf = dir.filePath("r.pdf");
    QString error;
    QVERIFY2(RenderReportToPdf(lines, pdf, &error), qPrintable(error));
    const PdfText text = ReadPdfWords(pdf);
    QVERIFY(text.ok);
    QCOMPARE(text.pages, 1);
}

QTEST_MAIN(TestReportRender)
#include "tst_ReportRender.moc"
