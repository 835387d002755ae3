#pragma once

#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

// Indices of the drop-down lists; -1 (no selection) is a valid value of each.
namespace CaseMode {
enum : int { Unchanged = 0, Lower = 1, Upper = 2, Title = 3 };
}
namespace ConflictMode {
enum : int { Skip = 0, Overwrite = 1, AutoNumber = 2 };
}
namespace BatchMode {
enum : int { RenameInPlace = 0, CopyToFolder = 1, MoveToFolder = 2 };
}

// Every renaming option, named as in preset files. Number options keep the text the
// user typed and are converted with intOrDefault where they are used.
struct RenameOptions
{
    QString find;
    QString replace;
    bool regex = false;
    QString pattern = QStringLiteral("{name}");
    QString counterStart = QStringLiteral("1");
    QString digits = QStringLiteral("3");
    int caseMode = CaseMode::Unchanged; // preset key "case"
    bool changeExt = false;
    QString newExt;
    int conflict = ConflictMode::AutoNumber;
    QString insertText;
    QString insertPos = QStringLiteral("1");
    QString removeFirst = QStringLiteral("0");
    QString removeLast = QStringLiteral("0");
    QString removeFromPos = QStringLiteral("0");
    QString removeTillPos = QStringLiteral("0");
    QString charactersToRemove;
    bool collapseDoubleSpaces = false;
    QString trimFrom;
    QString trimUntil;
    QString padNumbers = QStringLiteral("0");
    bool includeSubfolders = false;
    int batchMode = BatchMode::RenameInPlace;
    QString destination;
    bool touchModifiedNow = false;

    bool operator==(const RenameOptions &) const = default;
};

// How an option is held: a text, a number kept as the text typed, a yes/no, or the
// index of a drop-down list's item.
enum class OptionKind { Text, Number, Flag, Choice };

// One option as every place that reads or writes options sees it: preset files, the
// controls of the main window and of the options dialog, and tessaly-cli's switches.
// They all go through renameOptionFields(), so that an option added there is saved,
// loaded, shown and given a switch alike.
struct OptionField
{
    QStringView presetKey = {}; // its key in preset files
    OptionKind kind = {};
    QString RenameOptions::*text = nullptr; // Text and Number
    bool RenameOptions::*flag = nullptr;    // Flag
    int RenameOptions::*choice = nullptr;   // Choice
    // A preset without the key: the value it then has (a Flag's "true" or "false");
    // empty means the current value stays.
    QStringView presetFallback = {};
    QStringView control = {}; // object name of its control in the window or options dialog
    // tessaly-cli: the long switch (empty: none), its value's name, its help line.
    QStringView cliSwitch = {};
    QStringView cliValueName = {};
    QStringView cliHelp = {};
    // Choice: the switch's word for each item, in item order; also the number of items.
    QList<QStringView> choiceWords = {};
    // What the switch's choice is called in the message about an unknown word.
    QStringView choiceName = {};
    // A switch that gives this option a value also turns this one on.
    bool RenameOptions::*switchAlsoSets = nullptr;
};

// Every option, in the order preset files hold them.
const QList<OptionField> &renameOptionFields();

// Which digits readInteger takes.
enum class IntegerDigits {
    // Decimal, or hexadecimal after "$", "x" or "0x".
    DecimalOrHexadecimal,
    DecimalOnly,
};

// A whole text read as a 32-bit integer: any run of the characters in blanks, an
// optional sign, then digits running to the end of the text and fitting in 32 bits.
// Nothing for any other text.
std::optional<int> readInteger(QStringView text,
                               IntegerDigits digits = IntegerDigits::DecimalOrHexadecimal,
                               QStringView blanks = u" ");

// The one rule by which option texts become numbers: leading spaces, an optional
// sign, then decimal digits or a hexadecimal number after "$", "x" or "0x", running
// to the end of the text and fitting in 32 bits; anything else gives fallback.
int intOrDefault(const QString &text, int fallback);

// The text without the characters up to U+0020 at both ends.
QString trimControl(const QString &text);
