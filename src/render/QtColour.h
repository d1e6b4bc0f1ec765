#pragma once
// Packed colours (red in the low byte) for the toolkit.

#include <QColor>

#include <cstdint>

namespace rasmik {

// Only the three colour bytes count; a top byte is ignored.
inline QColor ToQColor(std::int32_t packed)
{
    return QColor(packed & 0xFF, (packed >> 8) & 0xFF, (packed >> 16) & 0xFF);
}

inline std::int32_t FromQColor(const QColor& c)
{
    return static_cast<std::int32_t>((c.red() & 0xFF) | ((c.green() & 0xFF) << 8) | ((c.blue() & 0xFF) << 16));
}

} // namespace rasmik
