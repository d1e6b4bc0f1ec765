#include "table/TableDocument.h"

#include "table/ClipboardTable.h"
#include "table/ColumnExtract.h"
#include "table/ColumnOrder.h"
#include "table/ColumnSum.h"
#include "table/EditCommands.h"
#include "table/FolderFiles.h"
#include "table/SaveLines.h"
#include "table/Search.h"
#include "text/StringHelpers.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace rasmik {

namespace {

// More rows than a grid can hold.

ProgressFn StageProgress(const LoadProgressFn& progress, LoadStage stage)
{
    if (!progress)
        return {};
    return [&progress, stage](std::uint64_t done, std::uint64_t total) { return progress(stage, done, total); };
}

} // namespace

void TableDocument::loadColumnOrders(const std::string& optionCfgPath)
{
    columnOrdersPath_ = optionCfgPath;
    columnOrders_.clear();
    // Another running copy may hold the file for a moment while it saves;
    // starting with an empty list then would wipe every remembered order at
    // this copy's next save, so such a file is waited for.
    const auto start = std::chrono::steady_clock::now();
    while (!LoadLinesRetry(&columnOrders_, optionCfgPath) && FileIsThere(optionCfgPath) &&
           std::chrono::steady_clock::now() - start < RetryWindow)
        std::this_thread::sleep_for(RetryPause);
}

void TableDocument::replaceGrid(CoreGrid&& fresh)
{
    const ShapeChange change(*this);
    if (observer_)
        observer_->gridAboutToBeReplaced();
    grid_ = std::move(fresh);
    if (observer_)
        observer_->gridReplaced();
}

void TableDocument::changedColumns(int firstCol, int lastCol)
{
    if (observer_ && firstCol <= lastCol)
        observer_->cellsChanged(firstCol, lastCol);
}

bool TableDocument::buildGrid(const TableLines& lines, const std::string& cellWidths, LayoutTarget& target,
                              const LoadProgressFn& progress, CoreGrid& out) const
{
    return buildGrid(lines, cellWidths, columnOrders_, target, progress, out);
}

bool TableDocument::buildGrid(const TableLines& lines, const std::string& cellWidths,
                              const std::vector<std::string>& orders, LayoutTarget& target,
                              const LoadProgressFn& progress, CoreGrid& out) const
{
    CoreGrid fresh;
    if (!LayoutGridCells(fresh, lines, cellWidths, StageProgress(progress, LoadStage::Cells)))
        return false;
    ApplyColumnOrder(fresh, orders);
    const TextMetrics& metrics = target.metrics();
    // Past the cells there is nothing to cancel: the widths are always found.
    ProgressFn widthProgress;
    if (progress)
        widthProgress = [&progress](std::uint64_t done, std::uint64_t total) {
            progress(LoadStage::Widths, done, total);
            return true;
        };
    const std::vector<int> widths = ComputeColumnWidths(fresh, metrics, target.gridWidth(), widthProgress);
    FinishLayout(fresh, widths, metrics.textHeight("AY"));
    fresh.Col = 0;
    fresh.Row = fresh.FixedRows();
    out = std::move(fresh);
    return true;
}

FileStatus TableDocument::open(const std::string& givenPath, LayoutTarget& target, const LoadProgressFn& progress)
{
    // Made clean once, so that the caption, "Pre File" / "Next File" and the
    // save's backup all see one spelling of the file.
    const std::string path = CleanTablePath(givenPath);
    const std::string cellWidths = ReadCellFormat(path);
    TableLines lines;
    FileStatus read = ReadTableFile(path, lines, StageProgress(progress, LoadStage::Reading));
    if (!read)
        return read;
    return openLines(std::move(lines), path, cellWidths, target, progress);
}

FileStatus TableDocument::openLines(TableLines lines, const std::string& givenPath, const std::string& cellWidths,
                                    LayoutTarget& target, const LoadProgressFn& progress)
{
    const std::string path = CleanTablePath(givenPath);
    const HeaderBlock block = ReadHeaderBlock(lines);
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
    if (!buildGrid(lines, cellWidths, target, watched, fresh))
        return FileStatus(cancelled ? FileErrorCode::Cancelled : FileErrorCode::TooLarge, path);
    std::vector<std::string> files = RebuildFolderFiles(NormalizeFolder(FolderOf(path)));

    replaceGrid(std::move(fresh));
    lines_ = std::move(lines);
    path_ = path;
    cellWidths_ = cellWidths;
    folderFiles_ = std::move(files);
    openedHeader_ = block;
    if (block.found) {
        closeOnKey_ = block.closeOnKey;
        headerPanelCount_ = block.panelCount;
    } else {
        headerPanelCount_ = 0;
    }
    return {};
}

bool TableDocument::layOut(LayoutTarget& target, const LoadProgressFn& progress)
{
    CoreGrid fresh;
    if (!buildGrid(lines_, cellWidths_, target, progress, fresh))
        return false;
    replaceGrid(std::move(fresh));
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
    if (col < 0 || row < 0 || col >= grid_.ColCount() || row >= grid_.RowCount())
        return;
    grid_.SetCell(col, row, text);
    if (observer_)
        observer_->cellChanged(col, row);
}

void TableDocument::moveColumn(int from, int to)
{
    const int count = grid_.ColCount();
    if (from < 0 || to < 0 || from >= count || to >= count || from == to)
        return;
    const int cur = grid_.Col;
    grid_.MoveColumn(from, to);
    changedColumns(std::min(from, to), std::max(from, to));
    if (cur == from)
        grid_.Col = to;
    else if (from < to && cur > from && cur <= to)
        grid_.Col = cur - 1;
    else if (to < from && cur >= to && cur < from)
        grid_.Col = cur + 1;
}

void TableDocument::setColumnWidth(int col, int width)
{
    if (col >= 0 && col < grid_.ColCount())
        grid_.SetColWidth(col, width);
}

FileStatus TableDocument::save(const std::string& path, std::int64_t rowNumberBase, const ProgressFn& progress) const
{
    return SaveGridToFile(grid_, rowNumberBase, path, path_, progress);
}

void TableDocument::simpleNumber()
{
    SimpleNumber(grid_);
    changedColumns(grid_.Col, grid_.Col);
}

void TableDocument::blankColumn()
{
    BlankColumn(grid_);
    changedColumns(grid_.Col, grid_.Col);
}

void TableDocument::shiftColumnLeft()
{
    ShiftColumnLeft(grid_);
    changedColumns(grid_.Col, grid_.Col);
}

bool TableDocument::deleteRow()
{
    const int row = grid_.Row;
    // As DeleteRowCommand decides: never row 0, never the only row.
    if (row <= 0 || row >= grid_.RowCount())
        return false;
    const ShapeChange change(*this);
    if (observer_)
        observer_->rowAboutToBeRemoved(row);
    const bool deleted = DeleteRowCommand(grid_);
    if (observer_)
        observer_->rowRemoved(row);
    return deleted;
}

bool TableDocument::removeColumn()
{
    const int col = grid_.Col;
    // As DeleteColCommand decides: never column 0, never the only column.
    if (col <= 0 || col >= grid_.ColCount())
        return false;
    const ShapeChange change(*this);
    if (observer_)
        observer_->columnAboutToBeRemoved(col);
    const bool removed = DeleteColCommand(grid_);
    if (observer_)
        observer_->columnRemoved(col);
    return removed;
}

bool TableDocument::fixCellSize(const std::string& widths, LayoutTarget& target, const LoadProgressFn& progress)
{
    // Laid out aside first, so that a cancel leaves widths, file and grid alone.
    CoreGrid fresh;
    if (!buildGrid(lines_, widths, target, progress, fresh))
        return false;
    // A ".cfg" that cannot be written leaves the widths in use until the next open.
    WriteCellFormat(CfgPathFor(path_), widths);
    cellWidths_ = widths;
    replaceGrid(std::move(fresh));
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
    if (!buildGrid(lines_, cellWidths_, orders, target, progress, fresh))
        return false;
    const bool written = DeleteColOrder(grid_, columnOrders_, columnOrdersPath_);
    replaceGrid(std::move(fresh));
    return written;
}

int TableDocument::searchRows(const std::string& text)
{
    if (text.empty())
        return grid_.Row;
    searchText_ = text;
    grid_.Row = SearchFrom(grid_, searchText_, 1);
    return grid_.Row;
}

int TableDocument::searchAgain()
{
    grid_.Row = SearchFrom(grid_, searchText_, grid_.Row + 1);
    return grid_.Row;
}

double TableDocument::sumCurrentColumn() const
{
    return SumColumn(grid_, grid_.Col);
}

std::vector<std::string> TableDocument::currentColumnValues(bool withoutRepeat) const
{
    return ColumnValues(grid_, grid_.Col, withoutRepeat, PersianCollator());
}

FileStatus TableDocument::saveCurrentColumn(const std::string& path, bool withoutRepeat) const
{
    return WriteFileAtomic(path, JoinLinesCrLf(currentColumnValues(withoutRepeat)));
}

std::vector<std::string> TableDocument::distinctValuesOfCurrentColumn() const
{
    return DistinctColumnValues(grid_, grid_.Col, PersianCollator());
}

std::string TableDocument::valuesFileName() const
{
    return ColumnValueFileName(grid_.Col);
}

PasteOutcome TableDocument::writePasteFile(const std::string& clipboardText, const std::string& folder)
{
    std::vector<std::string> list;
    const int columns = ParseClipboardTable(clipboardText, list);
    const std::string remembered = LoadTextRetry(folder + ClipTablePasteHdrFile, true);
    const auto lines = BuildPasteFile(list, columns, remembered);
    PasteOutcome outcome;
    if (!lines)
        return outcome;
    outcome.path = folder + ClipTablePasteFile;
    outcome.kind = PasteOutcome::Kind::Written;
    if (!SaveLinesRetry(&*lines, outcome.path)) {
        // The file may still hold an earlier paste, which must not pass for
        // this one: one more attempt tells why it cannot be written.
        const FileStatus again = WriteFileAtomic(outcome.path, JoinLinesCrLf(*lines));
        if (!again) {
            outcome.kind = PasteOutcome::Kind::Failed;
            outcome.error = again.error();
        }
    }
    return outcome;
}

bool TableDocument::saveRowForHeader(const std::string& folder) const
{
    return SaveTextRetry(HeaderRowText(grid_, grid_.Row), folder + ClipTablePasteHdrFile);
}

} // namespace rasmik
