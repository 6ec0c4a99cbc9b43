// SPDX-License-Identifier: MIT
#include "quicksends.h"

#include "link.h"
#include "linkerror.h"
#include "logcolours.h"
#include "logsink.h"
#include "payload.h"
#include "savefile.h"

#include <QFile>
#include <QIODevice>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QString kFormat = QStringLiteral("quick-sends");

template<typename Names, typename T>
QString optionWord(const Names &names, T value)
{
    return QString::fromLatin1(names[choiceIndex(names, value)].option);
}

} // namespace

Problem QuickSend::check() const
{
    if (periodMs != 0 && (periodMs < kLeastPeriodMs || periodMs > kMostPeriodMs))
        return Problem(QStringLiteral("重复周期须为0（不重复）或%1到%2毫秒").arg(kLeastPeriodMs).arg(kMostPeriodMs));
    if (count < 0)
        return Problem(QStringLiteral("重复次数不能为负"));
    if (!bytes || !defined())
        return Problem();
    // Stricter than the send box, which reads any token as a byte: a
    // message kept for reuse should say what it sends.
    const QString text = trimSpaces(content);
    for (const QString &token : text.split(u' ', Qt::SkipEmptyParts)) {
        const bool hex = token.size() <= 2 && std::all_of(token.begin(), token.end(), [](QChar c) {
                             return c.isDigit() || (c.toLower() >= u'a' && c.toLower() <= u'f');
                         });
        if (!hex)
            return Problem(QStringLiteral("“%1”不是十六进制字节（每个一到两位，用空格分开）").arg(token));
    }
    if (ParseHexPayload(text).beyondLimits)
        return Problem(QStringLiteral("最多255个字节"));
    return Problem();
}

QString QuickSend::label(int slot) const
{
    QString words = name.trimmed().isEmpty() ? content.trimmed() : name.trimmed();
    if (words.size() > 24)
        words = words.left(23) + QChar(0x2026);
    return QStringLiteral("F%1  %2").arg(slot + 1).arg(words);
}

QByteArray QuickSendSet::toJson() const
{
    QJsonArray list;
    for (const QuickSend &s : keys) {
        list.append(QJsonObject{
            {QStringLiteral("name"), s.name},
            {QStringLiteral("content"), s.content},
            {QStringLiteral("mode"), s.bytes ? QStringLiteral("bytes") : QStringLiteral("text")},
            {QStringLiteral("lineEnding"), optionWord(kLineEndings, s.ending)},
            {QStringLiteral("checksum"), optionWord(kChecksums, s.checksum)},
            {QStringLiteral("periodMs"), s.periodMs},
            {QStringLiteral("count"), s.count},
        });
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("format"), kFormat}, {QStringLiteral("version"), 1},
                                     {QStringLiteral("keys"), list}})
        .toJson();
}

Problem QuickSendSet::fromJson(const QByteArray &json, QuickSendSet *set)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    const QJsonObject root = document.object();
    if (error.error != QJsonParseError::NoError || root.value(QStringLiteral("format")).toString() != kFormat)
        return Problem(QStringLiteral("不是快捷发送的文件"));
    if (root.value(QStringLiteral("version")).toInt() != 1)
        return Problem(QStringLiteral("快捷发送文件的版本不认识"));
    const QJsonArray list = root.value(QStringLiteral("keys")).toArray();
    if (list.size() > kKeys)
        return Problem(QStringLiteral("快捷发送最多%1个").arg(kKeys));
    QuickSendSet read;
    for (qsizetype i = 0; i < list.size(); ++i) {
        const QJsonObject o = list.at(i).toObject();
        QuickSend &s = read.keys[size_t(i)];
        s.name = o.value(QStringLiteral("name")).toString();
        s.content = o.value(QStringLiteral("content")).toString();
        s.bytes = o.value(QStringLiteral("mode")).toString() == QLatin1String("bytes");
        s.ending = choiceByWord(kLineEndings, o.value(QStringLiteral("lineEnding")).toString()).value;
        s.checksum = choiceByWord(kChecksums, o.value(QStringLiteral("checksum")).toString()).value;
        s.periodMs = o.value(QStringLiteral("periodMs")).toInt();
        s.count = o.value(QStringLiteral("count")).toInt();
        if (const Problem problem = s.check())
            return Problem(QStringLiteral("F%1：").arg(i + 1) + problem.description());
    }
    *set = read;
    return Problem();
}

Problem QuickSendSet::save(const QString &path) const
{
    const QByteArray json = toJson();
    return saveFile(path, [&json](QIODevice &out) { return out.write(json) == json.size(); });
}

Problem QuickSendSet::load(const QString &path, QuickSendSet *set)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Problem(file.errorString());
    // A set is a few kilobytes: anything far larger is not one.
    if (file.size() > 1 << 20)
        return Problem(QStringLiteral("不是快捷发送的文件"));
    return fromJson(file.readAll(), set);
}

QuickSender::QuickSender(Link &link, LogSink &log, QObject *parent) : QObject(parent), m_link(link), m_log(log)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &QuickSender::tick);
}

void QuickSender::send(const QuickSend &send)
{
    if (repeating())
        stop(QStringLiteral("另一个快捷发送开始"));
    if (!send.defined() || !m_link.linkUp())
        return;
    m_send = send;
    m_sent = 0;
    m_skipped = 0;
    if (!sendOnce() || send.periodMs <= 0)
        return;
    if (send.count == 1)
        return;
    m_timer.start(send.periodMs);
    emit repeatingChanged(true);
}

bool QuickSender::sendOnce()
{
    SendCommand command(m_link, m_log);
    command.setSendsBytes(m_send.bytes);
    command.setTextEnding(textEnding(m_send.ending, false));
    command.setChecksum(m_send.checksum);
    try {
        const SendCommand::Result result = command.send(m_send.content);
        if (result.outcome != SendCommand::Outcome::Sent) {
            stop(result.outcome == SendCommand::Outcome::LinkDown ? QStringLiteral("链路已断开")
                                                                   : QStringLiteral("无法发送"));
            return false;
        }
    } catch (const LinkError &error) {
        m_log.appendEntry(kRed, QStringLiteral("  ") + error.description());
        stop(QStringLiteral("链路拒绝发送"));
        return false;
    }
    ++m_sent;
    return true;
}

void QuickSender::tick()
{
    if (!m_link.linkUp()) {
        stop(QStringLiteral("链路已断开"));
        return;
    }
    // The last send still waits to go out: this one would only pile up.
    if (m_link.unsent() > 0) {
        ++m_skipped;
        return;
    }
    if (!sendOnce())
        return;
    if (m_send.count > 0 && m_sent >= m_send.count)
        stop(QString());
}

void QuickSender::stop(const QString &why)
{
    if (!repeating())
        return;
    m_timer.stop();
    const QString counts = QStringLiteral("已发送%1次，跳过%2次").arg(m_sent).arg(m_skipped);
    m_log.appendEntry(why.isEmpty() ? kBlack : kRed,
                      QStringLiteral("  重复发送结束：") + (why.isEmpty() ? counts : why + QStringLiteral("；") + counts));
    emit repeatingChanged(false);
}
