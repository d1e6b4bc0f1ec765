#include "app/GridFont.h"

#include "text/TextFiles.h"

#include <QGuiApplication>

#include <algorithm>
#include <cmath>

namespace rasmik {

int FontPointSize(const QFont& font)
{
    if (font.pointSize() > 0)
        return font.pointSize();
    if (font.pixelSize() > 0)
        return static_cast<int>(std::lround(font.pixelSize() * 72.0 / 96.0));
    return 0;
}

FontRecord RecordOfFont(const QFont& font, std::int32_t colour)
{
    FontRecord s;
    s.size = FontPointSize(font);
    s.colour = colour;
    s.bold = font.bold();
    s.italic = font.italic();
    s.underline = font.underline();
    s.strikeOut = font.strikeOut();
    s.name = font.family().toStdString();
    return s;
}

void ApplyRecordToFont(const FontRecord& record, QFont& font)
{
    // A damaged "Font.fnt" may hold any 32-bit size; the Font dialog offers at
    // most 512, and metrics of larger fonts overflow.
    constexpr int LargestSize = 512;
    if (record.size > 0)
        font.setPointSize(std::min(record.size, LargestSize));
    else if (record.size < 0)
        font.setPixelSize(record.size < -LargestSize ? LargestSize : -record.size);
    else
        font.setPointSize(QFont().pointSize() > 0 ? QFont().pointSize() : 9);
    font.setBold(record.bold);
    font.setItalic(record.italic);
    font.setUnderline(record.underline);
    font.setStrikeOut(record.strikeOut);
    if (!record.name.empty())
        font.setFamily(QString::fromStdString(record.name));
}

QColor ColourOfValue(std::int32_t colour, const QColor& windowText)
{
    if (colour < 0)
        return windowText;
    const auto v = static_cast<std::uint32_t>(colour);
    return QColor(static_cast<int>(v & 0xFF), static_cast<int>((v >> 8) & 0xFF), static_cast<int>((v >> 16) & 0xFF));
}

QFont WindowFont()
{
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(13);
    return font;
}

QFont FontDialogStartFont()
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    return font;
}

SavedFont LoadSavedFont(const std::string& folder)
{
    SavedFont saved;
    const std::string line = LoadTextRetry(folder + FontFileName, true);
    if (line.empty())
        return saved;
    FontRecord record = RecordOfFont(saved.font, WindowTextColour);
    TextToFont(line, record);
    ApplyRecordToFont(record, saved.font);
    saved.found = true;
    saved.colour = record.colour;
    return saved;
}

QFont GridFontAtStart(const SavedFont& saved)
{
    // The grid takes its font from the window where "Font.fnt" leaves a
    // property unset, and the window from the application.
    const QFont window = WindowFont().resolve(QGuiApplication::font());
    return saved.found ? saved.font.resolve(window) : window;
}

} // namespace rasmik
