#include "vexachannel.h"

#include "platform/processgroup.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLoggingCategory>
#include <QPointer>
#include <QRegularExpression>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

static QString tr(const char *text)
{
    return QCoreApplication::translate("VexaChannel", text);
}

// A folder that is this user's alone: opened without following a link, owned by the user, and
// closed to everybody else (a folder of the user's that others may enter is closed first).
// With `create`, a missing folder is made.
static bool isOwnFolder(const QString &path, bool create, bool mayClose, QString *error)
{
    const QByteArray name = QFile::encodeName(path);
    if (create && mkdir(name.constData(), 0700) != 0 && errno != EEXIST) {
        *error = tr("The folder %1 cannot be made: %2")
                     .arg(path, QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    const int fd = open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        *error = tr("The folder %1 cannot be used: %2")
                     .arg(path, QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    struct stat status;
    bool own = fstat(fd, &status) == 0 && status.st_uid == geteuid();
    if (!own)
        *error = tr("The folder %1 belongs to another user.").arg(path);
    else if ((status.st_mode & 077) != 0 && (!mayClose || fchmod(fd, 0700) != 0)) {
        *error = tr("Other users can enter the folder %1.").arg(path);
        own = false;
    }
    close(fd);
    return own;
}

QString VexaChannel::privateFolder(QString *error)
{
    QString ignored;
    QString &why = error ? *error : ignored;
    const QString runtime = QFile::decodeName(qgetenv("XDG_RUNTIME_DIR"));
    QString unused;
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime)
        && isOwnFolder(runtime, false, false, &unused)) {
        const QString folder = QDir(runtime).filePath(QStringLiteral("dyxstudio"));
        return isOwnFolder(folder, true, true, &why) ? folder : QString();
    }
    const QString folder = QDir(QDir::tempPath())
                               .filePath(QStringLiteral("dyxstudio-%1").arg(geteuid()));
    return isOwnFolder(folder, true, true, &why) ? folder : QString();
}

QString VexaChannel::serverPath(qint64 processId, QString *error)
{
    const QString folder = privateFolder(error);
    return folder.isEmpty() ? QString()
                            : QDir(folder).filePath(QStringLiteral("VEXA-%1").arg(processId));
}

void VexaChannel::removeLeftovers()
{
    const QString folder = privateFolder();
    if (folder.isEmpty())
        return;
    static const QRegularExpression leftover(
        QStringLiteral("^(?:VEXA|work|debug)-(\\d+)(?:-.*)?$"));
    const QDir dir(folder);
    for (const QString &name :
         dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        const QRegularExpressionMatch m = leftover.match(name);
        bool ok = false;
        const qint64 pid = m.hasMatch() ? m.captured(1).toLongLong(&ok) : 0;
        if (!ok || pid == QCoreApplication::applicationPid() || !Platform::processHasEnded(pid))
            continue;
        const QString path = dir.filePath(name);
        struct stat status;
        if (lstat(QFile::encodeName(path).constData(), &status) != 0)
            continue;
        if (S_ISDIR(status.st_mode))
            QDir(path).removeRecursively();
        else
            QFile::remove(path);
    }
}

bool VexaChannel::peerCredentials(qintptr socketDescriptor, qint64 *processId, qint64 *userId)
{
    struct ucred credentials
    {};
    socklen_t size = sizeof credentials;
    if (socketDescriptor < 0
        || getsockopt(int(socketDescriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0)
        return false;
    *processId = credentials.pid;
    *userId = credentials.uid;
    return true;
}

QString VexaChannel::escape(const QString &text)
{
    QString result;
    result.reserve(text.size());
    for (const QChar c : text) {
        if (c == QLatin1Char('\\'))
            result += QLatin1String("\\\\");
        else if (c == QLatin1Char('\n'))
            result += QLatin1String("\\n");
        else if (c == QLatin1Char('\r'))
            result += QLatin1String("\\r");
        else
            result += c;
    }
    return result;
}

QString VexaChannel::unescape(const QString &text)
{
    QString result;
    result.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c != QLatin1Char('\\') || i + 1 == text.size()) {
            result += c;
            continue;
        }
        const QChar next = text.at(++i);
        result += next == QLatin1Char('n')   ? QChar(QLatin1Char('\n'))
                  : next == QLatin1Char('r') ? QChar(QLatin1Char('\r'))
                                             : next;
    }
    return result;
}

VexaChannelClient::VexaChannelClient(QObject *parent)
    : QObject(parent)
    , m_socket(new QLocalSocket(this))
{
    connect(m_socket, &QLocalSocket::readyRead, this, [this] {
        // A note's handler may turn the event loop; what arrives meanwhile is not signalled
        // again (the signal does not nest), so it is read here before the handler ends.
        do {
            readLines();
            deliverNotes();
        } while (m_socket->bytesAvailable() > 0);
    });
}

VexaChannelClient::~VexaChannelClient() = default;

bool VexaChannelClient::isConnected() const
{
    return m_socket->state() == QLocalSocket::ConnectedState;
}

bool VexaChannelClient::connectTo(qint64 processId, int waitMs)
{
    if (isConnected() && processId == m_processId)
        return true;
    disconnectFromServer();
    m_processId = processId;
    m_error.clear();
    const QString path = VexaChannel::serverPath(processId, &m_error);
    if (path.isEmpty())
        return false;
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        m_socket->connectToServer(path);
        if (m_socket->waitForConnected(qMax(1, int(waitMs - timer.elapsed())))) {
            qint64 peer = -1;
            qint64 user = -1;
            if (VexaChannel::peerCredentials(m_socket->socketDescriptor(), &peer, &user)
                && peer == processId && user == qint64(geteuid()))
                return true;
            m_socket->abort();
            m_error = tr("The channel %1 is served by process %2, not by the simulator this "
                         "program started (process %3); it is not used.")
                          .arg(path)
                          .arg(peer)
                          .arg(processId);
            return false;
        }
        m_socket->abort();
        if (timer.elapsed() >= waitMs) {
            m_error = tr("The simulator does not serve its channel %1.").arg(path);
            return false;
        }
        QThread::msleep(20);
    }
}

void VexaChannelClient::disconnectFromServer()
{
    m_socket->abort();
    m_buffer.clear();
    m_answers.clear();
}

std::optional<QString> VexaChannelClient::takeAnswer()
{
    if (m_answers.isEmpty())
        return std::nullopt;
    return m_answers.takeFirst();
}

void VexaChannelClient::readLines()
{
    m_buffer += m_socket->readAll();
    int end;
    while ((end = m_buffer.indexOf('\n')) >= 0) {
        const QString line = QString::fromUtf8(m_buffer.left(end));
        m_buffer.remove(0, end + 1);
        if (line.startsWith(QLatin1String("NOTE ")))
            m_notes.append(line.mid(5));
        else
            m_answers.append(line);
    }
}

// What the program and the simulator say to each other: QT_LOGGING_RULES="dyx.simulator.debug=true".
Q_LOGGING_CATEGORY(simulatorLink, "dyx.simulator", QtWarningMsg)

std::optional<QString> VexaChannelClient::request(const QString &line, int boundMs)
{
    if (!isConnected())
        return std::nullopt;
    m_answers.clear();
    m_socket->write(line.toUtf8() + '\n');
    QElapsedTimer timer;
    timer.start();
    if (!m_socket->waitForBytesWritten(boundMs))
        return std::nullopt;
    readLines();
    while (m_answers.isEmpty()) {
        const qint64 left = boundMs - timer.elapsed();
        if (left <= 0 || !isConnected() || !m_socket->waitForReadyRead(int(left)))
            break;
        readLines();
    }
    const std::optional<QString> answer = takeAnswer();
    qCDebug(simulatorLink) << "sent" << line << "answer"
                           << (answer ? *answer : QStringLiteral("(none)")) << "after"
                           << timer.elapsed() << "ms";
    // Notes wait for the event loop: the caller may be in the middle of its own work.
    if (!m_notes.isEmpty()) {
        QPointer<VexaChannelClient> self(this);
        QMetaObject::invokeMethod(
            this,
            [self] {
                if (self)
                    self->deliverNotes();
            },
            Qt::QueuedConnection);
    }
    return answer;
}

void VexaChannelClient::deliverNotes()
{
    while (!m_notes.isEmpty()) {
        const QString line = m_notes.takeFirst();
        qCDebug(simulatorLink) << "note" << line;
        const int space = line.indexOf(QLatin1Char(' '));
        emit note(space < 0 ? line : line.left(space),
                  space < 0 ? QString() : VexaChannel::unescape(line.mid(space + 1)));
    }
}

VexaChannelServer::VexaChannelServer(QObject *parent)
    : QObject(parent)
    , m_server(new QLocalServer(this))
{
    connect(m_server, &QLocalServer::newConnection, this, &VexaChannelServer::acceptClients);
}

VexaChannelServer::~VexaChannelServer() = default;

bool VexaChannelServer::listen(qint64 processId)
{
    m_error.clear();
    const QString path = VexaChannel::serverPath(processId, &m_error);
    if (path.isEmpty())
        return false;
    // A socket under this process id was left by a program that ended.
    QLocalServer::removeServer(path);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (m_server->listen(path))
        return true;
    m_error = m_server->errorString();
    return false;
}

QString VexaChannelServer::errorString() const
{
    return m_error;
}

void VexaChannelServer::acceptClients()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        // Only the user's own programs are served.
        qint64 peer = -1;
        qint64 user = -1;
        if (!VexaChannel::peerCredentials(socket->socketDescriptor(), &peer, &user)
            || user != qint64(geteuid())) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { serve(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            m_watchers.removeAll(socket);
            socket->deleteLater();
        });
    }
}

void VexaChannelServer::serve(QLocalSocket *socket)
{
    const QPointer<QLocalSocket> guard(socket);
    while (guard && socket->canReadLine()) {
        const QString line = QString::fromUtf8(socket->readLine()).trimmed();
        const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        const QString verb = words.value(0);
        QString answer = QStringLiteral("HANDLED 0");
        if (verb == QLatin1String("SEND") && words.size() == 4) {
            const int result = onMessage ? onMessage(words.at(1).toInt(),
                                                     words.at(2).toInt(),
                                                     words.at(3).toInt())
                                         : 0;
            answer = QStringLiteral("HANDLED %1").arg(result);
        } else if (verb == QLatin1String("TITLE")) {
            answer = QStringLiteral("TITLE ") + VexaChannel::escape(title ? title() : QString());
        } else if (verb == QLatin1String("FRONT")) {
            if (bringToFront)
                bringToFront();
        } else if (verb == QLatin1String("WATCH")) {
            if (!m_watchers.contains(socket))
                m_watchers.append(socket);
        } else if (verb == QLatin1String("BATCH") && words.size() >= 2) {
            if (onBatch)
                onBatch(words.at(1).toDouble(),
                        VexaChannel::unescape(line.section(QLatin1Char(' '), 2)));
        } else if (verb == QLatin1String("BREAKS")) {
            if (onBreakpoints)
                onBreakpoints(VexaChannel::unescape(line.section(QLatin1Char(' '), 1)));
        } else if (verb == QLatin1String("DEBUG") && words.size() >= 2) {
            const int result = onDebug ? onDebug(words.at(1),
                                                 VexaChannel::unescape(
                                                     line.section(QLatin1Char(' '), 2)))
                                       : 0;
            answer = QStringLiteral("HANDLED %1").arg(result);
        } else {
            answer = QStringLiteral("UNKNOWN");
        }
        // The handler may have closed the program's window; the socket can be gone with it.
        if (guard && socket->state() == QLocalSocket::ConnectedState) {
            socket->write(answer.toUtf8() + '\n');
            socket->flush();
        }
    }
}

void VexaChannelServer::sendNote(const QString &kind, const QString &text)
{
    const QByteArray line = "NOTE " + kind.toUtf8() + ' ' + VexaChannel::escape(text).toUtf8()
                            + '\n';
    for (QLocalSocket *socket : std::as_const(m_watchers)) {
        socket->write(line);
        socket->flush();
    }
}
