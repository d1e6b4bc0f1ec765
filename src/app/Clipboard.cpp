#include "app/Clipboard.h"

#include "render/QtText.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace rasmik {

PastedText ClipboardTextToTable(QString text)
{
    for (QChar& c : text) {
        const char16_t u = c.unicode();
        if (u >= 0x06F0 && u <= 0x06F9)
            c = QChar(u'0' + (u - 0x06F0));
    }
    const QByteArray utf8 = text.toUtf8();
    PastedText table;
    if (AppendHeldAs(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())), TextEncoding::Utf8,
                     TextEncoding::Windows1256, table.text))
        return table;
    table.text.assign(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    table.held = TextEncoding::Utf8;
    return table;
}

PastedText ReadClipboardText()
{
    const QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return {};
    return ClipboardTextToTable(clipboard->text());
}

void WriteClipboardCells(const std::string& text, const std::string& html)
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return;
    auto* data = new QMimeData;
    data->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    if (!html.empty())
        data->setHtml(QString::fromUtf8(html.data(), static_cast<qsizetype>(html.size())));
    clipboard->setMimeData(data);
}

} // namespace rasmik
