// A small table is laid out by measuring its cells: the font's bounds, which
// cost more than the whole start-up, are taken only for a large one. Either
// way every column is as wide as its widest text.

#include "app/MainWindow.h"
#include "common/TestFiles.h"
#include "common/WindowHelpers.h"
#include "render/QtText.h"
#include "render/QtTextMetrics.h"
#include "text/TextFiles.h"

#include <QHeaderView>
#include <QTemporaryDir>
#include <QtTest>

using namespace rasmik;

namespace {

void CheckWidthsExact(const MainWindow& w)
{
    const QFontMetrics fm(MeasuringFont(w.grid()->font()), w.grid()->horizontalHeader()->viewport());
    const CoreGrid& grid = w.document().grid();
    for (int c = 0; c < grid.ColCount(); ++c) {
        int widest = MinColumnWidth;
        for (int r = 0; r < grid.RowCount(); ++r)
            widest = std::max(widest, DisplayTextWidth(fm, ToQString(grid.Cell(c, r), grid.Encoding())));
        QCOMPARE(grid.ColWidth(c), widest); // no text here is near the cap
    }
}

} // namespace

class TestSmallTableMeasures : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void initTestCase() { SetExeFolderForTesting(dir_.path().toStdString() + "/"); }

    // Runs first: nothing in this process has measured the font yet.
    void samplesTakeNoBounds()
    {
        for (const char* sample : {"persian-header.txt", "plain.txt", "bank-statement.csv", "fixed-width.txt"}) {
            auto w = OpenWindow(QStringLiteral(RASMIK_SOURCE_DIR "/samples/") + QLatin1String(sample));
            QVERIFY2(w, sample);
            CheckWidthsExact(*w);
        }
        QCOMPARE(FontBoundsMeasured(), 0);
    }

    void largeTableTakesThem()
    {
        std::string text = "\xE4\xC7\xE3\t\xCA\xE6\xD6\xED\xCD\n"; // نام, توضیح
        for (int r = 0; r < 6000; ++r)
            text += std::to_string(r * 7919 % 100003) + "\tabc " + std::string(static_cast<std::size_t>(r % 40), 'f')
                + "\n";
        const QString path = dir_.filePath("large.txt");
        QVERIFY(Write(path, QByteArray::fromStdString(text)));
        auto w = OpenWindow(path);
        QVERIFY(w);
        QVERIFY(FontBoundsMeasured() >= 1);
        CheckWidthsExact(*w);
    }
};

QTEST_MAIN(TestSmallTableMeasures)
#include "test_small_table_measures.moc"
