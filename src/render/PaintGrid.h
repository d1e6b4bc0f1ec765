#pragma once
// What the cell painter needs of the on-screen grid. The window layer
// implements it over its view; tests implement it over plain data.

#include <QFont>
#include <QRect>

#include <string_view>

namespace rasmik {

class PaintGrid {
public:
    virtual ~PaintGrid();
    virtual int colCount() const = 0;
    virtual int currentCol() const = 0;
    virtual int currentRow() const = 0;
    // Whether the grid holds the keyboard focus.
    virtual bool hasFocus() const = 0;
    // The column's own width in pixels (not the painted rectangle's).
    virtual int colWidth(int col) const = 0;
    virtual QFont gridFont() const = 0;
    // The stored bytes of a cell; valid until the grid changes.
    virtual std::string_view cellText(int col, int row) const = 0;
    // The cell's rectangle in window coordinates; empty when not visible or
    // outside the grid.
    virtual QRect cellRect(int col, int row) const = 0;
    // Schedules a repaint of a window rectangle without erasing it first.
    virtual void invalidateRect(const QRect& rect) = 0;
    // The display-shaping switch (Action16).
    virtual bool shapingOn() const = 0;
};

} // namespace rasmik
