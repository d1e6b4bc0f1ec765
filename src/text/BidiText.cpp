#include "text/BidiText.h"

#include "text/Cp1256.h"
#include "text/TextEncoding.h"

#include <algorithm>
#include <array>
#include <climits>

#include <fribidi.h>

namespace rasmik {

namespace {

FriBidiCharType typeOf(char32_t c)
{
    return fribidi_get_bidi_type(static_cast<FriBidiChar>(c));
}

// Follows the first-strong rule through one character; true once decided.
struct FirstStrong {
    int isolates = 0;
    bool decided = false;
    ReadingDirection direction = ReadingDirection::RightToLeft;

    bool see(char32_t c)
    {
        const FriBidiCharType t = typeOf(c);
        if (FRIBIDI_IS_ISOLATE(t)) {
            if (t == FRIBIDI_TYPE_PDI)
                isolates = std::max(0, isolates - 1);
            else
                ++isolates;
        } else if (isolates == 0 && FRIBIDI_IS_LETTER(t)) {
            direction = FRIBIDI_IS_RTL(t) ? ReadingDirection::RightToLeft : ReadingDirection::LeftToRight;
            decided = true;
        }
        return decided;
    }
};

} // namespace

bool IsStrongCharacter(char32_t c)
{
    return FRIBIDI_IS_LETTER(typeOf(c));
}

bool IsNonNeutralCharacter(char32_t c)
{
    const FriBidiCharType t = typeOf(c);
    return FRIBIDI_IS_LETTER(t) || FRIBIDI_IS_NUMBER(t);
}

bool IsRightToLeftCharacter(char32_t c)
{
    const FriBidiCharType t = typeOf(c);
    return FRIBIDI_IS_LETTER(t) && FRIBIDI_IS_RTL(t);
}

ReadingDirection DirectionOfText(std::u32string_view text, ReadingDirection none)
{
    FirstStrong first;
    for (char32_t c : text)
        if (first.see(c))
            return first.direction;
    return none;
}

ReadingDirection DirectionOfText(std::u16string_view text, ReadingDirection none)
{
    FirstStrong first;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        if (first.see(c))
            return first.direction;
    }
    return none;
}

ReadingDirection DirectionOfText(std::string_view text, TextEncoding held, ReadingDirection none)
{
    FirstStrong first;
    if (held == TextEncoding::Windows1256) {
        // One look-up per byte value, made once.
        static const auto strong = [] {
            std::array<signed char, 256> s{};
            for (int b = 0; b < 256; ++b) {
                const FriBidiCharType t = typeOf(Cp1256Table[b]);
                s[static_cast<std::size_t>(b)] = FRIBIDI_IS_LETTER(t) ? (FRIBIDI_IS_RTL(t) ? 1 : 0) : -1;
            }
            return s;
        }();
        for (char ch : text) {
            const signed char s = strong[static_cast<unsigned char>(ch)];
            if (s >= 0)
                return s ? ReadingDirection::RightToLeft : ReadingDirection::LeftToRight;
        }
        return none;
    }
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b < 0x80) {
            // ASCII letters are the only strong ASCII characters.
            if ((b | 0x20) >= 'a' && (b | 0x20) <= 'z' && first.isolates == 0)
                return ReadingDirection::LeftToRight;
            ++i;
            continue;
        }
        if (first.see(NextCodePoint(text, i)))
            return first.direction;
    }
    return none;
}

BidiLine LayOutBidiLine(std::u32string_view text, ReadingDirection direction, std::u32string_view before,
                        std::u32string_view after)
{
    BidiLine line;
    line.direction = direction;
    const std::size_t n = text.size();
    const std::uint8_t base = direction == ReadingDirection::RightToLeft ? 1 : 0;
    line.levels.assign(n, base);
    line.visual.resize(n);
    std::u32string whole;
    whole.reserve(before.size() + n + after.size());
    whole.append(before).append(text).append(after);
    const std::size_t total = whole.size();
    bool laidOut = total <= static_cast<std::size_t>(INT_MAX);
    std::vector<FriBidiLevel> levels;
    std::vector<FriBidiStrIndex> map;
    if (laidOut) {
        const auto len = static_cast<FriBidiStrIndex>(total);
        const auto* chars = reinterpret_cast<const FriBidiChar*>(whole.data());
        std::vector<FriBidiCharType> types(total);
        std::vector<FriBidiBracketType> brackets(total);
        fribidi_get_bidi_types(chars, len, types.data());
        fribidi_get_bracket_types(chars, len, types.data(), brackets.data());
        FriBidiParType par = base ? FRIBIDI_PAR_RTL : FRIBIDI_PAR_LTR;
        levels.resize(total);
        map.resize(total);
        for (std::size_t i = 0; i < total; ++i)
            map[i] = static_cast<FriBidiStrIndex>(i);
        laidOut = fribidi_get_par_embedding_levels_ex(types.data(), brackets.data(), len, &par, levels.data()) != 0
            && fribidi_reorder_line(0, types.data(), len, 0, par, levels.data(), nullptr, map.data()) != 0;
    }
    if (!laidOut) {
        // Out of memory: the text in its paragraph's order.
        for (std::size_t i = 0; i < n; ++i)
            line.visual[i] = base ? n - 1 - i : i;
        return line;
    }
    const std::size_t from = before.size();
    for (std::size_t i = 0; i < n; ++i)
        line.levels[i] = static_cast<std::uint8_t>(levels[from + i]);
    std::size_t v = 0;
    for (FriBidiStrIndex logical : map) {
        const auto l = static_cast<std::size_t>(logical);
        if (l >= from && l < from + n)
            line.visual[v++] = l - from;
    }
    return line;
}

std::vector<std::pair<std::size_t, std::size_t>>
VisibleRanges(const BidiLine& line, std::span<const std::uint8_t> weights, std::size_t budget, VisibleEdge edge)
{
    const std::size_t n = line.visual.size();
    const auto weightAt = [&](std::size_t logical) -> std::size_t { return weights.empty() ? 1 : weights[logical]; };
    std::vector<bool> kept(n, false);
    std::size_t used = 0;
    const auto keep = [&](std::size_t v) {
        const std::size_t w = weightAt(line.visual[v]);
        if (used + w > budget)
            return false;
        used += w;
        kept[line.visual[v]] = true;
        return true;
    };
    if (edge == VisibleEdge::Right) {
        for (std::size_t v = n; v > 0 && keep(v - 1); --v) { }
    } else {
        std::size_t start = 0;
        if (edge == VisibleEdge::Middle) {
            std::size_t total = 0;
            for (std::size_t i = 0; i < n; ++i)
                total += weightAt(i);
            const std::size_t skip = total > budget ? (total - budget) / 2 : 0;
            for (std::size_t passed = 0; start < n && passed < skip; ++start)
                passed += weightAt(line.visual[start]);
        }
        for (std::size_t v = start; v < n && keep(v); ++v) { }
    }
    std::vector<std::pair<std::size_t, std::size_t>> ranges;
    for (std::size_t i = 0; i < n;) {
        if (!kept[i]) {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j < n && kept[j])
            ++j;
        ranges.emplace_back(i, j);
        i = j;
    }
    return ranges;
}

void DecodeHeld(std::string_view text, TextEncoding held, HeldCodePoints& out)
{
    out.text.clear();
    out.starts.clear();
    out.text.reserve(text.size());
    out.starts.reserve(text.size() + 1);
    if (held == TextEncoding::Windows1256) {
        for (std::size_t i = 0; i < text.size(); ++i) {
            out.starts.push_back(i);
            out.text.push_back(Cp1256Table[static_cast<unsigned char>(text[i])]);
        }
    } else {
        for (std::size_t i = 0; i < text.size();) {
            out.starts.push_back(i);
            out.text.push_back(NextCodePoint(text, i));
        }
    }
    out.starts.push_back(text.size());
}

namespace {

std::size_t characterStartFrom(std::string_view text, std::size_t i, TextEncoding held)
{
    if (held != TextEncoding::Windows1256)
        while (i < text.size() && !StartsCharacter(static_cast<unsigned char>(text[i])))
            ++i;
    return i;
}

char32_t characterAt(std::string_view text, std::size_t i, TextEncoding held)
{
    if (held == TextEncoding::Windows1256)
        return Cp1256Table[static_cast<unsigned char>(text[i])];
    return NextCodePoint(text, i);
}

std::size_t nextStart(std::string_view text, std::size_t i, TextEncoding held)
{
    if (held == TextEncoding::Windows1256)
        return i + 1;
    NextCodePoint(text, i);
    return i;
}

std::size_t previousStart(std::string_view text, std::size_t i, TextEncoding held)
{
    --i;
    if (held != TextEncoding::Windows1256)
        while (i > 0 && !StartsCharacter(static_cast<unsigned char>(text[i])))
            --i;
    return i;
}

// How far the context of a window is looked for: past it, the text is taken
// to begin or end there.
constexpr std::size_t ContextReach = 64 * 1024;

// What stands for the text before a window at from: its last strong
// character, and the number after it when a number comes last.
std::u32string contextBefore(std::string_view text, std::size_t from, TextEncoding held)
{
    std::u32string context;
    const std::size_t stop = from > ContextReach ? from - ContextReach : 0;
    for (std::size_t i = from; i > stop;) {
        i = previousStart(text, i, held);
        const char32_t c = characterAt(text, i, held);
        if (IsStrongCharacter(c)) {
            context.insert(context.begin(), c);
            break;
        }
        if (context.empty() && IsNonNeutralCharacter(c))
            context.push_back(c);
    }
    return context;
}

// What stands for the text after a window ending at to: its next strong
// character or number.
std::u32string contextAfter(std::string_view text, std::size_t to, TextEncoding held)
{
    const std::size_t stop = std::min(text.size(), to + ContextReach);
    for (std::size_t i = to; i < stop; i = nextStart(text, i, held)) {
        const char32_t c = characterAt(text, i, held);
        if (IsNonNeutralCharacter(c))
            return std::u32string(1, c);
    }
    return {};
}

std::size_t characterCount(std::string_view text, TextEncoding held)
{
    if (held == TextEncoding::Windows1256)
        return text.size();
    std::size_t n = 0;
    for (char ch : text)
        n += StartsCharacter(static_cast<unsigned char>(ch)) ? 1 : 0;
    return n;
}

} // namespace

std::vector<ShownPiece> ShownPieces(std::string_view text, TextEncoding held, ReadingDirection direction,
                                    VisibleEdge edge, std::size_t budget, bool countCharacters, std::size_t markCost)
{
    const std::size_t n = text.size();
    if (n <= budget || (countCharacters && characterCount(text, held) <= budget))
        return {};
    const bool rightToLeft = direction == ReadingDirection::RightToLeft;
    // What shows is the text's head at the edge where its paragraph starts,
    // its tail at the other, unless a stretch of the other direction crosses
    // the cut: the window leaves room for such a stretch.
    const std::size_t room = countCharacters && held != TextEncoding::Windows1256 ? budget * 4 : budget;
    const std::size_t window = std::min(n, room * 4);
    std::size_t from = 0;
    if (edge == VisibleEdge::Middle)
        from = (n - window) / 2;
    else if ((edge == VisibleEdge::Right) != rightToLeft)
        from = n - window;
    from = characterStartFrom(text, from, held);
    const std::size_t to = characterStartFrom(text, std::min(n, from + window), held);

    HeldCodePoints chars;
    DecodeHeld(text.substr(from, to - from), held, chars);
    const std::size_t count = chars.text.size();
    std::vector<std::uint8_t> weights;
    if (!countCharacters) {
        weights.resize(count);
        for (std::size_t i = 0; i < count; ++i)
            weights[i] = static_cast<std::uint8_t>(chars.starts[i + 1] - chars.starts[i]);
    }
    const BidiLine line = LayOutBidiLine(chars.text, direction, from > 0 ? contextBefore(text, from, held) : U"",
                                         to < n ? contextAfter(text, to, held) : U"");

    const std::uint8_t paragraph = rightToLeft ? 1 : 0;
    // A piece cut from a stretch of the other direction keeps that direction
    // by a mark before it, unless it starts with a letter that sets it.
    const auto markFor = [&](std::size_t first) {
        const std::uint8_t level = line.levels[first];
        if (from + chars.starts[first] == 0 || (level & 1) == paragraph || IsStrongCharacter(chars.text[first]))
            return ShownPiece::Mark::None;
        return (level & 1) ? ShownPiece::Mark::RightToLeft : ShownPiece::Mark::LeftToRight;
    };
    std::size_t limit = budget;
    for (;;) {
        std::vector<ShownPiece> pieces;
        std::size_t size = 0;
        for (const auto& [a, b] : VisibleRanges(line, weights, limit, edge)) {
            ShownPiece piece{from + chars.starts[a], from + chars.starts[b], markFor(a)};
            size += (piece.mark != ShownPiece::Mark::None ? markCost : 0)
                + (countCharacters ? b - a : piece.to - piece.from);
            pieces.push_back(piece);
        }
        if (size <= budget || limit <= size - budget)
            return pieces;
        limit -= size - budget;
    }
}

} // namespace rasmik
