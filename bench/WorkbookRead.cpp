// rasmik-bench-workbook: times reading a large workbook, cell by cell, as
// the comma-separated table an open would take, and as the open itself (the
// table laid out to exact column widths), with the peak memory of each, next
// to LibreOffice's headless conversion of the same workbook where LibreOffice
// is installed. Not a test; run it by hand (bench/README.md).
//
//   rasmik-bench-workbook [--rows N[,N...]] [--dir DIR] [--runs K] [--no-office]

#include "Measure.h"

#include "export/WorkbookReader.h"
#include "render/QtTextMetrics.h"
#include "table/TableDocument.h"

#include <QFont>
#include <QGuiApplication>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

using namespace rasmik;
using namespace rasmik::bench;

namespace {

const char* const PersianNames[] = {"علی", "زهرا", "محمد", "فاطمه", "حسین", "مریم", "رضا", "سارا", "مهدی", "نرگس"};
const char* const Syllables[] = {"با", "ران", "مه", "دا", "نو", "سی", "کا", "ره", "پر", "گل", "شا", "تو"};
const char* const Latin[] = {"order", "Galaxy", "invoice", "delta", "north", "pixel", "quartz", "river"};

void Escape(std::string& out, std::string_view s)
{
    for (char c : s) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else
            out += c;
    }
}

struct Made {
    std::uint64_t sheetXml = 0;
    std::uint64_t sharedXml = 0;
    std::uint64_t fileSize = 0;
};

// A workbook of rows x 10 columns, nearly every value distinct: row number,
// Persian name with a number, Latin words with a code, an amount (#,##0.00),
// a date, a date and time, a Persian phrase, a percent, a quantity, a
// mixed note. Strings in a shared string table, as spreadsheet programs
// write them.
Made MakeWorkbook(const std::string& path, std::uint64_t rows)
{
    std::mt19937_64 rng(12345);
    auto pick = [&](std::size_t n) { return static_cast<std::size_t>(rng() % n); };
    std::string sheet, shared;
    sheet.reserve(rows * 420);
    shared.reserve(rows * 260);
    sheet = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<worksheet "
            "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><dimension ref=\"A1:J"
        + std::to_string(rows) + "\"/><sheetData>";
    shared = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<sst "
             "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">";
    std::uint64_t strings = 0;
    auto addString = [&](const std::string& s) {
        shared += "<si><t>";
        Escape(shared, s);
        shared += "</t></si>";
        return strings++;
    };
    std::string text;
    char buf[64];
    for (std::uint64_t r = 1; r <= rows; ++r) {
        const std::string row = std::to_string(r);
        sheet += "<row r=\"" + row + "\">";
        auto cellRef = [&](char col) { return std::string(1, col) + row; };
        auto stringCell = [&](char col, const std::string& s) {
            sheet += "<c r=\"" + cellRef(col) + "\" t=\"s\"><v>" + std::to_string(addString(s)) + "</v></c>";
        };
        auto numberCell = [&](char col, const char* value, int style) {
            sheet += "<c r=\"" + cellRef(col) + "\"";
            if (style)
                sheet += " s=\"" + std::to_string(style) + "\"";
            sheet += "><v>";
            sheet += value;
            sheet += "</v></c>";
        };
        numberCell('A', row.c_str(), 0);
        text = std::string(PersianNames[pick(10)]) + " " + Syllables[pick(12)] + Syllables[pick(12)] + "ی "
            + std::to_string(rng() % 100000);
        stringCell('B', text);
        std::snprintf(buf, sizeof buf, " fx-%05u ", static_cast<unsigned>(rng() % 100000));
        text = std::string(Latin[pick(8)]) + buf + Latin[pick(8)];
        stringCell('C', text);
        std::snprintf(buf, sizeof buf, "%.2f", static_cast<double>(rng() % 100000000) / 100.0 - 200000);
        numberCell('D', buf, 1);
        std::snprintf(buf, sizeof buf, "%u", static_cast<unsigned>(36526 + rng() % 9000));
        numberCell('E', buf, 2);
        std::snprintf(buf, sizeof buf, "%.6f", 36526 + static_cast<double>(rng() % 900000000) / 100000.0);
        numberCell('F', buf, 3);
        text.clear();
        for (std::size_t w = 0, n = 1 + pick(3); w < n; ++w)
            text += std::string(w ? " " : "") + Syllables[pick(12)] + Syllables[pick(12)] + Syllables[pick(12)];
        stringCell('G', text);
        std::snprintf(buf, sizeof buf, "%.4f", static_cast<double>(rng() % 10000) / 10000.0);
        numberCell('H', buf, 4);
        std::snprintf(buf, sizeof buf, "%u", static_cast<unsigned>(rng() % 5000));
        numberCell('I', buf, 0);
        std::snprintf(buf, sizeof buf, " %s-%u ", Latin[pick(8)], static_cast<unsigned>(rng() % 1000000));
        text = std::string("سفارش") + buf + PersianNames[pick(10)];
        stringCell('J', text);
        sheet += "</row>";
    }
    sheet += "</sheetData></worksheet>";
    shared += "</sst>";
    const std::string styles =
        "<?xml version=\"1.0\"?><styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
        "<cellXfs count=\"5\"><xf numFmtId=\"0\"/><xf numFmtId=\"4\"/><xf numFmtId=\"14\"/><xf numFmtId=\"22\"/>"
        "<xf numFmtId=\"10\"/></cellXfs></styleSheet>";
    const std::string workbook =
        "<?xml version=\"1.0\"?><workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
        "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\"><sheets><sheet name=\"Sheet1\" "
        "sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>";
    const std::string rels =
        "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
        "officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>";
    const std::string bookRels =
        "<?xml version=\"1.0\"?><Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
        "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
        "worksheet\" Target=\"worksheets/sheet1.xml\"/><Relationship Id=\"rId2\" "
        "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings\" "
        "Target=\"sharedStrings.xml\"/><Relationship Id=\"rId3\" "
        "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" Target=\"styles.xml\"/>"
        "</Relationships>";
    const std::string types =
        "<?xml version=\"1.0\"?><Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
        "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
        "<Default Extension=\"xml\" ContentType=\"application/xml\"/><Override PartName=\"/xl/workbook.xml\" "
        "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/><Override "
        "PartName=\"/xl/worksheets/sheet1.xml\" "
        "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/><Override "
        "PartName=\"/xl/sharedStrings.xml\" "
        "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml\"/><Override "
        "PartName=\"/xl/styles.xml\" "
        "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/></Types>";
    int error = 0;
    zip_t* z = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!z)
        return {};
    for (const auto& [name, data] :
         std::vector<std::pair<const char*, const std::string*>>{{"[Content_Types].xml", &types},
                                                                 {"_rels/.rels", &rels},
                                                                 {"xl/workbook.xml", &workbook},
                                                                 {"xl/_rels/workbook.xml.rels", &bookRels},
                                                                 {"xl/styles.xml", &styles},
                                                                 {"xl/sharedStrings.xml", &shared},
                                                                 {"xl/worksheets/sheet1.xml", &sheet}}) {
        zip_source_t* s = zip_source_buffer(z, data->data(), data->size(), 0);
        zip_file_add(z, name, s, ZIP_FL_ENC_UTF_8);
    }
    zip_close(z);
    struct stat st { };
    ::stat(path.c_str(), &st);
    return {sheet.size(), shared.size(), static_cast<std::uint64_t>(st.st_size)};
}

struct Result {
    double seconds = -1;
    double cpu = -1; // user and system time: what the read costs on a busy machine
    double peakMb = -1;
    std::uint64_t bytes = 0; // the table's bytes, or its cells
};

enum class Read { Cells, Table, Open };

// Runs one read in a fresh process, so that its peak is its own.
Result InChild(const std::string& path, Read read)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        // The open measures with the grid's kind of font; the toolkit starts before the clock.
        std::unique_ptr<QGuiApplication> app;
        std::unique_ptr<QtTextMetrics> metrics;
        if (read == Read::Open) {
            static int argc = 1;
            static char name[] = "rasmik-bench-workbook";
            static char* argv[] = {name, nullptr};
            qputenv("QT_QPA_PLATFORM", "offscreen");
            app = std::make_unique<QGuiApplication>(argc, argv);
            metrics = std::make_unique<QtTextMetrics>(QFont(QStringLiteral("DejaVu Sans"), 10));
        }
        const long long base = ProcStatusKb("VmRSS");
        struct rusage before { };
        ::getrusage(RUSAGE_SELF, &before);
        const double startCpu = static_cast<double>(before.ru_utime.tv_sec + before.ru_stime.tv_sec)
            + static_cast<double>(before.ru_utime.tv_usec + before.ru_stime.tv_usec) / 1e6;
        const auto start = Clock::now();
        WorkbookReader book;
        Result r;
        if (read == Read::Open) {
            TableLines lines;
            std::string sheet;
            FixedLayoutTarget target(*metrics, 1000);
            TableDocument document;
            if (ReadWorkbookTable(path, {}, lines, sheet) && document.openSheet(std::move(lines), path, sheet, target))
                r.bytes = static_cast<std::uint64_t>(document.grid().RowCount());
        } else if (book.open(path)) {
            if (read == Read::Table) {
                ByteBuffer out;
                if (ReadSheetAsCsv(book, 0, out))
                    r.bytes = out.size();
            } else {
                std::uint64_t cells = 0;
                if (book.readSheet(0, [&](std::uint32_t, std::span<const SheetCell> c) {
                        cells += c.size();
                        return true;
                    }))
                    r.bytes = cells;
            }
        }
        r.seconds = SecondsSince(start);
        struct rusage usage { };
        ::getrusage(RUSAGE_SELF, &usage);
        r.cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
            + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6 - startCpu;
        r.peakMb = static_cast<double>(ProcStatusKb("VmHWM") - base) / 1024.0;
        [[maybe_unused]] const ssize_t w = ::write(fds[1], &r, sizeof r);
        ::_exit(0);
    }
    ::close(fds[1]);
    Result r;
    if (::read(fds[0], &r, sizeof r) != sizeof r)
        r = {};
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return r;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::uint64_t> rowCounts{100000, 1000000};
    std::string dir = "/tmp/rasmik-bench";
    int runs = 3;
    bool office = true;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--rows" && i + 1 < argc) {
            rowCounts.clear();
            std::string list = argv[++i];
            for (std::size_t p = 0; p <= list.size();) {
                const std::size_t comma = std::min(list.find(',', p), list.size());
                rowCounts.push_back(std::stoull(list.substr(p, comma - p)));
                p = comma + 1;
            }
        } else if (a == "--dir" && i + 1 < argc) {
            dir = argv[++i];
        } else if (a == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--no-office") {
            office = false;
        } else {
            std::fprintf(stderr, "usage: %s [--rows N[,N...]] [--dir DIR] [--runs K] [--no-office]\n", argv[0]);
            return 2;
        }
    }
    ::mkdir(dir.c_str(), 0755);
    const bool haveOffice = office && ::access("/usr/bin/soffice", X_OK) == 0;
    std::printf("| rows | file MB | sheet + strings XML MB | cells: s (CPU s) | cells: peak MB | table: s (CPU s) "
                "| table: peak MB | table MB | peak / XML | open, exact widths: s (CPU s) | open: peak MB |%s\n",
                haveOffice ? " LibreOffice to .csv: s |" : "");
    std::printf("|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|%s\n", haveOffice ? "---:|" : "");
    for (std::uint64_t rows : rowCounts) {
        const std::string path = dir + "/workbook-" + std::to_string(rows) + ".xlsx";
        const Made made = MakeWorkbook(path, rows);
        std::vector<double> cellTimes, cellCpu, cellPeaks, csvTimes, csvCpu, csvPeaks, openTimes, openCpu, openPeaks,
            officeTimes;
        std::uint64_t csvBytes = 0;
        for (int k = 0; k < runs; ++k) {
            const Result cells = InChild(path, Read::Cells);
            const Result table = InChild(path, Read::Table);
            const Result open = InChild(path, Read::Open);
            // The open's grid: the header row and every row of the sheet.
            if (cells.bytes != rows * 10 || table.bytes == 0 || open.bytes < rows) {
                std::fprintf(stderr, "reading %s failed\n", path.c_str());
                return 1;
            }
            cellTimes.push_back(cells.seconds);
            cellCpu.push_back(cells.cpu);
            csvCpu.push_back(table.cpu);
            cellPeaks.push_back(cells.peakMb);
            csvTimes.push_back(table.seconds);
            csvPeaks.push_back(table.peakMb);
            csvBytes = table.bytes;
            openTimes.push_back(open.seconds);
            openCpu.push_back(open.cpu);
            openPeaks.push_back(open.peakMb);
        }
        if (haveOffice) {
            const std::string out = dir + "/office";
            ::mkdir(out.c_str(), 0755);
            officeTimes.push_back(TimeCommand({"/usr/bin/soffice", "-env:UserInstallation=file://" + dir + "/profile",
                                               "--headless", "--convert-to", "csv", "--outdir", out, path}));
        }
        const double xmlMb = static_cast<double>(made.sheetXml + made.sharedXml) / 1e6;
        std::printf(
            "| %llu | %.1f | %.1f | %.2f (%.2f) | %.0f | %.2f (%.2f) | %.0f | %.1f | %.2f | %.2f (%.2f) | %.0f |",
            static_cast<unsigned long long>(rows), static_cast<double>(made.fileSize) / 1e6, xmlMb, Median(cellTimes),
            Median(cellCpu), Median(cellPeaks), Median(csvTimes), Median(csvCpu), Median(csvPeaks),
            static_cast<double>(csvBytes) / 1e6, Median(csvPeaks) * 1.048576 / xmlMb, Median(openTimes),
            Median(openCpu), Median(openPeaks));
        if (haveOffice)
            std::printf(" %.1f |", officeTimes.front());
        std::printf("\n");
        std::fflush(stdout);
    }
    return 0;
}
