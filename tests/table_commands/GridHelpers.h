#pragma once
// Grids written as text in the tests: rows separated by '\n', cells by '|'.
// Persian text is written in UTF-8 and turned into Windows-1256 with w().

#include "common/TestFiles.h"
#include "table/CoreGrid.h"
#include "text/Cp1256.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <string>
#include <vector>

namespace testgrid {

inline std::string b(const QByteArray& a)
{
    return std::string(a.constData(), static_cast<std::size_t>(a.size()));
}
inline QByteArray q(const std::string& s)
{
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}
// UTF-8 text in Windows-1256 bytes.
inline QByteArray w(const char* utf8)
{
    return q(rasmik::Utf8ToCp1256(utf8));
}

inline rasmik::CoreGrid makeGrid(const QByteArray& text)
{
    const QList<QByteArray> rows = text.split('\n');
    int cols = 1;
    for (const auto& r : rows)
        cols = std::max(cols, static_cast<int>(r.count('|')) + 1);
    rasmik::CoreGrid g;
    g.Reset(cols, static_cast<int>(rows.size()));
    for (int r = 0; r < rows.size(); ++r) {
        const QList<QByteArray> cells = rows[r].split('|');
        for (int c = 0; c < cells.size(); ++c)
            g.SetCell(c, r, b(cells[c]));
    }
    return g;
}

inline QByteArray gridText(const rasmik::CoreGrid& g)
{
    QByteArray out;
    for (int r = 0; r < g.RowCount(); ++r) {
        if (r)
            out += '\n';
        for (int c = 0; c < g.ColCount(); ++c) {
            if (c)
                out += '|';
            const auto cell = g.Cell(c, r);
            out += QByteArray(cell.data(), static_cast<qsizetype>(cell.size()));
        }
    }
    return out;
}

inline QByteArray joined(const std::vector<std::string>& list, char sep = '|')
{
    QByteArray out;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (i)
            out += sep;
        out += q(list[i]);
    }
    return out;
}

inline std::string path(const QTemporaryDir& dir, const char* name)
{
    return dir.filePath(QString::fromLatin1(name)).toStdString();
}

} // namespace testgrid
