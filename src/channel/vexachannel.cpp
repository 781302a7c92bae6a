#include "vexachannel.h"

#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QThread>

QString VexaChannel::serverName(qint64 processId)
{
    return QStringLiteral("VEXA-%1").arg(processId);
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
        readLines();
        deliverNotes();
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
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        m_socket->connectToServer(VexaChannel::serverName(processId));
        if (m_socket->waitForConnected(qMax(1, int(waitMs - timer.elapsed()))))
            return true;
        m_socket->abort();
        if (timer.elapsed() >= waitMs)
            return false;
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
    const QString name = VexaChannel::serverName(processId);
    QLocalServer::removeServer(name);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    return m_server->listen(name);
}

QString VexaChannelServer::errorString() const
{
    return m_server->errorString();
}

void VexaChannelServer::acceptClients()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
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
