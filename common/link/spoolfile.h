// SPDX-License-Identifier: MIT
#pragma once

#include "problem.h"

#include <QString>

// Where the tools keep what a session gathers (the log's bytes, the received
// capture): the user's cache folder, made if missing; the temporary folder
// when there is none.
QString spoolFolder();

// Where the tool named `tool` keeps its settings: `tool` in the user's
// configuration folder ($XDG_CONFIG_HOME, else ~/.config). Not made.
QString configFolder(const QString &tool);

// An unnamed file in `folder`, read and written: nothing of it is left once
// it is closed, however the program ends. -1, with `why` set, when the
// folder cannot hold one.
int openSpoolFile(const QString &folder, const char *stem, Problem *why);
