// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A scripted FTP server for engine tests. It listens on 127.0.0.1 at a port the kernel picks and
// serves one control connection at a time; replies come from queues kept by command verb, from
// files it serves from memory, or from a handler, shaped by the faults it is told to have. One
// server thread does all the work (handlers run on it), every wait is bounded, and the destructor
// stops it promptly whatever the client is doing.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

class ScriptedFtpServer final {
public:
    class Control;  // the current control connection, handed to handlers on the server thread
    using Handler = std::function<void(const std::string& command, Control& control)>;
    static constexpr char kOpeningData[] = "150 Opening data connection.\r\n";  // a transfer's preliminary reply
    // The engine time-out (EngineSettings::retryMilliseconds) of tests that wait for it to end
    // something: far longer than an answer takes on loopback, far shorter than the whole seconds
    // of "Retry".
    static constexpr std::chrono::milliseconds kShortTimeOut{300};

    // Faults the server can be told to have, all off by default. They apply to the command line
    // `command` ("RETR one"), or to every command and the greeting when it is empty. The reply
    // shapes apply to everything sent on the control connection, a handler's sends too; the pause
    // and the data faults to what the server answers itself (Control::Answer).
    struct Faults final {
        std::string command{};
        bool lfOnly = false;          // reply lines end in "\n" alone
        bool bytePerSegment = false;  // replies go out a byte per TCP segment, each sent before the next
        // Before the reply; for RETR, LIST and STOR before the final one, after the data.
        std::chrono::milliseconds pauseBeforeReply{0};
        // A transfer stops for `dataPause` once `dataPauseAfter` bytes have crossed the data
        // connection (sent by RETR and LIST, taken by STOR).
        std::size_t dataPauseAfter = 0;
        std::chrono::milliseconds dataPause{0};
        // The data connection is closed once this many bytes have crossed it, and the transfer is
        // answered with 426.
        std::optional<std::size_t> failDataAfter{};
        bool once = false;  // the faults end after the first command (or greeting) they apply to
    };

    // `greeting` is sent raw at each accept; empty: send nothing. Throws std::system_error when
    // the listening socket cannot be set up.
    explicit ScriptedFtpServer(std::string greeting = "220 Scripted server ready\r\n");
    ~ScriptedFtpServer();
    ScriptedFtpServer(const ScriptedFtpServer&) = delete;
    ScriptedFtpServer& operator=(const ScriptedFtpServer&) = delete;

    int Port() const;

    // Appends one raw reply text to the queue of `verb` (first word of a command, any case). A
    // command takes the next text of its queue; the last one stays and is reused. An empty text
    // sends nothing. Without a queue: what the served files answer (ServeFiles), else "502 Command
    // not implemented." — except QUIT, which gets "221 Goodbye." and then the connection is
    // closed. A queued QUIT reply does not close.
    void Reply(const std::string& verb, std::string rawText);
    // Drops what is queued for `verb`: every such command gets `rawText` from now on.
    void ReplyFromNowOn(const std::string& verb, std::string rawText);
    // Takes over every command (the handler may call Control::Answer); nullptr gives them back.
    void OnCommand(Handler handler);
    // Called at each accept instead of sending the greeting.
    void OnAccept(std::function<void(Control&)> handler);

    // Files from memory. From now on what the reply queues do not answer is answered from a small
    // tree whose paths begin at "/", where each login starts: PORT with 200; EPSV and PASV with a
    // passive listener; RETR with a served file and LIST (or MLSD) with the listing of the
    // current directory, each after its preliminary reply and over the data connection, then 226; STOR
    // with 226, keeping the data, and APPE adding it to what is kept; REST with 350, the next RETR
    // or STOR starting at that byte; SIZE with 213 and the size of what STOR kept, else of the
    // served file; CWD into a served directory (a full path too), "CWD .." back up; PWD with 257;
    // MKD with 257, serving the new directory (empty) from then on.
    void ServeFiles();
    // RETR `name` sends `bytes` after `preliminary`: in the directory of the path `name` when it
    // begins with "/" ("/tree/a.txt"), otherwise in every directory.
    void ServeFile(const std::string& name, std::string bytes, std::string preliminary = kOpeningData);
    // LIST sends `listing` in every directory without one of its own, and CWD enters any directory.
    void ServeListing(std::string listing);
    // The directory `path` ("/tree"): CWD enters it and LIST sends `listing` there.
    void ServeDirectory(const std::string& path, std::string listing);
    // A directory that CWD enters but LIST cannot list: 150 and then 425, as a server that
    // cannot open the data connection answers.
    void ServeUnlistableDirectory(const std::string& path);
    void AnnouncePassiveAddress(std::string address);   // of 227 replies; 127.0.0.1 unless told
    std::map<std::string, std::string> Stored() const;  // what STOR received, by path

    // Replaces the faults in force; SetFaults({}) ends them.
    void SetFaults(Faults faults);

    // Every command line received, on any connection, in order, without its line end. A command is
    // listed as soon as it arrives, so always before its reply goes out.
    std::vector<std::string> Commands() const;
    bool WaitForCommands(std::size_t n, std::chrono::milliseconds timeout) const;
    int Connections() const;  // control connections accepted so far

private:
    struct ServedFile {
        std::string bytes;
        std::string preliminary;
    };

    void Run();
    void Serve();
    void Dispatch(const std::string& line);
    void Record(const std::string& line);
    std::string TakeQueuedReply(const std::string& verb, bool& found);
    Faults FaultsFor(const std::string& line);

    const std::string greeting;
    int listenFd = -1;
    int wakeFd = -1;  // eventfd, made readable once to stop every wait of the server thread
    int port = 0;
    std::atomic<bool> stopping{false};
    std::atomic<int> connections{0};

    mutable std::mutex mutex;  // guards the members up to `control`
    mutable std::condition_variable commandArrived;
    std::map<std::string, std::deque<std::string>> replies;  // by upper-case verb
    Handler commandHandler;
    std::function<void(Control&)> acceptHandler;
    std::vector<std::string> commands;
    bool servingFiles = false;
    std::map<std::string, ServedFile> files;  // by path, or by name for every directory
    std::optional<std::string> everyListing;
    std::map<std::string, std::optional<std::string>> directories;  // listing by path; none: unlistable
    std::map<std::string, std::string> stored;
    std::string passiveAddress = "127.0.0.1";
    Faults faults;

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

    void Send(std::string_view bytes);     // raw bytes, shaped by the faults in force
    void SendLine(std::string_view text);  // text + "\r\n"
    // Each piece goes out as a TCP segment of its own, `gap` apart, so the client sees the bytes
    // over several reads. A `pieceSize` of 0 sends everything at once.
    void SendInPieces(std::string_view bytes, std::size_t pieceSize, std::chrono::milliseconds gap);
    // Answers as the server does without a handler: from the reply queues, then the served files,
    // then "502 Command not implemented." (QUIT: "221 Goodbye." and the connection closed).
    void Answer(const std::string& command);
    // Waits without blocking the connection: commands that arrive meanwhile are read and kept.
    // Ends early once the client has closed the control connection.
    void Pause(std::chrono::milliseconds duration);
    // After a 234 to AUTH the client speaks TLS, which this server cannot: from now on what
    // arrives is read and dropped, never taken for commands.
    void HandOverToTls();
    void Close();            // closes the control connection now; the next client gets a new one
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
    std::string DataReceive(std::size_t limit);
    void AwaitSent();
    void SendReply(std::string_view text);  // after the pause the faults ask for

    // The served files (scripted_ftp_server_files.cpp). False when `verb` is none they answer.
    bool AnswerFromFiles(const std::string& verb, const std::string& argument);
    void ChangeDirectory(const std::string& name);
    void MakeDirectory(const std::string& name);
    std::optional<std::string> FileBytes(const std::string& name, bool stored, std::string* preliminary = nullptr);
    void SendFile(const std::string& name);
    void SendListing();
    void ReceiveFile(const std::string& name, bool append);
    void SendData(const std::string& preliminary, std::string_view data);

    ScriptedFtpServer& server;
    int controlFd = -1;
    int dataFd = -1;
    int passiveFd = -1;               // the ListenForData listener; -1: active mode
    bool peerClosed = false;          // the client closed its end (or it failed); no more input
    bool lost = false;                // a send failed or stalled; the connection is no longer usable
    bool tlsFromClient = false;       // HandOverToTls: input is dropped
    std::string input;                // bytes after the last complete command line
    std::deque<std::string> pending;  // command lines received but not yet handled
    std::string dataHost;             // from the last PORT command; empty: none
    int dataPort = 0;
    std::string directory = "/";  // the current directory of the served files
    std::size_t restartAt = 0;    // from REST, for the next RETR or STOR
    Faults faults;                // in force for the command being answered
};
