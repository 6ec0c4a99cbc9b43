// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <functional>

class QObject;

// The description text of the failure being handled; call it only inside a
// catch block. A link control's failure reads as the control worded it, any
// other exception by its what(), anything else as "未知错误".
QString caughtFailure();

// Runs a handler so that no exception reaches Qt's event loop. What escapes
// is handed to `report` as its description text.
void runGuarded(const std::function<void()> &handler, const std::function<void(const QString &)> &report);

// Ends the program at once, as the quit button and the title bar's close do:
// no other handler runs after it. Tests replace the way it ends.
void quitProgram();
void setQuitHook(std::function<void()> hook);
// Runs `work` as the program quits, before it ends (while `owner` lives):
// what must reach a file is written then.
void atQuit(QObject *owner, std::function<void()> work);
