#pragma once

#include <QColor>
#include <QList>
#include <QPalette>
#include <QString>

#include <utility>

// The window's own colours in one of two sets, light and dark. The set follows the
// desktop's colour scheme as Qt's palette tells it, so that a dark desktop gets a dark
// window whose every text stays readable. A high-contrast desktop gets its own colours
// back instead (paletteColourScheme).
struct ColourScheme
{
    bool dark = false;
    bool highContrast = false;

    QColor window;        // the window's background, the status bar
    QColor toolbar;       // the strip of command buttons
    QColor menuBar;       //
    QColor menu;          // a menu's background
    QColor group;         // a group box's background
    QColor line;          // dividing lines, group box frames
    QColor controlBorder; // the frame of an edit, a list, a button
    QColor field;         // an edit's background
    QColor disabledField; //
    QColor button;        //
    QColor text;          // ordinary text on every background above
    QColor disabledText;  //
    QColor accent;        // selected rows and menu items, under selectedText
    QColor selectedText;  //
    QColor focus;         // the keyboard focus outline, a checked box
    QColor accentText;    // group titles, the website link
    QColor hover;         // a button under the mouse
    QColor hoverBorder;   //
    QColor pressed;       //
    QColor listBase;      // the file list's rows
    QColor listAlternate; // every other row
    QColor grid;          // the file list's grid
    QColor header;        // the file list's column titles
    QColor toolTip;       //
    // The file list's statuses: a renamed-but-changed row, a row left alone, a row that
    // keeps the batch from starting.
    QColor warningText;
    QColor mutedText;
    QColor errorText;
    // Pictures drawn in the scheme's colours: a combo box's arrow, the check mark.
    QString arrowImage;
    QString checkImage;
    // Ends the names of the toolbar's pictures: "-dark" picks those drawn for the dark set.
    QString iconSuffix;
};

const ColourScheme &lightColourScheme();
const ColourScheme &darkColourScheme();
// Whether the palette is a high-contrast theme's: its window text and window stand at
// least 19:1 apart, as only pure black and white (or yellow on black) do; the usual light
// and dark themes stay below that.
bool isHighContrast(const QPalette &palette);
// Every colour taken from the palette itself, for a high-contrast desktop: the user chose
// those colours, and any of ours would weaken them.
ColourScheme paletteColourScheme(const QPalette &palette);
// The palette's own colours for a high-contrast palette; else the dark set where the
// palette's window colour is dark, else the light set.
ColourScheme colourSchemeFor(const QPalette &palette);
// The set for the application's palette now.
ColourScheme currentColourScheme();

// Every name the style sheet can use ("@window", "@arrowImage"), with its value in the
// scheme.
QList<std::pair<QString, QString>> styleSheetValues(const ColourScheme &scheme);
// The style sheet with each "@name" replaced by the scheme's value; the longest names
// are replaced first, so that no name is read as the start of a longer one.
QString fillStyleSheet(const QString &styleSheet, const ColourScheme &scheme);

// The WCAG 2 contrast ratio of two opaque colours: 1 (none) to 21 (black on white).
double contrastRatio(const QColor &first, const QColor &second);
