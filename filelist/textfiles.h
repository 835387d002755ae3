#pragma once

#include <QString>

// The whole text of a UTF-8 file, a leading byte-order mark skipped. Throws
// TessalyError: "The specified file was not found" or "The specified path was not
// found" with the path, the system's reason when the file cannot be opened, and "No
// mapping for the Unicode character exists in the target multi-byte code page" for
// bytes that are not UTF-8.
QString readUtf8TextFile(const QString &path);

// Strict UTF-8 decoding with the same error; a leading byte-order mark is skipped.
QString decodeUtf8Strictly(const QByteArray &bytes);
