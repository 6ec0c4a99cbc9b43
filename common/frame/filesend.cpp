// SPDX-License-Identifier: MIT
#include "filesend.h"

#include "checksum.h"
#include "link.h"
#include "linkerror.h"
#include "logcolours.h"
#include "logsink.h"

#include <QFileInfo>

#include <algorithm>

namespace {
// Qt writes a piece to the system a turn of the event loop: the piece
// bounds the rate (256 KiB held loopback to 0.4 of a plain write()).
constexpr qint64 kPiece = 1024 * 1024;
}

FileSend::FileSend(Link &link, LogSink &log, QObject *parent) : QObject(parent), m_link(link), m_log(log)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &FileSend::tick);
}

Problem FileSend::start(const QString &path, Pace pace, int delayMs)
{
    if (running())
        return Problem(QStringLiteral("正在发送另一个文件"));
    if (!m_link.linkUp())
        return Problem(QStringLiteral("没有连通的链路：请先打开端口或建立连接"));
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadOnly))
        return Problem(m_file.errorString());
    m_pace = delayMs > 0 ? pace : Pace::None;
    m_delayMs = std::max(0, delayMs);
    m_size = m_file.size();
    m_handedOver = 0;
    m_crc = 0;
    m_log.appendEntry(kBlack, QStringLiteral("  发送文件：%1（%2个字节）").arg(QFileInfo(path).absoluteFilePath()).arg(m_size));
    m_timer.start(0);
    return Problem();
}

void FileSend::cancel()
{
    if (running())
        end(QStringLiteral("已取消"));
}

void FileSend::linkSent()
{
    if (running() && m_pace == Pace::None)
        m_timer.start(0);
}

void FileSend::tick()
{
    if (!running())
        return;
    if (!m_link.linkUp()) {
        end(QStringLiteral("链路已断开"));
        return;
    }
    // As much as the link has room for, a piece at a time; paced, one byte
    // or one line, then the delay.
    qint64 room = m_link.sendsAtMost() - m_link.unsent();
    bool handed = false;
    while (room > 0) {
        qint64 take = std::min(room, kPiece);
        if (m_pace == Pace::PerByte)
            take = 1;
        const qint64 at = m_file.pos();
        QByteArray piece = m_file.read(take);
        if (piece.isEmpty()) {
            if (m_file.atEnd() && m_file.error() == QFileDevice::NoError)
                end();
            else
                end(QStringLiteral("读取失败：") + m_file.errorString());
            return;
        }
        if (m_pace == Pace::PerLine) {
            const qsizetype eol = piece.indexOf('\n');
            if (eol >= 0 && eol + 1 < piece.size()) {
                piece.truncate(eol + 1);
                m_file.seek(at + piece.size());
            }
        }
        try {
            m_link.handOverBytes(piece);
        } catch (const LinkError &error) {
            end(error.description());
            return;
        }
        m_handedOver += piece.size();
        m_crc = crc32(piece, m_crc);
        room -= piece.size();
        handed = true;
        emit progressed(m_handedOver, m_size);
        if (m_pace != Pace::None && (m_pace == Pace::PerByte || piece.endsWith('\n') || piece.size() == kPiece))
            break;
    }
    if (m_file.atEnd()) {
        end();
        return;
    }
    // Paced: the delay. Else at once while the link takes more, or soon.
    m_timer.start(m_pace != Pace::None && handed ? m_delayMs : handed ? 0 : 1);
}

void FileSend::end(const QString &why)
{
    m_timer.stop();
    m_file.close();
    if (why.isEmpty())
        m_log.appendEntry(kBlue, QStringLiteral("  发送文件完成：%1个字节，CRC-32 %2")
                                     .arg(m_handedOver)
                                     .arg(QString::number(m_crc, 16).rightJustified(8, u'0').toUpper()));
    else
        m_log.appendEntry(kRed, QStringLiteral("  发送文件中止：%1；已交出%2个字节").arg(why).arg(m_handedOver));
    emit finished();
}
