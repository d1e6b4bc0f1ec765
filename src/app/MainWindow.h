#pragma once
// The main window: the open table's grid, the header strip above it and the
// menu with every command. The table itself is the window's TableDocument;
// the window turns events into its operations and shows what it holds.

#include "app/ErrorMessages.h"
#include "app/GridWidget.h"
#include "app/HeaderStrip.h"
#include "app/StartUp.h"
#include "app/StatusLine.h"
#include "print/ReportRenderer.h"
#include "table/FolderFiles.h"
#include "table/FontRecord.h"
#include "table/RecoveryRecord.h"
#include "table/TableDocument.h"

#include <QAction>
#include <QFont>
#include <QMainWindow>

#include <functional>
#include <future>
#include <memory>
#include <string>
#include <vector>

class QMenu;
class QMessageBox;
class QTimer;

namespace rasmik {
class FontChooser;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    // Runs the start-up sequence; args are the program arguments after the
    // program name (native bytes).
    explicit MainWindow(const std::vector<std::string>& args = {}, QWidget* parent = nullptr);
    ~MainWindow() override;

    const TableDocument& document() const { return document_; }
    GridWidget* grid() const { return grid_; }
    HeaderStrip* headerStrip() const { return headerStrip_; }
    StatusLine* statusLine() const { return statusLine_; }
    // The command's action by its name ("openTable", "searchRows", ...).
    QAction* command(const char* name) const;
    // The caption as held (bytes); the window title shows it, with the
    // modified mark while the table has unsaved changes.
    const std::string& caption() const { return caption_; }
    // Whether the start-up open of the command line's file failed.
    bool startupOpenFailed() const { return startupOpenFailed_; }
    // The grid font's colour as "Font.fnt" keeps it.
    std::int32_t gridFontColour() const { return gridFontColour_; }
    // The last print's report, kept so that its preview can print again.
    const GridReport& printReport() const { return printReport_; }

    // Opens path without the dialog, as "Pre File", "Next File" and "Paste
    // Table" do; false when it was not opened (the table shown stays).
    bool openFile(const std::string& path);

    // The desktop session is ending: the open edit goes into its cell and,
    // when the session manager lets the program ask (mayAsk), the window
    // closes as its close button closes it, asking about unsaved changes
    // first. False when the user chose to stay: the logout is to be cancelled.
    bool closeForSessionEnd(bool mayAsk);

    // ---- the commands ----
    void openTable();
    void openPreviousFile();
    void openNextFile();
    void closeWindow();
    void repaintGrid();
    void toggleShaping();
    void chooseFont();
    void saveColumnOrder();
    void deleteColumnOrder();
    void toggleMaximize();
    // The interface in English or Persian from the next start, remembered
    // in the settings.
    void toggleEnglish();
    void saveTable();
    void saveWithRowNumbers();
    void simpleNumber();
    void blankColumn();
    void shiftColumnLeft();
    void fixCellSize();
    void searchRows();
    void searchAgain();
    void deleteRow();
    void removeColumn();
    void printTable();
    void saveCurrentColumn();
    void saveCurrentColumnWithoutRepeat();
    void pasteTable();
    void saveRowForHeader();
    void showColumnValues();
    void sumCurrentColumn();
    void openInTextEditor();
    void exportToExcel();
    void undo();
    void redo();
    void copyCells();
    void selectAllCells();
    void sortAscending();
    void sortDescending();
    void filterRows();
    void showAllRows();

    // Hook for tests: runs the Font command's dialog; by default exec().
    std::function<int(FontChooser&)> runFontDialog;
    // Hook for tests: answers the question asked before unsaved changes
    // would be lost, given the question; returns QMessageBox::Save, Discard
    // or Cancel. By default exec().
    std::function<int(QMessageBox&)> runUnsavedQuestion;
    // Hook for tests: runs a question about the table's file changed on
    // disk, given the box; returns what exec() would. By default exec().
    std::function<int(QMessageBox&)> runDiskQuestion;
    // Hook for tests: picks the sheet of a workbook of several, given their
    // names; the index, or -1 for none. By default a list to choose from.
    std::function<int(const std::vector<std::string>&)> runSheetChoice;
    // Hook for tests: answers the question about a recovery record left by a
    // program that ended before its changes were saved; returns
    // QMessageBox::Yes (restore), No (open the file as it is) or Discard.
    // By default exec().
    std::function<int(QMessageBox&)> runRecoveryQuestion;
    // The record of the open table's unsaved changes.
    RecoveryRecorder& recovery() const { return *recovery_; }

    // Looks whether another program changed, deleted or moved the table's
    // file and says so; without unsaved changes it offers to open the new
    // version. Runs whenever the window comes back into focus.
    void checkTableOnDisk();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    // A table file dropped on the window opens as Open does; text dropped
    // on a cell is pasted there as Ctrl+V pastes.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    class ScreenLayout;
    // Before a save over the table whose file another program changed: the
    // user's choice of writing over the newer file, another name, or none.
    enum class DiskAnswer { Save, SaveElsewhere, Cancel };
    DiskAnswer settleDiskBeforeSave();
    int askAboutDisk(QMessageBox& box);
    int chooseSheet(const std::vector<std::string>& names);
    // A record left for path (empty: the newest left for any table) is
    // asked about: restored from, its table to be opened as it is (the
    // record kept), or thrown away. None when there is none, or its
    // restore failed. tablePath receives the record's table.
    enum class RecordAnswer { None, Restored, AsItIs, Discarded };
    RecordAnswer offerRecord(const std::string& path, std::string* tablePath = nullptr);
    bool restoreRecord(const FoundRecord& found, const RecordContent& content, RecordFit fit, const FileIdentity& now);
    bool checkingDisk_ = false;
    // The newer version the user chose not to open, and whether a missing
    // file has been told: neither is asked about again.
    std::uint64_t declinedDiskHash_ = 0;
    bool missingTold_ = false;
    void buildMenu();
    // File > "Reopen As": the open table read again in another encoding or
    // with another separator.
    void buildReopenMenu(QMenu& file);
    // File > "Recent": the tables opened or saved last, filled as it opens.
    void buildRecentMenu(QMenu& file);
    void fillRecentMenu();
    void openRecent(const std::string& path);
    // The table at path was opened (or saved there): first in "Recent", and
    // when opened, in the desktop's recently used files.
    void rememberTable(const std::string& path, bool opened);
    void reopenAs(const ReadChoice& choice);
    // The commands of the command table that have no method of their own.
    struct EditCommands;
    void setCaption(const std::string& caption);
    // The caption as text, and the title made of it.
    QString captionText() const;
    void showTitle();
    // Undo, Redo, the title and the status bar after the document's history changed.
    void showEditState();
    // The status bar's current cell, and its selected block a moment after
    // the selection stops changing.
    void showCellStatus();
    void showSelectionStatus();
    // As wide as the column's widest text, measured as a layout measures.
    void fitColumn(int col);
    // Asks whether to save unsaved changes before the table is closed or
    // replaced, and saves when told to; false when the user cancelled
    // (the question or the save).
    bool settleUnsavedChanges();
    int gridWidthForLayout();
    // Opens a table and shows it, or reports why it could not be opened.
    // A record left for it is asked about first, unless offerRecords is false.
    bool openPath(const std::string& path, const ReadChoice& choice = {}, bool offerRecords = true);
    // openFile once the table shown has been saved or let go.
    bool openSettled(const std::string& path);
    // Lays the table out again for the grid's font and width.
    void layOutAgain();
    // The header strip after an open: the new block's panels, or none.
    void showHeaderBlock();
    void layoutHeader();
    // False when the save was cancelled or failed.
    bool saveGrid(std::int64_t rowNumberBase);
    // Asks before a save over a table that a NUL cut off; true for Save.
    bool confirmSavingCutTable(const TextEnd& end);
    void saveColumnToFile(bool withoutRepeat);
    // Applies a font to the grid, its cell editor and the header strip.
    void setGridFont(const QFont& font, std::int32_t colour);
    // Tells the user why a file could not be read or written.
    void showFileError(const FileError& error, FileOperation operation);

    TableDocument document_;
    std::unique_ptr<RecoveryRecorder> recovery_;
    GridReport printReport_;
    GridWidget* grid_ = nullptr;
    HeaderStrip* headerStrip_ = nullptr;
    StatusLine* statusLine_ = nullptr;
    QTimer* selectionStatusTimer_ = nullptr;
    QAction* shapingAction_ = nullptr;
    QAction* maximizeAction_ = nullptr;
    QMenu* recentMenu_ = nullptr;
    std::string appFolder_;
    // The command line's table, opened at start-up or by the next Open.
    std::string pendingPath_;
    std::string caption_;
    // The Font dialog's font: the program's current font.
    QFont fontDialogFont_;
    std::int32_t gridFontColour_ = WindowTextColour;
    // The window is maximized at the first header block with panels it shows.
    bool firstHeaderPending_ = true;
    bool startupOpenFailed_ = false;
    // The desktop's recently-used list being written; waited for on the way out.
    std::future<bool> bookmarking_;
};

} // namespace rasmik
