#include "engine/planstatus.h"

#include "translation/translation.h"

using namespace Qt::StringLiterals;

QString planStatusWord(PlanStatus status)
{
    static const QString words[PlanStatusCount] = {
        u"rename"_s,     u"unchanged"_s,         u"numbered"_s,
        u"skip"_s,       u"overwrite"_s,         u"duplicate"_s,
        u"folder"_s,     u"invalid"_s,           u"missing"_s,
        u"no-preview"_s, u"hidden-characters"_s,
    };
    return words[int(status)];
}

QString planStatusText(PlanStatus status)
{
    static const QString texts[PlanStatusCount] = {
        translatable(u"Rename"),
        translatable(u"No change"),
        translatable(u"Numbered"),
        translatable(u"Skipped"),
        translatable(u"Replaces a file"),
        translatable(u"Duplicate name"),
        translatable(u"Folder in the way"),
        translatable(u"Invalid name"),
        translatable(u"File missing"),
        translatable(u"No preview"),
        translatable(u"Invisible characters"),
    };
    return translateText(texts[int(status)]);
}

QString planStatusDescription(PlanStatus status)
{
    static const QString texts[PlanStatusCount] = {
        translatable(u"Gets the new name shown."),
        translatable(u"Already has this name; nothing to do."),
        translatable(u"The new name is taken; the file gets the numbered name shown."),
        translatable(u"The new name is taken, or the file is listed twice; it stays as it is."),
        translatable(u"Another file has this name; it goes to the Trash, and Undo restores it."),
        translatable(u"Another row gets the same name; with Overwrite one file would be lost."),
        translatable(u"A folder has this name; a folder is never replaced."),
        translatable(u"This name cannot exist here (empty, too long, or a forbidden character)."),
        translatable(u"The file is no longer there; it is passed over."),
        translatable(u"No new name yet: build the preview first."),
        translatable(u"Name holds invisible characters, which show as nothing or turn the text "
                     u"around them; the file gets the new name shown."),
    };
    return translateText(texts[int(status)]);
}

bool planStatusBlocks(PlanStatus status)
{
    return status == PlanStatus::Duplicate || status == PlanStatus::Folder ||
           status == PlanStatus::Invalid || status == PlanStatus::NoPreview;
}

bool planStatusActs(PlanStatus status)
{
    return status == PlanStatus::Rename || status == PlanStatus::Numbered ||
           status == PlanStatus::Overwrite || status == PlanStatus::HiddenCharacters;
}
