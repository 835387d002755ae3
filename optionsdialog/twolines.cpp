#include "optionsdialog/twolines.h"

#include <QLabel>

#include <algorithm>

int twoLineWidth(const QLabel *label)
{
    const QMargins margins = label->contentsMargins();
    const int oneLine = label->fontMetrics().horizontalAdvance(label->text()) + margins.left() +
                        margins.right() + 2 * label->margin() + 2;
    const int twoLines = label->heightForWidth(oneLine) + label->fontMetrics().lineSpacing();
    int low = std::min(label->minimumSizeHint().width(), oneLine);
    int high = oneLine;
    while (low < high) {
        const int middle = (low + high) / 2;
        if (label->heightForWidth(middle) <= twoLines)
            high = middle;
        else
            low = middle + 1;
    }
    return high;
}

void keepWithinTwoLines(QLabel *label)
{
    label->setMinimumSize(0, 0);
    const int width = twoLineWidth(label);
    label->setMinimumWidth(width);
    label->setMinimumHeight(label->heightForWidth(width));
}
