#include "Child.h"

#include "ExportPhase.h"
#include "Measure.h"
#include "TableGenerator.h"

#include "app/GridWidget.h"
#include "app/MainWindow.h"
#include "dialogs/TextPrompt.h"
#include "print/PrintCommand.h"
#include "print/ReportLines.h"
#include "print/ReportRenderer.h"
#include "render/QtTextMetrics.h"
#include "table/ColumnSum.h"
#include "table/SaveLines.h"
#include "table/SortRows.h"
#include "text/ByteBuffer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace rasmik::bench {

namespace {

// Larger tables are not printed: a million rows would take minutes.
constexpr int MaxPrintedRows = 100'001;

void Report(const char* key, double value)
{
    std::printf("%s\t%.9g\n", key, value);
    std::fflush(stdout);
}

void Fail(const std::string& what)
{
    std::printf("error\t%s\n", what.c_str());
    std::fflush(stdout);
}

// Runs the event loop until done() holds or the time is up.
template <typename Pred>
bool ProcessUntil(Pred done, int timeoutMs = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

void Settle()
{
    for (int i = 0; i < 5; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// Notes the first paint of the grid's viewport once the new table is in it.
class PaintWatch : public QObject {
public:
    PaintWatch(GridWidget& grid, int expectedRows) : grid_(grid), rows_(expectedRows)
    {
        grid_.viewport()->installEventFilter(this);
    }
    bool seen = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == grid_.viewport() && event->type() == QEvent::Paint && grid_.core().RowCount() == rows_)
            seen = true;
        return false;
    }

private:
    GridWidget& grid_;
    int rows_;
};

// Repaints one screen (body and header row) with the given grid row at the
// top of the view (at the bottom for the last row); the median time.
double RepaintAt(GridWidget& grid, int gridRow, int repaints, bool atBottom)
{
    GridModel& model = grid.gridModel();
    const int mr = std::clamp(model.modelRow(gridRow), 0, std::max(0, model.rowCount() - 1));
    grid.scrollTo(model.index(mr, 0),
                  atBottom ? QAbstractItemView::PositionAtBottom : QAbstractItemView::PositionAtTop);
    Settle();
    std::vector<double> times;
    for (int i = 0; i < repaints; ++i) {
        const auto start = Clock::now();
        grid.viewport()->repaint();
        grid.header().viewport()->repaint();
        times.push_back(SecondsSince(start));
    }
    return Median(times);
}

double ProcessCpuSeconds()
{
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

struct CpuSplit {
    double user = 0;
    double kernel = 0;
};

// The process's CPU so far, in user space and in the kernel.
CpuSplit ProcessCpuSplit()
{
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return {seconds(u.ru_utime), seconds(u.ru_stime)};
}

// The least any open must do: read the file into memory that holds it
// whole (as the open keeps it; taken fresh, as the open takes it) and find
// where every field ends (each TAB and line end, its offset kept). Its CPU
// and wall time, best of 3.
void ReadAndFindFloor(const std::string& path)
{
    double bestCpu = -1, bestWall = -1;
    std::uint64_t found = 0;
    std::vector<std::uint32_t> ends(1 << 16);
    for (int round = 0; round < 3; ++round) {
        const double cpu = ProcessCpuSeconds();
        const auto start = Clock::now();
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return;
        struct stat st { };
        if (::fstat(fd, &st) != 0) {
            ::close(fd);
            return;
        }
        ByteBuffer bytes(static_cast<std::size_t>(st.st_size));
        std::size_t have = 0;
        while (have < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + have, bytes.size() - have);
            if (n <= 0)
                break;
            have += static_cast<std::size_t>(n);
        }
        ::close(fd);
        found = 0;
        std::size_t count = 0;
        const char* data = bytes.data();
        for (std::size_t i = 0; i < have; ++i) {
            const char c = data[i];
            if (c == '\t' || c == '\n') {
                ends[count] = static_cast<std::uint32_t>(i);
                count = (count + 1) & (ends.size() - 1);
                ++found;
            }
        }
        const double c = ProcessCpuSeconds() - cpu;
        const double w = SecondsSince(start);
        bestCpu = bestCpu < 0 ? c : std::min(bestCpu, c);
        bestWall = bestWall < 0 ? w : std::min(bestWall, w);
    }
    Report("floor.read_find_cpu", bestCpu);
    Report("floor.read_find", bestWall);
    Report("floor.ends_found", static_cast<double>(found));
}

// Every cell measured: the widths the layout must have found.
void VerifyWidths(MainWindow& form)
{
    QFont plain = form.grid()->font();
    plain.setBold(false);
    plain.setItalic(false);
    plain.setUnderline(false);
    plain.setStrikeOut(false);
    const QtTextMetrics metrics(plain);
    const CoreGrid& g = form.document().grid();
    const bool utf8 = g.Encoding() != TextEncoding::Windows1256;
    const int cap = static_cast<int>(std::lround(0.8 * form.grid()->width()));
    int wrong = 0;
    for (int c = 0; c < g.ColCount(); ++c) {
        int w = 10;
        for (int r = 0; r < g.RowCount(); ++r)
            w = std::max(w, utf8 ? metrics.utf8TextWidth(g.Cell(c, r)) : metrics.textWidth(g.Cell(c, r)));
        const int expected = std::min(w, cap);
        if (expected != g.ColWidth(c)) {
            Fail("column " + std::to_string(c) + " width " + std::to_string(g.ColWidth(c))
                 + ", every cell measured gives " + std::to_string(expected));
            ++wrong;
        }
    }
    Report("verify.columns_wrong", wrong);
}

std::string FirstLine(const std::string& path)
{
    std::string line;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        for (int ch = std::fgetc(f); ch != EOF && ch != '\n'; ch = std::fgetc(f))
            line.push_back(static_cast<char>(ch));
        std::fclose(f);
    }
    return line;
}

bool CopyFile(const std::string& from, const std::string& to)
{
    std::FILE* in = std::fopen(from.c_str(), "rb");
    if (!in)
        return false;
    std::FILE* out = std::fopen(to.c_str(), "wb");
    if (!out) {
        std::fclose(in);
        return false;
    }
    std::vector<char> buf(1 << 20);
    bool ok = true;
    for (;;) {
        const std::size_t n = std::fread(buf.data(), 1, buf.size(), in);
        if (n == 0)
            break;
        if (std::fwrite(buf.data(), 1, n, out) != n) {
            ok = false;
            break;
        }
    }
    std::fclose(in);
    return std::fclose(out) == 0 && ok;
}

// What writing and flushing the saved bytes costs on this disk by itself.
void MeasureFlush(const CoreGrid& grid, const std::string& folder, const SaveForm& form)
{
    const std::string bytes = BuildSaveBytes(grid, 0, form);
    const std::string path = folder + "/.flush-probe.tmp";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    auto start = Clock::now();
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    Report("save.write_only", SecondsSince(start));
    start = Clock::now();
    ::fdatasync(fd);
    Report("save.fdatasync_only", SecondsSince(start));
    ::close(fd);
    ::unlink(path.c_str());
}

// The Print command's work without its dialogs: the report lines, every page
// recorded as the preview records them, and the same pages written to PDF.
// The peak is measured from the start of the print (the kernel's high-water
// mark is reset first); "after" is what stays once the pages are gone.
void MeasurePrint(MainWindow& form, const std::string& pdfPath)
{
    const long long before = ProcStatusKb("VmRSS");
    if (std::FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
    std::vector<std::string> lines;
    auto start = Clock::now();
    BuildPrintLines(form.document().grid(), ReportFontFromQFont(form.grid()->font()), "Bench", lines);
    Report("print.lines", SecondsSince(start));
    {
        start = Clock::now();
        const std::vector<QPicture> pages = RenderReportToPictures(lines);
        Report("print.preview_pages", SecondsSince(start));
        Report("print.page_count", static_cast<double>(pages.size()));
    }
    start = Clock::now();
    const FileStatus r = RenderReportToPdf(lines, QString::fromStdString(pdfPath));
    Report("print.pdf", SecondsSince(start));
    if (!r)
        Fail("print to PDF failed: " + DescribeFileError(r.error()));
    std::remove(pdfPath.c_str());
    Report("mem.print_peak_kb", static_cast<double>(ProcStatusKb("VmHWM") - before));
    // The lines stay, as the main window keeps them for printing again.
    ReleaseFreedMemory();
    Report("mem.print_after_kb", static_cast<double>(ProcStatusKb("VmRSS") - before));
}

// True when the body rows of col are in the order Sort Ascending makes for
// numbers: every number no smaller than the one above it.
bool NumbersAscending(const CoreGrid& grid, int col)
{
    double last = -HUGE_VAL;
    for (int r = 1; r < grid.RowCount(); ++r) {
        double v = 0;
        if (!ReadSortNumber(grid.Cell(col, r), grid.Encoding(), v))
            continue;
        if (v < last)
            return false;
        last = v;
    }
    return true;
}

// Sort Ascending / Sort Descending (F6 / Shift+F6) by a numeric and a text
// column, each then undone (Ctrl+Z); the text column fitted as a double
// click on its edge fits it; Filter (Ctrl+Shift+F) with a word that no row
// holds, one only the last row holds and a digit most rows hold, each
// followed by Show All Rows (Ctrl+Shift+R).
void MeasureSortAndFilter(MainWindow& form, int textColumn)
{
    GridWidget& grid = *form.grid();
    const CoreGrid& table = form.document().grid();
    const int rows = table.RowCount();
    const std::string firstBody(table.Cell(0, 1));
    auto sortBy = [&](const char* key, int col, bool descending) {
        grid.setCurrentIndex(grid.gridModel().index(grid.gridModel().modelRow(1), col));
        Settle();
        auto start = Clock::now();
        descending ? form.sortDescending() : form.sortAscending();
        Report(key, SecondsSince(start));
        Settle();
        if (!descending && col == AmountColumn && !NumbersAscending(table, col))
            Fail(std::string(key) + " left the amounts out of order");
        start = Clock::now();
        form.undo();
        Report((std::string(key) + ".undo").c_str(), SecondsSince(start));
        Settle();
        if (table.RowCount() != rows || table.Cell(0, 1) != firstBody)
            Fail(std::string(key) + ": undo did not bring the rows back");
    };
    sortBy("sort.numbers", AmountColumn, false);
    sortBy("sort.numbers_descending", AmountColumn, true);
    sortBy("sort.text", textColumn, false);

    // A double click on a column's edge: the column fitted to its widest
    // text, after it was made narrow; it comes back as wide as the open made it.
    {
        const int col = textColumn;
        const int opened = grid.columnWidth(col);
        grid.showColumnWidth(col, 10);
        Settle();
        const auto start = Clock::now();
        emit grid.fitColumnAsked(col);
        Report("fit.column", SecondsSince(start));
        Settle();
        if (grid.columnWidth(col) != opened)
            Fail("the fitted column is " + std::to_string(grid.columnWidth(col)) + " pixels wide, the open made it "
                 + std::to_string(opened));
    }

    auto filter = [&](const char* key, const char* wordUtf8, long long expectedShown) {
        // The prompt is answered as a user would; the time runs from its OK.
        const QString word = QString::fromUtf8(wordUtf8);
        Clock::time_point start;
        answerNextTextPrompt([&](TextPrompt& f) {
            f.edit()->setText(word);
            start = Clock::now();
            f.okButton()->click();
        });
        form.filterRows();
        Report(key, SecondsSince(start));
        const long long shown = static_cast<long long>(form.document().shownRows().size());
        std::printf("info\t%s: %lld rows show\n", key, shown);
        if (!form.document().isFiltered() || (expectedShown >= 0 && shown != expectedShown))
            Fail(std::string(key) + ": " + std::to_string(shown) + " rows show, expected "
                 + std::to_string(expectedShown));
        Settle();
        start = Clock::now();
        form.showAllRows();
        Report((std::string(key) + ".show_all").c_str(), SecondsSince(start));
        Settle();
        if (form.document().isFiltered())
            Fail(std::string(key) + ": Show All Rows left the filter on");
    };
    filter("filter.none", MissingWordUtf8, 0);
    filter("filter.last", LastRowWordUtf8, 1);
    filter("filter.many", "1", -1);
}

// The desktop's list of recently used files, of the child's own: the tables
// opened here are not added to the user's, and the open's CPU does not
// depend on how long the user's has grown.
class OwnDataHome {
public:
    OwnDataHome()
    {
        if (::mkdtemp(dir_))
            ::setenv("XDG_DATA_HOME", dir_, 1);
        else
            dir_[0] = '\0';
    }
    ~OwnDataHome()
    {
        if (dir_[0]) {
            std::error_code ignored;
            std::filesystem::remove_all(dir_, ignored);
        }
    }
    OwnDataHome(const OwnDataHome&) = delete;
    OwnDataHome& operator=(const OwnDataHome&) = delete;

private:
    char dir_[32] = "/tmp/rasmik-bench-data-XXXXXX";
};

} // namespace

int RunChild(int argc, char** argv, const ChildOptions& options)
{
    const OwnDataHome dataHome;
    QApplication app(argc, argv);
    MainWindow form;
    form.resize(options.windowWidth, options.windowHeight);
    form.show();
    ProcessUntil([&] { return form.windowHandle() && form.windowHandle()->isExposed(); });
    Settle();
    if (options.table.empty()) {
        Report("mem.hwm_kb", static_cast<double>(ProcStatusKb("VmHWM")));
        return 0;
    }

    // ---- open ----
    std::string bytesText;
    const int expectedRows = options.records > 0 ? options.records : [&] {
        // The line count, for the paint watch only (not timed).
        std::FILE* f = std::fopen(options.table.c_str(), "rb");
        if (!f)
            return -1;
        std::vector<char> buf(1 << 20);
        long long lines = 0;
        std::size_t n;
        while ((n = std::fread(buf.data(), 1, buf.size(), f)) > 0)
            lines += std::count(buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(n), '\n');
        std::fclose(f);
        return static_cast<int>(lines);
    }();
    if (expectedRows < 0) {
        Fail("cannot read " + options.table);
        return 1;
    }
    ReadAndFindFloor(options.table);
    PaintWatch watch(*form.grid(), expectedRows);
    const double openCpuStart = ProcessCpuSeconds();
    const CpuSplit openSplitStart = ProcessCpuSplit();
    const auto openStart = Clock::now();
    if (!form.openFile(options.table)) {
        Fail("open failed: " + options.table);
        return 1;
    }
    Report("open.layout", SecondsSince(openStart));
    Report("open.cpu", ProcessCpuSeconds() - openCpuStart);
    // The kernel's part is mostly clearing the pages the table takes, which
    // on a virtual machine varies widely from run to run.
    const CpuSplit openSplit = ProcessCpuSplit();
    Report("open.user_cpu", openSplit.user - openSplitStart.user);
    Report("open.kernel_cpu", openSplit.kernel - openSplitStart.kernel);
    if (!ProcessUntil([&] { return watch.seen; }))
        Fail("the grid was not painted after the open");
    Report("open.first_paint", SecondsSince(openStart));
    Report("mem.hwm_open_kb", static_cast<double>(ProcStatusKb("VmHWM")));
    Report("table.rows", form.document().grid().RowCount());
    Report("table.cols", form.document().grid().ColCount());
    if (form.document().grid().RowCount() != expectedRows)
        Fail("rows " + std::to_string(form.document().grid().RowCount()) + ", file has "
             + std::to_string(expectedRows));
    if (options.verifyWidths)
        VerifyWidths(form);
    // Before the phases that change the table.
    if (options.exportPhase && !options.openOnly)
        MeasureExport(form, options.table);
    if (options.openOnly || !options.standardPhases)
        return 0;

    // ---- search (F4 over the whole body) ----
    auto search = [&](const char* key, const char* wordUtf8, int expectedRow) {
        // The word is given to the Search command once (not timed); F4 then
        // searches from the row below the cursor, put on row 1.
        const QString word = QString::fromUtf8(wordUtf8);
        answerNextTextPrompt([word](TextPrompt& f) {
            f.edit()->setText(word);
            f.okButton()->click();
        });
        form.searchRows();
        Settle();
        form.grid()->setCurrentIndex(form.grid()->model()->index(0, 0));
        const auto start = Clock::now();
        form.searchAgain();
        Report(key, SecondsSince(start));
        if (form.document().currentRow() != expectedRow)
            Fail(std::string(key) + " went to row " + std::to_string(form.document().currentRow()) + ", expected "
                 + std::to_string(expectedRow));
        Settle();
    };
    search("search.none", MissingWordUtf8, 1);
    search("search.last", LastRowWordUtf8, form.document().grid().RowCount() - 1);

    // ---- sum of a column (the command's work without its message box) ----
    {
        // Through the document, as the command reads the cursor's column.
        form.grid()->setCurrentIndex(form.grid()->gridModel().index(0, AmountColumn));
        Settle();
        const auto start = Clock::now();
        const std::string total = FormatGroupedNumber(form.document().sumCurrentColumn());
        Report("sum", SecondsSince(start));
        std::printf("info\tsum of column %d = %s\n", AmountColumn, total.c_str());
    }

    // ---- repaint of one screen ----
    {
        const int rows = form.document().grid().RowCount();
        Report("paint.top", RepaintAt(*form.grid(), 1, options.repaints, false));
        Report("paint.middle", RepaintAt(*form.grid(), rows / 2, options.repaints, false));
        Report("paint.end", RepaintAt(*form.grid(), rows - 1, options.repaints, true));
        std::printf("info\tscreen of %d x %d pixels, about %d rows\n", form.grid()->viewport()->width(),
                    form.grid()->viewport()->height(),
                    form.grid()->viewport()->height() / std::max(1, form.grid()->rowHeight(0)));
    }

    // ---- save over the current file, with its backup ----
    // A comma-separated table is saved in its own form, as Save over it
    // writes it; a tab-separated one as before.
    SaveForm saveForm;
    if (const TableLines& lines = form.document().lines(); lines.form().quoted) {
        saveForm.kept = form.document().grid().KeepsFields();
        saveForm.lineBreak = lines.lineBreak();
        saveForm.lastLineEnded = lines.lastLineEnded();
        saveForm.fields = lines.form();
        saveForm.asRead = true;
    }
    {
        const std::string savePath = options.table + ".save.txt";
        const std::string backup = BackupPathFor(savePath);
        std::remove(backup.c_str());
        if (!CopyFile(options.table, savePath)) {
            Fail("cannot copy the table for the save");
        } else {
            const auto start = Clock::now();
            // In the table's own encoding, as Save writes it.
            const FileStatus r = SaveGridToFile(form.document().grid(), 0, savePath, savePath, {},
                                                form.document().encoding(), {}, {}, saveForm);
            Report("save", SecondsSince(start));
            if (!r)
                Fail("save failed: " + DescribeFileError(r.error()));
            std::FILE* f = std::fopen(savePath.c_str(), "rb");
            if (f) {
                std::fseek(f, 0, SEEK_END);
                Report("save.bytes", static_cast<double>(std::ftell(f)));
                std::fclose(f);
                // Its header row, Persian text, comes back in the table's own
                // encoding: the save converted nothing.
                if (FirstLine(savePath) != FirstLine(options.table))
                    Fail("the saved header row differs from the table's");
            }
        }
        std::remove(savePath.c_str());
        std::remove(backup.c_str());
    }

    // ---- delete a row and undo it, as Ctrl+Del and Ctrl+Z run ----
    {
        const int rows = form.document().grid().RowCount();
        const int row = rows / 2;
        const std::string below(form.document().grid().Cell(0, row + 1));
        form.grid()->setCurrentIndex(form.grid()->gridModel().index(form.grid()->gridModel().modelRow(row), 0));
        Settle();
        std::vector<double> deletes, undos;
        for (int i = 0; i < 5; ++i) {
            auto start = Clock::now();
            form.deleteRow();
            deletes.push_back(SecondsSince(start));
            Settle();
            start = Clock::now();
            form.undo();
            undos.push_back(SecondsSince(start));
            Settle();
        }
        Report("undo.delete_row", Median(deletes));
        Report("undo.undo_row", Median(undos));
        // What 100 steps of single-row deletes add to the process.
        const long long before = ProcStatusKb("VmRSS");
        for (int i = 0; i < 100; ++i)
            form.deleteRow();
        Settle();
        Report("undo.steps100_mb", static_cast<double>(ProcStatusKb("VmRSS") - before) / 1e3);
        std::printf("info\t100 undo steps of row deletes hold %zu bytes\n", form.document().history().bytes());
        for (int i = 0; i < 100; ++i)
            form.undo();
        if (form.document().grid().RowCount() != rows || form.document().grid().Cell(0, row + 1) != below)
            Fail("undoing 100 row deletes did not bring the table back");
    }
    Report("mem.hwm_end_kb", static_cast<double>(ProcStatusKb("VmHWM")));

    // After the peak above: a sort's row order and its undo step are extra.
    MeasureSortAndFilter(form, 1);

    const std::size_t slash = options.table.rfind('/');
    MeasureFlush(form.document().grid(), slash == std::string::npos ? "." : options.table.substr(0, slash), saveForm);

    if (form.document().grid().RowCount() <= MaxPrintedRows)
        MeasurePrint(form, options.table + ".print.pdf");
    return 0;
}

} // namespace rasmik::bench
