#include "app/Shortcuts.h"

namespace rasmik {

namespace {

int KeyFromVirtualKey(int vk)
{
    if (vk >= 0x30 && vk <= 0x39)
        return Qt::Key_0 + (vk - 0x30);
    if (vk >= 0x41 && vk <= 0x5A)
        return Qt::Key_A + (vk - 0x41);
    if (vk >= 0x70 && vk <= 0x87)
        return Qt::Key_F1 + (vk - 0x70);
    switch (vk) {
    case 0x08: return Qt::Key_Backspace;
    case 0x09: return Qt::Key_Tab;
    case 0x0D: return Qt::Key_Return;
    case 0x1B: return Qt::Key_Escape;
    case 0x20: return Qt::Key_Space;
    case 0x21: return Qt::Key_PageUp;
    case 0x22: return Qt::Key_PageDown;
    case 0x23: return Qt::Key_End;
    case 0x24: return Qt::Key_Home;
    case 0x25: return Qt::Key_Left;
    case 0x26: return Qt::Key_Up;
    case 0x27: return Qt::Key_Right;
    case 0x28: return Qt::Key_Down;
    case 0x2D: return Qt::Key_Insert;
    case 0x2E: return Qt::Key_Delete;
    default: return 0;
    }
}

} // namespace

QKeySequence ShortcutFromStored(std::uint16_t stored)
{
    const int key = KeyFromVirtualKey(stored & 0xFF);
    if (key == 0)
        return {};
    int mods = 0;
    if (stored & 0x2000)
        mods |= Qt::SHIFT;
    if (stored & 0x4000)
        mods |= Qt::CTRL;
    if (stored & 0x8000)
        mods |= Qt::ALT;
    return QKeySequence(key | mods);
}

} // namespace rasmik
