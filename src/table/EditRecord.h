#pragma once
// The edits made to an open table, each as a few bytes that name the
// command, where the cursor stood and what it was given, so that the same
// edits can be made again on the table they started from: what a recovery
// record keeps instead of a copy of the grid.

#include "table/TableForm.h"
#include "text/ByteBuffer.h"
#include "text/FileIdentity.h"
#include "text/TextEncoding.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rasmik {

class TableDocument;

// The table the recorded edits start from: the grid a fresh layout of
// these lines makes, with the column order it was given then.
struct EditBase {
    // No table was opened: the empty grid of a new window.
    bool emptyGrid = true;
    std::string path;
    // The sheet of the workbook at path the lines were read from.
    std::string sheet;
    // The lines' bytes, in their held form, as the layout cut them.
    std::shared_ptr<const ByteBuffer> bytes;
    TableForm form;
    FileEncoding encoding;
    TextEnd textEnd;
    std::string lineBreak = "\r\n";
    bool lastLineEnded = true;
    std::string cellWidths;
    // Column i of the grid was column columnOrder[i] of the lines (empty:
    // in their own order).
    std::vector<int> columnOrder;
    // The file at path as read, when the lines are what reading it gives
    // (with readChoice); not known when the file cannot rebuild them.
    FileIdentity file;
    std::optional<TextEncoding> readEncoding;
    std::optional<TableForm> readForm;
};

// Told of the base and of every edit as it is made.
class EditRecorder {
public:
    virtual ~EditRecorder() = default;
    // The edits start again from base (an open, a new layout).
    virtual void baseChanged(const EditBase& base) = 0;
    // One edit, as EncodeEdit made it.
    virtual void edited(std::string_view edit) = 0;
    // The table was saved over its file, which now holds file.
    virtual void saved(const FileIdentity& file) = 0;
};

enum class EditKind : std::uint8_t {
    SetCell = 1,
    MoveColumn,
    ColumnWidth,
    Undo,
    Redo,
    InsertRow,
    InsertColumn,
    ClearCells,
    RenameColumn,
    PasteCells,
    ReplaceInCells,
    SimpleNumber,
    BlankColumn,
    ShiftColumnLeft,
    DeleteRow,
    RemoveColumn,
    SortRows,
    FilterRows,
    ShowAllRows,
};

// Builds one edit: its kind, the cursor, then its arguments in order.
class EditEncoder {
public:
    EditEncoder(EditKind kind, int cursorCol, int cursorRow);
    // Numbers and texts alone, for other records.
    EditEncoder() = default;
    EditEncoder& number(std::int64_t n);
    EditEncoder& text(std::string_view s);
    const std::string& bytes() const { return bytes_; }

private:
    std::string bytes_;
};

// Reads the edits of a record back; false for a damaged one.
class EditDecoder {
public:
    explicit EditDecoder(std::string_view bytes) : rest_(bytes) { }
    bool atEnd() const { return rest_.empty(); }
    bool number(std::int64_t& n);
    bool text(std::string_view& s);
    bool byte(std::uint8_t& b);

private:
    std::string_view rest_;
};

// Edits laid end to end, each after its length.
void AppendFramedEdit(std::string& edits, std::string_view edit);

// Makes the framed edits again on doc, in order, through its own commands,
// so that they land in its undo history as they did the first time. The
// number made in done; false when an edit is damaged (those before it stay).
bool ReplayEdits(TableDocument& doc, std::string_view framedEdits, std::size_t& done);

} // namespace rasmik
