#pragma once
// The file dialogs: the save-file prompt shared by saving, column extraction
// and the export, and the Open command's dialog.

#include "text/TextEncoding.h"

#include <QFileDialog>

#include <memory>
#include <optional>
#include <string>

class QWidget;

namespace rasmik {

// A fresh save dialog: title (the platform's when empty), initial name and
// folder, default extension given as "*.txt", filter given as "name|pattern".
std::unique_ptr<QFileDialog> MakeSaveDialog(QWidget* parent, const std::string& title, const std::string& initialName,
                                            const std::string& folder, const std::string& defaultExt,
                                            const std::string& filter);

// The Open command's dialog: an existing text file, current (when not empty)
// preselected.
std::unique_ptr<QFileDialog> MakeOpenDialog(QWidget* parent, const QString& current);

// Shows that save dialog with the Persian keyboard switched off, switches it back
// on whatever the answer, and returns the chosen path (native bytes) or an
// empty string when cancelled.
std::string PromptSaveFileName(QWidget* parent, const std::string& title, const std::string& initialName,
                               const std::string& folder, const std::string& defaultExt, const std::string& filter);

// The file types of a table's save dialog, one per encoding it can be saved in.
inline constexpr const char* TableFilterWindows1256 = "Text File, Windows-1256|*.txt";
inline constexpr const char* TableFilterUtf8 = "Text File, UTF-8|*.txt";
inline constexpr const char* TableFilterUtf16 = "Text File, UTF-16|*.txt";

// A table's save dialog: the file type chooses the encoding, preset to the
// table's own.
std::unique_ptr<QFileDialog> MakeTableSaveDialog(QWidget* parent, const std::string& initialName, FileEncoding current);
struct TableSaveChoice {
    std::string path; // native bytes
    FileEncoding encoding;
};
// Shows it as PromptSaveFileName does; nothing when cancelled.
std::optional<TableSaveChoice> PromptSaveTable(QWidget* parent, const std::string& initialName, FileEncoding current);

// "name|pattern" as Qt shows it: "name (pattern)".
QString QtFilter(const std::string& filter);

} // namespace rasmik
