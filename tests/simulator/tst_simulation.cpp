// The link to the simulator and the simulator itself, through the real programs: the hand-off
// file, and the demonstration boards' firmware run for a while with every pin change traced.
#include "common/datarows.h"
#include "common/fakemainservices.h"
#include "common/fulldisk.h"
#include "common/testfiles.h"
#include "core/settingsstore.h"
#include "platform/registry.h"
#include "simulator/cirraneinterface.h"
#include "simulator/simulatorinstallation.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

class tst_Simulation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { isolateSettings(); }
    void installationDiscovery_data();
    void installationDiscovery();
    void handOffFile();
    void launchRefusals();
    void boardsRunInTheSimulator_data();
    void boardsRunInTheSimulator();
    void serialSamplesGreet_data();
    void serialSamplesGreet();
    void everySerialPortReachesTheOutput();
    void firmwareTestsDecideTheExitCode_data();
    void firmwareTestsDecideTheExitCode();
    void simulationThatCannotStart();
    void noProcessOutlivesItsStarter_data();
    void noProcessOutlivesItsStarter();

private:
    // Copies a project folder into work and runs the program on it with the simulator suite
    // of the build registered (or none); returns its exit code and output.
    static int runOnCopy(const QTemporaryDir &work,
                         const QString &source,
                         const QStringList &arguments,
                         QString *output,
                         bool registered = true);
    // Starts that run and returns at once.
    static void startOnCopy(QProcess &program,
                            const QTemporaryDir &work,
                            const QString &source,
                            const QStringList &arguments,
                            bool registered = true);
};

int tst_Simulation::runOnCopy(const QTemporaryDir &work,
                              const QString &source,
                              const QStringList &arguments,
                              QString *output,
                              bool registered)
{
    QProcess program;
    startOnCopy(program, work, source, arguments, registered);
    program.waitForFinished(180000);
    *output = QString::fromLocal8Bit(program.readAll());
    return program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
}

void tst_Simulation::startOnCopy(QProcess &program,
                                 const QTemporaryDir &work,
                                 const QString &source,
                                 const QStringList &arguments,
                                 bool registered)
{
    const QString name = QFileInfo(source).fileName();
    const QString folder = work.filePath(name);
    QDir().mkpath(folder);
    for (const QString &file : QDir(source).entryList(QDir::Files))
        QFile::copy(source + QLatin1Char('/') + file, folder + QLatin1Char('/') + file);
    QFile registry(work.filePath(QStringLiteral("registry.ini")));
    if (registered && registry.open(QIODevice::WriteOnly)) {
        registry.write("[HKEY_LOCAL_MACHINE/SOFTWARE/Morvellan%20Electronics/Cirrane%20Professional"
                       "%208/8]\nVersion=8.1\nPath=" DYX_CIRRANE_DIR "\n");
        registry.close();
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), work.filePath(QStringLiteral("config")));
    environment.insert(QStringLiteral("DYX_REGISTRY"), registry.fileName());
    environment.insert(QStringLiteral("TEMP"), work.path());
    // The simulator's socket and work folders, where the test can see them.
    const QString runtime = work.filePath(QStringLiteral("run"));
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    program.setProcessEnvironment(environment);
    program.setWorkingDirectory(work.path());
    program.setProcessChannelMode(QProcess::MergedChannels);
    program.start(QStringLiteral(DYX_PROGRAM),
                  QStringList{QStringLiteral("--scan_compilers"),
                              QStringLiteral("--print-output"),
                              folder + QLatin1Char('/') + name + QStringLiteral(".dyxp")}
                      + arguments + QStringList{QStringLiteral("--quit")});
}

// A project of one C source for an AVR part and its design, in a folder of its own in dir; the
// folder.
static QString avrProject(const QTemporaryDir &dir,
                          const QString &name,
                          const QString &controller,
                          const QByteArray &design,
                          const QByteArray &main)
{
    const QString folder = dir.filePath(name);
    writeFile(folder + QStringLiteral("/main.c"), main);
    writeFile(folder + QLatin1Char('/') + name + QStringLiteral(".DSN"), design);
    writeFile(folder + QLatin1Char('/') + name + QStringLiteral(".dyxp"),
              QStringLiteral("<PROJECT><FILES><FILE NAME=\"main.c\" GROUP=\"Source Files\"/>"
                             "<FILE NAME=\"%1.DSN\" GROUP=\"Design\"/></FILES>"
                             "<CONFIGURATION NAME=\"Debug\" COMPILER=\"GNU AVR GCC\" "
                             "TARGET=\"Debug\"><CONTROLLER FAMILY=\"AVR\" TYPE=\"%2\" "
                             "CLOCK=\"16MHz\"/></CONFIGURATION></PROJECT>")
                  .arg(name, controller)
                  .toUtf8());
    return folder;
}

void tst_Simulation::serialSamplesGreet_data()
{
    QTest::addColumn<QString>("sample");
    QTest::addColumn<QString>("greeting");
    // The AVR sample also reads its EEPROM, given its start values by the build.
    QTest::newRow("AVR") << "AVR Serial"
                         << "Hello from the AVR\nUART: EEPROM: kept in EEPROM";
    addRow("PIC16", "PIC16 Serial", "Hello from the PIC16");
    addRow("8051", "8051 Serial", "Hello from the 8051");
    // The analog sample reads the voltage its design gives ADC0.
    addRow("AVR analog", "AVR Analog", "ADC0 reads 511 of 1023: 2497 mV");
}

// The serial samples of the simulator suite build and greet on their serial port, which the
// output window shows line by line.
void tst_Simulation::serialSamplesGreet()
{
    QFETCH(QString, sample);
    QFETCH(QString, greeting);
    QTemporaryDir work;
    QString output;
    const int code = runOnCopy(work,
                               QStringLiteral(DYX_CIRRANE_DIR "/SAMPLES/") + sample,
                               {QStringLiteral("--build"), QStringLiteral("--simulate=0.1")},
                               &output);
    // The end of the output, where the simulation's lines are.
    QVERIFY2(code == 0, qPrintable(output.right(1500)));
    QVERIFY2(output.contains(QStringLiteral("\nUART: ") + greeting + QLatin1Char('\n')),
             qPrintable(output.right(1500)));
    // A sample builds as cleanly as it should teach others to.
    QVERIFY2(output.contains(QStringLiteral("Build finished: 0 errors, 0 warnings")),
             qPrintable(output));
}

void tst_Simulation::firmwareTestsDecideTheExitCode_data()
{
    QTest::addColumn<QString>("sample");
    QTest::addColumn<QString>("change"); // in the sample's source: what becomes what
    QTest::addColumn<QString>("seconds");
    QTest::addColumn<int>("code");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("AVR: every test passes")
        << "AVR Tests"
        << ""
        << "5" << 0
        << QStringList{"main.c:74:0: UART: main.c:74:crc8 of the check string:PASS",
                       "The firmware ended the run at 0.",
                       "Firmware tests: 4 passed, 0 failed."};
    QTest::newRow("AVR: a test fails") << "AVR Tests"
                                       << "== 0xF4|== 0xF5"
                                       << "5" << 1
                                       << QStringList{"main.c:74:0: UART: main.c:74:crc8 of the "
                                                      "check string:FAIL:crc8(check, 9) == 0xF5",
                                                      "Firmware tests: 3 passed, 1 failed."};
    QTest::newRow("AVR: the firmware does not end")
        << "AVR Tests"
        << "sleep_cpu();|for (;;) {}"
        << "0.5" << 1
        << QStringList{"The firmware did not end the run within 0.5 s.",
                       "Firmware tests: 4 passed, 0 failed."};
    QTest::newRow("PIC16: every test passes")
        << "PIC16 Tests"
        << ""
        << "5" << 0
        << QStringList{"main.asm:46:0: UART: main.asm:46:add:PASS",
                       "main.asm:57:0: UART: main.asm:57:times 6:PASS",
                       "The firmware ended the run at 0.",
                       "Firmware tests: 3 passed, 0 failed."};
    QTest::newRow("PIC16: a test fails")
        << "PIC16 Tests"
        << "xorlw   0xc3|xorlw   0xc4"
        << "5" << 1
        << QStringList{"main.asm:52:swap nibbles:FAIL", "Firmware tests: 2 passed, 1 failed."};
    QTest::newRow("8051: every test passes")
        << "8051 Tests"
        << ""
        << "5" << 0
        << QStringList{"main.c:67:0: UART: main.c:67:checksum of four bytes:PASS",
                       "The firmware ended the run at 0.",
                       "Firmware tests: 4 passed, 0 failed."};
    QTest::newRow("8051: powered down with interrupts on, it does not end")
        << "8051 Tests"
        << "EA = 0;|EA = 1;"
        << "0.5" << 1
        << QStringList{"The firmware did not end the run within 0.5 s.",
                       "Firmware tests: 4 passed, 0 failed."};
}

// A test sample as a CI job runs it: its test lines link to the checks (each names the line of
// its check), a summary counts them, and the exit code is 1 when one failed or the firmware did
// not end the run itself.
void tst_Simulation::firmwareTestsDecideTheExitCode()
{
    QFETCH(QString, sample);
    QFETCH(QString, change);
    QFETCH(QString, seconds);
    QFETCH(int, code);
    QFETCH(QStringList, lines);
    QTemporaryDir source;
    const QString folder = source.filePath(sample);
    QDir().mkpath(folder);
    const QString from = QStringLiteral(DYX_CIRRANE_DIR "/SAMPLES/") + sample + QLatin1Char('/');
    for (const QString &name : QDir(from).entryList(QDir::Files))
        QVERIFY(QFile::copy(from + name, folder + QLatin1Char('/') + name));
    const QString main = folder
                         + (sample.startsWith(QLatin1String("PIC")) ? QStringLiteral("/main.asm")
                                                                    : QStringLiteral("/main.c"));
    if (!change.isEmpty()) {
        const QStringList parts = change.split(QLatin1Char('|'));
        QByteArray text = readFile(main);
        QVERIFY(text.contains(parts.at(0).toUtf8()));
        QFile::remove(main); // a copy of a read-only file
        QVERIFY(writeFile(main, text.replace(parts.at(0).toUtf8(), parts.at(1).toUtf8())));
    }
    QTemporaryDir work;
    QString output;
    const int exitCode = runOnCopy(work,
                                   folder,
                                   {QStringLiteral("--build"),
                                    QStringLiteral("--simulate=") + seconds},
                                   &output);
    QVERIFY2(exitCode == code, qPrintable(output.right(1500)));
    for (const QString &line : std::as_const(lines))
        QVERIFY2(output.contains(line), qPrintable(output.right(1500)));
    const QList<QByteArray> sourceLines = readFile(main).split('\n');
    static const QRegularExpression result(QStringLiteral("UART: \\S+?:(\\d+):[^:]+:(PASS|FAIL)"));
    for (auto it = result.globalMatch(output); it.hasNext();) {
        const int line = it.next().captured(1).toInt();
        QVERIFY2(sourceLines.value(line - 1).contains("CHECK"),
                 qPrintable(QStringLiteral("line %1 is no check").arg(line)));
    }
}

// An ATmega2560 writing on three of its four USARTs, the second without a line end: each line
// reaches the output window under its port's name, the one left open when the run ends.
void tst_Simulation::everySerialPortReachesTheOutput()
{
    QTemporaryDir source;
    const QString folder = avrProject(
        source,
        QStringLiteral("Ports"),
        QStringLiteral("ATmega2560"),
        "",
        "#include <avr/io.h>\n"
        "#define PORT(n) static void put##n(const char *s) { UBRR##n##L = 103; "
        "UCSR##n##B = 1 << TXEN##n; for (; *s; ++s) { while (!(UCSR##n##A & (1 << UDRE##n))); "
        "UDR##n = *s; } }\n"
        "PORT(0) PORT(1) PORT(2)\n"
        "int main(void) { put0(\"zero\\r\\n\"); put1(\"one\"); put2(\"two\\r\\n\"); "
        "for (;;) {} }\n");
    QTemporaryDir work;
    QString output;
    const int code = runOnCopy(work,
                               folder,
                               {QStringLiteral("--build"), QStringLiteral("--simulate=0.1")},
                               &output);
    QVERIFY2(code == 0, qPrintable(output));
    // Every line before the run's end is said.
    const qsizetype end = output.indexOf(QStringLiteral("VEXA simulated"));
    for (const QString line : {"\nUART: zero\n", "\nUART1: one\n", "\nUART2: two\n"}) {
        QVERIFY2(output.contains(line), qPrintable(output));
        QVERIFY2(output.indexOf(line) < end, qPrintable(output));
    }
}

namespace {
// A registry holding one installation record, counting how often it is read.
class RecordedRegistry : public Registry
{
public:
    RecordedRegistry(QString version, QString path, int *reads)
        : m_version(std::move(version))
        , m_path(std::move(path))
        , m_reads(reads)
    {}
    QString value(const QString &key, const QString &name) const override
    {
        ++*m_reads;
        if (!key.endsWith(QLatin1String("Cirrane Professional 8\\8")))
            return QString();
        return name == QLatin1String("Version") ? m_version
               : name == QLatin1String("Path")  ? m_path
                                                : QString();
    }
    QStringList valueNames(const QString &) const override
    {
        ++*m_reads;
        return {QStringLiteral("Version"), QStringLiteral("Path")};
    }
    QStringList subkeys(const QString &key) const override
    {
        ++*m_reads;
        if (key.endsWith(QLatin1String("Morvellan Electronics\\")))
            return {QStringLiteral("Cirrane Lite"), QStringLiteral("Cirrane Professional 8")};
        if (key.endsWith(QLatin1String("Cirrane Professional 8\\")))
            return {QStringLiteral("8")};
        return {};
    }

private:
    QString m_version;
    QString m_path;
    int *m_reads;
};
} // namespace

void tst_Simulation::installationDiscovery_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<bool>("withProgram"); // bin/vexa.exe in the recorded folder
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("found");
    QTest::addColumn<bool>("tooOld");
    QTest::newRow("7.8") << "7.8" << true << "" << true << false;
    QTest::newRow("8.0") << "8.0" << true << "" << true << false;
    QTest::newRow("7.7 is too old") << "7.7" << true << "" << false << true;
    QTest::newRow("6.9 is too old") << "6.9" << true << "" << false << true;
    QTest::newRow("7 without a minor") << "7" << true << "" << false << false;
    QTest::newRow("no simulator program") << "8.1" << false << "" << false << false;
    QTest::newRow("a stored folder") << "8.1" << true << "EXISTING" << false << false;
    // An installation moved or removed since: looked for again.
    QTest::newRow("a stored folder that is gone") << "8.1" << true << "/opt/gone" << true << false;
}

// The registry search and the folder everything uses: versions from 7.8 on, a folder that
// holds bin/vexa.exe (in any letter case), and a stored folder that exists taken without a
// look at the registry.
void tst_Simulation::installationDiscovery()
{
    QFETCH(QString, version);
    QFETCH(bool, withProgram);
    QFETCH(QString, stored);
    QFETCH(bool, found);
    QFETCH(bool, tooOld);
    QTemporaryDir installed;
    if (withProgram) {
        QVERIFY(QDir().mkpath(installed.filePath(QStringLiteral("BIN"))));
        QFile(installed.filePath(QStringLiteral("BIN/VEXA.EXE"))).open(QIODevice::WriteOnly);
    }
    int reads = 0;
    Registry::setInstance(std::make_unique<RecordedRegistry>(version, installed.path(), &reads));
    QTemporaryDir existing;
    if (stored == QLatin1String("EXISTING"))
        stored = existing.path();
    SettingsStore settings;
    settings.setCirraneDirectory(stored);
    SimulatorInstallation installation(settings);
    const QString directory = installation.simulatorDirectory(false);
    Registry::setInstance(nullptr);
    if (!stored.isEmpty() && QFileInfo::exists(stored)) {
        QCOMPARE(directory, stored);
        QCOMPARE(reads, 0);
        return;
    }
    QCOMPARE(directory, found ? installed.path() : QString());
    QCOMPARE(installation.tooOld(), tooOld);
    QCOMPARE(settings.cirraneDirectory(), directory);
}

// The keys in the order the settings file keeps them, the device and family upper-cased, in a
// folder of the program's own inside TEMP: a file or link another user planted in TEMP under
// the hand-off file's name is neither read nor written through. A write cut short (a full
// disk) is no hand-off: VEXA is not started on it.
void tst_Simulation::handOffFile()
{
    QTemporaryDir temp;
    const QString victim = temp.filePath(QStringLiteral("victim.txt"));
    QVERIFY(writeFile(victim, "mine\n"));
    QVERIFY(QFile::link(victim, temp.filePath(QStringLiteral("tandel.ini"))));
    // Folders a killed program left go; one of a running program, and a link, stay.
    QProcess ended;
    ended.start(QStringLiteral("sleep"), {QStringLiteral("0.1")});
    QVERIFY(ended.waitForStarted());
    const QString dead = QStringLiteral("dyxstudio-%1-").arg(ended.processId());
    QVERIFY(ended.waitForFinished());
    const QString running = QStringLiteral("dyxstudio-%1-abcdef")
                                .arg(QCoreApplication::applicationPid());
    QDir(temp.path()).mkpath(dead + QStringLiteral("abcdef"));
    QDir(temp.path()).mkpath(running);
    QVERIFY(QFile::link(temp.path(), temp.filePath(dead + QStringLiteral("linked"))));
    qputenv("TEMP", temp.path().toLocal8Bit());
    CirraneInterface link(nullptr);
    QVERIFY(!QFileInfo::exists(temp.filePath(dead + QStringLiteral("abcdef"))));
    QVERIFY(QFileInfo::exists(temp.filePath(running)));
    QVERIFY(QFileInfo(temp.filePath(dead + QStringLiteral("linked"))).isSymLink());
    const QFileInfo folder(QFileInfo(link.handOffPath()).absolutePath());
    QCOMPARE(folder.absolutePath(), QFileInfo(temp.path()).absoluteFilePath());
    QVERIFY(folder.fileName().startsWith(QLatin1String("dyxstudio-")));
    QVERIFY(!(folder.permissions()
              & (QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther
                 | QFile::WriteOther | QFile::ExeOther)));
    const auto write = [&link] {
        return link.writeHandOff(QStringLiteral("/p/Board.DSN"),
                                 QStringLiteral("atmega328p"),
                                 QStringLiteral("avr"),
                                 QStringLiteral("/p/Debug/Debug.hex"),
                                 QStringLiteral("16MHz"),
                                 true,
                                 false,
                                 false);
    };
    // No simulator runs: the file is written and the reload command is not delivered.
    QVERIFY(!write());
    QCOMPARE(QString::fromUtf8(readFile(link.handOffPath())),
             QStringLiteral("[CIRRANE]\nAUTORUN=1\nCLOCK=16MHz\nDESIGNFILE=/p/Board.DSN\n"
                            "DEVICE=ATMEGA328P\nFAMILY=AVR\nNEWDESIGN=0\n"
                            "PROGRAM=/p/Debug/Debug.hex\n"));
    QCOMPARE(readFile(victim), QByteArray("mine\n"));
    // Not running: starting the debugging changes nothing.
    QVERIFY(!link.startDebugging());
    QVERIFY(!link.isDebugging());

    // A full disk: files may grow to 16 bytes.
    const QString design = temp.filePath(QStringLiteral("b.DSN"));
    QFile(design).open(QIODevice::WriteOnly);
    FullDisk full(16);
    QVERIFY(full.isActive());
    link.updateDesignQuietly(design,
                             QStringLiteral("atmega328p"),
                             QStringLiteral("AVR"),
                             QStringLiteral("f.hex"),
                             QStringLiteral("1MHz"));
    full.end();
    QVERIFY(!link.launch(temp.path()));
    QVERIFY(!link.isRunning());

    // Without TEMP: below the session's own runtime folder, not the shared temporary one.
    QTemporaryDir runtime;
    QVERIFY(QFile::setPermissions(runtime.path(),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QByteArray oldRuntime = qgetenv("XDG_RUNTIME_DIR");
    qunsetenv("TEMP");
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    {
        CirraneInterface own(nullptr);
        QCOMPARE(QFileInfo(QFileInfo(own.handOffPath()).absolutePath()).absolutePath(),
                 runtime.path());
    }
    if (oldRuntime.isEmpty())
        qunsetenv("XDG_RUNTIME_DIR");
    else
        qputenv("XDG_RUNTIME_DIR", oldRuntime);
}

// Launch checks what it needs before it starts anything; an installation without the
// simulator program fails to start it.
void tst_Simulation::launchRefusals()
{
    QTemporaryDir temp;
    qputenv("TEMP", temp.path().toLocal8Bit());
    CirraneInterface link(nullptr);
    QVERIFY(!link.launch(QString()));
    link.updateDesignQuietly(QString(),
                             QStringLiteral("x"),
                             QStringLiteral("AVR"),
                             QStringLiteral("f.hex"),
                             QStringLiteral("1MHz"));
    QVERIFY(!link.launch(temp.path()));
    const QString design = temp.filePath(QStringLiteral("b.DSN"));
    link.updateDesignQuietly(design,
                             QStringLiteral("x"),
                             QStringLiteral("AVR"),
                             QStringLiteral("f.hex"),
                             QStringLiteral("1MHz"));
    QVERIFY(!link.launch(temp.path())); // the design file does not exist
    QFile(design).open(QIODevice::WriteOnly);
    QVERIFY(!link.launch(temp.path())); // no BIN/VEXA.EXE
    QVERIFY(!link.isRunning());
}

void tst_Simulation::boardsRunInTheSimulator_data()
{
    QTest::addColumn<QString>("board");
    QTest::addColumn<QString>("pin");
    // Half the LED's period as the firmware sets it, in nanoseconds.
    QTest::addColumn<double>("halfPeriod");
    addRow("AVR: _delay_ms(500) between toggles", "AVR Blinky", "PB5", 500e6);
    // Port B counts up every 250 ms: its lowest bit changes at each count.
    addRow("PIC16: a 250 ms busy wait per count", "PIC16 Blinky", "RB0", 250e6);
    addRow("8051: 2400 timer overflows of 192 cycles", "8051 Blinky", "P1.0", 500e6);
}

// A board's project is built and run for two simulated seconds through the IDE's own debug
// commands; the trace shows the LED changing at the period the firmware sets, within 0.1 %.
// Programs the project brings under the names of the compilers and engines do not run, though
// the PATH holds empty and relative entries, which lead to the folder a program runs in.
void tst_Simulation::boardsRunInTheSimulator()
{
    QFETCH(QString, board);
    QFETCH(QString, pin);
    QFETCH(double, halfPeriod);
    QTemporaryDir work;
    QTemporaryDir brought;
    const QString source = brought.filePath(board);
    QVERIFY(copyTree(QStringLiteral(DYX_SOURCE_DIR "/data/devboards/") + board, source));
    for (const char *name : {"avr-gcc", "avr-objcopy", "gpasm", "gplink", "gpsim", "sdcc", "s51"}) {
        const QString planted = source + QLatin1Char('/') + QLatin1String(name);
        QVERIFY(writeFile(planted, "#!/bin/sh\ntouch \"$0.ran\"\nexit 1\n"));
        QFile::setPermissions(planted, QFile::ReadOwner | QFile::ExeOwner);
    }
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", ".::" + path + ":bin");
    const auto restore = qScopeGuard([&] { qputenv("PATH", path); });
    QString output;
    const int code = runOnCopy(work,
                               source,
                               {QStringLiteral("--build"),
                                QStringLiteral("--simulate=2"),
                                QStringLiteral("--trace=t.vcd")},
                               &output);
    QCOMPARE(QDir(work.filePath(board)).entryList({QStringLiteral("*.ran")}), QStringList());
    QVERIFY(QFileInfo(work.filePath(board) + QStringLiteral("/gpsim")).isExecutable());
    QVERIFY2(code == 0, qPrintable(output));
    QVERIFY2(output.contains(QStringLiteral("Debugging in VEXA started.")), qPrintable(output));

    const QByteArray trace = readFile(work.filePath(QStringLiteral("t.vcd")));
    QVERIFY(trace.contains("$timescale 1 ns $end"));
    QList<double> changes;
    int last = -1;
    for (const auto &[now, level] : traceLevels(trace, pin)) {
        if (last >= 0 && level != last)
            changes.append(now);
        last = level;
    }
    QVERIFY2(changes.size() >= 4, qPrintable(QString::number(changes.size())));
    for (int i = 2; i < changes.size(); ++i) {
        const double half = changes.at(i) - changes.at(i - 1);
        QVERIFY2(qAbs(half - halfPeriod) <= halfPeriod * 0.001,
                 qPrintable(QStringLiteral("%1 ns between changes").arg(half)));
    }
}

// Without a simulator installation a scripted simulation fails, and says why.
void tst_Simulation::simulationThatCannotStart()
{
    QTemporaryDir work;
    QString output;
    const int code = runOnCopy(work,
                               QStringLiteral(DYX_SOURCE_DIR "/data/devboards/AVR Blinky"),
                               {QStringLiteral("--simulate=1")},
                               &output,
                               false);
    QCOMPARE(code, 1);
    QVERIFY2(output.contains(QStringLiteral("no Cirrane installation has been detected")),
             qPrintable(output));
}

namespace {
// The processes whose parent is that one (with that program name, when given).
QList<qint64> childrenOf(qint64 parent, const QByteArray &program = QByteArray())
{
    QList<qint64> children;
    for (const QString &name : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile stat(QStringLiteral("/proc/") + name + QStringLiteral("/stat"));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        // pid (name) state ppid ...
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        const QByteArray comm = text.mid(text.indexOf('(') + 1,
                                         text.lastIndexOf(')') - text.indexOf('(') - 1);
        if (fields.size() > 1 && fields.at(1).toLongLong() == parent
            && (program.isEmpty() || comm == program))
            children.append(name.toLongLong());
    }
    return children;
}
} // namespace

void tst_Simulation::noProcessOutlivesItsStarter_data()
{
    QTest::addColumn<QString>("board");
    QTest::addColumn<QString>("ending");
    // s51 is started by VEXA, VEXA by the program.
    addRow("the program killed during an 8051 run", "8051 Blinky", "kill the program");
    addRow("VEXA killed during a PIC16 run", "PIC16 Blinky", "kill VEXA");
    addRow("VEXA stopped during an AVR run", "AVR Blinky", "stop VEXA");
}

// However the program or VEXA ends, no simulation process is left running; a VEXA that stops
// answering is ended within a bound; what a killed VEXA left in its private folder goes at
// the next start.
void tst_Simulation::noProcessOutlivesItsStarter()
{
    QFETCH(QString, board);
    QFETCH(QString, ending);
    QTemporaryDir work;
    QProcess program;
    startOnCopy(program,
                work,
                QStringLiteral(DYX_SOURCE_DIR "/data/devboards/") + board,
                {QStringLiteral("--build"), QStringLiteral("--simulate=3000")});
    QVERIFY(program.waitForStarted());
    // Once the timed run goes on: VEXA, and the engine program it starts for the PIC16 and
    // the 8051.
    QString output;
    QTRY_VERIFY_WITH_TIMEOUT((output += QString::fromLocal8Bit(program.readAll()))
                                 .contains(QStringLiteral("Debugging in VEXA started.")),
                             120000);
    const QList<qint64> started = childrenOf(program.processId(), "VEXA.EXE");
    QCOMPARE(started.size(), 1);
    const qint64 vexa = started.constFirst();
    const QList<qint64> engines = childrenOf(vexa);
    QCOMPARE(engines.size(), board.startsWith(QLatin1String("AVR")) ? 0 : 1);
    const QDir privateFolder(work.filePath(QStringLiteral("run/dyxstudio")));
    QVERIFY(privateFolder.exists(QStringLiteral("VEXA-%1").arg(vexa)));

    if (ending == QLatin1String("kill the program"))
        ::kill(pid_t(program.processId()), SIGKILL);
    else if (ending == QLatin1String("kill VEXA"))
        ::kill(pid_t(vexa), SIGKILL);
    else
        ::kill(pid_t(vexa), SIGSTOP);
    QVERIFY(program.waitForFinished(30000));
    output += QString::fromLocal8Bit(program.readAll());
    if (ending == QLatin1String("stop VEXA")) {
        QVERIFY2(output.contains(QStringLiteral("VEXA gave no sign of life for 15 s during the "
                                                "simulation; it was ended.")),
                 qPrintable(output));
        QCOMPARE(program.exitCode(), 1);
    }
    QElapsedTimer ending_;
    ending_.start();
    const auto allGone = [&] {
        bool gone = processEnded(vexa);
        for (const qint64 engine : std::as_const(engines))
            gone = gone && processEnded(engine);
        return gone;
    };
    while (!allGone() && ending_.elapsed() < 10000)
        QTest::qWait(50);
    QVERIFY2(allGone(), qPrintable(output));

    // A VEXA that closed removed its socket and work folder; what a killed one left goes
    // when the next one starts.
    const QStringList left = privateFolder.entryList(QDir::AllEntries | QDir::System
                                                     | QDir::NoDotAndDotDot);
    if (ending == QLatin1String("kill the program")) {
        QVERIFY2(left.isEmpty(), qPrintable(left.join(QLatin1Char(' '))));
    } else if (!left.isEmpty()) {
        QString again;
        QCOMPARE(runOnCopy(work,
                           QStringLiteral(DYX_SOURCE_DIR "/data/devboards/") + board,
                           {QStringLiteral("--simulate=0.01")},
                           &again),
                 0);
        const QStringList after = privateFolder.entryList(QDir::AllEntries | QDir::System
                                                          | QDir::NoDotAndDotDot);
        QVERIFY2(after.isEmpty(), qPrintable(after.join(QLatin1Char(' '))));
    }
}

QTEST_GUILESS_MAIN(tst_Simulation)
#include "tst_simulation.moc"
