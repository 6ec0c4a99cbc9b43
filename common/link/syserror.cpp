// SPDX-License-Identifier: MIT
#include "syserror.h"

#include <cstring>

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

Problem systemProblem(const QString &what, int error)
{
    const QString words = systemError(error);
    return Problem(what.isEmpty() ? words : what + QStringLiteral(": ") + words);
}
