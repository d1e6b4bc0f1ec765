#pragma once
// How long a test waits for what it waits for. The suite runs on a small
// machine that other work keeps busy, so the limit is generous; a wait ends
// as soon as what it waits for holds, and only a failing test waits it out.

#include <QtTest>

inline constexpr int WaitMs = 60000;

#define WAIT_VERIFY(expr) QTRY_VERIFY_WITH_TIMEOUT(expr, WaitMs)
#define WAIT_VERIFY2(expr, message) QTRY_VERIFY2_WITH_TIMEOUT(expr, message, WaitMs)
#define WAIT_COMPARE(actual, expected) QTRY_COMPARE_WITH_TIMEOUT(actual, expected, WaitMs)

// A helper's failed check ends the test there.
#define CHECKED(call)                                                                                                  \
    do {                                                                                                               \
        call;                                                                                                          \
        if (QTest::currentTestFailed())                                                                                \
            return;                                                                                                    \
    } while (false)

// For a widget or a window.
template <class Window>
bool WaitExposed(Window* w)
{
    return QTest::qWaitForWindowExposed(w, WaitMs);
}

template <class Window>
bool WaitActive(Window* w)
{
    return QTest::qWaitForWindowActive(w, WaitMs);
}
