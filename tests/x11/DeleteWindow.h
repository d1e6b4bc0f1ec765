#pragma once
// What a window manager sends when the user clicks a window's close button.

#include <QWidget>

// Sends WM_PROTOCOLS / WM_DELETE_WINDOW to the top-level X window of widget,
// from a connection of its own; false when the X server could not be told.
bool SendDeleteWindow(const QWidget& widget);
