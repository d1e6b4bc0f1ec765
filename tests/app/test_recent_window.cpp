// File > "Recent": the last ten tables opened or saved, most recent first,
// read left to right; one opens after the unsaved-changes question, one
// that is gone is said so and taken off. Every open also goes to the
// desktop's recently-used.xbel, read back by Python's own XML reader, the
// other programs' entries kept.

#include "app/MainWindow.h"
#include "app/RecentlyUsed.h"
#include "common/ModalCloser.h"
#include "common/TestFiles.h"
#include "common/Waits.h"
#include "common/WindowHelpers.h"
#include "table/RecentTables.h"
#include "text/TextFiles.h"

#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace rasmik;

namespace {

// The bookmarks of an XBEL file as Python reads them: href, then the
// applications that used it with their counts.
QStringList ReadXbel(const QString& file)
{
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import sys, xml.etree.ElementTree as ET\n"
                                 "app = '{http://www.freedesktop.org/standards/desktop-bookmarks}application'\n"
                                 "for b in ET.parse(sys.argv[1]).getroot().findall('bookmark'):\n"
                                 "    apps = ['%s=%s' % (a.get('name'), a.get('count')) for a in b.iter(app)]\n"
                                 "    print(b.get('href'), ' '.join(apps))\n"),
                  file});
    if (!python.waitForFinished(60000) || python.exitCode() != 0)
        return {QStringLiteral("python: ") + QString::fromUtf8(python.readAllStandardError())};
    return QString::fromUtf8(python.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

} // namespace

class TestRecentWindow : public QObject {
    Q_OBJECT
    QTemporaryDir appDir_;
    QTemporaryDir dataDir_;
    QTemporaryDir tables_;

    QString table(int n) const { return tables_.filePath(QStringLiteral("جدول %1 & co.txt").arg(n)); }
    static QStringList shown(MainWindow& w)
    {
        auto* menu = w.findChild<QMenu*>(QStringLiteral("recentMenu"));
        if (!menu)
            return {QStringLiteral("no menu")};
        emit menu->aboutToShow();
        QStringList texts;
        for (QAction* a : menu->actions())
            texts << a->text();
        return texts;
    }
    static QString item(int n, const QString& path)
    {
        QString p = path;
        return QChar(0x200E) + (n < 10 ? QStringLiteral("&%1").arg(n) : QStringLiteral("1&0")) + QLatin1Char(' ')
            + QChar(0x2066) + p.replace(QLatin1Char('&'), QStringLiteral("&&")) + QChar(0x2069) + QChar(0x200E);
    }

private slots:
    void initTestCase()
    {
        SetExeFolderForTesting((appDir_.path() + "/").toStdString());
        qputenv("XDG_DATA_HOME", dataDir_.path().toLocal8Bit());
        for (int n = 1; n <= 12; ++n)
            QVERIFY(Write(table(n), QStringLiteral("h\n%1\n").arg(n).toUtf8()));
    }

    void lastTenMostRecentFirst()
    {
        auto w = std::make_unique<MainWindow>();
        QCOMPARE(shown(*w), QStringList{QStringLiteral("(none)")});
        for (int n = 1; n <= 12; ++n)
            QVERIFY(w->openFile(NativePath(table(n))));
        // Opened again, a table moves to the front rather than show twice.
        QVERIFY(w->openFile(NativePath(table(5))));
        QStringList expected{item(1, table(5))};
        for (int n = 12, k = 2; k <= 10; --n)
            if (n != 5)
                expected << item(k++, table(n));
        QCOMPARE(shown(*w), expected);

        // One click opens it, after the question about unsaved changes.
        GridModel& model = w->grid()->gridModel();
        QVERIFY(model.setData(model.index(model.modelRow(1), 0), QStringLiteral("changed"), Qt::EditRole));
        int asked = 0;
        w->runUnsavedQuestion = [&](QMessageBox&) {
            ++asked;
            return int(QMessageBox::Discard);
        };
        auto* menu = w->findChild<QMenu*>(QStringLiteral("recentMenu"));
        emit menu->aboutToShow();
        menu->actions().at(3)->trigger();
        QCOMPARE(asked, 1);
        QCOMPARE(w->document().path(), NativePath(table(10)));

        // One that is gone is said so and taken off.
        QVERIFY(QFile::remove(table(11)));
        emit menu->aboutToShow();
        ModalCloser closer;
        const QList<QAction*> items = menu->actions();
        const auto gone =
            std::find_if(items.begin(), items.end(), [&](QAction* a) { return a->text() == item(4, table(11)); });
        QVERIFY(gone != items.end());
        (*gone)->trigger();
        COMPARE_MESSAGES(closer, 1);
        QVERIFY(closer.texts.front().contains(table(11)));
        QVERIFY(!shown(*w).join('\n').contains(table(11)));
        QCOMPARE(LoadRecentTables(appDir_.path().toStdString() + "/" + RecentTablesFile).size(), std::size_t{9});
        QCOMPARE(w->document().path(), NativePath(table(10)));
        QVERIFY(Write(table(11), "h\n11\n"));
    }

    void desktopRecentlyUsed()
    {
        // Another program's list, which stays as it was.
        const QString xbel = dataDir_.filePath("recently-used.xbel");
        QVERIFY(Write(xbel,
                      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<xbel version=\"1.0\" xmlns:bookmark=\"http://www.freedesktop.org/standards/desktop-bookmarks\" "
                      "xmlns:mime=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
                      "  <bookmark href=\"file:///home/u/letter.odt\" added=\"2026-01-01T10:00:00.000000Z\" "
                      "modified=\"2026-01-01T10:00:00.000000Z\" visited=\"2026-01-01T10:00:00.000000Z\">\n"
                      "    <info><metadata owner=\"http://freedesktop.org\">"
                      "<mime:mime-type type=\"application/vnd.oasis.opendocument.text\"/>\n"
                      "      <bookmark:applications><bookmark:application name=\"LibreOffice\" "
                      "exec=\"&apos;soffice %u&apos;\" modified=\"2026-01-01T10:00:00.000000Z\" count=\"4\"/>"
                      "</bookmark:applications>\n"
                      "    </metadata></info>\n"
                      "  </bookmark>\n"
                      "</xbel>\n"));
        QCOMPARE(RecentlyUsedFile(), xbel);
        auto w = std::make_unique<MainWindow>();
        QVERIFY(w->openFile(NativePath(table(1))));
        QVERIFY(w->openFile(NativePath(table(2))));
        QVERIFY(w->openFile(NativePath(table(1))));
        // The list is written off the window's thread; the window's end waits for it.
        w.reset();
        const QString one = QString::fromLatin1(QUrl::fromLocalFile(table(1)).toEncoded());
        const QString two = QString::fromLatin1(QUrl::fromLocalFile(table(2)).toEncoded());
        QCOMPARE(ReadXbel(xbel),
                 (QStringList{QStringLiteral("file:///home/u/letter.odt LibreOffice=4"),
                              one + QStringLiteral(" Rasmik=2"), two + QStringLiteral(" Rasmik=1")}));
        // A list that is no XBEL is never written over.
        QVERIFY(Write(xbel, "not xml <"));
        QVERIFY(!AddToRecentlyUsed(NativePath(table(3))));
        QCOMPARE(ReadAll(xbel), QByteArray("not xml <"));
        QFile::remove(xbel);
    }
};

QTEST_MAIN(TestRecentWindow)
#include "test_recent_window.moc"
