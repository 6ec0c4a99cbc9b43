// SPDX-License-Identifier: MIT
#pragma once

#include "procstatus.h"

#include <QByteArray>
#include <QHash>

// The fields of one result line ("key=value key=value ..."), as the
// benchmarks print them, for their closing tables.
inline QHash<QByteArray, QByteArray> resultFields(const QByteArray &line)
{
    QHash<QByteArray, QByteArray> fields;
    for (const QByteArray &pair : line.split(' ')) {
        const int eq = pair.indexOf('=');
        if (eq > 0)
            fields.insert(pair.left(eq), pair.mid(eq + 1));
    }
    return fields;
}
