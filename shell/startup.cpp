#include "startup.h"

#include "messageboxes.h"
#include "newversioncheck.h"
#include "shellservices.h"
#include "unitmain.h"
#include "usermessages.h"
#include "usettings.h"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QScreen>

using namespace Qt::StringLiterals;

void InitShellResources()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(shell);
        return true;
    }();
    Q_UNUSED(registered);
}

bool ApplyVisualStyle(QApplication &app, UserMessages &messages, const QString &styleSheet)
{
    InitShellResources();
    QFile file(styleSheet);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        messages.error(
            u"The visual style \"Allports\" cannot be loaded: %1"_s.arg(file.errorString()));
        return false;
    }
    app.setStyleSheet(QString::fromUtf8(file.readAll()));
    return true;
}

void ApplyApplicationFont(QApplication &app)
{
    QFont font = app.font();
    if (QFontDatabase::families().contains(u"Segoe UI"_s))
        font.setFamily(u"Segoe UI"_s);
    else
        font.setFamily(QFontDatabase::systemFont(QFontDatabase::GeneralFont).family());
    font.setPointSize(9);
    app.setFont(font);
}

void LoadTranslationCatalogue()
{
    // The catalogue arrives with the translation work; until then every text is English.
}

bool RunUpdateCheck()
{
    MessageBoxes messages;
    DesktopShell shell;
    return RunNewVersionCheck(messages, shell);
}

int RunTessaly(QApplication &app)
{
    MessageBoxes messages;
    DesktopShell shell;

    ApplyApplicationFont(app);
    ApplyVisualStyle(app, messages);
    QApplication::setApplicationName(ApplicationTitle);
    QApplication::setApplicationVersion(ApplicationVersion);
    LoadTranslationCatalogue();
    if (!RunUpdateCheck())
        return 0;

    // The command-line mode, run while the main window is made, sets options in the
    // options dialog, so the dialog must exist first.
    TFormSettings formSettings;
    TFormMain formMain(formSettings, messages, shell);
    if (const QScreen *screen = formMain.screen())
        formMain.move(screen->availableGeometry().center() - formMain.rect().center());
    formMain.show();
    return app.exec();
}
