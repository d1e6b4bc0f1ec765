#include "DeleteWindow.h"

// Xlib stays in this file: its macros (None, KeyPress, Bool) clash with Qt's names.
#include <X11/Xlib.h>

bool SendDeleteWindow(const QWidget& widget)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    const auto window = static_cast<Window>(widget.window()->winId());
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const Status sent = XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
    XCloseDisplay(display);
    return sent != 0;
}
