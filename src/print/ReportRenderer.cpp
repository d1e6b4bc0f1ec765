#include "print/ReportRenderer.h"

#include "print/ReportLines.h"
#include "render/QtColour.h"
#include "render/QtText.h"
#include "text/StagedFile.h"
#include "text/StringHelpers.h"

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPdfWriter>
#include <QPointer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace rasmik {

TXQRStr* ReportState = nullptr;
const std::vector<std::string>* SourceLines = nullptr;
int ReportStep = 0;
bool LabelsPending = true;

namespace {

QPointer<TQuickRep> theReport;

const QString ReportTitleText = QStringLiteral("Velam");

// Makes the report, its band and the renderer's state at the first print.
void ensureReport()
{
    ReportStep = 3;
    if (!theReport) {
        // Fonts and painters need the GUI side of Qt (the offscreen platform will do).
        if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
            throw std::runtime_error("printing needs a running GUI application");
        ReportStep = 4;
        // A report made for an earlier application object went with it.
        delete ReportState;
        ReportState = new TXQRStr;
        LabelsPending = true;
        ReportStep = 5;
        theReport = new TQuickRep(QCoreApplication::instance());
        ReportStep = 6;
        ReportStep = 9;
        theReport->LeftMargin = 5;
        theReport->RightMargin = 8;
        ReportStep = 10;
        ReportStep = 11;
        TQRBand* band = theReport->CreateBand();
        ReportStep = 12;
        band->FrameTop = band->FrameBottom = band->FrameLeft = band->FrameRight = true;
        band->Type = BandType::Detail;
        ReportState->Band = band;
        ReportStep = 13;
        ReportState->Pending.clear();
        TXQRStr* state = ReportState;
        theReport->BeforePrint = [state] { state->StartRun(); };
        theReport->OnNeedData = [state](bool& moreData) { state->NeedData(moreData); };
        ReportStep = 14;
    }
    ReportStep = 15;
}

TQRLabel* makeLabel(TQRBand& band)
{
    TQRLabel* label = band.AddLabel();
    label->AutoSize = false;
    label->Transparent = true;
    label->BiDiMode = Qt::RightToLeft;
    label->Enabled = false;
    return label;
}

void ensureLabels()
{
    ReportStep = 17;
    if (LabelsPending) {
        ReportStep = 18;
        ReportState->Labels.clear();
        for (int i = 0; i < InitialLabelCount; ++i)
            ReportState->Labels.push_back(makeLabel(*ReportState->Band));
        ReportStep = 19;
        ReportState->RowQueue.clear();
        LabelsPending = false;
        ReportStep = 20;
    }
}

LabelAlignment toAlignment(int value)
{
    switch (value) {
    case 1:
        return LabelAlignment::Right;
    case 2:
        return LabelAlignment::Centre;
    default:
        return LabelAlignment::Left;
    }
}

} // namespace

TQuickRep* GridReport()
{
    return theReport.data();
}

void TXQRStr::StartRun()
{
    ReportStep = 60;
    Pending.clear();
    if (SourceLines)
        Pending.assign(SourceLines->begin(), SourceLines->end());
    ReportStep = 61;
    RowQueue.clear();
    ReportStep = 62;
}

void TXQRStr::NeedData(bool& moreData)
{
    ReportStep = 40;
    ReportStep = 44;
    if (!Pending.empty() && RowQueue.empty()) {
        ReportStep = 45;
        ReportStep = 21;
        ReportStep = 24;
        RowQueue.push_back(std::move(Pending.front()));
        Pending.pop_front();
        ReportStep = 25;
        ReportStep = 31;
        ReportStep = 46;
    }
    ReportStep = 47;
    moreData = !RowQueue.empty();
    ReportStep = 48;
    if (moreData) {
        ReportStep = 50;
        LayLine(RowQueue.front());
        RowQueue.pop_front();
        ReportStep = 50;
    } else {
        ReportStep = 49;
    }
}

void TXQRStr::LayLine(std::string_view line)
{
    for (TQRLabel* label : Labels)
        label->Enabled = false;

    double remaining = Band->WidthMm();
    double maxHeight = MinBandHeightMm;
    std::string_view rest = line;
    for (std::size_t j = 0; !rest.empty(); ++j) {
        if (j == Labels.size())
            Labels.push_back(makeLabel(*Band));
        TQRLabel& label = *Labels[j];

        const double share = TakeFloatToken(rest, 0.0);
        Band->Color = ToQColor(TakeIntToken(rest, 0));
        label.SetWidthMm(Band->WidthMm() * share / 100.0);
        remaining -= label.WidthMm();
        label.SetTopMm(0);
        label.SetLeftMm(remaining);

        label.Alignment = toAlignment(TakeIntToken(rest, 0));
        label.FrameLeft = TakeFlagToken(rest);
        label.FrameRight = TakeFlagToken(rest);
        label.FrameTop = false;
        TakeIntToken(rest, 0);
        label.FrameBottom = false;
        TakeIntToken(rest, 0);

        // Items carry a byte-sized font size; anything else would make the
        // fitting below step down from billions of points.
        const int size = std::clamp(TakeIntToken(rest, 0), 1, 255);
        QFont font;
        font.setBold(TakeFlagToken(rest));
        font.setItalic(TakeFlagToken(rest));
        font.setUnderline(TakeFlagToken(rest));
        font.setStrikeOut(TakeFlagToken(rest));
        const std::string_view name = TakeToken(rest, "*", true);
        if (!name.empty())
            font.setFamily(ToQString(name));
        const std::string_view caption = TakeToken(rest, ItemSeparator, false);
        label.Caption = QChar(0x200F) + ToQString(UnescapeCaption(caption));

        font.setPointSize(std::max(size, 1));
        font.setPointSize(std::max(FitFontSize(font, label.Caption, label.PixelWidth()), 1));
        label.Font = font;
        label.SetPixelHeight(ScreenLineHeight(font));
        maxHeight = std::max(maxHeight, label.HeightMm());
        label.Enabled = true;
    }
    Band->SetHeightMm(maxHeight);
}

void RunGridReport(const std::vector<std::string>& lines, QWidget* parent)
{
    ReportStep = 1;
    try {
        ensureReport();
        SourceLines = &lines;
        ReportStep = 16;
        ensureLabels();
        ReportStep = 21;
        theReport->ReportTitle = ReportTitleText;
        ReportStep = 22;
        ReportStep = 23;
        theReport->Preview(parent);
        ReportStep = 24;
        ReportStep = 2;
    } catch (...) {
        QString reason = QStringLiteral("unknown error");
        try {
            throw;
        } catch (const std::exception& e) {
            reason = QString::fromUtf8(e.what());
        } catch (...) {
        }
        const QString text = QStringLiteral("Q Err ") + QString::number(ReportStep)
                             + QStringLiteral(": ") + reason;
        if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
            QMessageBox box(QMessageBox::Warning, QGuiApplication::applicationDisplayName(), text,
                            QMessageBox::Ok, parent);
            box.exec();
        } else {
            std::fprintf(stderr, "%s\n", qPrintable(text));
        }
    }
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

FileStatus RenderReportToPdf(const std::vector<std::string>& lines, const QString& path)
{
    const std::string target = QFile::encodeName(path).toStdString();
    const std::vector<std::string>* previous = SourceLines;
    try {
        ensureReport();
        ensureLabels();
        StagedFile staged;
        if (FileStatus opened = staged.open(target); !opened)
            return opened;
        StagedDevice file(staged);
        {
            QPdfWriter writer(&file);
            writer.setPageLayout(theReport->PageLayoutFor(QPageSize(QPageSize::A4)));
            writer.setTitle(ReportTitleText);
            writer.setCreator(QCoreApplication::applicationName());
            SourceLines = &lines;
            theReport->Generate(writer);
            SourceLines = previous;
        }
        if (!file.status())
            return file.status();
        return staged.commit();
    } catch (const std::exception& e) {
        SourceLines = previous;
        FileError error(FileErrorCode::System, target);
        error.detail = e.what();
        return error;
    }
}

} // namespace rasmik
