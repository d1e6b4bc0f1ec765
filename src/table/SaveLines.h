#pragma once
// Writing the grid back as a tab-separated table file ("Save", "Save With Rows").

#include "table/CoreGrid.h"
#include "table/TableForm.h"
#include "table/TableLines.h"
#include "text/TextFiles.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace rasmik {

// How a table's own lines are written back. Kept, each row is written as
// its fields were read: every cell as it is, up to the row's last cell that
// is not fill (a short row stays short unless a cell past its end was set),
// with the table's line break, and none after the last row when the file's
// last line had none. Not kept, rows are written as below.
// In a quoted form (a comma-separated table) rows are always written so, each
// field quoted where the file quoted it or where its text needs quotes.
struct SaveForm {
    bool kept = false;
    std::string_view lineBreak = "\r\n";
    bool lastLineEnded = true;
    TableForm fields;
    // The grid's bytes are a file of this quoted form: a field it left
    // unquoted is written so again when it needs no quotes to read back.
    bool asRead = false;
};

// The exact bytes of a save: one line per row, rows 0..RowCount-1. With a
// rowNumberBase n other than 0 the line of row r starts with n-1+r and a TAB.
// Every cell is followed by a TAB, spaces are trimmed from both ends of the
// line, trailing TABs are dropped, and every line ends with CR LF.
// In a kept form, the rows are written as SaveForm says.
std::string BuildSaveBytes(const CoreGrid& grid, std::int64_t rowNumberBase, const SaveForm& form = {});

// The numbering base for the start code typed by the user (64-bit): start + 1,
// or 0 (no numbering) for -1 and below, an empty or unreadable answer.
std::int64_t RowNumberBaseFromAnswer(std::string_view answer);

// path with the extension of its file name replaced by ext (appended when the
// file name has none). A leading dot of a file name does not start an extension.
// An empty path (no table open) stays empty.
std::string WithFileExtension(const std::string& path, std::string_view ext);
// The backup of a table: its extension replaced by ".Bak".
std::string BackupPathFor(const std::string& path);

// Saves the grid to path in encoding (with its mark, if it has one). When path is the file currentFile names (the same
// file, however spelt) and it exists, its old content becomes the ".Bak"
// backup; a backup that cannot be made does not stop the save, and the
// result's warning() says why. On failure the file and any earlier backup
// are as they were, and the result carries the reason; progress (rows done
// of all rows) may cancel the save, which then fails with Cancelled and
// leaves the file and the backup as they were. A UTF-8 grid saved as
// Windows-1256 takes the nearest letters; when a character still does not
// fit, nothing is written and the error (NotInEncoding) names the first
// such cell. head (after the mark) and tail are written before and after the
// rows as they stand, already in encoding: a header block, a stray last byte.
FileStatus SaveGridToFile(const CoreGrid& grid, std::int64_t rowNumberBase, const std::string& path,
                          const std::string& currentFile, const ProgressFn& progress = {}, FileEncoding encoding = {},
                          std::string_view head = {}, std::string_view tail = {}, const SaveForm& form = {},
                          const LockedCheck& whileLocked = {}, std::uint64_t* writtenHash = nullptr);

// The first cell, row by row, holding a character that encoding cannot:
// its error (the cell named by NameCell), or None when every cell fits.
FileError FirstUnfitCell(const CoreGrid& grid, TextEncoding encoding, const std::string& path);
// The first cell, row by row, holding a TAB (a fixed-width field may): its
// error (TabInCell), or None.
FileError FirstCellWithTab(const CoreGrid& grid, const std::string& path);
// The first cell, row by row, holding a TAB, CR or LF: its error
// (BreakInCell), or None. Cells that view the table's bytes are looked at
// only when viewsToo (a comma-separated table's fields may hold them; a
// tab-separated table's cannot).
FileError FirstCellWithBreak(const CoreGrid& grid, const std::string& path, bool viewsToo);

} // namespace rasmik
