#pragma once
// What the table layout needs to know of the grid's font, given by the
// toolkit layer so that the core stays free of it.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace rasmik {

class TextAlphabet;

// Measures texts for one thread; it may remember what it measured.
class TextMeasurer {
public:
    virtual ~TextMeasurer() = default;
    // Exactly TextMetrics::textWidth.
    virtual int width(std::string_view text) = 0;
    // An upper bound of width(text), usually much tighter than the byte
    // bounds and cheap once the text's words have been seen.
    virtual int bound(std::string_view text) = 0;
    // Exactly TextMetrics::utf8TextWidth.
    virtual int utf8Width(std::string_view utf8) = 0;
};

// A font's advances and what neighbours add to them, in 1/64 pixel, such
// that TextBounds below never falls short of the measured width.
struct ShapeBounds {
    // Texts of TAB and printable ASCII only, up to MaxPairBoundLength bytes:
    // symbols 0..127 are the bytes, 128 + k the ligature ligatures[k] (two or
    // three bytes that the font draws as one glyph; a longer one comes first).
    // A text is cut into symbols from the front, each time the longest
    // ligature that starts there, and then bounded by the advance of every
    // symbol plus the extra of every pair of neighbours (which may be
    // negative: kerning that always applies).
    std::vector<std::string> ligatures;
    std::vector<std::int64_t> advance64;   // symbols
    std::vector<std::int32_t> pairExtra64; // symbols x symbols, [left * symbols + right]
    // Any other text: a byte's advance in its joining form (isolated, final,
    // initial, medial), which follows from the joining types of its
    // neighbours, marks (transparent) skipped. A mark has two: after a base
    // (form 0) and alone at the start of a line (form 1).
    // A direction mark may or may not let the letters on its sides join.
    enum Joining : unsigned char { NonJoining, JoinsRight, JoinsDual, JoinCausing, Transparent, DirectionMark };
    std::vector<Joining> joining; // 256
    // 1 for a byte whose neighbours are not known well enough (a letter of
    // another script or of another font): texts holding it take the byte
    // bounds.
    std::vector<unsigned char> unmodelled; // 256
    // 1 for a byte after which a mark starts a run of its own (line breaks,
    // direction marks): the mark's form 1.
    std::vector<unsigned char> runStart; // 256
    std::vector<std::int64_t> form64;    // 256 x 4, [byte * 4 + form]
    // Letters drawn as one glyph (lam and alef, and whatever else the font
    // joins), marks between them skipped; a longer one comes first. Each has
    // four advances, as a letter's forms: bit 0 joined to the letter before
    // it, bit 1 to the letter after it.
    std::vector<std::string> arabicLigatures;
    std::vector<std::int64_t> arabicLigature64; // 4 per ligature
};

class TextMetrics {
public:
    static constexpr std::size_t MaxPairBoundLength = 1024;
    virtual ~TextMetrics() = default;
    // Pixel width of a Windows-1256 text as the grid draws it.
    virtual int textWidth(std::string_view text) const = 0;
    // Pixel width of held UTF-8 text as the grid draws it. Metrics that know
    // Windows-1256 only measure it in Windows-1256, nearest letters taken.
    virtual int utf8TextWidth(std::string_view utf8) const;
    // Pixel height of a text in the font.
    virtual int textHeight(std::string_view text) const = 0;
    // An upper bound of textWidth for any text holding this byte once, added
    // up over the bytes of a text: sum(byteAdvanceBound(b)) >= textWidth(text).
    virtual int byteAdvanceBound(unsigned char b) const = 0;
    // The largest byteAdvanceBound of any byte.
    virtual int maxByteAdvanceBound() const = 0;

    // A byte's bound in 1/64 pixel, for any text: (sum(generalBound64(b)) +
    // 32) / 64 >= textWidth.
    virtual std::int64_t generalBound64(unsigned char b) const { return std::int64_t{byteAdvanceBound(b)} * 64; }
    // What the font really does to texts, for bounds that are tight; false
    // when the metrics know nothing beyond the byte bounds.
    virtual bool shapeBounds(ShapeBounds& out) const
    {
        static_cast<void>(out);
        return false;
    }
    // The same for texts written in another alphabet than Windows-1256 (its
    // bytes instead of Windows-1256 bytes): every byte's general bound in
    // 1/64 pixel and the shape bounds. False when the metrics know
    // Windows-1256 only.
    virtual bool alphabetBounds(const TextAlphabet& alphabet, std::vector<std::int64_t>& general64,
                                ShapeBounds& shape) const
    {
        static_cast<void>(alphabet);
        static_cast<void>(general64);
        static_cast<void>(shape);
        return false;
    }
    // A measurer for one thread. Several may work at the same time on
    // different threads only when concurrentMeasurers() says so.
    virtual std::unique_ptr<TextMeasurer> measurer() const;
    virtual bool concurrentMeasurers() const { return false; }
};

// A fast upper bound of a text's width from the metrics' shape bounds, or
// from the byte bounds alone when the metrics have none.
class TextBounds {
public:
    explicit TextBounds(const TextMetrics& metrics);
    // For texts written in alphabet; where the metrics know nothing of it,
    // every text but ASCII is unbounded (UINT32_MAX).
    TextBounds(const TextMetrics& metrics, const TextAlphabet& alphabet);
    // Pixels, never below the width of the text the bytes stand for (for
    // Windows-1256, metrics.textWidth(text)).
    std::uint32_t bound(std::string_view text) const;
    // Never below bound(text), and much cheaper: every byte's widest part
    // in any text where the byte after it is what it is, added up. Just as
    // tight for most Latin texts and digits.
    std::uint32_t quickBound(std::string_view text) const;

    // A bound of quickBound's kind for a caller that adds up the bytes
    // itself, while it reads them anyway: the sum of quickSumTable()[byte]
    // (each byte's widest part in any text, whatever follows it) over a
    // text of at most QuickSumLength bytes gives quickBoundOfSum(sum,
    // text). Null when quickBound has no such sums.
    static constexpr std::size_t QuickSumLength = 255;
    const std::uint64_t* quickSumTable() const { return quick_ ? quickPacked_ : nullptr; }
    static constexpr unsigned EndOfText = 3; // a nextJoinClass(): no byte follows
    // Tighter sums of the same kind, which quickBound adds up: each byte's
    // widest form where the byte after it joins it, or does not, or may
    // (PairSum of quickPairTable() and nextJoinClass(); null as above).
    // Most Persian letters inside a word take their narrow joined forms.
    const std::uint64_t* quickPairTable() const { return quick_ ? quickPair_ : nullptr; }
    const unsigned char* nextJoinClass() const { return nextJoin_; }
    // lastClass: the class of what follows the text, EndOfText for nothing.
    static std::uint64_t PairSum(const std::uint64_t* pairs, const unsigned char* nextJoin, std::string_view text,
                                 unsigned lastClass = EndOfText)
    {
        const auto* t = reinterpret_cast<const unsigned char*>(text.data());
        const std::size_t n = text.size();
        if (n == 0)
            return 0;
        // Two sums, so that the loads do not wait on one addition.
        std::uint64_t s[2] = {0, 0};
        std::size_t i = 0;
        for (; i + 2 < n; i += 2) {
            s[0] += pairs[(unsigned{t[i]} << 2) | nextJoin[t[i + 1]]];
            s[1] += pairs[(unsigned{t[i + 1]} << 2) | nextJoin[t[i + 2]]];
        }
        if (i + 1 < n)
            s[0] += pairs[(unsigned{t[i]} << 2) | nextJoin[t[i + 1]]];
        s[1] += pairs[(unsigned{t[n - 1]} << 2) | lastClass];
        return s[0] + s[1];
    }
    std::uint32_t quickBoundOfSum(std::uint64_t sum, std::string_view text) const
    {
        const std::uint64_t sum64 = QuickSum64(sum);
        return sum64 == UnknownSum ? bound(text) : static_cast<std::uint32_t>((sum64 + 32) >> 6);
    }
    // Of such a sum, the quick bound in 1/64 pixel, or UnknownSum when only
    // bound() knows.
    static constexpr std::uint64_t UnknownSum = UINT64_MAX;
    static std::uint64_t QuickSum64(std::uint64_t sum)
    {
        const std::uint64_t textual = (sum >> 24) & 0xFF;
        if (textual && (sum >> 56))
            return UnknownSum;
        return textual ? (sum >> 32) & 0xFFFFFF : sum & 0xFFFFFF;
    }

private:
    // In 1/64 pixel; -1 when the text is not of that kind.
    std::int64_t asciiSum(std::string_view text) const;
    std::int64_t formSum(std::string_view text) const;
    std::int64_t formSumInOrder(std::string_view text) const;
    int pairLigatureOf(unsigned first, unsigned second) const;

    enum Class : unsigned char {
        Mark = 1,
        JoinsPrev = 2,
        JoinsNext = 4,
        LigatureStart = 8,
        Unmodelled = 16,
        RunStart = 32,
        Ambiguous = 64,
        LooseJoin = 128,
    };

    void useShape();
    void useQuickBounds();

    std::int64_t general_[256]; // -1: no bound
    bool shaped_ = false;
    ShapeBounds shape_;
    std::size_t symbols_ = 128;
    unsigned char notAscii_[256]; // 1: the text takes the form bounds
    unsigned char ligatureStart_[256];
    unsigned char class_[256]; // Class bits
    // Bit 0: a text holding the byte is summed letter by letter; bits 1 and
    // 2: it joins the letter before, the one after; bit 3: it starts a
    // ligature of two letters or more.
    unsigned char joinInfo_[256];
    // Bit (first << 8 | second): a ligature may start with these two bytes.
    std::uint64_t ligaturePair_[1024];
    // 1/64 pixel: at least what the byte, or a ligature it starts, adds to
    // the shape bounds of a text of printable ASCII, and of any other text
    // (-1 where only bound() knows).
    std::int64_t quickAscii64_[256];
    std::int64_t quickForm64_[256];
    unsigned char textual_[256]; // 1: the text takes the forms' quick bounds
    // One load a byte, both sums and two counts: the ASCII sum in bits
    // 0-23, the bytes that take the forms' sum in 24-31, the forms' sum in
    // 32-55, the bytes only bound() knows in 56-63.
    std::uint64_t quickPacked_[256];
    // The same by byte << 2 | the next byte's nextJoin_ class: 0 it joins
    // the letter before, 1 it does not, 2 it may (a mark, a direction mark,
    // a joiner, an unmodelled byte), or EndOfText.
    std::uint64_t quickPair_[1024];
    unsigned char nextJoin_[256];
    bool quick_ = false;
};

} // namespace rasmik
