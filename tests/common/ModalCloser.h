#pragma once
// Answers modal dialogs that a command opens while a test drives it: each
// modal widget that appears is handed to a callback (or rejected) and its
// texts are kept for the test to read. A progress window is no question: it
// is left to the work it shows (rejecting it would cancel that work), and a
// slow machine shows one where a fast one does not.

#include "common/Waits.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QTimer>
#include <QtTest>

#include <functional>

class ModalCloser : public QObject {
public:
    using Handler = std::function<void(QWidget*)>;
    explicit ModalCloser(Handler handler = {}) : handler_(std::move(handler))
    {
        connect(&timer_, &QTimer::timeout, this, &ModalCloser::poll);
        timer_.start(20);
    }
    QStringList texts; // of the message boxes
    int seen = 0;      // modal windows answered
    // Every modal window met, answered or not, one a line: its class, title
    // and text, so that a test that counts them names the one it did not expect.
    QString windows() const { return met_.join(QLatin1Char('\n')); }

private:
    void poll()
    {
        QWidget* w = QApplication::activeModalWidget();
        // A dialog becomes the active one again when the question it asked
        // closes: it is the same window, answered already.
        answered_.removeIf([](const QPointer<QWidget>& a) { return !a || !a->isVisible(); });
        if (!w || answered_.contains(w))
            return;
        answered_ << w;
        auto* box = qobject_cast<QMessageBox*>(w);
        const bool progress = qobject_cast<QProgressDialog*>(w);
        met_ << QStringLiteral("%1%2 \u00AB%3\u00BB %4")
                    .arg(progress ? QStringLiteral("(left alone) ") : QString(), w->metaObject()->className(),
                         w->windowTitle(), box ? box->text() : QString());
        if (qEnvironmentVariableIsSet("RASMIK_TEST_TRACE"))
            qDebug("modal: %s", qPrintable(met_.back()));
        if (progress)
            return;
        ++seen;
        if (box)
            texts << box->text();
        // Answered from a fresh event: an answer that opens another modal
        // dialog (an overwrite question) runs its own loop, and this timer
        // cannot fire inside its own slot.
        QPointer<QWidget> target = w;
        QTimer::singleShot(0, this, [this, target] {
            if (!target)
                return;
            if (handler_)
                handler_(target);
            else if (auto* d = qobject_cast<QDialog*>(target.data()))
                d->reject();
            else
                target->close();
        });
    }
    Handler handler_;
    QTimer timer_;
    QList<QPointer<QWidget>> answered_;
    QStringList met_;
};

// Checks that exactly n modal windows were answered, naming every one met
// when not.
#define COMPARE_MODALS(closer, n)                                                                                      \
    WAIT_VERIFY2(                                                                                                      \
        (closer).seen == (n),                                                                                          \
        qPrintable(QStringLiteral("%1 modal windows, not %2:\n%3").arg((closer).seen).arg(n).arg((closer).windows())))

// The same for the message boxes, whose texts the closer keeps.
#define COMPARE_MESSAGES(closer, n)                                                                                    \
    WAIT_VERIFY2(                                                                                                      \
        (closer).texts.size() == (n),                                                                                  \
        qPrintable(                                                                                                    \
            QStringLiteral("%1 messages, not %2:\n%3").arg((closer).texts.size()).arg(n).arg((closer).windows())))

// Answers the modal dialogs of one command: a save dialog gets `path` (and
// the file type `type` when one is given, after noting the one it offered
// in `offered`), an overwrite question gets Yes, other message boxes are
// read and closed.
inline ModalCloser::Handler SaveAs(const QString& path, const QString& type = {}, QString* offered = nullptr)
{
    return [path, type, offered](QWidget* w) {
        if (auto* d = qobject_cast<QFileDialog*>(w)) {
            if (offered)
                *offered = d->selectedNameFilter();
            if (!type.isEmpty())
                d->selectNameFilter(type);
            // As typed: selectFile leaves a focused name box alone.
            auto* name = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(name);
            name->setText(path);
            QMetaObject::invokeMethod(d, "accept", Qt::DirectConnection);
        } else if (auto* box = qobject_cast<QMessageBox*>(w)) {
            if (QAbstractButton* yes = box->button(QMessageBox::Yes))
                yes->click();
            else
                box->accept();
        } else if (auto* dialog = qobject_cast<QDialog*>(w)) {
            dialog->reject();
        }
    };
}
