#include "table/TextMetrics.h"

#include <algorithm>
#include <climits>
#include <cstdint>

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

namespace rasmik {

TextBounds::TextBounds(const TextMetrics& metrics)
{
    for (int i = 0; i < 256; ++i) {
        general_[i] = metrics.generalBound64(static_cast<unsigned char>(i));
        notAscii_[i] = (i == '\t' || (i >= 32 && i < 127)) ? 0 : 1;
        ligatureStart_[i] = 0;
        alef_[i] = false;
    }
    shaped_ = metrics.shapeBounds(shape_);
    if (shaped_) {
        symbols_ = 128 + shape_.ligatures.size();
        shaped_ = shape_.advance64.size() == symbols_ && shape_.pairExtra64.size() == symbols_ * symbols_
                  && shape_.joining.size() == 256 && shape_.form64.size() == 256 * 4
                  && shape_.unmodelled.size() == 256;
    }
    if (!shaped_)
        return;
    for (int i = 0; i < 128; ++i)
        if (shape_.advance64[static_cast<std::size_t>(i)] < 0)
            notAscii_[i] = 1;
    for (int i = 0; i < 256; ++i)
        if (shape_.unmodelled[static_cast<std::size_t>(i)])
            notAscii_[i] = 2;
    for (const std::string& l : shape_.ligatures)
        if (!l.empty())
            ligatureStart_[static_cast<unsigned char>(l[0])] = 1;
    for (const unsigned char a : shape_.alefs)
        alef_[a] = true;
}

std::int64_t TextBounds::asciiSum(std::string_view text) const
{
    const std::int64_t* advance = shape_.advance64.data();
    const std::int32_t* extra = shape_.pairExtra64.data();
    const std::size_t n = text.size();
    std::int64_t sum = 0;
    std::size_t prev = 0; // NUL: no neighbour, no extra
    for (std::size_t i = 0; i < n;) {
        std::size_t symbol = static_cast<unsigned char>(text[i]);
        std::size_t length = 1;
        if (ligatureStart_[symbol]) {
            for (std::size_t k = 0; k < shape_.ligatures.size(); ++k) {
                const std::string& l = shape_.ligatures[k];
                if (text.compare(i, l.size(), l) == 0) {
                    symbol = 128 + k;
                    length = l.size();
                    break;
                }
            }
        }
        sum += advance[symbol] + extra[prev * symbols_ + symbol];
        prev = symbol;
        i += length;
    }
    return sum;
}

std::int64_t TextBounds::formSum(std::string_view text) const
{
    using J = ShapeBounds::Joining;
    const auto* joining = shape_.joining.data();
    const std::int64_t* form = shape_.form64.data();
    const std::size_t n = text.size();
    auto joinsNext = [](J j) { return j == J::JoinsDual || j == J::JoinCausing; };
    auto joinsPrev = [](J j) { return j == J::JoinsRight || j == J::JoinsDual || j == J::JoinCausing; };
    // The next byte that is not a mark, from i on.
    auto nextBase = [&](std::size_t i) {
        while (i < n && joining[static_cast<unsigned char>(text[i])] == J::Transparent)
            ++i;
        return i;
    };
    std::int64_t sum = 0;
    bool prevJoins = false; // the letter before joins towards this one
    for (std::size_t i = 0; i < n;) {
        const auto b = static_cast<unsigned char>(text[i]);
        const J j = joining[b];
        if (j == J::Transparent) {
            // Alone at the start of a line it stands on a dotted circle.
            const bool alone = i == 0 || static_cast<unsigned char>(text[i - 1]) < 0x20;
            sum += form[b * 4 + (alone ? 1 : 0)];
            ++i;
            continue;
        }
        const std::size_t k = nextBase(i + 1);
        const bool joinedBefore = prevJoins && joinsPrev(j);
        if (b == shape_.lam && shape_.lam != 0 && k < n && alef_[static_cast<unsigned char>(text[k])]) {
            sum += shape_.lamAlef64[joinedBefore ? 1 : 0];
            for (std::size_t m = i + 1; m < k; ++m)
                sum += form[static_cast<unsigned char>(text[m]) * 4];
            prevJoins = false; // an alef joins nothing after it
            i = k + 1;
            continue;
        }
        const bool joinedAfter = joinsNext(j) && k < n && joinsPrev(joining[static_cast<unsigned char>(text[k])]);
        sum += form[b * 4 + (joinedBefore ? 1 : 0) + (joinedAfter ? 2 : 0)];
        prevJoins = joinsNext(j);
        ++i;
    }
    return sum;
}

std::uint32_t TextBounds::bound(std::string_view text) const
{
    std::int64_t sum = 0;
    unsigned char other = 2;
    if (shaped_ && text.size() <= TextMetrics::MaxPairBoundLength) {
        other = 0;
        for (const unsigned char ch : text)
            other |= notAscii_[ch];
    }
    if (other == 0) {
        sum = asciiSum(text);
    } else if (other == 1) {
        sum = formSum(text);
    } else {
        for (const unsigned char ch : text)
            sum += general_[ch];
    }
    const std::int64_t px = (sum + 32) >> 6;
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(px, 0, UINT32_MAX));
}

} // namespace rasmik
