#pragma once
// The file dialogs: the save-file prompt shared by saving, column extraction
// and the export, and the Open command's dialog.

#include "table/TableForm.h"
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

// The file types of a table's save dialog, one per form and encoding it can
// be saved in.
inline constexpr const char* TableFilterWindows1256 = "Text File, Windows-1256|*.txt";
inline constexpr const char* TableFilterUtf8 = "Text File, UTF-8|*.txt";
inline constexpr const char* TableFilterUtf16 = "Text File, UTF-16|*.txt";
inline constexpr const char* CsvFilterWindows1256 = "CSV, Windows-1256|*.csv";
inline constexpr const char* CsvFilterUtf8 = "CSV, UTF-8|*.csv";
inline constexpr const char* CsvFilterUtf16 = "CSV, UTF-16|*.csv";

// A table's save dialog: the file type chooses the form and the encoding,
// preset to the table's own.
std::unique_ptr<QFileDialog> MakeTableSaveDialog(QWidget* parent, const std::string& initialName, FileEncoding current,
                                                 TableForm form = TabForm);
struct TableSaveChoice {
    std::string path; // native bytes
    FileEncoding encoding;
    // Tab-separated for a text file; for CSV the table's own quoted form,
    // else comma-separated.
    TableForm form;
};
// Shows it as PromptSaveFileName does; nothing when cancelled.
std::optional<TableSaveChoice> PromptSaveTable(QWidget* parent, const std::string& initialName, FileEncoding current,
                                               TableForm form = TabForm);
// The form and encoding a file type of that dialog stands for.
TableSaveChoice SaveChoiceForFilter(const QString& filter, FileEncoding current, TableForm form);

// "name|pattern" as Qt shows it: "name (pattern)".
QString QtFilter(const std::string& filter);

} // namespace rasmik
