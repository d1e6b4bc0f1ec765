// Replays the fuzz targets' seed corpus and every kept finding
// (fuzz/corpus/<target>/, fuzz/regressions/<target>/) through the targets'
// own entry points: a property that breaks again aborts this test.

#include "FuzzTargets.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using namespace rasmik;

class TestFuzzRegressions : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { fuzz::EnsureGuiApplication(); }

    void replay_data()
    {
        QTest::addColumn<int>("target");
        QTest::addColumn<QString>("path");
        int kept = 0;
        for (std::size_t t = 0; t < fuzz::Targets.size(); ++t) {
            int seeds = 0;
            for (const char* kind : {"corpus", "regressions"}) {
                const QDir dir(QStringLiteral(RASMIK_SOURCE_DIR "/fuzz/%1/%2")
                                   .arg(QLatin1String(kind), QLatin1String(fuzz::Targets[t].name)));
                for (const QFileInfo& f : dir.entryInfoList(QDir::Files, QDir::Name)) {
                    const QString tag = QStringLiteral("%1/%2/%3").arg(kind, fuzz::Targets[t].name, f.fileName());
                    QTest::newRow(qPrintable(tag)) << static_cast<int>(t) << f.filePath();
                    if (QLatin1String(kind) == QLatin1String("corpus"))
                        ++seeds;
                    else
                        ++kept;
                }
            }
            // Every target has seeds of its own.
            QVERIFY2(seeds >= 3, fuzz::Targets[t].name);
        }
        QVERIFY(kept >= 1);
    }

    void replay()
    {
        QFETCH(int, target);
        QFETCH(QString, path);
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
        QCOMPARE(fuzz::Targets[static_cast<std::size_t>(target)].entry(data, static_cast<std::size_t>(bytes.size())),
                 0);
    }
};

QTEST_MAIN(TestFuzzRegressions)
#include "test_fuzz_regressions.moc"
