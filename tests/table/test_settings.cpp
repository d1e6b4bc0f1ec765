// Key=value settings files and the "Font.fnt" line, on real files.

#include "common/TestFiles.h"
#include "table/FontRecord.h"
#include "table/Options.h"
#include "text/TextFiles.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

using namespace rasmik;

namespace {

} // namespace

class TestSettings : public QObject {
    Q_OBJECT
private slots:
    void getBool_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("value");
        QTest::newRow("1") << QByteArray("Maximize=1\r\n") << true;
        for (const char* w : {"t", "true", "ok", "enable", "enabled", "active", "actived"})
            QTest::newRow(w) << (QByteArray("Maximize=") + w + "\r\n") << true;
        QTest::newRow("TRUE") << QByteArray("Maximize=TRUE\r\n") << true;
        QTest::newRow("' yes'") << QByteArray("Maximize= yes\r\n") << false;
        QTest::newRow("no") << QByteArray("Maximize=no\r\n") << false;
        QTest::newRow("key in other case, 2") << QByteArray("maximize=2\r\n") << true;
        QTest::newRow("-1") << QByteArray("Maximize=-1\r\n") << false;
        QTest::newRow("0") << QByteArray("Maximize=0\r\n") << false;
        QTest::newRow("empty") << QByteArray("Maximize=\r\n") << false;
        QTest::newRow("$10 is 16") << QByteArray("Maximize=$10\r\n") << true;
        QTest::newRow("1,0 is 10") << QByteArray("Maximize=1,0\r\n") << true;
        QTest::newRow("padded with blanks") << QByteArray("Maximize=\t ok \r\n") << true;
        QTest::newRow("first line decides") << QByteArray("Maximize=0\r\nMAXIMIZE=1\r\n") << false;
        QTest::newRow("no line") << QByteArray("Other=1\r\n") << false;
        QTest::newRow("line without =") << QByteArray("Maximize\r\n") << false;
        QTest::newRow("empty file") << QByteArray() << false;
    }
    void getBool()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, value);
        QTemporaryDir dir;
        const QString path = dir.path() + "/Rasmik_Settings.cfg";
        Write(path, file);
        TOptions o(path.toStdString());
        QCOMPARE(o.GetBool("Maximize"), value);
    }

    void missingAndReadOnlyFilesReadEmpty()
    {
        QTemporaryDir dir;
        TOptions missing((dir.path() + "/none.cfg").toStdString());
        QVERIFY(missing.Entries.empty());
        const QString path = dir.path() + "/ro.cfg";
        Write(path, "Maximize=1\r\n");
        QVERIFY(chmod(path.toLocal8Bit().constData(), 0444) == 0);
        if (CanOpenReadWrite(path.toStdString()))
            QSKIP("root can write read-only files");
        TOptions ro(path.toStdString());
        QVERIFY(ro.Entries.empty());
        QVERIFY(!ro.GetBool("Maximize"));
    }

    void toggleRemovesAndAppends()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/s.cfg";
        Write(path, "Maximize=enabled\r\nOther=x\r\n");
        TOptions o(path.toStdString());
        QCOMPARE(o.Toggle("Maximize"), false);
        QCOMPARE(ReadAll(path), QByteArray("Other=x\r\n"));
        QCOMPARE(o.Toggle("Maximize"), true);
        QCOMPARE(ReadAll(path), QByteArray("Other=x\r\nMaximize=1\r\n"));
        // A fresh object reads the same meaning.
        QVERIFY(TOptions(path.toStdString()).GetBool("maximize"));
    }

    void setValueAndNoFileObject()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/s.cfg";
        TOptions o(path.toStdString());
        o.SetValue("A", "1");
        o.SetValue("B", "2");
        o.SetValue("a", "3");
        QCOMPARE(ReadAll(path), QByteArray("a=3\r\nB=2\r\n"));
        o.SetValue("Missing", "");
        o.SetValue("B", "");
        QCOMPARE(ReadAll(path), QByteArray("a=3\r\n"));
        TOptions none;
        none.SetValue("X", "1");
        QVERIFY(none.GetBool("X"));
        QVERIFY(!none.Save());
    }

    void failedSaveKeepsValueInMemory()
    {
        TOptions o("/no/such/folder/s.cfg");
        o.SetValue("Maximize", "1");
        QVERIFY(o.GetBool("Maximize"));
    }

    void settingsFileName()
    {
        QCOMPARE(SettingsFileName("/opt/rasmik/bin/rasmik", "/home/u/.local/share/Rasmik/"),
                 std::string("/home/u/.local/share/Rasmik/rasmik_Settings.cfg"));
        QCOMPARE(SettingsFileName("/apps/Viewer.exe", "/apps/"), std::string("/apps/Viewer_Settings.cfg"));
    }

    void appOptions()
    {
        QTemporaryDir dir;
        SetExeFolderForTesting(dir.path().toStdString() + "/");
        Write(dir.path() + "/AppOptions.txt", "NoSheet=1\r\nTextEditor=/usr/bin/true\r\n");
        AppOptions(true);
        QCOMPARE(GetAppOption("nosheet"), std::string("1"));
        QCOMPARE(GetAppOption("TextEditor"), std::string("/usr/bin/true"));
        QCOMPARE(GetAppOption("Other"), std::string());
        // Kept for the run until reloaded.
        Write(dir.path() + "/AppOptions.txt", "NoSheet=0\r\n");
        QCOMPARE(GetAppOption("NoSheet"), std::string("1"));
        AppOptions(true);
        QCOMPARE(GetAppOption("NoSheet"), std::string("0"));
    }

    void fontToText_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<int>("colour");
        QTest::addColumn<bool>("bold");
        QTest::addColumn<bool>("italic");
        QTest::addColumn<bool>("underline");
        QTest::addColumn<bool>("strike");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("line");
        QTest::newRow("Tahoma 10 bold window text")
            << 10 << int(WindowTextColour) << true << false << false << false << "Tahoma"
            << "10 -2147483640 1 0 0 0 Tahoma";
        QTest::newRow("name with spaces, colour") << 12 << 255 << false << true << true << true << "Times New Roman"
                                                  << "12 255 0 1 1 1 Times New Roman";
    }
    void fontToText()
    {
        QFETCH(int, size);
        QFETCH(int, colour);
        QFETCH(bool, bold);
        QFETCH(bool, italic);
        QFETCH(bool, underline);
        QFETCH(bool, strike);
        QFETCH(QString, name);
        QFETCH(QString, line);
        FontRecord f{size, colour, bold, italic, underline, strike, name.toStdString()};
        QCOMPARE(QString::fromStdString(FontToText(f)), line);
        FontRecord back;
        back.name = "Other";
        TextToFont(line.toStdString(), back);
        QCOMPARE(back.size, size);
        QCOMPARE(back.colour, colour);
        QCOMPARE(back.bold, bold);
        QCOMPARE(back.italic, italic);
        QCOMPARE(back.underline, underline);
        QCOMPARE(back.strikeOut, strike);
        QCOMPARE(QString::fromStdString(back.name), name);
    }

    void textToFontPartialLines()
    {
        FontRecord f{9, 255, true, true, false, false, "Keep"};
        TextToFont("14", f);
        QCOMPARE(f.size, 14);
        QCOMPARE(f.colour, 0);
        QVERIFY(!f.bold && !f.italic);
        QCOMPARE(f.name, std::string("Keep"));
        FontRecord g{9, 255, true, false, false, false, "Keep"};
        TextToFont("", g);
        QCOMPARE(g.size, 9);
        QVERIFY(g.bold);
        TextToFont("x y 256 1", g);
        QCOMPARE(g.size, 0);
        QVERIFY(!g.bold);
        QVERIFY(g.italic);
    }

    void fontFileWithFinalLineBreak()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/Font.fnt";
        Write(path, "10 -2147483640 1 0 0 0 Tahoma\r\n");
        FontRecord f;
        TextToFont(LoadTextRetry(path.toStdString(), true), f);
        QCOMPARE(f.name, std::string("Tahoma"));
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
