#include "print/ReportRenderer.h"

#include "print/CaptionWindow.h"
#include "print/ReportLines.h"
#include "render/QtColour.h"
#include "render/QtText.h"
#include "render/UiText.h"
#include "text/StagedFile.h"
#include "text/StringHelpers.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPdfWriter>
#include <QProgressDialog>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <limits>
#include <stdexcept>
#include <unordered_map>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace rasmik {

namespace {

const QString ReportTitleText = QStringLiteral("Velam");
const char* const MakingPagesText = QT_TRANSLATE_NOOP("Rasmik", "در حال آماده كردن صفحه هاي چاپ...");
const char* const CancelText = QT_TRANSLATE_NOOP("Rasmik", "انصراف");
// Rows laid between two updates of the progress dialog, and how long a run
// goes before the dialog shows.
constexpr std::size_t ProgressStep = 64;
constexpr int ProgressDelayMs = 300;

// Fonts and painters need the GUI side of Qt (the offscreen platform will do).
void requireGuiApplication()
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        throw std::runtime_error("printing needs a running GUI application");
}

// The report's fixed page and band: margins of 5 mm left and 8 mm right, the
// band framed on all four sides.
void setUpReport(ReportEngine& engine)
{
    engine.leftMargin = 5;
    engine.rightMargin = 8;
    engine.title = ReportTitleText;
    ReportBand& band = engine.band();
    band.frameTop = band.frameBottom = band.frameLeft = band.frameRight = true;
}

LabelAlignment toAlignment(int value)
{
    switch (value) {
    case 1: return LabelAlignment::Right;
    case 2: return LabelAlignment::Centre;
    default: return LabelAlignment::Left;
    }
}

// The edge of a label whose text is too wide that stays in view.
VisibleEdge visibleEdge(const ReportLabel& label)
{
    if (label.alignment == LabelAlignment::Centre)
        return VisibleEdge::Middle;
    const bool flushLeft = (label.alignment == LabelAlignment::Right) == (label.direction == Qt::RightToLeft);
    return flushLeft ? VisibleEdge::Left : VisibleEdge::Right;
}

// The direction a caption reads in: its first strong character's after the
// mark and spaces that hold a body cell off its label's edge, right to left
// without one, which a mark before it says to every layout. A caption that
// reads left to right gets those spaces at its end instead, the same edge,
// with a mark after them to keep them there.
Qt::LayoutDirection readInOwnDirection(QString& text)
{
    qsizetype body = 0;
    if (!text.isEmpty() && text.front() == QChar(0x200F)) {
        body = 1;
        while (body < text.size() && text[body] == QLatin1Char(' '))
            ++body;
    }
    // Looked at where it stands: a report makes a caption of every cell.
    const std::u16string_view rest(reinterpret_cast<const char16_t*>(text.utf16()) + body,
                                   static_cast<std::size_t>(text.size() - body));
    if (DirectionOfText(rest) == ReadingDirection::RightToLeft) {
        text.prepend(QChar(0x200F));
        return Qt::RightToLeft;
    }
    if (body > 0)
        text = text.mid(body) + QString(body - 1, QLatin1Char(' ')) + QChar(0x200E);
    return Qt::LeftToRight;
}

} // namespace

ReportRowFeeder::ReportRowFeeder(ReportBand& band) : band_(band)
{
    labels_.reserve(InitialLabelCount);
    for (int i = 0; i < InitialLabelCount; ++i)
        labels_.push_back(band_.addLabel());
}

void ReportRowFeeder::start(const std::vector<std::string>& lines, TextEncoding held)
{
    lines_ = &lines;
    held_ = held;
    next_ = 0;
    hiddenBits_ = -1; // font names are read in the held form
}

bool ReportRowFeeder::feedNext()
{
    if (atEnd())
        return false;
    layLine((*lines_)[next_++]);
    return true;
}

double ReportRowFeeder::hiddenHeightMm(std::string_view name, int bits, int size)
{
    if (bits != hiddenBits_ || size != hiddenSize_ || name != hiddenName_) {
        QFont font;
        font.setBold((bits & 1) != 0);
        font.setItalic((bits & 2) != 0);
        font.setUnderline((bits & 4) != 0);
        font.setStrikeOut((bits & 8) != 0);
        if (!name.empty())
            font.setFamily(ToQString(name, held_));
        font.setPointSize(std::max(size, 1));
        hiddenName_.assign(name);
        hiddenBits_ = bits;
        hiddenSize_ = size;
        hiddenHeight_ = ScreenPixelsToMm(ScreenLineHeight(font));
    }
    return hiddenHeight_;
}

void ReportRowFeeder::layLine(std::string_view line)
{
    for (ReportLabel* label : labels_)
        label->enabled = false;

    // The page in screen pixels from the band's left edge, a pixel wider on
    // each side for the width of a side line.
    const long long pageLeft = std::isfinite(band_.leftRoomMm()) ? -MmToScreenPixels(band_.leftRoomMm()) - 1LL
                                                                 : std::numeric_limits<long long>::min();
    const long long pageRight = std::isfinite(band_.rightRoomMm())
        ? MmToScreenPixels(band_.widthMm() + band_.rightRoomMm()) + 1LL
        : std::numeric_limits<long long>::max();
    auto onPage = [&](long long x) { return x >= pageLeft && x <= pageRight; };

    // Line-only labels of the items without a label of their own: one for
    // each place, with the side lines that any of its items draws.
    struct Rule {
        int left;
        int width;
        bool lineLeft;
        bool lineRight;
    };
    std::vector<Rule> rules;
    std::unordered_map<std::uint64_t, std::size_t> ruleAt;
    std::size_t lastRule = 0;

    double remaining = band_.widthMm();
    double maxHeight = MinBandHeightMm;
    std::string_view rest = line;
    std::size_t used = 0;
    while (!rest.empty()) {
        if (used == labels_.size())
            labels_.push_back(band_.addLabel());
        ReportLabel& label = *labels_[used];

        const double share = TakeFloatToken(rest, 0.0);
        band_.color = ToQColor(TakeIntToken(rest, 0));
        label.setWidthMm(band_.widthMm() * share / 100.0);
        remaining -= label.widthMm();
        label.setTopMm(0);
        label.setLeftMm(remaining);

        label.alignment = toAlignment(TakeIntToken(rest, 0));
        label.frameLeft = TakeFlagToken(rest);
        label.frameRight = TakeFlagToken(rest);
        label.frameTop = false;
        TakeIntToken(rest, 0);
        label.frameBottom = false;
        TakeIntToken(rest, 0);

        // Items carry a byte-sized font size; anything else would make the
        // fitting below step down from billions of points.
        const int size = std::clamp(TakeIntToken(rest, 0), 1, 255);
        const bool bold = TakeFlagToken(rest);
        const bool italic = TakeFlagToken(rest);
        const bool underline = TakeFlagToken(rest);
        const bool strikeOut = TakeFlagToken(rest);
        const std::string_view name = TakeToken(rest, "*", true);
        const std::string_view caption = TakeToken(rest, ItemSeparator, false);

        const int left = label.pixelLeft();
        const int width = label.pixelWidth();
        const long long right = static_cast<long long>(left) + width;
        if (width <= 0 || right < pageLeft || left > pageRight) {
            // Nothing of its caption can show: fitting would take it down to
            // the smallest size, or leave an empty caption at its own.
            const int bits = (bold ? 1 : 0) | (italic ? 2 : 0) | (underline ? 4 : 0) | (strikeOut ? 8 : 0);
            maxHeight = std::max(maxHeight,
                                 hiddenHeightMm(name, bits, caption.empty() ? size : std::min(size, SmallestFontSize)));
            const bool lineLeft = label.frameLeft && onPage(left);
            const bool lineRight = label.frameRight && onPage(right);
            if (!lineLeft && !lineRight)
                continue;
            if (lastRule >= rules.size() || rules[lastRule].left != left || rules[lastRule].width != width) {
                const std::uint64_t place = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(left)) << 32)
                    | static_cast<std::uint32_t>(width);
                const auto [at, made] = ruleAt.try_emplace(place, rules.size());
                if (made)
                    rules.push_back({left, width, false, false});
                lastRule = at->second;
            }
            rules[lastRule].lineLeft = rules[lastRule].lineLeft || lineLeft;
            rules[lastRule].lineRight = rules[lastRule].lineRight || lineRight;
            continue;
        }

        QFont font;
        font.setBold(bold);
        font.setItalic(italic);
        font.setUnderline(underline);
        font.setStrikeOut(strikeOut);
        if (!name.empty())
            font.setFamily(ToQString(name, held_));
        font.setPointSize(std::max(size, 1));
        // On one line, as the grid shows it.
        QString text = ToQString(UnescapeCaption(caption), held_);
        ShowOnOneLine(text);
        label.textDirection = readInOwnDirection(text);
        label.caption = CutCaptionToLabel(text, font, label.textRoom(), visibleEdge(label));
        font.setPointSize(std::max(FitFontSize(font, label.caption, label.textRoom()), 1));
        label.font = font;
        label.setPixelHeight(ScreenLineHeight(font));
        maxHeight = std::max(maxHeight, label.heightMm());
        label.enabled = true;
        ++used;
    }
    for (const Rule& rule : rules) {
        if (used == labels_.size())
            labels_.push_back(band_.addLabel());
        ReportLabel& label = *labels_[used++];
        label.setPixelLeft(rule.left);
        label.setPixelWidth(rule.width);
        label.setTopMm(0);
        label.setPixelHeight(0);
        label.frameLeft = rule.lineLeft;
        label.frameRight = rule.lineRight;
        label.frameTop = false;
        label.frameBottom = false;
        label.caption.clear();
        label.enabled = true;
    }
    band_.setHeightMm(maxHeight);
}

GridReport::GridReport() = default;

GridReport::~GridReport() = default;

// Made at the first preview and kept for every later one.
void GridReport::build()
{
    step_ = 3;
    requireGuiApplication();
    step_ = 5;
    auto engine = std::make_unique<ReportEngine>();
    setUpReport(*engine);
    step_ = 18;
    feeder_ = std::make_unique<ReportRowFeeder>(engine->band());
    engine->onRunStart = [this] {
        feeder_->start(lines_, held_);
        if (progress_)
            progress_->setValue(0);
    };
    engine->nextBand = [this] { return nextBand(); };
    engine_ = std::move(engine);
}

bool GridReport::nextBand()
{
    if (feeder_->atEnd()) {
        step_ = 49;
        if (progress_)
            progress_->reset();
        return false;
    }
    step_ = 50;
    if (progress_ && feeder_->nextIndex() % ProgressStep == 0) {
        progress_->setValue(static_cast<int>(std::min<std::size_t>(feeder_->nextIndex(), INT_MAX)));
        if (progress_->wasCanceled()) {
            progress_->reset();
            throw ReportCancelled{};
        }
    }
    return feeder_->feedNext();
}

bool GridReport::preview(QWidget* parent)
{
    struct Cleanup {
        GridReport& report;
        ~Cleanup()
        {
            report.progress_.reset();
            ReleaseFreedMemory();
        }
    } cleanup{*this};
    try {
        if (!engine_)
            build();
        step_ = 23;
        if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
            progress_ = std::make_unique<QProgressDialog>(
                Ui::tr(MakingPagesText), Ui::tr(CancelText), 0,
                static_cast<int>(std::min<std::size_t>(lines_.size(), INT_MAX)), parent);
            progress_->setWindowModality(Qt::ApplicationModal);
            progress_->setMinimumDuration(ProgressDelayMs);
            progress_->setAutoReset(false);
            progress_->setLayoutDirection(UiDirection());
            progress_->reset();
        }
        engine_->preview(parent);
        return true;
    } catch (...) {
        QString reason = QStringLiteral("unknown error");
        try {
            throw;
        } catch (const std::exception& e) {
            reason = QString::fromUtf8(e.what());
        } catch (...) {
        }
        const QString text = QStringLiteral("Q Err ") + QString::number(step_) + QStringLiteral(": ") + reason;
        if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
            QMessageBox box(QMessageBox::Warning, QGuiApplication::applicationDisplayName(), text, QMessageBox::Ok,
                            parent);
            box.exec();
        } else {
            std::fprintf(stderr, "%s\n", qPrintable(text));
        }
        return false;
    }
}

void ReleaseFreedMemory()
{
#if defined(__GLIBC__)
    // glibc keeps the pages of a big preview in its free lists; hand them
    // back to the system.
    malloc_trim(0);
#endif
}

namespace {

// The PDF writer's output device: appends to a staged file and keeps the
// first failure, with its errno.
class StagedDevice : public QIODevice {
public:
    explicit StagedDevice(StagedFile& staged) : staged_(staged) { open(QIODevice::WriteOnly); }
    const FileStatus& status() const { return status_; }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override
    {
        if (status_)
            status_ = staged_.write(std::string_view(data, static_cast<std::size_t>(size)));
        return status_ ? size : -1;
    }

private:
    StagedFile& staged_;
    FileStatus status_;
};

} // namespace

std::vector<QPicture> RenderReportToPictures(const std::vector<std::string>& lines, TextEncoding held)
{
    requireGuiApplication();
    ReportEngine engine;
    setUpReport(engine);
    ReportRowFeeder feeder(engine.band());
    engine.onRunStart = [&feeder, &lines, held] { feeder.start(lines, held); };
    engine.nextBand = [&feeder] { return feeder.feedNext(); };
    return engine.generatePictures(engine.pageLayoutFor(QPageSize(QPageSize::A4)));
}

FileStatus RenderReportToPdf(const std::vector<std::string>& lines, const QString& path, TextEncoding held)
{
    const std::string target = QFile::encodeName(path).toStdString();
    try {
        requireGuiApplication();
        ReportEngine engine;
        setUpReport(engine);
        ReportRowFeeder feeder(engine.band());
        engine.onRunStart = [&feeder, &lines, held] { feeder.start(lines, held); };
        engine.nextBand = [&feeder] { return feeder.feedNext(); };
        StagedFile staged;
        if (FileStatus opened = staged.open(target); !opened)
            return opened;
        StagedDevice file(staged);
        {
            QPdfWriter writer(&file);
            writer.setPageLayout(engine.pageLayoutFor(QPageSize(QPageSize::A4)));
            writer.setTitle(ReportTitleText);
            writer.setCreator(QCoreApplication::applicationName());
            engine.generate(writer);
        }
        if (!file.status())
            return file.status();
        return staged.commit();
    } catch (const std::exception& e) {
        FileError error(FileErrorCode::System, target);
        error.detail = e.what();
        return error;
    }
}

} // namespace rasmik
