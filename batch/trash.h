#pragma once

#include <QString>

// The desktop Trash as freedesktop.org describes it: the home Trash for files on the
// home's file system, a Trash at the top of any other file system, each with the file
// in "files/" and a note of where it came from in "info/NAME.trashinfo".
//
// Trashing takes two stages, so that whoever moves the file can record the move before
// it happens: the slot is chosen and the note written first, then the file is moved to
// the slot by an ordinary move that never replaces anything. The slot stays the
// caller's from the moment its note exists, whether or not the move follows.
//
// Paths are text as decodeFileName makes it, so any name on the disk is reached
// exactly, whatever bytes it holds.

// Chooses the slot in the Trash for the file (a link: the link itself) at path and
// writes the Trash's note of its origin; nothing moves. Returns the slot's absolute
// path, in "files/" of a Trash on the file's own file system. Throws TessalyError
// ("The Trash cannot take the file; nothing was deleted" and the path) when no Trash
// can take it, or "The specified file was not found" when nothing is at path.
// Empty on systems whose Trash chooses its names itself (Windows): there only a move
// straight into the Trash is possible.
QString reserveTrashSlot(const QString &path);

// Takes the note of a slot back while the slot is empty: its move never took place,
// or the file has left the Trash again. Does nothing for a path that is not in the
// "files/" folder of a Trash, nor while anything is at trashedPath, so that a file in
// the Trash never loses its note.
void releaseTrashSlot(const QString &trashedPath);

// Where the note of the slot trashedPath is kept: "info/NAME.trashinfo" beside the
// Trash's "files/". Empty for a path that is not in a Trash.
QString trashInfoPath(const QString &trashedPath);
