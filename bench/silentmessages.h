#pragma once

#include "engine/usermessages.h"

#include <QStringList>

// Messages that nobody sees during a measurement; errors are kept to be reported.
class SilentMessages : public UserMessages
{
public:
    void information(const QString &) override {}
    void warning(const QString &) override {}
    bool confirm(const QString &) override { return true; }
    void error(const QString &text) override { errors.append(text); }
    QStringList errors;
};
