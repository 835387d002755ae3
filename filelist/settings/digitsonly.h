#pragma once

class QLineEdit;

// Lets the edit take only the digits 0 to 9 as typed input. Pasted text, presets and
// the command line can still put other text there, which the readers convert with
// their defaults.
void AcceptOnlyDigits(QLineEdit *edit);
