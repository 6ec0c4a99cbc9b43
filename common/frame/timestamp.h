// SPDX-License-Identifier: MIT
#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

// The desktop's general date-and-time text: the locale's short date, a space,
// its long time without a time-zone name.
QString generalDateTime(const QDateTime &when, const QLocale &locale = QLocale::system());

// The general date-and-time text of now, as every log entry starts; and
// of `wallMs` (ms since the epoch).
QString timeStamp();
QString timeStampAt(qint64 wallMs);

// Stamps carry milliseconds after the seconds (".zzz"): for frames, whose
// time is when they came. Off by default; for the whole program.
void setStampsCarryMilliseconds(bool on);
bool stampsCarryMilliseconds();
