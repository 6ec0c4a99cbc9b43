// SPDX-License-Identifier: MIT
#pragma once

#include "problem.h"

#include <QString>

#include <cerrno>

// The system's words for an error number, in the user's language.
QString systemError(int error = errno);

// The failed call's error, after `what: ` when `what` is given (a path, a
// device).
Problem systemProblem(const QString &what = QString(), int error = errno);

// Runs a system call again for as long as a signal interrupts it (-1 with
// EINTR); returns its last result, with errno as that call left it.
template<typename Call>
auto retryOnInterrupt(Call call) -> decltype(call())
{
    for (;;) {
        const auto result = call();
        if (!(result == -1 && errno == EINTR))
            return result;
    }
}
