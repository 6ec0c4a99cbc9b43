// SPDX-License-Identifier: MIT
#include "logcommands.h"

#include "guard.h"
#include "logcolours.h"
#include "logdump.h"
#include "logfindbar.h"
#include "logpane.h"
#include "logsave.h"
#include "logtext.h"
#include "logwriter.h"
#include "messagebox.h"
#include "savedialog.h"
#include "timestamp.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>

#include <functional>

LogCommands::LogCommands(LogPane *pane)
    : QObject(pane), m_pane(pane), m_find(new LogFindBar(pane)), m_findAction(new QAction(QStringLiteral("查找…"), this)),
      m_saveAction(new QAction(QStringLiteral("保存信息…"), this)),
      m_recordAction(new QAction(QStringLiteral("记录到文件…"), this)),
      m_dumpAction(new QAction(QStringLiteral("十六进制转储"), this)), m_separator(new QAction(this))
{
    // A view (the large window) starts as its source shows the log.
    m_dumpAction->setCheckable(true);
    m_dumpAction->setChecked(pane->dumpView());
    connect(m_dumpAction, &QAction::toggled, pane, &LogPane::setDumpView);
    m_separator->setSeparator(true);
    m_findAction->setShortcut(QKeySequence::Find);
    m_saveAction->setShortcut(QKeySequence::Save);
    m_recordAction->setCheckable(true);
    connect(m_findAction, &QAction::triggered, m_find, &LogFindBar::open);
    connect(m_saveAction, &QAction::triggered, this, &LogCommands::saveLog);
    connect(m_recordAction, &QAction::triggered, this, &LogCommands::recordFromMenu);
    connect(pane, &LogPane::findRequested, m_find, &LogFindBar::open);
    connect(pane, &LogPane::findNextRequested, m_find, &LogFindBar::findNext);
    connect(pane, &LogPane::findPreviousRequested, m_find, &LogFindBar::findPrevious);
    connect(pane, &LogPane::saveRequested, this, &LogCommands::saveLog);
    connect(pane, &LogPane::copyTooLarge, this, &LogCommands::saveSelection);
    connect(pane, &LogPane::storageNotice, this, [this](const QString &text) {
        m_pane->AppendLog(kRed, QStringLiteral("\r\n") + timeStamp() + QStringLiteral("  ") + text);
    });
    // Find, save and the find's keys from wherever the focus is in the
    // window (the pane and the find field take their own).
    qApp->installEventFilter(this);

    connect(pane, &LogPane::appended, this,
            [this](qint64 from, qint64 to) { m_recorder.record(m_pane->store(), from, to); });
    connect(&m_recorder, &LogRecorder::failed, this, [this](const QString &reason, qint64 position) {
        showRecording();
        showNotice(m_pane, QStringLiteral("记录中断：") + m_recorder.path() + u'\n' + reason + u'\n' + stoppedAt(position),
                   QStringLiteral("提示"));
    });
    // The program ends at once, without unwinding: what is pending is
    // written first.
    atQuit(this, [this] {
        m_recorder.flush();
        // A save under way is finished first: it was asked for.
        for (LogSave *save : findChildren<LogSave *>())
            save->finishNow();
    });
    offerActions();
}

bool LogCommands::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress)
        return false;
    auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget || widget->window() != m_pane->window() || widget == m_pane || m_pane->isAncestorOf(widget))
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    // F3 and Esc are the find's only while it is open: else they are the
    // window's (a quick send, stopping a repeat, cancelling a connect).
    const bool finding = m_find->isVisible();
    std::function<void()> command;
    if (key->matches(QKeySequence::Find))
        command = [this] { m_find->open(); };
    else if (key->matches(QKeySequence::Save))
        command = [this] { saveLog(); };
    else if (finding && key->matches(QKeySequence::FindNext))
        command = [this] { m_find->findNext(); };
    else if (finding && key->matches(QKeySequence::FindPrevious))
        command = [this] { m_find->findPrevious(); };
    else if (finding && key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier)
        command = [this] { m_find->close(); };
    if (!command)
        return false;
    // Before any shortcut of the window, and instead of the widget's key.
    event->accept();
    if (event->type() == QEvent::KeyPress)
        command();
    return true;
}

void LogCommands::addAction(QAction *action)
{
    m_added.append(action);
    offerActions();
}

void LogCommands::offerActions()
{
    m_pane->setContextActions(QList<QAction *>{m_findAction, m_dumpAction, m_separator, m_saveAction} + m_added
                              + QList<QAction *>{m_recordAction});
}

void LogCommands::showDump(bool on)
{
    m_dumpAction->setChecked(on);
}

void LogCommands::saveLog()
{
    const QString text = QStringLiteral("文本文件 (*.txt)");
    const QString page = QStringLiteral("网页文件，保留颜色 (*.html *.htm)");
    QString chosen = text;
    const QString suggested = suggestedSavePath(QStringLiteral(".txt"));
    const QString path = askSavePath(m_pane, QStringLiteral("保存信息"), suggested, text + QStringLiteral(";;") + page, &chosen);
    if (path.isEmpty())
        return;
    const bool html = chosen == page || path.endsWith(QStringLiteral(".html"), Qt::CaseInsensitive)
        || path.endsWith(QStringLiteral(".htm"), Qt::CaseInsensitive);
    saveInSlices(0, m_pane->store().size(), path, html);
}

void LogCommands::saveInSlices(qint64 from, qint64 to, const QString &path, bool page)
{
    auto *save = new LogSave(m_pane->store(), from, to, path, this);
    save->setDump(m_pane->dumpView());
    if (page)
        save->setPage(m_pane->window()->windowTitle());
    connect(save, &LogSave::finished, this, [this, save, path](const Problem &problem) {
        tellIfFailed(path, problem);
        save->deleteLater();
    });
    if (const Problem problem = save->begin()) {
        delete save;
        tellIfFailed(path, problem);
    }
}

void LogCommands::saveSelection(qint64 from, qint64 to)
{
    // Too large for the clipboard: the same text, to a file.
    const QString title = QStringLiteral("所选内容有%1，不放进剪贴板：保存到文件")
                              .arg(LogText::dataSize(m_pane->dumpView() ? LogDump::utf8Size(m_pane->store(), from, to)
                                                                        : m_pane->store().utf8Size(from, to)));
    QString chosen;
    const QString path = askSavePath(m_pane, title, suggestedSavePath(QStringLiteral("-选中.txt")),
                                     QStringLiteral("文本文件 (*.txt)"), &chosen);
    if (!path.isEmpty())
        saveInSlices(from, to, path);
}

void LogCommands::tellIfFailed(const QString &path, const Problem &problem)
{
    if (problem)
        showNotice(m_pane, QStringLiteral("保存失败：") + path + u'\n' + problem.description(), QStringLiteral("提示"));
}

void LogCommands::noteInLog(const QString &message)
{
    m_pane->AppendLog(kBlack, QStringLiteral("\r\n") + timeStamp() + QStringLiteral("  ") + message);
}

void LogCommands::recordFromMenu(bool on)
{
    // The log says when a recording starts and stops, and the file holds
    // both lines: its first and its last.
    if (!on && m_recorder.recording())
        noteInLog(QStringLiteral("停止记录"));
    setRecording(on);
    if (on && m_recorder.recording())
        noteInLog(QStringLiteral("开始记录：") + m_recorder.path());
}

void LogCommands::setRecording(bool on)
{
    if (!on) {
        m_recorder.stop();
        showRecording();
        return;
    }
    const QString suggested = suggestedSavePath(QStringLiteral("-记录.txt"));
    QString chosen;
    const QString path = askSavePath(m_pane, QStringLiteral("记录到文件"), suggested, QStringLiteral("文本文件 (*.txt)"), &chosen);
    if (!path.isEmpty()) {
        if (const Problem problem = m_recorder.start(path))
            showNotice(m_pane, QStringLiteral("无法记录：") + path + u'\n' + problem.description(), QStringLiteral("提示"));
    }
    showRecording();
}

Problem LogCommands::recordFromTheStart(const QString &path)
{
    const Problem problem = m_recorder.start(path);
    if (!problem)
        m_recorder.record(m_pane->store(), 0, m_pane->store().size());
    showRecording();
    return problem;
}

QString LogCommands::stoppedAt(qint64 position) const
{
    // As a line and column of the log, while the log still reaches there
    // (it may have been cleared since).
    const LogStore &store = m_pane->store();
    if (position > store.size())
        return QStringLiteral("文件记录到信息的第%1个字符之前").arg(position + 1);
    const qint64 line = store.lineAt(position);
    return QStringLiteral("文件记录到信息第%1行第%2个字符之前").arg(line + 1).arg(position - store.lineStart(line) + 1);
}

void LogCommands::showRecording()
{
    m_recordAction->setChecked(m_recorder.recording());
    m_recordAction->setToolTip(m_recorder.recording() ? m_recorder.path() : QString());
}
