#pragma once

class QLineEdit;

// Lets the edit take only the digits 0 to 9 as typed input. Pasted text, presets and
// the command line can still put other text there, which the readers convert with
// their defaults.
void acceptOnlyDigits(QLineEdit *edit);

// Steps the edit's number by steps, kept within minimum and maximum; text that is no
// number counts as fallback.
void stepNumber(QLineEdit *edit, int steps, int minimum, int maximum, int fallback);
// Lets the Up and Down keys step the edit's number by 1, as stepNumber does.
void stepWithArrowKeys(QLineEdit *edit, int minimum, int maximum, int fallback);
