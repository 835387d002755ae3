#pragma once

#include "engine/dateformat.h"
#include "engine/filemetadata.h"

#include <QList>
#include <QString>
#include <QStringList>

// The pattern keywords whose values come from inside the files:
//   {exif:taken} {exif:taken:FORMAT} {exif:camera} {exif:lens} {exif:iso} {exif:fnumber}
//   {exif:exposure} {exif:focal} {exif:width} {exif:height} {exif:FAMILY.GROUP.TAG}
//   {audio:artist} {audio:albumartist} {audio:album} {audio:title} {audio:track}
//   {audio:track:DIGITS} {audio:disc} {audio:year} {audio:genre} {audio:length}
// matched without regard to case. Anything else after "exif:" or "audio:" is not a
// keyword and stays as typed, so that a misspelt one shows in the preview.

struct MetadataKeyword
{
    std::optional<MetadataField> field; // empty for an Exif, IPTC or XMP key
    QString tagKey;                     // that key, as typed
    QString argument; // the FORMAT of {exif:taken:F}, the DIGITS of {audio:track:N}
    bool hasArgument = false;
};

// A pattern cut at its metadata keywords: texts[0], keywords[0], texts[1], ...,
// texts.size() == keywords.size() + 1. The texts are expanded as patterns of their own,
// so that no value read from a file is ever read as a keyword.
class MetadataPattern
{
public:
    explicit MetadataPattern(const QString &pattern);

    bool hasKeywords() const { return !m_keywords.isEmpty(); }
    const QStringList &texts() const { return m_texts; }
    const QList<MetadataKeyword> &keywords() const { return m_keywords; }
    // Everything the keywords ask of a file.
    const MetadataRequest &request() const { return m_request; }

private:
    QStringList m_texts;
    QList<MetadataKeyword> m_keywords;
    MetadataRequest m_request;
};

// The text keyword stands for in a file with the values given: a time written by its
// format ("yyyymmdd" without one) on the local clock, a track number padded as the
// counter is, control characters as spaces and no spaces at either end.
QString metadataKeywordValue(const MetadataKeyword &keyword, const FileMetadata &values,
                             const LocaleFormat &locale);

// The lines that the pattern help and tessaly-cli --help show for these keywords: the
// keywords as typed and, when not empty, the English sentence that explains them.
struct KeywordHelpLine
{
    QString keywords;
    QString sentence;
};
const QList<KeywordHelpLine> &metadataKeywordHelp();
// Every metadata keyword as a user types it, for completion ("{exif:taken}", ...).
QStringList metadataKeywordList();
