// The one-line text prompt as a user meets it: its layout, what comes back
// for each way of closing it, left-to-right defaults, Persian typing and the
// keyboard-language label.

#include "common/Waits.h"
#include "dialogs/TextPrompt.h"
#include "text/KeyboardLayout.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <functional>

using namespace rasmik;

namespace {

class FakeLanguages final : public InputLanguageService {
public:
    std::string activeLayoutId() override { return active; }
    std::vector<InstalledLayout> installedLayouts() override
    {
        return {{"0409", "English (United States)", "ENU"}, {"0429", "Persian", "FAR"}};
    }
    void activateNextLayout() override { }
    std::string active;
};

struct ServiceScope {
    explicit ServiceScope(InputLanguageService* service) { SetInputLanguageServiceForTesting(service); }
    ~ServiceScope() { SetInputLanguageServiceForTesting(nullptr); }
};

// Types text as a keyboard would, Persian letters included.
void Type(QWidget* widget, const QString& text)
{
    for (const QChar ch : text) {
        const auto key = static_cast<Qt::Key>(ch.toUpper().unicode());
        QTest::sendKeyEvent(QTest::Press, widget, key, QString(ch), Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, widget, key, QString(ch), Qt::NoModifier);
    }
}

enum class Close { Enter, KeypadEnter, OkButton, MenuItem, Escape, CancelButton, CloseBox };

// Asks through askText and, inside its modal loop, types `typed` over the
// selected default and closes the dialog the given way. `look` sees the
// dialog first. A dialog a failed check left open is cancelled.
std::string Ask(const QString& caption, const QString& prompt, const std::string& defaultText, const QString& typed,
                Close close, std::function<void(TextPrompt&)> look = {})
{
    answerNextTextPrompt([=](TextPrompt& form) {
        [&] {
            QVERIFY(WaitActive(&form));
            if (look)
                look(form);
            if (!typed.isEmpty())
                Type(form.edit(), typed);
            switch (close) {
            case Close::Enter: QTest::keyClick(form.edit(), Qt::Key_Return); break;
            case Close::KeypadEnter: QTest::keyClick(form.edit(), Qt::Key_Enter, Qt::KeypadModifier); break;
            case Close::OkButton: QTest::mouseClick(form.okButton(), Qt::LeftButton); break;
            case Close::MenuItem: form.contextMenu()->actions().value(0)->trigger(); break;
            case Close::Escape: QTest::keyClick(form.edit(), Qt::Key_Escape); break;
            case Close::CancelButton: QTest::mouseClick(form.cancelButton(), Qt::LeftButton); break;
            case Close::CloseBox: form.close(); break;
            }
        }();
        if (form.isVisible())
            form.reject();
    });
    return askText(caption, prompt, defaultText);
}

QByteArray Bytes(const std::string& s)
{
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

// The horizontal extent of the dark (text) pixels of `image` in rows [top, bottom).
std::pair<int, int> InkColumns(const QImage& image, int top, int bottom)
{
    int first = image.width();
    int last = -1;
    for (int y = top; y < bottom && y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) < 110) {
                first = std::min(first, x);
                last = std::max(last, x);
            }
    return {first, last};
}

} // namespace

Q_DECLARE_METATYPE(Close)

class TestTextPrompt : public QObject {
    Q_OBJECT
private slots:
    void layout_data();
    void layout();
    void formLooks();
    void promptAndButtonsRightToLeft();
    void editDirection_data();
    void editDirection();
    void answers_data();
    void answers();
    void focusAndSelection();
    void captions_data();
    void captions();
    void popupMenuReplacesContextMenu();
    void languageLabelFollowsKeyboard();
    void languageLabelIsGreen();
    void languageLabelEmptyWithoutKeyboardService();
};

void TestTextPrompt::layout_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");

    QTest::newRow("edit box") << "edit" << QRect(8, 32, 329, 21);
    QTest::newRow("OK") << "okButton" << QRect(264, 72, 75, 25);
    QTest::newRow("Cancel") << "cancelButton" << QRect(8, 72, 75, 25);
}

void TestTextPrompt::layout()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);

    TextPrompt form;
    form.prepare("عنوان چاپ", "عنوان:", "");
    form.show();
    QVERIFY(WaitExposed(&form));
    QCOMPARE(form.width(), 351);
    QCOMPARE(form.frameGeometry().height(), 132);
    auto* widget = form.findChild<QWidget*>(name);
    QVERIFY(widget);
    QCOMPARE(widget->geometry(), geometry);
}

void TestTextPrompt::formLooks()
{
    TextPrompt form;
    form.prepare("جستجو", "متن:", "");
    QCOMPARE(form.layoutDirection(), Qt::RightToLeft);
    QCOMPARE(form.font().family(), QString("Tahoma"));
    QCOMPARE(form.font().pointSize(), 8);
    QCOMPARE(form.okButton()->text(), QString("تاييد"));
    QCOMPARE(form.cancelButton()->text(), QString("انصراف"));
    for (QPushButton* button : {form.okButton(), form.cancelButton()})
        QCOMPARE(button->cursor().shape(), Qt::PointingHandCursor);
    QCOMPARE(form.promptLabel()->text(), QString("متن:"));
    QCOMPARE(form.promptLabel()->y(), 8);
    QCOMPARE(form.languageLabel()->pos(), QPoint(2, 0));
    QCOMPARE(form.languageLabel()->layoutDirection(), Qt::LeftToRight);
    QCOMPARE(form.languageLabel()->palette().color(QPalette::WindowText), QColor(192, 220, 192));
    QCOMPARE(form.findChild<QTimer*>("languageTimer")->interval(), 100);
    QVERIFY(form.findChild<QTimer*>("languageTimer")->isActive());
    const QList<QAction*> items = form.contextMenu()->actions();
    QCOMPARE(items.size(), 1);
    QCOMPARE(items[0]->text(), QString("ثبت"));
    QVERIFY(items[0]->shortcuts().contains(QKeySequence(Qt::Key_Return)));
}

// What a user sees: the prompt at the right above the edit box's right end,
// OK at the right and Cancel at the left.
void TestTextPrompt::promptAndButtonsRightToLeft()
{
    TextPrompt form;
    form.prepare("", "عنوان:", "");
    form.show();
    QVERIFY(WaitExposed(&form));
    const QImage image = form.grab().toImage();
    const auto [first, last] = InkColumns(image, 8, 28);
    QVERIFY2(last >= 320 && last <= 337, qPrintable(QString("prompt ends at %1").arg(last)));
    QVERIFY2(first > 250, qPrintable(QString("prompt starts at %1").arg(first)));
    QVERIFY(form.okButton()->geometry().center().x() > form.width() / 2);
    QVERIFY(form.cancelButton()->geometry().center().x() < form.width() / 2);
}

void TestTextPrompt::editDirection_data()
{
    QTest::addColumn<QByteArray>("defaultText");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("leftToRight");

    QTest::newRow("widths after the mark") << QByteArray("\xFD"
                                                         "12 30 8")
                                           << "12 30 8" << true;
    QTest::newRow("mark alone") << QByteArray("\xFD") << "" << true;
    QTest::newRow("plain digits") << QByteArray("12 30 8") << "12 30 8" << false;
    QTest::newRow("Persian") << QByteArray("\xD3\xE1\xC7\xE3") << "سلام" << false;
    QTest::newRow("mark inside stays") << QByteArray("a\xFD"
                                                     "b")
                                       << "a\u200Eb" << false;
    QTest::newRow("empty") << QByteArray() << "" << false;
}

void TestTextPrompt::editDirection()
{
    QFETCH(QByteArray, defaultText);
    QFETCH(QString, shown);
    QFETCH(bool, leftToRight);

    TextPrompt form;
    form.prepare("", "سايزها", defaultText.toStdString());
    form.show();
    QVERIFY(WaitExposed(&form));
    QCOMPARE(form.edit()->text(), shown);
    QCOMPARE(form.edit()->layoutDirection(), leftToRight ? Qt::LeftToRight : Qt::RightToLeft);

    // The text stands where the user expects it: left end or right end.
    if (!shown.isEmpty()) {
        form.edit()->deselect();
        const QImage image = form.edit()->grab().toImage();
        const auto [first, last] = InkColumns(image, 3, image.height() - 3);
        QVERIFY(last >= first);
        if (leftToRight)
            QVERIFY2(first < 15, qPrintable(QString("text starts at %1").arg(first)));
        else
            QVERIFY2(last > image.width() - 15, qPrintable(QString("text ends at %1").arg(last)));
    }
}

void TestTextPrompt::answers_data()
{
    QTest::addColumn<QByteArray>("defaultText");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<Close>("close");
    QTest::addColumn<QByteArray>("result");

    const QByteArray widths("\xFD"
                            "12 30 8");
    QTest::newRow("left-to-right default confirmed") << widths << "" << Close::Enter << QByteArray("12 30 8");
    QTest::newRow("spaces trimmed on Enter") << QByteArray() << "  abc  " << Close::Enter << QByteArray("abc");
    QTest::newRow("keypad Enter") << QByteArray() << "  abc  " << Close::KeypadEnter << QByteArray("abc");
    QTest::newRow("OK button") << QByteArray() << " a b " << Close::OkButton << QByteArray("a b");
    QTest::newRow("menu item") << QByteArray() << "abc " << Close::MenuItem << QByteArray("abc");
    QTest::newRow("Esc") << QByteArray() << "  abc  " << Close::Escape << QByteArray();
    QTest::newRow("Cancel button") << QByteArray("old") << "abc" << Close::CancelButton << QByteArray();
    QTest::newRow("close box") << QByteArray("old") << "abc" << Close::CloseBox << QByteArray();
    QTest::newRow("Esc keeps no default") << widths << "" << Close::Escape << QByteArray();
    QTest::newRow("typing replaces the default") << QByteArray("old") << "new" << Close::Enter << QByteArray("new");
    QTest::newRow("mark alone, confirmed empty") << QByteArray("\xFD") << "" << Close::Enter << QByteArray();
    QTest::newRow("empty confirmed") << QByteArray() << "" << Close::OkButton << QByteArray();
    QTest::newRow("only spaces") << QByteArray() << "   " << Close::Enter << QByteArray();
    QTest::newRow("tab kept") << QByteArray("\tx ") << "" << Close::Enter << QByteArray("\tx");
    QTest::newRow("Persian typed") << QByteArray() << "سلام" << Close::Enter << QByteArray("\xD3\xE1\xC7\xE3");
    QTest::newRow("Persian yeh") << QByteArray() << "ی" << Close::Enter << QByteArray("\xED");
    QTest::newRow("Persian keheh") << QByteArray() << "ک" << Close::Enter << QByteArray("\x98");
    QTest::newRow("Persian digits") << QByteArray() << "۱۲۳" << Close::Enter << QByteArray("123");
    // A letter without a byte is refused with a message (the window tests).
    QTest::newRow("euro has its byte") << QByteArray() << "a€b" << Close::Enter
                                       << QByteArray("a\x80"
                                                     "b");
    QTest::newRow("Windows-1256 default kept")
        << QByteArray("\xD3\xE1\xC7\xE3 \x98") << "" << Close::Enter << QByteArray("\xD3\xE1\xC7\xE3 \x98");
}

void TestTextPrompt::answers()
{
    QFETCH(QByteArray, defaultText);
    QFETCH(QString, typed);
    QFETCH(Close, close);
    QFETCH(QByteArray, result);

    const std::string answer = Ask("عنوان چاپ", "عنوان:", defaultText.toStdString(), typed, close);
    QCOMPARE(Bytes(answer), result);
}

void TestTextPrompt::focusAndSelection()
{
    bool focused = false;
    bool allSelected = false;
    Ask("", "كد شروع:", "default text", "", Close::Escape, [&](TextPrompt& form) {
        focused = QApplication::focusWidget() == form.edit();
        allSelected = form.edit()->selectedText() == form.edit()->text();
    });
    QVERIFY(focused);
    QVERIFY(allSelected);
}

void TestTextPrompt::captions_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("title");

    QTest::newRow("search") << "جستجو"
                            << "جستجو";
    QTest::newRow("fixed widths") << "تنظيم سايز ثابت ستون ها"
                                  << "تنظيم سايز ثابت ستون ها";
    QTest::newRow("empty caption") << ""
                                   << "";
}

void TestTextPrompt::captions()
{
    QFETCH(QString, caption);
    QFETCH(QString, title);

    QString seen = "unseen";
    QString prompt;
    Ask(caption, "متن:", "", "", Close::Escape, [&](TextPrompt& form) {
        seen = form.windowTitle().trimmed();
        prompt = form.promptLabel()->text();
    });
    QCOMPARE(seen, title);
    QCOMPARE(prompt, QString("متن:"));
}

void TestTextPrompt::popupMenuReplacesContextMenu()
{
    bool shown = false;
    QList<QAction*> items;
    QAction* confirm = nullptr;
    const std::string answer = Ask("", "متن:", "abc ", "", Close::MenuItem, [&](TextPrompt& form) {
        const QPoint at(5, 5);
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, form.edit()->mapToGlobal(at));
        QApplication::sendEvent(form.edit(), &event);
        shown = form.contextMenu()->isVisible();
        items = form.contextMenu()->actions();
        confirm = form.contextMenu()->actions().value(0);
        form.contextMenu()->hide();
    });
    QVERIFY(shown);
    QCOMPARE(items, QList<QAction*>{confirm});
    QCOMPARE(Bytes(answer), QByteArray("abc"));
}

void TestTextPrompt::languageLabelFollowsKeyboard()
{
    FakeLanguages languages;
    languages.active = "00000429";
    ServiceScope scope(&languages);

    QStringList seen;
    Ask("", "متن:", "", "", Close::Escape, [&](TextPrompt& form) {
        WAIT_COMPARE(form.languageLabel()->text(), QString("Persian - FAR"));
        seen << form.languageLabel()->text();
        languages.active = "00000409";
        WAIT_COMPARE(form.languageLabel()->text(), QString("English (United States) - ENU"));
        seen << form.languageLabel()->text();
        languages.active = "00000419"; // installed nowhere: no language
        WAIT_COMPARE(form.languageLabel()->text(), QString());
        seen << form.languageLabel()->text();
    });
    QCOMPARE(seen, (QStringList{"Persian - FAR", "English (United States) - ENU", ""}));
}

// The label's letters are painted in money green.
void TestTextPrompt::languageLabelIsGreen()
{
    FakeLanguages languages;
    languages.active = "00000429";
    ServiceScope scope(&languages);

    TextPrompt form;
    form.prepare("", "متن:", "");
    form.show();
    QVERIFY(WaitExposed(&form));
    WAIT_COMPARE(form.languageLabel()->text(), QString("Persian - FAR"));
    const QImage image = form.grab(form.languageLabel()->geometry()).toImage();
    int green = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.green() - c.red() >= 18 && c.green() - c.blue() >= 18)
                ++green;
        }
    QVERIFY2(green >= 10, qPrintable(QString("%1 green pixels").arg(green)));
}

void TestTextPrompt::languageLabelEmptyWithoutKeyboardService()
{
    QString label = "unseen";
    Ask("", "متن:", "", "", Close::Escape, [&](TextPrompt& form) {
        QTest::qWait(250);
        label = form.languageLabel()->text();
    });
    QCOMPARE(label, QString());
}

QTEST_MAIN(TestTextPrompt)
#include "tst_TextPrompt.moc"
