#include "singleinstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QStandardPaths>

#include <memory>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// A hand-over is a list of paths; a peer that sends more is cut off.
constexpr qint64 maxHandOverBytes = 1 << 20;

// Whether the socket file is this user's: in the private runtime folder only this user can
// make one, but a folder from somewhere else (an odd XDG_RUNTIME_DIR) is not trusted blindly.
bool ownSocket(const QString &path)
{
    struct stat status
    {};
    return lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISSOCK(status.st_mode)
           && status.st_uid == geteuid();
}

} // namespace

SingleInstance::SingleInstance(QObject *parent)
    : QObject(parent)
{
    connect(&m_server, &QLocalServer::newConnection, this, &SingleInstance::accept);
}

QString SingleInstance::socketPath()
{
    // One program per settings folder (a test or a second account of one's own keeps its own)
    // and per display.
    const QString session = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
                            + QLatin1Char('\n') + qEnvironmentVariable("WAYLAND_DISPLAY")
                            + QLatin1Char('\n') + qEnvironmentVariable("DISPLAY");
    const QByteArray digest
        = QCryptographicHash::hash(session.toUtf8(), QCryptographicHash::Sha1).toHex().left(12);
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return QDir(folder).filePath(
        QStringLiteral("dyxstudio-%1.socket").arg(QString::fromLatin1(digest)));
}

bool SingleInstance::handOver(const QStringList &paths)
{
    const QString path = socketPath();
    if (!ownSocket(path))
        return false;
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(1000))
        return false;
    QByteArray message;
    for (const QString &file : paths)
        message += QFileInfo(file).absoluteFilePath().toUtf8() + '\n';
    // An empty line says "show yourself" when there are no files.
    message += '\n';
    socket.write(message);
    if (!socket.waitForBytesWritten(2000))
        return false;
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(1000);
    return true;
}

bool SingleInstance::listen()
{
    const QString path = socketPath();
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    if (m_server.listen(path))
        return true;
    // Someone answers there: that program keeps the socket.
    QLocalSocket probe;
    probe.connectToServer(path);
    if (probe.waitForConnected(500))
        return false;
    // Left by a program that was killed; one of another user is never removed.
    if (QFileInfo(path).isSymLink() || (QFileInfo::exists(path) && !ownSocket(path)))
        return false;
    QLocalServer::removeServer(path);
    return m_server.listen(path);
}

void SingleInstance::accept()
{
    while (QLocalSocket *socket = m_server.nextPendingConnection()) {
        auto received = std::make_shared<QByteArray>();
        connect(socket, &QLocalSocket::readyRead, socket, [socket, received] {
            *received += socket->readAll();
            if (received->size() > maxHandOverBytes)
                socket->abort();
        });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket, received] {
            *received += socket->readAll();
            socket->deleteLater();
            // The message ends with an empty line; anything cut short is no hand-over.
            if (received->size() > maxHandOverBytes || !received->endsWith('\n')
                || !(received->endsWith("\n\n") || *received == "\n"))
                return;
            QStringList paths;
            for (const QByteArray &line : received->split('\n')) {
                if (!line.isEmpty())
                    paths.append(QString::fromUtf8(line));
            }
            emit handedOver(paths);
        });
    }
}
