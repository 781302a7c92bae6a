#include "common/datarows.h"
#include "common/fulldisk.h"
#include "common/testfiles.h"
#include "vexa/simulationrun.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <map>

// A run without a window or a real engine: where a timed run ends, what a failure or a stop
// leaves, how a paced run follows the wall clock, and the serial output in lines.
class tst_SimulationRun : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void timedRunEndsAtItsTime();
    void failuresEndTheTimedRun_data();
    void failuresEndTheTimedRun();
    void firmwareNotBuiltYet();
    void firmwareEndsTheTimedRun();
    void pacedRunFollowsTheWallClock();
    void serialOutputInLines();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_firmware;
};

namespace {

constexpr std::uint64_t ms = 1000000;

// A controller whose time moves in slices of a millisecond to wherever it is asked, doing what
// is scheduled on the way; each slice may cost wall time.
class FakeEngine : public Engine
{
public:
    ~FakeEngine() override
    {
        if (self && *self == this)
            *self = nullptr;
    }
    QString load(const QString &, const QString &, double) override
    {
        m_loaded = true;
        return QString();
    }
    bool isLoaded() const override { return m_loaded; }
    QStringList pins() const override { return {QStringLiteral("PB0"), QStringLiteral("PB1")}; }
    QStringList serialPorts() const override { return {"UART0", "UART1"}; }
    bool runUntil(std::uint64_t untilNs) override
    {
        ++calls;
        while (m_time < untilNs) {
            if (failAtNs && m_time >= failAtNs) {
                m_error = QStringLiteral("The controller crashed.");
                m_firmwareEnded = endsItself;
                return false;
            }
            m_time = std::min(untilNs, m_time + ms);
            if (wall)
                *wall += wallPerSliceNs;
            for (auto it = events.begin(); it != events.end() && it->first <= m_time;)
                it = (it->second(*this), events.erase(it));
        }
        return true;
    }
    std::uint64_t timeNs() const override { return m_time; }
    void reset() override {}
    std::uint64_t answerNs() const override { return answer; }

    std::multimap<std::uint64_t, std::function<void(FakeEngine &)>> events;
    std::uint64_t failAtNs = 0;
    bool endsItself = false; // the stop at failAtNs is the firmware's own
    qint64 *wall = nullptr;
    qint64 wallPerSliceNs = 0;
    std::uint64_t answer = 0; // how long it takes to come back with a run
    int calls = 0;
    FakeEngine **self = nullptr; // a pointer to it that goes with it

private:
    bool m_loaded = false;
    std::uint64_t m_time = 0;
};

struct Rig
{
    qint64 wall = 0;
    FakeEngine *engine = nullptr;
    SimulationRun run{nullptr,
                      [this](const QString &family) -> std::unique_ptr<Engine> {
                          if (family != QLatin1String("F1"))
                              return nullptr;
                          auto made = std::make_unique<FakeEngine>();
                          engine = made.get();
                          engine->wall = &wall;
                          engine->self = &engine;
                          return made;
                      },
                      [this] { return wall; }};

    bool load(const QString &firmware,
              const QString &family = QStringLiteral("F1"),
              bool autorun = false)
    {
        HandOff handOff;
        handOff.program = firmware;
        handOff.family = family;
        handOff.device = QStringLiteral("D1");
        handOff.autorun = autorun;
        return run.load(handOff);
    }
};

} // namespace

void tst_SimulationRun::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_firmware = m_dir->filePath(QStringLiteral("f.hex"));
    QFile(m_firmware).open(QIODevice::WriteOnly);
}

// Flat out, however the engine's slices fall, to the simulated time asked for and no further;
// the trace holds the pins from the start to the end.
void tst_SimulationRun::timedRunEndsAtItsTime()
{
    Rig rig;
    QVERIFY(rig.load(m_firmware));
    // A paced moment first, in which PB1 goes high: the trace starts with it.
    rig.engine->events.insert({ms, [](FakeEngine &e) { e.pinChanged("PB1", true, ms); }});
    rig.run.start();
    rig.wall = ms;
    rig.run.tick();
    rig.run.stop();
    QCOMPARE(rig.run.timeNs(), ms);
    rig.engine->wallPerSliceNs = 3 * ms; // a few slices a turn
    rig.engine->events.insert({2 * ms, [](FakeEngine &e) { e.pinChanged("PB0", true, 2 * ms); }});
    rig.engine->events.insert({7 * ms, [](FakeEngine &e) { e.pinChanged("PB0", false, 7 * ms); }});
    const QString trace = m_dir->filePath(QStringLiteral("t.vcd"));
    rig.run.setTimedRun(0.0105, trace);
    QSignalSpy ended(&rig.run, &SimulationRun::timedRunEnded);
    rig.run.start();
    QVERIFY(rig.run.isRunning());
    QVERIFY(ended.wait(5000));
    QCOMPARE(ended.size(), 1);
    QCOMPARE(ended.at(0).at(0).toBool(), true);
    QCOMPARE(ended.at(0).at(1).value<std::uint64_t>(), std::uint64_t(11500000));
    QCOMPARE(rig.run.timeNs(), std::uint64_t(11500000));
    QVERIFY(!rig.run.isRunning());
    QVERIFY(rig.engine->calls > 1);
    const QByteArray vcd = readFile(trace);
    QVERIFY2(vcd.contains("#1000000\n1\"") && vcd.contains("#2000000\n1!")
                 && vcd.contains("#7000000\n0!") && vcd.endsWith("#11500000\n"),
             vcd.constData());
    QVERIFY(!rig.run.isTimedRunPending());
}

void tst_SimulationRun::failuresEndTheTimedRun_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("problem");
    QTest::newRow("the engine fails") << QString("engine") << QString("The controller crashed.");
    QTest::newRow("stopped") << QString("stop") << QString();
    QTest::newRow("the trace cannot be opened") << QString("trace") << QString("t.vcd");
    addRow("the trace is cut short", QString("full"), QString("could not be written whole"));
    QTest::newRow("no engine for the family")
        << QString("family") << QString("No simulation engine simulates the F9 family");
    addRow("no firmware", QString("firmware"), QString("does not exist: build the project first."));
}

void tst_SimulationRun::failuresEndTheTimedRun()
{
    QFETCH(QString, failure);
    QFETCH(QString, problem);
    Rig rig;
    QSignalSpy problems(&rig.run, &SimulationRun::problem);
    QSignalSpy ended(&rig.run, &SimulationRun::timedRunEnded);
    // As a scripted run comes: the run asked for first, then the firmware.
    rig.run.setTimedRun(1.0,
                        m_dir->filePath(failure == QLatin1String("trace") ? "no/such/t.vcd"
                                                                          : "t.vcd"));
    const bool loads = failure == QLatin1String("family")
                           ? rig.load(m_firmware, QStringLiteral("F9"))
                           : rig.load(failure == QLatin1String("firmware")
                                          ? m_dir->filePath("none.hex")
                                          : m_firmware);
    QCOMPARE(loads, failure != QLatin1String("family") && failure != QLatin1String("firmware"));
    if (rig.engine)
        rig.engine->failAtNs = failure == QLatin1String("engine") ? 4 * ms : 0;
    // A change every millisecond: more than the room a full disk leaves.
    for (std::uint64_t t = ms; rig.engine && t <= 1000 * ms; t += ms)
        rig.engine->events.insert({t, [t](FakeEngine &e) { e.pinChanged("PB0", t / ms % 2, t); }});
    FullDisk full(failure == QLatin1String("full") ? 512 : RLIM_INFINITY);
    rig.run.start();
    if (failure == QLatin1String("stop"))
        rig.run.stop();
    QVERIFY(ended.size() == 1 || ended.wait(5000));
    QCOMPARE(ended.size(), 1);
    QCOMPARE(ended.at(0).at(0).toBool(), false);
    QVERIFY(!rig.run.isRunning());
    QVERIFY(!rig.run.isTimedRunPending());
    const QString said = problems.isEmpty() ? QString() : problems.first().first().toString();
    QVERIFY2(problem.isEmpty() ? said.isEmpty() : said.contains(problem), qPrintable(said));
}

// A firmware not built yet leaves no firmware loaded, not the one loaded before it; unless the
// hand-off asks for a run, that is a notice rather than a problem.
void tst_SimulationRun::firmwareNotBuiltYet()
{
    for (const bool autorun : {false, true}) {
        Rig rig;
        QVERIFY(rig.load(m_firmware));
        QSignalSpy problems(&rig.run, &SimulationRun::problem);
        QSignalSpy notices(&rig.run, &SimulationRun::notice);
        QVERIFY(!rig.load(m_dir->filePath("none.hex"), QStringLiteral("F1"), autorun));
        QVERIFY(!rig.run.isLoaded());
        QCOMPARE(problems.size(), int(autorun));
        QCOMPARE(notices.size(), int(!autorun));
    }
}

// A firmware that stops the controller itself ends a timed run there, as its end.
void tst_SimulationRun::firmwareEndsTheTimedRun()
{
    Rig rig;
    QVERIFY(rig.load(m_firmware));
    rig.engine->failAtNs = 3 * ms;
    rig.engine->endsItself = true;
    QSignalSpy problems(&rig.run, &SimulationRun::problem);
    QSignalSpy ended(&rig.run, &SimulationRun::firmwareEnded);
    QSignalSpy runEnded(&rig.run, &SimulationRun::timedRunEnded);
    rig.run.setTimedRun(1.0, QString());
    rig.run.start();
    QVERIFY(runEnded.wait(5000));
    QCOMPARE(ended.size(), 1);
    QCOMPARE(ended.first().first().value<std::uint64_t>(), 3 * ms);
    QCOMPARE(runEnded.first().at(0).toBool(), true);
    QVERIFY(problems.isEmpty());
}

// Paced, the simulation follows the wall clock; a lag of more than a tenth of a second is
// dropped rather than caught up; a timed run says it is alive about once a second.
void tst_SimulationRun::pacedRunFollowsTheWallClock()
{
    Rig rig;
    QVERIFY(rig.load(m_firmware));
    rig.run.start();
    const auto turnAt = [&](qint64 wallNs) {
        rig.wall = wallNs;
        rig.run.tick();
        return rig.run.timeNs();
    };
    QCOMPARE(turnAt(50 * ms), 50 * ms);
    QCOMPARE(turnAt(50 * ms), 50 * ms);
    QCOMPARE(turnAt(140 * ms), 140 * ms); // 90 ms behind: caught up
    QCOMPARE(turnAt(700 * ms), 140 * ms); // 560 ms behind: dropped
    QCOMPARE(turnAt(720 * ms), 160 * ms); // and paced from there
    rig.engine->wallPerSliceNs = 5 * ms;  // a slow engine: two slices a turn
    QCOMPARE(turnAt(800 * ms), 162 * ms);
    // An engine that takes a quarter second to come back is not dropped for 378 ms behind.
    rig.engine->wallPerSliceNs = 0;
    rig.engine->answer = 250 * ms;
    QCOMPARE(turnAt(1100 * ms), 540 * ms);
    rig.run.stop();

    QSignalSpy alive(&rig.run, &SimulationRun::alive);
    rig.engine->wallPerSliceNs = 100 * ms;
    rig.run.setTimedRun(0.03, QString());
    rig.run.start();
    QSignalSpy ended(&rig.run, &SimulationRun::timedRunEnded);
    QVERIFY(ended.wait(5000));
    QVERIFY2(alive.size() >= 2 && alive.size() <= 3, qPrintable(QString::number(alive.size())));
    QVERIFY(alive.first().first().value<std::uint64_t>() > 162 * ms);
}

// Each port's output in lines; a line left without its end is given once its port has been
// quiet for a quarter of a simulated second, or when the run stops.
void tst_SimulationRun::serialOutputInLines()
{
    Rig rig;
    QVERIFY(rig.load(m_firmware));
    const auto send = [&rig](std::uint64_t at, int port, const QByteArray &bytes) {
        for (const char c : bytes)
            rig.engine->events.insert({at, [port, c](FakeEngine &e) { e.serialOutput(port, c); }});
    };
    send(ms, 0, "ok\r\n> x\n\nlast");
    // Lines without a terminal's escape sequences and other controls but the tab.
    send(ms, 1, "\x1b[1;32mB\x1b(B1\a\b\x9b\x1b[0m\t\n");
    send(100 * ms, 1, "prompt> ");
    // A status line written again and again, then a line without end.
    send(ms, 2, "s1\rs2\r\n\n\rs3\n\r" + QByteArray(1500, 'y'));
    // UTF-8 where the bytes form it, each other byte as Latin-1; a character cut by the
    // length limit goes on in the next line.
    const QByteArray cut(SimulationRun::maxSerialLineBytes - 1, 'z');
    send(ms,
         3,
         "25\xc2\xb0"
         "C\nLatin \xb5s\n\xe2\x82\xac!\n\xc3\n"
             + cut + "\xc3\xa4\n");
    const QString full(SimulationRun::maxSerialLineBytes, QLatin1Char('y'));
    const QString rest(1500 - SimulationRun::maxSerialLineBytes, QLatin1Char('y'));
    QSignalSpy text(&rig.run, &SimulationRun::serialText);
    QSignalSpy lines(&rig.run, &SimulationRun::serialLine);
    const auto said = [&lines] {
        QStringList all;
        for (const QList<QVariant> &line : std::as_const(lines))
            all.append(line.at(0).toString() + QLatin1Char(':') + line.at(1).toString());
        lines.clear();
        return all;
    };
    rig.run.start();
    // Turns every 50 ms of the wall clock: the paced run keeps up.
    const auto turnAt = [&rig](qint64 wallNs) {
        while (rig.wall < wallNs) {
            rig.wall = std::min<qint64>(wallNs, rig.wall + 50 * ms);
            rig.run.tick();
        }
    };
    turnAt(2 * ms);
    QCOMPARE(said(),
             QStringList({"0:ok",
                          "0:> x",
                          "0:",
                          "1:B1\t",
                          "2:s1",
                          "2:s2",
                          "2:",
                          "2:s3",
                          "2:" + full,
                          QStringLiteral("3:25°C"),
                          QStringLiteral("3:Latin µs"),
                          QStringLiteral("3:€!"),
                          QStringLiteral("3:Ã"),
                          "3:" + cut,
                          QStringLiteral("3:ä")}));
    turnAt(250 * ms);
    QCOMPARE(said(), QStringList());
    turnAt(300 * ms);
    QCOMPARE(said(), QStringList({"0:last", "2:" + rest}));
    rig.run.stop();
    QCOMPARE(said(), QStringList({"1:prompt> "}));
    QString shown[4];
    for (const QList<QVariant> &piece : std::as_const(text))
        shown[piece.at(0).toInt()] += piece.at(1).toString();
    QCOMPARE(shown[0], QStringLiteral("ok\r\n> x\n\nlast"));
    QCOMPARE(shown[3], QStringLiteral("25°C\nLatin µs\n€!\nÃ\n") + cut + QStringLiteral("ä\n"));
}

QTEST_GUILESS_MAIN(tst_SimulationRun)
#include "tst_simulationrun.moc"
