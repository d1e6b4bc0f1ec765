#include "app/TForm1.h"

#include "app/FontStore.h"
#include "app/Clipboard.h"
#include "app/PromptSave.h"
#include "export/TextViewer.h"
#include "export/Workbook.h"
#include "print/PrintCommand.h"
#include "print/PrintTitle.h"
#include "table/ClipboardTable.h"
#include "table/ColumnExtract.h"
#include "table/ColumnSum.h"
#include "app/Shortcuts.h"
#include "app/Texts.h"
#include "dialogs/uGetStr.h"
#include "table/EditCommands.h"
#include "table/SaveLines.h"
#include "table/Search.h"
#include "table/Options.h"
#include "render/QtText.h"
#include "render/QtTextMetrics.h"
#include "table/ColumnOrder.h"
#include "table/FolderFiles.h"
#include "text/StringHelpers.h"
#include "text/TextFiles.h"

#include <QApplication>
#include <chrono>
#include <thread>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLayout>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressDialog>
#include <QScreen>
#include <QVBoxLayout>

namespace rasmik {

bool TForm1::FirstHeaderPending = true;

namespace {

QString PathToQString(const std::string& path)
{
    return QFile::decodeName(QByteArray::fromRawData(path.data(), static_cast<int>(path.size())));
}

std::string PathFromQString(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

} // namespace

TForm1::TForm1(const std::vector<std::string>& args, QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("Form1"));
    setCaption(StartCaption);
    QFont windowFont(QStringLiteral("Tahoma"));
    windowFont.setPixelSize(13);
    setFont(windowFont);
    resize(696, 480);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    FontDialogFont = QFont(QStringLiteral("MS Sans Serif"));
    FontDialogFont.setPixelSize(11);

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    Panel1 = new HeaderStrip(central);
    Grid = new GridWidget(grid_, central);
    layout->addWidget(Panel1);
    layout->addWidget(Grid, 1);
    setCentralWidget(central);
    connect(Panel1, &HeaderStrip::resized, this, &TForm1::LayoutHeader);
    buildMenu();
    // Window-level key preview, for CloseOnKey.
    qApp->installEventFilter(this);

    // Start-up sequence.
    CloseOnKey = false;                                      // 1
    AppFolder = ExeFolder();                                 // 2
    {                                                        // 3
        const std::string saved = LoadTextRetry(AppFolder + "Font.fnt", true);
        if (!saved.empty()) {
            FontRecord record = RecordOfFont(FontDialogFont, WindowTextColour);
            TextToFont(saved, record);
            ApplyRecordToFont(record, FontDialogFont);
            setGridFont(FontDialogFont, record.colour);
        } else {
            setGridFont(font(), WindowTextColour);
        }
    }
    // 4: remembered column orders
    ColumnOrders.clear();
    {
        // Another running copy may hold the file for a moment while it saves;
        // starting with an empty list then would wipe every remembered order
        // at this copy's next save, so such a file is waited for.
        const std::string path = AppFolder + "Option.cfg";
        const auto start = std::chrono::steady_clock::now();
        while (!LoadLinesRetry(&ColumnOrders, path) && FileIsThere(path) &&
               std::chrono::steady_clock::now() - start < RetryWindow)
            std::this_thread::sleep_for(RetryPause);
    }
    TableLines = rasmik::TableLines();                       // 5
    FolderFiles.clear();
    HeaderPanelCount = 0;
    std::string joined;                                      // 6
    for (const auto& a : args)
        joined += a + " ";
    {
        std::size_t b = 0, e = joined.size();
        while (b < e && static_cast<unsigned char>(joined[b]) <= 32)
            ++b;
        while (e > b && static_cast<unsigned char>(joined[e - 1]) <= 32)
            --e;
        // A relative name is taken from the working directory, so that its
        // folder is the one "Pre File" and "Next File" walk.
        PendingFileName = AbsolutePath(joined.substr(b, e - b));
    }
    Panel1->setFont(FontDialogFont);                         // 7
    if (!PendingFileName.empty() && FileIsThere(PendingFileName)) // 8
        startupOpenFailed_ = !Action1Execute();
    if (!startupOpenFailed_) {                               // 9
        Maximize1->setChecked(Settings().GetBool("Maximize"));
        if (Maximize1->isChecked())
            setWindowState(windowState() | Qt::WindowMaximized);
    }
}

TForm1::~TForm1()
{
    qApp->removeEventFilter(this);
}

void TForm1::setCaption(const std::string& caption)
{
    caption_ = caption;
    setWindowTitle(caption == StartCaption ? QString::fromUtf8(caption.c_str()) : PathToQString(caption));
}

QAction* TForm1::makeAction(int n, const char* caption, std::uint16_t shortcut)
{
    auto* a = new QAction(QString::fromUtf8(caption), this);
    a->setObjectName(QStringLiteral("Action%1").arg(n));
    if (shortcut)
        a->setShortcut(ShortcutFromStored(shortcut));
    a->setShortcutContext(Qt::WindowShortcut);
    addAction(a);
    Action[static_cast<std::size_t>(n)] = a;
    return a;
}

void TForm1::buildMenu()
{
    makeAction(1, "Open", 114);
    makeAction(2, "Pre File", 16421);
    makeAction(3, "Next File", 16423);
    makeAction(4, "Font", 24688);
    makeAction(5, "Print", 16464);
    makeAction(6, "Close", 27);
    makeAction(7, "Tabs", 57428);
    makeAction(8, "Save", 24659);
    makeAction(9, "Save With Rows", 57427);
    makeAction(10, "Simple Number", 24654);
    makeAction(11, "Delete Col", 24622);
    makeAction(12, "Shift Col N+1 to N", 24608);
    makeAction(13, "Fix Cell Size", 49235);
    makeAction(14, "Save Col Order", 0);
    makeAction(15, "Delete Col Order", 0);
    makeAction(16, "Action16", 24644)->setCheckable(true);
    makeAction(17, "Save Current Column", 0);
    makeAction(18, "Save Current Column without Repeat", 0);
    makeAction(19, "Search", 16454);
    makeAction(20, "Action20", 115);
    makeAction(21, "Delete Row", 16430);
    makeAction(22, "Delete Col", 32814);
    makeAction(23, "Paste Table", 24660);
    makeAction(24, "Save Current Row For Header", 41044);
    makeAction(25, "Values", 24657);

    SumOfCurrentColumn1 = new QAction(QStringLiteral("Sum Of Current Column"), this);
    SumOfCurrentColumn1->setObjectName(QStringLiteral("SumOfCurrentColumn1"));
    Maximize1 = new QAction(QStringLiteral("Maximize Window"), this);
    Maximize1->setObjectName(QStringLiteral("Maximize1"));
    Maximize1->setCheckable(true);
    NotePad1 = new QAction(QStringLiteral("Note Pad"), this);
    NotePad1->setObjectName(QStringLiteral("NotePad1"));
    Excel1 = new QAction(QStringLiteral("Excel"), this);
    Excel1->setObjectName(QStringLiteral("Excel1"));

    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    QMenu* file = bar->addMenu(QStringLiteral("File"));
    for (int n : {1, 2, 3, 4, 5})
        file->addAction(Action[static_cast<std::size_t>(n)]);
    QMenu* extra = file->addMenu(QStringLiteral("Extra"));
    extra->addAction(Action[17]);
    extra->addAction(Action[18]);
    extra->addSeparator();
    extra->addAction(Action[23]);
    extra->addAction(Action[24]);
    extra->addSeparator();
    extra->addAction(SumOfCurrentColumn1);
    file->addSeparator();
    for (int n : {8, 9, 10, 11, 12, 14, 15})
        file->addAction(Action[static_cast<std::size_t>(n)]);
    file->addSeparator();
    file->addAction(Maximize1);
    file->addAction(Action[6]);
    bar->addAction(NotePad1);
    bar->addAction(Excel1);

    connect(Action[1], &QAction::triggered, this, [this] { Action1Execute(); });
    connect(Action[2], &QAction::triggered, this, &TForm1::Action2Execute);
    connect(Action[3], &QAction::triggered, this, &TForm1::Action3Execute);
    connect(Action[6], &QAction::triggered, this, &TForm1::Action6Execute);
    connect(Action[7], &QAction::triggered, this, &TForm1::Action7Execute);
    connect(Action[16], &QAction::triggered, this, &TForm1::Action16Execute);
    connect(Action[4], &QAction::triggered, this, &TForm1::Action4Execute);
    connect(Action[14], &QAction::triggered, this, &TForm1::Action14Execute);
    connect(Action[15], &QAction::triggered, this, &TForm1::Action15Execute);
    connect(Maximize1, &QAction::triggered, this, &TForm1::Maximize1Click);
    connect(Action[8], &QAction::triggered, this, &TForm1::Action8Execute);
    connect(Action[9], &QAction::triggered, this, &TForm1::Action9Execute);
    connect(Action[10], &QAction::triggered, this, &TForm1::Action10Execute);
    connect(Action[11], &QAction::triggered, this, &TForm1::Action11Execute);
    connect(Action[12], &QAction::triggered, this, &TForm1::Action12Execute);
    connect(Action[13], &QAction::triggered, this, &TForm1::Action13Execute);
    connect(Action[19], &QAction::triggered, this, &TForm1::Action19Execute);
    connect(Action[20], &QAction::triggered, this, &TForm1::Action20Execute);
    connect(Action[21], &QAction::triggered, this, &TForm1::Action21Execute);
    connect(Action[22], &QAction::triggered, this, &TForm1::Action22Execute);
    connect(Action[5], &QAction::triggered, this, &TForm1::Action5Execute);
    connect(Action[17], &QAction::triggered, this, &TForm1::Action17Execute);
    connect(Action[18], &QAction::triggered, this, &TForm1::Action18Execute);
    connect(Action[23], &QAction::triggered, this, &TForm1::Action23Execute);
    connect(Action[24], &QAction::triggered, this, &TForm1::Action24Execute);
    connect(Action[25], &QAction::triggered, this, &TForm1::Action25Execute);
    connect(SumOfCurrentColumn1, &QAction::triggered, this, &TForm1::SumOfCurrentColumn1Click);
    connect(NotePad1, &QAction::triggered, this, &TForm1::NotePad1Click);
    connect(Excel1, &QAction::triggered, this, &TForm1::Excel1Click);
}

int TForm1::gridWidthForLayout()
{
    if (!isVisible()) {
        // Before the first show the layouts have not run yet.
        centralWidget()->resize(size().width(), size().height() - menuBar()->sizeHint().height());
        centralWidget()->layout()->activate();
    }
    return Grid->width();
}

ProgressFn TForm1::makeProgress(QProgressDialog*& dialog, const QString& label)
{
    return [this, &dialog, label](std::uint64_t done, std::uint64_t total) {
        if (!dialog) {
            dialog = new QProgressDialog(label, QStringLiteral("انصراف"), 0, 1000, this);
            dialog->setWindowModality(Qt::WindowModal);
            dialog->setMinimumDuration(500);
            dialog->setAutoClose(false);
            dialog->setAutoReset(false);
        }
        dialog->setValue(total ? static_cast<int>(done * 1000 / total) : 0);
        return !dialog->wasCanceled();
    };
}

bool TForm1::FillGrid(rasmik::TableLines* newLines)
{
    QProgressDialog* dialog = nullptr;
    const ProgressFn progress = makeProgress(dialog, QStringLiteral("در حال خواندن جدول..."));
    struct Closer {
        QProgressDialog*& d;
        ~Closer() { delete d; }
    } closer{dialog};

    rasmik::TableLines lines = newLines ? *newLines : TableLines;
    HeaderBlock block;
    if (newLines)
        block = ReadHeaderBlock(lines);
    // Built aside, so that a cancelled open leaves the previous table in place.
    CoreGrid fresh;
    if (!LayoutGridCells(fresh, lines, CellWidths, progress))
        return false;
    if (dialog)
        dialog->setCancelButton(nullptr);

    if (newLines) {
        ApplyHeaderBlock(block);
        TableLines = lines;
        *newLines = lines;
    }
    ApplyColumnOrder(fresh, ColumnOrders);
    const QtTextMetrics metrics(MeasuringFont(Grid->font()));
    const std::vector<int> widths = ComputeColumnWidths(fresh, metrics, gridWidthForLayout(), progress);
    FinishLayout(fresh, widths, metrics.textHeight("AY"));
    fresh.Col = 0;
    fresh.Row = fresh.FixedRows();
    grid_ = std::move(fresh);
    Grid->reloadFromCore();
    return true;
}

void TForm1::ApplyHeaderBlock(const HeaderBlock& block)
{
    if (!block.found) {
        HeaderPanelCount = 0;
        LayoutHeader();
        return;
    }
    CloseOnKey = block.closeOnKey;
    HeaderPanelCount = block.panelCount;
    if (HeaderPanelCount == 0) {
        LayoutHeader();
        return;
    }
    Panel1->rebuildPanels(HeaderPanelCount, block.labels);
    if (FirstHeaderPending) {
        setWindowState(windowState() | Qt::WindowMaximized);
        FirstHeaderPending = false;
    }
    LayoutHeader();
}

void TForm1::LayoutHeader()
{
    Panel1->layoutHeader(HeaderPanelCount);
}

void TForm1::showFileError(const FileError& error, FileOperation operation)
{
    if (needsMessage(error))
        QMessageBox::critical(this, QStringLiteral("Rasmik"), persianFileMessage(error, operation));
}

bool TForm1::Action1Execute()
{
    const std::string previousFile = OpenDialogFileName;
    if (PendingFileName.empty() && Action1Tag == 0) {
        QFileDialog dialog(this);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        // ".txt" in any letter case counts on a case-sensitive file system.
        dialog.setNameFilter(QStringLiteral("Text File (*.[tT][xX][tT])"));
        dialog.setDefaultSuffix(QStringLiteral("txt"));
        dialog.setOption(QFileDialog::ReadOnly, false);
        if (!OpenDialogFileName.empty())
            dialog.selectFile(PathToQString(OpenDialogFileName));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return false;
        OpenDialogFileName = PathFromQString(dialog.selectedFiles().front());
    }
    if (!PendingFileName.empty()) {
        OpenDialogFileName = PendingFileName;
        PendingFileName.clear();
    }
    const std::string path = OpenDialogFileName;
    // The font's measures are taken while the file is read.
    PrepareTextMetrics(MeasuringFont(Grid->font()));
    const std::string cellWidths = ReadCellFormat(path);

    QProgressDialog* dialog = nullptr;
    rasmik::TableLines lines;
    FileStatus read;
    {
        const ProgressFn progress = makeProgress(dialog, QStringLiteral("در حال خواندن جدول..."));
        read = ReadTableFile(path, lines, progress);
        delete dialog;
        dialog = nullptr;
    }
    if (!read) {
        OpenDialogFileName = previousFile;
        showFileError(read.error(), FileOperation::Open);
        return false;
    }
    const std::string oldWidths = CellWidths;
    CellWidths = cellWidths;
    if (!FillGrid(&lines)) {
        CellWidths = oldWidths;
        OpenDialogFileName = previousFile;
        return false;
    }
    FolderFiles = RebuildFolderFiles(NormalizeFolder(FolderOf(path)));
    setCaption(path);
    return true;
}

void TForm1::Action2Execute()
{
    const std::string next = NeighbourFile(FolderFiles, caption_, -1);
    if (!next.empty())
        openQuietly(next);
}

void TForm1::Action3Execute()
{
    const std::string next = NeighbourFile(FolderFiles, caption_, +1);
    if (!next.empty())
        openQuietly(next);
}

bool TForm1::openQuietly(const std::string& path)
{
    const std::string previous = OpenDialogFileName;
    OpenDialogFileName = path;
    Action1Tag = 1;
    const bool opened = Action1Execute();
    Action1Tag = 0;
    if (!opened)
        OpenDialogFileName = previous;
    return opened;
}

void TForm1::Action6Execute()
{
    close();
}

void TForm1::Action7Execute()
{
    Grid->refreshCells();
}

void TForm1::Action16Execute()
{
    // The action's own check state flips when it triggers.
    Grid->setShaping(Action[16]->isChecked());
}

void TForm1::setGridFont(const QFont& font, std::int32_t colour)
{
    GridFontColour = colour;
    Grid->setFont(font);
    Grid->horizontalHeader()->setFont(font);
    QPalette pal = Grid->palette();
    pal.setColor(QPalette::Text, ColourOfValue(colour, palette().color(QPalette::WindowText)));
    Grid->setPalette(pal);
}

void TForm1::Action4Execute()
{
    FontChooser chooser(this);
    FontDialogFont = Grid->font();
    chooser.setSelectedFont(FontDialogFont);
    chooser.setColourValue(GridFontColour);
    const int answer = runFontDialog ? runFontDialog(chooser) : chooser.exec();
    if (answer != QDialog::Accepted)
        return;
    FontDialogFont = chooser.selectedFont();
    SaveTextRetry(FontToText(RecordOfFont(FontDialogFont, chooser.colourValue())), AppFolder + "Font.fnt");
    setGridFont(FontDialogFont, chooser.colourValue());
    Panel1->setFont(FontDialogFont);
    Grid->refreshCells();
    LayoutHeader();
    FillGrid();
}

void TForm1::Action14Execute()
{
    SaveColOrder(grid_, ColumnOrders, AppFolder + "Option.cfg");
}

void TForm1::Action15Execute()
{
    DeleteColOrder(grid_, ColumnOrders, AppFolder + "Option.cfg");
    FillGrid();
}

void TForm1::Maximize1Click()
{
    // The check mark flipped when the item triggered.
    if (Maximize1->isChecked())
        setWindowState(windowState() | Qt::WindowMaximized);
    else
        setWindowState(windowState() & ~Qt::WindowMaximized);
    Settings().Toggle("Maximize");
}

void TForm1::Action8Execute()
{
    const std::string path =
        PromptSaveFileName(this, "Save As", OpenDialogFileName, "", "*.txt", "Text File|*.txt");
    if (path.empty())
        return;
    QProgressDialog* dialog = nullptr;
    FileStatus r;
    {
        const ProgressFn progress = makeProgress(dialog, QStringLiteral("در حال ذخیره جدول..."));
        r = SaveGridToFile(grid_, RowNumberBase, path, OpenDialogFileName, progress);
        delete dialog;
    }
    // A cancelled save left the file and its backup as they were.
    if (!r)
        showFileError(r.error(), FileOperation::Save);
}

void TForm1::Action9Execute()
{
    const std::string answer = AskString(QString(), QString::fromUtf8(texts::StartCodePrompt), "");
    RowNumberBase = static_cast<int>(RowNumberBaseFromAnswer(answer));
    Action8Execute();
    RowNumberBase = 0;
}

void TForm1::Action10Execute()
{
    SimpleNumber(grid_);
    Grid->refreshCells();
}

void TForm1::Action11Execute()
{
    BlankColumn(grid_);
    Grid->refreshCells();
}

void TForm1::Action12Execute()
{
    ShiftColumnLeft(grid_);
    Grid->refreshCells();
}

void TForm1::Action13Execute()
{
    const std::string answer = AskString(QString::fromUtf8(texts::FixCellSizeCaption),
                                         QString::fromUtf8(texts::FixCellSizePrompt), "\xFD" + CellWidths);
    if (answer.empty())
        return;
    CellWidths = answer;
    WriteCellFormat(CfgPathFor(OpenDialogFileName), CellWidths);
    FillGrid();
}

void TForm1::Action19Execute()
{
    const std::string answer =
        AskString(QString::fromUtf8(texts::SearchCaption), QString::fromUtf8(texts::SearchPrompt), SearchText);
    if (answer.empty())
        return;
    SearchText = answer;
    grid_.Row = SearchFrom(grid_, SearchText, 1);
    Grid->showCoreCursor();
    Grid->refreshCells();
}

void TForm1::Action20Execute()
{
    grid_.Row = SearchFrom(grid_, SearchText, grid_.Row + 1);
    Grid->showCoreCursor();
    Grid->refreshCells();
}

void TForm1::Action21Execute()
{
    if (DeleteRowCommand(grid_))
        Grid->reloadFromCore();
}

void TForm1::Action22Execute()
{
    if (DeleteColCommand(grid_))
        Grid->reloadFromCore();
}

void TForm1::Action5Execute()
{
    FontDialogFont = Grid->font();
    const std::string previous = LoadPrintTitle();
    const std::string title =
        AskString(QString::fromUtf8(texts::PrintCaption), QString::fromUtf8(texts::PrintPrompt), previous);
    SavePrintTitle(title);
    PrintGrid(grid_, FontDialogFont, title, this);
}

void TForm1::SaveColumnToFile(int col, bool withoutRepeat)
{
    const std::string path = PromptSaveFileName(this, "", "", "", "*.txt", "Text File|*.txt");
    if (path.empty())
        return;
    const std::vector<std::string> list = ColumnValues(grid_, col, withoutRepeat, PersianCollator());
    const FileStatus r = WriteFileAtomic(path, JoinLinesCrLf(list));
    if (!r)
        showFileError(r.error(), FileOperation::Save);
}

void TForm1::Action17Execute()
{
    SaveColumnToFile(grid_.Col, false);
}

void TForm1::Action18Execute()
{
    SaveColumnToFile(grid_.Col, true);
}

void TForm1::Action23Execute()
{
    std::vector<std::string> list;
    const int columns = ParseClipboardTable(ReadClipboardText(), list);
    const std::string remembered = LoadTextRetry(ExeFolder() + ClipTablePasteHdrFile, true);
    const auto lines = BuildPasteFile(list, columns, remembered);
    if (!lines)
        return;
    const std::string path = ExeFolder() + ClipTablePasteFile;
    if (!SaveLinesRetry(&*lines, path)) {
        // The file may still hold an earlier paste, which must not pass for
        // this one: one more attempt tells why it cannot be written.
        const FileStatus again = WriteFileAtomic(path, JoinLinesCrLf(*lines));
        if (!again) {
            showFileError(again.error(), FileOperation::Save);
            return;
        }
    }
    openQuietly(path);
}

void TForm1::Action24Execute()
{
    SaveTextRetry(HeaderRowText(grid_, grid_.Row), ExeFolder() + ClipTablePasteHdrFile);
}

void TForm1::Action25Execute()
{
    const std::vector<std::string> list = DistinctColumnValues(grid_, grid_.Col, PersianCollator());
    ShowListInNotepad(ExeFolder() + ColumnValueFileName(grid_.Col), list);
}

void TForm1::SumOfCurrentColumn1Click()
{
    const std::string total = FormatGroupedNumber(SumColumn(grid_, grid_.Col));
    QMessageBox::information(this, QStringLiteral("Rasmik"), QString::fromStdString(total));
}

void TForm1::NotePad1Click()
{
    OpenInTextEditor(windowTitle());
}

void TForm1::Excel1Click()
{
    const std::string path = PromptSaveFileName(this, texts::ExcelSaveTitle, "", "", "*.xlsx", "Exel|*.xlsx");
    if (path.empty())
        return;
    QProgressDialog* dialog = nullptr;
    const ProgressFn progress = makeProgress(dialog, QStringLiteral("در حال نوشتن فایل اکسل..."));
    const FileStatus r = ExportAndOpenWorkbook(TableLines, "Sheet1", path, progress);
    delete dialog;
    if (!r)
        showFileError(r.error(), FileOperation::Workbook);
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && CloseOnKey) {
        auto* w = qobject_cast<QWidget*>(watched);
        if (w && w->window() == this) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (!key->text().isEmpty()) {
                close();
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::resizeEvent(QResizeEvent* e)
{
    QMainWindow::resizeEvent(e);
    LayoutHeader();
}

} // namespace rasmik
