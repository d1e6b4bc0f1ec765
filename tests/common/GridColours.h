#pragma once
// The colours of the grid's cells, as they show on the screen.

#include <QColor>

inline const QColor White(255, 255, 255);
inline const QColor OddBlue(243, 250, 255); // every other body row
inline const QColor Yellow(255, 255, 0);    // the current cell
inline const QColor Orange(254, 202, 106);  // the current cell without the focus
inline const QColor Lilac(241, 216, 240);   // the rest of the current row
