#pragma once

class QLabel;

// The narrowest width at which a word-wrapped label shows its text in at most two lines.
int twoLineWidth(const QLabel *label);
// Keeps a word-wrapped label at least that wide and high enough for what it then needs,
// so that its text stays whole however its layout shrinks. Called again after each
// change of its text.
void keepWithinTwoLines(QLabel *label);
