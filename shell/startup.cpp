#include "shell/startup.h"

#include "engine/usermessages.h"
#include "optionsdialog/optionsdialog.h"
#include "shell/colourscheme.h"
#include "shell/mainwindow.h"
#include "shell/messageboxes.h"
#include "shell/shellservices.h"
#include "shell/updatestep.h"

#include "translation/translation.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHash>
#include <QIcon>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>

#include <algorithm>
#include <memory>
#include <utility>

using namespace Qt::StringLiterals;

void initShellResources()
{
    static const bool registered = [] {
        Q_INIT_RESOURCE(shell);
        return true;
    }();
    Q_UNUSED(registered);
}

namespace {

// Fills the style sheet with the colour set that the application's palette calls for,
// now and whenever the palette changes (the desktop switches between light and dark).
class StyleSheetFollower : public QObject
{
public:
    StyleSheetFollower(QApplication &app, const QString &styleSheet)
        : QObject(&app)
        , m_app(app)
        , m_styleSheet(styleSheet)
    {
        app.installEventFilter(this);
        apply();
    }

    void setStyleSheet(const QString &styleSheet)
    {
        m_styleSheet = styleSheet;
        m_filled.clear();
        apply();
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == &m_app && event->type() == QEvent::ApplicationPaletteChange)
            apply();
        return QObject::eventFilter(watched, event);
    }

private:
    void apply()
    {
        // Only a change of set replaces the style sheet: setting it again would polish
        // every widget for nothing.
        const QString filled = fillStyleSheet(m_styleSheet, currentColourScheme());
        if (filled == m_filled)
            return;
        m_filled = filled;
        m_app.setStyleSheet(filled);
    }

    QApplication &m_app;
    QString m_styleSheet;
    QString m_filled; // the style sheet applied last
};

} // namespace

bool applyVisualStyle(QApplication &app, UserMessages &messages, const QString &styleSheet)
{
    initShellResources();
    QFile file(styleSheet);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        messages.error(
            u"The visual style \"Allports\" cannot be loaded: %1"_s.arg(file.errorString()));
        return false;
    }
    const QString text = QString::fromUtf8(file.readAll());
    static QPointer<StyleSheetFollower> follower;
    if (follower)
        follower->setStyleSheet(text);
    else
        follower = new StyleSheetFollower(app, text);
    return true;
}

void applyApplicationFont(QApplication &app)
{
    QFont font = app.font();
    if (QFontDatabase::families().contains(u"Segoe UI"_s))
        font.setFamily(u"Segoe UI"_s);
    else
        font.setFamily(QFontDatabase::systemFont(QFontDatabase::GeneralFont).family());
    // The window is laid out for 9 pt, which the usual desktop sizes (9 to 11 pt) keep; a
    // larger desktop font, as large-text settings give, makes ours larger by as much.
    const qreal desktopSize = QFontDatabase::systemFont(QFontDatabase::GeneralFont).pointSizeF();
    font.setPointSizeF(std::max(9.0, desktopSize - 2));
    app.setFont(font);
}

namespace {

const QString CatalogueFileName = u"transl.dt"_s;

// Qt's name of the language behind a catalogue code, where the two differ.
QString qtLanguageName(const QString &code)
{
    static const QHash<QString, QString> qtNames{
        {u"cn"_s, u"zh_CN"_s}, {u"jp"_s, u"ja"_s}, {u"kr"_s, u"ko"_s}, {u"pt"_s, u"pt_BR"_s}};
    const QString lower = code.toLower();
    return qtNames.value(lower, lower);
}

const QStringList &qtButtonTexts()
{
    static const QStringList texts{translatable(u"OK"), translatable(u"Cancel"),
                                   translatable(u"Yes"), translatable(u"No")};
    return texts;
}

// Qt's dialog buttons from the catalogue, for a language Qt has no translation of
// (Greek); Qt's own translation, installed later, is asked first.
class CatalogueButtonTranslator : public QTranslator
{
public:
    using QTranslator::QTranslator;

    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *sourceText, const char *, int) const override
    {
        if (languageIndex() <= 0 || qstrcmp(context, "QPlatformTheme") != 0)
            return QString();
        QString text = QString::fromUtf8(sourceText);
        const bool mnemonic = text.startsWith(u'&');
        if (mnemonic)
            text.remove(0, 1);
        if (!qtButtonTexts().contains(text))
            return QString();
        const QString translated = translateText(text);
        if (translated == text)
            return QString();
        return mnemonic ? u'&' + translated : translated;
    }
};

} // namespace

QIcon applicationIcon()
{
    initShellResources();
    return QIcon(u":/icons/tessaly.svg"_s);
}

std::optional<QString> programInfoText(const QStringList &arguments)
{
    if (arguments.contains(u"--help"_s) || arguments.contains(u"-h"_s)) {
        return u"Usage: tessaly [PATH...] [/cli [/KEY=VALUE...] [/regex] [/dryrun]]\n"
               u"       tessaly --help | --version\n"
               u"\n"
               u"Renames many files in one operation: a window to gather files, set the\n"
               u"options, preview every new name and rename. Each PATH (a file or a folder)\n"
               u"is put in the list when the window opens, as a drop on the window would\n"
               u"put it. Other arguments are ignored, apart from those below.\n"
               u"\n"
               u"Options:\n"
               u"  -h, --help         Shows this help and ends.\n"
               u"  -v, --version      Shows the version and ends.\n"
               u"\n"
               u"Unattended run: the window does not open; the files given as PATH are\n"
               u"previewed and renamed in place, then the program ends. Messages still\n"
               u"appear as message boxes. Keys are matched without regard to case.\n"
               u"  /cli               Turns the unattended run on; without it the keys below\n"
               u"                     are ignored.\n"
               u"  /pattern=TEXT      Pattern of the new name (default {name}).\n"
               u"  /start=N           First value of {counter} (default 1).\n"
               u"  /digits=N          Digits of {counter} (default 3).\n"
               u"  /case=MODE         lower, upper or title; anything else leaves the case.\n"
               u"  /find=TEXT         Text to find in the name.\n"
               u"  /replace=TEXT      Replacement for the found text.\n"
               u"  /regex             /find is a regular expression.\n"
               u"  /newext=EXT        Gives every file this extension.\n"
               u"  /conflict=RULE     When a target exists: skip, overwrite, or anything\n"
               u"                     else to number the new name (the default).\n"
               u"  /dryrun            Only previews; renames nothing.\n"
               u"\n"
               u"Environment:\n"
               u"  TESSALY_UPDATE_URL The update host's base address (https://, or http://\n"
               u"                     on this machine's loopback only); any other value\n"
               u"                     turns the update check off.\n"
               u"\n"
               u"tessaly-cli is the same engine for the shell: see tessaly-cli --help.\n"_s;
    }
    if (arguments.contains(u"--version"_s) || arguments.contains(u"-v"_s))
        return u"tessaly "_s + ApplicationVersion + u'\n';
    return std::nullopt;
}

QString cataloguePath(const QString &programFolder)
{
    const QDir folder(programFolder);
    const QString beside = folder.filePath(CatalogueFileName);
    if (QFileInfo::exists(beside))
        return beside;
    return QDir::cleanPath(
        folder.filePath(QStringLiteral(TESSALY_DATA_FROM_BIN) + u'/' + CatalogueFileName));
}

void loadTranslationCatalogue(QApplication &)
{
    loadTranslations(cataloguePath(QCoreApplication::applicationDirPath()));
    applyLanguageToQt();
}

void applyLanguageToQt()
{
    static QTranslator *qtTranslator = nullptr;
    static CatalogueButtonTranslator *buttonTranslator = nullptr;
    if (!buttonTranslator) {
        buttonTranslator = new CatalogueButtonTranslator(QCoreApplication::instance());
        QCoreApplication::installTranslator(buttonTranslator);
    }
    if (qtTranslator) {
        QCoreApplication::removeTranslator(qtTranslator);
        delete std::exchange(qtTranslator, nullptr);
    }
    const bool translated = languageIndex() > 0;
    const QString qtName = qtLanguageName(currentLanguageCode());
    if (translated) {
        auto translator = std::make_unique<QTranslator>(QCoreApplication::instance());
        if (translator->load(u"qtbase_"_s + qtName,
                             QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
            qtTranslator = translator.release();
            QCoreApplication::installTranslator(qtTranslator);
        }
    }
    // Set explicitly, so that it holds also for a language Qt has no translation of.
    QGuiApplication::setLayoutDirection(translated ? QLocale(qtName).textDirection()
                                                   : Qt::LeftToRight);
}

QStringList qtButtonSourceTexts()
{
    return qtButtonTexts();
}

int runTessaly(QApplication &app)
{
    MessageBoxes messages;
    DesktopShell shell;

    applyApplicationFont(app);
    applyVisualStyle(app, messages);
    QApplication::setApplicationName(ApplicationTitle);
    QApplication::setApplicationVersion(ApplicationVersion);
    QApplication::setWindowIcon(applicationIcon());
    // Lets the desktop tie the windows to the menu entry and its icon (Wayland).
    QGuiApplication::setDesktopFileName(QStringLiteral(TESSALY_APP_ID));
    loadTranslationCatalogue(app);

    // The windows are made once the update step lets start-up go on; it may end the
    // program before any exists. Until the main window shows, no closing window (a
    // message box of the command-line mode) may end the program.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    std::unique_ptr<OptionsDialog> formSettings;
    std::unique_ptr<MainWindow> formMain;
    UpdateStep update(messages, shell);
    const auto startWindows = [&](bool goesOn) {
        if (!goesOn) {
            QCoreApplication::exit(0);
            return;
        }
        // The command-line mode, run while the main window is made, sets options in the
        // options dialog, so the dialog must exist first.
        formSettings = std::make_unique<OptionsDialog>();
        formMain = std::make_unique<MainWindow>(*formSettings, messages, shell);
        if (formMain->quitRequested()) {
            // The unattended run is over.
            QCoreApplication::exit(0);
            return;
        }
        // The window has placed itself on the screen, centred and whole.
        formMain->show();
        QGuiApplication::setQuitOnLastWindowClosed(true);
    };
    // Queued: the windows are made from the event loop, not inside the network's signals.
    QObject::connect(&update, &UpdateStep::finished, &app, startWindows, Qt::QueuedConnection);
    update.start();
    return app.exec();
}
