// SPDX-License-Identifier: MIT
#pragma once

#include "problem.h"

#include <functional>

class QIODevice;
class QString;

// Writes a file whole or not at all: `write` fills a temporary file beside
// `path`, which replaces it only once all is written, so a full disk or a
// failed write never leaves a half-written file under the chosen name.
// `write` returns false to give up.
Problem saveFile(const QString &path, const std::function<bool(QIODevice &)> &write);
