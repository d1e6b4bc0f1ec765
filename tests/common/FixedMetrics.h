#pragma once
// A font of fixed sizes, for laying tables out without a real font.

#include "table/TextMetrics.h"
#include "text/TextEncoding.h"

#include <string_view>

// Every byte 7 pixels wide (every character of UTF-8), lines 13 pixels high.
class FixedMetrics : public rasmik::TextMetrics {
public:
    int textWidth(std::string_view text) const override { return 7 * static_cast<int>(text.size()); }
    int utf8TextWidth(std::string_view text) const override
    {
        return 7 * static_cast<int>(rasmik::CharacterCount(text, rasmik::TextEncoding::Utf8));
    }
    int textHeight(std::string_view) const override { return 13; }
    int byteAdvanceBound(unsigned char) const override { return 7; }
    int maxByteAdvanceBound() const override { return 7; }
};
