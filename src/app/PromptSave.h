#pragma once
// The file dialogs: the save-file prompt shared by saving, column extraction
// and the export, and the Open command's dialog.

#include <QFileDialog>

#include <memory>
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

// "name|pattern" as Qt shows it: "name (pattern)".
QString QtFilter(const std::string& filter);

} // namespace rasmik
