// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

#include <exception>
#include <utility>

// A failure raised by a call of a link control (serial port, socket), or by
// a window step that an attempt's trap covers (a port number that does not
// convert). It carries the description text that the log shows in red,
// exactly as it was worded. Nothing below a control throws: the steps there
// return a Problem, which the control raises as this at its boundary.
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
