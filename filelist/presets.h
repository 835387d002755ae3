#pragma once

#include "engine/renameoptions.h"

#include <QByteArray>
#include <QString>

// A preset file's bytes for the options: UTF-8 with byte-order mark, "{", one line per
// option in a fixed order, "}", each line ended by CR LF.
QByteArray presetFileBytes(const RenameOptions &options);

// The value of key in a preset's text, found by plain text search for "key": (the
// first one counts); quoted values are unescaped, bare ones run to the next comma,
// brace or line end. fallback when the key is missing or its quote is not closed.
QString readPresetValue(const QString &text, const QString &key, const QString &fallback);

// The options a preset's text sets, starting from current: a missing key keeps the
// current value, except the check boxes, which are cleared ("changeExt" is set).
// An index outside its list gives -1, no selection.
RenameOptions optionsFromPreset(const QString &text, const RenameOptions &current);

// Reads a preset file (throws TessalyError when it cannot be read or is not UTF-8).
RenameOptions loadPresetFile(const QString &path, const RenameOptions &current);
// Writes a preset file, replacing it; throws TessalyError when that fails.
void savePresetFile(const QString &path, const RenameOptions &options);
