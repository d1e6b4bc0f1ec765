#pragma once
// The report renderer: lays report lines into the report's detail band, one
// line a band, and shows them in the print preview or writes them to PDF.
// The report, its band and its labels are made at the first print and kept.

#include "print/ReportEngine.h"
#include "text/FileError.h"

#include <QString>

#include <deque>
#include <string>
#include <string_view>
#include <vector>

class QWidget;

namespace rasmik {

class TXQRStr {
public:
    // The lines of the current run still to print.
    std::deque<std::string> Pending;
    // The line being laid into the band; empty between two requests.
    std::deque<std::string> RowQueue;
    // The band's labels: 100 made at the first print, more when a line needs them.
    std::vector<TQRLabel*> Labels;
    TQRBand* Band = nullptr;

    // Start of every generation run: Pending becomes a copy of SourceLines.
    void StartRun();
    // Before every band: lays the next line into the band, if one is left.
    void NeedData(bool& moreData);
    // Lays one report line into the band's labels and sets the band height.
    void LayLine(std::string_view line);
};

inline constexpr int InitialLabelCount = 100;

// The report; absent until the first print, owned by the application object.
TQuickRep* GridReport();
// The renderer's state; absent until the first print, then kept.
extern TXQRStr* ReportState;
// The caller's lines of the current print; the caller keeps them unchanged
// while the preview is open.
extern const std::vector<std::string>* SourceLines;
// How far the last print got; shown in the failure message.
extern int ReportStep;
// Set until the labels exist.
extern bool LabelsPending;

// Shows the lines in the modal print preview (child of parent), from which
// the user prints; returns when the preview closes. A failure shows one
// message box, "Q Err " + ReportStep + ": " + the reason, and returns.
void RunGridReport(const std::vector<std::string>& lines, QWidget* parent = nullptr);

// Writes the lines as a PDF report on A4 portrait, the same pages the preview
// shows. The file appears whole or not at all. Needs a QGuiApplication (the
// offscreen platform will do) but no display. The file is written through a
// StagedFile.
FileStatus RenderReportToPdf(const std::vector<std::string>& lines, const QString& path);

} // namespace rasmik
