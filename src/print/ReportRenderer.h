#pragma once
// The report renderer: lays report lines into the report's detail band, one
// line a band, and shows them in the print preview or writes them to PDF.

#include "print/ReportEngine.h"
#include "text/FileError.h"
#include "text/TextEncoding.h"

#include <QString>

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QProgressDialog;
class QWidget;

namespace rasmik {

inline constexpr int InitialLabelCount = 100;

// Feeds report lines to the band as the engine asks for rows. The labels
// (InitialLabelCount at first, more when a line needs them) are made once and
// reused for every row; laying a row only changes their properties. A label
// starts right to left and disabled, and is enabled for the row that uses it.
//
// Only items that can show something on the page get a label of their own:
// an item that rounds to no width, or lies wholly beside the page, is placed
// but not fitted or measured. Its side lines, where they fall on the page,
// are drawn by one line-only label for each place, and it counts towards the
// row's height as the fitting would size it: its font at the smallest size,
// or at its own size when its caption is empty. So a line of a million items
// lays a page's worth of labels.
class ReportRowFeeder {
public:
    explicit ReportRowFeeder(ReportBand& band);

    // Start of every generation run: the rows are lines (in the held form)
    // from the first one. lines stays unchanged until the run ends.
    void start(const std::vector<std::string>& lines, TextEncoding held = TextEncoding::Windows1256);
    bool atEnd() const { return !lines_ || next_ >= lines_->size(); }
    // Index of the line that is laid next.
    std::size_t nextIndex() const { return next_; }
    // Lays the next line into the band; false when none is left.
    bool feedNext();
    // Lays one report line into the band's labels and sets the band height.
    void layLine(std::string_view line);

    const std::vector<ReportLabel*>& labels() const { return labels_; }

private:
    // Height in millimetres of a label with no room, in the font of an item.
    double hiddenHeightMm(std::string_view name, int bits, int size);

    ReportBand& band_;
    std::vector<ReportLabel*> labels_;
    // The last font asked for by hiddenHeightMm, and its answer.
    std::string hiddenName_;
    int hiddenBits_ = -1;
    int hiddenSize_ = -1;
    double hiddenHeight_ = 0;
    const std::vector<std::string>* lines_ = nullptr;
    std::size_t next_ = 0;
    TextEncoding held_ = TextEncoding::Windows1256;
};

// The report of a print, owned by whoever prints: its lines and, from the
// first preview on, the engine, band and labels that print them. Keep it for
// as long as the preview is open; the preview prints from its lines again.
class GridReport {
public:
    GridReport();
    ~GridReport();
    GridReport(const GridReport&) = delete;
    GridReport& operator=(const GridReport&) = delete;

    // The report lines; replaced by every print, not while the preview is open.
    std::vector<std::string>& lines() { return lines_; }
    const std::vector<std::string>& lines() const { return lines_; }
    // The form the lines hold their text in (the grid's).
    void setEncoding(TextEncoding held) { held_ = held; }
    TextEncoding encoding() const { return held_; }

    // Shows the lines in the modal print preview (child of parent), from which
    // the user prints; returns when the preview closes. Making the pages shows
    // its progress and can be cancelled: then no preview opens (or, while
    // printing from it, the print is dropped) and nothing is reported. A
    // failure shows one message box, "Q Err " + the step reached + ": " + the
    // reason, and answers false. The pages go with the preview; the memory
    // they took is handed back when it closes.
    bool preview(QWidget* parent);

private:
    void build();
    bool nextBand();

    std::vector<std::string> lines_;
    TextEncoding held_ = TextEncoding::Windows1256;
    std::unique_ptr<ReportEngine> engine_;
    std::unique_ptr<ReportRowFeeder> feeder_;
    // Progress of the page making, while the preview is open.
    std::unique_ptr<QProgressDialog> progress_;
    // How far the print got, for the failure message; set only before a
    // point that can fail.
    int step_ = 0;
};

// The pages of the lines as the print preview records them, on A4 portrait
// like RenderReportToPdf: one picture a page, its origin at the top left
// corner of the printable area, at the pictures' own resolution.
std::vector<QPicture> RenderReportToPictures(const std::vector<std::string>& lines,
                                             TextEncoding held = TextEncoding::Windows1256);

// Hands memory freed by a print (its pages) back to the system where the C
// library keeps it otherwise.
void ReleaseFreedMemory();

// Writes the lines as a PDF report on A4 portrait, the same pages the preview
// shows. The file appears whole or not at all. Needs a QGuiApplication (the
// offscreen platform will do) but no display. The file is written through a
// StagedFile.
FileStatus RenderReportToPdf(const std::vector<std::string>& lines, const QString& path,
                             TextEncoding held = TextEncoding::Windows1256);

} // namespace rasmik
