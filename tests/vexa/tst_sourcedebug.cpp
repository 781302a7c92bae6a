// Source-level debugging of real firmware built by the real compiler: breakpoints, stepping by
// lines, stepping out, running to a line, and the values of variables and registers, through
// the debugger attached to the simulation; and the protocol the simulation answers it in.
#include "channel/vexachannel.h"
#include "common/datarows.h"
#include "common/testfiles.h"
#include "vexa/debuggerpanel.h"
#include "vexa/gdbdebugger.h"
#include "vexa/gdbmi.h"
#include "vexa/gdbremotestub.h"
#include "vexa/inlinecalls.h"
#include "vexa/linetable.h"
#include "vexa/mcsdebugger.h"
#include "vexa/simulationrun.h"
#include "vexa/ucsimengine.h"
#include "vexa/vexawindow.h"

#include <QAction>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTreeWidget>

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

namespace {

// Line numbers below are those of this text.
const char avrSource[] = R"(#include <avr/io.h>

volatile unsigned int counter = 7;

__attribute__((noinline)) static int twice(int value)
{
    int result = value * 2;
    PORTB = result;
    return result;
}

int main(void)
{
    DDRB = 0xff;
    int total = 0;
    for (;;) {
        total += twice(counter);
        counter++;
        PORTB = total;
    }
}
)";
constexpr int lineInTwice = 7;
constexpr int lineOfCall = 17;
constexpr int lineAfterCall = 18;
constexpr int lineOfPort = 19;

} // namespace

class tst_SourceDebug : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void miRecords();
    void remoteProtocol();
    void avrBreakStepAndValues();
    void avrLineOfABuiltInCall();
    void windowDebugsAndSaysWhenItCannot();
    void picBreakStepAndValues();
    void mcsBreakStepAndValues();
    void picAssembledAlone();
    void cTypeValues_data();
    void cTypeValues();

private:
    QTemporaryDir m_dir;
    QString m_source;
    QString m_hex;
};

void tst_SourceDebug::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_source = m_dir.filePath(QStringLiteral("main.c"));
    // A comment in ISO 8859-1 at its end, as an old editor writes it.
    QVERIFY(writeFile(m_source, QByteArray(avrSource) + "/* caf\xe9 */\n"));
    m_hex = m_dir.filePath(QStringLiteral("firmware.hex"));
    // As the shipped Debug configuration builds.
    const QString built = shellIn(m_dir.path(),
                                  QStringLiteral("avr-gcc -mmcu=atmega328p -Og -g main.c -o "
                                                 "firmware.elf && avr-objcopy -O ihex "
                                                 "firmware.elf firmware.hex"));
    QVERIFY2(built.isEmpty(), qPrintable(built));
    QVERIFY2(!GdbDebugger::program().isEmpty(), "avr-gdb (package gdb-avr) is needed");
}

void tst_SourceDebug::miRecords()
{
    const MiRecord stop = MiRecord::parse(
        "*stopped,reason=\"breakpoint-hit\",bkptno=\"1\",frame={addr=\"0x000000a2\","
        "func=\"twice\",args=[{name=\"value\",value=\"7\"}],file=\"main.c\","
        "fullname=\"/tmp/a \\\"b\\\"/main.c\",line=\"7\"},thread-id=\"1\"\n");
    QCOMPARE(stop.kind, MiRecord::Exec);
    QCOMPARE(stop.recordClass, QStringLiteral("stopped"));
    QCOMPARE(stop.value(QStringLiteral("frame.fullname")), QStringLiteral("/tmp/a \"b\"/main.c"));
    QCOMPARE(stop.value(QStringLiteral("frame.line")), QStringLiteral("7"));
    const QVariantList args
        = stop.results.value(QStringLiteral("frame")).toMap().value(QStringLiteral("args")).toList();
    QCOMPARE(Mi::valueAt(args.value(0), QStringLiteral("value")), QStringLiteral("7"));
    const MiRecord stack = MiRecord::parse(
        "12^done,stack=[frame={level=\"0\",func=\"twice\"},frame={level=\"1\",func=\"main\"}]");
    QCOMPARE(stack.token, 12);
    QCOMPARE(stack.kind, MiRecord::Result);
    QCOMPARE(stack.results.value(QStringLiteral("stack")).toList().size(), 2);
    QCOMPARE(Mi::valueAt(stack.results.value(QStringLiteral("stack")).toList().at(1),
                         QStringLiteral("func")),
             QStringLiteral("main"));
    const MiRecord console = MiRecord::parse("~\"tab\\there \\303\\251\\n\"");
    QCOMPARE(console.kind, MiRecord::Console);
    QCOMPARE(console.text, QStringLiteral("tab\there \u00e9\n"));
    QCOMPARE(Mi::quoted(QStringLiteral("a\"b\\c")), QStringLiteral("\"a\\\"b\\\\c\""));
}

void tst_SourceDebug::remoteProtocol()
{
    SimulationRun run;
    HandOff handOff;
    handOff.program = m_hex;
    handOff.device = QStringLiteral("ATMEGA328P");
    handOff.family = QStringLiteral("AVR");
    handOff.clock = QStringLiteral("16MHz");
    QVERIFY(run.load(handOff));
    GdbRemoteStub stub(run);
    // r0..r31, SREG, SP, PC: 39 bytes; after reset the PC is 0 and SP is at the top of SRAM.
    const QByteArray registers = QByteArray::fromHex(stub.answer("g"));
    QCOMPARE(registers.size(), 39);
    QCOMPARE(QByteArray::fromHex(stub.answer("p22")), QByteArray(4, '\0'));
    // Flash at 0 holds the reset vector's jump (0x940c, little-endian).
    QCOMPARE(stub.answer("m0,2"), QByteArray("0c94"));
    // Data memory from 0x800000: what is written reads back, in SRAM and in r1.
    QCOMPARE(stub.answer("M800200,2:abcd"), QByteArray("OK"));
    QCOMPARE(stub.answer("m800200,2"), QByteArray("abcd"));
    QCOMPARE(stub.answer("P1=5a"), QByteArray("OK"));
    QCOMPARE(stub.answer("m800001,1"), QByteArray("5a"));
    // Out of range, malformed, and not offered.
    QCOMPARE(stub.answer("m900000,4"), QByteArray("E01"));
    QCOMPARE(stub.answer("mzz"), QByteArray("E01"));
    QCOMPARE(stub.answer("P99=00"), QByteArray("E01"));
    QCOMPARE(stub.answer("Z2,800200,1"), QByteArray());
    // A breakpoint stops the run before the instruction there: the reset vector's jump target.
    Engine *engine = run.engine();
    const QByteArray jump = QByteArray::fromHex(stub.answer("m2,2"));
    const QByteArray target
        = QByteArray::number((std::uint8_t(jump.at(0)) | std::uint8_t(jump.at(1)) << 8) * 2, 16);
    QCOMPARE(stub.answer("Z0," + target + ",2"), QByteArray("OK"));
    engine->runUntil(1000000);
    QVERIFY(engine->stoppedForDebugger());
    const QByteArray pc = QByteArray::fromHex(stub.answer("p22"));
    QCOMPARE(std::uint8_t(pc.at(0)) | std::uint8_t(pc.at(1)) << 8, int(target.toUInt(nullptr, 16)));
    QCOMPARE(stub.answer("z0," + target + ",2"), QByteArray("OK"));
    QVERIFY(engine->runUntil(1000000));
    QVERIFY(!engine->stoppedForDebugger());
}

// A firmware built by the shell commands in a project folder of its own (with a Debug
// folder for the outputs), loaded on its family's engine with the family's debugger.
struct DebuggedFirmware
{
    SimulationRun run;
    HandOff handOff;
    QString source;
    std::unique_ptr<SourceDebugger> debugger;
    std::unique_ptr<QSignalSpy> stops;
    QStringList messages;

    // Empty when it is ready, else what went wrong. The controller is "family device clock".
    QString prepare(const QString &controller,
                    const QString &project,
                    const QString &file,
                    const char *text,
                    const QString &commands)
    {
        handOff.family = controller.section(QLatin1Char(' '), 0, 0);
        handOff.device = controller.section(QLatin1Char(' '), 1, 1);
        handOff.clock = controller.section(QLatin1Char(' '), 2, 2);
        source = project + QLatin1Char('/') + file;
        if (!QDir().mkpath(project + QStringLiteral("/Debug")) || !writeFile(source, text))
            return QStringLiteral("cannot write ") + source;
        if (const QString problem = shellIn(project, commands); !problem.isEmpty())
            return problem;
        handOff.program = project + QStringLiteral("/Debug/Debug.hex");
        if (!run.load(handOff))
            return QStringLiteral("the firmware does not load");
        debugger = SourceDebugger::forFamily(handOff.family, run);
        if (!debugger)
            return QStringLiteral("no debugger for ") + handOff.family;
        stops = std::make_unique<QSignalSpy>(debugger.get(), &SourceDebugger::stopped);
        QObject::connect(debugger.get(), &SourceDebugger::message, [this](const QString &text) {
            messages.append(text);
        });
        return QString();
    }

    // What a command leads to: the stop after it (some stop at once, before they return).
    DebugStop after(const std::function<void()> &command)
    {
        const qsizetype before = stops->size();
        command();
        if (!QTest::qWaitFor([&] { return stops->size() > before; }, 30000))
            return DebugStop();
        return stops->last().first().value<DebugStop>();
    }
};

void tst_SourceDebug::avrBreakStepAndValues()
{
    DebuggedFirmware f;
    const QString problem = f.prepare(QStringLiteral("AVR ATMEGA328P 16MHz"),
                                      m_dir.filePath(QStringLiteral("avr")),
                                      QStringLiteral("main.c"),
                                      avrSource,
                                      QStringLiteral("avr-gcc -mmcu=atmega328p -Og -g main.c -o "
                                                     "Debug/firmware.elf && avr-objcopy -O ihex "
                                                     "Debug/firmware.elf Debug/Debug.hex"));
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    SourceDebugger &debugger = *f.debugger;
    const QString &source = f.source;
    SimulationRun &run = f.run;
    debugger.setWatchedGlobals({QStringLiteral("counter")});
    debugger.setMemoryView(QStringLiteral("&counter"), 2);
    QString error;
    // The breakpoint in the function is hit at its line, called from main, with the argument
    // and the global as they are.
    DebugStop stop = f.after([&] {
        QVERIFY2(debugger.start(f.handOff.program, {{source, lineInTwice}}, true, &error),
                 qPrintable(error));
    });
    QCOMPARE(stop.reason, QStringLiteral("breakpoint-hit"));
    QCOMPARE(stop.where.file, source);
    QCOMPARE(stop.where.line, lineInTwice);
    QCOMPARE(stop.where.function, QStringLiteral("twice"));
    QCOMPARE(stop.frames.size(), 2);
    QCOMPARE(stop.frames.at(1).function, QStringLiteral("main"));
    QCOMPARE(stop.frames.at(1).line, lineOfCall);
    QCOMPARE(stop.locals.value(0).name, QStringLiteral("value"));
    QCOMPARE(stop.locals.value(0).value, QStringLiteral("7"));
    QCOMPARE(stop.globals.value(0).value, QStringLiteral("7"));
    QCOMPARE(stop.memory, QByteArray("\x07\x00", 2));
    QVERIFY(run.isRunning() == false);
    QVERIFY(!stop.registers.isEmpty());
    QCOMPARE(stop.registers.first().name, QStringLiteral("r0"));

    // Step Out returns to the caller's line.
    stop = f.after([&] { debugger.stepOut(); });
    QCOMPARE(stop.where.function, QStringLiteral("main"));
    QCOMPARE(stop.where.line, lineOfCall);

    // Without breakpoints, a step over the call lands on the next line, and the next step
    // over changes the global: it is marked as changed, the memory byte too.
    debugger.setBreakpoints({});
    stop = f.after([&] { debugger.stepOver(); });
    QCOMPARE(stop.where.line, lineAfterCall);
    stop = f.after([&] { debugger.stepOver(); });
    QCOMPARE(stop.where.line, lineOfPort);
    QCOMPARE(stop.globals.value(0).value, QStringLiteral("8"));
    QVERIFY(stop.globals.value(0).changed);
    QCOMPARE(stop.changedBytes, QList<int>{0});
    QVERIFY(!stop.again);
    // Asked for again (a variable watched): the same stop, with the same marks.
    stop = f.after([&] { debugger.refresh(); });
    QVERIFY(stop.again);
    QCOMPARE(stop.where.line, lineOfPort);
    QVERIFY(stop.globals.value(0).changed);
    QCOMPARE(stop.changedBytes, QList<int>{0});
    // total = 14 now: a local of main with its true value.
    bool totalSeen = false;
    for (const DebugValue &local : std::as_const(stop.locals)) {
        if (local.name == QLatin1String("total")) {
            QCOMPARE(local.value, QStringLiteral("14"));
            totalSeen = true;
        }
    }
    QVERIFY2(totalSeen, "the local variable total is listed");

    // Step Into enters the function; Run to Cursor stops at the line asked for.
    stop = f.after([&] { debugger.stepOver(); });
    QCOMPARE(stop.where.line, lineOfCall);
    stop = f.after([&] { debugger.stepInto(); });
    QCOMPARE(stop.where.function, QStringLiteral("twice"));
    stop = f.after([&] { debugger.runTo(source, lineOfPort); });
    QCOMPARE(stop.where.line, lineOfPort);
    QCOMPARE(stop.globals.value(0).value, QStringLiteral("9"));

    // A breakpoint set while the firmware runs is taken at once; Pause stops it anywhere.
    debugger.resume();
    QTRY_VERIFY(run.isRunning());
    stop = f.after([&] { debugger.setBreakpoints({{source, lineAfterCall}}); });
    QCOMPARE(stop.where.line, lineAfterCall);
    debugger.setBreakpoints({});
    debugger.resume();
    QTRY_VERIFY(run.isRunning());
    stop = f.after([&] { debugger.pause(); });
    QVERIFY(!run.isRunning());
    QVERIFY2(f.messages.isEmpty(), qPrintable(f.messages.join(QLatin1Char('\n'))));
}

// Line numbers are those of this text: line 9's only code is the library's delay, built into
// main, which the line table gives to the library's header.
static const char delaySource[] = R"(#include <avr/io.h>
#include <util/delay.h>

int main(void)
{
    DDRB = 0xff;
    for (;;) {
        PORTB ^= 1;
        _delay_ms(500);
    }
}
)";

// A breakpoint and Run to Cursor at the line of the delay stop there, before the delay; a
// step from there goes into it or over it.
void tst_SourceDebug::avrLineOfABuiltInCall()
{
    DebuggedFirmware f;
    const QString project = m_dir.filePath(QStringLiteral("delay"));
    const QString problem = f.prepare(QStringLiteral("AVR ATMEGA328P 16MHz"),
                                      project,
                                      QStringLiteral("main.c"),
                                      delaySource,
                                      QStringLiteral("avr-gcc -mmcu=atmega328p -DF_CPU=16000000UL "
                                                     "-Og -gdwarf-4 main.c -o Debug/Debug.elf && "
                                                     "avr-objcopy -O ihex Debug/Debug.elf "
                                                     "Debug/Debug.hex"));
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    const QByteArray elf = readFile(project + QStringLiteral("/Debug/Debug.elf"));
    const QList<InlineCall> calls = InlineCalls::read(elf);
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls.first().file, f.source);
    QCOMPARE(calls.first().line, 9);
    // Cut short anywhere, the file gives what it still holds, and is read within its bytes.
    for (const qsizetype size : {0, 5, 52, 300, int(elf.size() / 2), int(elf.size() - 1)})
        QVERIFY(InlineCalls::read(elf.left(size)).size() <= 1);

    SourceDebugger &debugger = *f.debugger;
    QString error;
    DebugStop stop = f.after([&] {
        QVERIFY2(debugger.start(f.handOff.program, {{f.source, 9}, {f.source, 11}}, true, &error),
                 qPrintable(error));
    });
    QCOMPARE(stop.reason, QStringLiteral("breakpoint-hit"));
    QCOMPARE(stop.where.file, f.source);
    QCOMPARE(stop.where.line, 9);
    QCOMPARE(stop.where.function, QStringLiteral("main"));
    QCOMPARE(stop.frames.size(), 1);
    // The closing brace has no code and calls nothing: refused, with the debugger's reason.
    QCOMPARE(f.messages.size(), 1);
    QVERIFY2(f.messages.first().contains(QStringLiteral("line 11: No line 11")),
             qPrintable(f.messages.first()));
    // Into the delay, and over the rest of it.
    stop = f.after([&] { debugger.stepInto(); });
    QCOMPARE(stop.where.function, QStringLiteral("_delay_ms"));
    QVERIFY(stop.where.file.endsWith(QLatin1String("/util/delay.h")));
    QCOMPARE(stop.frames.size(), 2);
    QVERIFY(!stop.again); // a stop of its own, which the IDE is told of
    stop = f.after([&] { debugger.stepOver(); });
    QCOMPARE(stop.where.line, 8);
    debugger.setBreakpoints({});
    stop = f.after([&] { debugger.runTo(f.source, 9); });
    QCOMPARE(stop.where.line, 9);
    QCOMPARE(stop.where.function, QStringLiteral("main"));
    stop = f.after([&] { debugger.runTo(f.source, 8); });
    QCOMPARE(stop.where.line, 8);
    // Paused before the run is on its way (the breakpoints go first): it stays where it was.
    debugger.setBreakpoints({{f.source, 9}});
    debugger.resume();
    stop = f.after([&] { debugger.pause(); });
    QCOMPARE(stop.where.line, 8);
    QTest::qWait(300);
    QVERIFY(debugger.isPaused() && !f.run.isRunning());
}

// The value shown in the window's tree under a group ("Locals"...), by name.
static QString shownValue(const DebuggerPanel &panel, const QString &group, const QString &name)
{
    const QTreeWidget *tree = panel.values();
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *top = tree->topLevelItem(i);
        for (int j = 0; top->text(0) == group && j < top->childCount(); ++j) {
            if (top->child(j)->text(0) == name)
                return top->child(j)->text(1);
        }
    }
    return QStringLiteral("<none>");
}

void tst_SourceDebug::windowDebugsAndSaysWhenItCannot()
{
    const QString handOff = m_dir.filePath(QStringLiteral("tandel.ini"));
    QVERIFY(writeHandOff(handOff,
                         m_dir.filePath(QStringLiteral("board.DSN")),
                         m_hex,
                         QStringLiteral("AVR ATMEGA328P 16MHz"),
                         false));
    VexaWindow window(handOff);
    DebuggerPanel *panel = window.debuggerPanel();
    const auto command = [panel](const QString &text) {
        for (QAction *action : panel->commands()) {
            if (action->text() == text)
                return action;
        }
        return static_cast<QAction *>(nullptr);
    };
    QTRY_VERIFY(window.debugger() && window.debugger()->isPaused());
    // The IDE's end of the channel, which hears what the window tells it.
    VexaChannelServer server;
    QVERIFY(server.listen(QCoreApplication::applicationPid()));
    window.setChannel(&server);
    const std::shared_ptr<void> unset(nullptr, [&](void *) { window.setChannel(nullptr); });
    QLocalSocket ide;
    ide.connectToServer(VexaChannel::serverPath(QCoreApplication::applicationPid()));
    QVERIFY(ide.waitForConnected(5000));
    QByteArray heard;
    connect(&ide, &QLocalSocket::readyRead, [&] { heard += ide.readAll(); });
    ide.write("WATCH\n");
    QTRY_VERIFY(!heard.isEmpty());
    // Held at the start as it was attached, which the IDE was not told of (its F5 and F10
    // still open and start): a Reset holds it there again, untold too.
    for (QAction *action : window.findChildren<QAction *>()) {
        if (action->text() == QLatin1String("Reset"))
            action->trigger();
    }
    QTRY_VERIFY(window.debugger() && window.debugger()->isPaused());
    QTest::qWait(200);
    QVERIFY2(!heard.contains("STOPPED"), heard.constData());
    // Held at the start, where the firmware has no source: a step goes through the library's
    // start-up code to main, and no further.
    QTRY_VERIFY(panel->locationText().contains(QStringLiteral("in __vectors.")));
    const auto *messages = child<QPlainTextEdit>(window, "messages");
    // Step Out has no caller to go to there: refused, said, and shown where it stands.
    command(QStringLiteral("Step Out"))->trigger();
    QTRY_VERIFY(messages->toPlainText().contains(QStringLiteral("outermost")));
    QTRY_VERIFY(command(QStringLiteral("Step Into"))->isEnabled());
    QTRY_VERIFY2(panel->locationText().contains(QStringLiteral("in __vectors.")),
                 qPrintable(panel->locationText()));
    const QString said = messages->toPlainText();
    command(QStringLiteral("Step Into"))->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(panel->locationText().contains(QStringLiteral(" in main, main.c")),
                             20000);
    QCOMPARE(messages->toPlainText(), said);
    window.setBreakpoints({{m_source, lineInTwice}});
    window.run();
    QTRY_VERIFY_WITH_TIMEOUT(panel->locationText().contains(QStringLiteral("line 7")), 10000);
    QVERIFY(panel->locationText().contains(QStringLiteral("in twice")));
    QCOMPARE(shownValue(*panel, QStringLiteral("Locals"), QStringLiteral("value")),
             QStringLiteral("7"));
    // The window's source view marks the line, and its cursor is where Run to Cursor goes.
    const auto *source = child<QPlainTextEdit>(panel, "debugSource");
    QCOMPARE(source->textCursor().blockNumber() + 1, lineInTwice);
    QVERIFY(source->toPlainText().endsWith(QStringLiteral("/* caf\u00e9 */\n")));
    QVERIFY(!window.isRunning());
    // Step Out from the window's own command, then Continue comes back to the breakpoint with
    // the global one up.
    QVERIFY(command(QStringLiteral("Step Out"))->isEnabled());
    QVERIFY(!command(QStringLiteral("Pause"))->isEnabled());
    command(QStringLiteral("Step Out"))->trigger();
    QTRY_VERIFY(panel->locationText().contains(QStringLiteral("line 17")));
    child<QLineEdit>(panel, "watchEdit")->setText(QStringLiteral("counter"));
    QTest::keyClick(child<QLineEdit>(panel, "watchEdit"), Qt::Key_Return);
    QTRY_COMPARE(shownValue(*panel, QStringLiteral("Globals"), QStringLiteral("counter")),
                 QStringLiteral("7"));
    // The groups of values stay open or closed as left: the registers opened, the locals
    // closed.
    const auto groupNamed = [panel](const QString &title) {
        const QList<QTreeWidgetItem *> found = panel->values()->findItems(title, Qt::MatchExactly);
        return found.value(0);
    };
    groupNamed(QStringLiteral("Registers"))->setExpanded(true);
    groupNamed(QStringLiteral("Locals"))->setExpanded(false);
    command(QStringLiteral("Continue"))->trigger();
    QTRY_COMPARE(shownValue(*panel, QStringLiteral("Globals"), QStringLiteral("counter")),
                 QStringLiteral("8"));
    QVERIFY(groupNamed(QStringLiteral("Registers"))->isExpanded());
    QVERIFY(!groupNamed(QStringLiteral("Locals"))->isExpanded());
    QVERIFY(groupNamed(QStringLiteral("Globals"))->isExpanded());
    QVERIFY(panel->locationText().contains(QStringLiteral("line 7")));
    // The debugging commands by name, as the IDE sends them.
    QVERIFY(window.debugCommand(QStringLiteral("to"),
                                QStringLiteral("%1 %2").arg(lineOfPort).arg(m_source)));
    QTRY_VERIFY(panel->locationText().contains(QStringLiteral("line 19")));
    QVERIFY(!window.debugCommand(QStringLiteral("sideways"), QString()));
    // Refused (main has no caller to step out to): the IDE, told that the firmware ran, is
    // told that it stands where it stopped.
    QTRY_VERIFY(heard.endsWith(
        QStringLiteral("NOTE STOPPED %1 %2\n").arg(lineOfPort).arg(m_source).toUtf8()));
    command(QStringLiteral("Step Out"))->trigger();
    QTRY_COMPARE(messages->toPlainText().count(QStringLiteral("outermost")), 2);
    QTRY_VERIFY2(heard.endsWith(QStringLiteral("outermost frame.\nNOTE STOPPED %1 %2\n")
                                    .arg(lineOfPort)
                                    .arg(m_source)
                                    .toUtf8()),
                 heard.constData());
    // Reset while paused: the debugger holds the firmware at its start again, and a step
    // goes from there. The IDE, told of the stop before, is told of that one, where there is
    // no source to mark, so that its commands go on from there.
    for (QAction *action : window.findChildren<QAction *>()) {
        if (action->text() == QLatin1String("Reset"))
            action->trigger();
    }
    QTRY_VERIFY2(panel->locationText().contains(QStringLiteral("in __vectors.")),
                 qPrintable(panel->locationText()));
    QTRY_VERIFY2(heard.endsWith("NOTE RUNNING \nNOTE STOPPED 0 \n"), heard.constData());
    command(QStringLiteral("Step Into"))->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(panel->locationText().contains(QStringLiteral(" in main, main.c")),
                             20000);
    // The firmware handed over again (built again) keeps what is watched, and the memory view.
    child<QLineEdit>(panel, "memoryAddress")->setText(QStringLiteral("&counter"));
    QTest::keyClick(child<QLineEdit>(panel, "memoryAddress"), Qt::Key_Return);
    window.reloadHandOff();
    QTRY_VERIFY(window.debugger() && window.debugger()->isPaused());
    QTRY_VERIFY(panel->locationText().contains(QStringLiteral("in __vectors.")));
    QCOMPARE(shownValue(*panel, QStringLiteral("Globals"), QStringLiteral("counter")),
             QStringLiteral("0")); // not set up yet
    QVERIFY(!child<QTextEdit>(panel, "memoryView")->toPlainText().isEmpty());
    // An address that cannot be read says so where the memory would be.
    child<QLineEdit>(panel, "memoryAddress")->setText(QStringLiteral("&nothing"));
    QTest::keyClick(child<QLineEdit>(panel, "memoryAddress"), Qt::Key_Return);
    QTRY_COMPARE(child<QTextEdit>(panel, "memoryView")->toPlainText(),
                 QStringLiteral("The memory at &nothing cannot be read."));

    // Without debugging information (built as a Release configuration builds: the C
    // library's description of the controller brings a line table without files) the window
    // says so and runs as ever.
    const QString plainElf = m_dir.filePath(QStringLiteral("plain.elf"));
    QVERIFY(
        writeFile(m_dir.filePath(QStringLiteral("plain.c")), "int main(void) { for (;;) {} }\n"));
    QCOMPARE(shellIn(m_dir.path(),
                     QStringLiteral("avr-gcc -mmcu=atmega328p -Os plain.c -o plain.elf && "
                                    "avr-objcopy -O ihex plain.elf plain.hex")),
             QString());
    QVERIFY(writeHandOff(handOff,
                         m_dir.filePath(QStringLiteral("board.DSN")),
                         m_dir.filePath(QStringLiteral("plain.hex")),
                         QStringLiteral("AVR ATMEGA328P 16MHz"),
                         true));
    window.reloadHandOff();
    QVERIFY(!window.debugger());
    QVERIFY(window.isRunning());
    QVERIFY2(messages->toPlainText().contains(QStringLiteral("plain.elf was built without it")),
             qPrintable(messages->toPlainText()));
    QFile::remove(plainElf);
    window.reloadHandOff();
    QVERIFY(messages->toPlainText().contains(QStringLiteral("plain.elf is missing")));
    QVERIFY(window.isRunning());
    // A FIFO in its place, as an archive can hold one, is no ELF file: it is not waited on.
    QCOMPARE(::mkfifo(QFile::encodeName(plainElf).constData(), 0600), 0);
    window.reloadHandOff();
    QVERIFY(messages->toPlainText().contains(QStringLiteral("plain.elf does not hold")));
}

// The window holds a firmware it was handed without a run at its start, and says where.
static void heldAtStartInWindow(const DebuggedFirmware &f)
{
    const QString folder = QFileInfo(f.source).absolutePath();
    const QString handOff = folder + QStringLiteral("/tandel.ini");
    QVERIFY(writeHandOff(handOff,
                         folder + QStringLiteral("/board.DSN"),
                         f.handOff.program,
                         QStringList{f.handOff.family, f.handOff.device, f.handOff.clock}.join(' '),
                         false));
    VexaWindow window(handOff);
    QTRY_VERIFY(window.debugger() && window.debugger()->isPaused());
    const DebuggerPanel *panel = window.debuggerPanel();
    QVERIFY2(panel->locationText().startsWith(QStringLiteral("Stopped at 0x0000")),
             qPrintable(panel->locationText()));
    QCOMPARE(panel->values()->topLevelItem(0)->text(0), QStringLiteral("Call Stack"));
    QVERIFY(!window.isRunning());
    // A step on, and Reset: held at the start again.
    const QString held = panel->locationText();
    for (QAction *action : panel->commands()) {
        if (action->text() == QLatin1String("Step Into"))
            action->trigger();
    }
    QTRY_VERIFY_WITH_TIMEOUT(panel->locationText() != held
                                 && panel->locationText().startsWith(QStringLiteral("Stopped")),
                             20000);
    for (QAction *action : window.findChildren<QAction *>()) {
        if (action->text() == QLatin1String("Reset"))
            action->trigger();
    }
    QTRY_COMPARE(panel->locationText(), held);
    // Held before the window is shown: the line is in the middle of the source view once it
    // is, as after any stop.
    const auto *source = child<QPlainTextEdit>(panel, "debugSource");
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const int lineHeight = source->fontMetrics().lineSpacing();
    QTRY_VERIFY2(source->toPlainText().isEmpty()
                     || std::abs(source->cursorRect().center().y()
                                 - source->viewport()->height() / 2)
                            <= lineHeight,
                 qPrintable(QStringLiteral("line %1 at %2 of %3")
                                .arg(source->textCursor().blockNumber() + 1)
                                .arg(source->cursorRect().center().y())
                                .arg(source->viewport()->height())));
}

// The line numbers are those of this text. The routine takes longer than a run's slice.
static const char picSource[] = R"(        #include <p16f877a.inc>
        global  counter
VARS    UDATA
counter res 1
total   res 1
RESET_VECTOR    CODE    0x0000
        goto    start
MAIN    CODE
start:
        banksel counter
        clrf    counter
        clrf    total
loop:
        incf    counter, f
        call    bump
        movf    total, w
        goto    loop
bump:
        movlw   2
        addwf   total, f
        clrf    0x71
spin:
        decfsz  0x70, f
        goto    spin
        decfsz  0x71, f
        goto    spin
        return
        END
)";

// As the shipped Debug configuration builds: relocatable objects linked with a map, the
// sources named relative to the project's folder.
void tst_SourceDebug::picBreakStepAndValues()
{
    DebuggedFirmware f;
    const QString problem = f.prepare(QStringLiteral("PIC16 PIC16F877A 4MHz"),
                                      m_dir.filePath(QStringLiteral("pic")),
                                      QStringLiteral("main.asm"),
                                      picSource,
                                      QStringLiteral("gpasm -c -p p16f877a -o Debug/main.o "
                                                     "main.asm && gplink -O 0 -m -o "
                                                     "Debug/Debug.hex Debug/main.o"));
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    SourceDebugger &d = *f.debugger;
    const QString &source = f.source;
    d.setWatchedGlobals(
        {QStringLiteral("counter"), QStringLiteral("total"), QStringLiteral("TRISB")});
    d.setMemoryView(QStringLiteral("counter"), 2);
    QString error;
    DebugStop stop = f.after([&] {
        QVERIFY2(d.start(f.handOff.program, {{source, 15}}, true, &error), qPrintable(error));
    });
    QCOMPARE(stop.reason, QStringLiteral("breakpoint-hit"));
    QCOMPARE(stop.where.file, source);
    QCOMPARE(stop.where.line, 15);
    QCOMPARE(stop.where.function, QStringLiteral("loop"));
    QCOMPARE(stop.globals.value(0).value, QStringLiteral("0x01 (1)"));
    // A register by the name of the controller's include file: all inputs since the reset.
    QCOMPARE(stop.globals.value(2).value, QStringLiteral("0xff (255)"));
    QCOMPARE(stop.memory, QByteArray("\x01\x00", 2));
    QCOMPARE(stop.registers.value(0).name, QStringLiteral("W"));

    // Over the call: the next line, with the register the routine changed marked.
    stop = f.after([&] { d.stepOver(); });
    QCOMPARE(stop.where.line, 16);
    QCOMPARE(stop.globals.value(1).value, QStringLiteral("0x02 (2)"));
    QVERIFY(stop.globals.value(1).changed);
    QCOMPARE(stop.changedBytes, QList<int>{1});
    stop = f.after([&] { d.refresh(); }); // asked for again: the same marks
    QVERIFY(stop.again && stop.globals.value(1).changed);
    QCOMPARE(stop.changedBytes, QList<int>{1});
    stop = f.after([&] { d.resume(); });
    QVERIFY(!stop.again);
    QCOMPARE(stop.where.line, 15);
    QCOMPARE(stop.globals.value(0).value, QStringLiteral("0x02 (2)"));
    // Into the routine, and out again to the line after the call.
    stop = f.after([&] { d.stepInto(); });
    QCOMPARE(stop.where.line, 19);
    QCOMPARE(stop.where.function, QStringLiteral("bump"));
    QCOMPARE(f.after([&] { d.stepInto(); }).where.line, 20);
    stop = f.after([&] { d.stepOut(); });
    QCOMPARE(stop.where.line, 16);
    QCOMPARE(stop.globals.value(1).value, QStringLiteral("0x04 (4)"));
    // Run to Cursor, and Pause of a free run.
    stop = f.after([&] { d.runTo(source, 14); });
    QCOMPARE(stop.reason, QStringLiteral("location-reached"));
    QCOMPARE(stop.where.line, 14);
    d.setBreakpoints({});
    d.resume();
    QTRY_VERIFY(f.run.isRunning());
    QTest::qWait(50);
    stop = f.after([&] { d.pause(); });
    QCOMPARE(stop.reason, QStringLiteral("signal-received"));
    QVERIFY(!f.run.isRunning());
    // A line without code takes the next line's; one beyond the code is refused.
    d.setBreakpoints({{source, 13}, {source, 40}});
    QCOMPARE(f.messages.size(), 1);
    QVERIFY(f.messages.first().contains(QStringLiteral("line 40")));
    // Said once, however often the list comes again.
    d.setBreakpoints({{source, 13}, {source, 40}});
    QCOMPARE(f.messages.size(), 1);
    QCOMPARE(f.after([&] { d.resume(); }).where.line, 14);
    heldAtStartInWindow(f);
}

static const char mcsSource[] = R"(#include <8052.h>
struct point { int x; unsigned char y; char name[3]; unsigned char low:3, high:5; } where = {-3, 2, "ab", 5, 20}, pair[2];
volatile unsigned char counter = 7; __xdata unsigned char seen, after;
unsigned int total; __bit spare, flag;
__code const unsigned char steps[2] = {3, 250}; unsigned char mix(unsigned char a, unsigned char b) __reentrant;
unsigned char twice(unsigned char value)
{   static __bit odd;
    volatile unsigned char result = value * 2, again = value; odd = value & 1;
    P1 = result + again;
    return result;
}

void main(void)
{
    for (;;) {
        total += twice(counter);
        counter++; flag = 1; seen = counter;
        P2 = total + mix(counter, 3);
    }
}
unsigned char mix(unsigned char a, unsigned char b) __reentrant
{
    volatile unsigned char t = a + b;
    return t * 2;
}
)";

// As the shipped Debug configuration builds: with --debug, named after the configuration.
void tst_SourceDebug::mcsBreakStepAndValues()
{
    DebuggedFirmware f;
    const QString problem = f.prepare(QStringLiteral("MCS51 AT89S52 11.0592MHz"),
                                      m_dir.filePath(QStringLiteral("mcs")),
                                      QStringLiteral("main.c"),
                                      mcsSource,
                                      QStringLiteral("sdcc -mmcs51 --debug -c main.c -o "
                                                     "Debug/main.rel && sdcc -mmcs51 --debug "
                                                     "Debug/main.rel -o Debug/Debug.hex"));
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    SourceDebugger &d = *f.debugger;
    const QString &source = f.source;
    d.setWatchedGlobals({QStringLiteral("counter"),
                         QStringLiteral("total"),
                         QStringLiteral("flag"),
                         QStringLiteral("nothing"),
                         QStringLiteral("steps"),
                         QStringLiteral("P1"),
                         QStringLiteral("P1_2"),
                         QStringLiteral("where"),
                         QStringLiteral("pair"),
                         QStringLiteral("where.name"),
                         QStringLiteral("pair[1].y"),
                         QStringLiteral("where . high"),
                         QStringLiteral("steps[1]"),
                         QStringLiteral("pair[2]"),
                         QStringLiteral("where.z")});
    d.setMemoryView(QStringLiteral("&total"), 2);
    QString error;
    // In the function: the local in memory and the globals with their values in C.
    DebugStop stop = f.after([&] {
        QVERIFY2(d.start(f.handOff.program, {{source, 9}}, true, &error), qPrintable(error));
    });
    QCOMPARE(stop.reason, QStringLiteral("breakpoint-hit"));
    QCOMPARE(stop.where.file, source);
    QCOMPARE(stop.where.line, 9);
    QCOMPARE(stop.where.function, QStringLiteral("twice"));
    // In the order of their declarations; the static bit placed by the module's listing.
    QCOMPARE(stop.locals.size(), 3);
    for (const auto &[index, name, value] : {std::tuple{0, "odd", "1"},
                                             std::tuple{1, "result", "14 '\\016'"},
                                             std::tuple{2, "again", "7 '\\a'"}}) {
        QCOMPARE(stop.locals.at(index).name, QLatin1String(name));
        QCOMPARE(stop.locals.at(index).value, QLatin1String(value));
    }
    QCOMPARE(stop.globals.value(0).value, QStringLiteral("7 '\\a'"));
    QCOMPARE(stop.globals.value(1).value, QStringLiteral("0"));
    // A bit variable, placed by the listing of its module, not by the debugging file.
    QCOMPARE(stop.globals.value(2).value, QStringLiteral("0"));
    QCOMPARE(stop.globals.value(3).value, QStringLiteral("<no such variable>"));
    QCOMPARE(stop.globals.value(4).value, QStringLiteral("\"\\003\\372\"")); // in the code
    // Structures member by member, as the debugging file describes them.
    QCOMPARE(stop.globals.value(7).value,
             QStringLiteral("{x = -3, y = 2 '\\002', name = \"ab\", low = 5, high = 20}"));
    QCOMPARE(stop.globals.value(8).value,
             QStringLiteral(
                 "{{x = 0, y = 0 '\\000', name = \"\", low = 0, high = 0}, {x = 0, y = 0 '\\000', "
                 "name = \"\", low = 0, high = 0}}"));
    // Members and elements, also of a constant in the code; none beyond the array or the
    // structure.
    for (const auto &[index, value] : {std::pair{9, "\"ab\""},
                                       std::pair{10, "0 '\\000'"},
                                       std::pair{11, "20"},
                                       std::pair{12, "250 '\\372'"},
                                       std::pair{13, "<no such variable>"},
                                       std::pair{14, "<no such variable>"}})
        QCOMPARE(stop.globals.value(index).value, QLatin1String(value));
    QVERIFY(!stop.registers.isEmpty());
    // The call stack, read off the controller's stack: main at the line of the call.
    QCOMPARE(stop.frames.size(), 2);
    QCOMPARE(stop.frames.at(1).function, QStringLiteral("main"));
    QCOMPARE(stop.frames.at(1).line, 16);
    QCOMPARE(stop.frames.at(1).file, source);

    // Out to the caller, over to the next lines (the global marked as it changes), into the
    // function again, and on to a line by Run to Cursor.
    stop = f.after([&] { d.stepOut(); });
    QCOMPARE(stop.reason, QStringLiteral("function-finished"));
    QCOMPARE(stop.where.function, QStringLiteral("main"));
    QCOMPARE(stop.where.line, 16);
    QCOMPARE(stop.frames.size(), 1);
    // A special function register and one of its bits: twice wrote 21 to P1.
    QCOMPARE(stop.globals.value(5).value, QStringLiteral("21 '\\025'"));
    QCOMPARE(stop.globals.value(6).value, QStringLiteral("1"));
    d.setBreakpoints({});
    stop = f.after([&] { d.stepOver(); });
    QCOMPARE(stop.where.line, 17);
    QCOMPARE(stop.globals.value(1).value, QStringLiteral("14"));
    QCOMPARE(stop.memory, QByteArray("\x0e\x00", 2));
    stop = f.after([&] { d.stepOver(); });
    QCOMPARE(stop.where.line, 18);
    QCOMPARE(stop.globals.value(0).value, QStringLiteral("8 '\\b'"));
    QCOMPARE(stop.globals.value(2).value, QStringLiteral("1"));
    QVERIFY(stop.globals.value(0).changed);
    // The memory view at a variable in the external RAM, and at a bit's byte.
    stop = f.after([&] {
        d.setMemoryView(QStringLiteral("&seen"), 2);
        d.refresh();
    });
    QCOMPARE(stop.memory, QByteArray("\x08\x00", 2)); // seen, then after
    QVERIFY(stop.memoryAddress >= UcsimEngine::externalBase);
    stop = f.after([&] {
        d.setMemoryView(QStringLiteral("&flag"), 1);
        d.refresh();
    });
    QCOMPARE(stop.memoryAddress, std::uint32_t(0x20));
    QCOMPARE(stop.memory.at(0) & 2, 2); // flag is bit 1
    d.setMemoryView(QStringLiteral("&total"), 2);
    QCOMPARE(f.after([&] { d.stepOver(); }).where.line, 16);
    // Over the call: the next line, the global grown by twice the counter.
    stop = f.after([&] { d.stepOver(); });
    QCOMPARE(stop.where.line, 17);
    QCOMPARE(stop.globals.value(1).value, QStringLiteral("30"));
    QCOMPARE(stop.changedBytes, QList<int>{0});
    stop = f.after([&] { d.runTo(source, 16); });
    QCOMPARE(stop.where.line, 16);
    stop = f.after([&] { d.stepInto(); });
    QCOMPARE(stop.where.function, QStringLiteral("twice"));
    QCOMPARE(stop.where.line, 8);
    // A reentrant function's locals on the stack, from its frame pointer: one above it, one of
    // its parameters below it.
    d.setBreakpoints({{source, 24}});
    stop = f.after([&] { d.resume(); });
    QCOMPARE(stop.where.function, QStringLiteral("mix"));
    QStringList locals; // their names and numbers
    for (const DebugValue &local : std::as_const(stop.locals))
        locals.append(local.name + QLatin1Char('=') + local.value.section(QLatin1Char(' '), 0, 0));
    const int counter = stop.globals.value(0).value.section(QLatin1Char(' '), 0, 0).toInt();
    QVERIFY2(locals.contains(QStringLiteral("b=3"))
                 && locals.contains(QStringLiteral("t=%1").arg(counter + 3)),
             qPrintable(locals.join(QLatin1Char(' '))));
    QVERIFY2(f.messages.isEmpty(), qPrintable(f.messages.join(QLatin1Char('\n'))));
    heldAtStartInWindow(f);
}

// Assembled without the linker, the symbol file lists every constant of the controller's
// include file as well as the labels and file registers.
void tst_SourceDebug::picAssembledAlone()
{
    QVERIFY(writeFile(m_dir.filePath(QStringLiteral("alone.asm")),
                      "        list p=16f877a\n        #include <p16f877a.inc>\n"
                      "MASK    equ     0x05\n        cblock  0x20\n        count\n        endc\n"
                      "        org     0x10\nstart:  clrf    PORTB\nloop:   incf    count, f\n"
                      "        movlw   MASK\n        movwf   PORTB\n        goto    loop\n"
                      "        end\n"));
    const QString built = shellIn(m_dir.path(), QStringLiteral("gpasm alone.asm"));
    QVERIFY2(built.isEmpty(), qPrintable(built));
    LineTable table;
    QString error;
    QVERIFY2(table.readCod(m_dir.filePath(QStringLiteral("alone.cod")), {m_dir.path()}, &error),
             qPrintable(error));
    QCOMPARE(table.functionAt(0x13), QStringLiteral("loop")); // not SSPBUF, a register at 0x13
    QCOMPARE(table.symbol(QStringLiteral("count"))->address, 0x20u);
    QVERIFY(!table.symbol(QStringLiteral("MASK")));
}

void tst_SourceDebug::cTypeValues_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("shown");
    addRow("unsigned char", QByteArray("\xfe", 1), "SC:U", "254 '\\376'");
    addRow("signed char", QByteArray("\xfe", 1), "SC:S", "-2 '\\376'");
    addRow("letter", QByteArray("a"), "SC:S", "97 'a'");
    addRow("line end", QByteArray("\r"), "SC:U", "13 '\\r'");
    addRow("quote", QByteArray("'"), "SC:U", "39 '\\''");
    addRow("int, low byte first", QByteArray("\x34\x12", 2), "SI:U", "4660");
    addRow("negative int", QByteArray("\x00\x80", 2), "SI:S", "-32768");
    addRow("long", QByteArray("\x01\x00\x00\x80", 4), "SL:U", "2147483649");
    addRow("float", QByteArray("\x00\x00\xc0\x3f", 4), "SF:S", "1.5");
    addRow("string, up to its end", QByteArray("a\"\t\x00z", 5), "DA5d,SC:S", "\"a\\\"\\t\"");
    addRow("string filling its array", QByteArray("ab"), "DA2d,SC:U", "\"ab\"");
    addRow("array of ints", QByteArray("\x01\x00\xff\xff", 4), "DA2d,SI:S", "{1, -1}");
    addRow("generic pointer to the code", QByteArray("\x34\x12\x80", 3), "DG,SC:U", "0x1234 (code)");
    addRow("generic pointer to the external RAM",
           QByteArray("\x05\x00\x00", 3),
           "DG,SC:U",
           "0x0005 (xdata)");
    addRow("generic pointer to the internal RAM",
           QByteArray("\x30\x00\x40", 3),
           "DG,SI:S",
           "0x0030 (data)");
    addRow("pointer to the external RAM", QByteArray("\x00\x01", 2), "DX,SC:U", "0x0100 (xdata)");
    addRow("array of structures", QByteArray("\x01\x02", 2), "DA2d,ST__00000:S", "{01 02}");
    addRow("bit-field", QByteArray("\x9b", 1), "SB1$3:U", "5");
    addRow("bit-field over two bytes", QByteArray("\xbc\x02", 2), "SB0$10:U", "700");
    addRow("signed bit-field", QByteArray("\x05", 1), "SB0$3:S", "-3");
    addRow("bit-field beyond its bytes", QByteArray("\xff", 1), "SB6$4:U", "<not readable>");
    addRow("unreadable", QByteArray(), "SC:U", "<not readable>");
}

void tst_SourceDebug::cTypeValues()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, type);
    QFETCH(QString, shown);
    QCOMPARE(McsDebugger::valueText(bytes, type), shown);
}

QTEST_MAIN(tst_SourceDebug)
#include "tst_sourcedebug.moc"
