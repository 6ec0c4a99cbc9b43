// SPDX-License-Identifier: MIT
#include "savedialog.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>

namespace {
SavePathHook &hook()
{
    static SavePathHook h;
    return h;
}
OpenPathHook &openHook()
{
    static OpenPathHook h;
    return h;
}
} // namespace

QString suggestedSavePath(const QString &ending)
{
    return QDir::home().filePath(QCoreApplication::applicationName() + u'-'
                                 + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")) + ending);
}

QString askSavePath(QWidget *parent, const QString &title, const QString &suggested, const QString &filter,
                    QString *chosenFilter)
{
    if (hook())
        return hook()(title, suggested, filter, chosenFilter);
    return QFileDialog::getSaveFileName(parent, title, suggested, filter, chosenFilter);
}

void setSavePathHook(SavePathHook h)
{
    hook() = std::move(h);
}

QString askOpenPath(QWidget *parent, const QString &title)
{
    if (openHook())
        return openHook()(title);
    return QFileDialog::getOpenFileName(parent, title, QDir::homePath(), QStringLiteral("所有文件 (*)"));
}

void setOpenPathHook(OpenPathHook h)
{
    openHook() = std::move(h);
}
