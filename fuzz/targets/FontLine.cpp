// "Font.fnt": the line read at start-up, applied to the grid's font and
// measured as the grid measures its cells; and the line written back.

#include "FuzzTargets.h"

#include "app/FontStore.h"
#include "table/FontRecord.h"

#include <QFont>
#include <QFontMetrics>

#include <functional>

using namespace rasmik;

namespace {

bool operator==(const FontRecord& a, const FontRecord& b)
{
    return a.size == b.size && a.colour == b.colour && a.bold == b.bold && a.italic == b.italic
        && a.underline == b.underline && a.strikeOut == b.strikeOut && a.name == b.name;
}

} // namespace

namespace rasmik::fuzz {

int FontLine(const std::uint8_t* data, std::size_t size)
{
    EnsureGuiApplication();
    const std::string_view line(reinterpret_cast<const char*>(data), size);

    FontRecord record;
    record.name = "Tahoma";
    TextToFont(line, record);
    if (line.empty()) {
        const FontRecord untouched{0, WindowTextColour, false, false, false, false, "Tahoma"};
        FUZZ_CHECK(record == untouched);
    }

    // What is written reads back the same.
    FontRecord back;
    TextToFont(FontToText(record), back);
    if (record.name.empty())
        back.name.clear();
    FUZZ_CHECK(back == record);

    // Start-up applies it to the grid font and lays the table out with it.
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(13);
    ApplyRecordToFont(record, font);
    FUZZ_CHECK(record.name.empty() || font.family() == QString::fromStdString(record.name));
    // While fuzzing, measured in one of a few families, one of them missing:
    // every new name would be a fresh font lookup, a run of them too slow to
    // fuzz the sizes and styles, and what a name selects is the font
    // library's own work.
    if (CapSlowInputs) {
        static const QString measured[] = {QStringLiteral("DejaVu Sans"), QStringLiteral("Noto Sans Arabic"),
                                           QStringLiteral("Rasmik Missing Family")};
        font.setFamily(measured[std::hash<std::string>()(record.name) % 3]);
    }
    const QFontMetrics metrics(font);
    FUZZ_CHECK(metrics.horizontalAdvance(QStringLiteral("AY \u0633\u0644\u0627\u0645")) >= 0);
    FUZZ_CHECK(metrics.height() >= 0);
    (void)ColourOfValue(record.colour, Qt::black);
    return 0;
}

} // namespace rasmik::fuzz
