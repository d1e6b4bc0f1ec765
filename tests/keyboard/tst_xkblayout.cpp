// The XKB input-language service against a real X server (Xvfb). The test
// keeps a connection of its own that loads keymaps with several groups and
// reads the locked group, as another program on the same desktop would.

#include "text/KeyboardLayout.h"
#include "text/XkbLayout.h"

#include <QProcess>
#include <QStringList>
#include <QtTest>

#include <memory>
#include <string>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>

using namespace rasmik;

namespace {

class CountingService final : public InputLanguageService {
public:
    explicit CountingService(InputLanguageService& inner) : inner(inner) { }
    std::string activeLayoutId() override { return inner.activeLayoutId(); }
    std::vector<InstalledLayout> installedLayouts() override { return inner.installedLayouts(); }
    void activateNextLayout() override
    {
        ++switches;
        inner.activateNextLayout();
    }
    InputLanguageService& inner;
    int switches = 0;
};

struct ServiceScope {
    explicit ServiceScope(InputLanguageService* service) { SetInputLanguageServiceForTesting(service); }
    ~ServiceScope() { SetInputLanguageServiceForTesting(nullptr); }
};

QString Text(const std::string& s)
{
    return QString::fromStdString(s);
}

} // namespace

class TestXkbLayout : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void serverAsStartedIsReadable();
    void switching_data();
    void switching();
    void followsGroupChosenElsewhere();
    void unknownLayoutShowsNoLanguage();
    void serverGoingAwayIsHarmless();

private:
    // Loads a keymap of the given layouts ("us,ir") and locks group `group`.
    bool loadLayouts(const QString& layouts, int group);
    int lockedGroup();
    int groupCount();

    Display* own = nullptr;
    std::unique_ptr<InputLanguageService> service;
};

void TestXkbLayout::initTestCase()
{
    QVERIFY2(qEnvironmentVariableIsSet("DISPLAY"), "needs an X server (run through ctest, under xvfb-run)");
    own = XOpenDisplay(nullptr);
    QVERIFY(own);
    int opcode = 0, event = 0, error = 0, major = XkbMajorVersion, minor = XkbMinorVersion;
    QVERIFY(XkbQueryExtension(own, &opcode, &event, &error, &major, &minor));
    service = OpenXkbInputLanguageService(nullptr);
    QVERIFY(service);
}

void TestXkbLayout::cleanupTestCase()
{
    service.reset();
    if (own)
        XCloseDisplay(own);
}

bool TestXkbLayout::loadLayouts(const QString& layouts, int group)
{
    // The symbols name the rules would build, e.g. "pc+us+ir:2+inet(evdev)".
    QString symbols = QStringLiteral("pc");
    const QStringList names = layouts.split(',');
    for (int i = 0; i < names.size(); ++i)
        symbols += "+" + names[i] + (i ? ":" + QString::number(i + 1) : QString());
    symbols += QStringLiteral("+inet(evdev)");

    std::string keycodes = "evdev+aliases(qwerty)", types = "complete", compat = "complete";
    std::string symbolsText = symbols.toStdString();
    XkbComponentNamesRec components{};
    components.keycodes = keycodes.data();
    components.types = types.data();
    components.compat = compat.data();
    components.symbols = symbolsText.data();
    XkbDescPtr loaded = XkbGetKeyboardByName(own, XkbUseCoreKbd, &components, XkbGBN_AllComponentsMask,
                                             XkbGBN_AllComponentsMask & ~XkbGBN_GeometryMask, True);
    if (!loaded)
        return false;
    XkbFreeKeyboard(loaded, 0, True);
    XkbLockGroup(own, XkbUseCoreKbd, static_cast<unsigned>(group));
    XSync(own, False);
    return groupCount() == names.size() && lockedGroup() == group;
}

int TestXkbLayout::lockedGroup()
{
    XkbStateRec state{};
    XkbGetState(own, XkbUseCoreKbd, &state);
    return state.locked_group;
}

int TestXkbLayout::groupCount()
{
    XkbDescPtr desc = XkbAllocKeyboard();
    desc->device_spec = XkbUseCoreKbd;
    XkbGetControls(own, XkbGroupsWrapMask, desc);
    const int count = desc->ctrls ? desc->ctrls->num_groups : 0;
    XkbFreeKeyboard(desc, 0, True);
    return count;
}

void TestXkbLayout::serverAsStartedIsReadable()
{
    const auto installed = service->installedLayouts();
    QCOMPARE(static_cast<int>(installed.size()), groupCount());
    QCOMPARE(service->activeLayoutId().size(), std::size_t(8));
}

void TestXkbLayout::switching_data()
{
    QTest::addColumn<QString>("layouts");
    QTest::addColumn<int>("startGroup");
    QTest::addColumn<bool>("persian");
    QTest::addColumn<int>("switches");
    QTest::addColumn<int>("finalGroup");
    QTest::addColumn<QString>("finalId");
    QTest::addColumn<QString>("language");

    QTest::newRow("us only, on") << "us" << 0 << true << 5 << 0 << "00000409"
                                 << "English (United States) - ENU";
    QTest::newRow("us only, off") << "us" << 0 << false << 0 << 0 << "00000409"
                                  << "English (United States) - ENU";
    QTest::newRow("us,ir on") << "us,ir" << 0 << true << 1 << 1 << "00000429"
                              << "Persian - FAR";
    QTest::newRow("us,ir off") << "us,ir" << 1 << false << 1 << 0 << "00000409"
                               << "English (United States) - ENU";
    QTest::newRow("Persian already") << "ir,us" << 0 << true << 0 << 0 << "00000429"
                                     << "Persian - FAR";
    QTest::newRow("wraps round") << "ir,us,de" << 1 << true << 2 << 0 << "00000429"
                                 << "Persian - FAR";
    QTest::newRow("three without Persian") << "us,de,fr" << 0 << true << 5 << 2 << "0000040C"
                                           << "French (France) - FRA";
    QTest::newRow("Persian only, off") << "ir" << 0 << false << 5 << 0 << "00000429"
                                       << "Persian - FAR";
    QTest::newRow("four groups") << "us,de,fr,ir" << 0 << true << 3 << 3 << "00000429"
                                 << "Persian - FAR";
}

void TestXkbLayout::switching()
{
    QFETCH(QString, layouts);
    QFETCH(int, startGroup);
    QFETCH(bool, persian);
    QFETCH(int, switches);
    QFETCH(int, finalGroup);
    QFETCH(QString, finalId);
    QFETCH(QString, language);

    QVERIFY2(loadLayouts(layouts, startGroup), "the X server did not take the keymap");
    CountingService counting(*service);
    ServiceScope scope(&counting);
    QCOMPARE(static_cast<int>(service->installedLayouts().size()), layouts.count(',') + 1);

    SetPersianKeyboard(persian);
    QCOMPARE(counting.switches, switches);
    QCOMPARE(lockedGroup(), finalGroup);
    QCOMPARE(Text(CurrentLayoutName()), finalId);
    QCOMPARE(Text(CurrentInputLanguageText()), language);
}

void TestXkbLayout::followsGroupChosenElsewhere()
{
    QVERIFY(loadLayouts("us,ir", 0));
    ServiceScope scope(service.get());
    QCOMPARE(Text(CurrentInputLanguageText()), QString("English (United States) - ENU"));
    XkbLockGroup(own, XkbUseCoreKbd, 1);
    XSync(own, False);
    QCOMPARE(Text(CurrentLayoutName()), QString(PersianLayoutId));
    QCOMPARE(Text(CurrentInputLanguageText()), QString("Persian - FAR"));
}

void TestXkbLayout::unknownLayoutShowsNoLanguage()
{
    QVERIFY(loadLayouts("us,epo", 1));
    ServiceScope scope(service.get());
    QCOMPARE(Text(CurrentLayoutName()), QString("0000E001"));
    QCOMPARE(Text(CurrentInputLanguageText()), QString());
    SetPersianKeyboard(false);
    QCOMPARE(lockedGroup(), 1);
}

void TestXkbLayout::serverGoingAwayIsHarmless()
{
    QProcess server;
    server.setProgram(QStringLiteral("Xvfb"));
    server.setArguments({"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "320x240x24"});
    server.start();
    QVERIFY2(server.waitForStarted(), "Xvfb could not be started");
    QByteArray number;
    for (int i = 0; i < 100 && !number.contains('\n'); ++i) {
        server.waitForReadyRead(100);
        number += server.readAllStandardOutput();
    }
    QVERIFY2(number.contains('\n'), "Xvfb did not report its display");
    const std::string name = ":" + number.trimmed().toStdString();

    auto doomed = OpenXkbInputLanguageService(name.c_str());
    QVERIFY(doomed);
    QCOMPARE(doomed->activeLayoutId().size(), std::size_t(8));

    server.terminate();
    QVERIFY(server.waitForFinished());

    QCOMPARE(Text(doomed->activeLayoutId()), QString());
    QVERIFY(doomed->installedLayouts().empty());
    {
        CountingService counting(*doomed);
        ServiceScope scope(&counting);
        SetPersianKeyboard(false);
        QCOMPARE(counting.switches, 0);
        SetPersianKeyboard(true); // five steps that reach nothing
        QCOMPARE(counting.switches, 5);
        QCOMPARE(Text(CurrentInputLanguageText()), QString());
    }
    doomed.reset();

    // The connection to the desktop's own server is untouched.
    QCOMPARE(service->activeLayoutId().size(), std::size_t(8));
}

QTEST_GUILESS_MAIN(TestXkbLayout)
#include "tst_xkblayout.moc"
