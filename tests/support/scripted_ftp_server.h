#pragma once
// A scripted FTP server for engine tests. It listens on 127.0.0.1 at a port the kernel picks and
// serves one control connection at a time; replies come from queues kept by command verb or from a
// handler. One server thread does all the work (handlers run on it), every wait is bounded, and the
// destructor stops it promptly whatever the client is doing.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

class ScriptedFtpServer final {
public:
    class Control;  // the current control connection, handed to handlers on the server thread
    using Handler = std::function<void(const std::string& command, Control& control)>;

    // `greeting` is sent raw at each accept; empty: send nothing. Throws std::system_error when
    // the listening socket cannot be set up.
    explicit ScriptedFtpServer(std::string greeting = "220 Scripted server ready\r\n");
    ~ScriptedFtpServer();
    ScriptedFtpServer(const ScriptedFtpServer&) = delete;
    ScriptedFtpServer& operator=(const ScriptedFtpServer&) = delete;

    int Port() const;

    // Appends one raw reply text to the queue of `verb` (first word of a command, any case). A
    // command takes the next text of its queue; the last one stays and is reused. An empty text
    // sends nothing. Without a queue: "502 Command not implemented." — except QUIT, which gets
    // "221 Goodbye." and then the connection is closed. A queued QUIT reply does not close.
    void Reply(const std::string& verb, std::string rawText);
    // Takes over every command instead of the queues (the handler may call ReplyFromQueue).
    void OnCommand(Handler handler);
    // Called at each accept instead of sending the greeting.
    void OnAccept(std::function<void(Control&)> handler);

    // Every command line received, on any connection, in order, without its line end. A command is
    // listed as soon as it arrives, so always before its reply goes out.
    std::vector<std::string> Commands() const;
    bool WaitForCommands(std::size_t n, std::chrono::milliseconds timeout) const;
    int Connections() const;  // control connections accepted so far

private:
    void Run();
    void Serve();
    void Dispatch(const std::string& line);
    void Record(const std::string& line);
    std::string TakeQueuedReply(const std::string& verb, bool& found);

    const std::string greeting;
    int listenFd = -1;
    int wakeFd = -1;  // eventfd, made readable once to stop every wait of the server thread
    int port = 0;
    std::atomic<bool> stopping{false};
    std::atomic<int> connections{0};

    mutable std::mutex mutex;  // guards everything below it
    mutable std::condition_variable commandArrived;
    std::map<std::string, std::deque<std::string>> replies;  // by upper-case verb
    Handler commandHandler;
    std::function<void(Control&)> acceptHandler;
    std::vector<std::string> commands;

    std::unique_ptr<Control> control;  // used by the server thread only
    std::thread thread;
};

// Every member is for the server thread only (that is, for handlers). Each wait gives up after
// 10 s, and at once when the server stops. A failed send marks the connection lost; the server
// then closes it and accepts the next client.
class ScriptedFtpServer::Control final {
public:
    ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    void Send(std::string_view bytes);     // raw bytes
    void SendLine(std::string_view text);  // text + "\r\n"
    // Each piece goes out as a TCP segment of its own, `gap` apart, so the client sees the bytes
    // over several reads. A `pieceSize` of 0 sends everything at once.
    void SendInPieces(std::string_view bytes, std::size_t pieceSize, std::chrono::milliseconds gap);
    void ReplyFromQueue(const std::string& command);  // what the reply queues would have sent
    // Waits without blocking the connection: commands that arrive meanwhile are read and kept.
    // Ends early once the client has closed the control connection.
    void Pause(std::chrono::milliseconds duration);
    // After a 234 to AUTH the client speaks TLS, which this server cannot: from now on what
    // arrives is read and dropped, never taken for commands.
    void HandOverToTls();
    void Close();  // closes the control connection now; the next client gets a new one
    bool Connected() const;  // false once closed or lost

    // Passive mode: listens on 127.0.0.1 for the client's data connection and returns the port
    // (0 when no listener could be made); the next OpenData accepts there. A PORT command ends it.
    int ListenForData();
    // The data connection: in passive mode the client's connection to the ListenForData port;
    // otherwise a connection to the address of the last PORT command on this control connection
    // (none if that one was malformed), from the local address `from`.
    bool OpenData(const std::string& from = "127.0.0.1");
    bool DataSend(std::string_view bytes);  // false if the peer is gone or there is no connection
    // Reads until the client closes its end; what arrived when that takes longer than 10 s.
    std::string DataReceiveAll();
    void CloseData();

private:
    friend class ScriptedFtpServer;
    enum class Wait { Ready, TimedOut, Stopped };

    explicit Control(ScriptedFtpServer& server);
    void Begin(int fd);
    void End();
    Wait Await(int fd, short events, std::chrono::steady_clock::time_point deadline);
    void ReadControlInput();
    bool SendAll(int fd, std::string_view bytes);
    void NotePortCommand(const std::string& line);
    void StopListening();

    ScriptedFtpServer& server;
    int controlFd = -1;
    int dataFd = -1;
    int passiveFd = -1;  // the ListenForData listener; -1: active mode
    bool peerClosed = false;  // the client closed its end (or it failed); no more input
    bool lost = false;        // a send failed or stalled; the connection is no longer usable
    bool tlsFromClient = false;  // HandOverToTls: input is dropped
    std::string input;        // bytes after the last complete command line
    std::deque<std::string> pending;  // command lines received but not yet handled
    std::string dataHost;     // from the last PORT command; empty: none
    int dataPort = 0;
};
