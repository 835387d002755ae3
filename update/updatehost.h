#pragma once

#include <QString>
#include <QUrl>

#include <chrono>

// How the update check introduces itself to the host: "Tessaly/" and the version.
extern const QString UpdateUserAgent;
// The update host the program was built with (the TESSALY_UPDATE_HOST build setting);
// empty when none was given, which turns the check off.
extern const QString DefaultUpdateHost;
// Replaces the update host's base address, for a mirror or a local test server.
inline constexpr char UpdateHostVariable[] = "TESSALY_UPDATE_URL";
// The update host's file names (fixed by the host, not named after this program) and the
// name the installer is saved as.
inline const QString VersionPagePath = QStringLiteral("/download/version/vexa-version.html");
inline const QString ChangesPagePath = QStringLiteral("/download/version/vexa-changes.html");
inline const QString InstallerPath = QStringLiteral("/download/vexa.exe");
inline const QString InstallerFileName = QStringLiteral("zelv_update.exe");
// The homepage's page with the packages of the latest version.
inline const QString DownloadPagePath = QStringLiteral("/download.html");
inline constexpr std::chrono::milliseconds UpdateCheckTimeout{10000};

// Whether the update documents may be fetched from url: HTTPS anywhere, plain HTTP only
// on this machine's loopback, since whatever comes from there decides what program
// the user is offered to run.
bool isAllowedUpdateAddress(const QUrl &url);
// The update host's base address: TESSALY_UPDATE_URL when set, else the built-in
// one. An empty URL (the check is off) when there is neither, or when the variable
// names an address that is not allowed.
QUrl updateHostAddress();
// path (beginning with "/") below base, whose own path it keeps.
QUrl updateDocumentAddress(const QUrl &base, const QString &path);

class QNetworkReply;
// Whether the host answered with a success (HTTP 2xx).
bool isSuccessStatus(const QNetworkReply *reply);
