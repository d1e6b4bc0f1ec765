// The English interface: chosen by the settings or by LANGUAGE, loaded from
// the translation the build made; every text the window shows reads in
// English and left to right, the grid still right to left; without it the
// Persian texts are the program's own, unchanged.

#include "app/ErrorMessages.h"
#include "app/MainWindow.h"
#include "app/UiLanguage.h"
#include "common/TestFiles.h"
#include "common/WindowHelpers.h"
#include "render/UiText.h"
#include "table/Options.h"
#include "text/TextFiles.h"

#include <QLabel>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

using namespace rasmik;

class TestEnglishWindow : public QObject {
    Q_OBJECT
    QTemporaryDir appDir_;
    QTemporaryDir dir_;

    struct Shown {
        QString question;
        Qt::LayoutDirection questionDirection = Qt::LeftToRight;
        QString size;
        QString cell;
        QString insertRow;
        QString notFound;
        Qt::LayoutDirection grid = Qt::LeftToRight;
    };
    // What a window on a small table shows: the question before its
    // changes are lost, the status bar, an Edit command, an error.
    Shown show()
    {
        Shown s;
        const QString table = dir_.filePath("t.txt");
        Write(table, "name\tcity\nsara\ttehran\n");
        auto w = MakeWindow(table);
        GridModel& model = w->grid()->gridModel();
        model.setData(model.index(model.modelRow(1), 1), QStringLiteral("yazd"), Qt::EditRole);
        w->runUnsavedQuestion = [&](QMessageBox& box) {
            s.question = box.text();
            s.questionDirection = box.layoutDirection();
            return int(QMessageBox::Discard);
        };
        w->close();
        s.size = w->statusLine()->findChild<QLabel*>(QStringLiteral("sizeLabel"))->text();
        s.cell = w->statusLine()->findChild<QLabel*>(QStringLiteral("cellLabel"))->text();
        s.insertRow = w->command("insertRow")->text();
        s.notFound = persianFileMessage(FileError(FileErrorCode::NotFound, "/x/t.txt"), FileOperation::Open);
        s.grid = w->grid()->layoutDirection();
        return s;
    }

private slots:
    void initTestCase() { SetExeFolderForTesting((appDir_.path() + "/").toStdString()); }

    void chosenBySettingsOrLanguage_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QByteArray>("language");
        QTest::addColumn<bool>("english");
        QTest::newRow("nothing") << "" << QByteArray() << false;
        QTest::newRow("LANGUAGE=en") << "" << QByteArray("en") << true;
        QTest::newRow("LANGUAGE=en_GB:en") << "" << QByteArray("en_GB:en") << true;
        QTest::newRow("LANGUAGE=fa:en") << "" << QByteArray("fa:en") << false;
        QTest::newRow("English chosen") << "en" << QByteArray("fa") << true;
        QTest::newRow("Persian chosen over LANGUAGE=en") << "fa" << QByteArray("en") << false;
    }
    void chosenBySettingsOrLanguage()
    {
        QFETCH(QString, setting);
        QFETCH(QByteArray, language);
        QFETCH(bool, english);
        Settings().SetValue(LanguageKey, setting.toStdString());
        if (language.isEmpty())
            qunsetenv("LANGUAGE");
        else
            qputenv("LANGUAGE", language);
        QCOMPARE(EnglishWanted(), english);
        Settings().SetValue(LanguageKey, "");
        qunsetenv("LANGUAGE");
    }

    void everyTextInEnglish()
    {
        const Shown persian = show();
        QCOMPARE(persian.question, QStringLiteral("تغییرات جدول ذخیره شود؟"));
        QCOMPARE(persian.questionDirection, Qt::RightToLeft);
        QCOMPARE(persian.size, QStringLiteral("1 ردیف، 2 ستون"));
        QCOMPARE(persian.insertRow, QStringLiteral("درج ردیف"));
        QVERIFY(persian.notFound.endsWith(QStringLiteral("فایل یا پوشه آن پیدا نشد.")));

        QVERIFY(InstallEnglish(*QCoreApplication::instance(), QStringLiteral(RASMIK_BINARY_DIR "/translations")));
        UiEnglish() = true;
        const Shown english = show();
        QCOMPARE(english.question, QStringLiteral("Save the changes to the table?"));
        QCOMPARE(english.questionDirection, Qt::LeftToRight);
        QCOMPARE(english.size, QStringLiteral("1 rows, 2 columns"));
        QVERIFY2(english.cell.startsWith(QStringLiteral("row 1, column ")), qPrintable(english.cell));
        QCOMPARE(english.insertRow, QStringLiteral("Insert Row"));
        QCOMPARE(english.notFound,
                 QStringLiteral("The file “%1” could not be opened.\nThe file or a folder on its path was not found.")
                     .arg(QChar(0x2066) + QStringLiteral("/x/t.txt") + QChar(0x2069)));
        // The grid stays right to left.
        QCOMPARE(english.grid, persian.grid);
        QCOMPARE(english.grid, Qt::RightToLeft);
        for (QTranslator* t : QCoreApplication::instance()->findChildren<QTranslator*>())
            QCoreApplication::removeTranslator(t);
        UiEnglish() = false;
    }
};

QTEST_MAIN(TestEnglishWindow)
#include "test_english_window.moc"
