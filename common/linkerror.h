// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <exception>

// A failure of a link control (serial port, socket) or of a step that uses
// one. It carries the description text that the log shows in red, exactly
// as the control worded it.
class LinkError : public std::exception
{
public:
    explicit LinkError(QString description) : m_description(std::move(description)),
        m_utf8(m_description.toUtf8()) {}

    const QString &description() const noexcept { return m_description; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_description;
    QByteArray m_utf8;
};
