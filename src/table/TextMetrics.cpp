#include "table/TextMetrics.h"

#include "table/TextAlphabet.h"
#include "text/Cp1256.h"

#include <algorithm>
#include <climits>
#include <cstdint>

namespace rasmik {

namespace {

// Measures through the metrics themselves; no tighter bound than the bytes'.
class PlainMeasurer : public TextMeasurer {
public:
    explicit PlainMeasurer(const TextMetrics& metrics) : metrics_(metrics) { }
    int width(std::string_view text) override { return metrics_.textWidth(text); }
    int bound(std::string_view) override { return INT_MAX; }
    int utf8Width(std::string_view utf8) override { return metrics_.utf8TextWidth(utf8); }

private:
    const TextMetrics& metrics_;
};

} // namespace

int TextMetrics::utf8TextWidth(std::string_view utf8) const
{
    return textWidth(Utf8ToCp1256(utf8));
}

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
        class_[i] = 0;
    }
    shaped_ = metrics.shapeBounds(shape_);
    useShape();
}

TextBounds::TextBounds(const TextMetrics& metrics, const TextAlphabet& alphabet)
{
    if (&alphabet == &TextAlphabet::windows1256()) {
        *this = TextBounds(metrics);
        return;
    }
    for (int i = 0; i < 256; ++i) {
        notAscii_[i] = (i == '\t' || (i >= 32 && i < 127)) ? 0 : 1;
        ligatureStart_[i] = 0;
        class_[i] = 0;
    }
    std::vector<std::int64_t> general;
    shaped_ = metrics.alphabetBounds(alphabet, general, shape_) && general.size() == 256;
    for (int i = 0; i < 256; ++i)
        general_[i] = shaped_ ? general[static_cast<std::size_t>(i)]
            : i < 128         ? metrics.generalBound64(static_cast<unsigned char>(i))
                              : -1;
    useShape();
}

void TextBounds::useShape()
{
    if (shaped_) {
        symbols_ = 128 + shape_.ligatures.size();
        shaped_ = shape_.advance64.size() == symbols_ && shape_.pairExtra64.size() == symbols_ * symbols_
            && shape_.joining.size() == 256 && shape_.form64.size() == 256 * 4 && shape_.unmodelled.size() == 256
            && shape_.runStart.size() == 256 && shape_.arabicLigature64.size() == 4 * shape_.arabicLigatures.size();
    }
    if (!shaped_)
        return;
    for (int i = 0; i < 128; ++i)
        if (shape_.advance64[static_cast<std::size_t>(i)] < 0)
            notAscii_[i] = 1;
    for (const std::string& l : shape_.ligatures)
        if (!l.empty())
            ligatureStart_[static_cast<unsigned char>(l[0])] = 1;
    using J = ShapeBounds::Joining;
    for (std::size_t i = 0; i < 256; ++i) {
        const J j = shape_.joining[i];
        unsigned char c = 0;
        if (j == J::Transparent)
            c |= Mark;
        if (j == J::DirectionMark)
            c |= Ambiguous;
        // A tatweel or a joiner takes the script of its neighbour: beside
        // Latin it is shaped in another run, and the letter on its other
        // side may or may not join it.
        if (j == J::JoinCausing)
            c |= LooseJoin;
        if (j == J::JoinsRight || j == J::JoinsDual || j == J::JoinCausing)
            c |= JoinsPrev;
        if (j == J::JoinsDual || j == J::JoinCausing)
            c |= JoinsNext;
        if (shape_.unmodelled[i])
            c |= Unmodelled;
        if (shape_.runStart[i])
            c |= RunStart;
        class_[i] = c;
    }
    for (const std::string& l : shape_.arabicLigatures)
        if (!l.empty())
            class_[static_cast<unsigned char>(l[0])] |= LigatureStart;
    // What the quick form sum leaves to the letter-by-letter one.
    std::fill(std::begin(ligaturePair_), std::end(ligaturePair_), 0);
    for (std::size_t b = 0; b < 256; ++b) {
        const unsigned char c = class_[b];
        joinInfo_[b] = static_cast<unsigned char>(((c & (Mark | Ambiguous | LooseJoin | Unmodelled)) ? 1 : 0)
                                                  | ((c & JoinsPrev) ? 2 : 0) | ((c & JoinsNext) ? 4 : 0));
    }
    for (const std::string& l : shape_.arabicLigatures) {
        if (l.size() < 2) {
            if (!l.empty())
                joinInfo_[static_cast<unsigned char>(l[0])] |= 1;
            continue;
        }
        joinInfo_[static_cast<unsigned char>(l[0])] |= 8;
        const unsigned pair = (unsigned{static_cast<unsigned char>(l[0])} << 8) | static_cast<unsigned char>(l[1]);
        ligaturePair_[pair >> 6] |= std::uint64_t{1} << (pair & 63);
    }
    useQuickBounds();
}

// Every part of the shape bounds is charged to a byte, once for texts of
// printable ASCII (a symbol's advance with the most any neighbour adds; a
// ligature's advance beyond its letters' to its first) and once for any
// other (the widest of a letter's forms, a mark alone or after a base; a
// ligature's beyond its letters' to its first). Added up, they cover
// asciiSum and formSum.
void TextBounds::useQuickBounds()
{
    const std::int64_t* advance = shape_.advance64.data();
    const std::int32_t* extra = shape_.pairExtra64.data();
    auto mostAdded = [&](std::size_t symbol) {
        std::int64_t most = INT64_MIN;
        for (std::size_t prev = 0; prev < symbols_; ++prev)
            most = std::max<std::int64_t>(most, extra[prev * symbols_ + symbol]);
        return advance[symbol] + most;
    };
    for (std::size_t b = 0; b < 256; ++b) {
        quickAscii64_[b] = b < 128 && !notAscii_[b] ? mostAdded(b) : 0;
        quickForm64_[b] = (class_[b] & Unmodelled)
            ? -1
            : *std::max_element(shape_.form64.begin() + static_cast<std::ptrdiff_t>(b * 4),
                                shape_.form64.begin() + static_cast<std::ptrdiff_t>(b * 4 + 4));
        textual_[b] = notAscii_[b];
    }
    // A letter's widest form where the next byte joins it (joined after),
    // where it does not (not joined after); either way joined before or not.
    const std::int64_t* form = shape_.form64.data();
    const auto widestForm = [form](std::size_t b, unsigned joinedNext) {
        return std::max(form[b * 4 + 2 * joinedNext], form[b * 4 + 1 + 2 * joinedNext]);
    };
    // What a letter adds at least, after its ligature's first letter.
    const auto leastForm = [&](std::size_t b) { return std::min(widestForm(b, 0), widestForm(b, 1)); };
    // What each ligature may add beyond its letters, charged to its first
    // letter: beyond their widest forms (the per-byte sums), and beyond the
    // least the next-byte sums give the letters after the first.
    std::int64_t ligatureExtra[256] = {};
    std::int64_t pairLigatureExtra[256] = {};
    for (std::size_t k = 0; k < shape_.arabicLigatures.size(); ++k) {
        const std::string& l = shape_.arabicLigatures[k];
        if (!std::all_of(l.begin(), l.end(), [&](char c) { return quickForm64_[static_cast<unsigned char>(c)] >= 0; }))
            continue; // a text holding it is left to bound()
        const auto first = static_cast<unsigned char>(l[0]);
        std::int64_t widest = 0;
        for (const char c : l)
            widest += quickForm64_[static_cast<unsigned char>(c)];
        std::int64_t least = quickForm64_[first];
        for (std::size_t j = 1; j < l.size(); ++j)
            least += leastForm(static_cast<unsigned char>(l[j]));
        const std::int64_t* forms = shape_.arabicLigature64.data() + 4 * k;
        const std::int64_t drawn = *std::max_element(forms, forms + 4);
        ligatureExtra[first] += std::max<std::int64_t>(0, drawn - widest);
        pairLigatureExtra[first] += std::max<std::int64_t>(0, drawn - least);
    }
    for (std::size_t n = 0; n < 256; ++n)
        nextJoin_[n] = static_cast<unsigned char>((joinInfo_[n] & 1) ? 2 : (joinInfo_[n] & 2) ? 0 : 1);
    std::int64_t pairForm64[1024];
    for (std::size_t b = 0; b < 256; ++b)
        for (unsigned next = 0; next < 4; ++next) {
            std::int64_t& f = pairForm64[b * 4 + next];
            if (quickForm64_[b] < 0)
                f = -1;
            else if ((joinInfo_[b] & (1 | 8)) || next == 2)
                // It starts a ligature (of one letter or more), or its own
                // joining or the next one's is not known here: its widest
                // form, and what its ligatures add.
                f = quickForm64_[b] + pairLigatureExtra[b];
            else
                f = widestForm(b, (joinInfo_[b] & 4) && next == 0 ? 1 : 0);
        }
    for (std::size_t k = 0; k < shape_.ligatures.size(); ++k) {
        const std::string& l = shape_.ligatures[k];
        std::int64_t parts = 0;
        for (const char c : l)
            parts += quickAscii64_[static_cast<unsigned char>(c)];
        quickAscii64_[static_cast<unsigned char>(l[0])] += std::max<std::int64_t>(0, mostAdded(128 + k) - parts);
    }
    for (std::size_t b = 0; b < 256; ++b)
        quickForm64_[b] += ligatureExtra[b];
    // Each part fits 16 bits (a thousand pixels), so a sum of 255 bytes
    // stays in its 24 bits; otherwise only bound() knows.
    quick_ = true;
    const auto packed = [&](std::size_t b, std::int64_t f) {
        const std::int64_t a = quickAscii64_[b];
        quick_ = quick_ && a >= 0 && a < 65536 && f < 65536;
        return static_cast<std::uint64_t>(a) | (std::uint64_t{textual_[b] ? 1u : 0u} << 24)
            | (static_cast<std::uint64_t>(std::max<std::int64_t>(f, 0)) << 32) | (std::uint64_t{f < 0 ? 1u : 0u} << 56);
    };
    for (std::size_t b = 0; b < 256; ++b) {
        quickPacked_[b] = packed(b, quickForm64_[b]);
        for (std::size_t next = 0; next < 4; ++next)
            quickPair_[b * 4 + next] = packed(b, pairForm64[b * 4 + next]);
    }
}

std::uint32_t TextBounds::quickBound(std::string_view text) const
{
    if (!quick_ || text.size() > TextMetrics::MaxPairBoundLength)
        return bound(text);
    if (text.size() <= QuickSumLength)
        return quickBoundOfSum(PairSum(quickPair_, nextJoin_, text), text);
    // Longer: the sums of pieces short enough not to carry, added up apart,
    // each piece's last byte by the byte after it.
    std::uint64_t ascii = 0, form = 0, textual = 0, unknown = 0;
    for (std::size_t from = 0; from < text.size(); from += QuickSumLength) {
        const std::size_t to = from + QuickSumLength;
        const unsigned after = to < text.size() ? nextJoin_[static_cast<unsigned char>(text[to])] : EndOfText;
        const std::uint64_t sum = PairSum(quickPair_, nextJoin_, text.substr(from, QuickSumLength), after);
        ascii += sum & 0xFFFFFF;
        textual += (sum >> 24) & 0xFF;
        form += (sum >> 32) & 0xFFFFFF;
        unknown += sum >> 56;
    }
    if (textual && unknown)
        return bound(text);
    return static_cast<std::uint32_t>(((textual ? form : ascii) + 32) >> 6);
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
        if (notAscii_[symbol])
            return -1;
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

// Most texts hold letters, digits and spaces only: each letter's form then
// follows from its neighbours' classes alone, without a branch a byte, and
// a ligature of two letters from theirs. Any mark, direction mark, joiner,
// unmodelled byte or start of a longer ligature sends the text to the
// letter-by-letter sum, which gives the same for the others.
std::int64_t TextBounds::formSum(std::string_view text) const
{
    const std::int64_t* form = shape_.form64.data();
    const auto* t = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    if (n == 0)
        return 0;
    std::int64_t sum = 0;
    unsigned slow = 0;
    unsigned joinedPrev = 0;
    // One load a byte: slow, joins the letter before, joins the one after,
    // may start a ligature (bits 0 to 3).
    unsigned info = joinInfo_[t[0]];
    std::size_t i = 0;
    for (; i + 1 < n; ++i) {
        const unsigned b = t[i];
        const unsigned next = t[i + 1];
        const unsigned nextInfo = joinInfo_[next];
        slow |= info;
        // Joined to the next letter: this one joins forward, that one back.
        unsigned joinedNext = (info >> 2) & (nextInfo >> 1) & 1;
        if ((info & 8) && ((ligaturePair_[(b << 2) | (next >> 6)] >> (next & 63)) & 1)) [[unlikely]] {
            // Two letters drawn as one (lam and alef): the pair takes the
            // ligature's form, joined before as its first letter and after
            // as its last.
            const int k = pairLigatureOf(b, next);
            if (k < 0)
                return formSumInOrder(text);
            slow |= nextInfo;
            const std::int64_t* forms = shape_.arabicLigature64.data() + 4 * k;
            ++i;
            if (i + 1 == n)
                return (slow & 1) ? formSumInOrder(text) : sum + std::max<std::int64_t>(forms[joinedPrev], 0);
            info = joinInfo_[t[i + 1]];
            joinedNext = (nextInfo >> 2) & (info >> 1) & 1;
            sum += forms[joinedPrev + 2 * joinedNext];
            joinedPrev = joinedNext;
            continue;
        }
        sum += form[b * 4 + joinedPrev + 2 * joinedNext];
        joinedPrev = joinedNext;
        info = nextInfo;
    }
    slow |= info;
    sum += std::max<std::int64_t>(form[t[n - 1] * 4u + joinedPrev], 0);
    return (slow & 1) ? formSumInOrder(text) : sum;
}

// The ligature that the two letters first and second start and make up
// whole, when it is the first in the list to start with them; else -1.
int TextBounds::pairLigatureOf(unsigned first, unsigned second) const
{
    for (std::size_t k = 0; k < shape_.arabicLigatures.size(); ++k) {
        const std::string& l = shape_.arabicLigatures[k];
        if (l.size() >= 2 && static_cast<unsigned char>(l[0]) == first && static_cast<unsigned char>(l[1]) == second)
            return l.size() == 2 ? static_cast<int>(k) : -1;
    }
    return -1;
}

std::int64_t TextBounds::formSumInOrder(std::string_view text) const
{
    const std::int64_t* form = shape_.form64.data();
    const std::size_t n = text.size();
    std::int64_t sum = 0;
    unsigned char unmodelled = 0;
    // The last letter (or ligature) is added once the next one shows
    // whether they join: its four advances, its class, whether it joins the
    // one before it.
    const std::int64_t* pending = nullptr;
    unsigned char pendingClass = 0;
    std::size_t pendingJoined = 0;
    // Across a direction mark both may hold: joined and not joined.
    bool ambiguous = false;
    bool pendingAmbiguous = false;
    for (std::size_t i = 0; i < n; ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        const unsigned char cls = class_[b];
        unmodelled |= cls;
        if (cls & Ambiguous) {
            sum += form[b * 4];
            ambiguous = true;
            continue;
        }
        if (cls & Mark) {
            // Alone at the start of a line or of a run it stands on a
            // dotted circle.
            const bool alone = i == 0 || (class_[static_cast<unsigned char>(text[i - 1])] & RunStart);
            sum += form[b * 4 + (alone ? 1 : 0)];
            continue;
        }
        const std::size_t joined = (pendingClass & JoinsNext) && (cls & JoinsPrev) ? 1 : 0;
        ambiguous = ambiguous || ((pendingClass | cls) & LooseJoin);
        if (pending) {
            std::int64_t v = pending[pendingJoined + 2 * joined];
            if (pendingAmbiguous)
                v = std::max(v, pending[2 * joined]);
            if (ambiguous) {
                v = std::max(v, pending[pendingJoined]);
                if (pendingAmbiguous)
                    v = std::max(v, pending[0]);
            }
            sum += v;
        }
        pending = form + b * 4;
        pendingClass = cls;
        pendingJoined = joined;
        pendingAmbiguous = ambiguous && joined;
        ambiguous = false;
        if (cls & LigatureStart) {
            for (std::size_t k = 0; k < shape_.arabicLigatures.size(); ++k) {
                const std::string& l = shape_.arabicLigatures[k];
                if (static_cast<unsigned char>(l[0]) != b)
                    continue;
                // The letters that follow, marks between them skipped.
                std::size_t j = i;
                std::int64_t marks = 0;
                std::size_t m = 1;
                for (; m < l.size(); ++m) {
                    ++j;
                    while (j < n && (class_[static_cast<unsigned char>(text[j])] & Mark)) {
                        marks += form[static_cast<unsigned char>(text[j]) * 4];
                        ++j;
                    }
                    if (j >= n || text[j] != l[m])
                        break;
                }
                if (m == l.size()) {
                    sum += marks;
                    pending = shape_.arabicLigature64.data() + 4 * k;
                    pendingClass = class_[static_cast<unsigned char>(l.back())];
                    unmodelled |= pendingClass;
                    i = j;
                    break;
                }
            }
        }
    }
    if (pending)
        sum += std::max(pending[pendingJoined], pendingAmbiguous ? pending[0] : 0);
    return (unmodelled & Unmodelled) ? -1 : sum;
}

std::uint32_t TextBounds::bound(std::string_view text) const
{
    std::int64_t sum = -1;
    if (shaped_ && text.size() <= TextMetrics::MaxPairBoundLength) {
        sum = asciiSum(text);
        if (sum < 0)
            sum = formSum(text);
    }
    if (sum < 0) {
        sum = 0;
        for (const unsigned char ch : text) {
            if (general_[ch] < 0)
                return UINT32_MAX;
            sum += general_[ch];
        }
    }
    const std::int64_t px = (sum + 32) >> 6;
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(px, 0, UINT32_MAX));
}

} // namespace rasmik
