#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QLocalServer;
class QLocalSocket;

// The line protocol between the IDE and the simulator program it started. The simulator
// listens on a local socket named after its own process id, in a folder that belongs to the
// user alone, and answers only clients of the same user; the IDE talks only to a server whose
// process is the simulator it started. Requests, one line each, every one answered by one line:
//   SEND <message> <wParam> <lParam>  a numbered command; answered "HANDLED <result>" once done
//   TITLE                              answered "TITLE <the main window's title>"
//   FRONT                              raise the main window; "HANDLED 0"
//   WATCH                              from now on, send this client the notes below
//   BATCH <seconds> <trace file>       the next run is a timed one; "HANDLED 0"
//   BREAKS <lines>                     the breakpoints, escaped: one "<line> <file>" a line
//   DEBUG <command> [<line> <file>]    continue, pause, into, over, out, or to (a line);
//                                      "HANDLED 1" when a debugger took it
// Notes, sent to watching clients at any time, begin with "NOTE ":
//   NOTE UART <text>                   a line the firmware wrote to its first serial port
//   NOTE UART<n> <text>                the same on its port UART<n>, when it has more
//   NOTE ERROR <text>                  the simulation could not go on
//   NOTE ENDED <simulated seconds>     the firmware ended a timed run itself (before FINISHED)
//   NOTE FINISHED <simulated seconds>  a timed run reached its end
//   NOTE ALIVE <simulated seconds>     once a second while a timed run goes on
//   NOTE INFO <text>                   something the user should know, not an error
//   NOTE STOPPED <line> <file>         the debugger stopped the firmware there (line 0 and
//                                      no file where it knows no source)
//   NOTE RUNNING                       the debugger let the firmware run on
namespace VexaChannel {
// WM_USER + 400: the message number of the simulator's commands.
constexpr int commandMessage = 0x400 + 400;
enum Command { StopSimulation = 2, CloseProgram = 3, ReloadHandOff = 4 };

// The folder of the channel's sockets and the simulator's work: $XDG_RUNTIME_DIR/dyxstudio when
// the runtime folder is the user's own, else dyxstudio-<user id> in the temporary folder. It is
// made when missing and used only when it is a real folder of this user's that nobody else can
// enter; otherwise empty, with the reason in *error.
QString privateFolder(QString *error = nullptr);
// The socket of the simulator with that process id, in the private folder; empty without one.
QString serverPath(qint64 processId, QString *error = nullptr);
// Removes the sockets and work folders that simulators which no longer run left in the
// private folder (a simulator that was killed cannot remove its own).
void removeLeftovers();
// The process and user ids of the other end of a connected local socket.
bool peerCredentials(qintptr socketDescriptor, qint64 *processId, qint64 *userId);
// Escapes a note's text so that it stays one line; unescape reverses it.
QString escape(const QString &text);
QString unescape(const QString &text);
} // namespace VexaChannel

// The IDE's side: blocking requests with a bound, notes delivered through a signal.
class VexaChannelClient : public QObject
{
    Q_OBJECT
public:
    explicit VexaChannelClient(QObject *parent = nullptr);
    ~VexaChannelClient() override;

    // Connects to the simulator with that process id, trying again while its server is not
    // up yet, for at most waitMs. Reuses a live connection to the same process. A server that
    // is not that process is refused, and errorString() says so.
    bool connectTo(qint64 processId, int waitMs);
    QString errorString() const { return m_error; }
    void disconnectFromServer();
    bool isConnected() const;

    // Sends one request line and waits at most boundMs for its answer, without processing
    // events. Notes that arrive meanwhile are delivered afterwards.
    std::optional<QString> request(const QString &line, int boundMs);
    // Delivers the notes received so far (also done as they arrive, from the event loop).
    void deliverNotes();

signals:
    void note(const QString &kind, const QString &text);

private:
    std::optional<QString> takeAnswer();
    void readLines();

    QLocalSocket *m_socket;
    qint64 m_processId = -1;
    QString m_error;
    QByteArray m_buffer;
    QList<QString> m_answers;
    QList<QString> m_notes;
};

// The simulator's side. The owner answers the requests through the handlers.
class VexaChannelServer : public QObject
{
    Q_OBJECT
public:
    explicit VexaChannelServer(QObject *parent = nullptr);
    ~VexaChannelServer() override;

    bool listen(qint64 processId);
    QString errorString() const;

    std::function<int(int message, int wParam, int lParam)> onMessage;
    std::function<QString()> title;
    std::function<void()> bringToFront;
    std::function<void(double seconds, const QString &traceFile)> onBatch;
    std::function<void(const QString &breakpoints)> onBreakpoints;
    std::function<int(const QString &command, const QString &argument)> onDebug;

    // Sends a note to every client that asked for them.
    void sendNote(const QString &kind, const QString &text);

private:
    void acceptClients();
    void serve(QLocalSocket *socket);

    QLocalServer *m_server;
    QString m_error;
    QList<QLocalSocket *> m_watchers;
};
