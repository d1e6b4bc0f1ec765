#include "export/TextViewer.h"

#include "export/ShellOpen.h"
#include "table/Options.h"
#include "text/StringHelpers.h"
#include "text/TextFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace rasmik {

void OpenInTextEditor(const QString& file)
{
    try {
        const std::string editor = TrimSpaces(GetAppOption("TextEditor"));
        if (!editor.empty()) {
            QProcess::startDetached(QFile::decodeName(editor.c_str()), QStringList{file});
            return;
        }
        if (file.isEmpty())
            return;
        OpenUrlOnDesktop(QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()));
    } catch (...) {
        // Nothing is reported, whatever the outcome.
    }
}

void ShowListInNotepad(const std::string& path, const std::vector<std::string>& list)
{
    try {
        SaveLinesRetry(&list, path);
        OpenInTextEditor(QFile::decodeName(path.c_str()));
    } catch (...) {
    }
}

} // namespace rasmik
