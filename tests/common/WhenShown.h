#pragma once
// Checks on a window that a command opens and runs in its own event loop.

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <functional>

// Runs check on the first visible top-level widget of type T once it shows.
// The watch lasts until then or until endWatches().
template <class T>
void whenShown(std::function<void(T*)> check)
{
    auto* timer = new QTimer(qApp);
    timer->setObjectName(QStringLiteral("watch"));
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, check] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* t = qobject_cast<T*>(w); t && t->isVisible()) {
                timer->stop();
                timer->deleteLater();
                check(t);
                return;
            }
    });
    timer->start();
}

// Ends the watches for windows that never came: called from a test's cleanup,
// so that one test function's watch never answers the next one's window.
inline void endWatches()
{
    for (QTimer* t : qApp->findChildren<QTimer*>(QStringLiteral("watch"), Qt::FindDirectChildrenOnly))
        delete t;
}
