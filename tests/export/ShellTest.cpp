#include "common/TestFiles.h"
#include "common/Waits.h"
#include "export/ShellOpen.h"
#include "export/TextViewer.h"
#include "table/Options.h"
#include "text/TextFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QUrl>

using namespace rasmik;

// A recording script stands in for the text editor and for started programs:
// it writes its working folder and its arguments, each in brackets, to a file.
class TestShell : public QObject {
    Q_OBJECT

    QTemporaryDir exeDir_;
    QTemporaryDir work_;
    QString script_;
    QString record_;
    QList<QUrl> opened_;

    void setAppOptions(const QByteArray& text)
    {
        QVERIFY(Write(exeDir_.filePath(QStringLiteral("AppOptions.txt")), text));
        AppOptions(true);
    }

    void useRecordingEditor() { setAppOptions("TextEditor=" + QFile::encodeName(script_) + "\r\n"); }

    // The recorded call, or an empty list when nothing was started in time.
    QStringList waitForCall(int ms = WaitMs)
    {
        for (int waited = 0; waited < ms && !QFile::exists(record_); waited += 20)
            QThread::msleep(20);
        if (!QFile::exists(record_))
            return {};
        return QString::fromUtf8(ReadAll(record_)).split(QLatin1Char('\n'));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(exeDir_.isValid() && work_.isValid());
        SetExeFolderForTesting(NativePath(exeDir_.path()) + "/");
        script_ = exeDir_.filePath(QStringLiteral("record editor.sh"));
        record_ = exeDir_.filePath(QStringLiteral("calls.txt"));
        QFile f(script_);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\n"
                "out=\"$(dirname \"$0\")/calls.txt\"\n"
                "{ pwd; for a in \"$@\"; do printf '[%s]' \"$a\"; done; } > \"$out.part\"\n"
                "mv \"$out.part\" \"$out\"\n");
        f.close();
        QVERIFY(f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
        SetUrlOpenerForTesting([this](const QUrl& url) {
            opened_ << url;
            return true;
        });
    }

    void init()
    {
        QFile::remove(record_);
        opened_.clear();
        setAppOptions("");
    }

    void cleanupTestCase() { SetUrlOpenerForTesting({}); }

    void showListInNotepad()
    {
        useRecordingEditor();
        QVERIFY(QDir().mkpath(work_.filePath(QStringLiteral("my values"))));
        const QString path = work_.filePath(QStringLiteral("my values/ColValue 3.txt"));
        ShowListInNotepad(NativePath(path), {"a", "\xD3\xE1\xC7\xE3", ""});
        QCOMPARE(ReadAll(path), QByteArray("a\r\n\xD3\xE1\xC7\xE3\r\n\r\n"));
        const QStringList call = waitForCall();
        QCOMPARE(call.size(), 2);
        QCOMPARE(call[1], "[" + path + "]");
        QVERIFY(opened_.isEmpty());
    }

    void notePadCaption_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::newRow("start-up caption") << QStringLiteral("Rasmik");
        QTest::newRow("path with spaces") << QStringLiteral("/home/u/My Tables/جدول 1.txt");
        QTest::newRow("quotes and shell characters") << QStringLiteral("a \"b\" $HOME; `x` 'c'");
        QTest::newRow("empty") << QString();
    }
    void notePadCaption()
    {
        QFETCH(QString, caption);
        useRecordingEditor();
        OpenInTextEditor(caption);
        const QStringList call = waitForCall();
        QCOMPARE(call.size(), 2);
        QCOMPARE(call[1], "[" + caption + "]");
        QVERIFY(opened_.isEmpty());
    }

    void editorSettingSpaces()
    {
        setAppOptions("textEditor=  " + QFile::encodeName(script_) + "  \r\n");
        OpenInTextEditor(QStringLiteral("x.txt"));
        QCOMPARE(waitForCall().value(1), QStringLiteral("[x.txt]"));
    }

    void desktopDefaultWithoutEditor()
    {
        const QString path = work_.filePath(QStringLiteral("values.txt"));
        ShowListInNotepad(NativePath(path), {"1", "2"});
        QCOMPARE(ReadAll(path), QByteArray("1\r\n2\r\n"));
        QCOMPARE(opened_, QList<QUrl>{QUrl::fromLocalFile(path)});
        opened_.clear();
        OpenInTextEditor(path);
        QCOMPARE(opened_, QList<QUrl>{QUrl::fromLocalFile(path)});
    }

    void missingEditorIsQuiet()
    {
        setAppOptions("TextEditor=/no/such/editor\r\n");
        const QString path = work_.filePath(QStringLiteral("quiet.txt"));
        ShowListInNotepad(NativePath(path), {"x"});
        QCOMPARE(ReadAll(path), QByteArray("x\r\n"));
        QVERIFY(opened_.isEmpty());
        // An unwritable list file is not reported either; the editor still opens it.
        useRecordingEditor();
        const QString missing = work_.filePath(QStringLiteral("no folder/list.txt"));
        ShowListInNotepad(NativePath(missing), {"x"});
        QVERIFY(!QFile::exists(missing));
        QCOMPARE(waitForCall().value(1), "[" + missing + "]");
    }

    void shellOpen_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("parameters");
        QTest::addColumn<QString>("verb");
        // "url <file>", "run <working folder> <arguments>" or "nothing"
        QTest::addColumn<QString>("expected");
        const QString work = work_.path();
        const QString book = work_.filePath(QStringLiteral("book.xlsx"));
        QTest::newRow("file") << book << ""
                              << ""
                              << ""
                              << "url " + book;
        QTest::newRow("file, verb open") << book << ""
                                         << ""
                                         << "OPEN"
                                         << "url " + book;
        QTest::newRow("relative file in folder") << "book.xlsx" << work << ""
                                                 << ""
                                                 << "url " + book;
        QTest::newRow("other verb") << book << ""
                                    << ""
                                    << "print"
                                    << "nothing";
        QTest::newRow("missing file") << work_.filePath(QStringLiteral("none.xlsx")) << ""
                                      << ""
                                      << ""
                                      << "nothing";
        QTest::newRow("empty target") << "" << work << ""
                                      << ""
                                      << "nothing";
        QTest::newRow("program with parameters") << script_ << work << "\"a b\" c"
                                                 << ""
                                                 << "run " + work + " [a b][c]";
        QTest::newRow("program, quoted path parameter") << script_ << ""
                                                        << "\"" + book + "\""
                                                        << ""
                                                        << "run " + QDir::currentPath() + " [" + book + "]";
    }
    void shellOpen()
    {
        QFETCH(QString, target);
        QFETCH(QString, folder);
        QFETCH(QString, parameters);
        QFETCH(QString, verb);
        QFETCH(QString, expected);
        QFile book(work_.filePath(QStringLiteral("book.xlsx")));
        QVERIFY(book.open(QIODevice::WriteOnly));
        book.close();

        ShellOpen(NativePath(target), NativePath(folder), NativePath(parameters), NativePath(verb), SwShow);

        if (expected.startsWith(QLatin1String("url "))) {
            QCOMPARE(opened_, QList<QUrl>{QUrl::fromLocalFile(expected.mid(4))});
        } else if (expected.startsWith(QLatin1String("run "))) {
            const QStringList call = waitForCall();
            QCOMPARE(call.size(), 2);
            QCOMPARE("run " + call[0] + " " + call[1], expected);
            QVERIFY(opened_.isEmpty());
        } else {
            QVERIFY(opened_.isEmpty());
            QVERIFY(waitForCall(300).isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(TestShell)
#include "ShellTest.moc"
