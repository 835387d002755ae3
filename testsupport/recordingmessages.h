#pragma once

#include "engine/usermessages.h"

#include <QList>
#include <QString>
#include <QStringList>

// Records every message instead of showing it and answers questions from a queue
// (Yes when the queue is empty), so tests can drive commands without dialogs.
class RecordingMessages : public UserMessages
{
public:
    struct Entry
    {
        QString kind;
        QString text;
        bool operator==(const Entry &) const = default;
    };

    void information(const QString &text) override
    {
        entries.append({QStringLiteral("info"), text});
    }
    void warning(const QString &text) override
    {
        entries.append({QStringLiteral("warning"), text});
    }
    bool confirm(const QString &text) override
    {
        entries.append({QStringLiteral("confirm"), text});
        return answers.isEmpty() ? true : answers.takeFirst();
    }
    void error(const QString &text) override { entries.append({QStringLiteral("error"), text}); }
    // Recorded as a warning; the action is taken when actionAnswers says so (not when empty).
    bool warningWithAction(const QString &text, const QString &action) override
    {
        entries.append({QStringLiteral("warning"), text});
        offeredActions.append(action);
        return actionAnswers.isEmpty() ? false : actionAnswers.takeFirst();
    }

    QStringList texts() const
    {
        QStringList result;
        for (const Entry &entry : entries)
            result.append(entry.text);
        return result;
    }

    QList<Entry> entries;
    QList<bool> answers;
    QStringList offeredActions;
    QList<bool> actionAnswers;
};
