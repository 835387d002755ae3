#pragma once

#include <QLatin1StringView>
#include <QObject>
#include <QString>
#include <QtGlobal>

// The control of the given object name below parent; the test ends at once when there is
// none, since every step after it would fail for that one reason.
template <typename T>
T *findControl(const QObject *parent, const char *name)
{
    T *found = parent->findChild<T *>(QLatin1StringView(name));
    if (!found)
        qFatal("no control %s", name);
    return found;
}

// The offscreen platform cannot pass size hints to a window manager and says so for every
// window; that says nothing about this program, so those messages are dropped.
inline void dropSizeHintMessages()
{
    static const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext &context, const QString &message) {
            if (!message.contains(QStringLiteral("propagateSizeHints")))
                previous(type, context, message);
        });
}
