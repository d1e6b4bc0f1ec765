#pragma once
// What the table layout needs to know of the grid's font, given by the
// toolkit layer so that the core stays free of it.

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace rasmik {

// Measures texts for one thread; it may remember what it measured.
class TextMeasurer {
public:
    virtual ~TextMeasurer() = default;
    // Exactly TextMetrics::textWidth.
    virtual int width(std::string_view text) = 0;
    // An upper bound of width(text), usually much tighter than the byte
    // bounds and cheap once the text's words have been seen.
    virtual int bound(std::string_view text) = 0;
};

class TextMetrics {
public:
    static constexpr std::size_t MaxPairBoundLength = 1024;
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

    // Byte bounds in 1/64 pixel. For a text of printable ASCII and TAB only
    // (bytes 9 and 32..126), (sum(asciiBound64(b)) + 32) / 64 >= textWidth;
    // for any text the same holds with generalBound64.
    virtual std::int64_t generalBound64(unsigned char b) const { return std::int64_t{byteAdvanceBound(b)} * 64; }
    virtual std::int64_t asciiBound64(unsigned char b) const { return generalBound64(b); }
    // Tighter bounds for the same ASCII texts up to MaxPairBoundLength bytes,
    // by the pairs of neighbours: (sum(advance64[b]) + sum over neighbours
    // a, b of pairExtra64[a * 128 + b] + 32) / 64 >= textWidth. An extra may
    // be negative (kerning that always applies); a negative advance marks a
    // byte whose texts take the general bounds. False when there are none.
    virtual bool asciiPairBounds(std::vector<std::int64_t>& advance64, std::vector<std::int32_t>& pairExtra64) const
    {
        static_cast<void>(advance64);
        static_cast<void>(pairExtra64);
        return false;
    }
    // A measurer for one thread. Several may work at the same time on
    // different threads only when concurrentMeasurers() says so.
    virtual std::unique_ptr<TextMeasurer> measurer() const;
    virtual bool concurrentMeasurers() const { return false; }
};

} // namespace rasmik
