// SPDX-License-Identifier: MIT
#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

// The desktop's general date-and-time text: the locale's short date, a space,
// its long time without a time-zone name.
QString generalDateTime(const QDateTime &when, const QLocale &locale = QLocale::system());

// The general date-and-time text of now, as every log entry starts.
QString timeStamp();
