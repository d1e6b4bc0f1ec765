#include "render/QtTextMetrics.h"

#include "render/FontModel.h"
#include "render/QtText.h"
#include "table/TextAlphabet.h"
#include "text/Cp1256.h"

#include <QCoreApplication>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPaintDevice>
#include <QString>
#include <QTextLayout>
#include <QTextOption>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

namespace rasmik {

namespace {

const QTextOption& rightToLeft()
{
    static const QTextOption option = [] {
        QTextOption o;
        o.setTextDirection(Qt::RightToLeft);
        return o;
    }();
    return option;
}

constexpr char16_t Tatweel = u'\u0640';
// Arabic, joins with nothing: the neighbours of a character keep their form.
constexpr char16_t Hamza = u'\u0621';
constexpr char16_t DottedCircle = u'\u25CC';
constexpr unsigned char LamByte = 0xE1;
// Alef, with madda, with hamza above, with hamza below.
constexpr unsigned char AlefBytes[] = {0xC7, 0xC2, 0xC3, 0xC5};

double advance(const QFontMetricsF& f, const QString& text)
{
    return f.horizontalAdvance(text, rightToLeft());
}

// A character measured between a prefix and a suffix: the difference to the
// width of prefix and suffix alone is the character's own advance there.
struct Context {
    QString prefix;
    QString suffix;
    double width = 0;
};

// The neighbours that change how a character is shaped: a tatweel on either
// side makes it join (initial, medial, final forms); spaces, Latin and Arabic
// that joins nothing (a neutral character takes its neighbours' script and
// maybe another fallback font with it). Each of these neighbours has one form
// only, so the difference is the character's own advance. They are two
// characters long so that every measurement is shaped as a run: a lone
// character is measured on a shorter path that can be narrower than in a text.
// What opens a text or a line (after a line feed, say) is shaped on its own:
// a mark there is drawn on a dotted circle, a joiner may show.
std::vector<Context> measuringContexts(const QFontMetricsF& f)
{
    const QString sides[] = {
        QString(), QString(2, QChar(Tatweel)), QStringLiteral("  "), QStringLiteral("aa"), QString(2, QChar(Hamza)),
    };
    std::vector<Context> contexts;
    for (const QString& p : sides)
        for (const QString& s : sides)
            contexts.push_back({p, s, 0});
    for (QChar lineStart : {QChar(u'\n'), QChar(u'\r'), QChar(u'\x1c'), QChar(u'\x1f')}) {
        const QString sep(lineStart);
        contexts.push_back({sep, QString(), 0});
        contexts.push_back({QString(), sep, 0});
        contexts.push_back({QStringLiteral("aa") + sep, QString(), 0});
    }
    for (Context& c : contexts) {
        const QString around = c.prefix + c.suffix;
        c.width = around.isEmpty() ? 0.0 : advance(f, around);
    }
    return contexts;
}

double widestAdvance(const QFontMetricsF& f, const std::vector<Context>& contexts, QChar c)
{
    double best = advance(f, QString(c));
    best = std::max(best, advance(f, QString(4, c)) / 4);
    for (const Context& k : contexts)
        best = std::max(best, advance(f, k.prefix + c + k.suffix) - k.width);
    const QChar::Category category = c.category();
    if (category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining
        || category == QChar::Mark_Enclosing)
        best = std::max(best, advance(f, QString(QChar(DottedCircle)) + c));
    return best;
}

} // namespace

namespace {

// The font for measuring on another thread: the same font with data of its
// own, so that no font engine is shared between threads. A change of a
// property makes a copy detach without the engines; changing it back keeps
// the font as it was.
QFont ownCopy(const QFont& font)
{
    QFont copy(font);
    const int stretch = copy.stretch();
    copy.setStretch(stretch == 100 ? 101 : 100);
    copy.setStretch(stretch);
    return copy;
}

std::int64_t w64(const QFontMetricsF& f, const QString& text, const QTextOption& option)
{
    return text.isEmpty() ? 0 : std::llround(f.horizontalAdvance(text, option) * 64);
}

const QTextOption& leftToRight()
{
    static const QTextOption option = [] {
        QTextOption o;
        o.setTextDirection(Qt::LeftToRight);
        return o;
    }();
    return option;
}

constexpr int FirstPrintable = 32;

bool isArabicLetter(QChar c)
{
    return c.script() == QChar::Script_Arabic && c.isLetter();
}

// A mark after a letter, a digit, a space or a joiner or direction mark:
// what it adds to the run.
std::int64_t markAdvance64(const QFontMetricsF& f, QChar mark)
{
    std::int64_t best = 0;
    for (const char16_t base :
         {u'\u0628', u'\u0627', Hamza, Tatweel, u'a', u'1', u' ', u'.', u'\u200C', u'\u200D', u'\u200E', u'\u200F'})
        for (const QString& before : {QString(), QString(QChar(base))}) {
            const QString b = before + QChar(base);
            best = std::max(best, w64(f, b + mark, rightToLeft()) - w64(f, b, rightToLeft()));
            best = std::max(best, w64(f, b + mark + b, rightToLeft()) - w64(f, b + b, rightToLeft()));
        }
    return best;
}

// An Arabic letter's advance in one joining form (bit 0: joined to the letter
// before, bit 1: to the letter after): tatweels on the joined sides, letters
// that join nothing or nothing at all on the others. The letter's own glyph
// does not depend on anything else around it.
std::int64_t formAdvance64(const QFontMetricsF& f, const QString& c, int form)
{
    const QString sides[] = {QString(), QString(2, QChar(Hamza))};
    const QString joined(2, QChar(Tatweel));
    std::int64_t best = 0;
    for (const QString& p : sides)
        for (const QString& q : sides) {
            const QString before = (form & 1) ? p + joined : p;
            const QString after = (form & 2) ? joined + q : q;
            best = std::max(best, w64(f, before + c + after, rightToLeft()) - w64(f, before + after, rightToLeft()));
        }
    return best;
}
constexpr int PrintableCount = 127 - FirstPrintable;

QChar mirrorOf(QChar c)
{
    return c.hasMirrored() ? c.mirroredChar() : c;
}

// The measurements behind a FontModel; every slot is written by one job only.
struct ModelWork {
    std::array<double, 256> widest{};
    std::array<std::array<std::int64_t, 4>, 256> forms{}; // letters of Arabic script: by joining form
    std::array<std::int64_t, PrintableCount> single{};
    std::array<std::array<std::int64_t, PrintableCount>, PrintableCount> pair{}; // [a][b]: "ab"
    std::array<std::int64_t, 256> edge{};
};

// A word's last or first byte next to a space: what the space adds beyond
// its own advance, in the byte's joining forms and in Latin and Arabic runs.
std::int64_t edgeExcess(const QFontMetricsF& f, QChar c)
{
    // A letter keeps its own script: only its joining forms matter (a
    // tatweel beside it makes it join). Anything else takes the script, and
    // maybe the font, of a Latin or an Arabic neighbour.
    const bool letter = c.script() != QChar::Script_Common && c.script() != QChar::Script_Inherited
        && (c.direction() == QChar::DirL || c.direction() == QChar::DirR || c.direction() == QChar::DirAL);
    const bool joins = c.joiningType() == QChar::Joining_Dual || c.joiningType() == QChar::Joining_Right;
    std::vector<QString> sides = {QString()};
    if (!letter) {
        sides.push_back(QString(QChar(Hamza)));
        sides.push_back(QStringLiteral("a"));
    } else if (joins) {
        sides.push_back(QString(QChar(Tatweel)));
    }
    const QString sp(QChar(u' '));
    const QString sp2(2, QChar(u' '));
    std::int64_t worst = 0;
    for (const QString& side : sides) {
        const QString end = side + c; // c ends a word
        worst = std::max(
            worst, 2 * w64(f, end + sp, rightToLeft()) - w64(f, end, rightToLeft()) - w64(f, end + sp2, rightToLeft()));
        const QString start = c + side; // c starts a word
        worst = std::max(worst,
                         2 * w64(f, sp + start, rightToLeft()) - w64(f, start, rightToLeft())
                             - w64(f, sp2 + start, rightToLeft()));
    }
    return worst;
}

// derived: only the bytes that differ from Windows-1256 are measured, the
// rest is taken from the Windows-1256 model.
void runModelJobs(const QFont& font, const TextAlphabet& alphabet, bool derived, ModelWork& work,
                  std::atomic<int>& next, int jobs)
{
    const QFontMetricsF f(font);
    const std::vector<Context> contexts = measuringContexts(f);
    for (;;) {
        const int job = next.fetch_add(1);
        if (job >= jobs)
            return;
        if (derived) {
            const int b = job < 256 ? job : job - 256 - PrintableCount;
            if (b < 0 || !alphabet.differsFromWindows1256(static_cast<unsigned char>(b)))
                continue;
        }
        if (job < 256) {
            const QChar c(alphabet.character(static_cast<unsigned char>(job)));
            double widest = widestAdvance(f, contexts, c);
            if (c == u'\t') // a tab reaches the next tab stop
                widest = std::max(widest, rightToLeft().tabStopDistance());
            work.widest[static_cast<std::size_t>(job)] = widest;
            if (isArabicLetter(c))
                for (int form = 0; form < 4; ++form)
                    work.forms[static_cast<std::size_t>(job)][static_cast<std::size_t>(form)] =
                        formAdvance64(f, QString(c), form);
            if (c.joiningType() == QChar::Joining_Transparent)
                work.forms[static_cast<std::size_t>(job)][0] = markAdvance64(f, c);
        } else if (job < 256 + PrintableCount) {
            const int a = job - 256;
            const QChar ca(static_cast<char16_t>(FirstPrintable + a));
            std::int64_t single = std::max({w64(f, QString(ca), leftToRight()), w64(f, QString(ca), rightToLeft()),
                                            w64(f, QString(mirrorOf(ca)), leftToRight())});
            // Punctuation, digits and spaces take the script of a Latin
            // neighbour, which may change their glyph.
            if (!ca.isLetter())
                for (const QString& side : {QStringLiteral("aa"), QStringLiteral("11")}) {
                    single = std::max(single, w64(f, side + ca, rightToLeft()) - w64(f, side, rightToLeft()));
                    single = std::max(single, w64(f, ca + side, rightToLeft()) - w64(f, side, rightToLeft()));
                }
            work.single[static_cast<std::size_t>(a)] = single;
            for (int b = 0; b < PrintableCount; ++b) {
                const QChar cb(static_cast<char16_t>(FirstPrintable + b));
                work.pair[static_cast<std::size_t>(a)][static_cast<std::size_t>(b)] =
                    w64(f, QString(ca) + cb, leftToRight());
            }
        } else {
            const int b = job - 256 - PrintableCount;
            const QChar c(alphabet.character(static_cast<unsigned char>(b)));
            if (c.unicode() > u' ' && c.unicode() != 0x7F)
                work.edge[static_cast<std::size_t>(b)] = edgeExcess(f, c);
        }
    }
}

// Glyphs of a text laid out left to right on one line.
int glyphCount(const QFont& font, const QString& text)
{
    QTextLayout layout(text, font);
    layout.setTextOption(leftToRight());
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (line.isValid())
        line.setLineWidth(1e6);
    layout.endLayout();
    int n = 0;
    for (const QGlyphRun& run : layout.glyphRuns())
        n += static_cast<int>(run.glyphIndexes().size());
    return n;
}

// The family of the font that draws the last glyph of a text.
QString fontFamilyOf(const QFont& font, const QString& text)
{
    QTextLayout layout(text, font);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (line.isValid())
        line.setLineWidth(1e6);
    layout.endLayout();
    const QList<QGlyphRun> runs = layout.glyphRuns();
    return runs.isEmpty() ? QString() : runs.back().rawFont().familyName();
}

QString latin1(const std::string& s)
{
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

// The ligatures the font makes of printable ASCII (fi, fl, ff, ffi, ...):
// each becomes a symbol of its own with its advance and what its neighbours
// add, so that texts holding them keep tight bounds.
void addLigatures(const QFont& font, const std::vector<std::int64_t>& advances,
                  const std::vector<std::int32_t>& pairExtra, ShapeBounds& shape)
{
    const QFontMetricsF f(font);
    // A character that makes a ligature with some neighbour: one layout of it
    // beside every other character.
    std::vector<int> joiners;
    for (int a = FirstPrintable + 1; a < 127; ++a) {
        QString probe;
        for (int b = FirstPrintable + 1; b < 127; ++b) {
            probe += QChar(static_cast<char16_t>(a));
            probe += QChar(static_cast<char16_t>(b));
        }
        if (glyphCount(font, probe) < probe.size())
            joiners.push_back(a);
    }
    std::vector<std::string> pairs;
    std::vector<char> members;
    for (const int a : joiners)
        for (int b = FirstPrintable + 1; b < 127; ++b) {
            const std::string l{static_cast<char>(a), static_cast<char>(b)};
            if (glyphCount(font, latin1(l)) == 1) {
                pairs.push_back(l);
                for (const char m : l)
                    if (std::find(members.begin(), members.end(), m) == members.end())
                        members.push_back(m);
            }
        }
    // Three characters in one glyph hold a ligature of two.
    std::vector<std::string> triples;
    for (const std::string& p : pairs)
        for (const char m : members)
            for (const std::string& t : {p + m, m + p})
                if (std::find(triples.begin(), triples.end(), t) == triples.end() && glyphCount(font, latin1(t)) == 1)
                    triples.push_back(t);
    shape.ligatures = triples; // the longer first
    shape.ligatures.insert(shape.ligatures.end(), pairs.begin(), pairs.end());

    const std::size_t n = 128 + shape.ligatures.size();
    shape.advance64.assign(n, 0);
    shape.pairExtra64.assign(n * n, 0);
    for (std::size_t a = 0; a < 128; ++a) {
        shape.advance64[a] = advances[a];
        for (std::size_t b = 0; b < 128; ++b)
            shape.pairExtra64[a * n + b] = pairExtra[a * 128 + b];
    }
    auto text = [&](std::size_t symbol) {
        return symbol < 128 ? QString(QChar(static_cast<char16_t>(symbol))) : latin1(shape.ligatures[symbol - 128]);
    };
    auto letters = [&](std::size_t symbol) {
        return symbol >= 128 || QChar(static_cast<char16_t>(symbol)).isLetterOrNumber();
    };
    for (std::size_t l = 128; l < n; ++l) {
        const QString t = text(l);
        shape.advance64[l] = std::max(w64(f, t, leftToRight()), w64(f, t, rightToLeft()));
    }
    // A ligature beside a printable character or another ligature.
    auto printable = [](std::size_t s) { return s >= 128 || (s >= FirstPrintable && s < 127); };
    for (std::size_t a = FirstPrintable; a < n; ++a)
        for (std::size_t b = FirstPrintable; b < n; ++b) {
            if ((a < 128 && b < 128) || !printable(a) || !printable(b))
                continue;
            const std::int64_t extra =
                w64(f, text(a) + text(b), leftToRight()) - shape.advance64[a] - shape.advance64[b];
            shape.pairExtra64[a * n + b] =
                static_cast<std::int32_t>(letters(a) && letters(b) ? extra : std::max<std::int64_t>(0, extra));
        }
}

// Arabic and Persian letters the font draws as one glyph, as far as a text
// can hold them: every pair, and three letters starting with lam or with
// the first of a pair (lam, lam and heh). Lam with an alef always counts as
// one, whatever the font does.
// base: the ligatures of the Windows-1256 letters, known already; only
// those holding a letter of the alphabet's own (or starting with a letter
// that starts a new pair) are looked for.
void addArabicLigatures(const QFont& font, const TextAlphabet& alphabet, const ShapeBounds* base, ShapeBounds& shape)
{
    const QFontMetricsF f(font);
    std::vector<QChar> letters;
    std::vector<QChar> newLetters;
    for (std::size_t b = 128; b < 256; ++b) {
        const auto byte = static_cast<unsigned char>(b);
        if (!shape.unmodelled[b] && isArabicLetter(QChar(alphabet.character(byte)))) {
            letters.push_back(QChar(alphabet.character(byte)));
            if (base && alphabet.differsFromWindows1256(byte))
                newLetters.push_back(QChar(alphabet.character(byte)));
        }
    }
    auto isNew = [&](QChar c) { return std::find(newLetters.begin(), newLetters.end(), c) != newLetters.end(); };
    const QString t(QChar{Tatweel});
    auto oneGlyph = [&](const QString& s) { return glyphCount(font, s) == 1 || glyphCount(font, t + s + t) == 3; };
    std::vector<QString> pairs;
    std::vector<QChar> baseStarts;
    if (base) {
        baseStarts.push_back(QChar(alphabet.character(LamByte)));
        for (const std::string& l : base->arabicLigatures)
            if (l.size() == 2
                && std::find(baseStarts.begin(), baseStarts.end(), QChar(Cp1256Table[static_cast<unsigned char>(l[0])]))
                    == baseStarts.end())
                baseStarts.push_back(QChar(Cp1256Table[static_cast<unsigned char>(l[0])]));
    } else {
        for (const unsigned char alef : AlefBytes)
            pairs.push_back(QString(QChar(alphabet.character(LamByte))) + QChar(alphabet.character(alef)));
    }
    for (const QChar a : letters)
        for (const QChar b : letters) {
            if (base && !isNew(a) && !isNew(b))
                continue;
            const QString pair = QString(a) + b;
            if (std::find(pairs.begin(), pairs.end(), pair) == pairs.end() && oneGlyph(pair))
                pairs.push_back(pair);
        }
    std::vector<QChar> starts = {QChar(alphabet.character(LamByte))};
    for (const QChar s : baseStarts)
        if (std::find(starts.begin(), starts.end(), s) == starts.end())
            starts.push_back(s);
    for (const QString& p : pairs)
        if (std::find(starts.begin(), starts.end(), p[0]) == starts.end())
            starts.push_back(p[0]);
    std::vector<QString> all;
    for (const QChar a : starts) {
        const bool newStart = base && std::find(baseStarts.begin(), baseStarts.end(), a) == baseStarts.end();
        for (const QChar b : letters)
            for (const QChar c : letters) {
                if (base && !newStart && !isNew(a) && !isNew(b) && !isNew(c))
                    continue;
                const QString triple = QString(a) + b + c;
                if (glyphCount(font, triple) == 1)
                    all.push_back(triple);
            }
    }
    shape.arabicLigatures.clear();
    shape.arabicLigature64.clear();
    auto add = [&](const QString& l) {
        shape.arabicLigatures.push_back(alphabet.fromUtf16(l.toStdU16String()));
        for (int form = 0; form < 4; ++form)
            shape.arabicLigature64.push_back(formAdvance64(f, l, form));
    };
    // The longer ones first.
    auto addBase = [&](std::size_t length) {
        if (!base)
            return;
        for (std::size_t k = 0; k < base->arabicLigatures.size(); ++k) {
            if (base->arabicLigatures[k].size() != length)
                continue;
            shape.arabicLigatures.push_back(base->arabicLigatures[k]);
            for (std::size_t form = 0; form < 4; ++form)
                shape.arabicLigature64.push_back(base->arabicLigature64[4 * k + form]);
        }
    };
    addBase(3);
    for (const QString& l : all)
        add(l);
    addBase(2);
    for (const QString& l : pairs)
        add(l);
}

// Digits and separators of Arabic script (U+0660..U+066C, U+06F0..U+06F9).
bool isArabicNumeric(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= 0x0660 && u <= 0x066C) || (u >= 0x06F0 && u <= 0x06F9);
}

// Digits of Arabic script share a run only with digits and the punctuation
// between them: a digit's advance among those, space and Arabic letters
// (whatever such a neighbour does to its own glyph its own bound covers),
// plus the most a neighbour's kerning adds on either side.
void addNumericKerning(const QFont& font, const TextAlphabet& alphabet, ShapeBounds& shape)
{
    const QFontMetricsF f(font);
    std::vector<std::size_t> numeric;
    QString neighbours = QStringLiteral("0123456789 .,/-:%()+");
    for (std::size_t b = 128; b < 256; ++b) {
        const QChar c(alphabet.character(static_cast<unsigned char>(b)));
        if (shape.unmodelled[b])
            continue;
        if (isArabicNumeric(c))
            numeric.push_back(b);
        if (isArabicNumeric(c) || (!c.isLetter() && c.joiningType() != QChar::Joining_Transparent))
            neighbours.append(c);
    }
    if (numeric.empty())
        return;
    const QString sides[] = {QString(),
                             QStringLiteral("  "),
                             QString(2, QChar(Hamza)),
                             QString(2, QChar(Tatweel)),
                             QStringLiteral("\u06F0\u06F0"),
                             QStringLiteral("\u0660\u0660")};
    auto own = [&](const QString& c) {
        std::int64_t best = w64(f, c, rightToLeft());
        for (const QString& p : sides)
            for (const QString& q : sides)
                best = std::max(best, w64(f, p + c + q, rightToLeft()) - w64(f, p + q, rightToLeft()));
        return best;
    };
    std::vector<std::int64_t> neighbourOwn;
    for (const QChar n : neighbours)
        neighbourOwn.push_back(own(QString(n)));
    for (const std::size_t b : numeric) {
        const QString c(QChar(alphabet.character(static_cast<unsigned char>(b))));
        const std::int64_t advance = own(c);
        std::int64_t extra = 0;
        for (qsizetype k = 0; k < neighbours.size(); ++k) {
            const QString other(neighbours[k]);
            const std::int64_t both = advance + neighbourOwn[static_cast<std::size_t>(k)];
            extra = std::max({extra, w64(f, c + other, rightToLeft()) - both, w64(f, other + c, rightToLeft()) - both});
        }
        for (std::size_t form = 0; form < 4; ++form)
            shape.form64[b * 4 + form] = advance + extra;
    }
}

// The shape bounds over the font's own measure, for checking them.
class ModelMetrics : public TextMetrics {
public:
    ModelMetrics(const QFont& font, const TextAlphabet& alphabet, const FontModel& model)
        : metrics_(font), alphabet_(alphabet), model_(model)
    {
    }
    int textWidth(std::string_view text) const override
    {
        if (&alphabet_ == &TextAlphabet::windows1256())
            return DisplayTextWidth(metrics_, ToQString(text));
        QString q;
        q.reserve(static_cast<qsizetype>(text.size()));
        for (const char ch : text)
            q.append(QChar(alphabet_.character(static_cast<unsigned char>(ch))));
        return DisplayTextWidth(metrics_, q);
    }
    int utf8TextWidth(std::string_view text) const override
    {
        return DisplayTextWidth(metrics_, ToQString(text, TextEncoding::Utf8));
    }
    int textHeight(std::string_view) const override { return metrics_.height(); }
    int byteAdvanceBound(unsigned char b) const override { return model_.bounds[b]; }
    int maxByteAdvanceBound() const override { return *std::max_element(model_.bounds.begin(), model_.bounds.end()); }
    bool shapeBounds(ShapeBounds& out) const override
    {
        out = model_.shape;
        return true;
    }
    bool alphabetBounds(const TextAlphabet& alphabet, std::vector<std::int64_t>& general64,
                        ShapeBounds& shape) const override
    {
        if (&alphabet != &alphabet_)
            return false;
        general64.assign(256, 0);
        for (std::size_t b = 0; b < 256; ++b)
            general64[b] = std::int64_t{model_.bounds[b]} * 64;
        shape = model_.shape;
        return true;
    }

private:
    QFontMetrics metrics_;
    const TextAlphabet& alphabet_;
    const FontModel& model_;
};

// A font may do what the bounds do not foresee (contextual forms, ligatures
// of four letters, kerning that only some neighbours trigger). Texts of
// every kind are measured once: where a bound falls short, texts of that
// kind take the byte bounds instead, which hold for any font.
void checkShapeBounds(const QFont& font, const TextAlphabet& alphabet, FontModel& model)
{
    std::uint64_t seed = 0x5EEDull;
    auto next = [&seed](std::uint64_t n) {
        std::uint64_t z = (seed += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return (z ^ (z >> 31)) % n;
    };
    const std::string latin = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789fffiilt .,-_@/:()'\"";
    std::string other = latin.substr(52); // digits, punctuation, space
    for (int b = 128; b < 256; ++b)
        if (!model.shape.unmodelled[static_cast<std::size_t>(b)])
            for (int k = 0; k < 3; ++k)
                other.push_back(static_cast<char>(b));
    auto texts = [&](const std::string& alphabet) {
        std::vector<std::string> out;
        for (int i = 0; i < 200; ++i) {
            std::string t;
            const auto n = 1 + next(24);
            for (std::uint64_t k = 0; k < n; ++k)
                t.push_back(alphabet[next(alphabet.size())]);
            out.push_back(t);
        }
        return out;
    };
    const std::vector<std::string> asciiTexts = texts(latin);
    const std::vector<std::string> otherTexts = texts(other + latin.substr(0, 20));
    auto holds = [&](const std::vector<std::string>& list) {
        const ModelMetrics metrics(font, alphabet, model);
        const TextBounds bounds(metrics, alphabet);
        return std::all_of(list.begin(), list.end(), [&](const std::string& t) {
            return static_cast<int>(bounds.bound(t)) >= metrics.textWidth(t);
        });
    };
    if (!holds(otherTexts) && &alphabet != &TextAlphabet::windows1256()) {
        // The characters Windows-1256 lacks may be what the font surprises with.
        for (int b = 128; b < 256; ++b)
            if (alphabet.differsFromWindows1256(static_cast<unsigned char>(b)))
                model.shape.unmodelled[static_cast<std::size_t>(b)] = 1;
    }
    if (!holds(otherTexts))
        std::fill(model.shape.unmodelled.begin() + 128, model.shape.unmodelled.end(), 1);
    if (!holds(asciiTexts)) {
        for (int b = 0; b < 128; ++b) {
            model.shape.advance64[static_cast<std::size_t>(b)] = -1;
            model.shape.unmodelled[static_cast<std::size_t>(b)] = 1;
        }
    }
}

// Bytes of Latin or Arabic letters: a word that starts or ends with one
// does not take its script or direction from its neighbours.
const std::array<bool, 256>& strongLetters()
{
    static const std::array<bool, 256> table = [] {
        std::array<bool, 256> t{};
        for (int b = 0; b < 256; ++b) {
            const QChar c(Cp1256Table[b]);
            const QChar::Script script = c.script();
            const QChar::Direction dir = c.direction();
            t[static_cast<std::size_t>(b)] = script != QChar::Script_Common && script != QChar::Script_Inherited
                && script != QChar::Script_Unknown && (dir == QChar::DirL || dir == QChar::DirR || dir == QChar::DirAL);
        }
        return t;
    }();
    return table;
}

struct WordHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
};
struct WordEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return a == b; }
};

// A text's bound from its words: the sum of their widths, each measured
// once in the runs it may stand in, and of its spaces.
class WordBounds {
public:
    explicit WordBounds(const FontModel& model) : model_(model) { }

    // Pixels; INT_MAX where the words tell nothing.
    int bound(std::string_view text, const QFontMetricsF& f)
    {
        std::int64_t sum = 0;
        std::size_t i = 0;
        const std::size_t n = text.size();
        std::int64_t spaces = 0;
        int words = 0;
        while (i < n) {
            const auto ch = static_cast<unsigned char>(text[i]);
            if (ch < 32 || ch == 127)
                return INT_MAX; // tabs and line breaks: no word model
            if (ch == ' ') {
                ++spaces;
                ++i;
                continue;
            }
            std::size_t j = i + 1;
            while (j < n && text[j] != ' ') {
                const auto cj = static_cast<unsigned char>(text[j]);
                if (cj < 32 || cj == 127)
                    return INT_MAX;
                ++j;
            }
            if (++words > 1 && model_.words == FontModel::Words::Unbounded)
                return INT_MAX;
            sum += wordWidth64(text.substr(i, j - i), f);
            i = j;
        }
        // Words measured between spaces hold what a space beside them adds.
        const std::int64_t edges = model_.words == FontModel::Words::Alone ? 2 * model_.edge64 : 0;
        sum += spaces * (model_.space64 + edges);
        const std::int64_t px = (sum + 32) >> 6;
        return static_cast<int>(std::min<std::int64_t>(px, INT_MAX));
    }

private:
    // The neighbours a word is measured beside, and their own widths.
    enum Side { Latin, Arabic, LatinAfter, ArabicAfter, Space, Spaces, Sides };
    static const QString& side(int k)
    {
        static const QString sides[Sides] = {
            QStringLiteral("a "), QString(QChar(Hamza)) + QChar(u' '),
            QStringLiteral(" a"), QString(QChar(u' ')) + QChar(Hamza),
            QStringLiteral(" "),  QStringLiteral("  "),
        };
        return sides[k];
    }

    std::int64_t wordWidth64(std::string_view word, const QFontMetricsF& f)
    {
        const auto it = words_.find(word);
        if (it != words_.end())
            return it->second;
        auto measure64 = [&f](const QString& t) { return w64(f, t, rightToLeft()); };
        if (!sidesMeasured_) {
            for (int k = 0; k < Sides; ++k)
                sideWidth64_[k] = measure64(side(k));
            sidesMeasured_ = true;
        }
        auto beside = [&](const QString& text, int k) { return measure64(text) - sideWidth64_[k]; };
        QString w = ToQString(word);
        ShowOnOneLine(w);
        std::int64_t v = measure64(w);
        const auto& strong = strongLetters();
        if (!strong[static_cast<unsigned char>(word.front())]) {
            // Its first characters join the run before it.
            v = std::max(v, beside(side(Latin) + w, Latin));
            v = std::max(v, beside(side(Arabic) + w, Arabic));
        }
        if (!strong[static_cast<unsigned char>(word.back())]) {
            v = std::max(v, beside(w + side(LatinAfter), LatinAfter));
            v = std::max(v, beside(w + side(ArabicAfter), ArabicAfter));
        }
        if (model_.words != FontModel::Words::Alone) {
            // What the spaces beside it do to the word's own glyphs.
            const QString& sp = side(Space);
            v = std::max(v, beside(sp + w + sp, Spaces));
        }
        words_.emplace(std::string(word), v);
        return v;
    }

    const FontModel& model_;
    bool sidesMeasured_ = false;
    std::int64_t sideWidth64_[Sides] = {};
    std::unordered_map<std::string, std::int64_t, WordHash, WordEqual> words_;
};

// Some fonts shape a word by what is around it beyond the reach of the
// model: a final letter before a space, the next word's letters. Texts of
// Persian words (with marks, joiners, lam-alef), Latin words and numbers
// are measured once: the words take the first model that bounds them all.
void checkWordBounds(const QFont& font, FontModel& model)
{
    std::uint64_t seed = 0x3057ull;
    auto next = [&seed](std::uint64_t n) {
        std::uint64_t z = (seed += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return (z ^ (z >> 31)) % n;
    };
    const std::string letters = Utf8ToCp1256("ابپتثجچحخدذرزژسشصضطظعغفقکگلمنوهیئؤآأإةكيء");
    const std::string extras = Utf8ToCp1256("ًٌٍَُِّْ\u200C\u200Dـ«»،؛؟.()");
    const std::string latin = "abcdefgijklmnopqrstuvwxyzAJTVWfi0123456789.,-/";
    std::vector<std::string> texts;
    for (int i = 0; i < 300; ++i) {
        std::string t = next(12) == 0 ? " " : "";
        for (std::uint64_t w = 0, words = 2 + next(3); w < words; ++w) {
            if (w)
                t += next(6) == 0 ? "  " : " ";
            const bool persian = next(4) != 0;
            for (std::uint64_t k = 0, n = 1 + next(7); k < n; ++k) {
                if (!persian)
                    t.push_back(latin[next(latin.size())]);
                else if (k > 0 && next(6) == 0)
                    t.push_back(extras[next(extras.size())]);
                else if (next(12) == 0)
                    t += Utf8ToCp1256("لا");
                else
                    t.push_back(letters[next(letters.size())]);
            }
        }
        if (next(12) == 0)
            t.push_back(' ');
        texts.push_back(t);
    }
    // Every letter in its forms at either end of a word.
    const std::string sides = Utf8ToCp1256("آب");
    for (const char l : letters)
        for (const char p : sides) {
            texts.push_back(std::string{p, l, ' '} + letters[next(letters.size())]);
            texts.push_back(std::string{letters[next(letters.size())], ' ', l, p});
        }
    const QFontMetrics metrics(font);
    const QFontMetricsF f(font);
    std::vector<int> widths;
    for (const std::string& t : texts)
        widths.push_back(DisplayTextWidth(metrics, ToQString(t)));
    for (const FontModel::Words words : {FontModel::Words::Alone, FontModel::Words::BetweenSpaces}) {
        model.words = words;
        WordBounds bounds(model);
        bool holds = true;
        for (std::size_t k = 0; k < texts.size() && holds; ++k)
            holds = bounds.bound(texts[k], f) >= widths[k];
        if (holds)
            return;
    }
    model.words = FontModel::Words::Unbounded;
}

// base: the font's Windows-1256 model, which an alphabet shares most of.
std::atomic<int>& modelsComputed()
{
    static std::atomic<int> count{0};
    return count;
}

std::shared_ptr<const FontModel> computeModel(const QFont& font, const TextAlphabet& alphabet,
                                              const FontModel* base = nullptr)
{
    modelsComputed().fetch_add(1);
    const bool derived = base != nullptr;
    auto work = std::make_unique<ModelWork>();
    constexpr int Jobs = 256 + PrintableCount + 256;
    std::atomic<int> next{0};
    std::thread helper;
    if (std::thread::hardware_concurrency() >= 2) {
        try {
            helper = std::thread([copy = ownCopy(font), &alphabet, derived, &work, &next]() mutable {
                try {
                    runModelJobs(copy, alphabet, derived, *work, next, Jobs);
                } catch (...) {
                }
            });
        } catch (const std::system_error&) {
        }
    }
    {
        struct Join {
            std::thread& t;
            ~Join()
            {
                if (t.joinable())
                    t.join();
            }
        } join{helper};
        runModelJobs(ownCopy(font), alphabet, derived, *work, next, Jobs);
    }

    auto model = std::make_shared<FontModel>();
    const QFontMetricsF f(font);
    std::array<double, 256>& widest = work->widest;
    // Lam and a following alef become one ligature glyph; the two bounds
    // together must cover it, alone and after a joining letter.
    const QString space2(2, QChar(u' '));
    const QString tatweel2(2, QChar(Tatweel));
    for (unsigned char alef : AlefBytes) {
        const QString pair = QString(QChar(alphabet.character(LamByte))) + QChar(alphabet.character(alef));
        const double ligature = std::max(advance(f, space2 + pair + space2) - advance(f, space2 + space2),
                                         advance(f, tatweel2 + pair + space2) - advance(f, tatweel2 + space2));
        const double shortfall = ligature - widest[LamByte] - widest[alef];
        if (shortfall > 0)
            widest[LamByte] += shortfall;
    }
    // A line break shows as a mark, a TAB as a space (ShowOnOneLine).
    {
        const std::vector<Context> contexts = measuringContexts(f);
        const double mark = widestAdvance(f, contexts, QChar(LineBreakMark));
        widest['\n'] = std::max(widest['\n'], mark);
        widest['\r'] = std::max(widest['\r'], mark);
        widest['\t'] = std::max(widest['\t'], widestAdvance(f, contexts, QChar(u' ')));
    }
    for (std::size_t b = 0; b < 256; ++b) {
        // One pixel more than the widest advance absorbs kerning and the
        // rounding of the sum.
        model->bounds[b] = static_cast<int>(std::ceil(std::max(0.0, widest[b]))) + 1;
        model->ascii64[b] = std::int64_t{model->bounds[b]} * 64;
    }

    // Printable ASCII: exact advances, plus whatever a neighbour can add
    // (kerning, in either order, mirrored or not), charged to both bytes.
    auto index = [](QChar c) { return static_cast<std::size_t>(c.unicode() - FirstPrintable); };
    std::vector<std::int64_t> advances(128, 0);
    std::vector<std::int32_t> pairExtra(128 * 128, 0);
    for (int b = 0; b < 128; ++b)
        advances[static_cast<std::size_t>(b)] = model->ascii64[static_cast<std::size_t>(b)];
    for (int a = 0; a < PrintableCount; ++a) {
        const QChar ca(static_cast<char16_t>(FirstPrintable + a));
        const std::int64_t adv = work->single[static_cast<std::size_t>(a)];
        advances[static_cast<std::size_t>(FirstPrintable + a)] = adv;
        std::int64_t extra = 0;
        for (int b = 0; b < PrintableCount; ++b) {
            const QChar cb(static_cast<char16_t>(FirstPrintable + b));
            const std::int64_t both =
                work->single[static_cast<std::size_t>(a)] + work->single[static_cast<std::size_t>(b)];
            std::int64_t widestPair = work->pair[index(ca)][index(cb)];
            // Only between two characters that are neither letters nor
            // digits can a run go right to left: reversed and mirrored.
            if (!ca.isLetterOrNumber() && !cb.isLetterOrNumber()) {
                const QChar ma = mirrorOf(ca);
                const QChar mb = mirrorOf(cb);
                widestPair = std::max(widestPair, work->pair[index(cb)][index(ca)]);
                if (ma.unicode() < 127 && mb.unicode() < 127)
                    widestPair =
                        std::max({widestPair, work->pair[index(ma)][index(mb)], work->pair[index(mb)][index(ma)]});
            }
            extra = std::max(extra, widestPair - both);
            // Two letters or digits side by side always share a run, so
            // their kerning, closer or wider, always applies; other pairs may
            // fall into two runs and lose theirs.
            const bool shareRun = ca.isLetterOrNumber() && cb.isLetterOrNumber();
            pairExtra[static_cast<std::size_t>((FirstPrintable + a) * 128 + FirstPrintable + b)] =
                static_cast<std::int32_t>(shareRun ? widestPair - both : std::max<std::int64_t>(0, widestPair - both));
        }
        model->ascii64[static_cast<std::size_t>(FirstPrintable + a)] = adv + extra;
    }
    if (derived) {
        model->shape.ligatures = base->shape.ligatures;
        model->shape.advance64 = base->shape.advance64;
        model->shape.pairExtra64 = base->shape.pairExtra64;
    } else {
        addLigatures(font, advances, pairExtra, model->shape);
    }

    // Other texts: Arabic letters by their joining forms, anything else at
    // its widest in any context, with the most a neighbour adds.
    ShapeBounds& shape = model->shape;
    shape.joining.assign(256, ShapeBounds::NonJoining);
    shape.form64.assign(256 * 4, 0);
    for (std::size_t b = 0; b < 256; ++b) {
        const QChar c(alphabet.character(static_cast<unsigned char>(b)));
        switch (c.joiningType()) {
        case QChar::Joining_Dual: shape.joining[b] = ShapeBounds::JoinsDual; break;
        case QChar::Joining_Right: shape.joining[b] = ShapeBounds::JoinsRight; break;
        case QChar::Joining_Causing: shape.joining[b] = ShapeBounds::JoinCausing; break;
        case QChar::Joining_Transparent: shape.joining[b] = ShapeBounds::Transparent; break;
        default: break;
        }
        // A direction mark may start a run of its own, and the letters on
        // its sides may be shaped apart or joined.
        if (c.category() == QChar::Other_Format && c.direction() != QChar::DirBN && c.direction() != QChar::DirNSM)
            shape.joining[b] = ShapeBounds::DirectionMark;
        const std::int64_t any = std::max(static_cast<std::int64_t>(std::ceil(std::max(0.0, widest[b]) * 64)),
                                          b < 128 ? model->ascii64[b] : std::int64_t{model->bounds[b]} * 64);
        for (std::size_t form = 0; form < 4; ++form)
            shape.form64[b * 4 + form] = isArabicLetter(c) ? work->forms[b][form] : any;
        // A mark: after a base, and alone at the start (on a dotted circle).
        if (shape.joining[b] == ShapeBounds::Transparent)
            shape.form64[b * 4] = work->forms[b][0];
    }
    // Letters of other scripts, and Arabic letters drawn from another font
    // than alef, meet neighbours the forms above do not foresee.
    shape.unmodelled.assign(256, 0);
    const QString alefFont = fontFamilyOf(font, QString(QChar(alphabet.character(AlefBytes[0]))));
    for (std::size_t b = 128; b < 256; ++b) {
        if (derived && !alphabet.differsFromWindows1256(static_cast<unsigned char>(b)))
            continue; // taken from the base below
        const QChar c(alphabet.character(static_cast<unsigned char>(b)));
        const bool neutral = !c.isLetterOrNumber() && c.script() == QChar::Script_Common && c.unicode() < 0x2000
            && (c.unicode() >= 0x0600 || c == QChar(u'\u00AB') || c == QChar(u'\u00BB'));
        const bool format = c.unicode() >= 0x200C && c.unicode() <= 0x200F;
        // The letters of Arabic and Persian; the Urdu letters of the code
        // page take contextual forms of their own in some fonts.
        const char16_t u = c.unicode();
        const bool persian = (u >= 0x0621 && u <= 0x064A) || u == 0x067E || u == 0x0686 || u == 0x0698 || u == 0x06A9
            || u == 0x06AF || u == 0x06CC || u == 0x06C0;
        if (isArabicLetter(c))
            shape.unmodelled[b] = persian && fontFamilyOf(font, QString(QChar(u'\u0628')) + c) == alefFont ? 0 : 1;
        else if (isArabicNumeric(c))
            shape.unmodelled[b] = fontFamilyOf(font, QString(QChar(u'\u0628')) + c) == alefFont ? 0 : 1;
        else if (c.joiningType() == QChar::Joining_Transparent)
            shape.unmodelled[b] = fontFamilyOf(font, QString(QChar(u'\u0628')) + c) == alefFont ? 0 : 1;
        else
            shape.unmodelled[b] = neutral || format || c == QChar(Tatweel) ? 0 : 1;
    }
    if (derived) {
        for (std::size_t b = 0; b < 256; ++b) {
            if (alphabet.differsFromWindows1256(static_cast<unsigned char>(b)))
                continue;
            model->bounds[b] = base->bounds[b];
            model->ascii64[b] = base->ascii64[b];
            shape.joining[b] = base->shape.joining[b];
            shape.unmodelled[b] = base->shape.unmodelled[b];
            for (std::size_t form = 0; form < 4; ++form)
                shape.form64[b * 4 + form] = base->shape.form64[b * 4 + form];
        }
    }
    addNumericKerning(font, alphabet, shape);
    shape.runStart.assign(256, 0);
    for (std::size_t b = 0; b < 256; ++b) {
        const QChar c(alphabet.character(static_cast<unsigned char>(b)));
        shape.runStart[b] = b < 0x20 || (c.category() == QChar::Other_Format && c.direction() != QChar::DirNSM) ? 1 : 0;
    }
    addArabicLigatures(font, alphabet, derived ? &base->shape : nullptr, shape);

    // A space in a Latin, an Arabic or a neutral run.
    const QString sp(QChar(u' '));
    for (const QString& lead : {QString(), QStringLiteral("a"), QString(QChar(Hamza)), QStringLiteral("1")}) {
        model->space64 =
            std::max(model->space64, w64(f, lead + sp + sp, rightToLeft()) - w64(f, lead + sp, rightToLeft()));
        model->space64 = std::max(model->space64, w64(f, lead + sp, rightToLeft()) - w64(f, lead, rightToLeft()));
    }
    model->edge64 = std::max<std::int64_t>(0, *std::max_element(work->edge.begin(), work->edge.end()));
    if (derived)
        model->edge64 = std::max(model->edge64, base->edge64);
    checkShapeBounds(font, alphabet, *model);
    if (!derived) // the measurers' words are Windows-1256
        checkWordBounds(font, *model);
    return model;
}

// The model kept from an earlier run when it still holds, else measured
// now and kept for the next.
std::shared_ptr<const FontModel> keptOrComputedModel(const QFont& font, const TextAlphabet& alphabet,
                                                     const QString& key, const FontModel* base = nullptr)
{
    if (std::shared_ptr<const FontModel> kept = LoadFontModel(font, key))
        return kept;
    std::shared_ptr<const FontModel> model = computeModel(font, alphabet, base);
    StoreFontModel(font, key, *model);
    return model;
}

using ModelFuture = std::shared_future<std::shared_ptr<const FontModel>>;

std::mutex& modelMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::vector<std::pair<QString, ModelFuture>>& modelCache()
{
    static std::vector<std::pair<QString, ModelFuture>> cache;
    return cache;
}

// Measuring that runs on its own must end while the application's fonts
// still exist.
void waitForModels()
{
    std::vector<ModelFuture> pending;
    {
        const std::lock_guard<std::mutex> lock(modelMutex());
        for (const auto& entry : modelCache())
            pending.push_back(entry.second);
    }
    for (const auto& f : pending)
        f.wait();
}

QString alphabetKey(const QString& key, const TextAlphabet& alphabet)
{
    if (&alphabet == &TextAlphabet::windows1256())
        return key;
    return key + QLatin1Char('|') + QLatin1String(alphabet.name());
}

// A font is measured once per program run and resolution; a measuring
// already under way elsewhere is waited for.
std::shared_ptr<const FontModel> cachedModel(const QFont& font, const QString& fontKey,
                                             const TextAlphabet& alphabet = TextAlphabet::windows1256())
{
    const QString key = alphabetKey(fontKey, alphabet);
    std::promise<std::shared_ptr<const FontModel>> promise;
    ModelFuture future;
    {
        const std::lock_guard<std::mutex> lock(modelMutex());
        for (const auto& entry : modelCache())
            if (entry.first == key)
                future = entry.second;
        if (!future.valid())
            modelCache().emplace_back(key, promise.get_future().share());
    }
    if (future.valid())
        return future.get();
    try {
        std::shared_ptr<const FontModel> base;
        if (&alphabet != &TextAlphabet::windows1256())
            base = cachedModel(font, fontKey);
        std::shared_ptr<const FontModel> model = keptOrComputedModel(font, alphabet, key, base.get());
        promise.set_value(model);
        return model;
    } catch (...) {
        const std::lock_guard<std::mutex> lock(modelMutex());
        auto& cache = modelCache();
        cache.erase(std::remove_if(cache.begin(), cache.end(), [&](const auto& e) { return e.first == key; }),
                    cache.end());
        promise.set_exception(std::current_exception());
        throw;
    }
}

// Measures on the thread that uses it, with a font of its own.
class QtMeasurer : public TextMeasurer {
public:
    QtMeasurer(const QFont& font, std::shared_ptr<const FontModel> model)
        : font_(ownCopy(font)), model_(std::move(model)), words_(*model_)
    {
    }

    int width(std::string_view text) override
    {
        ensureMetrics();
        ToQString(text, buffer_);
        return DisplayTextWidth(*metrics_, buffer_);
    }

    int utf8Width(std::string_view text) override
    {
        ensureMetrics();
        ToQString(text, buffer_, TextEncoding::Utf8);
        return DisplayTextWidth(*metrics_, buffer_);
    }

    int bound(std::string_view text) override
    {
        ensureMetrics();
        return words_.bound(text, *metricsF_);
    }

private:
    void ensureMetrics()
    {
        if (!metrics_) {
            metrics_.emplace(font_);
            metricsF_.emplace(font_);
        }
    }

    QFont font_;
    std::shared_ptr<const FontModel> model_;
    std::optional<QFontMetrics> metrics_;
    std::optional<QFontMetricsF> metricsF_;
    QString buffer_;
    WordBounds words_;
};

} // namespace

void PrepareTextMetrics(const QFont& font)
{
    const QString key = FontModelKey(font);
    {
        const std::lock_guard<std::mutex> lock(modelMutex());
        for (const auto& entry : modelCache())
            if (entry.first == key)
                return;
        if (!QCoreApplication::instance())
            return; // nothing would wait for it at the end
        // The application's end waits for it (a second wait costs nothing).
        qAddPostRoutine(waitForModels);
        try {
            modelCache().emplace_back(key, std::async(std::launch::async, [copy = ownCopy(font), key] {
                                               return keptOrComputedModel(copy, TextAlphabet::windows1256(), key);
                                           }).share());
        } catch (const std::system_error&) {
            // No thread to be had: the bounds are measured when needed.
        }
    }
}

int FontBoundsMeasured()
{
    return modelsComputed().load();
}

QFont MeasuringFont(const QFont& font)
{
    QFont plain = font;
    plain.setBold(false);
    plain.setItalic(false);
    plain.setUnderline(false);
    plain.setStrikeOut(false);
    return plain;
}

int DisplayTextWidth(const QFontMetrics& metrics, const QString& text)
{
    // Measured as the grid shows it.
    QString shown = text;
    if (ShowOnOneLine(shown))
        return metrics.horizontalAdvance(shown, rightToLeft());
    return metrics.horizontalAdvance(text, rightToLeft());
}

QtTextMetrics::QtTextMetrics(const QFont& font, const QPaintDevice* device)
    : font_(device ? QFont(font, device) : font), metrics_(font, device), modelKey_(FontModelKey(font, device))
{
}

// The bounds cost far more than measuring the cells of a small table, which
// needs none of them: they are taken on first use.
const FontModel& QtTextMetrics::model() const
{
    std::call_once(modelOnce_, [this] {
        model_ = cachedModel(font_, modelKey_);
        maxBound_ = *std::max_element(model_->bounds.begin(), model_->bounds.end());
    });
    return *model_;
}

QtTextMetrics::~QtTextMetrics() = default;

int QtTextMetrics::textWidth(std::string_view text) const
{
    return DisplayTextWidth(metrics_, ToQString(text));
}

int QtTextMetrics::utf8TextWidth(std::string_view text) const
{
    return DisplayTextWidth(metrics_, ToQString(text, TextEncoding::Utf8));
}

int QtTextMetrics::textHeight(std::string_view) const
{
    return metrics_.height();
}

int QtTextMetrics::byteAdvanceBound(unsigned char b) const
{
    return model().bounds[b];
}

int QtTextMetrics::maxByteAdvanceBound() const
{
    model();
    return maxBound_;
}

bool QtTextMetrics::shapeBounds(ShapeBounds& out) const
{
    out = model().shape;
    return true;
}

bool QtTextMetrics::alphabetBounds(const TextAlphabet& alphabet, std::vector<std::int64_t>& general64,
                                   ShapeBounds& shape) const
{
    const std::shared_ptr<const FontModel> model = cachedModel(font_, modelKey_, alphabet);
    general64.assign(256, 0);
    for (std::size_t b = 0; b < 256; ++b)
        general64[b] = std::int64_t{model->bounds[b]} * 64;
    shape = model->shape;
    return true;
}

std::unique_ptr<TextMeasurer> QtTextMetrics::measurer() const
{
    model();
    return std::make_unique<QtMeasurer>(font_, model_);
}

} // namespace rasmik
