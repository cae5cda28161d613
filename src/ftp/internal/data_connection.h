// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Engine-internal: the data connection of a session's transfers. In active mode a listener
// announced with PORT or EPRT, whose connection from the server is accepted after the data
// command, only from the server's own address; in passive mode EPSV or PASV and a connection to
// the server's address at the port it names. The "Passive Mode" setting picks the mode; automatic
// mode goes passive when this computer sits behind a router and the server does not, and switches
// when the server refuses the mode it tried. Under PROT P the connection is TLS, resuming the
// control connection's TLS session.

#include <netinet/in.h>
#include <sys/types.h>

#include <memory>

class ControlConnection;
struct SessionContext;
class TlsStream;

class DataConnection final {
public:
    DataConnection(SessionContext& context, ControlConnection& control);
    ~DataConnection();
    DataConnection(const DataConnection&) = delete;
    DataConnection& operator=(const DataConnection&) = delete;

    // Readies the data connection of the next transfer in the mode of the session: a listener in
    // `listenSocket`, or in passive mode the connection itself in `socket`. False: none.
    bool Open();
    // The listener or the data connection, whichever is open.
    void Close();
    // A new control connection: automatic mode decides again, and EPSV is tried again.
    void ForgetModes();

    // A listener bound to our end of the control connection, announced with PORT or EPRT; -1 when
    // none could be made. A refusal of the announcement is left in `addressRefused`.
    int OpenListener();
    // 0 when connected, kServerRefused when the server refused both EPSV and PASV, else -1.
    static constexpr int kServerRefused = -2;
    int ConnectPassive();
    // Waits on `listenSocket` for the server's data connection and keeps it in `socket`: 0, the
    // error number, or kServerAnswered when the server replied on the control connection instead.
    static constexpr int kServerAnswered = -1;
    int Accept();

    // The TLS handshake on the data connection once the server has answered the data command.
    bool Secure();
    // The TLS close before the connection is closed, unless the transfer was stopped.
    void EndTls(bool waitForPeer);
    // Closes the data connection, its TLS with it (logged).
    void CloseData();
    // Closes the listener (logged).
    void CloseListener();

    int socket = -1;
    int listenSocket = -1;
    sockaddr_storage peerAddress{};  // the other end of the current data connection
    bool protect = false;            // PROT P is in force: data connections are TLS
    bool addressRefused = false;     // the server refused the PORT or EPRT of the last listener
    std::unique_ptr<TlsStream> tls;

private:
    bool PassiveChosen();

    SessionContext& context;
    ControlConnection& control;
    enum class Path { Undecided, Active, Passive };
    Path automaticPath = Path::Undecided;  // what automatic mode chose on this connection
    bool extendedPassiveRefused = false;   // EPSV was refused: PASV from now on
};
