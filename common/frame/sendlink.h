// SPDX-License-Identifier: MIT
#pragma once

#include "link.h"

// The link sends go through: the tool's own, or for a while another (a
// server's clients, all or one). Everything is asked of the one in force.
class SendLink : public Link
{
public:
    explicit SendLink(Link &own) : m_own(own), m_to(&own) {}

    // nullptr: the tool's own link again.
    void sendThrough(Link *link) { m_to = link ? link : &m_own; }

    bool linkUp() const override { return m_to->linkUp(); }
    qint64 waiting() const override { return m_to->waiting(); }
    qint64 holdsAtMost() const override { return m_to->holdsAtMost(); }
    QByteArray takeWaiting() override { return m_to->takeWaiting(); }
    QByteArray takeEverything() override { return m_to->takeEverything(); }
    void handOverText(const QString &text) override { m_to->handOverText(text); }
    void handOverBytes(const QByteArray &bytes) override { m_to->handOverBytes(bytes); }
    qint64 unsent() const override { return m_to->unsent(); }
    qint64 sendsAtMost() const override { return m_to->sendsAtMost(); }

private:
    Link &m_own;
    Link *m_to;
};
