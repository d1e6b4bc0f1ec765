#include "text/TextEncoding.h"

#include "text/Cp1256.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace rasmik {

namespace {

constexpr char32_t Replacement = 0xFFFD;

bool IsContinuation(unsigned char b)
{
    return (b & 0xC0) == 0x80;
}

// Eight bytes at p all below 0x80.
bool AsciiWord(const char* p)
{
    std::uint64_t x;
    std::memcpy(&x, p, 8);
    return (x & 0x8080808080808080ull) == 0;
}

bool StartsWith(std::string_view bytes, std::string_view mark)
{
    return bytes.substr(0, mark.size()) == mark;
}

constexpr std::string_view Utf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view Utf16LEMark = "\xFF\xFE";
constexpr std::string_view Utf16BEMark = "\xFE\xFF";

void AppendUnit(std::string& out, char16_t u, bool bigEndian)
{
    const char lo = static_cast<char>(u & 0xFF);
    const char hi = static_cast<char>(u >> 8);
    out.push_back(bigEndian ? hi : lo);
    out.push_back(bigEndian ? lo : hi);
}

// UTF-8 of every Windows-1256 byte, for turning held Windows-1256 text into UTF-8.
struct Utf8OfByte {
    char bytes[3];
    unsigned char size;
};
const std::array<Utf8OfByte, 256>& Utf8OfCp1256()
{
    static const std::array<Utf8OfByte, 256> table = [] {
        std::array<Utf8OfByte, 256> t{};
        for (int b = 0; b < 256; ++b) {
            std::string s;
            AppendUtf8(s, Cp1256ToUnicodeChar(static_cast<unsigned char>(b)));
            std::memcpy(t[b].bytes, s.data(), s.size());
            t[b].size = static_cast<unsigned char>(s.size());
        }
        return t;
    }();
    return table;
}

// Held UTF-8 into a UTF-8 file: a lone surrogate has no UTF-8 form and
// becomes U+FFFD.
void AppendUtf8AsFile(std::string_view text, std::string& out)
{
    std::size_t from = 0;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (static_cast<unsigned char>(text[i]) == 0xED && static_cast<unsigned char>(text[i + 1]) >= 0xA0) {
            out.append(text.substr(from, i - from));
            AppendUtf8(out, Replacement);
            std::size_t j = i;
            NextCodePoint(text, j);
            from = j;
            i = j - 1;
        }
    }
    out.append(text.substr(from));
}

} // namespace

char32_t NextCodePoint(std::string_view text, std::size_t& i, bool surrogates)
{
    const std::size_t n = text.size();
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char b = at(i);
    if (b < 0x80) {
        ++i;
        return b;
    }
    int need = 0;
    char32_t cp = 0;
    unsigned char lo = 0x80, hi = 0xBF; // allowed range of the second byte
    if (b >= 0xC2 && b <= 0xDF) {
        need = 1;
        cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        need = 2;
        cp = b & 0x0F;
        if (b == 0xE0)
            lo = 0xA0; // no overlong forms
        if (b == 0xED && !surrogates)
            hi = 0x9F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        need = 3;
        cp = b & 0x07;
        if (b == 0xF0)
            lo = 0x90;
        if (b == 0xF4)
            hi = 0x8F;
    } else {
        ++i;
        return Replacement;
    }
    // A broken sequence is one U+FFFD for its longest valid beginning.
    std::size_t j = i + 1;
    int got = 0;
    while (got < need && j < n) {
        const unsigned char c = at(j);
        if (got == 0 ? (c < lo || c > hi) : !IsContinuation(c))
            break;
        cp = (cp << 6) | (c & 0x3F);
        ++got;
        ++j;
    }
    i = j;
    return got == need ? cp : Replacement;
}

void AppendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

bool IsValidUtf8(std::string_view text, bool* beyondAscii)
{
    const char* p = text.data();
    const char* const end = p + text.size();
    bool beyond = false;
#ifdef __SSE2__
    unsigned seen = 0;
#endif
    while (p < end) {
#ifdef __SSE2__
        // Sixteen bytes at a time while they are ASCII and two-byte sequences
        // (Persian and Arabic text). A block always moves on by sixteen, so that
        // the next load does not wait for this one; a lead in its last byte is
        // carried into the next block, whose first byte must follow it.
        unsigned carry = 0;
        while (end - p >= 16) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            const auto bitsWhere = [&x](int mask, int value) {
                return static_cast<unsigned>(
                    _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(x, _mm_set1_epi8(static_cast<char>(mask))),
                                                     _mm_set1_epi8(static_cast<char>(value)))));
            };
            const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(x));
            const unsigned cont = bitsWhere(0xC0, 0x80);
            // C0 and C1 would be overlong.
            const unsigned lead = bitsWhere(0xE0, 0xC0) & ~bitsWhere(0xFE, 0xC0);
            if ((cont | lead) != high || cont != (((lead << 1) | carry) & 0xFFFF))
                break; // longer sequences, or a fault: taken one by one below
            seen |= high;
            carry = lead >> 15;
            p += 16;
        }
        // The carried lead starts the next character.
        p -= carry;
        beyond = beyond || seen != 0;
#endif
        if (p == end)
            break;
        if (end - p >= 8 && AsciiWord(p)) {
            p += 8;
            continue;
        }
        const unsigned char b = static_cast<unsigned char>(*p);
        if (b < 0x80) {
            ++p;
            continue;
        }
        beyond = true;
        const std::size_t left = static_cast<std::size_t>(end - p);
        const auto c = [p](int k) { return static_cast<unsigned char>(p[k]); };
        if (b >= 0xC2 && b <= 0xDF) {
            if (left < 2 || !IsContinuation(c(1)))
                return false;
            p += 2;
        } else if (b >= 0xE0 && b <= 0xEF) {
            if (left < 3 || !IsContinuation(c(1)) || !IsContinuation(c(2)))
                return false;
            if ((b == 0xE0 && c(1) < 0xA0) || (b == 0xED && c(1) > 0x9F))
                return false; // overlong, or a surrogate
            p += 3;
        } else if (b >= 0xF0 && b <= 0xF4) {
            if (left < 4 || !IsContinuation(c(1)) || !IsContinuation(c(2)) || !IsContinuation(c(3)))
                return false;
            if ((b == 0xF0 && c(1) < 0x90) || (b == 0xF4 && c(1) > 0x8F))
                return false;
            p += 4;
        } else {
            return false;
        }
    }
    if (beyondAscii)
        *beyondAscii = beyond;
    return true;
}

TextEncoding Utf16WithoutMark(std::string_view bytes)
{
    const std::size_t units = bytes.size() / 2;
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t nulEven = 0, nulOdd = 0, breakBytes = 0;
    for (std::size_t i = 0; i < 2 * units; ++i) {
        const unsigned char b = in[i];
        if (b == 0)
            ++((i & 1) ? nulOdd : nulEven);
        else if (b == '\t' || b == '\n' || b == '\r')
            ++breakBytes;
    }
    if (nulEven + nulOdd == 0)
        return TextEncoding::Windows1256;
    // ASCII in little-endian order has its NUL in the odd places.
    const bool big = nulEven > nulOdd;
    const auto unitAt = [&](std::size_t u) -> char16_t {
        const unsigned char lo = in[2 * u + (big ? 1 : 0)];
        const unsigned char hi = in[2 * u + (big ? 0 : 1)];
        return static_cast<char16_t>(hi << 8 | lo);
    };
    std::size_t breakUnits = 0, withNul = 0;
    for (std::size_t u = 0; u < units; ++u) {
        const char16_t c = unitAt(u);
        if (c < 0x100)
            ++withNul;
        if (c == '\t' || c == '\n' || c == '\r') {
            ++breakUnits;
            continue;
        }
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0xFFFE || c == 0xFFFF || (c >= 0xDC00 && c <= 0xDFFF))
            return TextEncoding::Windows1256;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (u + 1 >= units || unitAt(u + 1) < 0xDC00 || unitAt(u + 1) > 0xDFFF)
                return TextEncoding::Windows1256;
            ++u;
        }
    }
    // A Windows-1256 table read as UTF-16 keeps its TABs and line breaks
    // inside other units; a real UTF-16 table has them as units.
    if (2 * breakUnits < breakBytes || (breakUnits == 0 && 2 * withNul < units))
        return TextEncoding::Windows1256;
    return big ? TextEncoding::Utf16BE : TextEncoding::Utf16LE;
}

FileEncoding DetectEncoding(std::string_view bytes)
{
    if (StartsWith(bytes, Utf8Mark))
        return {TextEncoding::Utf8, true};
    if (StartsWith(bytes, Utf16LEMark))
        return {TextEncoding::Utf16LE, true};
    if (StartsWith(bytes, Utf16BEMark))
        return {TextEncoding::Utf16BE, true};
    // The text ends at a NUL; what follows is never read.
    if (const void* nul = std::memchr(bytes.data(), '\0', bytes.size())) {
        if (const TextEncoding utf16 = Utf16WithoutMark(bytes); utf16 != TextEncoding::Windows1256)
            return {utf16, false};
        bytes = bytes.substr(0, static_cast<std::size_t>(static_cast<const char*>(nul) - bytes.data()));
    }
    bool beyond = false;
    if (IsValidUtf8(bytes, &beyond) && beyond)
        return {TextEncoding::Utf8, false};
    return {};
}

TextEnd FindTextEnd(std::string_view bytes, FileEncoding encoding)
{
    TextEnd end;
    end.fileBytes = bytes.size();
    const std::size_t from = ByteOrderMarkOf(encoding).size();
    if (bytes.size() < from || !StartsWith(bytes, ByteOrderMarkOf(encoding)))
        return end;
    if (encoding.encoding == TextEncoding::Utf16LE || encoding.encoding == TextEncoding::Utf16BE) {
        const std::size_t units = (bytes.size() - from) / 2;
        for (std::size_t u = 0; u < units; ++u) {
            if (bytes[from + 2 * u] == '\0' && bytes[from + 2 * u + 1] == '\0') {
                end.cut = true;
                end.cutAt = from + 2 * u;
                return end;
            }
        }
        if ((bytes.size() - from) % 2 != 0) {
            end.halfCharacter = true;
            end.strayByte = static_cast<unsigned char>(bytes.back());
        }
        return end;
    }
    if (const void* nul = std::memchr(bytes.data() + from, '\0', bytes.size() - from)) {
        end.cut = true;
        end.cutAt = static_cast<std::uint64_t>(static_cast<const char*>(nul) - bytes.data());
    }
    return end;
}

bool FileBytesToHeld(ByteBuffer& bytes, FileEncoding encoding, std::size_t maxBytes)
{
    switch (encoding.encoding) {
    case TextEncoding::Windows1256: break;
    case TextEncoding::Utf8:
        if (encoding.byteOrderMark && StartsWith(bytes.view(), Utf8Mark)) {
            const std::size_t n = bytes.size() - Utf8Mark.size();
            std::memmove(bytes.data(), bytes.data() + Utf8Mark.size(), n);
            bytes.truncate(n);
        }
        break;
    case TextEncoding::Utf16LE:
    case TextEncoding::Utf16BE: {
        const bool big = encoding.encoding == TextEncoding::Utf16BE;
        const std::size_t from = encoding.byteOrderMark && bytes.size() >= 2 ? 2 : 0;
        const std::size_t n = bytes.size();
        const unsigned char* in = reinterpret_cast<const unsigned char*>(bytes.data());
        const auto unitAt = [&](std::size_t k) -> char16_t {
            return big ? static_cast<char16_t>(in[k] << 8 | in[k + 1]) : static_cast<char16_t>(in[k + 1] << 8 | in[k]);
        };
        // The text ends at U+0000; nothing after it is converted.
        std::size_t units = (n - from) / 2;
        for (std::size_t u = 0; u < units; ++u) {
            if (unitAt(from + 2 * u) == 0) {
                units = u;
                break;
            }
        }
        // At most three bytes for each unit (a pair of four for two). An
        // odd last byte is half a character, kept aside by the reader.
        ByteBuffer out(units * 3);
        char* o = out.data();
        const auto put = [&o](char32_t cp) {
            if (cp < 0x80) {
                *o++ = static_cast<char>(cp);
            } else if (cp < 0x800) {
                *o++ = static_cast<char>(0xC0 | (cp >> 6));
                *o++ = static_cast<char>(0x80 | (cp & 0x3F));
            } else if (cp < 0x10000) {
                *o++ = static_cast<char>(0xE0 | (cp >> 12));
                *o++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                *o++ = static_cast<char>(0x80 | (cp & 0x3F));
            } else {
                *o++ = static_cast<char>(0xF0 | (cp >> 18));
                *o++ = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
                *o++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
                *o++ = static_cast<char>(0x80 | (cp & 0x3F));
            }
        };
        for (std::size_t u = 0; u < units; ++u) {
            const char16_t c = unitAt(from + 2 * u);
            if (c >= 0xD800 && c <= 0xDBFF && u + 1 < units) {
                const char16_t d = unitAt(from + 2 * (u + 1));
                if (d >= 0xDC00 && d <= 0xDFFF) {
                    put(0x10000 + ((char32_t{c} - 0xD800) << 10) + (char32_t{d} - 0xDC00));
                    ++u;
                    continue;
                }
            }
            put(c); // a lone surrogate keeps its own three bytes
        }
        const std::size_t size = static_cast<std::size_t>(o - out.data());
        if (size > maxBytes)
            return false;
        out.truncate(size);
        bytes = std::move(out);
        break;
    }
    }
    return bytes.size() <= maxBytes;
}

bool AppendHeldAs(std::string_view text, TextEncoding held, TextEncoding to, std::string& out, UnfitCharacter* unfit)
{
    const bool toUtf16 = to == TextEncoding::Utf16LE || to == TextEncoding::Utf16BE;
    const bool big = to == TextEncoding::Utf16BE;
    if (held == TextEncoding::Windows1256) {
        if (to == TextEncoding::Windows1256) {
            out.append(text);
        } else if (toUtf16) {
            for (const char ch : text)
                AppendUnit(out, Cp1256ToUnicodeChar(static_cast<unsigned char>(ch)), big);
        } else {
            const auto& table = Utf8OfCp1256();
            for (const char ch : text) {
                const Utf8OfByte& u = table[static_cast<unsigned char>(ch)];
                out.append(u.bytes, u.size);
            }
        }
        return true;
    }
    if (to == TextEncoding::Utf8) {
        AppendUtf8AsFile(text, out);
        return true;
    }
    const std::size_t before = out.size();
    std::size_t i = 0;
    while (i < text.size()) {
        // Runs of ASCII are the same in every encoding but UTF-16.
        if (!toUtf16 && static_cast<unsigned char>(text[i]) < 0x80) {
            out.push_back(text[i++]);
            continue;
        }
        const std::size_t at = i;
        const char32_t cp = NextCodePoint(text, i);
        if (toUtf16) {
            if (cp >= 0x10000) {
                AppendUnit(out, static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)), big);
                AppendUnit(out, static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)), big);
            } else {
                AppendUnit(out, static_cast<char16_t>(cp), big);
            }
        } else if (!AppendNearestCp1256(cp, out)) {
            out.resize(before);
            if (unfit)
                *unfit = {at, cp};
            return false;
        }
    }
    return true;
}

std::string_view ByteOrderMarkOf(FileEncoding encoding)
{
    if (!encoding.byteOrderMark)
        return {};
    switch (encoding.encoding) {
    case TextEncoding::Utf8: return Utf8Mark;
    case TextEncoding::Utf16LE: return Utf16LEMark;
    case TextEncoding::Utf16BE: return Utf16BEMark;
    case TextEncoding::Windows1256: break;
    }
    return {};
}

std::string EncodingName(FileEncoding encoding)
{
    switch (encoding.encoding) {
    case TextEncoding::Windows1256: return "Windows-1256";
    case TextEncoding::Utf8: return encoding.byteOrderMark ? "UTF-8 with BOM" : "UTF-8";
    case TextEncoding::Utf16LE: return "UTF-16 LE";
    case TextEncoding::Utf16BE: return "UTF-16 BE";
    }
    return {};
}

bool ParseEncodingName(std::string_view name, FileEncoding& out)
{
    std::string n(name);
    for (char& ch : n)
        if (ch >= 'a' && ch <= 'z')
            ch = static_cast<char>(ch - 'a' + 'A');
    if (n == "WINDOWS-1256" || n == "CP1256") {
        out = {TextEncoding::Windows1256, false};
        return true;
    }
    if (n == "UTF-8" || n == "UTF8") {
        out = {TextEncoding::Utf8, false};
        return true;
    }
    if (n == "UTF-16" || n == "UTF16") {
        out = {TextEncoding::Utf16LE, true};
        return true;
    }
    return false;
}

FileEncoding SaveEncodingFor(TextEncoding chosen, FileEncoding current)
{
    const auto isUtf16 = [](TextEncoding e) { return e == TextEncoding::Utf16LE || e == TextEncoding::Utf16BE; };
    if (chosen == current.encoding || (isUtf16(chosen) && isUtf16(current.encoding)))
        return current;
    if (isUtf16(chosen))
        return {TextEncoding::Utf16LE, true};
    return {chosen, false};
}

std::size_t BytesOfCharacters(std::string_view text, std::size_t n, TextEncoding held)
{
    if (held == TextEncoding::Windows1256)
        return std::min(n, text.size());
    // Where character n starts (the first byte counts as one whatever it
    // is), or the end. Eight bytes at a time: a fixed-width field of a
    // UTF-8 table is cut this way, every field of every line.
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t size = text.size();
    std::size_t need = n;
    std::size_t i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        constexpr std::uint64_t High = 0x8080808080808080ull;
        for (; i + 8 <= size; i += 8) {
            std::uint64_t w;
            std::memcpy(&w, p + i, 8);
            // A byte 10xxxxxx continues a character; any other starts one.
            std::uint64_t starts = ~(w & ~(w << 1)) & High;
            if (i == 0)
                starts |= 0x80;
            // One bit a byte, counted by a multiplication (no popcount
            // instruction on every x86-64).
            const auto count = static_cast<std::size_t>(((starts >> 7) * 0x0101010101010101ull) >> 56);
            if (count > need) {
                for (; need > 0; --need)
                    starts &= starts - 1;
                return i + static_cast<std::size_t>(std::countr_zero(starts)) / 8;
            }
            need -= count;
        }
    }
    for (; i < size; ++i)
        if (i == 0 || StartsCharacter(p[i])) {
            if (need == 0)
                return i;
            --need;
        }
    return size;
}

std::size_t CharacterCount(std::string_view text, TextEncoding held)
{
    if (held == TextEncoding::Windows1256)
        return text.size();
    std::size_t n = 0;
    for (const char ch : text)
        n += StartsCharacter(static_cast<unsigned char>(ch)) ? 1 : 0;
    return n;
}

std::string_view CutAtCharacter(std::string_view text, std::size_t maxBytes, TextEncoding held)
{
    if (text.size() <= maxBytes)
        return text;
    std::size_t n = maxBytes;
    if (held != TextEncoding::Windows1256)
        while (n > 0 && !StartsCharacter(static_cast<unsigned char>(text[n])))
            --n;
    return text.substr(0, n);
}

bool Utf8ToCp1256Exactly(std::string_view utf8, std::string& out)
{
    out.clear();
    std::size_t i = 0;
    while (i < utf8.size()) {
        const unsigned char b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x80) {
            out.push_back(static_cast<char>(b));
            ++i;
            continue;
        }
        const int exact = ExactCp1256Byte(NextCodePoint(utf8, i));
        if (exact < 0)
            return false;
        out.push_back(static_cast<char>(exact));
    }
    return true;
}

} // namespace rasmik
