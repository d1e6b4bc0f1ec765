#pragma once
// Reads back what a spreadsheet program would see in an .xlsx written by the
// export: parts are taken out with unzip, cells resolved to their text.

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

struct XlsxCell {
    QString type; // the t attribute: "s", "inlineStr", "str", "" for numbers
    QString text; // resolved and unescaped text; empty for a blank cell
    bool hasValue = false;
    int style = -1; // the s attribute
};

struct XlsxColumns {
    int min = 0;
    int max = 0;
    int style = -1;
};

struct XlsxSheet {
    QString error; // empty when every part parsed
    QString dimension;
    QMap<QString, XlsxCell> cells; // by address, "A1"
    QVector<XlsxColumns> columns;
    int formulas = 0;
};

// The part's bytes; found tells whether the archive has it.
QByteArray ReadXlsxPart(const QString& file, const QString& part, bool* found = nullptr);
XlsxSheet ReadXlsxSheet(const QString& file);
QStringList ReadSheetNames(const QString& file);
// numFmtId of every cell format (cellXfs), by style index.
QStringList ReadCellNumberFormats(const QString& file);
// Text as a spreadsheet program shows it: "_xHHHH_" stands for U+HHHH.
QString DecodeXlsxEscapes(const QString& s);
