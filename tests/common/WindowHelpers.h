#pragma once
// The main window driven as a user drives it: a table opened as from the
// command line, the cursor put on a cell, keys pressed on the active window.

#include "app/GridWidget.h"
#include "app/MainWindow.h"
#include "common/Waits.h"
#include "render/QtText.h"

#include <QFile>
#include <QString>
#include <QtTest>

#include <memory>
#include <string>
#include <vector>

// A window for path as the command line makes it, not shown yet.
inline std::unique_ptr<rasmik::MainWindow> MakeWindow(const QString& path)
{
    return std::make_unique<rasmik::MainWindow>(std::vector<std::string>{QFile::encodeName(path).toStdString()});
}

// A window for path, shown and active, the keys going to its grid.
inline std::unique_ptr<rasmik::MainWindow> OpenWindow(const QString& path)
{
    auto w = MakeWindow(path);
    w->show();
    w->activateWindow();
    if (!WaitActive(w.get()))
        qWarning("window not active");
    w->grid()->setFocus();
    return w;
}

// A cell of the open table as the user reads it.
inline QString Cell(const rasmik::MainWindow& w, int col, int row)
{
    return rasmik::ToQString(w.document().grid().Cell(col, row), w.document().grid().Encoding());
}

// Puts the cursor on a cell as a click does.
inline void Click(rasmik::MainWindow& w, int col, int row)
{
    rasmik::GridWidget* grid = w.grid();
    const int modelRow = grid->gridModel().modelRow(row);
    grid->setCurrentIndex(grid->model()->index(modelRow, col));
    QCOMPARE(w.document().currentCol(), col);
    QCOMPARE(w.document().currentRow(), row);
}

// A key as the user presses it: the window active, as after any dialog.
inline void Press(QWidget* w, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    w->activateWindow();
    QVERIFY(WaitActive(w));
    QTest::keyClick(w, key, mods);
}
