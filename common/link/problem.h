// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <utility>

// The outcome of a step that reports its failure instead of throwing: none
// when it worked, else the words a user reads (the system's, with what they
// concern). Every caller checks it or says why it need not.
class [[nodiscard]] Problem
{
public:
    Problem() = default;
    // A failure with no words of its own still reads as one.
    explicit Problem(QString description)
        : m_description(description.isEmpty() ? QStringLiteral("未知错误") : std::move(description))
    {
    }

    // There is a problem.
    explicit operator bool() const { return !m_description.isEmpty(); }
    const QString &description() const { return m_description; }

private:
    QString m_description;
};
