// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>

// What the reference dumper, `xxd -g1 -u`, makes of `bytes`, without its
// last line break (empty when it cannot be run).
inline QString referenceDump(const QByteArray &bytes)
{
    QProcess xxd;
    xxd.start(QStringLiteral("xxd"), {QStringLiteral("-g1"), QStringLiteral("-u")});
    if (!xxd.waitForStarted())
        return QString();
    xxd.write(bytes);
    xxd.closeWriteChannel();
    xxd.waitForFinished();
    QString out = QString::fromLatin1(xxd.readAllStandardOutput());
    if (out.endsWith(u'\n'))
        out.chop(1);
    return out;
}
