// SPDX-License-Identifier: MIT
#pragma once

#include "consolewindow.h"

#include <QStringList>

class LampRim;
class MSComm;
class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QMenu;
class PortWatch;
class QTimer;
class TipArea;

// The serial tester's window.
class Form1 : public ConsoleWindow
{
    Q_OBJECT
public:
    // Takes ownership of the serial control.
    explicit Form1(MSComm *control, QWidget *parent = nullptr);

    void Form_Load();
    void ApplyDefaultSettings();
    void CmdSetDefault_Click();
    void EnableSettings(bool enabled);
    void OptArrv_Click(int index);
    void CmdOpen_Click();
    void CmdClose_Click();
    void MSComm1_OnComm();
    void MSComm1_Failed(const QString &description, qint64 unsent);

    // Speeds beyond the list: adds `rate` to the speed list for this run,
    // in order, and selects it. The speed list's "其他速率…" asks in a
    // small dialog.
    void useSpeed(qint32 rate);
    void chooseOtherSpeed();

    // The line while the port is open, from the lamp strip's menu and the
    // keys: each is logged as one entry, black, or red with the reason when
    // the device refuses (the port stays open). DTR and RTS as set here
    // show in their boxes and hold for the next open too.
    void toggleDTR();
    void toggleRTS();
    // DTR low for the pulse's length, then high (a board's reset).
    void pulseDTR();
    // The line at space for the break's length.
    void sendBreak();
    void setLineTiming(int pulseMs, int breakMs);
    int dtrPulseMs() const { return m_pulseMs; }
    int breakMs() const { return m_breakMs; }
    // The menu's "脉冲与中断时长…".
    void chooseLineTiming();
    QAction *ActDTR;
    QAction *ActRTS;
    QAction *ActPulse;
    QAction *ActBreak;
    QAction *ActTiming;

    // "拔出后自动重连" (in the port list's and the lamp strip's menus): when
    // the open port's device goes away, wait for it under the same path and
    // open it again with the same settings. Turning it off, a close or
    // quitting ends a wait.
    void setReconnect(bool on);
    bool reconnects() const { return m_reconnect; }
    QAction *ActReconnect;
    PortWatch *portWatch() const { return m_watch; }

    // The port list's context menu, built afresh at each call (the window
    // owns it): the serial devices present, to bind the selected entry to,
    // and 解除绑定. Its items are disabled while the port is open.
    QMenu *portMenu();
    // Where the menu looks for dev/ and sys/.
    QString deviceRoot = QStringLiteral("/");

    // The lists' entries, in their order.
    static const QStringList kPorts;
    static const QStringList kSpeeds;
    static const QStringList kParities;
    static const QStringList kDataBits;
    static const QStringList kStopBits;
    static const QStringList kHandshakes;

    QGroupBox *Frame1;
    QGroupBox *Frame2;
    QGroupBox *Frame3;
    QGroupBox *Frame4;
    QLabel *Label1[6];
    QComboBox *CmbPort;
    QComboBox *CmbSpeed;
    QComboBox *CmbJY;
    QComboBox *CmbSJ;
    QComboBox *CmbTZ;
    QComboBox *CmbXY;
    QCheckBox *ChkDTR;
    QCheckBox *ChkRTS;
    QCheckBox *ChkEof;
    QCheckBox *ChkSend;
    QPushButton *CmdSetDefault;
    QPushButton *CmdOpen;
    QPushButton *CmdClose;
    Lamp *ShpOpen;
    // By their given names: ShpDTR shows the DSR line and ShpRTS the CTS
    // line (the inputs; the outputs DTR and RTS are the user's to set).
    Lamp *ShpDTR;
    Lamp *ShpRTS;
    Lamp *ShpCD;
    LampRim *Shape5;
    LampRim *Shape6;
    LampRim *Shape7;
    LampRim *Shape8;
    LampRim *Shape9;
    LampRim *Shape10;
    TipArea *Image1[6];
    MSComm *MSComm1;

protected:
    QString whyLinkIsGone() const override { return m_gone; }
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void setTabOrderChain();
    // The line that begins an open, and what an open port shows: its lamp,
    // the line lamps, the rate the driver runs.
    void appendOpenEntry();
    void showPortOpen();
    void showLineLevels();
    void showActualSpeed();
    void refreshPortTips();
    void bindPort(const QString &device);
    void unbindPort();
    // "其他设备…": binds the port to a path the user types.
    void chooseOtherDevice();
    void buildLineActions();
    // The line actions are there while the port is open, and show DTR and
    // RTS as held.
    void updateLineActions();
    // Raise or drop DTR or RTS through `set`, logging the outcome.
    void setOutputLine(const QString &line, bool high, QCheckBox *box, void (MSComm::*set)(bool));
    // Starts what `timer` ends (a pulse, a break) by setting the line to
    // `level`, logging "action：how", or the refusal in red.
    void startTimedAction(QTimer *timer, int ms, void (MSComm::*set)(bool), bool level, const QString &action,
                          const QString &how);
    // Ends it by setting the line to `level`: true, or false with the
    // refusal in red ("failed失败：…") or a port closed meanwhile.
    bool endTimedAction(void (MSComm::*set)(bool), bool level, const QString &failed);
    void endPulse();
    void endBreak();
    // A pulse or break under way ends with the port (a close, a failure).
    void stopLineTimers();
    void watchForTheDevice();
    // Opens the port again after its device came back: true when open.
    bool reopen();

    QMenu *m_portMenu = nullptr;
    QTimer *m_pulseTimer = nullptr;
    QTimer *m_breakTimer = nullptr;
    int m_pulseMs = 100;
    int m_breakMs = 250;
    // The open port's device failed (its description), until a close or
    // an open.
    QString m_gone;
    bool m_reconnect = false;
    PortWatch *m_watch = nullptr;
};
