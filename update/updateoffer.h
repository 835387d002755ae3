#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// The first line of the version page: latest and minimum version code, "24/23".
struct VersionLine
{
    int latest = 0;
    int minimum = 0;
    QString latestText;
};
// Nothing when the line has no "/" or either side is not a whole number (leading
// blanks and a sign allowed, nothing after the digits).
std::optional<VersionLine> parseVersionLine(const QString &line);
// A version code's display form: a point before its last character ("24" gives "2.4").
QString displayVersion(const QString &versionCodeText);
// The lines of a page's UTF-8 text, split at CR LF, LF or CR; a final line break does
// not start another line.
QStringList pageLines(const QByteArray &body);

// What the new-version dialog tells and whether the user may go on without updating.
struct UpdateOffer
{
    // The dialog's text; it comes from the network, so it is only ever shown as plain
    // text.
    QString message;
    // The running version is below the allowed minimum: the program ends once the
    // dialog closes.
    bool forced = false;

    bool operator==(const UpdateOffer &) const = default;
};

// What the update host's version and changes pages offer a program whose version code
// is runningVersion. Nothing when there is nothing newer, or the version page is
// malformed; then no dialog is shown.
std::optional<UpdateOffer> decideUpdate(const QByteArray &versionPage,
                                        const QByteArray &changesPage, int runningVersion);

// The English texts of the offer that pass through translateText.
QStringList updateOfferSourceTexts();
