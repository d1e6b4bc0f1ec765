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
    // Text files first, as always; then every other kind of table read.
    dialog->setNameFilters({QtFilter("Text File|*.txt"), QtFilter("CSV|*.csv"), QtFilter("Tab-separated|*.tsv;*.tab"),
                            QtFilter("Workbook|*.xlsx;*.ods;*.xls"),
                            QtFilter("All Tables|*.txt;*.csv;*.tsv;*.tab;*.xlsx;*.ods;*.xls"),
                            QtFilter("All Files|*")});
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

namespace {

struct TableFileType {
    const char* filter;
    TextEncoding encoding;
    bool csv;
};
constexpr TableFileType TableFileTypes[] = {
    {TableFilterWindows1256, TextEncoding::Windows1256, false},
    {TableFilterUtf8, TextEncoding::Utf8, false},
    {TableFilterUtf16, TextEncoding::Utf16LE, false},
    {CsvFilterWindows1256, TextEncoding::Windows1256, true},
    {CsvFilterUtf8, TextEncoding::Utf8, true},
    {CsvFilterUtf16, TextEncoding::Utf16LE, true},
};

bool IsUtf16(TextEncoding e)
{
    return e == TextEncoding::Utf16LE || e == TextEncoding::Utf16BE;
}

} // namespace

std::unique_ptr<QFileDialog> MakeTableSaveDialog(QWidget* parent, const std::string& initialName, FileEncoding current,
                                                 TableForm form)
{
    auto dialog = MakeSaveDialog(parent, "Save As", initialName, "", form.quoted ? "*.csv" : "*.txt", "");
    QStringList filters;
    QString own;
    for (const TableFileType& t : TableFileTypes) {
        filters << QtFilter(t.filter);
        const bool sameEncoding = t.encoding == current.encoding || (IsUtf16(t.encoding) && IsUtf16(current.encoding));
        if (sameEncoding && t.csv == form.quoted)
            own = filters.back();
    }
    dialog->setNameFilters(filters);
    dialog->selectNameFilter(own);
    // The suffix a name typed without one gets; Qt's dialog changes a typed
    // suffix itself when the type changes.
    QFileDialog* d = dialog.get();
    QObject::connect(d, &QFileDialog::filterSelected, d, [d](const QString& filter) {
        d->setDefaultSuffix(filter.endsWith(QLatin1String("(*.csv)")) ? QStringLiteral("csv") : QStringLiteral("txt"));
    });
    return dialog;
}

TableSaveChoice SaveChoiceForFilter(const QString& filter, FileEncoding current, TableForm form)
{
    const TableFileType* type = &TableFileTypes[0];
    for (const TableFileType& t : TableFileTypes)
        if (filter == QtFilter(t.filter))
            type = &t;
    TableForm saved = TabForm;
    if (type->csv)
        saved = form.quoted ? form : CommaForm;
    return {{}, SaveEncodingFor(type->encoding, current), saved};
}

std::optional<TableSaveChoice> PromptSaveTable(QWidget* parent, const std::string& initialName, FileEncoding current,
                                               TableForm form)
{
    std::unique_ptr<QFileDialog> dialog = MakeTableSaveDialog(parent, initialName, current, form);
    SetPersianKeyboard(false);
    const bool chosen = dialog->exec() == QDialog::Accepted && !dialog->selectedFiles().isEmpty();
    SetPersianKeyboard(true);
    if (!chosen)
        return std::nullopt;
    TableSaveChoice choice = SaveChoiceForFilter(dialog->selectedNameFilter(), current, form);
    choice.path = QFile::encodeName(dialog->selectedFiles().front()).toStdString();
    return choice;
}

} // namespace rasmik
