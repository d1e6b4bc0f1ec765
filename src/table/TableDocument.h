#pragma once
// The open table: its lines, the grid laid out from them, the fixed field
// widths of its ".cfg", the header block, the remembered column orders, the
// tables of its folder and the last search. Every change to the grid goes
// through this class, so that whoever shows it only reads it.

#include "table/CoreGrid.h"
#include "table/EditRecord.h"
#include "table/FolderFiles.h"
#include "table/SaveLines.h"
#include "table/TableLayout.h"
#include "table/TableLines.h"
#include "table/TextMetrics.h"
#include "table/UndoHistory.h"
#include "text/TextFiles.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace rasmik {

// The steps of opening or laying out a table, in order. Only Reading and
// Cells can be cancelled; once the cells are in place the layout finishes.
enum class LoadStage { Reading, Cells, Widths };
using LoadProgressFn = std::function<bool(LoadStage stage, std::uint64_t done, std::uint64_t total)>;

// What the layout needs of the screen the grid is shown on. Asked only once
// the cells are in place, so that the font's measures can be made while the
// file is still being read.
class LayoutTarget {
public:
    virtual ~LayoutTarget() = default;
    virtual const TextMetrics& metrics() = 0;
    // The grid's width in pixels: no column is wider than 0.8 of it.
    virtual int gridWidth() = 0;
    // False where nothing reads the column widths (a conversion to text or to
    // a workbook): the cells are laid out and the widths keep their defaults.
    virtual bool wantsWidths() const { return true; }
};

// A target of a known font and width.
class FixedLayoutTarget final : public LayoutTarget {
public:
    FixedLayoutTarget(const TextMetrics& metrics, int gridWidth, bool wantsWidths = true)
        : metrics_(metrics), gridWidth_(gridWidth), wantsWidths_(wantsWidths)
    {
    }
    const TextMetrics& metrics() override { return metrics_; }
    int gridWidth() override { return gridWidth_; }
    bool wantsWidths() const override { return wantsWidths_; }

private:
    const TextMetrics& metrics_;
    int gridWidth_;
    bool wantsWidths_;
};

// What "Paste Table" made of the clipboard.
struct PasteOutcome {
    enum class Kind { NothingToPaste, Written, Failed };
    Kind kind = Kind::NothingToPaste;
    std::string path; // the paste file
    FileError error;  // why, when Failed
};

// Told of every change to the grid, before and after it, so that a view
// over the grid can keep its own picture of it in step.
class TableObserver {
public:
    virtual ~TableObserver() = default;
    // A new grid replaces the whole one (open, layout).
    virtual void gridAboutToBeReplaced() = 0;
    virtual void gridReplaced() = 0;
    virtual void rowAboutToBeRemoved(int row) = 0;
    virtual void rowRemoved(int row) = 0;
    virtual void columnAboutToBeRemoved(int col) = 0;
    virtual void columnRemoved(int col) = 0;
    // A row or column put back (undo, redo): the ones from there on move on by one.
    virtual void rowAboutToBeInserted(int row) = 0;
    virtual void rowInserted(int row) = 0;
    virtual void columnAboutToBeInserted(int col) = 0;
    virtual void columnInserted(int col) = 0;
    // Column from now stands at to, with its width; those between moved by one.
    virtual void columnMoved(int from, int to) = 0;
    // One cell changed.
    virtual void cellChanged(int col, int row) = 0;
    // Cells of the columns first..last changed, the shape did not.
    virtual void cellsChanged(int firstCol, int lastCol) = 0;
    // The document put the cursor on a cell (a command, undo, redo), not the
    // view: the view shows it there.
    virtual void cursorMoved() { }
};

// The cells a paste wrote: its grid rows, in order, and its columns.
struct PastedBlock {
    std::vector<int> rows;
    int firstCol = 0;
    int lastCol = -1;
};

class TableDocument {
public:
    TableDocument() = default;
    TableDocument(const TableDocument&) = delete;
    TableDocument& operator=(const TableDocument&) = delete;

    // The one observer told of changes (null for none).
    void setObserver(TableObserver* observer) { observer_ = observer; }
    // Called whenever what can be undone or redone, or the modified state,
    // may have changed.
    void setHistoryListener(std::function<void()> listener) { historyListener_ = std::move(listener); }
    // The one recorder told of every edit (null for none); it hears of the
    // present base at once.
    void setEditRecorder(EditRecorder* recorder);
    // What the edits made since the last open or layout start from.
    EditBase editBase() const;

    // ---- what is open (read only) ----
    const CoreGrid& grid() const { return grid_; }
    const TableLines& lines() const { return lines_; }
    // The open table's path; empty before the first open.
    const std::string& path() const { return path_; }
    // The encoding of the table's file, and the one a save keeps.
    const FileEncoding& encoding() const { return lines_.encoding(); }
    // The "CellFormat" widths the table is cut with.
    const std::string& cellWidths() const { return cellWidths_; }
    const std::vector<std::string>& columnOrders() const { return columnOrders_; }
    // The tables of the open table's folder, in walking order.
    const std::vector<std::string>& folderFiles() const { return folderFiles_; }
    const std::string& searchText() const { return searchText_; }
    // Set and cleared only by a header block; kept across tables without one.
    bool closeOnKey() const { return closeOnKey_; }
    // Panels of the header strip: 0 when the open table has no header block.
    int headerPanelCount() const { return headerPanelCount_; }
    // The header block of the table opened last (found is false when it had none).
    const HeaderBlock& openedHeader() const { return openedHeader_; }
    int currentCol() const { return grid_.Col; }
    int currentRow() const { return grid_.Row; }

    // ---- opening and laying out ----
    // Reads the remembered column orders from optionCfgPath, where later
    // changes are saved. A file another copy of the program is saving is
    // waited for a moment rather than taken as empty.
    void loadColumnOrders(const std::string& optionCfgPath);
    // Opens the table at path with the widths of its ".cfg": reads it, takes
    // its header block off, lays it out and lists the tables of its folder.
    // path() is then its absolute, lexically clean form (CleanTablePath).
    // A failed or cancelled open (the status says cancelled then) leaves
    // the document exactly as it was.
    // choice reads it with another encoding or form than its own ("Reopen As").
    FileStatus open(const std::string& path, LayoutTarget& target, const LoadProgressFn& progress = {},
                    const ReadChoice& choice = {});
    // The same for lines already read, as the table at path cut with
    // cellWidths (when tab-separated).
    FileStatus openLines(TableLines lines, const std::string& path, const std::string& cellWidths, LayoutTarget& target,
                         const LoadProgressFn& progress = {});
    // The same for a sheet of the workbook at workbookPath read as lines: a
    // new table that names the workbook and the sheet, never saved over it.
    FileStatus openSheet(TableLines lines, const std::string& workbookPath, const std::string& sheetName,
                         LayoutTarget& target, const LoadProgressFn& progress = {});
    // The table a record's edits start from, laid out as it was then (its
    // column order included), as the table at path: base's bytes when it
    // has them, else its file read again (identity receives what that held).
    // The edits are then made again with ReplayEdits, and markRestored
    // makes the result unsaved.
    FileStatus openRecorded(const EditBase& base, const std::string& path, LayoutTarget& target,
                            const LoadProgressFn& progress = {}, FileIdentity* identity = nullptr);
    void markRestored();
    // The sheet the table was read from; empty for a table read from its own file.
    const std::string& sheetName() const { return sheet_; }
    // The name Save offers: the table's own, or for a sheet the workbook's
    // with ".csv" in place of its extension.
    std::string saveNameOffered() const;
    // Lays the grid out again from the table's lines (after a change of font,
    // of fixed widths or of the remembered orders): changes made to cells since
    // are replaced. False when cancelled; the grid is then as it was.
    bool layOut(LayoutTarget& target, const LoadProgressFn& progress = {});
    // The table "Pre File" (step -1) or "Next File" (step +1) opens; empty
    // when the folder has none.
    std::string neighbourFile(int step) const;

    // ---- the cursor and direct edits ----
    // Puts the cursor on a cell; it never rests on the fixed row. Ignored
    // while the observer is being told of a change of shape.
    void setCursor(int col, int row);
    void setCell(int col, int row, std::string_view text);
    // A column dragged from one place to another; the cursor stays on its column.
    void moveColumn(int from, int to);
    void setColumnWidth(int col, int width);

    // ---- undo, redo and the modified state ----
    bool canUndo() const { return history_.canUndo(); }
    bool canRedo() const { return history_.canRedo(); }
    // Takes the last change back (makes the last undone one again) and puts
    // the cursor where it was. False when there is none.
    bool undo();
    bool redo();
    // Whether the grid differs from what was loaded or last saved over the table.
    bool isModified() const { return !history_.isClean(); }
    const UndoHistory& history() const { return history_; }

    // ---- saving ----
    // Writes the grid to path as "Save" does. Saving over the open table
    // keeps its old content as the ".Bak" backup, writes its header block
    // back in front of the rows (and the half character a UTF-16 file ended
    // in, when saved as UTF-16), takes the "CellFormat" widths out of its
    // ".cfg" (the file is tab-separated now; a fixed-width cell holding a
    // TAB refuses the save: TabInCell), makes the document unmodified, and
    // later layouts cut the table as saved. rowNumberBase other than 0
    // numbers the rows ("Save With Rows"); such a file is not the grid, so the
    // document stays modified. The file is written in encoding (the table's
    // own when none is given); saved over the open table, that becomes the
    // table's encoding, and the grid holds its text in that encoding's form
    // from then on (the undo history starts again when that form changes).
    // A save over a table whose text a NUL cut off writes the cut table: the
    // caller asks first (lines().textEnd()).
    // The fields are written in form fields, else in formForSave(path); a
    // tab-separated file cannot hold a cell's TAB or line break, and such a
    // cell refuses the save before anything is written (BreakInCell).
    FileStatus save(const std::string& path, std::int64_t rowNumberBase = 0, const ProgressFn& progress = {},
                    std::optional<FileEncoding> encoding = std::nullopt,
                    std::optional<TableForm> fields = std::nullopt);
    // Whether the table's file still holds what was read or last saved (a
    // touch is no change); Unchanged for a table not read from a file. now
    // (when given) receives what the file is now. A save over a table whose
    // file another program changed fails as ChangedOnDisk, nothing written:
    // checked before and again under the writer's lock.
    DiskState diskState(FileIdentity* now = nullptr);
    // The file as it is now (now from diskState) is the one the table knows:
    // the next save writes over it.
    void adoptDiskVersion(const FileIdentity& now) { disk_ = now; }

    // The form a save to path writes: the table's own over the table, a
    // comma-separated one (the table's separator if it has one) to a ".csv"
    // file, tab-separated elsewhere.
    TableForm formForSave(const std::string& path) const;
    // How the open table's fields are separated and quoted.
    TableForm form() const { return lines_.form(); }

    // ---- adding rows and columns, clearing and renaming ----
    // "Insert Row": a blank row above the cursor's row (below it when
    // below), which the cursor moves to, in its column; it shows while a
    // filter is on. False when the cursor is on no row. One undo step.
    bool insertRow(bool below);
    // "Insert Column": a blank column in the cursor's column's place, with
    // an empty header cell; the columns from there on move one on with their
    // widths, and the cursor stays in the new one. One undo step.
    bool insertColumn();
    // "Clear": empties the cells of columns firstCol..lastCol in the given
    // rows (the header row stays), in one undo step; how many changed.
    std::size_t clearCells(const std::vector<int>& rows, int firstCol, int lastCol);
    // "Rename Column": the header row's text of the cursor's column, one
    // undo step. False when it was that already.
    bool renameColumn(std::string_view name);
    // "Paste" into cells: rows of cells (held form) written from the cursor
    // on, into the rows that show while a filter is on; rows and columns are
    // added where they run past the table's end. One undo step; the cursor
    // on the block's first cell. The block written, for the view to select.
    PastedBlock pasteCells(const std::vector<std::vector<std::string>>& cells);
    // "Find and Replace": every match of find (held form, exact) in the
    // rows below the header that show, replaced with "with"; with wholeCells
    // only cells that are find. One undo step; how many cells changed.
    std::size_t replaceInCells(std::string_view find, std::string_view with, bool wholeCells);
    // "Go to Row": the cursor to row (as the status bar counts rows) in its
    // column. False when there is no such row, or the filter hides it.
    bool goToRow(int row);

    // ---- editing commands on the cursor's column or row ----
    void simpleNumber();
    void blankColumn();
    void shiftColumnLeft();
    // False when nothing was deleted (row 0, or the grid's only row).
    bool deleteRow();
    // False when nothing was removed (column 0, or the grid's only column).
    bool removeColumn();
    // "Sort Ascending" / "Sort Descending": the rows below the header row in
    // the order of the cursor's column (SortedRowOrder), one undo step. False
    // when the rows were in that order already.
    bool sortRows(bool descending);
    // "Fix Cell Size": new fixed widths, kept in the table's ".cfg", and the
    // table cut again with them. False when that layout was cancelled: the
    // widths, the ".cfg" and the grid are then as they were. A
    // comma-separated table has no fixed widths: false, nothing changed.
    bool fixCellSize(const std::string& widths, LayoutTarget& target, const LoadProgressFn& progress = {});
    // Remembers the present column order for tables with these header names.
    bool saveColumnOrder();
    // Forgets it and lays the table out again. False when that layout was
    // cancelled (the order stays remembered, in memory and in the file) or
    // when the file could not be written.
    bool deleteColumnOrder(LayoutTarget& target, const LoadProgressFn& progress = {});

    // ---- filter ----
    // "Filter": only the rows from row 1 on that hold all the words (as
    // Search tests them) show, with the header row. Save still writes every
    // row; the commands that read the table (Sum, Values, Save Current
    // Column, Print, Excel, Copy) read readShownGrid(), and the column
    // commands change only the rows that show. The cursor stays on a row
    // that shows; undo and redo show the rows they change. Ended by
    // showAllRows(), a new layout or another table. Returns the number of
    // rows that show.
    int filterRows(const std::string& words);
    void showAllRows();
    bool isFiltered() const { return filtered_; }
    // The grid rows that show while filtered, in order.
    const std::vector<int>& shownRows() const { return shownRows_; }
    const std::string& filterText() const { return filterText_; }
    // read(grid) on the grid itself, or while filtered on a grid of its
    // header row and the rows that show (made afresh, sharing the table's
    // bytes). Unfiltered nothing is copied: a copy of a million rows' cells
    // costs more than the sum that reads them.
    template <typename Read>
    decltype(auto) readShownGrid(Read&& read) const
    {
        if (!filtered_)
            return read(grid_);
        const CoreGrid shown = grid_.WithRows(shownRows_);
        return read(shown);
    }

    // ---- search ----
    // Remembers text (unless empty; in the grid's held form) and moves the
    // cursor to the first row from row 1 that holds all its words (row 1
    // when none). Returns the row.
    int searchRows(const std::string& text);
    // The next such row below the cursor, back to row 1 after the last.
    int searchAgain();

    // ---- reading the cursor's column ----
    double sumCurrentColumn() const;
    // Its cells; withoutRepeat keeps each value once, sorted.
    std::vector<std::string> currentColumnValues(bool withoutRepeat) const;
    // Writes those cells one a line to path, in the table's encoding (with
    // its mark, if it has one).
    FileStatus saveCurrentColumn(const std::string& path, bool withoutRepeat) const;
    // "Values": its distinct values below the header row, and the file name
    // they are shown under.
    std::vector<std::string> distinctValuesOfCurrentColumn() const;
    std::string valuesFileName() const;

    // ---- clipboard tables ----
    // Makes folder + "ClipTablePaste.txt" from a copied table held in held
    // (Windows1256, or Utf8 when some character has no Windows-1256 letter),
    // starting at the header row remembered in folder +
    // "ClipTablePasteHdr.txt" when it is found. The file is in held's form;
    // UTF-8 without a mark. pasteFileLines and writePasteLines in one step.
    static PasteOutcome writePasteFile(const std::string& clipboardText, TextEncoding held, const std::string& folder);
    // The lines that file would hold, nothing written yet; none when the
    // copied text is no table (fewer than two lines or columns).
    static std::optional<std::vector<std::string>> pasteFileLines(const std::string& clipboardText, TextEncoding held,
                                                                  const std::string& folder);
    // Writes them as folder + "ClipTablePaste.txt". The file it replaces is
    // kept as "ClipTablePaste.Bak": it may hold a table just saved there.
    static PasteOutcome writePasteLines(const std::vector<std::string>& lines, const std::string& folder);
    // The same for Windows-1256 text.
    static PasteOutcome writePasteFile(const std::string& clipboardText, const std::string& folder)
    {
        return writePasteFile(clipboardText, TextEncoding::Windows1256, folder);
    }
    // Remembers the cursor's row as that header row: in Windows-1256 when
    // it fits there, else in UTF-8 after the UTF-8 mark.
    bool saveRowForHeader(const std::string& folder) const;

private:
    // Records the public edit it lives in, once that ends, unless an outer
    // one records it: what args adds to the edit are its arguments.
    struct RecordsEdit {
        template <typename Args>
        RecordsEdit(TableDocument& d, EditKind kind, Args&& args) : doc(d), outer(d.editDepth_++ == 0 && d.recorder_)
        {
            if (outer) {
                edit.emplace(kind, d.grid_.Col, d.grid_.Row);
                args(*edit);
            }
        }
        RecordsEdit(TableDocument& d, EditKind kind) : RecordsEdit(d, kind, [](EditEncoder&) {}) { }
        ~RecordsEdit();
        RecordsEdit(const RecordsEdit&) = delete;
        RecordsEdit& operator=(const RecordsEdit&) = delete;
        TableDocument& doc;
        bool outer;
        std::optional<EditEncoder> edit;
    };
    // Tells the recorder that the edits start again from here.
    void announceBase();
    FileStatus openLinesInOrder(TableLines lines, const std::string& givenPath, const std::string& givenCellWidths,
                                LayoutTarget& target, const LoadProgressFn& progress,
                                const std::vector<int>* columnOrder);
    // The name the steps recorded while it lives get (the first one set
    // wins: a rename is a cell edit named "Rename Column").
    struct StepName {
        StepName(TableDocument& d, const char* name) : doc(d), set(d.stepName_.empty())
        {
            if (set)
                doc.stepName_ = name;
        }
        ~StepName()
        {
            if (set)
                doc.stepName_.clear();
        }
        StepName(const StepName&) = delete;
        StepName& operator=(const StepName&) = delete;
        TableDocument& doc;
        bool set;
    };
    // Marks a change of shape under way, while the observer is told of it.
    struct ShapeChange {
        explicit ShapeChange(TableDocument& d) : doc(d) { doc.changingShape_ = true; }
        ~ShapeChange() { doc.changingShape_ = false; }
        ShapeChange(const ShapeChange&) = delete;
        ShapeChange& operator=(const ShapeChange&) = delete;
        TableDocument& doc;
    };
    // Swaps in a grid built aside, telling the observer; the history starts again.
    void replaceGrid(CoreGrid&& fresh);
    // Adds the step of a change made since the grid's epoch was epochBefore.
    void record(UndoStep step, std::uint64_t epochBefore);
    void historyChanged();
    // How the table's lines are written back: as read for a Unicode
    // tab-separated table, as always for the others.
    SaveForm saveForm(TableForm fields) const;
    FileStatus saveOverTable(const std::string& path, std::int64_t rowNumberBase, const ProgressFn& progress,
                             FileEncoding as, TableForm fields);
    void putCursor(int col, int row);
    // Tells the observer that a command put the cursor where it is now.
    void cursorPlaced();
    // Calls it when the command it lives in ends, however it ends.
    struct PlacesCursor {
        explicit PlacesCursor(TableDocument& d) : doc(d) { }
        ~PlacesCursor() { doc.cursorPlaced(); }
        PlacesCursor(const PlacesCursor&) = delete;
        PlacesCursor& operator=(const PlacesCursor&) = delete;
        TableDocument& doc;
    };
    // The changes themselves, telling the observer; the history is the callers'.
    void removeRowNow(int row);
    void insertRowNow(int row, const CoreGrid::HeldRow& held, int fixedRows, int cursorCol);
    void removeColumnNow(int col);
    void insertColumnNow(int col, CoreGrid::HeldColumn held, int cursorRow);
    void moveColumnNow(int from, int to, int cursorCol);
    void reorderRowsNow(const std::vector<int>& order);
    void forgetFilter();
    // While filtered, puts the cursor on a row that shows unless it is on
    // one: the first below it, else the last above it. With no row showing
    // it stays where it is, which is nowhere on the screen.
    void keepCursorShown();
    // Makes the given rows show too, until the filter is applied again.
    void showRows(const std::vector<int>& rows);
    // SearchFrom over the rows that show, from place from (1: the first).
    int searchShownRows(int from) const;
    // Runs a change of cells of column col and keeps the cells it changed.
    template <typename Change>
    void changeColumnCells(int col, Change&& change);
    // The same for the cells of columns firstCol..lastCol, as one undo
    // step; the number of cells it changed.
    template <typename Change>
    std::size_t changeBlockCells(int firstCol, int lastCol, Change&& change);
    // That change's step, not recorded yet (none when nothing changed).
    template <typename Change>
    std::optional<UndoStep> cellChangesStep(int firstCol, int lastCol, Change&& change, std::size_t& cells);
    // Adds blank rows and pad columns at the table's end, or takes them off again.
    void growGrid(int addRows, int addCols);
    void shrinkGrid(int rows, int cols);
    // Swaps the held cells of a step with the grid's, telling the observer.
    struct HeldCells;
    void swapCells(HeldCells& cells);
    // The cells of col that differ from before, as a step holds them, and
    // how many they are; null when none does.
    std::shared_ptr<HeldCells> heldChanges(int col, const CoreGrid::HeldColumn& before, std::size_t& changed) const;
    void changedColumns(int firstCol, int lastCol);
    // Cuts lines with cellWidths into a fresh grid and sizes it; false when cancelled.
    // order receives the column order the layout gave the grid; a given
    // columnOrder is applied instead of the remembered orders.
    bool buildGrid(const TableLines& lines, const std::string& cellWidths, LayoutTarget& target,
                   const LoadProgressFn& progress, CoreGrid& out, std::vector<int>* order) const;
    bool buildGrid(const TableLines& lines, const std::string& cellWidths, const std::vector<std::string>& orders,
                   LayoutTarget& target, const LoadProgressFn& progress, CoreGrid& out, std::vector<int>* order,
                   const std::vector<int>* columnOrder = nullptr) const;

    TableObserver* observer_ = nullptr;
    EditRecorder* recorder_ = nullptr;
    int editDepth_ = 0;
    // The column order of the last layout, and whether the lines are what
    // reading the table's file with readChoice_ gives.
    std::vector<int> layoutOrder_;
    bool linesFromFile_ = false;
    ReadChoice readChoice_;
    std::function<void()> historyListener_;
    UndoHistory history_;
    // The grid's epoch in which the history's held cells are valid.
    std::uint64_t historyEpoch_ = 0;
    bool changingShape_ = false;
    std::string stepName_;
    CoreGrid grid_;
    TableLines lines_;
    std::string path_;
    // What the table's file held when read or last saved.
    FileIdentity disk_;
    std::string sheet_;
    std::string cellWidths_;
    std::vector<std::string> columnOrders_;
    std::string columnOrdersPath_;
    std::vector<std::string> folderFiles_;
    std::string searchText_;
    bool filtered_ = false;
    std::vector<int> shownRows_;
    std::string filterText_;
    bool closeOnKey_ = false;
    int headerPanelCount_ = 0;
    HeaderBlock openedHeader_;
};

} // namespace rasmik
