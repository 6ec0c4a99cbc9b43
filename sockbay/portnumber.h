// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QtGlobal>

// The number rules the port boxes are read and rewritten by.

// The numeric value at the front of `text`: blanks, tabs and line feeds are
// ignored wherever they stand; reading stops at the first character that
// cannot continue the number. Understood: a leading sign, a decimal point, an
// exponent (E or D), and the prefixes &H (hexadecimal) and &O (octal), whose
// values are 16-bit, or 32-bit when they need more, and signed. No number in
// front gives 0. Never fails: a value beyond the range of a double reads as
// the largest one of its sign.
double leadingNumber(const QString &text);

// The ordinary decimal text of `value`: no leading space or plus sign, no
// thousands separator, no trailing decimal point or zeros, at most 15
// significant digits; exponent form ("9E+99", "1E-05") when the exponent is
// 15 or more, or -5 or less.
QString numberText(double value);

// The text of a port box as a 32-bit integer: a number, optionally &H or &O,
// rounded half to even. Throws LinkError("Overflow") outside the 32-bit range
// and LinkError("Type mismatch") for text that is not a number.
qint32 toLong(const QString &text);
