#pragma once
// The Persian message a user reads when a file, export or print operation
// fails: made here only, from the error the operation reports.

#include "table/CellPlace.h"
#include "text/FileError.h"

#include <QString>

namespace rasmik {

// What the user was doing; it decides the wording.
enum class FileOperation {
    Open,     // reading a table
    Save,     // writing a table or a list
    Workbook, // the Excel command
};

// False for outcomes the user needs no message about: a cancel, and a
// workbook export with nothing to do (an empty table, "NoSheet").
bool needsMessage(const FileError& error);

// A path inside a Persian line, isolated as left-to-right text: unisolated,
// its leading "/" and its Latin runs are reordered with the Persian around it
// ("/tmp/a.txt" reads "tmp/a.txt/"). Empty for an empty path.
QString PathText(const std::string& path);

// Where a cell is, as the status bar and every message name it: "ردیف 4،
// ستون شهر" (the row as the grid counts it, the column's name, else its
// number), the name isolated so that its direction leaves the line alone.
QString persianCellPlace(const CellPlace& place);

// The message box text for error during operation.
QString persianFileMessage(const FileError& error, FileOperation operation);

// The warning after a save that went on without its backup: warning names
// the backup file and why it could not be made.
QString persianBackupMessage(const FileError& warning);

} // namespace rasmik
