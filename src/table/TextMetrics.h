#pragma once
// What the table layout needs to know of the grid's font, given by the
// toolkit layer so that the core stays free of it.

#include <string_view>

namespace rasmik {

class TextMetrics {
public:
    virtual ~TextMetrics() = default;
    // Pixel width of a Windows-1256 text as the grid draws it.
    virtual int textWidth(std::string_view text) const = 0;
    // Pixel height of a text in the font.
    virtual int textHeight(std::string_view text) const = 0;
    // An upper bound of textWidth for any text holding this byte once, added
    // up over the bytes of a text: sum(byteAdvanceBound(b)) >= textWidth(text).
    virtual int byteAdvanceBound(unsigned char b) const = 0;
    // The largest byteAdvanceBound of any byte.
    virtual int maxByteAdvanceBound() const = 0;
};

} // namespace rasmik
