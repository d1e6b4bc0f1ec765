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

std::unique_ptr<QFileDialog> MakeSaveDialog(QWidget* parent, const std::string& title,
                                            const std::string& initialName, const std::string& folder,
                                            const std::string& defaultExt, const std::string& filter)
{
    auto dialog = std::make_unique<QFileDialog>(parent);
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

} // namespace rasmik
