// SPDX-License-Identifier: MIT
#pragma once

#include "procstatus.h"

#include <QByteArray>
#include <QHash>
#include <QStringList>

#include <algorithm>

// A whole-number option of a benchmark's command line ("--name N"), at
// least `least`; `fallback` when not given.
inline int intOption(const QStringList &args, const QString &name, int fallback, int least)
{
    const qsizetype at = args.indexOf(name);
    return at >= 0 && at + 1 < args.size() ? std::max(least, args.at(at + 1).toInt()) : fallback;
}

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
