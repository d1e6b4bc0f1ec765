// The font's bounds kept between runs: what is read back is what was
// measured, and a file that is damaged, or was measured under another Qt
// or for another font, is never trusted.

#include "render/FontModel.h"
#include "render/QtTextMetrics.h"
#include "text/TextFiles.h"

#include <QFile>
#include <QFontDatabase>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <functional>

using namespace rasmik;

namespace {

// The file's checksum, written afresh after an edit so that only the edit
// itself can make the file untrusted.
void Reseal(QByteArray& bytes)
{
    std::uint64_t h = 1469598103934665603ull;
    for (qsizetype i = 0; i < bytes.size() - 8; ++i)
        h = (h ^ static_cast<unsigned char>(bytes[i])) * 1099511628211ull;
    std::memcpy(bytes.data() + bytes.size() - 8, &h, 8);
}

using Edit = std::function<void(QByteArray&)>;

} // namespace

Q_DECLARE_METATYPE(Edit)

class TestFontModelCache : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QFont font_;
    QByteArray kept_;

private slots:
    void initTestCase()
    {
        SetExeFolderForTesting(dir_.path().toStdString());
        font_ = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
        font_.setPointSize(11);
        // Measured once, kept in the program folder.
        const QtTextMetrics metrics(font_);
        QCOMPARE(FontBoundsMeasured(), 0);
        ShapeBounds shape;
        QVERIFY(metrics.shapeBounds(shape));
        QCOMPARE(FontBoundsMeasured(), 1);
        QFile file(QString::fromStdString(FontModelFile(font_, FontModelKey(font_))));
        QVERIFY(file.open(QIODevice::ReadOnly));
        kept_ = file.readAll();

        const std::shared_ptr<const FontModel> read = LoadFontModel(font_, FontModelKey(font_));
        QVERIFY(read);
        QCOMPARE(read->shape.form64, shape.form64);
        QCOMPARE(read->shape.pairExtra64, shape.pairExtra64);
        QCOMPARE(read->shape.ligatures, shape.ligatures);
        QCOMPARE(read->shape.arabicLigature64, shape.arabicLigature64);
        for (int b = 0; b < 256; ++b)
            QCOMPARE(read->bounds[static_cast<std::size_t>(b)],
                     metrics.byteAdvanceBound(static_cast<unsigned char>(b)));
    }

    void untrusted_data()
    {
        QTest::addColumn<Edit>("edit");
        const auto replace = [](const char* from, const char* to) {
            return Edit([=](QByteArray& b) {
                const qsizetype at = b.indexOf(from);
                QVERIFY(at >= 0);
                b.replace(at, qsizetype(std::strlen(from)), to);
                Reseal(b);
            });
        };
        QTest::newRow("a byte of the bounds flipped")
            << Edit([](QByteArray& b) { b[b.size() / 2] = char(b[b.size() / 2] ^ 4); });
        QTest::newRow("cut short") << Edit([](QByteArray& b) { b.chop(100); });
        QTest::newRow("cut short, sealed again") << Edit([](QByteArray& b) {
            b.remove(b.size() / 2, 64);
            Reseal(b);
        });
        QTest::newRow("a byte more, sealed again") << Edit([](QByteArray& b) {
            b.insert(b.size() - 8, 'x');
            Reseal(b);
        });
        QTest::newRow("another Qt") << replace("|Qt " QT_VERSION_STR "|", "|Qt 5.0.0|");
        QTest::newRow("other font files") << Edit([](QByteArray& b) {
            const qsizetype at = b.indexOf("|Qt ");
            const qsizetype print = b.indexOf('|', at + 1) + 1; // the fingerprint's first digit
            b[print] = b[print] == '0' ? '1' : '0';
            Reseal(b);
        });
        QTest::newRow("another format") << replace("font bounds 1\n", "font bounds 9\n");
        QTest::newRow("empty") << Edit([](QByteArray& b) { b.clear(); });
    }

    void untrusted()
    {
        QFETCH(Edit, edit);
        QByteArray bytes = kept_;
        edit(bytes);
        QFile file(QString::fromStdString(FontModelFile(font_, FontModelKey(font_))));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        file.close();
        QVERIFY(!LoadFontModel(font_, FontModelKey(font_)));
    }

    void anotherSizeIsAnotherModel()
    {
        QFont other = font_;
        other.setPointSize(font_.pointSize() + 3);
        QVERIFY(!LoadFontModel(other, FontModelKey(other)));
        QVERIFY(FontModelFile(other, FontModelKey(other)) != FontModelFile(font_, FontModelKey(font_)));
    }
};

QTEST_MAIN(TestFontModelCache)
#include "tst_FontModelCache.moc"
