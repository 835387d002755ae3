#include "startup.h"

#include "messageboxes.h"
#include "newversioncheck.h"
#include "shellservices.h"
#include "unitmain.h"
#include "usermessages.h"
#include "usettings.h"

#include "translation.h"

#include <QApplication>
#include <QHash>
#include <QLibraryInfo>
#include <QTranslator>
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

void LoadTranslationCatalogue(QApplication &app)
{
    LoadTranslations(QCoreApplication::applicationDirPath() + u"/transl.dt"_s);
    // Qt's own texts (Yes, No, OK) in the same language, where the system has them.
    static const QHash<QString, QString> qtNames{
        {u"cn"_s, u"zh_CN"_s}, {u"jp"_s, u"ja"_s}, {u"kr"_s, u"ko"_s}};
    const QString code = CurrentLanguageCode().toLower();
    auto *translator = new QTranslator(&app);
    if (LanguageIndex() > 0 && translator->load(u"qtbase_"_s + qtNames.value(code, code),
                                                QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
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
    LoadTranslationCatalogue(app);
    if (!RunUpdateCheck())
        return 0;

    // The command-line mode, run while the main window is made, sets options in the
    // options dialog, so the dialog must exist first.
    TFormSettings formSettings;
    TFormMain formMain(formSettings, messages, shell);
    if (formMain.QuitRequested()) {
        // The unattended run is over: the message loop ends as soon as it starts.
        QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
        return app.exec();
    }
    if (const QScreen *screen = formMain.screen())
        formMain.move(screen->availableGeometry().center() - formMain.rect().center());
    formMain.show();
    return app.exec();
}
