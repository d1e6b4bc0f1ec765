#pragma once
// Reads a PDF back the way a reader sees it, through poppler's pdftotext.

#include <QList>
#include <QString>
#include <QStringList>

struct PdfWord {
    int page = 0;                                  // from 0
    double xMin = 0, yMin = 0, xMax = 0, yMax = 0; // points from the top left
    QString text;
    double xMid() const { return (xMin + xMax) / 2; }
    double yMid() const { return (yMin + yMax) / 2; }
};

struct PdfText {
    bool ok = false;
    int pages = 0;
    double pageWidth = 0;
    double pageHeight = 0;
    QList<PdfWord> words;
    // The words whose text is exactly text.
    QList<PdfWord> find(const QString& text) const;
    // Words on page whose vertical middle lies within tolerance of y, left to right.
    QList<PdfWord> row(int page, double y, double tolerance = 2.0) const;
};

// Words with their boxes (pdftotext -bbox).
PdfText ReadPdfWords(const QString& path);
// The text laid out as on the page (pdftotext -layout), one string a line.
QStringList ReadPdfLayout(const QString& path);

// The layout text as plain letters: pdftotext gives Persian words as
// presentation forms between embedding marks, in either reading order; here
// the forms are folded to letters and the marks dropped.
QString ReadPdfLetters(const QString& path);
// Whether text holds word in either reading order.
bool HoldsEitherWay(const QString& text, const QString& word);
