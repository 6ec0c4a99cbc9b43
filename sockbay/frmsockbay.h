// SPDX-License-Identifier: MIT
#pragma once

#include "consolewindow.h"

class LampRim;
class QMenu;
class ServedClients;
class QAction;
class QGroupBox;
class TipArea;
class Winsock;

// A state of the network tester, as the controls show it: which buttons and
// address boxes it leaves on, which lamps it lights. (`ListenMode` is not
// part of it: an automatic listen that fails leaves it set while the window
// shows Idle.)
struct ToolState
{
    bool connect, listen, stop, send, hangUp, addressBoxes;
    bool connectedLamp, listeningLamp;
};

// Every state the tool can be in. A handler applies one where its steps set
// these controls; nothing reads them back, the link's state is asked of the
// socket control each time.
namespace ToolStates {
//                                 CmdCnn CmdLstn CmdStop CmdSend CmdClose boxes  ShpCnn ShpLstn
inline constexpr ToolState Idle       {true,  true,   false,  false,  false,   true,  false, false};
// Also while a listen is being set up: the same controls are off.
inline constexpr ToolState Connecting {false, false,  false,  false,  false,   false, false, false};
inline constexpr ToolState Connected  {false, false,  false,  true,   true,    false, true,  false};
inline constexpr ToolState Listening  {false, false,  true,   false,  false,   false, false, true};
// An accepted connection.
inline constexpr ToolState Serving    {false, false,  false,  true,   true,    false, true,  true};
// Several clients at once, one or more of them connected (停止 ends them all).
inline constexpr ToolState ServingMany{false, false,  true,   true,   false,   false, true,  true};
} // namespace ToolStates

// The network tester's window.
class FrmSockbay : public ConsoleWindow
{
    Q_OBJECT
public:
    // Takes ownership of the socket control.
    explicit FrmSockbay(Winsock *control, QWidget *parent = nullptr);

    void Form_Load();
    void NormalizePorts();
    // Shows a port text made by the program in a port box, whole: the box's
    // limit binds typing only.
    void setPortBox(QLineEdit *box, const QString &text);
    void EnableAddressFields(bool enabled);
    void applyToolState(const ToolState &state);

    void CmdCnn_Click();
    void CmdClose_Click();
    void CmdLstn_Click();
    void CmdStop_Click();
    // Esc while connecting, and the address frame's "取消连接": the attempt
    // ends at once as a failed one.
    void cancelConnect();

    void Winsock1_ConnectionRequest(qint32 requestID);
    void Winsock1_DataArrival(qint64 bytesTotal);
    void Winsock1_Close();
    void Winsock1_Error(int Number, const QString &Description);
    void Winsock1_SendProgress(qint64 bytesSent, qint64 bytesRemaining);
    void Winsock1_RequestRefused(const QString &peer);
    void Winsock1_SendsLost(qint64 bytes);

    QGroupBox *FrmSet;
    QGroupBox *Frame1;
    QGroupBox *Frame2;
    QGroupBox *Frame3;
    QLabel *Label1[4] = {}; // members 1 to 3
    QLineEdit *TxtLPort;
    QLineEdit *TxtRPort;
    QLineEdit *TxtRIP;
    QPushButton *CmdLstn;
    QPushButton *CmdStop;
    QPushButton *CmdCnn;
    QPushButton *CmdClose;
    Lamp *ShpLstn;
    Lamp *ShpCnn;
    LampRim *Shape5;
    LampRim *Shape6;
    LampRim *Shape7;
    LampRim *Shape8;
    TipArea *Image1[4];
    Winsock *Winsock1;

    // Listening was started by the user: every end of a connection listens
    // again until stop.
    bool ListenMode = false;
    // The Error handler has logged and torn down during a connect or listen.
    bool ErrorReported = false;
    // The address frame's context menu: 取消连接, and 同时接受多个连接.
    QAction *ActCancel = nullptr;
    QAction *ActMulti = nullptr;

    // "同时接受多个连接": listening accepts every client and keeps them all,
    // each logged under its address; sends go to all of them or to the one
    // chosen in the send box's menu (发送到). Changed only while idle.
    void setMultiClient(bool on);
    bool multiClient() const { return m_multi; }
    ServedClients *servedClients() const { return m_clients; }
    // The send box menu's 发送到.
    QMenu *sendToMenu() const { return m_sendToMenu; }

    static constexpr int kPortLength = 5;
    // As long as a host name may be (DNS): an IPv6 address with its scope
    // fits too.
    static constexpr int kAddressLength = 253;
    static constexpr int kConnectLimitSeconds = 60;

private:
    bool m_cancelled = false; // the connect under way was cancelled
    bool m_multi = false;
    ServedClients *m_clients = nullptr;
    QMenu *m_sendToMenu = nullptr;
    // Writes the request's line, naming who made it; gives that name.
    QString logRequest(qint32 requestID);
    void acceptClient(qint32 requestID);
    void fillSendToMenu();
    void buildControls();
    void buildAddressMenu();
    void setTabOrderChain();
    void connectHandlers();
    void waitWhileConnecting();
    void connectFailed(const QString &description);
    void listenFailed(const QString &description);
    void acceptFailed(const QString &description);
    // Back to Idle (and on to listening while ListenMode is set), writing
    // `closingEntry` when there is one.
    void endConnection(const QString &closingEntry);
};
