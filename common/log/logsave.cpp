// SPDX-License-Identifier: MIT
#include "logsave.h"

#include "logstore.h"

#include <algorithm>

LogSave::LogSave(const LogStore &store, qint64 from, qint64 to, const QString &path, QObject *parent)
    : QObject(parent), m_store(store), m_at(std::clamp<qint64>(from, 0, store.size())),
      m_to(std::clamp<qint64>(to, m_at, store.size())), m_clears(store.clears()), m_file(path)
{
}

Problem LogSave::begin()
{
    if (!m_file.open(QIODevice::WriteOnly))
        return Problem(m_file.errorString());
    m_running = true;
    next();
    return Problem();
}

void LogSave::next()
{
    if (m_running && step())
        QMetaObject::invokeMethod(this, &LogSave::next, Qt::QueuedConnection);
}

void LogSave::finishNow()
{
    while (m_running && step()) {
    }
}

bool LogSave::step()
{
    if (m_store.clears() != m_clears) {
        end(Problem(QStringLiteral("信息已被清除，未能保存")));
        return false;
    }
    const qint64 to = std::min(m_to, m_at + kSlice);
    bool ok = true;
    m_store.writeUtf8(m_at, to, [&](const char *bytes, qint64 n) { ok = ok && m_file.write(bytes, n) == n; });
    if (!ok) {
        end(Problem(m_file.errorString()));
        return false;
    }
    m_at = to;
    if (m_at < m_to)
        return true;
    end(m_file.commit() ? Problem() : Problem(m_file.errorString()));
    return false;
}

void LogSave::end(const Problem &problem)
{
    if (problem && m_file.isOpen())
        m_file.cancelWriting();
    m_running = false;
    emit finished(problem);
}
