#include "ExportPhase.h"

#include "Measure.h"

#include "app/MainWindow.h"
#include "export/Workbook.h"
#include "export/ZipArchive.h"
#include "table/SaveLines.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include <sys/resource.h>
#include <sys/stat.h>
#include <zlib.h>

namespace rasmik::bench {

namespace {

void Report(const char* key, double value)
{
    std::printf("%s\t%.9g\n", key, value);
    std::fflush(stdout);
}

double ProcessCpu()
{
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

// User and system time of the waited-for children.
double ChildrenCpu()
{
    rusage ru{};
    ::getrusage(RUSAGE_CHILDREN, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec)
        + static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

double SizeOf(const std::string& path)
{
    struct stat st { };
    return ::stat(path.c_str(), &st) == 0 ? static_cast<double>(st.st_size) : -1;
}

// The high-water mark restarts from the resident size now.
void ResetPeak()
{
    if (std::FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}

// The floor of the export's own deflate: the CPU seconds zlib alone takes
// to deflate the workbook's sheet XML at level, the XML inflated first (not
// timed). -1 when the workbook cannot be read.
double DeflateAlone(const std::string& workbook, int level, double& xmlBytes)
{
    ZipArchive zip;
    if (!zip.open(workbook))
        return -1;
    const auto sheet = zip.find("xl/worksheets/sheet1.xml");
    if (!sheet)
        return -1;
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return -1;
    std::vector<unsigned char> out(256 * 1024);
    double seconds = 0;
    xmlBytes = 0;
    const auto feed = [&](const char* data, std::size_t n, int flush) {
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
        z.avail_in = static_cast<uInt>(n);
        const double start = ProcessCpu();
        int rc = Z_OK;
        do {
            z.next_out = out.data();
            z.avail_out = static_cast<uInt>(out.size());
            rc = deflate(&z, flush);
        } while (flush == Z_FINISH ? rc == Z_OK : z.avail_out == 0);
        seconds += ProcessCpu() - start;
        xmlBytes += static_cast<double>(n);
        return rc != Z_STREAM_ERROR;
    };
    const FileStatus read =
        zip.read(*sheet, ~std::uint64_t(0), [&](const char* data, std::size_t n) { return feed(data, n, Z_NO_FLUSH); });
    feed(nullptr, 0, Z_FINISH);
    deflateEnd(&z);
    return read ? seconds : -1;
}

} // namespace

void MeasureExport(MainWindow& form, const std::string& table)
{
    const TableDocument& doc = form.document();

    // The floor: the same grid saved as tab-separated text, as Save writes it.
    {
        const std::string path = table + ".export-floor.txt";
        const auto start = Clock::now();
        const double cpu = ProcessCpu();
        const FileStatus r = SaveGridToFile(doc.grid(), 0, path, path, {}, doc.encoding());
        Report("export.floor_save_cpu", ProcessCpu() - cpu);
        Report("export.floor_save", SecondsSince(start));
        if (!r)
            std::printf("error\tthe floor's save failed: %s\n", DescribeFileError(r.error()).c_str());
        std::remove(path.c_str());
    }
    // The peer: deflate alone, over the table's own bytes.
    {
        const double cpu = ChildrenCpu();
        Report("export.gzip1", TimeCommand({"gzip", "-1", "-c", table}));
        Report("export.gzip1_cpu", ChildrenCpu() - cpu);
    }

    // RASMIK_BENCH_EXPORT_LEVEL: another zlib level, to compare them.
    if (const char* level = std::getenv("RASMIK_BENCH_EXPORT_LEVEL"))
        SetWorkbookWritingForTesting({std::atoi(level), false});
    // As the Excel command exports, without opening the workbook afterwards.
    const std::string path = table + ".export.xlsx";
    std::remove(path.c_str());
    const long long rssBefore = ProcStatusKb("VmRSS");
    ResetPeak();
    const auto start = Clock::now();
    const double cpu = ProcessCpu();
    const FileStatus r = doc.readShownGrid([&](const CoreGrid& shown) {
        return ExportGridToWorkbook(shown, "Sheet1", path, {}, SheetLookOfGrid(shown, true));
    });
    Report("export.cpu", ProcessCpu() - cpu);
    Report("export.wall", SecondsSince(start));
    Report("export.peak_mb", static_cast<double>(ProcStatusKb("VmHWM") - rssBefore) / 1e3);
    if (!r)
        std::printf("error\texport failed: %s\n", DescribeFileError(r.error()).c_str());
    Report("export.bytes", SizeOf(path));
    const int level = std::getenv("RASMIK_BENCH_EXPORT_LEVEL") ? std::atoi(std::getenv("RASMIK_BENCH_EXPORT_LEVEL"))
                                                               : WorkbookDeflateLevel;
    double xmlBytes = 0;
    Report("export.deflate_alone_cpu", DeflateAlone(path, level, xmlBytes));
    Report("export.xml_bytes", xmlBytes);
    std::remove(path.c_str());
}

} // namespace rasmik::bench
