// SPDX-License-Identifier: MIT
#pragma once

#include "logrecorder.h"

#include <QList>
#include <QObject>

class LogFindBar;
class LogPane;
class QAction;

// The log's commands, beside the pane: find (the field over its bottom
// edge), the dump view, save and record to a file, each with its dialog; in
// the pane's context menu after Copy and Select All, and on the keys
// (Ctrl+F, Ctrl+S from anywhere in the window; F3, Shift+F3 and Esc too
// while the find field is open). A failure is told in a notice.
class LogCommands : public QObject
{
    Q_OBJECT
public:
    // Lives as long as `pane`.
    explicit LogCommands(LogPane *pane);

    // An action the window adds to the menu, after "保存信息…" (not owned).
    void addAction(QAction *action);

    // Asks where, and saves the whole log there as text or, by the type
    // chosen, as a page that keeps the colours.
    void saveLog();
    // Asks where, and saves [from, to) there: a selection too large for
    // the clipboard.
    void saveSelection(qint64 from, qint64 to);
    // Records everything appended from now on to a file the user picks;
    // off again when `on` is false.
    void setRecording(bool on);
    // The menu's 记录到文件…: the same, with an entry in the log (and so in
    // the file) as it starts, "  开始记录：path", and as it stops, "  停止记录".
    void recordFromMenu(bool on);
    // Records to `path` what the log holds already and everything appended
    // from now on (a recording chosen before the window showed: its start
    // line is in the file).
    Problem recordFromTheStart(const QString &path);

    // The menu's 十六进制转储, ticked or not.
    void showDump(bool on);

    LogFindBar *findBar() const { return m_find; }
    LogRecorder *recorder() { return &m_recorder; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // A black entry written by the log's commands themselves.
    void noteInLog(const QString &message);
    // The menu shows the recorder's state and file.
    void showRecording();
    // Where in the log a recording cut short stopped, in words.
    QString stoppedAt(qint64 position) const;
    void offerActions();
    // Saves [from, to) between events (a save of gigabytes takes seconds):
    // as text, or as a page that keeps the colours.
    void saveInSlices(qint64 from, qint64 to, const QString &path, bool page = false);
    // A failed save told in a notice.
    void tellIfFailed(const QString &path, const Problem &problem);

    LogPane *m_pane;
    LogFindBar *m_find;
    LogRecorder m_recorder;
    QAction *m_findAction;
    QAction *m_saveAction;
    QAction *m_recordAction;
    QAction *m_dumpAction;
    QAction *m_separator;
    QList<QAction *> m_added;
};
