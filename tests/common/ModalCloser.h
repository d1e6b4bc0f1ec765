#pragma once
// Answers modal dialogs that a command opens while a test drives it: each
// modal widget that appears is handed to a callback (or rejected) and its
// texts are kept for the test to read.

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
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
    QStringList texts;
    int seen = 0;

private:
    void poll()
    {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || w == last_)
            return;
        last_ = w;
        ++seen;
        if (qEnvironmentVariableIsSet("RASMIK_TEST_TRACE"))
            qDebug("modal: %s %s %s", w->metaObject()->className(), qPrintable(w->windowTitle()),
                   qobject_cast<QMessageBox*>(w) ? qPrintable(static_cast<QMessageBox*>(w)->text()) : "");
        if (auto* box = qobject_cast<QMessageBox*>(w))
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
    QPointer<QWidget> last_;
};

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
