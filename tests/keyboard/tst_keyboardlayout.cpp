// Switching to and from the Persian layout and the language label text, on an
// in-memory input-language service; the XKB naming helpers without a server.

#include "text/KeyboardLayout.h"
#include "text/XkbLayout.h"

#include <QStringList>
#include <QtTest>

using namespace rasmik;

namespace {

// Layouts known by their XKB names, so that the cases read like a keyboard
// configuration ("us,ir"); "?" stands for a layout without a known language.
class MemoryLayouts final : public InputLanguageService {
public:
    MemoryLayouts(const QStringList& names, int activeIndex) : active(activeIndex)
    {
        int group = 0;
        for (const QString& name : names)
            layouts.push_back(DescribeXkbLayout({name.toStdString(), {}}, group++));
    }
    std::string activeLayoutId() override
    {
        return layouts.empty() ? std::string() : layouts[static_cast<std::size_t>(active)].layoutId;
    }
    std::vector<InstalledLayout> installedLayouts() override
    {
        std::vector<InstalledLayout> result;
        for (const auto& layout : layouts)
            result.push_back(layout.language);
        return result;
    }
    void activateNextLayout() override
    {
        ++switches;
        if (!layouts.empty())
            active = (active + 1) % static_cast<int>(layouts.size());
    }

    std::vector<XkbLayoutDescription> layouts;
    int active = 0;
    int switches = 0;
};

// Any identifier and any list, for the matching rules of the language text.
class RawLayouts final : public InputLanguageService {
public:
    std::string activeLayoutId() override { return active; }
    std::vector<InstalledLayout> installedLayouts() override { return layouts; }
    void activateNextLayout() override { }

    std::string active;
    std::vector<InstalledLayout> layouts;
};

struct ServiceScope {
    explicit ServiceScope(InputLanguageService* service) { SetInputLanguageServiceForTesting(service); }
    ~ServiceScope() { SetInputLanguageServiceForTesting(nullptr); }
};

QStringList Names(const std::vector<XkbLayoutName>& layouts)
{
    QStringList result;
    for (const auto& l : layouts)
        result << QString::fromStdString(l.variant.empty() ? l.layout : l.layout + "(" + l.variant + ")");
    return result;
}

} // namespace

class TestKeyboardLayout : public QObject {
    Q_OBJECT
private slots:
    void setPersianKeyboard_data();
    void setPersianKeyboard();
    void languageTextOfXkbLayouts_data();
    void languageTextOfXkbLayouts();
    void languageTextMatching_data();
    void languageTextMatching();
    void onlyFortyLayoutsAreConsidered();
    void headlessPlatformReportsNothing();
    void symbolsName_data();
    void symbolsName();
    void rulesLayouts();
    void groupNames_data();
    void groupNames();
    void resolveGroups();
    void unknownLayoutsHaveOwnIds();
};

void TestKeyboardLayout::setPersianKeyboard_data()
{
    QTest::addColumn<QStringList>("layouts");
    QTest::addColumn<int>("active");
    QTest::addColumn<bool>("persian");
    QTest::addColumn<int>("switches");
    QTest::addColumn<QString>("finalId");

    QTest::newRow("Persian already active") << QStringList{"us", "ir"} << 1 << true << 0 << "00000429";
    QTest::newRow("English then Persian, on") << QStringList{"us", "ir"} << 0 << true << 1 << "00000429";
    QTest::newRow("English then Persian, off") << QStringList{"us", "ir"} << 1 << false << 1 << "00000409";
    QTest::newRow("English already active, off") << QStringList{"us", "ir"} << 0 << false << 0 << "00000409";
    QTest::newRow("Persian third") << QStringList{"us", "de", "ir"} << 0 << true << 2 << "00000429";
    QTest::newRow("off steps once past Persian") << QStringList{"ir", "ir", "us"} << 0 << false << 2 << "00000409";
    QTest::newRow("three without Persian") << QStringList{"us", "de", "fr"} << 0 << true << 5 << "0000040C";
    QTest::newRow("Persian only, off") << QStringList{"ir"} << 0 << false << 5 << "00000429";
    QTest::newRow("nothing installed, on") << QStringList{} << 0 << true << 5 << "";
    QTest::newRow("nothing installed, off") << QStringList{} << 0 << false << 0 << "";
}

void TestKeyboardLayout::setPersianKeyboard()
{
    QFETCH(QStringList, layouts);
    QFETCH(int, active);
    QFETCH(bool, persian);
    QFETCH(int, switches);
    QFETCH(QString, finalId);

    MemoryLayouts service(layouts, active);
    ServiceScope scope(&service);
    SetPersianKeyboard(persian);
    QCOMPARE(service.switches, switches);
    QCOMPARE(QString::fromStdString(CurrentLayoutName()), finalId);
}

void TestKeyboardLayout::languageTextOfXkbLayouts_data()
{
    QTest::addColumn<QStringList>("layouts");
    QTest::addColumn<int>("active");
    QTest::addColumn<QString>("text");

    QTest::newRow("Persian active") << QStringList{"us", "ir"} << 1 << "Persian - FAR";
    QTest::newRow("English active") << QStringList{"us", "ir"} << 0 << "English (United States) - ENU";
    QTest::newRow("Arabic") << QStringList{"ara"} << 0 << "Arabic (Saudi Arabia) - ARA";
    QTest::newRow("German") << QStringList{"de"} << 0 << "German (Germany) - DEU";
    QTest::newRow("French") << QStringList{"fr", "ir"} << 0 << "French (France) - FRA";
    QTest::newRow("British") << QStringList{"gb"} << 0 << "English (United Kingdom) - ENG";
    QTest::newRow("unknown layout active") << QStringList{"us", "epo"} << 1 << "";
    QTest::newRow("unknown layout first") << QStringList{"epo", "ir"} << 1 << "Persian - FAR";
    QTest::newRow("no layouts") << QStringList{} << 0 << "";
}

void TestKeyboardLayout::languageTextOfXkbLayouts()
{
    QFETCH(QStringList, layouts);
    QFETCH(int, active);
    QFETCH(QString, text);

    MemoryLayouts service(layouts, active);
    ServiceScope scope(&service);
    QCOMPARE(QString::fromStdString(CurrentInputLanguageText()), text);
}

void TestKeyboardLayout::languageTextMatching_data()
{
    QTest::addColumn<QString>("active");
    QTest::addColumn<QStringList>("languages"); // "id|name|abbreviation"
    QTest::addColumn<QString>("text");

    const QStringList usIr{"0409|English|ENU", "0429|Persian|FAR"};
    QTest::newRow("exact end") << "00000429" << usIr << "Persian - FAR";
    QTest::newRow("inside a variant id") << "00010409" << usIr << "English - ENU";
    QTest::newRow("anywhere, not only the end") << "04290000" << usIr << "Persian - FAR";
    QTest::newRow("first in list order wins")
        << "00000409" << QStringList{"0000|Zero|ZRO", "0409|English|ENU"} << "Zero - ZRO";
    QTest::newRow("none matches") << "00000419" << usIr << "";
    QTest::newRow("empty language never matches")
        << "00000409" << QStringList{"||", "0409|English|ENU"} << "English - ENU";
    QTest::newRow("hex digits without case") << "0000040C" << QStringList{"040c|French|FRA"} << "French - FRA";
    QTest::newRow("no active layout") << "" << usIr << "";
}

void TestKeyboardLayout::languageTextMatching()
{
    QFETCH(QString, active);
    QFETCH(QStringList, languages);
    QFETCH(QString, text);

    RawLayouts service;
    service.active = active.toStdString();
    for (const QString& language : languages) {
        const QStringList parts = language.split('|');
        service.layouts.push_back({parts[0].toStdString(), parts[1].toStdString(), parts[2].toStdString()});
    }
    ServiceScope scope(&service);
    QCOMPARE(QString::fromStdString(CurrentInputLanguageText()), text);
}

void TestKeyboardLayout::onlyFortyLayoutsAreConsidered()
{
    RawLayouts service;
    service.active = "00000429";
    service.layouts.assign(39, InstalledLayout{"0407", "German", "DEU"});
    service.layouts.push_back({"0429", "Persian", "FAR"});
    ServiceScope scope(&service);
    QCOMPARE(QString::fromStdString(CurrentInputLanguageText()), QString("Persian - FAR"));

    service.layouts.insert(service.layouts.begin(), InstalledLayout{"0409", "English", "ENU"});
    QCOMPARE(QString::fromStdString(CurrentInputLanguageText()), QString());
}

// On the offscreen platform the keyboard of whatever X server DISPLAY names
// is left alone.
void TestKeyboardLayout::headlessPlatformReportsNothing()
{
    qputenv("QT_QPA_PLATFORM", "offscreen"); // before the first use of the platform service
    QCOMPARE(QString::fromStdString(CurrentLayoutName()), QString());
    QCOMPARE(QString::fromStdString(CurrentInputLanguageText()), QString());
    QVERIFY(CurrentInputLanguageService().installedLayouts().empty());
    SetPersianKeyboard(true);
    SetPersianKeyboard(false);
    QCOMPARE(QString::fromStdString(CurrentLayoutName()), QString());
}

void TestKeyboardLayout::symbolsName_data()
{
    QTest::addColumn<QString>("symbols");
    QTest::addColumn<QStringList>("layouts");

    QTest::newRow("one layout") << "pc+us+inet(evdev)" << QStringList{"us"};
    QTest::newRow("two layouts") << "pc+us+ir:2+inet(evdev)" << QStringList{"us", "ir"};
    QTest::newRow("Persian first") << "pc+ir+us:2+inet(evdev)+level3(ralt_switch)" << QStringList{"ir", "us"};
    QTest::newRow("variants and options")
        << "pc+us(dvorak)+ir(pes_keypad):2+de:3+inet(evdev)+group(alt_shift_toggle)+compose(menu)"
        << QStringList{"us(dvorak)", "ir(pes_keypad)", "de"};
    QTest::newRow("vendor folder") << "macintosh_vndr/us+ir:2" << QStringList{"us", "ir"};
    QTest::newRow("gap before a group") << "pc+de:3" << QStringList{"", "", "de"};
    QTest::newRow("first layout of a group wins") << "pc+us+ir:2+ara:2" << QStringList{"us", "ir"};
    QTest::newRow("group out of range ignored") << "pc+us+ir:9" << QStringList{"us"};
    QTest::newRow("empty") << "" << QStringList{};
}

void TestKeyboardLayout::symbolsName()
{
    QFETCH(QString, symbols);
    QFETCH(QStringList, layouts);
    QCOMPARE(Names(ParseXkbSymbolsName(symbols.toStdString())), layouts);
}

void TestKeyboardLayout::rulesLayouts()
{
    QCOMPARE(Names(ParseXkbRulesLayouts("us,ir", ",pes_keypad")), (QStringList{"us", "ir(pes_keypad)"}));
    QCOMPARE(Names(ParseXkbRulesLayouts("us", "")), QStringList{"us"});
    QCOMPARE(Names(ParseXkbRulesLayouts("", "")), QStringList{});
    QCOMPARE(Names(ParseXkbRulesLayouts("us,ir,de,fr,gb", "")), (QStringList{"us", "ir", "de", "fr"}));
}

void TestKeyboardLayout::groupNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("layout");

    QTest::newRow("Persian") << "Persian"
                             << "ir";
    QTest::newRow("Persian variant") << "Persian (with Persian keypad)"
                                     << "ir";
    QTest::newRow("English (US)") << "English (US)"
                                  << "us";
    QTest::newRow("English (UK)") << "English (UK)"
                                  << "gb";
    QTest::newRow("Arabic (Iraq) is not Arabic") << "Arabic (Iraq)"
                                                 << "iq";
    QTest::newRow("Pashto") << "Pashto"
                            << "af(ps)";
    QTest::newRow("unknown") << "Esperanto"
                             << "";
    QTest::newRow("prefix of a word") << "Persianish"
                                      << "";
    QTest::newRow("empty") << ""
                           << "";
}

void TestKeyboardLayout::groupNames()
{
    QFETCH(QString, name);
    QFETCH(QString, layout);
    const XkbLayoutName found = XkbLayoutFromGroupName(name.toStdString());
    QCOMPARE(found.layout.empty() ? QString() : Names({found}).front(), layout);
}

void TestKeyboardLayout::resolveGroups()
{
    const auto symbols = ParseXkbSymbolsName("pc+us+ir:2+inet(evdev)");
    const auto staleRules = ParseXkbRulesLayouts("us", "");
    const auto rules = ParseXkbRulesLayouts("de,ir", "");
    const std::vector<std::string> names{"German", "Persian"};

    // A property that a client did not update loses to the loaded keymap.
    QCOMPARE(Names(ResolveXkbGroupLayouts(2, symbols, staleRules, {})), (QStringList{"us", "ir"}));
    QCOMPARE(Names(ResolveXkbGroupLayouts(2, symbols, rules, names)), (QStringList{"us", "ir"}));
    // A keymap loaded from a file names no layouts; the property does.
    QCOMPARE(Names(ResolveXkbGroupLayouts(2, {}, rules, {})), (QStringList{"de", "ir"}));
    // Nothing but group names.
    QCOMPARE(Names(ResolveXkbGroupLayouts(2, {}, staleRules, names)), (QStringList{"de", "ir"}));
    QCOMPARE(Names(ResolveXkbGroupLayouts(2, {}, {}, {"Esperanto", ""})), (QStringList{"", ""}));
    QCOMPARE(Names(ResolveXkbGroupLayouts(0, symbols, rules, names)), QStringList{});
}

void TestKeyboardLayout::unknownLayoutsHaveOwnIds()
{
    const auto persian = DescribeXkbLayout({"ir", "pes_keypad"}, 1);
    QCOMPARE(QString::fromStdString(persian.layoutId), QString(PersianLayoutId));
    QCOMPARE(QString::fromStdString(persian.language.languageId), QString("0429"));

    const auto pashto = DescribeXkbLayout({"af", "ps"}, 0);
    const auto dari = DescribeXkbLayout({"af", ""}, 0);
    QCOMPARE(QString::fromStdString(pashto.layoutId), QString("00000463"));
    QCOMPARE(QString::fromStdString(dari.layoutId), QString("0000048C"));

    QStringList ids;
    for (int group = 0; group < 4; ++group) {
        const auto unknown = DescribeXkbLayout({"epo", ""}, group);
        QVERIFY(unknown.language.languageId.empty());
        QVERIFY(unknown.language.languageName.empty());
        QCOMPARE(unknown.layoutId.size(), std::size_t(8));
        QVERIFY(unknown.layoutId.find(PersianLayoutId) == std::string::npos);
        for (const char* known : {"us", "ir", "ara", "de", "fr", "gb", "tr", "ru", "af", "iq"})
            QVERIFY(unknown.layoutId.find(DescribeXkbLayout({known, ""}, 0).language.languageId) == std::string::npos);
        ids << QString::fromStdString(unknown.layoutId);
    }
    ids.removeDuplicates();
    QCOMPARE(ids.size(), 4);
}

QTEST_GUILESS_MAIN(TestKeyboardLayout)
#include "tst_keyboardlayout.moc"
