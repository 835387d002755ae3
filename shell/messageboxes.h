#pragma once

#include "usermessages.h"

// The program's messages as modal message boxes over the active window.
class MessageBoxes : public UserMessages
{
public:
    void information(const QString &text) override;
    void warning(const QString &text) override;
    bool confirm(const QString &text) override;
    void error(const QString &text) override;
};
