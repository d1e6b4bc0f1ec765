// Recorded edits made again on the table they started from give the same
// grid and the same undo history; the recovery record on disk follows the
// edits, tells a live program's record from one left behind, and knows
// when the table's file no longer holds what the edits were made on.
#include "GridHelpers.h"

#include "common/FixedMetrics.h"
#include "common/TestFiles.h"
#include "table/RecoveryRecord.h"
#include "table/TableDocument.h"

#include <QDir>
#include <QObject>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

using namespace rasmik;
using namespace testgrid;

namespace {

struct Capture final : EditRecorder {
    EditBase base;
    std::string edits;
    int bases = 0;
    void baseChanged(const EditBase& b) override
    {
        base = b;
        edits.clear();
        ++bases;
    }
    void edited(std::string_view e) override { AppendFramedEdit(edits, e); }
    void saved(const FileIdentity&) override { }
};

using Script = std::function<void(TableDocument&, const std::string& file)>;

QByteArray state(const TableDocument& d)
{
    QByteArray out = gridText(d.grid());
    out += "\ncursor " + QByteArray::number(d.currentCol()) + "," + QByteArray::number(d.currentRow());
    out += "\nwidths";
    for (int c = 0; c < d.grid().ColCount(); ++c)
        out += " " + QByteArray::number(d.grid().ColWidth(c));
    out += d.isFiltered() ? "\nfiltered" : "\nall rows";
    for (const int r : d.shownRows())
        out += " " + QByteArray::number(r);
    out += "\nundo " + QByteArray::fromStdString(d.history().undoName()) + " / redo "
        + QByteArray::fromStdString(d.history().redoName());
    return out;
}

// The state after each undo down to the first step, then after each redo back.
QByteArray history(TableDocument& d)
{
    QByteArray out = state(d);
    int undone = 0;
    while (d.undo()) {
        out += "\n--\n" + state(d);
        ++undone;
    }
    while (undone-- > 0 && d.redo())
        out += "\n--\n" + state(d);
    return out;
}

} // namespace

class TestRecovery : public QObject {
    Q_OBJECT
    FixedMetrics metrics_;
    QTemporaryDir dir_;

    std::string path(const char* name) const { return NativePath(dir_.filePath(name)); }

private slots:
    void replayGivesTheSameTable_data()
    {
        QTest::addColumn<QByteArray>("table");
        QTest::addColumn<bool>("savedColumnOrder");
        QTest::addColumn<Script>("script");
        const QByteArray table =
            "name\tcity\tsum\nsara\ttehran\t12\nali\tshiraz\t7\nreza\ttabriz\t30\nmina\ttehran\t5\n";
        QTest::newRow("cells, undo and redo") << table << false << Script([](TableDocument& d, const std::string&) {
            d.setCell(1, 2, "yazd");
            d.setCell(0, 1, "SARA");
            d.setCell(2, 3, "31");
            d.undo();
            d.undo();
            d.redo();
            d.setCell(1, 2, "kerman");
            d.setColumnWidth(1, 90);
        });
        QTest::newRow("rows and columns") << table << false << Script([](TableDocument& d, const std::string&) {
            d.setCursor(1, 2);
            d.insertRow(true);
            d.setCell(1, 3, "new");
            d.insertColumn();
            d.setCell(1, 0, "added");
            d.setCursor(0, 1);
            d.deleteRow();
            d.setCursor(2, 1);
            d.removeColumn();
            d.moveColumn(0, 2);
            d.undo();
        });
        QTest::newRow("sort, filter and column commands")
            << table << false << Script([](TableDocument& d, const std::string&) {
                   d.setCursor(2, 1);
                   d.sortRows(true);
                   d.filterRows("tehran");
                   d.setCursor(2, 1);
                   d.blankColumn();
                   d.undo();
                   d.redo();
                   d.showAllRows();
                   d.setCursor(0, 1);
                   d.sortRows(false);
                   d.setCursor(2, 1);
                   d.simpleNumber();
                   d.setCursor(0, 1);
                   d.shiftColumnLeft();
               });
        QTest::newRow("paste past the end, replace, rename, clear")
            << table << false << Script([](TableDocument& d, const std::string&) {
                   d.setCursor(2, 4);
                   d.pasteCells({{"a", "b", "c"}, {"d"}, {"e", "", "f"}});
                   d.replaceInCells("tehran", "TEH", false);
                   d.setCursor(1, 1);
                   d.renameColumn("town");
                   d.clearCells({1, 3, 5}, 0, 1);
                   d.undo();
               });
        QTest::newRow("a remembered column order since forgotten")
            << table << true << Script([](TableDocument& d, const std::string&) {
                   d.setCell(0, 1, "first");
                   d.moveColumn(2, 0);
                   d.setCell(0, 2, "x");
               });
        QTest::newRow("undo back past a save")
            << table << false << Script([](TableDocument& d, const std::string& file) {
                   d.setCell(0, 1, "before save");
                   d.insertRow(false);
                   QVERIFY(d.save(file).ok());
                   d.setCell(1, 1, "after save");
                   d.undo();
                   d.undo();
                   d.undo();
                   d.setCell(2, 2, "9");
               });
        QTest::newRow("UTF-8 text, quoted fields")
            << QByteArray("\xEF\xBB\xBFname,note\n\"a, b\",\"say \"\"hi\"\"\"\nسلام,\"two\nlines\"\n") << false
            << Script([](TableDocument& d, const std::string&) {
                   d.setCell(1, 1, "تازه");
                   d.pasteCells({{"x,y", "\"q\""}});
                   d.setCursor(0, 2);
                   d.deleteRow();
               });
    }
    void replayGivesTheSameTable()
    {
        QFETCH(QByteArray, table);
        QFETCH(bool, savedColumnOrder);
        QFETCH(Script, script);
        const std::string file = path(table.startsWith("\xEF\xBB\xBF") ? "replay.csv" : "replay.txt");
        const std::string orders = path("Option.cfg");
        const std::string noOrders = path("NoOrders.cfg");
        QVERIFY(Write(file, table));
        QVERIFY(Write(orders, ""));
        QVERIFY(Write(noOrders, ""));
        FixedLayoutTarget target(metrics_, 2000);
        if (savedColumnOrder) {
            TableDocument first;
            first.loadColumnOrders(orders);
            QVERIFY(first.open(file, target).ok());
            first.moveColumn(0, 2);
            QVERIFY(first.saveColumnOrder());
        }

        Capture capture;
        TableDocument edited;
        edited.setEditRecorder(&capture);
        edited.loadColumnOrders(orders);
        QVERIFY(edited.open(file, target).ok());
        QCOMPARE(capture.base.columnOrder.empty(), !savedColumnOrder);
        script(edited, file);
        edited.setEditRecorder(nullptr);
        const QByteArray expected = history(edited);

        // From the base's own bytes, and from the file while it still holds them.
        for (const bool fromFile : {false, true}) {
            EditBase base = capture.base;
            if (fromFile) {
                if (!base.file.known || ReadAll(file) != table)
                    continue;
                base.bytes.reset();
            }
            TableDocument restored;
            restored.loadColumnOrders(noOrders);
            QVERIFY(restored.openRecorded(base, file, target).ok());
            std::size_t made = 0;
            QVERIFY(ReplayEdits(restored, capture.edits, made));
            restored.markRestored();
            QVERIFY(restored.isModified());
            QCOMPARE(history(restored), expected);
        }
    }

    // A record of edits that do not read back stops where they stop.
    void damagedEditsStop()
    {
        const std::string file = path("damaged.txt");
        QVERIFY(Write(file, "a\tb\n1\t2\n3\t4\n"));
        FixedLayoutTarget target(metrics_, 800);
        Capture capture;
        TableDocument edited;
        edited.setEditRecorder(&capture);
        QVERIFY(edited.open(file, target).ok());
        edited.setCell(0, 1, "one");
        edited.setCell(0, 2, "three");
        std::string cut = capture.edits.substr(0, capture.edits.size() - 2);
        TableDocument restored;
        QVERIFY(restored.openRecorded(capture.base, file, target).ok());
        std::size_t made = 0;
        QVERIFY(!ReplayEdits(restored, cut, made));
        QCOMPARE(made, std::size_t{1});
        QCOMPARE(restored.grid().Cell(0, 1), std::string_view("one"));
        QCOMPARE(restored.grid().Cell(0, 2), std::string_view("3"));
        // Nonsense bytes never make an edit, and never crash.
        for (const char* junk :
             {"\x63\x00\x00", "\x01\x02\x02\x04\x04\xff\xff\xff\xff\xff", "\x13\x02", "\x05\x00\x00\x01"}) {
            std::string framed;
            AppendFramedEdit(framed, junk);
            QVERIFY(!ReplayEdits(restored, framed, made));
        }
    }

    void recordOnDisk()
    {
        const QString folderName = dir_.filePath("program");
        QVERIFY(QDir().mkpath(folderName));
        const std::string folder = NativePath(folderName) + "/";
        const std::string file = path("kept.txt");
        const QByteArray table = "name\tcity\nsara\ttehran\nali\tshiraz\n";
        QVERIFY(Write(file, table));
        FixedLayoutTarget target(metrics_, 800);
        const auto recordFiles = [&] { return QDir(folderName).entryList({"Recovery-*"}, QDir::Files, QDir::Name); };
        const auto rec = [](const QStringList& files) {
            return std::count_if(files.begin(), files.end(), [](const QString& f) { return f.endsWith(".rec"); });
        };

        std::string stem;
        std::string edits;
        {
            auto recorder = std::make_unique<RecoveryRecorder>(folder, std::chrono::milliseconds(0));
            TableDocument doc;
            doc.setEditRecorder(recorder.get());
            QVERIFY(doc.open(file, target).ok());
            doc.setCell(1, 1, "yazd");
            recorder->setModified(doc.isModified());
            QVERIFY(recorder->waitWritten(std::chrono::seconds(30)));
            QVERIFY(recorder->lastWrite().ok());
            QCOMPARE(rec(recordFiles()), 1);
            // A live program's record is its own.
            QVERIFY(LeftRecords(folder).empty());
            // Back to as read: no record.
            doc.undo();
            recorder->setModified(doc.isModified());
            QVERIFY(recorder->waitWritten(std::chrono::seconds(30)));
            QCOMPARE(recordFiles(), QStringList());
            doc.redo();
            recorder->setModified(doc.isModified());
            QVERIFY(recorder->waitWritten(std::chrono::seconds(30)));
            stem = recorder->stem();
            // The program ends without a word: the record stays.
            recorder->keepOnExit();
            doc.setEditRecorder(nullptr);
        }
        std::vector<FoundRecord> left = LeftRecords(folder);
        QCOMPARE(left.size(), std::size_t{1});
        QCOMPARE(left[0].stem, stem);
        QCOMPARE(left[0].tablePath, file);
        RecordContent content;
        QVERIFY(ReadRecoveryRecord(folder, stem, content).ok());
        QVERIFY(!content.base.bytes);
        QCOMPARE(FitOfRecord(content), RecordFit::InPlace);
        TableDocument restored;
        QVERIFY(restored.openRecorded(content.base, file, target).ok());
        std::size_t made = 0;
        QVERIFY(ReplayEdits(restored, content.edits, made));
        QCOMPARE(made, std::size_t{3});
        QCOMPARE(restored.grid().Cell(1, 1), std::string_view("yazd"));
        QVERIFY(restored.canUndo());

        // A damaged record is found, and said to be damaged.
        QByteArray bytes = ReadAll(folder + stem + ".rec");
        bytes[bytes.size() - 1] = static_cast<char>(bytes[bytes.size() - 1] ^ 0x20);
        QVERIFY(Write(folder + stem + ".rec", bytes));
        QCOMPARE(LeftRecords(folder).size(), std::size_t{1});
        QCOMPARE(ReadRecoveryRecord(folder, stem, content).error().code, FileErrorCode::RecordDamaged);
        RemoveRecoveryRecord(folder, stem);
        QCOMPARE(recordFiles(), QStringList());

        // Another program rewrites the file under the edits: within the
        // recorder's next look, the base's bytes go beside the record, and
        // the record comes back as a table of its own.
        {
            QVERIFY(Write(file, table));
            auto recorder = std::make_unique<RecoveryRecorder>(folder, std::chrono::milliseconds(0));
            TableDocument doc;
            doc.setEditRecorder(recorder.get());
            QVERIFY(doc.open(file, target).ok());
            doc.setCell(0, 2, "ALI");
            recorder->setModified(true);
            QVERIFY(recorder->waitWritten(std::chrono::seconds(30)));
            QVERIFY(!recordFiles().contains(QString::fromStdString(recorder->stem()) + ".base"));
            QVERIFY(Write(file, "other\tprogram\n"));
            QTRY_VERIFY_WITH_TIMEOUT(recordFiles().contains(QString::fromStdString(recorder->stem()) + ".base"), 30000);
            stem = recorder->stem();
            recorder->keepOnExit();
            doc.setEditRecorder(nullptr);
        }
        QVERIFY(ReadRecoveryRecord(folder, stem, content).ok());
        QVERIFY(content.base.bytes);
        QCOMPARE(FitOfRecord(content), RecordFit::Separate);
        const std::string separate = RecoveredTablePath(file);
        QCOMPARE(separate, path("kept (بازیابی).txt"));
        QVERIFY(restored.openRecorded(content.base, separate, target).ok());
        QVERIFY(ReplayEdits(restored, content.edits, made));
        QCOMPARE(restored.grid().Cell(0, 2), std::string_view("ALI"));
        QCOMPARE(restored.grid().Cell(1, 2), std::string_view("shiraz"));
        QCOMPARE(restored.path(), separate);
        // Its file gone too, nothing can give the edits' base without the bytes.
        content.base.bytes.reset();
        QCOMPARE(FitOfRecord(content), RecordFit::Unusable);
        RemoveRecoveryRecord(folder, stem);

        // Closed as usual (asked, saved or let go), a record goes.
        {
            RecoveryRecorder recorder(folder, std::chrono::milliseconds(0));
            TableDocument doc;
            doc.setEditRecorder(&recorder);
            QVERIFY(doc.open(file, target).ok());
            doc.setCell(0, 1, "x");
            recorder.setModified(true);
            QVERIFY(recorder.waitWritten(std::chrono::seconds(30)));
            QCOMPARE(rec(recordFiles()), 1);
            doc.setEditRecorder(nullptr);
        }
        QCOMPARE(recordFiles(), QStringList());
    }
};

QObject* makeRecoveryTests()
{
    return new TestRecovery;
}

#include "test_recovery.moc"
