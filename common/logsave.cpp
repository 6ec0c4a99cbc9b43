// SPDX-License-Identifier: MIT
#include "logsave.h"

#include "lamp.h"
#include "logstore.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QSaveFile>

#include <algorithm>

namespace LogSave {

bool writeFile(const QString &path, const std::function<bool(QIODevice &)> &write, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = file.errorString();
        return false;
    }
    if (!write(file)) {
        *error = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

bool writeText(const LogStore &store, const QString &path, QString *error)
{
    return writeFile(path, [&](QIODevice &out) {
        bool ok = true;
        store.writeUtf8(0, store.size(), [&](const char *bytes, qint64 n) { ok = ok && out.write(bytes, n) == n; });
        return ok;
    }, error);
}

bool writeHtml(const LogStore &store, const QString &title, const QString &path, QString *error)
{
    return writeFile(path, [&](QIODevice &out) {
        bool ok = true;
        const auto put = [&](const QString &text) {
            const QByteArray utf8 = text.toUtf8();
            ok = ok && out.write(utf8) == utf8.size();
        };
        put(QStringLiteral("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>") + title.toHtmlEscaped()
            + QStringLiteral("</title></head>\n<body><pre style=\"white-space: pre-wrap\">"));
        // A run of one colour at a time, in bounded pieces.
        constexpr qint64 kPiece = 1 << 20;
        for (qint64 at = 0; ok && at < store.size();) {
            qint64 from = at, to = at;
            const quint32 colour = store.colourAt(at, &from, &to);
            const qint64 end = std::min(to, at + kPiece);
            const QString text = store.text(at, end).toHtmlEscaped();
            if (to == at + 1 && text == QStringLiteral("\n"))
                put(text); // a line break has no colour of its own
            else
                put(QStringLiteral("<span style=\"color:%1\">").arg(ColourFromBgr(colour).name()) + text
                    + QStringLiteral("</span>"));
            at = end;
        }
        put(QStringLiteral("</pre></body></html>\n"));
        return ok;
    }, error);
}

} // namespace LogSave

namespace {
SavePathHook &hook()
{
    static SavePathHook h;
    return h;
}
} // namespace

QString SuggestedSavePath(const QString &ending)
{
    return QDir::home().filePath(QCoreApplication::applicationName() + u'-'
                                 + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")) + ending);
}

QString AskSavePath(QWidget *parent, const QString &title, const QString &suggested, const QString &filter,
                    QString *chosenFilter)
{
    if (hook())
        return hook()(title, suggested, filter, chosenFilter);
    return QFileDialog::getSaveFileName(parent, title, suggested, filter, chosenFilter);
}

void SetSavePathHook(SavePathHook h)
{
    hook() = std::move(h);
}
