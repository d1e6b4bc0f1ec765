#include "table/TextMetrics.h"

#include <climits>

namespace rasmik {

namespace {

// Measures through the metrics themselves; no tighter bound than the bytes'.
class PlainMeasurer : public TextMeasurer {
public:
    explicit PlainMeasurer(const TextMetrics& metrics) : metrics_(metrics) {}
    int width(std::string_view text) override { return metrics_.textWidth(text); }
    int bound(std::string_view) override { return INT_MAX; }

private:
    const TextMetrics& metrics_;
};

} // namespace

std::unique_ptr<TextMeasurer> TextMetrics::measurer() const
{
    return std::make_unique<PlainMeasurer>(*this);
}

} // namespace rasmik
