// SPDX-License-Identifier: MIT
#pragma once

#include <QLocale>

class QCoreApplication;
class QTranslator;

// Installs Qt's own translations for `locale` (the words of its menus and
// dialogs, such as the log's Copy), when the system has them: the tools'
// own texts are Chinese whatever the language, Qt's follow the user's.
// Returns the translator installed (owned by `app`), or nullptr.
QTranslator *loadQtTranslations(QCoreApplication &app, const QLocale &locale = QLocale::system());
