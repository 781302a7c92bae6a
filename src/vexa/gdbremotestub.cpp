#include "gdbremotestub.h"

#include "channel/vexachannel.h"
#include "simulationrun.h"

#include <QCoreApplication>
#include <QLocalServer>
#include <QLocalSocket>

#include <unistd.h>

namespace {

QByteArray checksummed(const QByteArray &payload)
{
    std::uint8_t sum = 0;
    for (const char c : payload)
        sum += std::uint8_t(c);
    return '$' + payload + '#' + QByteArray::number(sum, 16).rightJustified(2, '0');
}

// "addr,length" in hexadecimal.
bool parseRange(const QByteArray &text, std::uint32_t *address, std::uint32_t *length)
{
    const QList<QByteArray> parts = text.split(',');
    if (parts.size() != 2)
        return false;
    bool okAddress = false;
    bool okLength = false;
    *address = parts.at(0).toUInt(&okAddress, 16);
    *length = parts.at(1).toUInt(&okLength, 16);
    return okAddress && okLength;
}

// Where register n of the debugger's numbering lies in the register block.
bool registerPlace(int n, int *offset, int *size)
{
    if (n >= 0 && n <= 32) {
        *offset = n;
        *size = 1;
    } else if (n == 33) {
        *offset = 33;
        *size = 2;
    } else if (n == 34) {
        *offset = 35;
        *size = 4;
    } else {
        return false;
    }
    return true;
}

int folderSerial = 0;

} // namespace

GdbRemoteStub::GdbRemoteStub(SimulationRun &run, QObject *parent)
    : QObject(parent)
    , m_run(run)
    , m_server(new QLocalServer(this))
{
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    m_server->setMaxPendingConnections(1);
    connect(m_server, &QLocalServer::newConnection, this, &GdbRemoteStub::acceptDebugger);
    connect(&m_run, &SimulationRun::stateChanged, this, &GdbRemoteStub::runStopped);
}

GdbRemoteStub::~GdbRemoteStub()
{
    if (Engine *engine = m_run.engine()) {
        engine->setCodeBreakpoints({});
        engine->clearStepRange();
    }
    m_server->close();
}

bool GdbRemoteStub::listen(QString *error)
{
    const QString folder = VexaChannel::privateFolder(error);
    if (folder.isEmpty())
        return false;
    const QString path = QStringLiteral("%1/debug-%2-%3")
                             .arg(folder)
                             .arg(QCoreApplication::applicationPid())
                             .arg(++folderSerial);
    QLocalServer::removeServer(path);
    if (!m_server->listen(path)) {
        *error = m_server->errorString();
        return false;
    }
    return true;
}

QString GdbRemoteStub::socketPath() const
{
    return m_server->fullServerName();
}

void GdbRemoteStub::acceptDebugger()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        qint64 processId = 0;
        qint64 userId = -1;
        // One debugger, of this user.
        if (m_debugger
            || !VexaChannel::peerCredentials(socket->socketDescriptor(), &processId, &userId)
            || userId != qint64(getuid())) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        m_debugger = socket;
        m_acknowledge = true;
        connect(socket, &QLocalSocket::readyRead, this, &GdbRemoteStub::readInput);
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            if (m_debugger != socket)
                return;
            // Without its debugger the firmware runs as it would without one.
            m_debugger = nullptr;
            m_running = false;
            m_breakpoints.clear();
            if (Engine *engine = m_run.engine()) {
                engine->setCodeBreakpoints({});
                engine->clearStepRange();
            }
            socket->deleteLater();
        });
        readInput();
    }
}

void GdbRemoteStub::send(const QByteArray &payload)
{
    if (m_debugger)
        m_debugger->write(checksummed(payload));
}

void GdbRemoteStub::readInput()
{
    if (!m_debugger)
        return;
    m_input += m_debugger->readAll();
    while (!m_input.isEmpty()) {
        const char first = m_input.at(0);
        if (first == '\x03') {
            m_input.remove(0, 1);
            m_interrupted = true;
            m_run.stop();
            continue;
        }
        if (first != '$') {
            m_input.remove(0, 1); // acknowledgements and noise
            continue;
        }
        const qsizetype end = m_input.indexOf('#');
        if (end < 0 || m_input.size() < end + 3)
            return;
        const QByteArray payload = m_input.mid(1, end - 1);
        m_input.remove(0, end + 3);
        if (m_acknowledge)
            m_debugger->write("+");
        if (payload.startsWith("vCont;") || payload.startsWith('c') || payload.startsWith('C')
            || payload.startsWith('s') || payload.startsWith('S')) {
            // The first action is the one for the only thread; "r" steps through a range.
            QByteArray action = payload.startsWith("vCont;") ? payload.mid(6).split(';').first()
                                                             : payload.left(1).toLower();
            action = action.split(':').first();
            if (action.startsWith('r')) {
                const QList<QByteArray> bounds = action.mid(1).split(',');
                resume(false,
                       bounds.value(0).toUInt(nullptr, 16),
                       bounds.value(1).toUInt(nullptr, 16));
            } else {
                resume(action.startsWith('s') || action.startsWith('S'));
            }
            continue;
        }
        if (payload == "k") {
            m_run.stop();
            m_debugger->disconnectFromServer();
            return;
        }
        const QByteArray reply = answer(payload);
        send(reply);
        if (payload == "QStartNoAckMode")
            m_acknowledge = false;
        if (payload.startsWith('D'))
            m_debugger->disconnectFromServer();
    }
}

QByteArray GdbRemoteStub::answer(const QByteArray &packet)
{
    Engine *engine = m_run.engine();
    if (!engine || !engine->canDebug())
        return "E01";
    if (packet == "?")
        return "S05";
    if (packet.startsWith("qSupported"))
        return "PacketSize=4000;QStartNoAckMode+";
    if (packet == "QStartNoAckMode" || packet.startsWith('H') || packet.startsWith("qSymbol"))
        return "OK";
    if (packet == "qAttached")
        return "1";
    if (packet == "vCont?")
        return "vCont;c;C;s;S;r";
    if (packet == "g")
        return engine->registerBlock().toHex();
    if (packet.startsWith('G')) {
        return engine->setRegisterBlock(QByteArray::fromHex(packet.mid(1))) ? "OK" : "E01";
    }
    if (packet.startsWith('p') || packet.startsWith('P')) {
        const QList<QByteArray> parts = packet.mid(1).split('=');
        bool ok = false;
        const int n = parts.first().toInt(&ok, 16);
        int offset = 0;
        int size = 0;
        if (!ok || !registerPlace(n, &offset, &size))
            return "E01";
        QByteArray block = engine->registerBlock();
        if (packet.startsWith('p'))
            return block.mid(offset, size).toHex();
        const QByteArray value = QByteArray::fromHex(parts.value(1));
        if (value.size() != size)
            return "E01";
        block.replace(offset, size, value);
        return engine->setRegisterBlock(block) ? "OK" : "E01";
    }
    if (packet.startsWith('m')) {
        std::uint32_t address = 0;
        std::uint32_t length = 0;
        if (!parseRange(packet.mid(1), &address, &length))
            return "E01";
        const QByteArray bytes = engine->readMemory(address, length);
        return bytes.size() == qsizetype(length) && length > 0 ? bytes.toHex() : "E01";
    }
    if (packet.startsWith('M')) {
        const qsizetype colon = packet.indexOf(':');
        std::uint32_t address = 0;
        std::uint32_t length = 0;
        if (colon < 0 || !parseRange(packet.mid(1, colon - 1), &address, &length))
            return "E01";
        const QByteArray bytes = QByteArray::fromHex(packet.mid(colon + 1));
        if (bytes.size() != qsizetype(length))
            return "E01";
        return engine->writeMemory(address, bytes) ? "OK" : "E01";
    }
    if (packet.startsWith("Z0,") || packet.startsWith("Z1,") || packet.startsWith("z0,")
        || packet.startsWith("z1,")) {
        bool ok = false;
        const std::uint32_t address = packet.mid(3).split(',').first().toUInt(&ok, 16);
        if (!ok)
            return "E01";
        if (packet.startsWith('Z'))
            m_breakpoints.insert(address);
        else
            m_breakpoints.remove(address);
        engine->setCodeBreakpoints(m_breakpoints);
        return "OK";
    }
    return QByteArray();
}

void GdbRemoteStub::resume(bool step, std::uint32_t rangeStart, std::uint32_t rangeEnd)
{
    Engine *engine = m_run.engine();
    m_interrupted = false;
    if (!engine || !engine->canDebug()) {
        send("E01");
        return;
    }
    if (step) {
        if (!engine->stepInstruction()) {
            send(engine->firmwareEnded() ? "W00" : "S0b");
            return;
        }
        send("S05");
        return;
    }
    if (rangeEnd > rangeStart)
        engine->setStepRange(rangeStart, rangeEnd);
    m_running = true;
    emit runningChanged(true);
    m_run.start();
    if (!m_run.isRunning())
        runStopped();
}

void GdbRemoteStub::runStopped()
{
    if (!m_running || m_run.isRunning())
        return;
    m_running = false;
    if (Engine *engine = m_run.engine())
        engine->clearStepRange();
    send(stopReply());
    emit runningChanged(false);
}

QByteArray GdbRemoteStub::stopReply() const
{
    const Engine *engine = m_run.engine();
    if (engine && engine->firmwareEnded())
        return "W00";
    if (engine && engine->stoppedForDebugger() && !m_interrupted)
        return "S05";
    return "S02";
}
