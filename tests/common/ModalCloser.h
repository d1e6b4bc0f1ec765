#pragma once
// Answers modal dialogs that a command opens while a test drives it: each
// modal widget that appears is handed to a callback (or rejected) and its
// texts are kept for the test to read.

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
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
        if (auto* box = qobject_cast<QMessageBox*>(w))
            texts << box->text();
        if (handler_) {
            handler_(w);
        } else if (auto* d = qobject_cast<QDialog*>(w)) {
            d->reject();
        } else {
            w->close();
        }
    }
    Handler handler_;
    QTimer timer_;
    QPointer<QWidget> last_;
};
