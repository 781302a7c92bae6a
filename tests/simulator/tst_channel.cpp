// The link between the IDE and VEXA where other users and other processes could reach it:
// the private folder, the channel's peers, and the engine's console terminal.
#include "channel/vexachannel.h"
#include "common/datarows.h"
#include "common/fakemainservices.h"
#include "common/testfiles.h"
#include "simulator/cirraneinterface.h"
#include "vexa/ptyconsole.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <grp.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

class tst_Channel : public QObject
{
    Q_OBJECT

private slots:
    void privateFolder_data();
    void privateFolder();
    void impostorIsRefused();
    void anotherUserReachesNothing();
    void notesArrivingMeanwhileAreDelivered();
    void leftoversOfEndedSimulatorsGo();
};

namespace {
constexpr uid_t otherUser = 65534;

// Runs the check in a child process as another user; its exit code.
int asAnotherUser(const std::function<int()> &check)
{
    const pid_t child = fork();
    if (child == 0) {
        if (setgroups(0, nullptr) != 0 || setgid(otherUser) != 0 || setuid(otherUser) != 0)
            _exit(99);
        _exit(check());
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 98;
}

// 0 when a connection to the socket succeeds, else the error number.
int connectTo(const QByteArray &path)
{
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    qstrncpy(address.sun_path, path.constData(), sizeof address.sun_path);
    const int result = ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
                           ? 0
                           : errno;
    close(fd);
    return result;
}

mode_t modeOf(const QString &path)
{
    struct stat status
    {};
    lstat(QFile::encodeName(path).constData(), &status);
    return status.st_mode & 07777;
}
} // namespace

void tst_Channel::privateFolder_data()
{
    QTest::addColumn<QString>("runtimeMode"); // the runtime folder's mode, or "none"
    QTest::addColumn<QString>("planted");     // what lies under the temporary folder's name
    QTest::addColumn<QString>("expected");    // "runtime", "temp" or "none"
    addRow("the user's runtime folder", "0700", "nothing", "runtime");
    addRow("a runtime folder others enter", "0755", "nothing", "temp");
    addRow("no runtime folder", "none", "nothing", "temp");
    addRow("the user's folder open to others is closed", "none", "open folder", "temp");
    addRow("a link under the name", "none", "link", "none");
    addRow("a file under the name", "none", "file", "none");
}

// The folder is the user's own and closed to others, or there is none.
void tst_Channel::privateFolder()
{
    QFETCH(QString, runtimeMode);
    QFETCH(QString, planted);
    QFETCH(QString, expected);
    QTemporaryDir work;
    const QString runtime = work.filePath(QStringLiteral("runtime"));
    const QString temp = work.filePath(QStringLiteral("temp"));
    QDir().mkpath(runtime);
    QDir().mkpath(temp);
    if (runtimeMode != QLatin1String("none")) {
        chmod(QFile::encodeName(runtime).constData(), mode_t(runtimeMode.toUInt(nullptr, 8)));
        qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
    } else {
        qunsetenv("XDG_RUNTIME_DIR");
    }
    qputenv("TMPDIR", temp.toLocal8Bit());
    const QString tempFolder = QDir(temp).filePath(QStringLiteral("dyxstudio-%1").arg(geteuid()));
    if (planted == QLatin1String("open folder")) {
        QDir().mkpath(tempFolder);
        chmod(QFile::encodeName(tempFolder).constData(), 0777);
    } else if (planted == QLatin1String("link")) {
        QDir().mkpath(work.filePath(QStringLiteral("elsewhere")));
        QFile::link(work.filePath(QStringLiteral("elsewhere")), tempFolder);
    } else if (planted == QLatin1String("file")) {
        QFile(tempFolder).open(QIODevice::WriteOnly);
    }
    QString error;
    const QString folder = VexaChannel::privateFolder(&error);
    qunsetenv("TMPDIR");
    qunsetenv("XDG_RUNTIME_DIR");
    if (expected == QLatin1String("none")) {
        QVERIFY(folder.isEmpty());
        QVERIFY2(error.contains(tempFolder), qPrintable(error));
        QVERIFY(QDir(work.filePath(QStringLiteral("elsewhere"))).isEmpty());
        return;
    }
    QCOMPARE(folder,
             expected == QLatin1String("runtime") ? runtime + QStringLiteral("/dyxstudio")
                                                  : tempFolder);
    QCOMPARE(modeOf(folder), mode_t(0700));
}

// A channel served under the started process's name by any other process is not used: the
// IDE says so and sends it nothing.
void tst_Channel::impostorIsRefused()
{
    QTemporaryDir work;
    const QString installation = work.filePath(QStringLiteral("install"));
    QDir().mkpath(installation + QStringLiteral("/BIN"));
    // The started program stays silent while another process serves its channel.
    QFile script(installation + QStringLiteral("/BIN/VEXA.EXE"));
    QVERIFY(script.open(QIODevice::WriteOnly));
    const QString stubPid = work.filePath(QStringLiteral("stub.pid"));
    script.write("#!/bin/sh\nVEXA_STUB_LISTEN_AS=$$ '" DYX_VEXA_STUB "' &\necho $! > '"
                 + QFile::encodeName(stubPid) + "'\nwait\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString log = work.filePath(QStringLiteral("stub.log"));
    qputenv("VEXA_STUB_LOG", log.toLocal8Bit());
    qputenv("TEMP", work.path().toLocal8Bit());
    const QString design = work.filePath(QStringLiteral("b.DSN"));
    QFile(design).open(QIODevice::WriteOnly);

    FakeMainServices main;
    {
        CirraneInterface link(&main);
        link.updateDesignQuietly(design,
                                 QStringLiteral("atmega328p"),
                                 QStringLiteral("AVR"),
                                 QStringLiteral("f.hex"),
                                 QStringLiteral("16MHz"));
        QVERIFY(link.launch(installation));
        QTest::qWait(500);
        QVERIFY(!link.sendCommand(VexaChannel::StopSimulation));
        QVERIFY(!link.sendCommand(VexaChannel::ReloadHandOff));
        const QStringList errors = main.lines.filter(QStringLiteral("VEXA cannot be reached"));
        QCOMPARE(errors.size(), 1);
        QVERIFY2(errors.constFirst().contains(QStringLiteral("not by the simulator this program "
                                                             "started")),
                 qPrintable(errors.constFirst()));
    }
    QFile stubLog(log);
    QVERIFY(!stubLog.exists() || (stubLog.open(QIODevice::ReadOnly) && stubLog.size() == 0));
    QFile pidFile(stubPid);
    QVERIFY(pidFile.open(QIODevice::ReadOnly));
    kill(pid_t(pidFile.readAll().trimmed().toLongLong()), SIGKILL);
}

// Another local user can neither reach a simulator's channel nor its engine's console, nor
// take the private folder's name first.
void tst_Channel::anotherUserReachesNothing()
{
    if (geteuid() != 0)
        QSKIP("Only a test run by root can act as another user.");
    QTemporaryDir work;
    chmod(QFile::encodeName(work.path()).constData(), 0711);
    const QString shared = work.filePath(QStringLiteral("shared"));
    QDir().mkpath(shared);
    chmod(QFile::encodeName(shared).constData(), 01777);
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", shared.toLocal8Bit());

    // A running simulator's channel.
    QProcess stub;
    stub.start(QStringLiteral(DYX_VEXA_STUB), {});
    QVERIFY(stub.waitForStarted());
    const QByteArray socketPath = QFile::encodeName(VexaChannel::serverPath(stub.processId()));
    QTRY_VERIFY(QFile::exists(QFile::decodeName(socketPath)));
    QCOMPARE(connectTo(socketPath), 0);
    QCOMPARE(asAnotherUser([&] { return connectTo(socketPath); }), EACCES);
    stub.kill();
    stub.waitForFinished();

    // An engine's console terminal.
    PtyConsole console;
    QString error;
    QVERIFY2(console.openTerminal(&error), qPrintable(error));
    const QByteArray terminal = QFile::encodeName(console.terminalName());
    QCOMPARE(asAnotherUser([&] {
                 const int fd = open(terminal.constData(), O_RDWR | O_NOCTTY);
                 return fd < 0 ? errno : 0;
             }),
             EACCES);

    // The private folder's name, taken first by the other user.
    const QString folder = VexaChannel::privateFolder();
    QVERIFY(QDir(folder).removeRecursively());
    QCOMPARE(asAnotherUser([&] { return mkdir(QFile::encodeName(folder).constData(), 0777); }), 0);
    QVERIFY(VexaChannel::privateFolder(&error).isEmpty());
    QVERIFY2(error.contains(QStringLiteral("belongs to another user")), qPrintable(error));
    qunsetenv("TMPDIR");
}

QTEST_GUILESS_MAIN(tst_Channel)
// What a killed simulator left in the private folder (its channel's socket, its work folder,
// its debugger's socket) goes at the next start; what a running one holds, and files of
// other names, stay.
void tst_Channel::leftoversOfEndedSimulatorsGo()
{
    const QString folder = VexaChannel::privateFolder();
    QVERIFY(!folder.isEmpty());
    QProcess ended;
    ended.start(QStringLiteral("true"), {});
    QVERIFY(ended.waitForStarted(5000));
    const QString gone = QString::number(ended.processId());
    QVERIFY(ended.waitForFinished(5000));
    const QString alive = QString::number(getppid());
    const QStringList leftovers{QStringLiteral("VEXA-") + gone,
                                QStringLiteral("debug-") + gone + QStringLiteral("-3"),
                                QStringLiteral("work-") + gone + QStringLiteral("-x")};
    const QStringList kept{QStringLiteral("debug-") + alive + QStringLiteral("-1"),
                           QStringLiteral("notes-") + gone};
    for (const QString &name : leftovers + kept)
        QVERIFY(writeFile(folder + QLatin1Char('/') + name));
    VexaChannel::removeLeftovers();
    for (const QString &name : leftovers)
        QVERIFY2(!QFileInfo::exists(folder + QLatin1Char('/') + name), qPrintable(name));
    for (const QString &name : kept) {
        QVERIFY2(QFileInfo::exists(folder + QLatin1Char('/') + name), qPrintable(name));
        QFile::remove(folder + QLatin1Char('/') + name);
    }
}

#include "tst_channel.moc"

// A note's handler may turn the event loop (the output window shows its line at once); a note
// that arrives meanwhile is delivered all the same, not left in the socket's buffer: a timed
// run's end was lost that way now and then, and the IDE waited for it in vain.
void tst_Channel::notesArrivingMeanwhileAreDelivered()
{
    QTemporaryDir temp;
    qputenv("TEMP", temp.path().toLocal8Bit());
    // The simulator's side serves from a thread of its own, as from another program.
    QThread simulator;
    auto *server = new VexaChannelServer;
    server->moveToThread(&simulator);
    connect(&simulator, &QThread::finished, server, &QObject::deleteLater);
    simulator.start();
    const std::shared_ptr<void> stop(nullptr, [&simulator](void *) {
        simulator.quit();
        simulator.wait();
    });
    const auto onSimulator = [server](const std::function<void()> &work) {
        QMetaObject::invokeMethod(server, work, Qt::BlockingQueuedConnection);
    };
    bool listening = false;
    onSimulator([&] { listening = server->listen(QCoreApplication::applicationPid()); });
    QVERIFY(listening);
    VexaChannelClient client;
    QVERIFY(client.connectTo(QCoreApplication::applicationPid(), 2000));
    QStringList notes;
    connect(&client, &VexaChannelClient::note, this, [&](const QString &kind, const QString &) {
        notes.append(kind);
        if (kind == QLatin1String("FIRST")) {
            onSimulator([server] { server->sendNote(QStringLiteral("SECOND"), QString()); });
            QElapsedTimer turning;
            turning.start();
            while (turning.elapsed() < 200)
                QCoreApplication::processEvents();
        }
    });
    QVERIFY(client.request(QStringLiteral("WATCH"), 2000).has_value());
    onSimulator([server] { server->sendNote(QStringLiteral("FIRST"), QString()); });
    QTRY_COMPARE_WITH_TIMEOUT(notes, QStringList({"FIRST", "SECOND"}), 3000);
}
