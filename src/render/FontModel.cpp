#include "render/FontModel.h"

#include "text/StagedFile.h"
#include "text/TextFiles.h"

#include <QFontMetricsF>
#include <QPaintDevice>
#include <QtGlobal>

#include <cstdio>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include <fontconfig/fontconfig.h>
#include <sys/stat.h>

namespace rasmik {

namespace {

constexpr std::string_view Magic = "Rasmik font bounds 1\n";
// Longer lists than any font gives mean a damaged file.
constexpr std::uint64_t MaxItems = 1u << 22;

std::uint64_t Fnv(std::string_view bytes, std::uint64_t h = 1469598103934665603ull)
{
    for (const char c : bytes)
        h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return h;
}

void AddFileTimes(std::string& out, const char* path)
{
    struct stat st { };
    out += path;
    if (::stat(path, &st) == 0)
        out += ' ' + std::to_string(st.st_mtim.tv_sec) + '.' + std::to_string(st.st_mtim.tv_nsec) + ' '
            + std::to_string(st.st_size);
    out += '\n';
}

// Every font file fontconfig offers and every file of its configuration,
// with their times and sizes: a font installed, removed or replaced, or a
// changed configuration, is a different fingerprint.
const std::string& FontsFingerprint()
{
    static const std::string fingerprint = [] {
        std::string all;
        FcConfig* config = FcConfigGetCurrent();
        if (!config)
            return std::string("no fontconfig");
        for (const FcSetName which : {FcSetSystem, FcSetApplication}) {
            const FcFontSet* set = FcConfigGetFonts(config, which);
            for (int i = 0; set && i < set->nfont; ++i) {
                FcChar8* file = nullptr;
                int index = 0;
                if (FcPatternGetString(set->fonts[i], FC_FILE, 0, &file) != FcResultMatch || !file)
                    continue;
                FcPatternGetInteger(set->fonts[i], FC_INDEX, 0, &index);
                all += std::to_string(index) + ' ';
                AddFileTimes(all, reinterpret_cast<const char*>(file));
            }
        }
        if (FcStrList* files = FcConfigGetConfigFiles(config)) {
            while (FcChar8* file = FcStrListNext(files))
                AddFileTimes(all, reinterpret_cast<const char*>(file));
            FcStrListDone(files);
        }
        char hex[17];
        std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(Fnv(all)));
        return std::string(hex) + ' ' + std::to_string(all.size());
    }();
    return fingerprint;
}

// What the font draws a few texts as today: Latin, digits, Persian joined
// and alone. Whatever the fingerprint missed (hinting, the screen's
// resolution) shows here.
std::string SpotCheck(const QFont& font)
{
    const QFontMetricsF f(font);
    std::string out = std::to_string(f.height());
    for (const char16_t* text : {u"W", u"m0f", u"\u0633\u0644\u0627\u0645", u"\u0644\u0627", u"\u06A9 \u06CC"})
        out += ' ' + std::to_string(f.horizontalAdvance(QString::fromUtf16(text)));
    return out;
}

std::string FullKey(const QFont& font, const QString& key)
{
    return key.toStdString() + "|Qt " + qVersion() + "|" + FontsFingerprint() + "|" + SpotCheck(font);
}

class Writer {
public:
    std::string bytes;
    template <typename T>
    void pod(const T& v)
    {
        static_assert(std::is_trivially_copyable_v<T>);
        bytes.append(reinterpret_cast<const char*>(&v), sizeof v);
    }
    void text(std::string_view s)
    {
        pod(static_cast<std::uint64_t>(s.size()));
        bytes.append(s);
    }
    template <typename T>
    void list(const std::vector<T>& v)
    {
        pod(static_cast<std::uint64_t>(v.size()));
        for (const T& x : v)
            pod(x);
    }
    void texts(const std::vector<std::string>& v)
    {
        pod(static_cast<std::uint64_t>(v.size()));
        for (const std::string& s : v)
            text(s);
    }
};

class Reader {
public:
    explicit Reader(std::string_view bytes) : rest_(bytes) { }
    bool ok = true;
    template <typename T>
    void pod(T& v)
    {
        if (rest_.size() < sizeof v) {
            ok = false;
            return;
        }
        std::memcpy(&v, rest_.data(), sizeof v);
        rest_.remove_prefix(sizeof v);
    }
    std::uint64_t count()
    {
        std::uint64_t n = 0;
        pod(n);
        if (n > MaxItems || n > rest_.size())
            ok = false;
        return ok ? n : 0;
    }
    void text(std::string& s)
    {
        const std::uint64_t n = count();
        s.assign(rest_.substr(0, n));
        rest_.remove_prefix(n);
    }
    template <typename T>
    void list(std::vector<T>& v)
    {
        v.resize(count());
        for (T& x : v)
            pod(x);
    }
    void texts(std::vector<std::string>& v)
    {
        v.resize(count());
        for (std::string& s : v)
            text(s);
    }
    bool atEnd() const { return rest_.empty(); }

private:
    std::string_view rest_;
};

template <typename Stream, typename Model>
void Fields(Stream& s, Model& m)
{
    for (auto& b : m.bounds)
        s.pod(b);
    for (auto& a : m.ascii64)
        s.pod(a);
    s.pod(m.space64);
    s.pod(m.edge64);
    s.pod(m.words);
    s.texts(m.shape.ligatures);
    s.list(m.shape.advance64);
    s.list(m.shape.pairExtra64);
    s.list(m.shape.joining);
    s.list(m.shape.unmodelled);
    s.list(m.shape.runStart);
    s.list(m.shape.form64);
    s.texts(m.shape.arabicLigatures);
    s.list(m.shape.arabicLigature64);
}

} // namespace

QString FontModelKey(const QFont& font, const QPaintDevice* device)
{
    return font.key() + QLatin1Char('|') + QString::number(device ? device->logicalDpiX() : 0) + QLatin1Char('x')
        + QString::number(device ? device->logicalDpiY() : 0);
}

std::string FontModelFile(const QFont&, const QString& key)
{
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(Fnv(key.toStdString())));
    return ExeFolder() + "FontBounds-" + hex + ".cache";
}

std::shared_ptr<const FontModel> LoadFontModel(const QFont& font, const QString& key)
{
    std::string bytes;
    if (!ReadWholeFile(FontModelFile(font, key), bytes) || bytes.size() < Magic.size() + 8
        || std::string_view(bytes).substr(0, Magic.size()) != Magic)
        return nullptr;
    std::uint64_t sum = 0;
    std::memcpy(&sum, bytes.data() + bytes.size() - 8, 8);
    const std::string_view body = std::string_view(bytes).substr(0, bytes.size() - 8);
    if (Fnv(body) != sum)
        return nullptr;
    Reader in(body.substr(Magic.size()));
    std::string storedKey;
    in.text(storedKey);
    if (!in.ok || storedKey != FullKey(font, key))
        return nullptr;
    auto model = std::make_shared<FontModel>();
    Fields(in, *model);
    const ShapeBounds& s = model->shape;
    const std::size_t symbols = 128 + s.ligatures.size();
    if (!in.ok || !in.atEnd() || s.advance64.size() != symbols || s.pairExtra64.size() != symbols * symbols
        || s.joining.size() != 256 || s.unmodelled.size() != 256 || s.runStart.size() != 256
        || s.form64.size() != 256 * 4 || s.arabicLigature64.size() != 4 * s.arabicLigatures.size()
        || static_cast<unsigned>(model->words) > static_cast<unsigned>(FontModel::Words::Unbounded))
        return nullptr;
    for (const ShapeBounds::Joining j : s.joining)
        if (j > ShapeBounds::DirectionMark)
            return nullptr;
    return model;
}

void StoreFontModel(const QFont& font, const QString& key, const FontModel& model)
{
    Writer out;
    out.bytes.assign(Magic);
    out.text(FullKey(font, key));
    Fields(out, model);
    out.pod(Fnv(out.bytes));
    StagedFile staged;
    if (staged.open(FontModelFile(font, key)) && staged.write(out.bytes))
        static_cast<void>(staged.commit());
}

} // namespace rasmik
