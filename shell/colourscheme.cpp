#include "shell/colourscheme.h"

#include <QGuiApplication>

#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

namespace {

ColourScheme makeLight()
{
    ColourScheme s;
    s.dark = false;
    s.window = QColor(0xe7e9ee);
    s.toolbar = QColor(0xf4f6f9);
    s.menuBar = QColor(0xdfe3ea);
    s.menu = QColor(0xf6f7f9);
    s.group = QColor(0xf1f3f6);
    s.line = QColor(0xc4cad4);
    s.controlBorder = QColor(0x7d8794);
    s.field = QColor(0xffffff);
    s.disabledField = QColor(0xeceef1);
    s.button = QColor(0xf6f7f9);
    s.text = QColor(0x27313d);
    s.disabledText = QColor(0x8a929e);
    s.accent = QColor(0x1d6385);
    s.selectedText = QColor(0xffffff);
    s.focus = QColor(0x1d6385);
    s.accentText = QColor(0x1d6385);
    s.hover = QColor(0xdcebf2);
    s.hoverBorder = QColor(0x8fb9cc);
    s.pressed = QColor(0xc3dde9);
    s.listBase = QColor(0xffffff);
    s.listAlternate = QColor(0xf5f7fa);
    s.grid = QColor(0xdde1e7);
    s.header = QColor(0xeef1f5);
    s.toolTip = QColor(0xfdfdf5);
    s.warningText = QColor(0x9a5b00);
    s.mutedText = QColor(0x5f6670);
    s.errorText = QColor(0xb01c1c);
    s.arrowImage = u":/icons/arrow-down.svg"_s;
    s.checkImage = u":/icons/check.svg"_s;
    return s;
}

ColourScheme makeDark()
{
    ColourScheme s;
    s.dark = true;
    s.window = QColor(0x202328);
    s.toolbar = QColor(0x272b31);
    s.menuBar = QColor(0x25292f);
    s.menu = QColor(0x2a2e35);
    s.group = QColor(0x262a30);
    s.line = QColor(0x454c56);
    s.controlBorder = QColor(0x7a8490);
    s.field = QColor(0x16181c);
    s.disabledField = QColor(0x2a2d32);
    s.button = QColor(0x30353c);
    s.text = QColor(0xe3e7ed);
    s.disabledText = QColor(0x7c838d);
    s.accent = QColor(0x1d6385);
    s.selectedText = QColor(0xffffff);
    s.focus = QColor(0x5cb8de);
    s.accentText = QColor(0x7cc8ea);
    s.hover = QColor(0x22404d);
    s.hoverBorder = QColor(0x3f7f99);
    s.pressed = QColor(0x2b5566);
    s.listBase = QColor(0x1b1e22);
    s.listAlternate = QColor(0x22262b);
    s.grid = QColor(0x353b43);
    s.header = QColor(0x2a2e35);
    s.toolTip = QColor(0x2f3339);
    s.warningText = QColor(0xe8a84c);
    s.mutedText = QColor(0xa4acb7);
    s.errorText = QColor(0xff8f85);
    s.arrowImage = u":/icons/arrow-down-dark.svg"_s;
    s.checkImage = u":/icons/check-dark.svg"_s;
    s.iconSuffix = u"-dark"_s;
    return s;
}

double channel(double value)
{
    value /= 255.0;
    return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

double luminance(const QColor &colour)
{
    return 0.2126 * channel(colour.red()) + 0.7152 * channel(colour.green()) +
           0.0722 * channel(colour.blue());
}

} // namespace

const ColourScheme &lightColourScheme()
{
    static const ColourScheme scheme = makeLight();
    return scheme;
}

const ColourScheme &darkColourScheme()
{
    static const ColourScheme scheme = makeDark();
    return scheme;
}

bool isHighContrast(const QPalette &palette)
{
    return contrastRatio(palette.color(QPalette::Active, QPalette::WindowText),
                         palette.color(QPalette::Active, QPalette::Window)) >= 19;
}

ColourScheme paletteColourScheme(const QPalette &palette)
{
    const auto colour = [&palette](QPalette::ColorRole role) {
        return palette.color(QPalette::Active, role);
    };
    ColourScheme s = colour(QPalette::Window).lightness() < 128 ? makeDark() : makeLight();
    s.highContrast = true;
    const QColor text = colour(QPalette::WindowText);
    s.window = s.toolbar = s.menuBar = s.group = s.header = s.disabledField =
        colour(QPalette::Window);
    // Lines and frames in the text's colour: a high-contrast theme draws every edge plainly.
    s.line = s.controlBorder = s.grid = text;
    s.menu = s.field = s.listBase = s.listAlternate = colour(QPalette::Base);
    s.button = colour(QPalette::Button);
    s.text = s.accentText = text;
    // The statuses keep their meaning in words, and the blocking ones in bold.
    s.warningText = s.mutedText = s.errorText = colour(QPalette::Text);
    s.disabledText = palette.color(QPalette::Disabled, QPalette::WindowText);
    s.accent = s.focus = s.hoverBorder = colour(QPalette::Highlight);
    s.selectedText = colour(QPalette::HighlightedText);
    // A hovered or pressed control keeps its background, so its text keeps its contrast.
    s.hover = s.pressed = colour(QPalette::Window);
    s.toolTip = colour(QPalette::Window);
    return s;
}

ColourScheme colourSchemeFor(const QPalette &palette)
{
    // The palette, not a colour-scheme hint: Qt 6.4 has none, and a palette set by the
    // desktop's theme or by the user is what every other window on the desktop shows.
    if (isHighContrast(palette))
        return paletteColourScheme(palette);
    return palette.color(QPalette::Active, QPalette::Window).lightness() < 128
               ? darkColourScheme()
               : lightColourScheme();
}

ColourScheme currentColourScheme()
{
    return colourSchemeFor(QGuiApplication::palette());
}

QList<std::pair<QString, QString>> styleSheetValues(const ColourScheme &scheme)
{
    return {
        {u"window"_s, scheme.window.name()},
        {u"toolbar"_s, scheme.toolbar.name()},
        {u"menuBar"_s, scheme.menuBar.name()},
        {u"menu"_s, scheme.menu.name()},
        {u"group"_s, scheme.group.name()},
        {u"line"_s, scheme.line.name()},
        {u"controlBorder"_s, scheme.controlBorder.name()},
        {u"field"_s, scheme.field.name()},
        {u"disabledField"_s, scheme.disabledField.name()},
        {u"button"_s, scheme.button.name()},
        {u"text"_s, scheme.text.name()},
        {u"disabledText"_s, scheme.disabledText.name()},
        {u"accent"_s, scheme.accent.name()},
        {u"selectedText"_s, scheme.selectedText.name()},
        {u"focus"_s, scheme.focus.name()},
        {u"accentText"_s, scheme.accentText.name()},
        {u"hover"_s, scheme.hover.name()},
        {u"hoverBorder"_s, scheme.hoverBorder.name()},
        {u"pressed"_s, scheme.pressed.name()},
        {u"listBase"_s, scheme.listBase.name()},
        {u"listAlternate"_s, scheme.listAlternate.name()},
        {u"grid"_s, scheme.grid.name()},
        {u"header"_s, scheme.header.name()},
        {u"toolTip"_s, scheme.toolTip.name()},
        {u"arrowImage"_s, scheme.arrowImage},
        {u"checkImage"_s, scheme.checkImage},
        {u"iconSuffix"_s, scheme.iconSuffix},
    };
}

QString fillStyleSheet(const QString &styleSheet, const ColourScheme &scheme)
{
    QList<std::pair<QString, QString>> values = styleSheetValues(scheme);
    std::sort(values.begin(), values.end(),
              [](const auto &a, const auto &b) { return a.first.size() > b.first.size(); });
    QString filled = styleSheet;
    for (const auto &[name, value] : values)
        filled.replace(u'@' + name, value);
    return filled;
}

double contrastRatio(const QColor &first, const QColor &second)
{
    const double a = luminance(first);
    const double b = luminance(second);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}
