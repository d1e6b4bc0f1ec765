// rasmik-bench-recovery: what keeping a recovery record costs. On a table of
// cells that hardly ever repeat (Persian and Latin notes, codes and numbers):
// the editing thread's time per cell edit with and without the record (the
// window's share: the edit, its recording, the modified state handed over),
// the same for Find and Replace, a paste and a sort, how soon an edit is on
// disk, how long the base's bytes take once another program touches the
// file, and a restore (read, lay out, make every edit again).
#include "BestOf.h"
#include "EvenMetrics.h"
#include "TableGenerator.h"

#include "table/RecoveryRecord.h"
#include "table/TableDocument.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace rasmik;
using rasmik::bench::BestOf;
using rasmik::bench::EvenMetrics;
using rasmik::bench::Seconds;

namespace {

struct EditTimes {
    double median = 0;
    double p99 = 0;
    double max = 0;
};

// Edits cells at random rows with values never used before, timing each.
EditTimes TimeCellEdits(TableDocument& doc, RecoveryRecorder* recorder, int edits, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<double> times;
    times.reserve(static_cast<std::size_t>(edits));
    const int rows = doc.grid().RowCount();
    const int cols = doc.grid().ColCount();
    for (int i = 0; i < edits; ++i) {
        const int row = 1 + static_cast<int>(random() % static_cast<unsigned>(rows - 1));
        const int col = static_cast<int>(random() % static_cast<unsigned>(cols));
        const std::string text = "edit " + std::to_string(seed) + "-" + std::to_string(i) + " ویرایش";
        const double t = Seconds();
        doc.setCursor(col, row);
        doc.setCell(col, row, text);
        if (recorder)
            recorder->setModified(doc.isModified());
        times.push_back(Seconds() - t);
    }
    std::sort(times.begin(), times.end());
    return {times[times.size() / 2], times[times.size() * 99 / 100], times.back()};
}

double TimeBigEdits(TableDocument& doc, RecoveryRecorder* recorder)
{
    std::vector<std::vector<std::string>> block(10000, std::vector<std::string>(10));
    for (std::size_t r = 0; r < block.size(); ++r)
        for (std::size_t c = 0; c < 10; ++c)
            block[r][c] = "پ" + std::to_string(r * 10 + c);
    const double t = Seconds();
    doc.replaceInCells("/", "-", false);
    doc.setCursor(0, 1);
    doc.pasteCells(block);
    doc.setCursor(2, 1);
    doc.sortRows(false);
    if (recorder)
        recorder->setModified(doc.isModified());
    return Seconds() - t;
}

bool Open(TableDocument& doc, const std::string& path, LayoutTarget& target)
{
    if (!doc.open(path, target).ok()) {
        std::fprintf(stderr, "%s: cannot be read\n", path.c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    std::uint64_t rows = 1000000;
    int edits = 2000;
    std::string dir = "/tmp/rasmik-bench";
    for (int a = 1; a + 1 < argc; a += 2) {
        const std::string opt = argv[a];
        if (opt == "--rows")
            rows = std::strtoull(argv[a + 1], nullptr, 10);
        else if (opt == "--edits")
            edits = std::atoi(argv[a + 1]);
        else if (opt == "--dir")
            dir = argv[a + 1];
    }
    ::mkdir(dir.c_str(), 0777);
    const std::string path = dir + "/recovery-mixed-" + std::to_string(rows) + ".txt";
    struct stat st { };
    if (::stat(path.c_str(), &st) != 0
        && bench::GenerateTable(path, rows, bench::TableFormat::Tabs, bench::TableKind::Mixed).path.empty()) {
        std::fprintf(stderr, "%s: cannot be made\n", path.c_str());
        return 1;
    }
    const std::string folder = dir + "/recovery-program/";
    ::mkdir(folder.c_str(), 0777);
    for (const FoundRecord& r : LeftRecords(folder))
        RemoveRecoveryRecord(folder, r.stem);

    EvenMetrics metrics;
    FixedLayoutTarget target(metrics, 1000, false);
    std::printf("table: %s (%llu rows)\n", path.c_str(), static_cast<unsigned long long>(rows));

    TableDocument plain;
    if (!Open(plain, path, target))
        return 1;
    const EditTimes without = TimeCellEdits(plain, nullptr, edits, 1);
    const double bigWithout = TimeBigEdits(plain, nullptr);

    RecoveryRecorder recorder(folder);
    TableDocument recorded;
    recorded.setEditRecorder(&recorder);
    if (!Open(recorded, path, target))
        return 1;
    const EditTimes with = TimeCellEdits(recorded, &recorder, edits, 1);
    const double bigWith = TimeBigEdits(recorded, &recorder);
    std::printf("cell edit, editing thread: median %.4f ms, 99%% %.4f ms, max %.3f ms without the record;\n"
                "                           median %.4f ms, 99%% %.4f ms, max %.3f ms with it (target 5 ms)\n",
                without.median * 1e3, without.p99 * 1e3, without.max * 1e3, with.median * 1e3, with.p99 * 1e3,
                with.max * 1e3);
    std::printf("Find and Replace, paste 10,000 x 10, sort: %.3f s without, %.3f s with the record\n", bigWithout,
                bigWith);

    // How soon one more edit is on disk (the record gathers edits for 150 ms).
    recorder.waitWritten(std::chrono::seconds(120));
    double latest = 0;
    for (int i = 0; i < 5; ++i) {
        recorded.setCell(1, 2 + i, "on disk " + std::to_string(i));
        const double t = Seconds();
        recorder.waitWritten(std::chrono::seconds(120));
        latest = std::max(latest, Seconds() - t);
    }
    std::printf("an edit on disk within %.3f s (target 2 s)\n", latest);

    // Another program touches the file: the base's bytes go beside the record.
    const double touched = Seconds();
    ::utimensat(AT_FDCWD, path.c_str(), nullptr, 0);
    const std::string base = folder + recorder.stem() + ".base";
    while (::stat(base.c_str(), &st) != 0 && Seconds() - touched < 120)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    recorder.waitWritten(std::chrono::seconds(120));
    std::printf("the base's %.0f MB beside the record %.3f s after the file changed (target 2 s)\n",
                static_cast<double>(st.st_size) / 1e6, Seconds() - touched);

    // A restore, as the next start makes it.
    const std::string stem = recorder.stem();
    recorder.keepOnExit();
    recorded.setEditRecorder(nullptr);
    const double restoreStart = Seconds();
    RecordContent content;
    if (!ReadRecoveryRecord(folder, stem, content).ok()) {
        std::fprintf(stderr, "the record does not read back\n");
        return 1;
    }
    TableDocument restored;
    std::size_t made = 0;
    if (!restored.openRecorded(content.base, path, target).ok() || !ReplayEdits(restored, content.edits, made)) {
        std::fprintf(stderr, "the record does not restore\n");
        return 1;
    }
    std::printf("restore (read the record and its base, lay out, make %zu edits again): %.3f s\n", made,
                Seconds() - restoreStart);
    return 0;
}
