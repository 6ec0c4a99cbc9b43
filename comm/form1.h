// SPDX-License-Identifier: MIT
#pragma once

#include "consolewindow.h"

#include <QStringList>

class LampRim;
class MSComm;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QMenu;
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
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void setTabOrderChain();
    void showLineLevels();
    void refreshPortTips();
    void bindPort(const QString &device);
    void unbindPort();

    QMenu *m_portMenu = nullptr;
};
