// SPDX-License-Identifier: MIT
#include "savefile.h"

#include <QSaveFile>

Problem saveFile(const QString &path, const std::function<bool(QIODevice &)> &write)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Problem(file.errorString());
    if (!write(file)) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return Problem(reason);
    }
    if (!file.commit())
        return Problem(file.errorString());
    return Problem();
}
