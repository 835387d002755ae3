#pragma once

#include <QString>

// What the batch will do with one row. Decided before any file is touched.
enum class PlanStatus : quint8 {
    Rename,    // gets the new name as previewed
    Unchanged, // already has the new name
    Numbered,  // the new name is taken; gets the numbered name shown
    Skip,      // the new name is taken (or the file is listed twice); left alone
    Overwrite, // a file outside the batch holds the new name; it goes to the Trash
    Duplicate, // under Overwrite another row ends at the same name: blocks the batch
    Folder,    // under Overwrite a folder holds the new name; folders are never replaced
    Invalid,   // the name cannot exist there: blocks the batch
    Missing,   // the file is gone; passed over
    NoPreview, // no new name yet: blocks the batch
    // Gets the new name, which holds characters that show as nothing or reorder the
    // text around them (hiddencharacters.h): renamed, and told.
    HiddenCharacters,
};
inline constexpr int PlanStatusCount = int(PlanStatus::HiddenCharacters) + 1;

// The fixed English word for tools ("rename", "no-preview" ...).
QString planStatusWord(PlanStatus status);
// A short label for people ("Numbered"), and a sentence that explains it; translated.
QString planStatusText(PlanStatus status);
QString planStatusDescription(PlanStatus status);
// Whether a row of this status keeps the whole batch from starting.
bool planStatusBlocks(PlanStatus status);
// Whether the file ends under a new path (in copy mode: whether a copy is made).
bool planStatusActs(PlanStatus status);
