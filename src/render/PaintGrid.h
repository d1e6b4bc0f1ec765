#pragma once
// What the cell painter needs of the on-screen grid. The window layer
// implements it over its view; tests implement it over plain data.

#include "text/TextEncoding.h"

#include <QFont>

#include <string_view>

namespace rasmik {

class PaintGrid {
public:
    virtual ~PaintGrid();
    virtual int colCount() const = 0;
    virtual int currentCol() const = 0;
    virtual int currentRow() const = 0;
    // Whether the grid, or its cell editor, holds the keyboard focus.
    virtual bool hasKeyboardFocus() const = 0;
    // The column's own width in pixels (not the painted rectangle's).
    virtual int colWidth(int col) const = 0;
    virtual QFont gridFont() const = 0;
    // The stored bytes of a cell; valid until the grid changes.
    virtual std::string_view cellText(int col, int row) const = 0;
    // The display-shaping switch.
    virtual bool shapingOn() const = 0;
    // The form the cells are held in: Windows1256 or Utf8. A grid that
    // holds only Windows-1256 tables need not say.
    virtual TextEncoding encoding() const { return TextEncoding::Windows1256; }
};

} // namespace rasmik
