#pragma once
// The program's own texts go through Qt's translation system in one
// context, "Rasmik": the Persian of the source is the default interface,
// the installed English translation the other.

#include <QCoreApplication>

namespace rasmik {

struct Ui {
    Q_DECLARE_TR_FUNCTIONS(Rasmik)
};

// Whether the English interface is in use (set once at start-up).
inline bool& UiEnglish()
{
    static bool english = false;
    return english;
}

// The direction the program's own dialogs and messages read in.
inline Qt::LayoutDirection UiDirection()
{
    return UiEnglish() ? Qt::LeftToRight : Qt::RightToLeft;
}

} // namespace rasmik
