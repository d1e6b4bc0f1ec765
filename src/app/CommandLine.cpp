#include "app/CommandLine.h"

#include "app/GridFont.h"
#include "app/StartUp.h"
#include "export/Workbook.h"
#include "export/WorkbookReader.h"
#include "print/PrintCommand.h"
#include "print/ReportLines.h"
#include "print/ReportRenderer.h"
#include "render/QtText.h"
#include "render/QtTextMetrics.h"
#include "table/ColumnOrder.h"
#include "table/FolderFiles.h"
#include "table/TableDocument.h"
#include "text/Cp1256.h"
#include "text/TextFiles.h"

#include <QFile>
#include <QGuiApplication>

#include <cstdio>
#include <optional>

namespace rasmik {

namespace {

enum class OutputKind { None, Text, Workbook, Report };

OutputKind KindOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    const std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return OutputKind::None;
    std::string ext = path.substr(dot + 1);
    for (char& c : ext)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    if (ext == "txt" || ext == "tsv" || ext == "csv")
        return OutputKind::Text;
    if (ext == "xlsx")
        return OutputKind::Workbook;
    if (ext == "pdf")
        return OutputKind::Report;
    return OutputKind::None;
}

// Standard error carries the program's own messages only: Qt's warnings
// about a setting it does without (no XDG_RUNTIME_DIR, a missing font
// family) are dropped. Critical and fatal ones still go through.
QtMessageHandler QtDefaultHandler = nullptr;

void DropQtWarnings(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if ((type == QtCriticalMsg || type == QtFatalMsg) && QtDefaultHandler)
        QtDefaultHandler(type, context, message);
}

int Fail(int status, const std::string& file, const FileError& error)
{
    std::fprintf(stderr, "rasmik: %s: %s\n", file.c_str(), DescribeFileError(error).c_str());
    return status;
}

int UsageError(const std::string& why)
{
    std::fprintf(stderr, "rasmik: %s\n%s", why.c_str(), UsageText().c_str());
    return ExitUsage;
}

int Convert(const std::string& input, const std::string& output, const std::string& title,
            std::optional<FileEncoding> encoding, char separator, const std::optional<std::string>& sheet)
{
    const OutputKind kind = KindOf(output);
    // The window's own start: the saved font, the remembered column orders
    // and the grid's width, without any window.
    const std::string& appFolder = ExeFolder();
    const QFont gridFont = GridFontAtStart(LoadSavedFont(appFolder));
    TableDocument document;
    document.loadColumnOrders(appFolder + OptionCfgFile);
    const QtTextMetrics metrics(MeasuringFont(gridFont));
    // Only the report shows column widths; a text or workbook output needs the cells alone.
    FixedLayoutTarget target(metrics, StartWindowWidth, kind == OutputKind::Report);
    FileStatus opened;
    if (FileLooksLikeWorkbook(input)) {
        // The first sheet, or the one --sheet names.
        TableLines lines;
        std::string chosen;
        bool unnamed = false;
        const auto choose = [&](const std::vector<std::string>& names) {
            const int index = sheet ? SheetNamedOrNumbered(names, *sheet) : 0;
            unnamed = index < 0;
            return index;
        };
        opened = ReadWorkbookTable(input, choose, lines, chosen, {}, sheet.has_value());
        if (unnamed) {
            FileError missing(FileErrorCode::SheetNotFound, input);
            missing.subject = *sheet;
            opened = missing;
        }
        if (opened)
            opened = document.openSheet(std::move(lines), AbsolutePath(input), chosen, target);
    } else if (sheet) {
        return UsageError("--sheet applies to a workbook INPUT only: " + input);
    } else {
        opened = document.open(AbsolutePath(input), target);
    }
    if (!opened)
        return Fail(ExitInputUnreadable, input, opened.error());
    // A workbook read keeps its sheets, formats and formulas: no output goes over it.
    if (!document.sheetName().empty() && SameFile(output, document.path()))
        return Fail(ExitOutputUnwritable, output, FileError(FileErrorCode::OverWorkbook, output));

    switch (kind) {
    case OutputKind::Text: {
        // Written over the input, a table that a NUL cut off would lose the
        // rest of the file; nobody is there to ask.
        const TextEnd& end = document.lines().textEnd();
        if (end.cut && SameFile(output, document.path())) {
            FileError cut(FileErrorCode::TextCut, output);
            cut.count = end.cutAt;
            cut.limit = end.fileBytes;
            return Fail(ExitOutputUnwritable, output, cut);
        }
        // The same file under another spelling is the open table too: the
        // save decides by the file itself (backup, header block, ".cfg").
        // A .csv keeps the input's quoted form or is comma-separated, unless
        // told the separator; every other text is tab-separated.
        std::optional<TableForm> form;
        if (separator)
            form = TableForm{separator, true};
        const FileStatus r = document.save(output, 0, {}, encoding, form);
        if (!r)
            return Fail(ExitOutputUnwritable, output, r.error());
        if (r.hasWarning())
            std::fprintf(stderr, "rasmik: %s: no backup made: %s\n", r.warning().path.c_str(),
                         DescribeFileError(r.warning()).c_str());
        return ExitOk;
    }
    case OutputKind::Workbook: {
        // Its direction and frozen header; no widths are laid out here. A
        // comma-separated table's lines are records in quotes: its cells go.
        const SheetLook look = SheetLookOfGrid(document.grid(), false);
        const FileStatus r = document.form().quoted
            ? ExportGridToWorkbook(document.grid(), "Sheet1", output, {}, look)
            : ExportLinesToWorkbook(document.lines(), "Sheet1", output, {}, look);
        if (!r)
            return Fail(ExitOutputUnwritable, output, r.error());
        return ExitOk;
    }
    case OutputKind::Report: {
        std::vector<std::string> report;
        BuildPrintLines(document.grid(), ReportFontFromQFont(gridFont),
                        FromQString(QString::fromUtf8(title), document.grid().Encoding()), report);
        const FileStatus r = RenderReportToPdf(report, QFile::decodeName(output.c_str()), document.grid().Encoding());
        if (!r)
            return Fail(ExitOutputUnwritable, output, r.error());
        return ExitOk;
    }
    case OutputKind::None: break;
    }
    return UsageError("unknown output type: " + output);
}

} // namespace

std::string VersionText()
{
    return std::string(StartCaption) + "\nQt " + qVersion() + "\n";
}

std::string UsageText()
{
    return "usage: rasmik [TABLE]\n"
           "       rasmik --convert INPUT OUTPUT [--title TEXT] [--encoding ENCODING] [--separator SEPARATOR]\n"
           "                        [--sheet NAME|N]\n"
           "       rasmik --help | --version\n"
           "\n"
           "Without options, opens TABLE (a tab-separated, fixed-width or comma-separated text table)\n"
           "in the window.\n"
           "--convert reads INPUT as the Open command does (a .csv with quoted fields, separated by\n"
           "commas or semicolons, whichever its first lines use) and writes OUTPUT by its extension:\n"
           "  .txt, .tsv   the table as Save writes it, in INPUT's encoding and byte-order mark,\n"
           "               or in ENCODING: windows-1256, utf-8 (without a mark) or utf-16\n"
           "               (little-endian, with its mark); over INPUT itself as Save writes over\n"
           "               the open table: a .Bak backup, the header block kept, the .cfg's\n"
           "               CellFormat dropped, and never over a table that a NUL cut off;\n"
           "               a cell holding a TAB or a line break is not written (exit status 3)\n"
           "  .csv         the same with quoted fields where needed, separated as INPUT's fields\n"
           "               (commas for a tab-separated INPUT) or by SEPARATOR: comma, semicolon,\n"
           "               tab or pipe\n"
           "  .xlsx        a workbook of INPUT's cells, every field as text\n"
           "  .pdf         the printed report on A4, titled TEXT\n"
           "INPUT may be in Windows-1256, UTF-8 or UTF-16 (found from its byte-order mark or its bytes),\n"
           "or a workbook (.xlsx, .ods, .xls, found from its bytes): its first sheet, or the sheet\n"
           "--sheet names (by name, else by number from 1); a workbook is never written over.\n"
           "Exit status: 0 done, 1 INPUT unreadable, 2 usage error, 3 OUTPUT not written (also when\n"
           "a character has no place in windows-1256: the cell is named on standard error).\n";
}

bool IsCommandLineMode(const std::vector<std::string>& args)
{
    return !args.empty() && (args[0] == "--convert" || args[0] == "--help" || args[0] == "--version");
}

int RunCommandLineMode(int& argc, char** argv, const std::vector<std::string>& args)
{
    if (args[0] == "--help") {
        if (args.size() != 1)
            return UsageError("--help takes no arguments");
        std::fputs(UsageText().c_str(), stdout);
        return ExitOk;
    }
    if (args[0] == "--version") {
        if (args.size() != 1)
            return UsageError("--version takes no arguments");
        std::fputs(VersionText().c_str(), stdout);
        return ExitOk;
    }
    std::vector<std::string> rest(args.begin() + 1, args.end());
    std::string title;
    std::optional<FileEncoding> encoding;
    char separator = 0;
    std::optional<std::string> sheet;
    for (std::size_t i = 0; i < rest.size();) {
        if (rest[i] == "--title") {
            if (i + 1 >= rest.size())
                return UsageError("--title needs a text");
            title = rest[i + 1];
            rest.erase(rest.begin() + static_cast<long>(i), rest.begin() + static_cast<long>(i) + 2);
        } else if (rest[i] == "--encoding") {
            FileEncoding e;
            if (i + 1 >= rest.size() || !ParseEncodingName(rest[i + 1], e))
                return UsageError("--encoding needs windows-1256, utf-8 or utf-16");
            encoding = e;
            rest.erase(rest.begin() + static_cast<long>(i), rest.begin() + static_cast<long>(i) + 2);
        } else if (rest[i] == "--sheet") {
            if (i + 1 >= rest.size() || rest[i + 1].empty())
                return UsageError("--sheet needs a sheet's name or number");
            sheet = rest[i + 1];
            rest.erase(rest.begin() + static_cast<long>(i), rest.begin() + static_cast<long>(i) + 2);
        } else if (rest[i] == "--separator") {
            if (i + 1 >= rest.size() || !(separator = SeparatorNamed(rest[i + 1])))
                return UsageError("--separator needs comma, semicolon, tab or pipe");
            rest.erase(rest.begin() + static_cast<long>(i), rest.begin() + static_cast<long>(i) + 2);
        } else {
            ++i;
        }
    }
    if (rest.size() != 2)
        return UsageError("--convert needs INPUT and OUTPUT");
    if (KindOf(rest[1]) == OutputKind::None)
        return UsageError("OUTPUT must end in .txt, .tsv, .csv, .xlsx or .pdf: " + rest[1]);
    if (encoding && KindOf(rest[1]) != OutputKind::Text)
        return UsageError("--encoding applies to a .txt, .tsv or .csv OUTPUT only");
    if (separator && !IsCsvPath(rest[1]))
        return UsageError("--separator applies to a .csv OUTPUT only");
    // No window is shown: the offscreen platform needs no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QtDefaultHandler = qInstallMessageHandler(DropQtWarnings);
    QGuiApplication app(argc, argv);
    return Convert(rest[0], rest[1], title, encoding, separator, sheet);
}

} // namespace rasmik
