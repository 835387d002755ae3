#pragma once

#include <QString>
#include <QStringView>

class QApplication;
class UserMessages;

inline const QString ApplicationTitle = QStringLiteral("Tessaly");
inline const QString ApplicationVersion = QStringLiteral("2.3");
// The version's digits without the point, which the update check compares.
inline constexpr int VersionCode = 23;
inline const QString HomepageAddress = QStringLiteral("https://tessaly.org");
inline const QString SupportPath = QStringLiteral("/support.html");
inline const QString TutorialPath = QStringLiteral("/redirect/tutorial-vexa.html");
inline const QString AllportsStyle = QStringLiteral(":/styles/allports.qss");

// Registers the icons and the style sheet that the shell library carries.
void InitShellResources();

// Applies the "Allports" style sheet. When it cannot be read, says so through
// messages and leaves the default look; returns whether it was applied.
bool ApplyVisualStyle(QApplication &app, UserMessages &messages,
                      const QString &styleSheet = AllportsStyle);

// Segoe UI at 9 points where the system has it, else the system's sans serif at 9.
void ApplyApplicationFont(QApplication &app);

// Reads the translation catalogue and chooses the interface language.
void LoadTranslationCatalogue(QApplication &app);

// Asks whether a newer version exists and lets the user get it; false when the
// program is to end before any window is made.
bool RunUpdateCheck();

// The whole start-up on an existing application object, then the message loop.
int RunTessaly(QApplication &app);
