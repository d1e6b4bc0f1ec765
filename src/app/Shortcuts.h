#pragma once
// Command shortcuts are kept as 16-bit values: the low byte a virtual key
// code, plus 0x2000 Shift, 0x4000 Ctrl, 0x8000 Alt.

#include <QKeySequence>
#include <cstdint>

namespace rasmik {

QKeySequence ShortcutFromStored(std::uint16_t stored);

} // namespace rasmik
