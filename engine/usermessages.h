#pragma once

#include <QString>

// Everything the logic tells or asks the user goes through this interface, so the
// logic runs and is tested without dialogs. Texts arrive already translated.
class UserMessages
{
public:
    virtual ~UserMessages() = default;

    virtual void information(const QString &text) = 0;
    virtual void warning(const QString &text) = 0;
    // A Yes/No question with Yes as the default answer; true means Yes.
    virtual bool confirm(const QString &text) = 0;
    virtual void error(const QString &text) = 0;
    // A warning that offers one way on besides closing it ("Leave out the blocked
    // rows"); true when the user takes it. Where nobody can be asked, nobody takes it.
    virtual bool warningWithAction(const QString &text, const QString &action)
    {
        Q_UNUSED(action);
        warning(text);
        return false;
    }
};
