#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

class QApplication;
class QIcon;
class UserMessages;

inline const QString ApplicationTitle = QStringLiteral("Tessaly");
inline const QString ApplicationVersion = QStringLiteral("2.3");
// The version's digits without the point, which the update check compares.
inline constexpr int VersionCode = 23;
inline const QString HomepageAddress = QStringLiteral("https://tessaly.org");
inline const QString SupportPath = QStringLiteral("/support.html");
inline const QString TutorialPath = QStringLiteral("/redirect/tutorial-vexa.html");
inline const QString AllportsStyle = QStringLiteral(":/styles/window.qss");

// Registers the icons and the style sheet that the shell library carries.
void initShellResources();

// Applies the "Allports" style sheet in its light or dark colours, as the application's
// palette is, and again in the other set whenever the palette turns light or dark. When
// it cannot be read, says so through messages and leaves the look as it was; returns
// whether it was applied.
bool applyVisualStyle(QApplication &app, UserMessages &messages,
                      const QString &styleSheet = AllportsStyle);

// Segoe UI at 9 points where the system has it, else the system's sans serif at 9.
void applyApplicationFont(QApplication &app);

// The program's own icon, for its windows.
QIcon applicationIcon();

// What tessaly --help and --version print (arguments without the program's path);
// nothing for any other arguments. Answered before any window system is reached.
std::optional<QString> programInfoText(const QStringList &arguments);

// The catalogue the program reads: transl.dt beside the program (a build folder), else
// the one in the installation's data folder relative to programFolder.
QString cataloguePath(const QString &programFolder);

// Reads the translation catalogue and chooses the interface language.
void loadTranslationCatalogue(QApplication &app);
// Makes Qt's own texts (dialog buttons) and the layout direction follow the chosen
// language: Qt's translation where the system has it, right to left for Arabic.
void applyLanguageToQt();
// The English texts of Qt's dialog buttons that the catalogue translates for languages
// Qt has no translation of.
QStringList qtButtonSourceTexts();

// The whole start-up on an existing application object, then the message loop: the
// update check, which may end the program, then the windows.
int runTessaly(QApplication &app);
