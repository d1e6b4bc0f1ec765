#include "app/PromptSave.h"

#include "text/KeyboardLayout.h"

#include <QFile>

namespace rasmik {

QString QtFilter(const std::string& filter)
{
    const QString f = QString::fromUtf8(filter.c_str());
    const int bar = f.indexOf('|');
    if (bar < 0)
        return f;
    return QStringLiteral("%1 (%2)").arg(f.left(bar), f.mid(bar + 1).replace(';', ' '));
}

namespace {

// Qt's own dialog, not the desktop's: it speaks Persian with Qt's translation,
// and its name filters match any letter case ("*.txt" shows "A.TXT"), which
// the desktop's dialog on a case-sensitive file system does not.
std::unique_ptr<QFileDialog> MakeFileDialog(QWidget* parent)
{
    auto dialog = std::make_unique<QFileDialog>(parent);
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    return dialog;
}

} // namespace

std::unique_ptr<QFileDialog> MakeOpenDialog(QWidget* parent, const QString& current)
{
    auto dialog = MakeFileDialog(parent);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setNameFilter(QtFilter("Text File|*.txt"));
    dialog->setDefaultSuffix(QStringLiteral("txt"));
    dialog->setOption(QFileDialog::ReadOnly, false);
    if (!current.isEmpty())
        dialog->selectFile(current);
    return dialog;
}

std::unique_ptr<QFileDialog> MakeSaveDialog(QWidget* parent, const std::string& title, const std::string& initialName,
                                            const std::string& folder, const std::string& defaultExt,
                                            const std::string& filter)
{
    auto dialog = MakeFileDialog(parent);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    if (!title.empty())
        dialog->setWindowTitle(QString::fromUtf8(title.c_str()));
    if (!folder.empty())
        dialog->setDirectory(QFile::decodeName(folder.c_str()));
    if (!filter.empty())
        dialog->setNameFilter(QtFilter(filter));
    std::string ext = defaultExt;
    if (ext.rfind("*.", 0) == 0)
        ext.erase(0, 2);
    else if (ext.rfind('.', 0) == 0)
        ext.erase(0, 1);
    if (!ext.empty())
        dialog->setDefaultSuffix(QString::fromStdString(ext));
    // Asking before overwriting is the save dialog's default; the folder must exist.
    dialog->setOption(QFileDialog::DontConfirmOverwrite, false);
    if (!initialName.empty())
        dialog->selectFile(QFile::decodeName(initialName.c_str()));
    return dialog;
}

std::string PromptSaveFileName(QWidget* parent, const std::string& title, const std::string& initialName,
                               const std::string& folder, const std::string& defaultExt, const std::string& filter)
{
    std::unique_ptr<QFileDialog> dialog = MakeSaveDialog(parent, title, initialName, folder, defaultExt, filter);
    SetPersianKeyboard(false);
    const bool chosen = dialog->exec() == QDialog::Accepted && !dialog->selectedFiles().isEmpty();
    SetPersianKeyboard(true);
    if (!chosen)
        return {};
    return QFile::encodeName(dialog->selectedFiles().front()).toStdString();
}

std::unique_ptr<QFileDialog> MakeTableSaveDialog(QWidget* parent, const std::string& initialName, FileEncoding current)
{
    auto dialog = MakeSaveDialog(parent, "Save As", initialName, "", "*.txt", "");
    dialog->setNameFilters({QtFilter(TableFilterWindows1256), QtFilter(TableFilterUtf8), QtFilter(TableFilterUtf16)});
    const char* own = current.encoding == TextEncoding::Windows1256 ? TableFilterWindows1256
        : current.encoding == TextEncoding::Utf8                    ? TableFilterUtf8
                                                                    : TableFilterUtf16;
    dialog->selectNameFilter(QtFilter(own));
    return dialog;
}

std::optional<TableSaveChoice> PromptSaveTable(QWidget* parent, const std::string& initialName, FileEncoding current)
{
    std::unique_ptr<QFileDialog> dialog = MakeTableSaveDialog(parent, initialName, current);
    SetPersianKeyboard(false);
    const bool chosen = dialog->exec() == QDialog::Accepted && !dialog->selectedFiles().isEmpty();
    SetPersianKeyboard(true);
    if (!chosen)
        return std::nullopt;
    const QString filter = dialog->selectedNameFilter();
    const TextEncoding kind = filter == QtFilter(TableFilterUtf8) ? TextEncoding::Utf8
        : filter == QtFilter(TableFilterUtf16)                    ? TextEncoding::Utf16LE
                                                                  : TextEncoding::Windows1256;
    return TableSaveChoice{QFile::encodeName(dialog->selectedFiles().front()).toStdString(),
                           SaveEncodingFor(kind, current)};
}

} // namespace rasmik
