#include "table/TableDocument.h"

#include "table/CellPlace.h"
#include "table/ClipboardTable.h"
#include "table/ColumnExtract.h"
#include "table/ColumnOrder.h"
#include "table/ColumnSum.h"
#include "table/EditCommands.h"
#include "table/FolderFiles.h"
#include "table/SaveLines.h"
#include "table/Search.h"
#include "table/SortRows.h"
#include "text/StringHelpers.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>

namespace rasmik {

namespace {

ProgressFn StageProgress(const LoadProgressFn& progress, LoadStage stage)
{
    if (!progress)
        return {};
    return [&progress, stage](std::uint64_t done, std::uint64_t total) { return progress(stage, done, total); };
}

} // namespace

// Cells of one column as they were before a change (or after it, once the
// change is undone): swapping them with the grid's undoes and redoes it.
struct TableDocument::HeldCells {
    int col = 0;
    int cursorRow = 0;
    // The rows of codes; empty when codes holds every row of the column.
    std::vector<std::uint32_t> rows;
    std::vector<CoreGrid::CellCode, LargeAllocator<CoreGrid::CellCode>> codes;
    std::size_t bytes() const
    {
        return sizeof(HeldCells) + rows.size() * sizeof(std::uint32_t) + codes.size() * sizeof(CoreGrid::CellCode);
    }
};

void TableDocument::loadColumnOrders(const std::string& optionCfgPath)
{
    columnOrdersPath_ = optionCfgPath;
    columnOrders_.clear();
    // Another running copy may hold the file for a moment while it saves;
    // starting with an empty list then would wipe every remembered order at
    // this copy's next save, so such a file is waited for.
    const auto start = RetryClock();
    while (!LoadLinesRetry(&columnOrders_, optionCfgPath) && FileIsThere(optionCfgPath)
           && RetryClock() - start < RetryWindow)
        PauseBeforeRetry();
}

void TableDocument::replaceGrid(CoreGrid&& fresh)
{
    const ShapeChange change(*this);
    if (observer_)
        observer_->gridAboutToBeReplaced();
    // A new layout shows every row.
    forgetFilter();
    grid_ = std::move(fresh);
    history_.clear(true);
    historyEpoch_ = grid_.Epoch();
    if (observer_)
        observer_->gridReplaced();
    historyChanged();
}

void TableDocument::historyChanged()
{
    // Held cells of another epoch no longer name the cells they held.
    if (grid_.Epoch() != historyEpoch_) {
        history_.clear(false);
        historyEpoch_ = grid_.Epoch();
    }
    if (historyListener_)
        historyListener_();
}

void TableDocument::record(UndoStep step, std::uint64_t epochBefore)
{
    if (step.name.empty())
        step.name = stepName_;
    if (grid_.Epoch() == epochBefore)
        history_.push(std::move(step));
    else
        history_.clear(false);
    historyChanged();
}

void TableDocument::putCursor(int col, int row)
{
    grid_.Col = col;
    grid_.Row = row;
    grid_.ClampCursor();
}

void TableDocument::cursorPlaced()
{
    if (observer_)
        observer_->cursorMoved();
}

bool TableDocument::undo()
{
    const RecordsEdit recorded(*this, EditKind::Undo);
    if (!history_.undo())
        return false;
    keepCursorShown();
    historyChanged();
    cursorPlaced();
    return true;
}

bool TableDocument::redo()
{
    const RecordsEdit recorded(*this, EditKind::Redo);
    if (!history_.redo())
        return false;
    keepCursorShown();
    historyChanged();
    cursorPlaced();
    return true;
}

void TableDocument::keepCursorShown()
{
    if (!filtered_ || shownRows_.empty())
        return;
    const auto at = std::lower_bound(shownRows_.begin(), shownRows_.end(), grid_.Row);
    if (at != shownRows_.end() && *at == grid_.Row)
        return;
    grid_.Row = at != shownRows_.end() ? *at : shownRows_.back();
}

void TableDocument::showRows(const std::vector<int>& rows)
{
    std::vector<int> hidden;
    for (const int r : rows)
        if (r > 0 && !std::binary_search(shownRows_.begin(), shownRows_.end(), r))
            hidden.push_back(r);
    if (hidden.empty())
        return;
    const ShapeChange change(*this);
    if (observer_)
        observer_->gridAboutToBeReplaced();
    std::vector<int> merged;
    merged.reserve(shownRows_.size() + hidden.size());
    std::merge(shownRows_.begin(), shownRows_.end(), hidden.begin(), hidden.end(), std::back_inserter(merged));
    shownRows_ = std::move(merged);
    if (observer_)
        observer_->gridReplaced();
}

void TableDocument::swapCells(HeldCells& held)
{
    const int col = held.col;
    if (col < 0 || col >= grid_.ColCount())
        return;
    const int rows = grid_.RowCount();
    if (held.rows.empty()) {
        const int n = std::min(rows, static_cast<int>(held.codes.size()));
        for (int r = 0; r < n; ++r)
            held.codes[static_cast<std::size_t>(r)] = grid_.SwapCode(col, r, held.codes[static_cast<std::size_t>(r)]);
    } else {
        for (std::size_t i = 0; i < held.rows.size(); ++i)
            if (static_cast<int>(held.rows[i]) < rows)
                held.codes[i] = grid_.SwapCode(col, static_cast<int>(held.rows[i]), held.codes[i]);
    }
    putCursor(col, held.cursorRow);
    if (held.rows.size() == 1 && observer_)
        observer_->cellChanged(col, static_cast<int>(held.rows.front()));
    else
        changedColumns(col, col);
    if (!filtered_)
        return;
    // Undone or made again under a filter, the change shows: its rows
    // show until the filter is applied again, the cursor on the first.
    std::vector<int> changed;
    if (held.rows.empty()) {
        for (int r = 0; r < std::min(rows, static_cast<int>(held.codes.size())); ++r)
            if (held.codes[static_cast<std::size_t>(r)] != grid_.Code(col, r))
                changed.push_back(r);
    } else {
        for (std::size_t i = 0; i < held.rows.size(); ++i)
            if (static_cast<int>(held.rows[i]) < rows
                && held.codes[i] != grid_.Code(col, static_cast<int>(held.rows[i])))
                changed.push_back(static_cast<int>(held.rows[i]));
    }
    std::sort(changed.begin(), changed.end());
    const auto firstBody = std::upper_bound(changed.begin(), changed.end(), 0);
    if (firstBody != changed.end() && !std::binary_search(shownRows_.begin(), shownRows_.end(), grid_.Row)
        && !std::binary_search(changed.begin(), changed.end(), grid_.Row))
        grid_.Row = *firstBody;
    showRows(changed);
}

template <typename Change>
void TableDocument::changeColumnCells(int col, Change&& change)
{
    changeBlockCells(col, col, std::forward<Change>(change));
}

std::shared_ptr<TableDocument::HeldCells> TableDocument::heldChanges(int col, const CoreGrid::HeldColumn& before,
                                                                     std::size_t& changed) const
{
    const int rows = grid_.RowCount();
    changed = 0;
    for (int r = 0; r < rows; ++r)
        changed += grid_.Code(col, r) != before.cells[static_cast<std::size_t>(r)];
    if (changed == 0)
        return nullptr;
    auto held = std::make_shared<HeldCells>();
    held->col = col;
    held->cursorRow = grid_.Row;
    // A row number and a code for each changed cell, or the whole column's
    // codes when that is smaller.
    if (changed * 2 > static_cast<std::size_t>(rows)) {
        held->codes.assign(before.cells.begin(), before.cells.end());
    } else {
        held->rows.reserve(changed);
        held->codes.reserve(changed);
        for (int r = 0; r < rows; ++r)
            if (grid_.Code(col, r) != before.cells[static_cast<std::size_t>(r)]) {
                held->rows.push_back(static_cast<std::uint32_t>(r));
                held->codes.push_back(before.cells[static_cast<std::size_t>(r)]);
            }
    }
    return held;
}

template <typename Change>
std::size_t TableDocument::changeBlockCells(int firstCol, int lastCol, Change&& change)
{
    const std::uint64_t epoch = grid_.Epoch();
    std::size_t cells = 0;
    std::optional<UndoStep> step = cellChangesStep(firstCol, lastCol, std::forward<Change>(change), cells);
    if (step)
        record(std::move(*step), epoch);
    return cells;
}

template <typename Change>
std::optional<UndoStep> TableDocument::cellChangesStep(int firstCol, int lastCol, Change&& change, std::size_t& cells)
{
    cells = 0;
    firstCol = std::max(firstCol, 0);
    lastCol = std::min(lastCol, grid_.ColCount() - 1);
    if (firstCol > lastCol)
        return std::nullopt;
    std::vector<CoreGrid::HeldColumn> before;
    before.reserve(static_cast<std::size_t>(lastCol - firstCol + 1));
    for (int c = firstCol; c <= lastCol; ++c)
        before.push_back(grid_.HoldColumn(c));
    const int cursorCol = grid_.Col;
    const int cursorRow = grid_.Row;
    change();
    changedColumns(firstCol, lastCol);
    std::vector<UndoStep> parts;
    for (int c = firstCol; c <= lastCol; ++c) {
        std::size_t changed = 0;
        std::shared_ptr<HeldCells> held = heldChanges(c, before[static_cast<std::size_t>(c - firstCol)], changed);
        if (!held)
            continue;
        cells += changed;
        const std::size_t bytes = held->bytes();
        parts.push_back(UndoStep{[this, held] { swapCells(*held); }, [this, held] { swapCells(*held); }, bytes});
    }
    if (parts.empty())
        return std::nullopt;
    if (parts.size() == 1)
        return std::move(parts.front());
    // Either way the cursor ends where it was when the change was made.
    const auto cursor = [this, cursorCol, cursorRow] { putCursor(cursorCol, cursorRow); };
    return CompoundStep(std::move(parts), cursor, cursor);
}

void TableDocument::changedColumns(int firstCol, int lastCol)
{
    if (observer_ && firstCol <= lastCol)
        observer_->cellsChanged(firstCol, lastCol);
}

bool TableDocument::buildGrid(const TableLines& lines, const std::string& cellWidths, LayoutTarget& target,
                              const LoadProgressFn& progress, CoreGrid& out, std::vector<int>* order) const
{
    return buildGrid(lines, cellWidths, columnOrders_, target, progress, out, order);
}

bool TableDocument::buildGrid(const TableLines& lines, const std::string& cellWidths,
                              const std::vector<std::string>& orders, LayoutTarget& target,
                              const LoadProgressFn& progress, CoreGrid& out, std::vector<int>* order,
                              const std::vector<int>* columnOrder) const
{
    // Past the cells there is nothing to cancel: the widths are always found.
    ProgressFn widthProgress;
    if (progress)
        widthProgress = [&progress](std::uint64_t done, std::uint64_t total) {
            progress(LoadStage::Widths, done, total);
            return true;
        };
    // The widths are found with the cells, before the columns take their order.
    CoreGrid fresh;
    std::vector<int> widths;
    if (target.wantsWidths()) {
        const std::function<const TextMetrics&()> metrics = [&target]() -> const TextMetrics& {
            return target.metrics();
        };
        if (!LayoutGridCellsAndWidths(fresh, lines, cellWidths, metrics, target.gridWidth(), widths,
                                      StageProgress(progress, LoadStage::Cells), widthProgress))
            return false;
    } else if (!LayoutGridCells(fresh, lines, cellWidths, StageProgress(progress, LoadStage::Cells))) {
        return false;
    }
    std::vector<int> applied;
    if (!columnOrder) {
        ApplyColumnOrder(fresh, orders, &applied);
    } else {
        // A record's order, applied only when it is a permutation of these columns.
        const std::size_t n = static_cast<std::size_t>(fresh.ColCount());
        std::vector<char> seen(n, 0);
        bool fits = columnOrder->size() == n;
        for (std::size_t i = 0; fits && i < n; ++i) {
            const int j = (*columnOrder)[i];
            fits = j >= 0 && static_cast<std::size_t>(j) < n && !seen[static_cast<std::size_t>(j)];
            if (fits)
                seen[static_cast<std::size_t>(j)] = 1;
        }
        if (fits) {
            fresh.PermuteColumns(*columnOrder);
            applied = *columnOrder;
        }
    }
    if (order)
        *order = applied;
    if (!target.wantsWidths()) {
        FinishLayout(fresh, {}, fresh.DefaultRowHeight());
        fresh.Col = 0;
        fresh.Row = fresh.FixedRows();
        out = std::move(fresh);
        return true;
    }
    // Column i holds what was column applied[i].
    if (!applied.empty() && applied.size() == widths.size()) {
        std::vector<int> moved(widths.size());
        for (std::size_t i = 0; i < applied.size(); ++i)
            moved[i] = widths[static_cast<std::size_t>(applied[i])];
        widths = std::move(moved);
    }
    const TextMetrics& metrics = target.metrics();
    FinishLayout(fresh, widths, metrics.textHeight("AY"));
    fresh.Col = 0;
    fresh.Row = fresh.FixedRows();
    out = std::move(fresh);
    return true;
}

FileStatus TableDocument::open(const std::string& givenPath, LayoutTarget& target, const LoadProgressFn& progress,
                               const ReadChoice& choice)
{
    // Made clean once, so that the caption, "Pre File" / "Next File" and the
    // save's backup all see one spelling of the file.
    const std::string path = CleanTablePath(givenPath);
    const std::string cellWidths = ReadCellFormat(path);
    TableLines lines;
    FileIdentity identity;
    FileStatus read = ReadTableFile(path, lines, StageProgress(progress, LoadStage::Reading), choice, &identity);
    if (!read)
        return read;
    FileStatus opened = openLinesInOrder(std::move(lines), path, cellWidths, target, progress, nullptr);
    if (opened) {
        disk_ = identity;
        linesFromFile_ = true;
        readChoice_ = choice;
        announceBase();
    }
    return opened;
}

FileStatus TableDocument::openLines(TableLines lines, const std::string& givenPath, const std::string& givenCellWidths,
                                    LayoutTarget& target, const LoadProgressFn& progress)
{
    FileStatus opened = openLinesInOrder(std::move(lines), givenPath, givenCellWidths, target, progress, nullptr);
    if (opened)
        announceBase();
    return opened;
}

FileStatus TableDocument::openLinesInOrder(TableLines lines, const std::string& givenPath,
                                           const std::string& givenCellWidths, LayoutTarget& target,
                                           const LoadProgressFn& progress, const std::vector<int>* columnOrder)
{
    const std::string path = CleanTablePath(givenPath);
    // The header block and fixed widths belong to tab-separated tables.
    const bool quoted = lines.form().quoted;
    const HeaderBlock block = quoted ? HeaderBlock{} : ReadHeaderBlock(lines);
    const std::string cellWidths = quoted ? std::string() : givenCellWidths;
    bool cancelled = false;
    LoadProgressFn watched;
    if (progress)
        watched = [&](LoadStage stage, std::uint64_t done, std::uint64_t total) {
            if (progress(stage, done, total))
                return true;
            cancelled = stage != LoadStage::Widths;
            return false;
        };
    // Built aside, so that a cancelled open leaves the previous table in place.
    CoreGrid fresh;
    std::vector<int> order;
    if (!buildGrid(lines, cellWidths, columnOrders_, target, watched, fresh, &order, columnOrder))
        return FileStatus(cancelled ? FileErrorCode::Cancelled : FileErrorCode::TooLarge, path);
    std::vector<std::string> files = RebuildFolderFiles(NormalizeFolder(FolderOf(path)), TableKindExtension(path));

    // The last search goes on in the new table's held form.
    if (lines.heldForm() != grid_.Encoding() && !searchText_.empty()) {
        std::string converted;
        if (!AppendHeldAs(searchText_, grid_.Encoding(), lines.heldForm(), converted))
            converted.clear();
        searchText_ = std::move(converted);
    }
    // The lines first: whoever hears of the new grid may ask for its encoding.
    lines_ = std::move(lines);
    replaceGrid(std::move(fresh));
    layoutOrder_ = std::move(order);
    path_ = path;
    disk_ = {};
    sheet_.clear();
    cellWidths_ = cellWidths;
    folderFiles_ = std::move(files);
    openedHeader_ = block;
    if (block.found) {
        closeOnKey_ = block.closeOnKey;
        headerPanelCount_ = block.panelCount;
    } else {
        headerPanelCount_ = 0;
    }
    linesFromFile_ = false;
    readChoice_ = {};
    return {};
}

bool TableDocument::layOut(LayoutTarget& target, const LoadProgressFn& progress)
{
    CoreGrid fresh;
    std::vector<int> order;
    if (!buildGrid(lines_, cellWidths_, target, progress, fresh, &order))
        return false;
    replaceGrid(std::move(fresh));
    layoutOrder_ = std::move(order);
    announceBase();
    return true;
}

std::string TableDocument::neighbourFile(int step) const
{
    return NeighbourFile(folderFiles_, path_, step);
}

void TableDocument::setCursor(int col, int row)
{
    // A view moves its own cursor while rows or columns go; where the
    // cursor ends up is the command's to say.
    if (changingShape_)
        return;
    grid_.Col = col;
    grid_.Row = row;
    grid_.ClampCursor();
}

void TableDocument::setCell(int col, int row, std::string_view text)
{
    const RecordsEdit recorded(*this, EditKind::SetCell, [&](EditEncoder& e) { e.number(col).number(row).text(text); });
    const StepName named(*this, "Edit Cell");
    if (col < 0 || row < 0 || col >= grid_.ColCount() || row >= grid_.RowCount())
        return;
    // An edit that keeps the text is no change.
    if (grid_.Cell(col, row) == text)
        return;
    auto held = std::make_shared<HeldCells>();
    held->col = col;
    held->cursorRow = row;
    held->rows = {static_cast<std::uint32_t>(row)};
    held->codes = {grid_.Code(col, row)};
    const std::uint64_t epoch = grid_.Epoch();
    grid_.SetCell(col, row, text);
    if (observer_)
        observer_->cellChanged(col, row);
    const std::size_t bytes = held->bytes();
    record(UndoStep{[this, held] { swapCells(*held); }, [this, held] { swapCells(*held); }, bytes}, epoch);
}

void TableDocument::moveColumnNow(int from, int to, int cursorCol)
{
    const ShapeChange change(*this);
    grid_.MoveColumn(from, to);
    grid_.Col = cursorCol;
    if (observer_)
        observer_->columnMoved(from, to);
}

void TableDocument::moveColumn(int from, int to)
{
    const RecordsEdit recorded(*this, EditKind::MoveColumn, [&](EditEncoder& e) { e.number(from).number(to); });
    const StepName named(*this, "Move Column");
    const int count = grid_.ColCount();
    if (from < 0 || to < 0 || from >= count || to >= count || from == to)
        return;
    // The cursor stays on its column.
    int cur = grid_.Col;
    if (cur == from)
        cur = to;
    else if (from < to && cur > from && cur <= to)
        --cur;
    else if (to < from && cur >= to && cur < from)
        ++cur;
    const int row = grid_.Row;
    const std::uint64_t epoch = grid_.Epoch();
    moveColumnNow(from, to, cur);
    record(UndoStep{[this, from, to, row] {
                        grid_.Row = row;
                        moveColumnNow(to, from, from);
                    },
                    [this, from, to, row] {
                        grid_.Row = row;
                        moveColumnNow(from, to, to);
                    },
                    sizeof(UndoStep)},
           epoch);
}

void TableDocument::setColumnWidth(int col, int width)
{
    const RecordsEdit recorded(*this, EditKind::ColumnWidth, [&](EditEncoder& e) { e.number(col).number(width); });
    if (col >= 0 && col < grid_.ColCount())
        grid_.SetColWidth(col, width);
}

SaveForm TableDocument::saveForm(TableForm fields) const
{
    SaveForm form;
    form.fields = fields;
    form.asRead = fields == lines_.form() && grid_.SourceBytes().data() == lines_.buffer()->data();
    form.kept = grid_.KeepsFields();
    if (form.kept) {
        form.lineBreak = lines_.lineBreak();
        form.lastLineEnded = lines_.lastLineEnded();
    }
    return form;
}

TableForm TableDocument::formForSave(const std::string& path) const
{
    const TableForm own = lines_.form();
    if (!path_.empty() && SameFile(path, path_))
        return own;
    if (IsCsvPath(path))
        return own.quoted ? own : CommaForm;
    return TabForm;
}

FileStatus TableDocument::save(const std::string& path, std::int64_t rowNumberBase, const ProgressFn& progress,
                               std::optional<FileEncoding> encoding, std::optional<TableForm> fields)
{
    const FileEncoding as = encoding.value_or(lines_.encoding());
    const TableForm to = fields.value_or(formForSave(path));
    // A tab-separated file cannot hold a cell's TAB or line break.
    if (!to.quoted) {
        if (FileError broken = FirstCellWithBreak(grid_, path, lines_.form().quoted);
            broken.code != FileErrorCode::None)
            return broken;
    }
    if (!sheet_.empty() && SameFile(path, path_))
        return FileStatus(FileErrorCode::OverWorkbook, path);
    // Saved elsewhere, the open table is still the one to save.
    if (path_.empty() || !SameFile(path, path_))
        return SaveGridToFile(grid_, rowNumberBase, path, path_, progress, as, {}, {}, saveForm(to));
    return saveOverTable(path, rowNumberBase, progress, as, to);
}

FileStatus TableDocument::openSheet(TableLines lines, const std::string& workbookPath, const std::string& sheetName,
                                    LayoutTarget& target, const LoadProgressFn& progress)
{
    FileStatus opened = openLinesInOrder(std::move(lines), workbookPath, {}, target, progress, nullptr);
    if (opened) {
        sheet_ = sheetName;
        announceBase();
    }
    return opened;
}

std::string TableDocument::saveNameOffered() const
{
    if (sheet_.empty())
        return path_;
    const std::size_t slash = path_.rfind('/');
    const std::size_t dot = path_.rfind('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (hasExtension ? path_.substr(0, dot) : path_) + ".csv";
}

DiskState TableDocument::diskState(FileIdentity* now)
{
    if (!disk_.known || path_.empty()) {
        if (now)
            *now = disk_;
        return DiskState::Unchanged;
    }
    return CheckFileOnDisk(path_, disk_, now);
}

FileStatus TableDocument::saveOverTable(const std::string& path, std::int64_t rowNumberBase, const ProgressFn& progress,
                                        FileEncoding as, TableForm fields)
{
    // The header block goes back in front of the rows, in the file's encoding.
    const SaveForm form = saveForm(fields);
    std::string head;
    for (std::size_t i = 0; i < openedHeader_.lines.size(); ++i) {
        UnfitCharacter unfit;
        if (!AppendHeldAs(openedHeader_.lines[i] + std::string(form.lineBreak), lines_.heldForm(), as.encoding, head,
                          &unfit)) {
            FileError error(FileErrorCode::NotInEncoding, path);
            error.row = static_cast<std::int64_t>(i) + 1;
            error.column = 0;
            error.codePoint = unfit.codePoint;
            return error;
        }
    }
    // Half a character at the end of a UTF-16 file stays there; it means
    // nothing in another encoding.
    std::string tail;
    const TextEnd end = lines_.textEnd();
    if (end.halfCharacter && (as.encoding == TextEncoding::Utf16LE || as.encoding == TextEncoding::Utf16BE))
        tail.push_back(static_cast<char>(end.strayByte));
    // The file is written tab-separated: fixed-width fields holding a TAB
    // would come back as two.
    const std::vector<int> widths = ParseCellWidths(cellWidths_);
    const bool fixedWidths = std::any_of(widths.begin(), widths.end(), [](int w) { return w > 0; });
    if (fixedWidths) {
        if (FileError tab = FirstCellWithTab(grid_, path); tab.code != FileErrorCode::None)
            return tab;
    }
    // Another program's version of the file is never written over unasked;
    // the check is made again under the writer's lock, against a save racing this one.
    const auto stillAsKnown = [this, &path]() -> FileStatus {
        if (disk_.known && CheckFileOnDisk(path_, disk_) == DiskState::Changed)
            return FileStatus(FileErrorCode::ChangedOnDisk, path);
        return {};
    };
    if (FileStatus known = stillAsKnown(); !known)
        return known;
    // The ".cfg" goes with what is written: its widths go, its other lines
    // stay. It is put back when the table cannot be written.
    const std::string cfgPath = CfgPathFor(path_);
    std::string oldCfg;
    bool cfgChanged = false;
    if (FileIsThere(cfgPath) && ReadWholeFile(cfgPath, oldCfg)) {
        std::string newCfg = oldCfg;
        if (DropCellFormat(newCfg)) {
            if (FileStatus written = WriteFileAtomic(cfgPath, newCfg); !written)
                return written;
            cfgChanged = true;
        }
    }
    std::uint64_t writtenHash = 0;
    FileStatus saved =
        SaveGridToFile(grid_, rowNumberBase, path, path_, progress, as, head, tail, form, stillAsKnown, &writtenHash);
    if (!saved) {
        if (cfgChanged)
            WriteFileAtomic(cfgPath, oldCfg);
        return saved;
    }
    disk_ = IdentityOfFile(path_, writtenHash);

    const bool numbered = rowNumberBase != 0;
    const TextEncoding held = HeldForm(as.encoding);
    // A new layout cuts the table as the file now holds it.
    bool rebuild = isModified() || numbered || fixedWidths || fields != lines_.form();
    CoreGrid converted;
    bool convertedForm = false;
    if (held != grid_.Encoding() && ConvertGridText(grid_, held, converted)) {
        // Saved in another form, the table holds its text that way from now
        // on; the steps of the history hold the old form and go.
        const ShapeChange change(*this);
        if (observer_)
            observer_->gridAboutToBeReplaced();
        const TextEncoding before = grid_.Encoding();
        const auto convert = [before, held](std::string& text) {
            std::string out;
            if (!AppendHeldAs(text, before, held, out))
                out.clear();
            text = std::move(out);
        };
        convert(searchText_);
        convert(filterText_);
        for (std::string& line : openedHeader_.lines)
            convert(line);
        for (std::string& label : openedHeader_.labels)
            convert(label);
        grid_ = std::move(converted);
        history_.clear(true);
        historyEpoch_ = grid_.Epoch();
        convertedForm = true;
        TableLines rebuilt = TableLines::FromBytes(BuildSaveBytes(grid_, rowNumberBase, form), fields);
        rebuilt.setEncoding(as);
        rebuilt.setLineForm(lines_.lineBreak(), lines_.lastLineEnded());
        lines_ = std::move(rebuilt);
        rebuild = false;
        if (observer_)
            observer_->gridReplaced();
    }
    if (rebuild) {
        TableLines rebuilt = TableLines::FromBytes(BuildSaveBytes(grid_, rowNumberBase, form), fields);
        rebuilt.setEncoding(FileEncoding{grid_.Encoding(), false});
        rebuilt.setLineForm(lines_.lineBreak(), lines_.lastLineEnded());
        lines_ = std::move(rebuilt);
    }
    lines_.setFileEncoding(as);
    // The file holds all of the table now, and the half character if it was written.
    TextEnd written;
    written.halfCharacter = !tail.empty();
    written.strayByte = written.halfCharacter ? end.strayByte : 0;
    lines_.setTextEnd(written);
    cellWidths_.clear();
    // A numbered file is not the grid.
    if (!numbered)
        history_.markClean();
    else
        history_.markNeverClean();
    // The lines are the grid's from here on, not what reading the file gives,
    // unless the history starts again here: edits recorded before hold the
    // old form, and the file as written, header block and all, is the base.
    linesFromFile_ = convertedForm;
    if (convertedForm) {
        readChoice_ = ReadChoice{as.encoding, fields};
        layoutOrder_.clear();
        announceBase();
    }
    if (recorder_)
        recorder_->saved(disk_);
    historyChanged();
    return saved;
}

// Under a filter the column commands change the rows that show, as Sum and
// Copy read only those.
void TableDocument::simpleNumber()
{
    const RecordsEdit recorded(*this, EditKind::SimpleNumber);
    const StepName named(*this, "Simple Number");
    changeColumnCells(grid_.Col, [this] { filtered_ ? SimpleNumber(grid_, shownRows_) : SimpleNumber(grid_); });
}

void TableDocument::blankColumn()
{
    const RecordsEdit recorded(*this, EditKind::BlankColumn);
    const StepName named(*this, "Delete Col");
    changeColumnCells(grid_.Col, [this] { filtered_ ? BlankColumn(grid_, shownRows_) : BlankColumn(grid_); });
}

void TableDocument::shiftColumnLeft()
{
    const RecordsEdit recorded(*this, EditKind::ShiftColumnLeft);
    const StepName named(*this, "Shift Col N+1 to N");
    changeColumnCells(grid_.Col, [this] { filtered_ ? ShiftColumnLeft(grid_, shownRows_) : ShiftColumnLeft(grid_); });
}

bool TableDocument::sortRows(bool descending)
{
    const RecordsEdit recorded(*this, EditKind::SortRows, [&](EditEncoder& e) { e.number(descending ? 1 : 0); });
    const PlacesCursor placed(*this);
    const StepName named(*this, "Sort");
    auto order = std::make_shared<const std::vector<int>>(SortedRowOrder(grid_, grid_.Col, descending));
    bool moves = false;
    for (std::size_t i = 0; i < order->size() && !moves; ++i)
        moves = (*order)[i] != static_cast<int>(i) + 1;
    if (!moves)
        return false;
    const int col = grid_.Col;
    const int row = grid_.Row;
    const std::uint64_t epoch = grid_.Epoch();
    reorderRowsNow(*order);
    // The step keeps the order alone; undo works out its inverse, which
    // takes a few milliseconds, rather than hold a second copy.
    record(UndoStep{[this, order, col, row] {
                        std::vector<int> inverse(order->size());
                        for (std::size_t i = 0; i < order->size(); ++i)
                            inverse[static_cast<std::size_t>((*order)[i] - 1)] = static_cast<int>(i) + 1;
                        reorderRowsNow(inverse);
                        putCursor(col, row);
                    },
                    [this, order, col, row] {
                        reorderRowsNow(*order);
                        putCursor(col, row);
                    },
                    sizeof(UndoStep) + order->size() * sizeof(int)},
           epoch);
    return true;
}

void TableDocument::reorderRowsNow(const std::vector<int>& order)
{
    if (!filtered_) {
        grid_.PermuteRows(1, order);
        changedColumns(0, grid_.ColCount() - 1);
        return;
    }
    // The rows that show go where their rows went; the cursor keeps its
    // place among them.
    const auto cursorAt = std::lower_bound(shownRows_.begin(), shownRows_.end(), grid_.Row);
    const bool cursorShown = cursorAt != shownRows_.end() && *cursorAt == grid_.Row;
    const auto cursorPlace = cursorAt - shownRows_.begin();
    std::vector<int> placeOf(order.size() + 1);
    for (std::size_t i = 0; i < order.size(); ++i)
        placeOf[static_cast<std::size_t>(order[i])] = static_cast<int>(i) + 1;
    const ShapeChange change(*this);
    if (observer_)
        observer_->gridAboutToBeReplaced();
    for (int& r : shownRows_)
        r = placeOf[static_cast<std::size_t>(r)];
    std::sort(shownRows_.begin(), shownRows_.end());
    grid_.PermuteRows(1, order);
    if (cursorShown)
        grid_.Row = shownRows_[static_cast<std::size_t>(cursorPlace)];
    keepCursorShown();
    if (observer_)
        observer_->gridReplaced();
}

int TableDocument::filterRows(const std::string& words)
{
    const RecordsEdit recorded(*this, EditKind::FilterRows, [&](EditEncoder& e) { e.text(words); });
    const PlacesCursor placed(*this);
    std::vector<int> rows = MatchingRows(grid_, words);
    const ShapeChange change(*this);
    if (observer_)
        observer_->gridAboutToBeReplaced();
    filtered_ = true;
    filterText_ = words;
    shownRows_ = std::move(rows);
    // The cursor goes to the first row that shows, unless its own does.
    if (!shownRows_.empty() && !std::binary_search(shownRows_.begin(), shownRows_.end(), grid_.Row))
        grid_.Row = shownRows_.front();
    if (observer_)
        observer_->gridReplaced();
    historyChanged();
    return static_cast<int>(shownRows_.size());
}

void TableDocument::showAllRows()
{
    const RecordsEdit recorded(*this, EditKind::ShowAllRows);
    const PlacesCursor placed(*this);
    if (!filtered_)
        return;
    const ShapeChange change(*this);
    if (observer_)
        observer_->gridAboutToBeReplaced();
    forgetFilter();
    if (observer_)
        observer_->gridReplaced();
    historyChanged();
}

void TableDocument::forgetFilter()
{
    filtered_ = false;
    shownRows_.clear();
    filterText_.clear();
}

void TableDocument::removeRowNow(int row)
{
    const ShapeChange change(*this);
    // While filtered the view's rows are a list; it is made again whole.
    if (observer_ && !filtered_)
        observer_->rowAboutToBeRemoved(row);
    else if (observer_)
        observer_->gridAboutToBeReplaced();
    DeleteGridRow(grid_, row);
    if (filtered_) {
        const auto at = std::lower_bound(shownRows_.begin(), shownRows_.end(), row);
        auto next = shownRows_.erase(at, at != shownRows_.end() && *at == row ? at + 1 : at);
        for (; next != shownRows_.end(); ++next)
            --*next;
        // The row that followed may be one the filter hides.
        keepCursorShown();
    }
    if (observer_ && !filtered_)
        observer_->rowRemoved(row);
    else if (observer_)
        observer_->gridReplaced();
}

void TableDocument::insertRowNow(int row, const CoreGrid::HeldRow& held, int fixedRows, int cursorCol)
{
    const ShapeChange change(*this);
    if (observer_ && !filtered_)
        observer_->rowAboutToBeInserted(row);
    else if (observer_)
        observer_->gridAboutToBeReplaced();
    grid_.InsertRow(row, held);
    grid_.SetFixedRows(fixedRows);
    if (filtered_ && row > 0) {
        // A row put back shows again, where it stood.
        auto at = std::lower_bound(shownRows_.begin(), shownRows_.end(), row);
        for (auto next = at; next != shownRows_.end(); ++next)
            ++*next;
        shownRows_.insert(at, row);
    }
    putCursor(cursorCol, row);
    if (observer_ && !filtered_)
        observer_->rowInserted(row);
    else if (observer_)
        observer_->gridReplaced();
}

bool TableDocument::deleteRow()
{
    const RecordsEdit recorded(*this, EditKind::DeleteRow);
    const StepName named(*this, "Delete Row");
    const int row = grid_.Row;
    const int col = grid_.Col;
    if (!CanDeleteRow(grid_))
        return false;
    // Never a row the filter hides.
    if (filtered_ && !std::binary_search(shownRows_.begin(), shownRows_.end(), row))
        return false;
    auto held = std::make_shared<const CoreGrid::HeldRow>(grid_.HoldRow(row));
    const int fixedRows = grid_.FixedRows();
    const std::uint64_t epoch = grid_.Epoch();
    removeRowNow(row);
    const std::size_t bytes = sizeof(CoreGrid::HeldRow) + held->cells.size() * sizeof(CoreGrid::CellCode);
    record(UndoStep{[this, held, fixedRows, col, row] { insertRowNow(row, *held, fixedRows, col); },
                    [this, col, row] {
                        grid_.Col = col;
                        removeRowNow(row);
                    },
                    bytes},
           epoch);
    return true;
}

void TableDocument::removeColumnNow(int col)
{
    const ShapeChange change(*this);
    if (observer_)
        observer_->columnAboutToBeRemoved(col);
    DeleteGridColumn(grid_, col);
    if (observer_)
        observer_->columnRemoved(col);
}

void TableDocument::insertColumnNow(int col, CoreGrid::HeldColumn held, int cursorRow)
{
    const ShapeChange change(*this);
    if (observer_)
        observer_->columnAboutToBeInserted(col);
    grid_.InsertColumn(col, std::move(held));
    putCursor(col, cursorRow);
    if (observer_)
        observer_->columnInserted(col);
}

bool TableDocument::removeColumn()
{
    const RecordsEdit recorded(*this, EditKind::RemoveColumn);
    const StepName named(*this, "Remove Column");
    const int col = grid_.Col;
    const int row = grid_.Row;
    if (!CanDeleteColumn(grid_))
        return false;
    // Held only while the column is out of the grid.
    auto held = std::make_shared<CoreGrid::HeldColumn>(grid_.HoldColumn(col));
    const std::uint64_t epoch = grid_.Epoch();
    removeColumnNow(col);
    const std::size_t bytes = sizeof(CoreGrid::HeldColumn) + held->cells.size() * sizeof(CoreGrid::CellCode);
    record(UndoStep{[this, held, col, row] { insertColumnNow(col, std::move(*held), row); },
                    [this, held, col, row] {
                        *held = grid_.HoldColumn(col);
                        putCursor(col, row);
                        removeColumnNow(col);
                    },
                    bytes},
           epoch);
    return true;
}

bool TableDocument::insertRow(bool below)
{
    const RecordsEdit recorded(*this, EditKind::InsertRow, [&](EditEncoder& e) { e.number(below ? 1 : 0); });
    const PlacesCursor placed(*this);
    const StepName named(*this, "Insert Row");
    const int col = grid_.Col;
    const int cursor = grid_.Row;
    if (cursor < grid_.FixedRows() || cursor >= grid_.RowCount())
        return false;
    const int row = below ? cursor + 1 : cursor;
    // A blank row holds every field, as an empty line of the table would not.
    auto blank = std::make_shared<const CoreGrid::HeldRow>(CoreGrid::HeldRow{
        0, std::vector<CoreGrid::CellCode>(static_cast<std::size_t>(grid_.ColCount()), grid_.BlankCode())});
    const int fixedRows = grid_.FixedRows();
    const std::uint64_t epoch = grid_.Epoch();
    insertRowNow(row, *blank, fixedRows, col);
    const std::size_t bytes = sizeof(CoreGrid::HeldRow) + blank->cells.size() * sizeof(CoreGrid::CellCode);
    record(UndoStep{[this, col, row, cursor] {
                        grid_.Col = col;
                        removeRowNow(row);
                        putCursor(col, cursor);
                        keepCursorShown();
                    },
                    [this, blank, fixedRows, col, row] { insertRowNow(row, *blank, fixedRows, col); }, bytes},
           epoch);
    return true;
}

bool TableDocument::insertColumn()
{
    const RecordsEdit recorded(*this, EditKind::InsertColumn);
    const PlacesCursor placed(*this);
    const StepName named(*this, "Insert Column");
    const int col = grid_.Col;
    const int row = grid_.Row;
    if (col < 0 || col >= grid_.ColCount())
        return false;
    // A row that ends before the column stays as short as it was.
    CoreGrid::HeldColumn blank;
    blank.cells.resize(static_cast<std::size_t>(grid_.RowCount()));
    for (int r = 0; r < grid_.RowCount(); ++r)
        blank.cells[static_cast<std::size_t>(r)] = grid_.IsFill(col, r) ? grid_.Code(col, r) : grid_.BlankCode();
    blank.width = CoreGrid::DefaultColWidth;
    auto held = std::make_shared<CoreGrid::HeldColumn>(blank);
    const std::uint64_t epoch = grid_.Epoch();
    insertColumnNow(col, std::move(blank), row);
    const std::size_t bytes = sizeof(CoreGrid::HeldColumn) + held->cells.size() * sizeof(CoreGrid::CellCode);
    record(UndoStep{[this, col, row] {
                        putCursor(col, row);
                        removeColumnNow(col);
                        putCursor(col, row);
                    },
                    [this, held, col, row] { insertColumnNow(col, *held, row); }, bytes},
           epoch);
    return true;
}

std::size_t TableDocument::clearCells(const std::vector<int>& rows, int firstCol, int lastCol)
{
    const RecordsEdit recorded(*this, EditKind::ClearCells, [&](EditEncoder& e) {
        e.number(firstCol).number(lastCol).number(static_cast<std::int64_t>(rows.size()));
        for (const int r : rows)
            e.number(r);
    });
    const StepName named(*this, "Clear");
    return changeBlockCells(firstCol, lastCol, [&] {
        for (int c = std::max(firstCol, 0); c <= std::min(lastCol, grid_.ColCount() - 1); ++c)
            for (const int r : rows) {
                if (r < grid_.FixedRows() || r >= grid_.RowCount())
                    continue;
                const std::string_view text = grid_.Cell(c, r);
                // The space an empty field is laid out as is empty already.
                if (!text.empty() && text != " ")
                    grid_.SetCell(c, r, {});
            }
    });
}

void TableDocument::growGrid(int addRows, int addCols)
{
    const ShapeChange change(*this);
    if (observer_)
        observer_->gridAboutToBeReplaced();
    grid_.AddColumns(grid_.ColCount() + addCols);
    const CoreGrid::HeldRow blank{
        0, std::vector<CoreGrid::CellCode>(static_cast<std::size_t>(grid_.ColCount()), grid_.BlankCode())};
    for (int k = 0; k < addRows; ++k) {
        // Rows added under a filter show.
        if (filtered_)
            shownRows_.push_back(grid_.RowCount());
        grid_.InsertRow(grid_.RowCount(), blank);
    }
    if (observer_)
        observer_->gridReplaced();
}

void TableDocument::shrinkGrid(int rows, int cols)
{
    const ShapeChange change(*this);
    if (observer_)
        observer_->gridAboutToBeReplaced();
    while (grid_.RowCount() > rows)
        grid_.DeleteRow(grid_.RowCount() - 1);
    while (grid_.ColCount() > cols)
        grid_.DeleteColumn(grid_.ColCount() - 1);
    if (filtered_)
        shownRows_.erase(std::lower_bound(shownRows_.begin(), shownRows_.end(), rows), shownRows_.end());
    grid_.ClampCursor();
    if (observer_)
        observer_->gridReplaced();
}

PastedBlock TableDocument::pasteCells(const std::vector<std::vector<std::string>>& cells)
{
    const RecordsEdit recorded(*this, EditKind::PasteCells, [&](EditEncoder& e) {
        e.number(static_cast<std::int64_t>(cells.size()));
        for (const auto& line : cells) {
            e.number(static_cast<std::int64_t>(line.size()));
            for (const std::string& cell : line)
                e.text(cell);
        }
    });
    const PlacesCursor placed(*this);
    const StepName named(*this, "Paste");
    PastedBlock block;
    std::size_t width = 0;
    for (const auto& r : cells)
        width = std::max(width, r.size());
    if (width == 0 || grid_.RowCount() == 0 || grid_.ColCount() == 0)
        return block;
    const int col = std::clamp(grid_.Col, 0, grid_.ColCount() - 1);
    const int row = std::max(grid_.Row, grid_.FixedRows());
    // The rows that show, from the cursor's on; new rows at the end for the rest.
    std::vector<int>& rows = block.rows;
    if (filtered_) {
        for (auto it = std::lower_bound(shownRows_.begin(), shownRows_.end(), row);
             it != shownRows_.end() && rows.size() < cells.size(); ++it)
            rows.push_back(*it);
    } else {
        for (int r = row; r < grid_.RowCount() && rows.size() < cells.size(); ++r)
            rows.push_back(r);
    }
    const int oldRows = grid_.RowCount();
    const int oldCols = grid_.ColCount();
    const int addRows = static_cast<int>(cells.size() - rows.size());
    const int addCols = std::max(0, col + static_cast<int>(width) - oldCols);
    for (int k = 0; k < addRows; ++k)
        rows.push_back(oldRows + k);
    block.firstCol = col;
    block.lastCol = col + static_cast<int>(width) - 1;

    const std::uint64_t epoch = grid_.Epoch();
    const int cursorCol = grid_.Col;
    const int cursorRow = grid_.Row;
    std::vector<UndoStep> parts;
    if (addRows > 0 || addCols > 0) {
        growGrid(addRows, addCols);
        parts.push_back(UndoStep{[this, oldRows, oldCols] { shrinkGrid(oldRows, oldCols); },
                                 [this, addRows, addCols] { growGrid(addRows, addCols); },
                                 static_cast<std::size_t>(addRows) * sizeof(CoreGrid::CellCode)});
    }
    std::size_t changed = 0;
    std::optional<UndoStep> cellsStep = cellChangesStep(
        block.firstCol, block.lastCol,
        [&] {
            for (std::size_t i = 0; i < cells.size(); ++i)
                for (std::size_t j = 0; j < cells[i].size(); ++j)
                    grid_.SetCell(col + static_cast<int>(j), rows[i], cells[i][j]);
        },
        changed);
    if (cellsStep)
        parts.push_back(std::move(*cellsStep));
    putCursor(col, rows.front());
    if (parts.empty())
        return block;
    const int firstRow = rows.front();
    record(CompoundStep(
               std::move(parts),
               [this, cursorCol, cursorRow] {
                   putCursor(cursorCol, cursorRow);
                   keepCursorShown();
               },
               [this, col, firstRow] { putCursor(col, firstRow); }),
           epoch);
    return block;
}

std::size_t TableDocument::replaceInCells(std::string_view find, std::string_view with, bool wholeCells)
{
    const RecordsEdit recorded(*this, EditKind::ReplaceInCells,
                               [&](EditEncoder& e) { e.text(find).text(with).number(wholeCells ? 1 : 0); });
    const StepName named(*this, "Find and Replace");
    if (find.empty())
        return 0;
    const int first = grid_.FixedRows();
    return changeBlockCells(0, grid_.ColCount() - 1, [&] {
        std::string replaced;
        const auto replaceIn = [&](int c, int r) {
            const std::string_view cell = grid_.Cell(c, r);
            if (wholeCells) {
                if (cell == find)
                    grid_.SetCell(c, r, with);
                return;
            }
            std::size_t at = cell.find(find);
            if (at == std::string_view::npos)
                return;
            replaced.clear();
            std::size_t from = 0;
            for (; at != std::string_view::npos; at = cell.find(find, from)) {
                replaced.append(cell.substr(from, at - from));
                replaced.append(with);
                from = at + find.size();
            }
            replaced.append(cell.substr(from));
            grid_.SetCell(c, r, replaced);
        };
        for (int c = 0; c < grid_.ColCount(); ++c) {
            if (filtered_) {
                for (const int r : shownRows_)
                    if (r >= first)
                        replaceIn(c, r);
            } else {
                for (int r = first; r < grid_.RowCount(); ++r)
                    replaceIn(c, r);
            }
        }
    });
}

bool TableDocument::renameColumn(std::string_view name)
{
    const RecordsEdit recorded(*this, EditKind::RenameColumn, [&](EditEncoder& e) { e.text(name); });
    const StepName named(*this, "Rename Column");
    const int col = grid_.Col;
    if (col < 0 || col >= grid_.ColCount() || grid_.RowCount() == 0 || grid_.Cell(col, 0) == name)
        return false;
    const int row = grid_.Row;
    setCell(col, 0, name);
    // The cursor never rests on the header row.
    putCursor(col, row);
    return true;
}

bool TableDocument::goToRow(int row)
{
    const PlacesCursor placed(*this);
    if (row < grid_.FixedRows() || row >= grid_.RowCount())
        return false;
    if (filtered_ && !std::binary_search(shownRows_.begin(), shownRows_.end(), row))
        return false;
    setCursor(grid_.Col, row);
    return true;
}

bool TableDocument::fixCellSize(const std::string& widths, LayoutTarget& target, const LoadProgressFn& progress)
{
    // Fixed widths cut tab-separated tables only.
    if (lines_.form().quoted)
        return false;
    // Laid out aside first, so that a cancel leaves widths, file and grid alone.
    CoreGrid fresh;
    std::vector<int> order;
    if (!buildGrid(lines_, widths, target, progress, fresh, &order))
        return false;
    // A ".cfg" that cannot be written leaves the widths in use until the next open.
    WriteCellFormat(CfgPathFor(path_), widths);
    cellWidths_ = widths;
    replaceGrid(std::move(fresh));
    layoutOrder_ = std::move(order);
    announceBase();
    return true;
}

bool TableDocument::saveColumnOrder()
{
    return SaveColOrder(grid_, columnOrders_, columnOrdersPath_);
}

bool TableDocument::deleteColumnOrder(LayoutTarget& target, const LoadProgressFn& progress)
{
    // Laid out aside first, so that a cancel keeps the order on screen, in
    // memory and in the file.
    std::vector<std::string> orders = columnOrders_;
    ForgetColOrder(grid_, orders);
    CoreGrid fresh;
    std::vector<int> order;
    if (!buildGrid(lines_, cellWidths_, orders, target, progress, fresh, &order))
        return false;
    const bool written = DeleteColOrder(grid_, columnOrders_, columnOrdersPath_);
    replaceGrid(std::move(fresh));
    layoutOrder_ = std::move(order);
    announceBase();
    return written;
}

int TableDocument::searchRows(const std::string& text)
{
    const PlacesCursor placed(*this);
    if (text.empty())
        return grid_.Row;
    searchText_ = text;
    grid_.Row = searchShownRows(1);
    return grid_.Row;
}

int TableDocument::searchAgain()
{
    const PlacesCursor placed(*this);
    int from = grid_.Row + 1;
    if (filtered_) {
        // The place after the cursor's row among the rows that show.
        from = static_cast<int>(std::upper_bound(shownRows_.begin(), shownRows_.end(), grid_.Row) - shownRows_.begin())
            + 1;
    }
    grid_.Row = searchShownRows(from);
    return grid_.Row;
}

int TableDocument::searchShownRows(int from) const
{
    if (!filtered_)
        return SearchFrom(grid_, searchText_, from);
    // Among the rows that show: row k of the shown grid is shownRows_[k - 1].
    if (shownRows_.empty())
        return grid_.Row;
    CoreGrid shown = grid_.WithRows(shownRows_);
    shown.Row = 1;
    const int k = SearchFrom(shown, searchText_, from);
    return k >= 1 ? shownRows_[static_cast<std::size_t>(k - 1)] : grid_.Row;
}

double TableDocument::sumCurrentColumn() const
{
    return readShownGrid([this](const CoreGrid& shown) { return SumColumn(shown, grid_.Col); });
}

std::vector<std::string> TableDocument::currentColumnValues(bool withoutRepeat) const
{
    return readShownGrid([&](const CoreGrid& shown) {
        return ColumnValues(shown, grid_.Col, withoutRepeat, PersianCollator(grid_.Encoding()));
    });
}

FileStatus TableDocument::saveCurrentColumn(const std::string& path, bool withoutRepeat) const
{
    const std::vector<std::string> values = currentColumnValues(withoutRepeat);
    const std::string held = JoinLinesCrLf(values);
    const FileEncoding& as = encoding();
    if (as.encoding == TextEncoding::Windows1256 && grid_.Encoding() == TextEncoding::Windows1256)
        return WriteFileAtomic(path, held);
    std::string bytes(ByteOrderMarkOf(as));
    UnfitCharacter unfit;
    if (!AppendHeldAs(held, grid_.Encoding(), as.encoding, bytes, &unfit)) {
        // A UTF-8 grid of a table kept in Windows-1256, edited since: the
        // cell of the first value that does not fit is named.
        const auto line = static_cast<std::size_t>(
            std::count(held.begin(), held.begin() + static_cast<std::ptrdiff_t>(unfit.offset), '\n'));
        int row = 0;
        while (row + 1 < grid_.RowCount() && grid_.Cell(grid_.Col, row) != values[line])
            ++row;
        FileError error(FileErrorCode::NotInEncoding, path);
        NameCell(error, grid_, grid_.Col, row);
        error.codePoint = unfit.codePoint;
        return error;
    }
    return WriteFileAtomic(path, bytes);
}

std::vector<std::string> TableDocument::distinctValuesOfCurrentColumn() const
{
    return readShownGrid([this](const CoreGrid& shown) {
        return DistinctColumnValues(shown, grid_.Col, PersianCollator(grid_.Encoding()));
    });
}

std::string TableDocument::valuesFileName() const
{
    return ColumnValueFileName(grid_.Col);
}

PasteOutcome TableDocument::writePasteFile(const std::string& clipboardText, TextEncoding held,
                                           const std::string& folder)
{
    const auto lines = pasteFileLines(clipboardText, held, folder);
    return lines ? writePasteLines(*lines, folder) : PasteOutcome{};
}

std::optional<std::vector<std::string>> TableDocument::pasteFileLines(const std::string& clipboardText,
                                                                      TextEncoding held, const std::string& folder)
{
    held = HeldForm(held);
    std::vector<std::string> list;
    const int columns = ParseClipboardTable(clipboardText, list);
    const std::string remembered = LoadTextRetry(folder + ClipTablePasteHdrFile, true);
    return BuildPasteFile(list, columns, remembered, held);
}

PasteOutcome TableDocument::writePasteLines(const std::vector<std::string>& lines, const std::string& folder)
{
    PasteOutcome outcome;
    outcome.path = folder + ClipTablePasteFile;
    outcome.kind = PasteOutcome::Kind::Written;
    std::string bytes;
    try {
        bytes = JoinLinesCrLf(lines);
    } catch (const std::bad_alloc&) {
        outcome.kind = PasteOutcome::Kind::Failed;
        outcome.error = FileError(FileErrorCode::NoMemory, outcome.path);
        return outcome;
    }
    // Tried again for a moment, as the retrying writers do: another program
    // may hold the file. A failure is told: the file may still hold an
    // earlier paste, which must not pass for this one.
    const std::string backup = BackupPathFor(outcome.path);
    const auto start = RetryClock();
    FileStatus written = WriteFileWithBackup(outcome.path, bytes, backup);
    while (!written && written.code() != FileErrorCode::NoMemory && RetryClock() - start < RetryWindow) {
        PauseBeforeRetry();
        written = WriteFileWithBackup(outcome.path, bytes, backup);
    }
    if (!written) {
        outcome.kind = PasteOutcome::Kind::Failed;
        outcome.error = written.error();
    }
    return outcome;
}

void TableDocument::setEditRecorder(EditRecorder* recorder)
{
    recorder_ = recorder;
    if (recorder_)
        recorder_->baseChanged(editBase());
}

EditBase TableDocument::editBase() const
{
    EditBase base;
    base.emptyGrid = path_.empty();
    if (base.emptyGrid)
        return base;
    base.path = path_;
    base.sheet = sheet_;
    base.bytes = lines_.buffer();
    base.form = lines_.form();
    base.encoding = lines_.encoding();
    base.textEnd = lines_.textEnd();
    base.lineBreak = std::string(lines_.lineBreak());
    base.lastLineEnded = lines_.lastLineEnded();
    base.cellWidths = cellWidths_;
    base.columnOrder = layoutOrder_;
    if (linesFromFile_ && sheet_.empty()) {
        base.file = disk_;
        base.readEncoding = readChoice_.encoding;
        base.readForm = readChoice_.form;
    }
    return base;
}

void TableDocument::announceBase()
{
    if (recorder_)
        recorder_->baseChanged(editBase());
}

TableDocument::RecordsEdit::~RecordsEdit()
{
    --doc.editDepth_;
    if (outer && edit && doc.recorder_ && std::uncaught_exceptions() == 0)
        doc.recorder_->edited(edit->bytes());
}

FileStatus TableDocument::openRecorded(const EditBase& base, const std::string& path, LayoutTarget& target,
                                       const LoadProgressFn& progress, FileIdentity* identity)
{
    if (base.emptyGrid) {
        lines_ = TableLines();
        replaceGrid(CoreGrid());
        path_.clear();
        disk_ = {};
        sheet_.clear();
        cellWidths_.clear();
        layoutOrder_.clear();
        linesFromFile_ = false;
        readChoice_ = {};
        folderFiles_.clear();
        openedHeader_ = {};
        headerPanelCount_ = 0;
        announceBase();
        return {};
    }
    TableLines lines;
    FileIdentity read;
    const bool fromFile = !base.bytes;
    const ReadChoice choice{base.readEncoding, base.readForm};
    if (fromFile) {
        if (FileStatus status =
                ReadTableFile(base.path, lines, StageProgress(progress, LoadStage::Reading), choice, &read);
            !status)
            return status;
    } else {
        if (!TableLines::FromBytes(ByteBuffer(base.bytes->view()), lines, StageProgress(progress, LoadStage::Reading),
                                   base.form))
            return FileStatus(FileErrorCode::Cancelled, path);
        lines.setEncoding(base.encoding);
        lines.setLineForm(base.lineBreak, base.lastLineEnded);
        lines.setTextEnd(base.textEnd);
    }
    FileStatus opened = openLinesInOrder(std::move(lines), path, base.cellWidths, target, progress, &base.columnOrder);
    if (!opened)
        return opened;
    sheet_ = base.sheet;
    linesFromFile_ = fromFile;
    readChoice_ = fromFile ? choice : ReadChoice{};
    if (fromFile)
        disk_ = read;
    if (identity)
        *identity = read;
    announceBase();
    return {};
}

void TableDocument::markRestored()
{
    history_.markNeverClean();
    historyChanged();
}

bool TableDocument::saveRowForHeader(const std::string& folder) const
{
    return SaveTextRetry(HeaderFileText(HeaderRowText(grid_, grid_.Row), grid_.Encoding()),
                         folder + ClipTablePasteHdrFile);
}

} // namespace rasmik
