#include "app/MainWindow.h"

#include "app/Clipboard.h"
#include "app/FontStore.h"
#include "app/GridFont.h"
#include "app/PromptSave.h"
#include "app/RecentlyUsed.h"
#include "app/Texts.h"
#include "app/UiLanguage.h"
#include "dialogs/FindReplaceDialog.h"
#include "dialogs/TextPrompt.h"
#include "export/TextViewer.h"
#include "export/Workbook.h"
#include "export/WorkbookReader.h"
#include "print/PrintCommand.h"
#include "print/PrintTitle.h"
#include "render/QtText.h"
#include "render/QtTextMetrics.h"
#include "render/UiText.h"
#include "table/CellCopy.h"
#include "table/ClipboardTable.h"
#include "table/ColumnOrder.h"
#include "table/ColumnSum.h"
#include "table/FolderFiles.h"
#include "table/NumberText.h"
#include "table/Options.h"
#include "table/RecentTables.h"
#include "table/SaveLines.h"
#include "text/StringHelpers.h"
#include "text/TextFiles.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLayout>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QSessionManager>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <initializer_list>
#include <optional>

#include <sys/stat.h>

namespace rasmik {

namespace {

// From this size on a table has so many cells that its column widths are
// found through the font's bounds.
constexpr off_t BoundsWorthFileBytes = 32 * 1024;

QString PathToQString(const std::string& path)
{
    return QFile::decodeName(QByteArray::fromRawData(path.data(), static_cast<int>(path.size())));
}

std::string PathFromQString(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

QString ReadingLabel()
{
    return Ui::tr("در حال خواندن جدول...");
}

// A progress dialog shown once a job has taken half a second, with a cancel
// button while the job can still be cancelled.
class ShownProgress {
public:
    ShownProgress(QWidget* parent, QString label) : parent_(parent), label_(std::move(label)) { }
    ~ShownProgress() { delete dialog_; }
    ShownProgress(const ShownProgress&) = delete;
    ShownProgress& operator=(const ShownProgress&) = delete;

    bool report(std::uint64_t done, std::uint64_t total)
    {
        if (!dialog_) {
            dialog_ = new QProgressDialog(label_, Ui::tr("انصراف"), 0, 1000, parent_);
            dialog_->setWindowModality(Qt::WindowModal);
            dialog_->setMinimumDuration(500);
            dialog_->setAutoClose(false);
            dialog_->setAutoReset(false);
            if (!cancellable_)
                dialog_->setCancelButton(nullptr);
        }
        dialog_->setValue(total ? static_cast<int>(done * 1000 / total) : 0);
        return !dialog_->wasCanceled();
    }
    ProgressFn fn()
    {
        return [this](std::uint64_t done, std::uint64_t total) { return report(done, total); };
    }
    // Reading the file shows one dialog and laying it out another; once the
    // cells are in place the layout cannot be cancelled any more.
    LoadProgressFn loadFn()
    {
        return [this](LoadStage stage, std::uint64_t done, std::uint64_t total) {
            if (stage != LoadStage::Reading && stage_ == LoadStage::Reading) {
                delete dialog_;
                dialog_ = nullptr;
            }
            if (stage == LoadStage::Widths && cancellable_) {
                cancellable_ = false;
                if (dialog_)
                    dialog_->setCancelButton(nullptr);
            }
            stage_ = stage;
            return report(done, total);
        };
    }

private:
    QWidget* parent_;
    QString label_;
    QProgressDialog* dialog_ = nullptr;
    LoadStage stage_ = LoadStage::Reading;
    bool cancellable_ = true;
};

enum class Menu { None, File, Extra, Edit, Bar };

// A command's shortcuts; the menu shows the first.
struct Shortcuts {
    Shortcuts(const QKeySequence& key = {})
    {
        if (!key.isEmpty())
            keys << key;
    }
    Shortcuts(std::initializer_list<QKeySequence> list) : keys(list) { }
    QList<QKeySequence> keys;
};

// What a command does when it comes while a cell is being edited.
enum class WhileEditing {
    CommitFirst, // the edit goes into the cell, then the command runs
    Refused,     // the command does not run (it deletes, blanks or shifts cells)
};

// One command of the window, its fields named in each row: its action's
// name and caption, its shortcuts, what it runs and where the menu shows
// it. The rows of a menu are in the menu's order; separatorBefore puts a
// line above the item. A command is added with its row alone: run may be a
// lambda of the row, reaching the window through EditCommands.
struct CommandSpec {
    const char* name;
    const char* caption;
    Shortcuts shortcut = {};
    // A method of the window, or a lambda of buildMenu given the window.
    std::function<void(MainWindow&)> run;
    Menu menu = Menu::None;
    bool separatorBefore = false;
    bool checkable = false;
    WhileEditing whileEditing = WhileEditing::CommitFirst;
};

// Every command runs through here, from its key or its menu item.
void RunCommand(MainWindow& window, const std::function<void(MainWindow&)>& run, WhileEditing whileEditing)
{
    if (window.grid()->isEditing()) {
        if (whileEditing == WhileEditing::Refused || !window.grid()->commitOpenEdit())
            return;
    }
    run(window);
}

// The cells of the first table of an HTML text, as a spreadsheet program or
// a web page puts it on the clipboard: each cell's text, its lines as lines.
std::vector<std::vector<std::string>> HtmlTableCells(const QString& html)
{
    QTextDocument doc;
    doc.setHtml(html);
    for (QTextFrame* frame : doc.rootFrame()->childFrames()) {
        auto* table = qobject_cast<QTextTable*>(frame);
        if (!table)
            continue;
        std::vector<std::vector<std::string>> rows(static_cast<std::size_t>(table->rows()));
        for (int r = 0; r < table->rows(); ++r)
            for (int c = 0; c < table->columns(); ++c) {
                const QTextTableCell cell = table->cellAt(r, c);
                QTextCursor cursor = cell.firstCursorPosition();
                cursor.setPosition(cell.lastCursorPosition().position(), QTextCursor::KeepAnchor);
                QString text = cursor.selectedText();
                text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
                text.replace(QChar::LineSeparator, QLatin1Char('\n'));
                rows[static_cast<std::size_t>(r)].push_back(text.toStdString());
            }
        return rows;
    }
    return {};
}

// An undo step's command as the Edit menu names it.
QString StepCaption(const std::string& name)
{
    static const std::pair<const char*, const char*> captions[] = {
        {"Edit Cell", QT_TRANSLATE_NOOP("Rasmik", "ویرایش خانه")},
        {"Move Column", QT_TRANSLATE_NOOP("Rasmik", "جابه‌جایی ستون")},
        {"Sort", QT_TRANSLATE_NOOP("Rasmik", "مرتب‌سازی")},
        {"Delete Row", QT_TRANSLATE_NOOP("Rasmik", "حذف ردیف")},
        {"Remove Column", QT_TRANSLATE_NOOP("Rasmik", "حذف ستون")},
        {"Insert Row", QT_TRANSLATE_NOOP("Rasmik", "درج ردیف")},
        {"Insert Column", QT_TRANSLATE_NOOP("Rasmik", "درج ستون")},
        {"Clear", QT_TRANSLATE_NOOP("Rasmik", "پاک کردن خانه‌ها")},
        {"Paste", QT_TRANSLATE_NOOP("Rasmik", "چسباندن")},
        {"Find and Replace", QT_TRANSLATE_NOOP("Rasmik", "یافتن و جایگزینی")},
        {"Rename Column", QT_TRANSLATE_NOOP("Rasmik", "تغییر نام ستون")},
    };
    for (const auto& [key, caption] : captions)
        if (name == key)
            return Ui::tr(caption);
    // The commands of the File menu keep their own captions.
    return QString::fromStdString(name);
}

// A row number as typed: ASCII, Persian or Arabic-Indic digits, spaces
// around; -1 when it is none.
int RowNumberOfAnswer(std::string_view answer, TextEncoding held)
{
    std::string ascii;
    const std::string_view digits = AsciiNumberText(answer, held, ascii);
    long long n = 0;
    bool any = false;
    for (const char c : digits) {
        if (c == ' ')
            continue;
        if (c < '0' || c > '9' || n > 100'000'000)
            return -1;
        n = n * 10 + (c - '0');
        any = true;
    }
    return any ? static_cast<int>(n) : -1;
}

} // namespace

// The grid's font and width, taken when the layout asks for them.
class MainWindow::ScreenLayout final : public LayoutTarget {
public:
    explicit ScreenLayout(MainWindow& window) : window_(window) { }
    const TextMetrics& metrics() override
    {
        if (!metrics_)
            metrics_.emplace(MeasuringFont(window_.grid_->font()));
        return *metrics_;
    }
    int gridWidth() override { return window_.gridWidthForLayout(); }

private:
    MainWindow& window_;
    std::optional<QtTextMetrics> metrics_;
};

MainWindow::MainWindow(const std::vector<std::string>& args, QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("mainWindow"));
    setCaption(StartCaption);
    setFont(WindowFont());
    resize(StartWindowWidth, StartWindowHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());

    fontDialogFont_ = FontDialogStartFont();

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    headerStrip_ = new HeaderStrip(central);
    grid_ = new GridWidget(document_, central);
    layout->addWidget(headerStrip_);
    layout->addWidget(grid_, 1);
    setCentralWidget(central);
    // Tables and text dragged from other programs.
    setAcceptDrops(true);
    statusLine_ = new StatusLine(this);
    setStatusBar(statusLine_);
    selectionStatusTimer_ = new QTimer(this);
    selectionStatusTimer_->setSingleShot(true);
    // A drag over a large block changes the selection many times a second.
    selectionStatusTimer_->setInterval(100);
    connect(selectionStatusTimer_, &QTimer::timeout, this, &MainWindow::showSelectionStatus);
    connect(grid_, &GridWidget::cursorMoved, this, &MainWindow::showCellStatus);
    connect(grid_, &GridWidget::fitColumnAsked, this, &MainWindow::fitColumn);
    connect(grid_, &GridWidget::editRefused, this, [this](char32_t character) {
        QMessageBox::warning(this, QStringLiteral("Rasmik"), persianCharacterRefused(character));
    });
    connect(grid_, &GridWidget::selectionMoved, selectionStatusTimer_, qOverload<>(&QTimer::start));
    connect(headerStrip_, &HeaderStrip::resized, this, &MainWindow::layoutHeader);
    buildMenu();
    document_.setHistoryListener([this] { showEditState(); });
    showEditState();
    // Window-level key preview, for the header block's close-on-key.
    qApp->installEventFilter(this);
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& manager) {
        const bool mayAsk = manager.allowsInteraction();
        const bool mayEnd = closeForSessionEnd(mayAsk);
        if (mayAsk)
            manager.release();
        if (!mayEnd)
            manager.cancel();
    });

    // Start-up sequence.
    appFolder_ = ExeFolder();
    recovery_ = std::make_unique<RecoveryRecorder>(appFolder_);
    document_.setEditRecorder(recovery_.get());
    {
        const SavedFont saved = LoadSavedFont(appFolder_);
        if (saved.found) {
            fontDialogFont_ = saved.font;
            setGridFont(fontDialogFont_, saved.colour);
        } else {
            setGridFont(font(), WindowTextColour);
        }
    }
    document_.loadColumnOrders(appFolder_ + OptionCfgFile);
    std::string joined;
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
        pendingPath_ = AbsolutePath(joined.substr(b, e - b));
    }
    headerStrip_->setFont(fontDialogFont_);
    // Anything else than a regular file (a folder, a device, a pipe) is
    // refused with its reason, as --convert refuses it; a pipe is never read.
    if (!pendingPath_.empty() && PathIsThere(pendingPath_)) {
        const std::string path = std::move(pendingPath_);
        pendingPath_.clear();
        startupOpenFailed_ = !openPath(path);
    } else {
        // Without a table to open, the newest record left behind is offered.
        std::string table;
        if (offerRecord({}, &table) == RecordAnswer::AsItIs && !table.empty())
            startupOpenFailed_ = !openPath(table, {}, false);
    }
    if (!startupOpenFailed_) {
        maximizeAction_->setChecked(Settings().GetBool("Maximize"));
        if (maximizeAction_->isChecked())
            setWindowState(windowState() | Qt::WindowMaximized);
    }
}

MainWindow::~MainWindow()
{
    qApp->removeEventFilter(this);
    // The document goes before the grid: an edit left open must not reach it.
    grid_->discardOpenEdit();
    document_.setHistoryListener({});
    document_.setEditRecorder(nullptr);
}

void MainWindow::setCaption(const std::string& caption)
{
    caption_ = caption;
    showTitle();
}

QString MainWindow::captionText() const
{
    if (caption_ == StartCaption)
        return QString::fromUtf8(caption_.c_str());
    // A table read from a workbook names its sheet too.
    const std::string& sheet = document_.sheetName();
    return PathToQString(caption_)
        + (sheet.empty() ? QString() : QStringLiteral(" — ") + QString::fromStdString(sheet));
}

void MainWindow::showTitle()
{
    // Qt takes "[*]" in a title for the place of the modified mark and shows
    // "[*][*]" as a literal "[*]". Unmodified, the title is the caption alone.
    QString title = captionText();
    title.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
    if (document_.isModified()) {
        setWindowTitle(title + QStringLiteral("[*]"));
        setWindowModified(true);
    } else {
        setWindowModified(false);
        setWindowTitle(title);
    }
}

void MainWindow::showEditState()
{
    // Undo and Redo name the step they would take, as desktop programs do.
    if (QAction* a = command("undo")) {
        a->setEnabled(document_.canUndo());
        const QString step = StepCaption(document_.history().undoName());
        a->setText(step.isEmpty() ? Ui::tr("Undo") : Ui::tr("واگرد ") + step);
    }
    if (QAction* a = command("redo")) {
        a->setEnabled(document_.canRedo());
        const QString step = StepCaption(document_.history().redoName());
        a->setText(step.isEmpty() ? Ui::tr("Redo") : Ui::tr("ازنو ") + step);
    }
    if (QAction* a = command("showAllRows"))
        a->setEnabled(document_.isFiltered());
    showTitle();
    if (recovery_)
        recovery_->setModified(document_.isModified());
    statusLine_->showTable(document_.encoding(), document_.form(), document_.grid());
    statusLine_->showTextEnd(document_.lines().textEnd(), document_.lines().unclosedQuote());
    if (document_.isFiltered())
        statusLine_->showFilter(document_.shownRows().size());
    else
        statusLine_->clearFilter();
    showCellStatus();
}

void MainWindow::showCellStatus()
{
    if (document_.isFiltered() && document_.shownRows().empty())
        statusLine_->showNoRow();
    else
        statusLine_->showCell(document_.grid(), document_.currentCol(), document_.currentRow());
}

void MainWindow::fitColumn(int col)
{
    if (col < 0 || col >= document_.grid().ColCount())
        return;
    ScreenLayout target(*this);
    const std::vector<int> widths =
        ComputeColumnWidths(document_.grid().WithColumn(col), target.metrics(), target.gridWidth());
    if (!widths.empty())
        grid_->showColumnWidth(col, widths.front());
}

void MainWindow::showSelectionStatus()
{
    if (!grid_->hasBlockSelection()) {
        statusLine_->clearSelection();
        return;
    }
    const GridWidget::Block block = grid_->selectedBlock();
    statusLine_->showSelection(
        block.cellCount(), FormatGroupedNumber(SumCells(document_.grid(), block.rows, block.firstCol, block.lastCol)));
}

bool MainWindow::settleUnsavedChanges()
{
    if (!document_.isModified())
        return true;
    QMessageBox box(QMessageBox::Question, QStringLiteral("Rasmik"), Ui::tr("تغییرات جدول ذخیره شود؟"),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, this);
    box.setInformativeText(captionText());
    box.setLayoutDirection(UiDirection());
    box.button(QMessageBox::Save)->setText(Ui::tr("ذخیره"));
    box.button(QMessageBox::Discard)->setText(Ui::tr("ذخیره نشود"));
    box.button(QMessageBox::Cancel)->setText(Ui::tr("انصراف"));
    box.setDefaultButton(QMessageBox::Save);
    box.setEscapeButton(QMessageBox::Cancel);
    const int answer = runUnsavedQuestion ? runUnsavedQuestion(box) : box.exec();
    if (answer == QMessageBox::Discard)
        return true;
    // Saved under another name, the changes are kept there too.
    if (answer == QMessageBox::Save)
        return saveGrid(0);
    return false;
}

QAction* MainWindow::command(const char* name) const
{
    return findChild<QAction*>(QString::fromLatin1(name), Qt::FindDirectChildrenOnly);
}

// The Edit menu's commands that work on the cursor or the selection: the
// window's own, without a method of the window each.
struct MainWindow::EditCommands {
    static void clearSelectedCells(MainWindow& w);
    static void renameCursorColumn(MainWindow& w);
    static void goToRow(MainWindow& w);
    static void pasteIntoCells(MainWindow& w);
    // Cells copied or dragged from another program, written from the cursor on.
    static void pasteData(MainWindow& w, const QMimeData& data);
    static void findAndReplace(MainWindow& w);
};

void MainWindow::buildMenu()
{
    using K = QKeySequence;
    const CommandSpec commands[] = {
        {.name = "openTable",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "Open"),
         .shortcut = K(Qt::Key_F3),
         .run = &MainWindow::openTable,
         .menu = Menu::File},
        {.name = "openPreviousFile",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "Pre File"),
         .shortcut = K(Qt::CTRL | Qt::Key_Left),
         .run = &MainWindow::openPreviousFile,
         .menu = Menu::File},
        {.name = "openNextFile",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "Next File"),
         .shortcut = K(Qt::CTRL | Qt::Key_Right),
         .run = &MainWindow::openNextFile,
         .menu = Menu::File},
        {.name = "chooseFont",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "Font"),
         .shortcut = K(Qt::CTRL | Qt::SHIFT | Qt::Key_F1),
         .run = &MainWindow::chooseFont,
         .menu = Menu::File},
        {.name = "printTable",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "Print"),
         .shortcut = K(Qt::CTRL | Qt::Key_P),
         .run = &MainWindow::printTable,
         .menu = Menu::File},
        {.name = "saveCurrentColumn",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "Save Current Column"),
         .run = &MainWindow::saveCurrentColumn,
         .menu = Menu::Extra},
        {.name = "saveCurrentColumnWithoutRepeat",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "Save Current Column without Repeat"),
         .run = &MainWindow::saveCurrentColumnWithoutRepeat,
         .menu = Menu::Extra},
        {.name = "pasteTable",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "Paste Table"),
         .shortcut = K(Qt::CTRL | Qt::SHIFT | Qt::Key_T),
         .run = &MainWindow::pasteTable,
         .menu = Menu::Extra,
         .separatorBefore = true},
        {.name = "saveRowForHeader",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "Save Current Row For Header"),
         .shortcut = K(Qt::ALT | Qt::SHIFT | Qt::Key_T),
         .run = &MainWindow::saveRowForHeader,
         .menu = Menu::Extra},
        {.name = "sumCurrentColumn",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "Sum Of Current Column"),
         .run = &MainWindow::sumCurrentColumn,
         .menu = Menu::Extra,
         .separatorBefore = true},
        {.name = "saveTable",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "Save"),
         .shortcut = K(Qt::CTRL | Qt::SHIFT | Qt::Key_S),
         .run = &MainWindow::saveTable,
         .menu = Menu::File,
         .separatorBefore = true},
        {.name = "saveWithRowNumbers",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "Save With Rows"),
         .shortcut = K(Qt::CTRL | Qt::ALT | Qt::SHIFT | Qt::Key_S),
         .run = &MainWindow::saveWithRowNumbers,
         .menu = Menu::File},
        {.name = "simpleNumber",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "Simple Number"),
         .shortcut = K(Qt::CTRL | Qt::SHIFT | Qt::Key_N),
         .run = &MainWindow::simpleNumber,
         .menu = Menu::File,
         .whileEditing = WhileEditing::Refused},
        {.name = "blankColumn",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "Delete Col"),
         .shortcut = K(Qt::CTRL | Qt::SHIFT | Qt::Key_Delete),
         .run = &MainWindow::blankColumn,
         .menu = Menu::File,
         .whileEditing = WhileEditing::Refused},
        {.name = "shiftColumnLeft",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "Shift Col N+1 to N"),
         .shortcut = K(Qt::CTRL | Qt::SHIFT | Qt::Key_Space),
         .run = &MainWindow::shiftColumnLeft,
         .menu = Menu::File,
         .whileEditing = WhileEditing::Refused},
        {.name = "saveColumnOrder",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "Save Col Order"),
         .run = &MainWindow::saveColumnOrder,
         .menu = Menu::File},
        {.name = "deleteColumnOrder",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "Delete Col Order"),
         .run = &MainWindow::deleteColumnOrder,
         .menu = Menu::File},
        {.name = "toggleMaximize",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "Maximize Window"),
         .run = &MainWindow::toggleMaximize,
         .menu = Menu::File,
         .separatorBefore = true,
         .checkable = true},
        // A check item, so that the menu shows whether Iran System text is shaped.
        {.name = "toggleShaping",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "Iran System Shaping"),
         .shortcut = K(Qt::CTRL | Qt::SHIFT | Qt::Key_D),
         .run = &MainWindow::toggleShaping,
         .menu = Menu::File,
         .checkable = true},
        {.name = "toggleEnglish",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "English Interface"),
         .run = &MainWindow::toggleEnglish,
         .menu = Menu::File,
         .checkable = true},
        {.name = "closeWindow",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "Close"),
         .shortcut = K(Qt::Key_Escape),
         .run = &MainWindow::closeWindow,
         .menu = Menu::File},
        // While a cell is edited, these keys undo the editor's typing instead.
        {.name = "undo",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "Undo"),
         .shortcut = K(Qt::CTRL | Qt::Key_Z),
         .run = &MainWindow::undo,
         .menu = Menu::Edit,
         .whileEditing = WhileEditing::Refused},
        {.name = "redo",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "Redo"),
         .shortcut = {K(Qt::CTRL | Qt::Key_Y), K(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)},
         .run = &MainWindow::redo,
         .menu = Menu::Edit,
         .whileEditing = WhileEditing::Refused},
        // While a cell is edited, the editor's own copy and select-all take the keys.
        {.name = "copyCells",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "Copy"),
         .shortcut = K(Qt::CTRL | Qt::Key_C),
         .run = &MainWindow::copyCells,
         .menu = Menu::Edit,
         .separatorBefore = true,
         .whileEditing = WhileEditing::Refused},
        {.name = "selectAllCells",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "Select All"),
         .shortcut = K(Qt::CTRL | Qt::Key_A),
         .run = &MainWindow::selectAllCells,
         .menu = Menu::Edit,
         .whileEditing = WhileEditing::Refused},
        {.name = "sortAscending",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "Sort Ascending"),
         .shortcut = K(Qt::Key_F6),
         .run = &MainWindow::sortAscending,
         .menu = Menu::Edit,
         .separatorBefore = true,
         .whileEditing = WhileEditing::Refused},
        {.name = "sortDescending",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "Sort Descending"),
         .shortcut = K(Qt::SHIFT | Qt::Key_F6),
         .run = &MainWindow::sortDescending,
         .menu = Menu::Edit,
         .whileEditing = WhileEditing::Refused},
        {.name = "filterRows",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "Filter"),
         .shortcut = K(Qt::CTRL | Qt::SHIFT | Qt::Key_F),
         .run = &MainWindow::filterRows,
         .menu = Menu::Edit,
         .separatorBefore = true},
        {.name = "showAllRows",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "Show All Rows"),
         .shortcut = K(Qt::CTRL | Qt::SHIFT | Qt::Key_R),
         .run = &MainWindow::showAllRows,
         .menu = Menu::Edit},
        {.name = "insertRow",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "درج ردیف"),
         .shortcut = K(Qt::CTRL | Qt::Key_Insert),
         .run = [](MainWindow& w) { w.document_.insertRow(false); },
         .menu = Menu::Edit,
         .separatorBefore = true,
         .whileEditing = WhileEditing::Refused},
        {.name = "insertRowBelow",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "درج ردیف در زیر"),
         .shortcut = K(Qt::CTRL | Qt::SHIFT | Qt::Key_Insert),
         .run = [](MainWindow& w) { w.document_.insertRow(true); },
         .menu = Menu::Edit,
         .whileEditing = WhileEditing::Refused},
        {.name = "insertColumn",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "درج ستون"),
         .shortcut = K(Qt::ALT | Qt::Key_Insert),
         .run = [](MainWindow& w) { w.document_.insertColumn(); },
         .menu = Menu::Edit,
         .whileEditing = WhileEditing::Refused},
        {.name = "pasteCells",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "چسباندن در خانه‌ها"),
         .shortcut = K(Qt::CTRL | Qt::Key_V),
         .run = [](MainWindow& w) { EditCommands::pasteIntoCells(w); },
         .menu = Menu::Edit,
         .whileEditing = WhileEditing::Refused},
        {.name = "clearCells",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "پاک کردن خانه‌ها"),
         .shortcut = K(Qt::Key_Delete),
         .run = [](MainWindow& w) { EditCommands::clearSelectedCells(w); },
         .menu = Menu::Edit,
         .whileEditing = WhileEditing::Refused},
        {.name = "findAndReplace",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "یافتن و جایگزینی"),
         .shortcut = K(Qt::CTRL | Qt::Key_H),
         .run = [](MainWindow& w) { EditCommands::findAndReplace(w); },
         .menu = Menu::Edit,
         .whileEditing = WhileEditing::Refused},
        {.name = "renameColumn",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "تغییر نام ستون"),
         .run = [](MainWindow& w) { EditCommands::renameCursorColumn(w); },
         .menu = Menu::Edit},
        {.name = "goToRow",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "رفتن به ردیف"),
         .shortcut = K(Qt::CTRL | Qt::Key_G),
         .run = [](MainWindow& w) { EditCommands::goToRow(w); },
         .menu = Menu::Edit,
         .separatorBefore = true},
        {.name = "openInTextEditor",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "Note Pad"),
         .run = &MainWindow::openInTextEditor,
         .menu = Menu::Bar},
        {.name = "exportToExcel",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "Excel"),
         .run = &MainWindow::exportToExcel,
         .menu = Menu::Bar},
        // Shortcuts only.
        {.name = "repaintGrid",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "Tabs"),
         .shortcut = K(Qt::CTRL | Qt::ALT | Qt::SHIFT | Qt::Key_T),
         .run = &MainWindow::repaintGrid,
         .menu = Menu::None},
        {.name = "fixCellSize",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "Fix Cell Size"),
         .shortcut = K(Qt::CTRL | Qt::ALT | Qt::Key_S),
         .run = &MainWindow::fixCellSize,
         .menu = Menu::None},
        {.name = "searchRows",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "Search"),
         .shortcut = K(Qt::CTRL | Qt::Key_F),
         .run = &MainWindow::searchRows,
         .menu = Menu::None},
        {.name = "searchAgain",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "Search Again"),
         .shortcut = K(Qt::Key_F4),
         .run = &MainWindow::searchAgain,
         .menu = Menu::None},
        {.name = "deleteRow",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "Delete Row"),
         .shortcut = K(Qt::CTRL | Qt::Key_Delete),
         .run = &MainWindow::deleteRow,
         .menu = Menu::None,
         .whileEditing = WhileEditing::Refused},
        {.name = "removeColumn",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "Delete Col"),
         .shortcut = K(Qt::ALT | Qt::Key_Delete),
         .run = &MainWindow::removeColumn,
         .menu = Menu::None,
         .whileEditing = WhileEditing::Refused},
        {.name = "showColumnValues",
         .caption = QT_TRANSLATE_NOOP("Rasmik", "Values"),
         .shortcut = K(Qt::CTRL | Qt::SHIFT | Qt::Key_Q),
         .run = &MainWindow::showColumnValues,
         .menu = Menu::None},
    };

    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("mainMenu"));
    QMenu* file = bar->addMenu(Ui::tr("File"));
    QMenu* edit = bar->addMenu(Ui::tr("Edit"));
    QMenu* extra = nullptr;
    for (const CommandSpec& c : commands) {
        auto* action = new QAction(Ui::tr(c.caption), this);
        action->setObjectName(QString::fromLatin1(c.name));
        action->setCheckable(c.checkable);
        if (!c.shortcut.keys.isEmpty()) {
            action->setShortcuts(c.shortcut.keys);
            action->setShortcutContext(Qt::WindowShortcut);
            addAction(action);
        }
        connect(action, &QAction::triggered, this,
                [this, run = c.run, whileEditing = c.whileEditing] { RunCommand(*this, run, whileEditing); });
        QMenu* menu = nullptr;
        if (c.menu == Menu::File) {
            menu = file;
        } else if (c.menu == Menu::Extra) {
            // The submenu stands in "File" where its first item comes.
            if (!extra)
                extra = file->addMenu(Ui::tr("Extra"));
            menu = extra;
        } else if (c.menu == Menu::Edit) {
            menu = edit;
        }
        if (menu) {
            if (c.separatorBefore)
                menu->addSeparator();
            menu->addAction(action);
        } else if (c.menu == Menu::Bar) {
            bar->addAction(action);
        }
    }
    shapingAction_ = command("toggleShaping");
    maximizeAction_ = command("toggleMaximize");
    command("toggleEnglish")->setChecked(UiEnglish());
    buildReopenMenu(*file);
    buildRecentMenu(*file);
}

void MainWindow::buildRecentMenu(QMenu& file)
{
    recentMenu_ = new QMenu(Ui::tr("Recent"), &file);
    recentMenu_->setObjectName(QStringLiteral("recentMenu"));
    file.insertMenu(command("openPreviousFile"), recentMenu_);
    connect(recentMenu_, &QMenu::aboutToShow, this, &MainWindow::fillRecentMenu);
    fillRecentMenu();
}

void MainWindow::fillRecentMenu()
{
    recentMenu_->clear();
    const std::vector<std::string> paths = LoadRecentTables(appFolder_ + RecentTablesFile);
    if (paths.empty()) {
        recentMenu_->addAction(Ui::tr("(none)"))->setEnabled(false);
        return;
    }
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const QString number = i + 1 < 10 ? QStringLiteral("&%1").arg(i + 1) : QStringLiteral("1&0");
        // Read left to right (the marks at both ends) from the number on, the
        // path inside its isolate whatever letters it holds; its own '&' is
        // no mnemonic.
        QAction* action = recentMenu_->addAction(
            QChar(0x200E) + number + QLatin1Char(' ') + QChar(0x2066)
            + PathToQString(paths[i]).replace(QLatin1Char('&'), QStringLiteral("&&")) + QChar(0x2069) + QChar(0x200E));
        const std::string path = paths[i];
        connect(action, &QAction::triggered, this, [this, path] { openRecent(path); });
    }
}

void MainWindow::openRecent(const std::string& path)
{
    if (!FileIsThere(path)) {
        ForgetRecentTable(appFolder_ + RecentTablesFile, path);
        QMessageBox box(
            QMessageBox::Information, QStringLiteral("Rasmik"),
            Ui::tr(
                "جدول «%1» دیگر در جای خود نیست؛ از فهرست جدول‌های اخیر برداشته شد.")
                .arg(PathText(path)),
            QMessageBox::Ok, this);
        box.button(QMessageBox::Ok)->setText(Ui::tr("تأیید"));
        box.setLayoutDirection(UiDirection());
        box.exec();
        fillRecentMenu();
        return;
    }
    openFile(path);
}

void MainWindow::rememberTable(const std::string& path, bool opened)
{
    if (path.empty())
        return;
    RememberRecentTable(appFolder_ + RecentTablesFile, path);
    if (!opened)
        return;
    // The desktop's list may be long: it is read and written off the
    // window's thread, one open after the other.
    if (bookmarking_.valid())
        bookmarking_.wait();
    try {
        bookmarking_ =
            std::async(std::launch::async, [path, file = RecentlyUsedFile()] { return AddToRecentlyUsed(path, file); });
    } catch (const std::system_error&) {
        AddToRecentlyUsed(path);
    }
}

void MainWindow::EditCommands::pasteIntoCells(MainWindow& w)
{
    if (const QMimeData* data = QGuiApplication::clipboard()->mimeData())
        pasteData(w, *data);
}

void MainWindow::EditCommands::pasteData(MainWindow& w, const QMimeData& data)
{
    std::vector<std::vector<std::string>> copied;
    if (data.hasText() && !data.text().isEmpty())
        copied = ClipboardCells(data.text().toStdString());
    else if (data.hasHtml())
        copied = HtmlTableCells(data.html());
    if (copied.empty())
        return;
    // Held as typing holds it: the nearest letter, else refused by name.
    const TextEncoding held = w.document_.grid().Encoding();
    for (auto& row : copied)
        for (std::string& cell : row) {
            const QString text = QString::fromStdString(cell);
            if (const auto refused = FirstCharacterNotHeld(text, held)) {
                QMessageBox::warning(&w, QStringLiteral("Rasmik"), persianCharacterRefused(*refused));
                return;
            }
            cell = FromQString(text, held);
        }
    const PastedBlock block = w.document_.pasteCells(copied);
    if (block.rows.empty())
        return;
    w.grid_->selectCells(block.rows.front(), block.rows.back(), block.firstCol, block.lastCol);
}

void MainWindow::EditCommands::findAndReplace(MainWindow& w)
{
    FindReplaceDialog dialog(&w);
    if (dialog.exec() != QDialog::Accepted || dialog.findText().isEmpty())
        return;
    // Both texts are held as typing holds them.
    const TextEncoding held = w.document_.grid().Encoding();
    for (const QString& text : {dialog.findText(), dialog.replaceText()})
        if (const auto refused = FirstCharacterNotHeld(text, held)) {
            QMessageBox::warning(&w, QStringLiteral("Rasmik"), persianCharacterRefused(*refused));
            return;
        }
    const std::size_t changed = w.document_.replaceInCells(
        FromQString(dialog.findText(), held), FromQString(dialog.replaceText(), held), dialog.wholeCells());
    w.statusLine_->showMessage(
        Ui::tr("%1 خانه تغییر کرد").arg(QString::fromStdString(FormatGroupedNumber(double(changed)))), 10000);
}

void MainWindow::EditCommands::clearSelectedCells(MainWindow& w)
{
    GridWidget::Block block;
    if (w.grid_->hasBlockSelection()) {
        block = w.grid_->selectedBlock();
    } else {
        block.rows = {w.document_.currentRow()};
        block.firstCol = block.lastCol = w.document_.currentCol();
    }
    w.document_.clearCells(block.rows, block.firstCol, block.lastCol);
}

void MainWindow::EditCommands::renameCursorColumn(MainWindow& w)
{
    const CoreGrid& g = w.document_.grid();
    const int col = w.document_.currentCol();
    if (col < 0 || col >= g.ColCount() || g.RowCount() == 0)
        return;
    const std::string name =
        askText(Ui::tr(texts::RenameColumnCaption), Ui::tr(texts::RenameColumnPrompt), g.Cell(col, 0), g.Encoding());
    if (!name.empty() && w.document_.renameColumn(name))
        w.grid_->refreshCells();
}

void MainWindow::EditCommands::goToRow(MainWindow& w)
{
    const std::string answer =
        askText(Ui::tr(texts::GoToRowCaption), Ui::tr(texts::GoToRowPrompt), "", w.document_.grid().Encoding());
    if (answer.empty())
        return;
    const int row = RowNumberOfAnswer(answer, w.document_.grid().Encoding());
    if (w.document_.goToRow(row))
        return;
    const int last = w.document_.grid().RowCount() - 1;
    const QString why = row >= 1 && row <= last
        ? Ui::tr("ردیف %1 با پالایه دیده نمی‌شود.").arg(row)
        : Ui::tr("شماره ردیف باید از 1 تا %1 باشد.").arg(last);
    QMessageBox box(QMessageBox::Information, QStringLiteral("Rasmik"), why, QMessageBox::Ok, &w);
    box.setLayoutDirection(UiDirection());
    box.button(QMessageBox::Ok)->setText(Ui::tr("تأیید"));
    box.exec();
}

void MainWindow::buildReopenMenu(QMenu& file)
{
    struct ReopenItem {
        const char* name;
        const char* caption;
        std::optional<TextEncoding> encoding;
        char separator;
    };
    const ReopenItem items[] = {
        {"reopenWindows1256", "Windows-1256", TextEncoding::Windows1256, 0},
        {"reopenUtf8", "UTF-8", TextEncoding::Utf8, 0},
        {"reopenUtf16LE", "UTF-16 LE", TextEncoding::Utf16LE, 0},
        {"reopenUtf16BE", "UTF-16 BE", TextEncoding::Utf16BE, 0},
        {"reopenComma", QT_TRANSLATE_NOOP("Rasmik", "Comma"), std::nullopt, ','},
        {"reopenSemicolon", QT_TRANSLATE_NOOP("Rasmik", "Semicolon"), std::nullopt, ';'},
        {"reopenTab", "TAB", std::nullopt, '\t'},
        {"reopenPipe", QT_TRANSLATE_NOOP("Rasmik", "Pipe"), std::nullopt, '|'},
    };
    // After "Next File": the table just opened is the one read wrongly.
    auto* menu = new QMenu(Ui::tr("Reopen As"), &file);
    menu->setObjectName(QStringLiteral("reopenMenu"));
    file.insertMenu(command("chooseFont"), menu);
    for (const ReopenItem& item : items) {
        if (item.separator == ',')
            menu->addSeparator();
        auto* action = new QAction(Ui::tr(item.caption), this);
        action->setObjectName(QString::fromLatin1(item.name));
        // Checked: how the open table was read.
        action->setCheckable(true);
        connect(menu, &QMenu::aboutToShow, action, [this, action, item] {
            const bool open = !document_.path().empty();
            action->setEnabled(open);
            action->setChecked(open
                               && (item.encoding ? *item.encoding == document_.encoding().encoding
                                                 : item.separator == document_.form().separator));
        });
        connect(action, &QAction::triggered, this, [this, item] {
            if (grid_->isEditing() && !grid_->commitOpenEdit())
                return;
            // What is not chosen stays as the table was read.
            ReadChoice choice;
            choice.encoding = item.encoding ? *item.encoding : document_.encoding().encoding;
            if (item.separator) {
                // A TAB-separated text table is read as always; TAB in a
                // comma-separated file keeps its quoting.
                const bool quoted = item.separator != '\t' || IsCsvPath(document_.path());
                choice.form = TableForm{item.separator, quoted};
            } else {
                choice.form = document_.form();
            }
            reopenAs(choice);
        });
        menu->addAction(action);
    }
}

void MainWindow::reopenAs(const ReadChoice& choice)
{
    // A workbook is never read as text.
    if (document_.path().empty() || !document_.sheetName().empty() || !settleUnsavedChanges())
        return;
    const std::string path = document_.path();
    openPath(path, choice);
}

int MainWindow::gridWidthForLayout()
{
    if (!isVisible()) {
        // Before the first show the layouts have not run yet.
        centralWidget()->resize(size().width(), size().height() - menuBar()->sizeHint().height());
        centralWidget()->layout()->activate();
    }
    return grid_->width();
}

void MainWindow::layOutAgain()
{
    ShownProgress shown(this, ReadingLabel());
    ScreenLayout target(*this);
    document_.layOut(target, shown.loadFn());
}

void MainWindow::showHeaderBlock()
{
    const HeaderBlock& block = document_.openedHeader();
    if (block.found && block.panelCount != 0) {
        headerStrip_->rebuildPanels(block.panelCount, block.labels, document_.lines().heldForm());
        if (firstHeaderPending_) {
            setWindowState(windowState() | Qt::WindowMaximized);
            firstHeaderPending_ = false;
        }
    }
    layoutHeader();
}

void MainWindow::layoutHeader()
{
    headerStrip_->layoutHeader(document_.headerPanelCount());
}

void MainWindow::showFileError(const FileError& error, FileOperation operation)
{
    if (needsMessage(error))
        QMessageBox::critical(this, QStringLiteral("Rasmik"), persianFileMessage(error, operation));
}

int MainWindow::chooseSheet(const std::vector<std::string>& names)
{
    if (runSheetChoice)
        return runSheetChoice(names);
    QStringList items;
    for (const std::string& name : names)
        items << QString::fromStdString(name);
    bool chosen = false;
    QInputDialog dialog(this);
    dialog.setLayoutDirection(UiDirection());
    dialog.setWindowTitle(QStringLiteral("Rasmik"));
    dialog.setLabelText(Ui::tr("این کتاب کار چند برگه دارد. کدام برگه باز شود؟"));
    dialog.setComboBoxItems(items);
    dialog.setComboBoxEditable(false);
    dialog.setOkButtonText(Ui::tr("باز کردن"));
    dialog.setCancelButtonText(Ui::tr("انصراف"));
    chosen = dialog.exec() == QDialog::Accepted;
    return chosen ? static_cast<int>(items.indexOf(dialog.textValue())) : -1;
}

bool MainWindow::openPath(const std::string& path, const ReadChoice& choice, bool offerRecords)
{
    if (offerRecords && !choice.encoding && !choice.form
        && offerRecord(CleanTablePath(AbsolutePath(path))) == RecordAnswer::Restored)
        return true;
    // A large table's column widths need the font's bounds: they are taken
    // while the file is read. A small table's cells are measured instead.
    if (struct stat st{}; ::stat(path.c_str(), &st) == 0 && st.st_size >= BoundsWorthFileBytes)
        PrepareTextMetrics(MeasuringFont(grid_->font()));
    FileStatus opened;
    // A workbook is known by its bytes, whatever its name.
    const bool workbook = !choice.encoding && !choice.form && FileLooksLikeWorkbook(path);
    {
        ShownProgress shown(this, ReadingLabel());
        ScreenLayout target(*this);
        if (workbook) {
            TableLines lines;
            std::string sheet;
            opened = ReadWorkbookTable(
                path, [this](const std::vector<std::string>& names) { return chooseSheet(names); }, lines, sheet,
                shown.fn());
            if (opened)
                opened = document_.openSheet(std::move(lines), AbsolutePath(path), sheet, target, shown.loadFn());
        } else {
            opened = document_.open(path, target, shown.loadFn(), choice);
        }
    }
    if (!opened) {
        showFileError(opened.error(), FileOperation::Open);
        return false;
    }
    showHeaderBlock();
    // The document's clean form of the path.
    setCaption(document_.path());
    rememberTable(document_.path(), true);
    return true;
}

MainWindow::RecordAnswer MainWindow::offerRecord(const std::string& path, std::string* tablePath)
{
    std::optional<FoundRecord> found;
    for (FoundRecord& record : LeftRecords(appFolder_))
        if (path.empty() || record.tablePath == path) {
            found = std::move(record);
            break;
        }
    if (!found)
        return RecordAnswer::None;
    if (tablePath)
        *tablePath = found->tablePath;
    RecordContent content;
    const FileStatus read = ReadRecoveryRecord(appFolder_, found->stem, content);
    FileIdentity now;
    const RecordFit fit = read ? FitOfRecord(content, &now) : RecordFit::Unusable;
    const bool usable = read && fit != RecordFit::Unusable;
    // A path reads left to right inside the Persian sentence.
    const QString table =
        content.base.emptyGrid && read ? Ui::tr("جدول تازه") : PathText(read ? content.base.path : found->tablePath);
    QString text =
        Ui::tr(
            "رسمیک پیش از ذخیره تغییرهای «%1» بسته شد و نسخه بازیابی آن‌ها مانده است.")
            .arg(table);
    QString more;
    if (!read)
        more = persianFileMessage(read.error(), FileOperation::Open);
    else if (fit == RecordFit::Separate)
        more = Ui::tr(
            "فایل از آن پس تغییر کرده است؛ تغییرها در جدولی جدا باز می‌شوند و روی فایل نوشته نمی‌شوند.");
    else if (fit == RecordFit::Unusable)
        more = Ui::tr(
            "فایل از آن پس تغییر کرده است و این تغییرها دیگر بر آن نمی‌نشینند.");
    QMessageBox box(QMessageBox::Question, QStringLiteral("Rasmik"), text,
                    usable ? QMessageBox::Yes | QMessageBox::No | QMessageBox::Discard
                           : QMessageBox::No | QMessageBox::Discard,
                    this);
    if (usable)
        box.button(QMessageBox::Yes)->setText(Ui::tr("بازگرداندن تغییرها"));
    box.button(QMessageBox::No)
        ->setText(content.base.emptyGrid && read ? Ui::tr("نگه داشتن برای بعد")
                                                 : Ui::tr("باز کردن فایل همان‌گونه که هست"));
    box.button(QMessageBox::Discard)->setText(Ui::tr("دور انداختن تغییرها"));
    box.setDefaultButton(usable ? QMessageBox::Yes : QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    box.setInformativeText(more);
    box.setLayoutDirection(UiDirection());
    const int answer = runRecoveryQuestion ? runRecoveryQuestion(box) : box.exec();
    if (answer == QMessageBox::Discard) {
        RemoveRecoveryRecord(appFolder_, found->stem);
        return RecordAnswer::Discarded;
    }
    if (answer != QMessageBox::Yes || !usable)
        return RecordAnswer::AsItIs;
    return restoreRecord(*found, content, fit, now) ? RecordAnswer::Restored : RecordAnswer::None;
}

bool MainWindow::restoreRecord(const FoundRecord& found, const RecordContent& content, RecordFit fit,
                               const FileIdentity& now)
{
    const EditBase& base = content.base;
    const std::string path = fit == RecordFit::Separate ? RecoveredTablePath(base.path) : base.path;
    PrepareTextMetrics(MeasuringFont(grid_->font()));
    FileStatus opened;
    std::size_t made = 0;
    bool whole = true;
    {
        ShownProgress shown(this, ReadingLabel());
        ScreenLayout target(*this);
        opened = document_.openRecorded(base, path, target, shown.loadFn());
        if (opened) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            whole = ReplayEdits(document_, content.edits, made);
            QApplication::restoreOverrideCursor();
        }
    }
    if (!opened) {
        showFileError(opened.error(), FileOperation::Open);
        return false;
    }
    document_.markRestored();
    // Rebuilt from its own bytes over a file that holds the last save: the
    // next save writes over that.
    if (fit == RecordFit::InPlace && base.bytes && base.sheet.empty() && now.known)
        document_.adoptDiskVersion(now);
    recovery_->takeOver(found.stem);
    if (fit == RecordFit::InPlace)
        rememberTable(document_.path(), true);
    showHeaderBlock();
    setCaption(document_.path().empty() ? std::string(StartCaption) : document_.path());
    showEditState();
    // Shown once the window is: a status bar hides its other texts for a
    // message only when they are visible (at start-up they are not yet).
    const QString told = whole ? Ui::tr("%1 تغییر ذخیره‌نشده بازگردانده شد.").arg(made)
                               : Ui::tr("نسخه بازیابی آسیب دیده بود؛ %1 تغییر نخست آن بازگردانده شد.").arg(made);
    QTimer::singleShot(0, this, [this, told] { statusLine_->showMessage(told, 10000); });
    return true;
}

void MainWindow::openTable()
{
    std::string path;
    if (!pendingPath_.empty()) {
        path = std::move(pendingPath_);
        pendingPath_.clear();
    } else {
        const std::unique_ptr<QFileDialog> dialog =
            MakeOpenDialog(this, document_.path().empty() ? QString() : PathToQString(document_.path()));
        if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
            return;
        path = PathFromQString(dialog->selectedFiles().front());
    }
    if (settleUnsavedChanges())
        openPath(path);
}

bool MainWindow::openFile(const std::string& path)
{
    return settleUnsavedChanges() && openSettled(path);
}

bool MainWindow::openSettled(const std::string& path)
{
    // A command-line table that has not been opened yet comes first.
    if (!pendingPath_.empty()) {
        const std::string pending = std::move(pendingPath_);
        pendingPath_.clear();
        return openPath(pending);
    }
    return openPath(path);
}

void MainWindow::openPreviousFile()
{
    const std::string next = document_.neighbourFile(-1);
    if (!next.empty())
        openFile(next);
}

void MainWindow::openNextFile()
{
    const std::string next = document_.neighbourFile(+1);
    if (!next.empty())
        openFile(next);
}

void MainWindow::closeWindow()
{
    close();
}

void MainWindow::repaintGrid()
{
    grid_->refreshCells();
}

void MainWindow::toggleShaping()
{
    // The action's own check state flips when it triggers.
    grid_->setShaping(shapingAction_->isChecked());
}

void MainWindow::setGridFont(const QFont& font, std::int32_t colour)
{
    gridFontColour_ = colour;
    grid_->setFont(font);
    grid_->horizontalHeader()->setFont(font);
    QPalette pal = grid_->palette();
    pal.setColor(QPalette::Text, ColourOfValue(colour, palette().color(QPalette::WindowText)));
    grid_->setPalette(pal);
}

void MainWindow::chooseFont()
{
    FontChooser chooser(this);
    fontDialogFont_ = grid_->font();
    chooser.setSelectedFont(fontDialogFont_);
    chooser.setColourValue(gridFontColour_);
    const int answer = runFontDialog ? runFontDialog(chooser) : chooser.exec();
    // The new font lays the table out again.
    if (answer != QDialog::Accepted || !settleUnsavedChanges())
        return;
    fontDialogFont_ = chooser.selectedFont();
    SaveTextRetry(FontToText(RecordOfFont(fontDialogFont_, chooser.colourValue())), appFolder_ + FontFileName);
    setGridFont(fontDialogFont_, chooser.colourValue());
    headerStrip_->setFont(fontDialogFont_);
    grid_->refreshCells();
    layoutHeader();
    layOutAgain();
}

void MainWindow::saveColumnOrder()
{
    document_.saveColumnOrder();
}

void MainWindow::deleteColumnOrder()
{
    if (!settleUnsavedChanges())
        return;
    ShownProgress shown(this, ReadingLabel());
    ScreenLayout target(*this);
    document_.deleteColumnOrder(target, shown.loadFn());
}

void MainWindow::toggleEnglish()
{
    const bool english = command("toggleEnglish")->isChecked();
    Settings().SetValue(LanguageKey, english ? "en" : "fa");
    // Said in the language chosen, and in the one in use.
    QMessageBox box(QMessageBox::Information, QStringLiteral("Rasmik"),
                    english ? QStringLiteral("The interface is English from the next start.\n"
                                             "رابط برنامه از اجرای بعدی انگلیسی است.")
                            : QStringLiteral("رابط برنامه از اجرای بعدی فارسی است.\n"
                                             "The interface is Persian from the next start."),
                    QMessageBox::Ok, this);
    box.setLayoutDirection(english ? Qt::LeftToRight : Qt::RightToLeft);
    box.exec();
}

void MainWindow::toggleMaximize()
{
    // The check mark flipped when the item triggered.
    if (maximizeAction_->isChecked())
        setWindowState(windowState() | Qt::WindowMaximized);
    else
        setWindowState(windowState() & ~Qt::WindowMaximized);
    Settings().Toggle("Maximize");
}

bool MainWindow::confirmSavingCutTable(const TextEnd& end)
{
    const auto grouped = [](std::uint64_t n) {
        return QString::fromStdString(FormatGroupedNumber(static_cast<double>(n)));
    };
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Rasmik"),
                    Ui::tr("این جدول در بایت %1 فایل (نویسه NUL) بریده شده است و %2 بایت پایانی فایل در آن نیست.")
                        .arg(grouped(end.cutAt + 1), grouped(end.bytesLeftOut())),
                    QMessageBox::Save | QMessageBox::Cancel, this);
    box.setInformativeText(
        Ui::tr(
            "ذخیره روی همین فایل این %1 بایت را از فایل پاک می‌کند. ذخیره شود؟")
            .arg(grouped(end.bytesLeftOut())));
    box.setLayoutDirection(UiDirection());
    box.button(QMessageBox::Save)->setText(Ui::tr("ذخیره"));
    box.button(QMessageBox::Cancel)->setText(Ui::tr("انصراف"));
    box.setDefaultButton(QMessageBox::Cancel);
    box.setEscapeButton(QMessageBox::Cancel);
    return box.exec() == QMessageBox::Save;
}

int MainWindow::askAboutDisk(QMessageBox& box)
{
    box.setLayoutDirection(UiDirection());
    box.setInformativeText(box.informativeText().isEmpty() ? captionText() : box.informativeText());
    return runDiskQuestion ? runDiskQuestion(box) : box.exec();
}

MainWindow::DiskAnswer MainWindow::settleDiskBeforeSave()
{
    FileIdentity now;
    if (document_.diskState(&now) != DiskState::Changed)
        return DiskAnswer::Save;
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Rasmik"),
                    Ui::tr("فایل این جدول پس از باز شدن یا آخرین ذخیره با برنامه دیگری تغییر کرده است."),
                    QMessageBox::NoButton, this);
    box.setInformativeText(Ui::tr(
        "ذخیره روی آن، نسخه تازه را به فایل پشتیبان (.Bak) می‌برد. ذخیره روی همین فایل شود؟"));
    QPushButton* over = box.addButton(Ui::tr("ذخیره روی همین فایل"), QMessageBox::AcceptRole);
    QPushButton* elsewhere = box.addButton(Ui::tr("ذخیره با نام دیگر"), QMessageBox::ActionRole);
    QPushButton* cancel = box.addButton(Ui::tr("انصراف"), QMessageBox::RejectRole);
    box.setDefaultButton(elsewhere);
    box.setEscapeButton(cancel);
    askAboutDisk(box);
    if (box.clickedButton() == over) {
        document_.adoptDiskVersion(now);
        return DiskAnswer::Save;
    }
    return box.clickedButton() == elsewhere ? DiskAnswer::SaveElsewhere : DiskAnswer::Cancel;
}

void MainWindow::checkTableOnDisk()
{
    if (checkingDisk_ || document_.path().empty() || QApplication::activeModalWidget())
        return;
    checkingDisk_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{checkingDisk_};
    FileIdentity now;
    const DiskState state = document_.diskState(&now);
    if (state == DiskState::Unchanged) {
        missingTold_ = false;
        return;
    }
    if (state == DiskState::Missing) {
        if (missingTold_)
            return;
        missingTold_ = true;
        QMessageBox box(
            QMessageBox::Information, QStringLiteral("Rasmik"),
            Ui::tr(
                "فایل این جدول پاک یا جابه‌جا شده است. «ذخیره» آن را دوباره در همان جا می‌نویسد."),
            QMessageBox::Ok, this);
        box.button(QMessageBox::Ok)->setText(Ui::tr("تأیید"));
        askAboutDisk(box);
        return;
    }
    missingTold_ = false;
    // With unsaved changes the save asks, before it writes.
    if (document_.isModified() || now.hash == declinedDiskHash_)
        return;
    QMessageBox box(QMessageBox::Question, QStringLiteral("Rasmik"),
                    Ui::tr("فایل این جدول با برنامه دیگری تغییر کرده است. نسخه تازه باز شود؟"),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.button(QMessageBox::Yes)->setText(Ui::tr("باز کردن نسخه تازه"));
    box.button(QMessageBox::No)->setText(Ui::tr("نگه داشتن همین"));
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    if (askAboutDisk(box) == QMessageBox::Yes) {
        const std::string path = document_.path();
        openPath(path);
    } else {
        declinedDiskHash_ = now.hash;
    }
}

namespace {

// The local files of a drop, in its order.
std::vector<std::string> droppedFiles(const QMimeData& data)
{
    std::vector<std::string> files;
    if (data.hasUrls())
        for (const QUrl& url : data.urls())
            if (url.isLocalFile())
                files.push_back(PathFromQString(url.toLocalFile()));
    return files;
}

} // namespace

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    const QMimeData& data = *event->mimeData();
    if (!droppedFiles(data).empty() || data.hasText() || data.hasHtml())
        event->acceptProposedAction();
}

void MainWindow::dragMoveEvent(QDragMoveEvent* event)
{
    event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event)
{
    const QMimeData& data = *event->mimeData();
    const std::vector<std::string> files = droppedFiles(data);
    if (!files.empty()) {
        event->acceptProposedAction();
        // Opened once the drop has returned: the program it came from is not
        // held while the table is read or a question waits.
        QTimer::singleShot(0, this, [this, files] {
            if (openFile(files.front()) && files.size() > 1)
                statusLine_->showMessage(
                    Ui::tr("%1 فایل رها شد؛ تنها نخستین آن‌ها باز شد.")
                        .arg(files.size()),
                    10000);
        });
        return;
    }
    // Text goes into the cells from the one it was dropped on, as a paste.
    const QModelIndex cell = grid_->indexAt(grid_->viewport()->mapFrom(this, event->position().toPoint()));
    if (!cell.isValid() || !(data.hasText() || data.hasHtml())) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    grid_->setCurrentIndex(cell);
    EditCommands::pasteData(*this, data);
}

void MainWindow::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        QTimer::singleShot(0, this, &MainWindow::checkTableOnDisk);
}

bool MainWindow::saveGrid(std::int64_t rowNumberBase)
{
    std::optional<TableSaveChoice> choice;
    for (;;) {
        choice = PromptSaveTable(this, document_.saveNameOffered(), document_.encoding(), document_.form());
        if (!choice)
            return false;
        if (!SameFile(choice->path, document_.path()))
            break;
        const DiskAnswer answer = settleDiskBeforeSave();
        if (answer == DiskAnswer::Cancel)
            return false;
        if (answer == DiskAnswer::Save)
            break;
    }
    const TextEnd& end = document_.lines().textEnd();
    if (end.cut && SameFile(choice->path, document_.path()) && !confirmSavingCutTable(end))
        return false;
    FileStatus r;
    {
        ShownProgress shown(this, Ui::tr("در حال ذخیره جدول..."));
        r = document_.save(choice->path, rowNumberBase, shown.fn(), choice->encoding, choice->form);
    }
    // A cancelled save left the file and its backup as they were.
    if (!r)
        showFileError(r.error(), FileOperation::Save);
    else if (r.hasWarning())
        QMessageBox::warning(this, QStringLiteral("Rasmik"), persianBackupMessage(r.warning()));
    if (r.ok())
        rememberTable(CleanTablePath(choice->path), false);
    // A table read from a workbook is new: once saved, it is the file it was saved as.
    if (r.ok() && rowNumberBase == 0 && !document_.sheetName().empty())
        openPath(choice->path);
    return r.ok();
}

void MainWindow::saveTable()
{
    saveGrid(0);
}

void MainWindow::saveWithRowNumbers()
{
    const std::string answer = askText(QString(), Ui::tr(texts::StartCodePrompt), "");
    saveGrid(RowNumberBaseFromAnswer(answer));
}

void MainWindow::simpleNumber()
{
    document_.simpleNumber();
    grid_->refreshCells();
}

void MainWindow::blankColumn()
{
    document_.blankColumn();
    grid_->refreshCells();
}

void MainWindow::shiftColumnLeft()
{
    document_.shiftColumnLeft();
    grid_->refreshCells();
}

void MainWindow::fixCellSize()
{
    const std::string answer =
        askText(Ui::tr(texts::FixCellSizeCaption), Ui::tr(texts::FixCellSizePrompt), "\xFD" + document_.cellWidths());
    if (answer.empty() || !settleUnsavedChanges())
        return;
    ShownProgress shown(this, ReadingLabel());
    ScreenLayout target(*this);
    document_.fixCellSize(answer, target, shown.loadFn());
}

void MainWindow::searchRows()
{
    const std::string answer = askText(Ui::tr(texts::SearchCaption), Ui::tr(texts::SearchPrompt),
                                       document_.searchText(), document_.grid().Encoding());
    if (answer.empty())
        return;
    document_.searchRows(answer);
    grid_->refreshCells();
}

void MainWindow::searchAgain()
{
    document_.searchAgain();
    grid_->refreshCells();
}

void MainWindow::deleteRow()
{
    document_.deleteRow();
}

void MainWindow::removeColumn()
{
    document_.removeColumn();
}

void MainWindow::printTable()
{
    fontDialogFont_ = grid_->font();
    // The title is kept in Windows-1256 when it fits there, else in UTF-8; it
    // is asked for in UTF-8, so that nothing typed is lost whatever the table.
    const std::string stored = LoadPrintTitle();
    std::string previous;
    AppendHeldAs(stored, HeldForm(DetectEncoding(stored).encoding), TextEncoding::Utf8, previous);
    const std::string title =
        askText(Ui::tr(texts::PrintCaption), Ui::tr(texts::PrintPrompt), previous, TextEncoding::Utf8);
    std::string toStore;
    if (!AppendHeldAs(title, TextEncoding::Utf8, TextEncoding::Windows1256, toStore))
        toStore = title;
    SavePrintTitle(toStore);
    // Let the window repaint where the title dialog was before the pages are made.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    document_.readShownGrid([&](const CoreGrid& shown) {
        PrintGrid(printReport_, shown, fontDialogFont_, QString::fromUtf8(title.c_str()), this);
    });
}

void MainWindow::saveColumnToFile(bool withoutRepeat)
{
    const std::string path = PromptSaveFileName(this, "", "", "", "*.txt", "Text File|*.txt");
    if (path.empty())
        return;
    const FileStatus r = document_.saveCurrentColumn(path, withoutRepeat);
    if (!r)
        showFileError(r.error(), FileOperation::Save);
}

void MainWindow::saveCurrentColumn()
{
    saveColumnToFile(false);
}

void MainWindow::saveCurrentColumnWithoutRepeat()
{
    saveColumnToFile(true);
}

void MainWindow::pasteTable()
{
    const PastedText copied = ReadClipboardText();
    const auto lines = TableDocument::pasteFileLines(copied.text, copied.held, ExeFolder());
    // The table shown may be the paste file itself: it is saved or let go
    // before the new paste replaces the file, and a cancel writes nothing.
    if (!lines || !settleUnsavedChanges())
        return;
    const PasteOutcome paste = TableDocument::writePasteLines(*lines, ExeFolder());
    if (paste.kind == PasteOutcome::Kind::Failed)
        showFileError(paste.error, FileOperation::Save);
    else
        openSettled(paste.path);
}

void MainWindow::saveRowForHeader()
{
    document_.saveRowForHeader(ExeFolder());
}

void MainWindow::showColumnValues()
{
    // Shown in a text editor, which reads UTF-8 whatever the table is in.
    std::vector<std::string> values = document_.distinctValuesOfCurrentColumn();
    for (std::string& v : values) {
        std::string utf8;
        AppendHeldAs(v, document_.grid().Encoding(), TextEncoding::Utf8, utf8);
        v = std::move(utf8);
    }
    ShowListInNotepad(ExeFolder() + document_.valuesFileName(), values);
}

void MainWindow::sumCurrentColumn()
{
    const std::string total = FormatGroupedNumber(document_.sumCurrentColumn());
    QMessageBox::information(this, QStringLiteral("Rasmik"), QString::fromStdString(total));
}

void MainWindow::openInTextEditor()
{
    // Without a table the caption is the program's name, not a file.
    if (caption_ == StartCaption)
        return;
    // The caption's bytes: a file name need not be valid UTF-8.
    OpenInTextEditor(caption_);
}

void MainWindow::exportToExcel()
{
    const std::string path =
        PromptSaveFileName(this, Ui::tr(texts::ExcelSaveTitle).toStdString(), "", "", "*.xlsx", "Excel|*.xlsx");
    if (path.empty())
        return;
    FileStatus r;
    {
        ShownProgress shown(this, Ui::tr("در حال نوشتن فایل اکسل..."));
        if (document_.lines().empty()) {
            r = FileStatus(FileErrorCode::EmptyTable, path);
        } else if (!document_.sheetName().empty() && SameFile(path, document_.path())) {
            // The workbook the table was read from keeps its sheets, formats and formulas.
            r = FileStatus(FileErrorCode::OverWorkbook, path);
        } else {
            // What the grid shows: its cells in its column order, the rows that
            // show, read as the grid reads (its direction, its columns' widths).
            r = document_.readShownGrid([&](const CoreGrid& shownGrid) {
                return ExportAndOpenWorkbook(shownGrid, "Sheet1", path, shown.fn(), SheetLookOfGrid(shownGrid, true));
            });
        }
    }
    if (!r)
        showFileError(r.error(), FileOperation::Workbook);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && document_.closeOnKey()) {
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

void MainWindow::undo()
{
    document_.undo();
}

void MainWindow::redo()
{
    document_.redo();
}

void MainWindow::copyCells()
{
    const GridWidget::Block block = grid_->selectedBlock();
    const CopiedCells copied = CopyCells(document_.grid(), block.rows, block.firstCol, block.lastCol);
    WriteClipboardCells(copied.text, copied.html);
}

void MainWindow::sortAscending()
{
    document_.sortRows(false);
}

void MainWindow::sortDescending()
{
    document_.sortRows(true);
}

void MainWindow::filterRows()
{
    const std::string answer = askText(Ui::tr(texts::FilterCaption), Ui::tr(texts::FilterPrompt),
                                       document_.filterText(), document_.grid().Encoding());
    if (answer.empty())
        return;
    document_.filterRows(answer);
}

void MainWindow::showAllRows()
{
    document_.showAllRows();
}

void MainWindow::selectAllCells()
{
    grid_->selectAll();
}

bool MainWindow::closeForSessionEnd(bool mayAsk)
{
    // Without leave to ask, the session ends as its manager decides; the
    // changes stay in their record for the next start.
    if (!mayAsk)
        recovery_->keepOnExit();
    if (!grid_->commitOpenEdit() && mayAsk)
        return false;
    return !mayAsk || close();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Esc, the menu, the window manager's close button, the header block's
    // close-on-key and the end of the session all come here; the edit open
    // in a cell is part of the table the question is about.
    // An edit its encoding cannot hold stays open with its message.
    if (!grid_->commitOpenEdit()) {
        event->ignore();
        return;
    }
    if (settleUnsavedChanges())
        event->accept();
    else
        event->ignore();
}

void MainWindow::resizeEvent(QResizeEvent* e)
{
    QMainWindow::resizeEvent(e);
    layoutHeader();
}

} // namespace rasmik
