// rasmik-bench-wide: a table of one line with very many fields, opened from
// the command line in the real main window (offscreen), timed until the
// window has been shown with it, and then printed as the print command
// builds its report, written to PDF. See bench/README.md.

#include "app/GridWidget.h"
#include "app/MainWindow.h"
#include "print/PrintCommand.h"
#include "print/ReportLines.h"
#include "print/ReportRenderer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    QList<int> counts = {50000, 100000, 200000};
    if (args.size() > 1) {
        counts.clear();
        for (const QString& n : args.mid(1))
            counts << n.toInt();
    }
    QTemporaryDir dir;
    std::printf("| fields | shown after | report to PDF |\n|---:|---:|---:|\n");
    for (const int fields : counts) {
        const QString path = dir.path() + QStringLiteral("/wide%1.txt").arg(fields);
        QByteArray line;
        for (int i = 0; i < fields; ++i) {
            if (i)
                line += '\t';
            line += QByteArray::number(i * 7919 % 100000);
        }
        line += "\r\n";
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(line) != line.size())
            return EXIT_FAILURE;
        f.close();
        QElapsedTimer timer;
        timer.start();
        rasmik::MainWindow window({QFile::encodeName(path).toStdString()});
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            return EXIT_FAILURE;
        QCoreApplication::processEvents();
        const double shown = static_cast<double>(timer.elapsed()) / 1000.0;
        timer.restart();
        std::vector<std::string> report;
        const rasmik::CoreGrid& grid = window.document().grid();
        rasmik::BuildPrintLines(grid, rasmik::ReportFontFromQFont(window.grid()->font()), "Wide", report);
        if (!rasmik::RenderReportToPdf(report, dir.path() + QStringLiteral("/wide%1.pdf").arg(fields), grid.Encoding()))
            return EXIT_FAILURE;
        std::printf("| %d | %.2f s | %.2f s |\n", fields, shown, static_cast<double>(timer.elapsed()) / 1000.0);
        std::fflush(stdout);
    }
    return EXIT_SUCCESS;
}
