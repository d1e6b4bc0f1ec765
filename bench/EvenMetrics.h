#pragma once
// A font for the benchmarks whose widths do not matter: every byte as wide
// as every other.

#include "table/TextMetrics.h"

#include <string_view>

namespace rasmik::bench {

class EvenMetrics : public TextMetrics {
public:
    int textWidth(std::string_view text) const override { return static_cast<int>(text.size()) * 7; }
    int textHeight(std::string_view) const override { return 13; }
    int byteAdvanceBound(unsigned char) const override { return 7; }
    int maxByteAdvanceBound() const override { return 7; }
};

} // namespace rasmik::bench
