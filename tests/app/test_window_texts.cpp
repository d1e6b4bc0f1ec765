// What a user meets in Qt's dialogs and the window's small items: the Font
// dialog under Return and Escape, the file dialogs' filters, the paths in the
// messages, the Note Pad and shaping items, and Qt's dialogs in Persian.

#include "app/ErrorMessages.h"
#include "app/FontStore.h"
#include "app/MainWindow.h"
#include "app/PromptSave.h"
#include "app/QtTranslation.h"
#include "common/ModalCloser.h"
#include "common/TestFiles.h"
#include "export/ShellOpen.h"
#include "table/Options.h"
#include "text/TextFiles.h"

#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QGlyphRun>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QPrintPreviewDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextLayout>
#include <QUrl>
#include <QtTest>

using namespace rasmik;

Q_DECLARE_METATYPE(rasmik::FileOperation)

namespace {

bool HasArabicScript(const QString& text)
{
    for (const QChar c : text)
        if (c.script() == QChar::Script_Arabic)
            return true;
    return false;
}

// The names a file dialog lists in its folder.
QStringList ListedNames(QFileDialog& dialog)
{
    auto* view = dialog.findChild<QListView*>(QStringLiteral("listView"));
    if (!view || !view->model())
        return {};
    QStringList names;
    const QModelIndex root = view->rootIndex();
    for (int r = 0; r < view->model()->rowCount(root); ++r)
        names << view->model()->index(r, 0, root).data().toString();
    names.sort();
    return names;
}

// The inner font dialog's widget a user clicks into: the box of the family
// name or size, or the family list.
QWidget* FontWidget(FontChooser& chooser, const QString& which)
{
    const QFont font = chooser.selectedFont();
    if (which == "family list") {
        for (QListView* list : chooser.fontDialog()->findChildren<QListView*>())
            if (list->currentIndex().data().toString() == font.family())
                return list;
        return nullptr;
    }
    const QString text = which == "family box" ? font.family() : QString::number(font.pointSize());
    for (QLineEdit* edit : chooser.fontDialog()->findChildren<QLineEdit*>())
        if (edit->text() == text)
            return edit;
    return nullptr;
}

} // namespace

class TestWindowTexts : public QObject {
    Q_OBJECT
    QTemporaryDir appDir;

private slots:
    void initTestCase()
    {
        SetExeFolderForTesting((appDir.path() + "/").toStdString());
        AppOptions(true);
    }

    void fontDialogKeys_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("answer");
        QTest::newRow("Return in the family box") << "family box" << int(Qt::Key_Return) << int(QDialog::Accepted);
        QTest::newRow("Enter in the family box") << "family box" << int(Qt::Key_Enter) << int(QDialog::Accepted);
        QTest::newRow("Return in the family list") << "family list" << int(Qt::Key_Return) << int(QDialog::Accepted);
        QTest::newRow("Return in the size box") << "size box" << int(Qt::Key_Return) << int(QDialog::Accepted);
        QTest::newRow("Escape in the family box") << "family box" << int(Qt::Key_Escape) << int(QDialog::Rejected);
        QTest::newRow("Escape in the family list") << "family list" << int(Qt::Key_Escape) << int(QDialog::Rejected);
    }
    void fontDialogKeys()
    {
        // The keys that end a font dialog end the whole chooser, never only
        // the font part inside it.
        QFETCH(QString, target);
        QFETCH(int, key);
        QFETCH(int, answer);
        FontChooser chooser;
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPointSize(14);
        chooser.setSelectedFont(font);
        const QString family = chooser.selectedFont().family();
        bool pressed = false;
        bool timedOut = false;
        QTimer::singleShot(0, &chooser, [&] {
            QWidget* w = FontWidget(chooser, target);
            if (!w)
                return;
            // As a user does: a click into it, then the key to whatever took the focus.
            chooser.activateWindow();
            if (!WaitActive(&chooser))
                return;
            QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(5, 5));
            if (!QApplication::focusWidget())
                return;
            QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
            pressed = true;
        });
        QTimer::singleShot(3000, &chooser, [&] {
            timedOut = true;
            chooser.reject();
        });
        const int result = chooser.exec();
        QVERIFY(pressed);
        QVERIFY2(!timedOut, "the chooser stayed open");
        QCOMPARE(result, answer);
        QVERIFY(chooser.fontDialog()->isVisibleTo(&chooser));
        QCOMPARE(chooser.selectedFont().family(), family);
        QCOMPARE(chooser.selectedFont().pointSize(), 14);

        // Shown again, its font part is all there.
        chooser.show();
        QVERIFY(WaitExposed(&chooser));
        QVERIFY(chooser.fontDialog()->isVisible());
        QVERIFY(FontWidget(chooser, "family box")->isVisible());
        chooser.hide();
    }

    void fileDialogsMatchAnyLetterCase_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("filter");
        QTest::newRow("open") << "open"
                              << "Text File (*.txt)";
        QTest::newRow("save") << "save"
                              << "Text File (*.txt)";
    }
    void fileDialogsMatchAnyLetterCase()
    {
        QFETCH(QString, kind);
        QFETCH(QString, filter);
        QTemporaryDir dir;
        for (const char* name : {"a.txt", "b.TXT", "c.Txt", "d.csv", "e.txt.bak", "f.text"})
            QVERIFY(Write(dir.path() + "/" + name, "x\r\n"));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("folder")));
        std::unique_ptr<QFileDialog> dialog = kind == "open"
            ? MakeOpenDialog(nullptr, QString())
            : MakeSaveDialog(nullptr, "", "", "", "*.txt", "Text File|*.txt");
        // The first file type is the one shown.
        QCOMPARE(dialog->nameFilters().front(), filter);
        QVERIFY(dialog->testOption(QFileDialog::DontUseNativeDialog));
        dialog->setDirectory(dir.path());
        dialog->show();
        WAIT_COMPARE(ListedNames(*dialog), (QStringList{"a.txt", "b.TXT", "c.Txt", "folder"}));
    }

    void commandsShowTheirFilters_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("filter");
        QTest::newRow("Open") << "openTable"
                              << QStringList{"Text File (*.txt)",
                                             "CSV (*.csv)",
                                             "Tab-separated (*.tsv *.tab)",
                                             "Workbook (*.xlsx *.ods *.xls)",
                                             "All Tables (*.txt *.csv *.tsv *.tab *.xlsx *.ods *.xls)",
                                             "All Files (*)"};
        QTest::newRow("Excel") << "exportToExcel" << QStringList{"Excel (*.xlsx)"};
        // A table is saved in the form and encoding its file type names.
        QTest::newRow("Save") << "saveTable" << QStringList{"Text File, Windows-1256 (*.txt)",
                                                            "Text File, UTF-8 (*.txt)",
                                                            "Text File, UTF-16 (*.txt)",
                                                            "CSV, Windows-1256 (*.csv)",
                                                            "CSV, UTF-8 (*.csv)",
                                                            "CSV, UTF-16 (*.csv)"};
    }
    void commandsShowTheirFilters()
    {
        QFETCH(QString, command);
        QFETCH(QStringList, filter);
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.txt";
        QVERIFY(Write(path, "a\tb\r\n1\t2\r\n"));
        MainWindow w({QFile::encodeName(path).toStdString()});
        QStringList filters;
        {
            ModalCloser closer([&](QWidget* shown) {
                if (auto* d = qobject_cast<QFileDialog*>(shown)) {
                    filters = d->nameFilters();
                    d->reject();
                } else if (auto* d = qobject_cast<QDialog*>(shown)) {
                    d->reject();
                }
            });
            w.command(command.toLatin1().constData())->trigger();
        }
        QCOMPARE(filters, filter);
    }

    void pathsInMessagesReadLeftToRight_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<FileOperation>("operation");
        QTest::newRow("open") << "/tmp/t3/zz.txt" << FileOperation::Open;
        QTest::newRow("save") << "/tmp/t3/zz.txt" << FileOperation::Save;
        QTest::newRow("workbook") << "/tmp/t3/zz.xlsx" << FileOperation::Workbook;
        QTest::newRow("Persian folder") << QStringLiteral("/tmp/جدول‌ها/2.txt") << FileOperation::Open;
    }
    void pathsInMessagesReadLeftToRight()
    {
        // Laid out as a message box lays out its Persian text: right to left.
        QFETCH(QString, path);
        QFETCH(FileOperation, operation);
        FileError error(FileErrorCode::Locked, QFile::encodeName(path).toStdString());
        QString text = persianFileMessage(error, operation);
        QVERIFY(text.isRightToLeft());
        text.replace('\n', QChar::LineSeparator);
        QTextLayout layout(text, QApplication::font());
        QTextOption option;
        option.setTextDirection(Qt::RightToLeft);
        layout.setTextOption(option);
        layout.beginLayout();
        while (layout.createLine().isValid()) { }
        layout.endLayout();
        const int start = text.indexOf(path);
        QVERIFY(start > 0);
        // Where a character of the path stands on the line.
        auto centre = [&](int i) {
            const QList<QGlyphRun> runs = layout.lineForTextPosition(start + i).glyphRuns(start + i, 1);
            return runs.isEmpty() ? qreal(-1) : runs.front().boundingRect().center().x();
        };
        // The separators stand left to right, the leading one left of all.
        QList<qreal> slashes;
        for (int i = 0; i < path.size(); ++i)
            if (path[i] == '/')
                slashes << centre(i);
        for (int i = 1; i < slashes.size(); ++i)
            QVERIFY2(slashes[i - 1] < slashes[i], qPrintable(QStringLiteral("slash %1 of %2").arg(i).arg(path)));
        for (int i = 1; i < path.size(); ++i)
            QVERIFY2(slashes.front() < centre(i), qPrintable(QStringLiteral("character %1 of %2").arg(i).arg(path)));
    }

    void notePadWithoutTableDoesNothing()
    {
        QStringList opened;
        SetUrlOpenerForTesting([&](const QUrl& url) {
            opened << url.toLocalFile();
            return true;
        });
        {
            MainWindow w;
            w.command("openInTextEditor")->trigger();
            QCOMPARE(opened, QStringList());
        }
        QTemporaryDir dir;
        const QString path = dir.path() + "/t.txt";
        QVERIFY(Write(path, "a\tb\r\n"));
        MainWindow w({QFile::encodeName(path).toStdString()});
        w.command("openInTextEditor")->trigger();
        QCOMPARE(opened, QStringList{path});
        SetUrlOpenerForTesting({});
    }

    void shapingIsACheckItem()
    {
        MainWindow w;
        QAction* shaping = w.command("toggleShaping");
        QMenu* file = w.menuBar()->actions().at(0)->menu();
        QVERIFY(file->actions().contains(shaping));
        QCOMPARE(shaping->text(), QStringLiteral("Iran System Shaping"));
        QVERIFY(shaping->isCheckable());
        w.show();
        w.activateWindow();
        QVERIFY(WaitActive(&w));
        QVERIFY(!shaping->isChecked());
        QTest::keyClick(&w, Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(shaping->isChecked());
        QVERIFY(w.grid()->shapingOn());
        QTest::keyClick(&w, Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier);
        QVERIFY(!shaping->isChecked());
        QVERIFY(!w.grid()->shapingOn());
    }

    // Last: the translation stays for the rest of the process.
    void qtDialogsSpeakPersian()
    {
        QVERIFY(InstallQtTranslation(*qApp));
        QCOMPARE(QApplication::layoutDirection(), Qt::RightToLeft);
        // Key names stay English beside the English menu captions.
        QCOMPARE(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S).toString(QKeySequence::NativeText),
                 QStringLiteral("Ctrl+Shift+S"));

        QMessageBox box(QMessageBox::Critical, QStringLiteral("Rasmik"), QStringLiteral("x"),
                        QMessageBox::Ok | QMessageBox::Cancel | QMessageBox::Yes | QMessageBox::No);
        for (QMessageBox::StandardButton b : {QMessageBox::Ok, QMessageBox::Cancel, QMessageBox::Yes, QMessageBox::No})
            QVERIFY2(HasArabicScript(box.button(b)->text()), qPrintable(box.button(b)->text()));

        std::unique_ptr<QFileDialog> open = MakeOpenDialog(nullptr, QString());
        const QLabel* fileType = open->findChild<QLabel*>(QStringLiteral("fileTypeLabel"));
        QVERIFY(fileType);
        QVERIFY2(HasArabicScript(fileType->text()), qPrintable(fileType->text()));
        QVERIFY(HasArabicScript(open->labelText(QFileDialog::Accept)));
        // The filter keeps its own words.
        QCOMPARE(open->nameFilters().front(), QStringLiteral("Text File (*.txt)"));

        FontChooser chooser;
        int persianLabels = 0;
        for (const QLabel* label : chooser.fontDialog()->findChildren<QLabel*>())
            persianLabels += HasArabicScript(label->text());
        QVERIFY(persianLabels >= 3); // family, style, size
        QVERIFY(HasArabicScript(chooser.findChild<QDialogButtonBox*>(QString(), Qt::FindDirectChildrenOnly)
                                    ->button(QDialogButtonBox::Ok)
                                    ->text()));

        QColorDialog colours;
        colours.setOption(QColorDialog::DontUseNativeDialog);
        QVERIFY(HasArabicScript(colours.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->text()));

        QPrintPreviewDialog preview;
        int persianActions = 0;
        for (const QAction* a : preview.findChildren<QAction*>())
            persianActions += HasArabicScript(a->text());
        QVERIFY2(persianActions >= 5, qPrintable(QString::number(persianActions)));
    }
};

QTEST_MAIN(TestWindowTexts)
#include "test_window_texts.moc"
