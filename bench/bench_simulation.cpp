// The simulator's speed: each engine running a demonstration board's firmware flat out,
// reported as simulated time against the wall-clock time it took (the baseline is the clock
// itself); and the share of one core that the simulator's window takes while it paces the AVR
// board to real time.
#include "vexa/engine.h"
#include "vexa/vexawindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <sys/resource.h>

namespace {

QTemporaryDir work;

bool run(const QString &program, const QStringList &arguments, const QString &directory)
{
    QProcess process;
    process.setWorkingDirectory(directory);
    process.start(program, arguments);
    return process.waitForFinished(120000) && process.exitCode() == 0;
}

// The board's firmware built straight with its compiler; empty when that fails.
QString buildBoard(const QString &board)
{
    const QString source = QStringLiteral(DYX_SOURCE_DIR "/data/devboards/") + board;
    const QString out = work.filePath(board);
    if (board.startsWith(QLatin1String("AVR"))) {
        const QString elf = out + QStringLiteral(".elf");
        if (run(QStringLiteral("avr-gcc"),
                {QStringLiteral("-mmcu=atmega328p"),
                 QStringLiteral("-Os"),
                 QStringLiteral("-DF_CPU=16000000UL"),
                 source + QStringLiteral("/main.c"),
                 source + QStringLiteral("/led.c"),
                 QStringLiteral("-o"),
                 elf},
                work.path())
            && run(QStringLiteral("avr-objcopy"),
                   {QStringLiteral("-O"), QStringLiteral("ihex"), elf, out + QStringLiteral(".hex")},
                   work.path()))
            return out + QStringLiteral(".hex");
    } else if (board.startsWith(QLatin1String("PIC"))) {
        if (run(QStringLiteral("gpasm"),
                {QStringLiteral("-p"),
                 QStringLiteral("p16f877a"),
                 QStringLiteral("-c"),
                 source + QStringLiteral("/main.asm"),
                 QStringLiteral("-o"),
                 work.filePath(QStringLiteral("main.o"))},
                work.path())
            && run(QStringLiteral("gpasm"),
                   {QStringLiteral("-p"),
                    QStringLiteral("p16f877a"),
                    QStringLiteral("-c"),
                    source + QStringLiteral("/delay.asm"),
                    QStringLiteral("-o"),
                    work.filePath(QStringLiteral("delay.o"))},
                   work.path())
            && run(QStringLiteral("gplink"),
                   {QStringLiteral("-o"),
                    out + QStringLiteral(".hex"),
                    QStringLiteral("main.o"),
                    QStringLiteral("delay.o")},
                   work.path()))
            return out + QStringLiteral(".hex");
    } else {
        if (run(QStringLiteral("sdcc"),
                {QStringLiteral("-mmcs51"),
                 QStringLiteral("-c"),
                 source + QStringLiteral("/delay.c")},
                work.path())
            && run(QStringLiteral("sdcc"),
                   {QStringLiteral("-mmcs51"),
                    source + QStringLiteral("/main.c"),
                    QStringLiteral("delay.rel"),
                    QStringLiteral("-o"),
                    out + QStringLiteral(".ihx")},
                   work.path()))
            return out + QStringLiteral(".ihx");
    }
    return QString();
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec
           + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    struct Case
    {
        const char *board, *family, *device;
        double clock;
        // The least speed, against real time, that each engine should keep.
        double target;
    };
    const Case cases[] = {{"AVR Blinky", "AVR", "ATMEGA328P", 16e6, 5},
                          {"PIC16 Blinky", "PIC16", "PIC16F877A", 4e6, 10},
                          {"8051 Blinky", "MCS51", "AT89S52", 11059200, 3}};
    bool allMet = true;
    std::printf("Simulated time against wall time, engines flat out (2 s of each board):\n");
    QString avrFirmware;
    for (const Case &c : cases) {
        const QString firmware = buildBoard(QString::fromLatin1(c.board));
        if (firmware.isEmpty()) {
            std::printf("  %-14s cannot be built\n", c.board);
            continue;
        }
        if (QLatin1String(c.family) == QLatin1String("AVR"))
            avrFirmware = firmware;
        std::unique_ptr<Engine> engine = Engine::forFamily(QString::fromLatin1(c.family));
        int changes = 0;
        engine->pinChanged = [&changes](const QString &, bool, std::uint64_t) { ++changes; };
        const QString error = engine->load(firmware, QString::fromLatin1(c.device), c.clock);
        if (!error.isEmpty()) {
            std::printf("  %-14s %s\n", c.board, qPrintable(error));
            continue;
        }
        QElapsedTimer wall;
        wall.start();
        while (engine->timeNs() < 2000000000ull
               && engine->runUntil(engine->timeNs() + engine->sliceNs()))
            ;
        const double seconds = wall.nsecsElapsed() / 1e9;
        const double speed = engine->timeNs() / 1e9 / seconds;
        allMet = allMet && speed >= c.target;
        std::printf("  %-14s %6.2fx real time (%.3f s simulated in %.3f s, %d pin changes), "
                    "target at least %.0fx %s\n",
                    c.board,
                    speed,
                    engine->timeNs() / 1e9,
                    seconds,
                    changes,
                    c.target,
                    speed >= c.target ? "ok" : "UNDER");
    }
    if (avrFirmware.isEmpty())
        return 1;
    // Pacing: the window runs the AVR board in real time for three seconds.
    const QString handOff = work.filePath(QStringLiteral("tandel.ini"));
    {
        QSettings file(handOff, QSettings::IniFormat);
        file.beginGroup(QStringLiteral("CIRRANE"));
        file.setValue(QStringLiteral("DESIGNFILE"),
                      QStringLiteral(DYX_SOURCE_DIR "/data/devboards/AVR Blinky/AVR Blinky.DSN"));
        file.setValue(QStringLiteral("PROGRAM"), avrFirmware);
        file.setValue(QStringLiteral("CLOCK"), QStringLiteral("16MHz"));
        file.setValue(QStringLiteral("DEVICE"), QStringLiteral("ATMEGA328P"));
        file.setValue(QStringLiteral("FAMILY"), QStringLiteral("AVR"));
        file.setValue(QStringLiteral("AUTORUN"), QStringLiteral("1"));
    }
    VexaWindow window(handOff);
    window.show();
    const double cpuBefore = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    const std::uint64_t simulatedBefore = window.simulatedNs();
    QTest::qWait(3000);
    const double wallSeconds = wall.nsecsElapsed() / 1e9;
    std::printf("Real-time pacing of the AVR board: %.3f s simulated in %.3f s; the window took "
                "%.1f %% of one core\n",
                (window.simulatedNs() - simulatedBefore) / 1e9,
                wallSeconds,
                100 * (cpuSeconds() - cpuBefore) / wallSeconds);
    return allMet ? 0 : 1;
}
