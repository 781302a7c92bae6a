#include "gdbdebugger.h"

#include "firmware/elffile.h"
#include "firmware/hexfile.h"
#include "gdbremotestub.h"
#include "platform/boundedfile.h"
#include "platform/processgroup.h"
#include "simulationrun.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QStandardPaths>

#include <csignal>
#include <utility>

namespace {
Q_LOGGING_CATEGORY(debuggerLink, "dyx.debugger", QtWarningMsg)
// The instructions a step from where the firmware has no source goes at most: the library's
// start-up code copies and clears the data a byte at a time.
constexpr int instructionsToSourceBound = 20000;
} // namespace

// Whether the program memory an ELF file loads is the firmware image: every loaded segment
// below the data space, byte for byte (32-bit little-endian ELF, as the AVR tools write).
bool GdbDebugger::elfHoldsImage(const QByteArray &elf, const HexImage &image)
{
    if (!image.error.isEmpty())
        return false;
    const QByteArray flat = image.flat();
    int loaded = 0;
    for (const ElfSegment &segment : elfSegments(elf)) {
        if (segment.type != ElfSegment::loadable || segment.size == 0 || segment.address >= 0x800000)
            continue;
        if (segment.offset + segment.size > std::uint64_t(elf.size())
            || segment.address + segment.size > std::uint64_t(flat.size())
            || elf.mid(qsizetype(segment.offset), qsizetype(segment.size))
                   != flat.mid(qsizetype(segment.address), qsizetype(segment.size)))
            return false;
        ++loaded;
    }
    return loaded > 0;
}

GdbDebugger::GdbDebugger(SimulationRun &run, QObject *parent)
    : SourceDebugger(parent)
    , m_run(run)
    , m_stub(std::make_unique<GdbRemoteStub>(run))
{
    m_gdb.setProcessChannelMode(QProcess::SeparateChannels);
    connect(&m_gdb, &QProcess::readyReadStandardOutput, this, &GdbDebugger::readOutput);
    connect(&m_gdb, &QProcess::finished, this, [this] {
        if (state() != State::Off && state() != State::Ended)
            emit message(tr("The debugger ended: the firmware runs without breakpoints now."));
        setState(State::Ended);
    });
}

GdbDebugger::~GdbDebugger()
{
    // Ended on purpose: no word of it.
    disconnect(&m_gdb, nullptr, this, nullptr);
    if (m_gdb.state() != QProcess::NotRunning) {
        m_gdb.closeWriteChannel();
        m_gdb.kill();
        m_gdb.waitForFinished(2000);
    }
}

QString GdbDebugger::program()
{
    return QStandardPaths::findExecutable(QStringLiteral("avr-gdb"));
}

bool GdbDebugger::start(const QString &firmware,
                        const QList<SourceBreakpoint> &breakpoints,
                        bool run,
                        QString *error)
{
    const QFileInfo hex(firmware);
    // The ELF file the firmware was made from: named as the firmware, or else the one beside
    // it whose loaded contents are the firmware's (the build names the linked file on its own).
    const HexImage image = HexImage::read(firmware);
    QString elfFile = hex.path() + QLatin1Char('/') + hex.completeBaseName()
                      + QStringLiteral(".elf");
    QStringList candidates{elfFile};
    for (const QFileInfo &other :
         QDir(hex.path()).entryInfoList({QStringLiteral("*.elf")}, QDir::Files, QDir::Time)) {
        if (other.filePath() != elfFile)
            candidates.append(other.filePath());
    }
    QByteArray contents;
    bool found = false;
    for (const QString &candidate : std::as_const(candidates)) {
        if (!Platform::readBoundedFile(candidate, 64 << 20, contents, nullptr))
            continue;
        if (elfHoldsImage(contents, image)) {
            elfFile = candidate;
            found = true;
            break;
        }
    }
    if (!found) {
        *error = QFileInfo::exists(elfFile)
                     ? tr("The firmware has no debugging information: %1 does not hold this "
                          "firmware (build the project again).")
                           .arg(elfFile)
                     : tr("The firmware has no debugging information: %1 is missing.").arg(elfFile);
        return false;
    }
    // The debugger would only say it later.
    if (!InlineCalls::hasSourceLines(contents)) {
        *error = tr("The firmware has no debugging information: %1 was built without it "
                    "(a Debug configuration builds with it).")
                     .arg(elfFile);
        return false;
    }
    const QString gdb = program();
    if (gdb.isEmpty()) {
        *error = tr("The AVR debugger avr-gdb (package gdb-avr) is not installed.");
        return false;
    }
    if (!m_stub->listen(error))
        return false;
    m_breakpoints = breakpoints;
    m_inlineCalls = InlineCalls::read(contents);
    // Nothing beside the firmware (scripts a debugger would load on its own) is run.
    m_gdb.setProgram(gdb);
    m_gdb.setArguments({QStringLiteral("--interpreter=mi2"),
                        QStringLiteral("-nx"),
                        QStringLiteral("-nh"),
                        QStringLiteral("-q"),
                        QStringLiteral("-iex"),
                        QStringLiteral("set auto-load off")});
    Platform::endWithStarter(m_gdb, SIGKILL);
    m_gdb.start();
    if (!m_gdb.waitForStarted(5000)) {
        *error = tr("The debugger %1 did not start: %2").arg(gdb, m_gdb.errorString());
        return false;
    }
    setState(State::Starting);
    command(QStringLiteral("-gdb-set confirm off"));
    command(QStringLiteral("-gdb-set width 0"));
    // Commands are taken while the firmware runs (Pause, breakpoints).
    command(QStringLiteral("-gdb-set mi-async on"));
    command(QStringLiteral("-file-exec-and-symbols ") + Mi::quoted(elfFile),
            [this](const MiRecord &record) {
                if (record.recordClass == QLatin1String("error")) {
                    emit message(tr("The debugger cannot read the firmware's symbols: %1")
                                     .arg(record.value(QStringLiteral("msg"))));
                    m_gdb.kill();
                }
            });
    command(QStringLiteral("-data-list-register-names"), [this](const MiRecord &record) {
        m_registerNames.clear();
        for (const QVariant &name : record.results.value(QStringLiteral("register-names")).toList())
            m_registerNames.append(name.toString());
    });
    // The socket's path is taken as it stands (quotes would be part of it); the private
    // folder's path has no blanks in it.
    command(QStringLiteral("-target-select remote ") + m_stub->socketPath(),
            [this, run](const MiRecord &record) {
                if (record.recordClass == QLatin1String("error")) {
                    emit message(tr("The debugger could not attach to the simulation: %1")
                                     .arg(record.value(QStringLiteral("msg"))));
                    m_gdb.kill();
                    return;
                }
                applyBreakpoints();
                setState(State::Paused);
                if (run)
                    resume();
                else
                    refresh();
            });
    return true;
}

void GdbDebugger::command(const QString &line, Answer answer)
{
    const int token = m_nextToken++;
    if (answer)
        m_answers.insert(token, std::move(answer));
    qCDebug(debuggerLink) << "<-" << token << line;
    m_gdb.write(QByteArray::number(token) + line.toUtf8() + '\n');
}

void GdbDebugger::readOutput()
{
    m_output += m_gdb.readAllStandardOutput();
    qsizetype end;
    while ((end = m_output.indexOf('\n')) >= 0) {
        const QByteArray line = m_output.left(end);
        m_output.remove(0, end + 1);
        qCDebug(debuggerLink) << "->" << line;
        handle(MiRecord::parse(line));
    }
}

void GdbDebugger::handle(const MiRecord &record)
{
    if (record.kind == MiRecord::Result) {
        if (Answer answer = m_answers.take(record.token))
            answer(record);
        else if (record.recordClass == QLatin1String("error"))
            emit message(record.value(QStringLiteral("msg")));
        return;
    }
    if (record.kind != MiRecord::Exec)
        return;
    if (record.recordClass == QLatin1String("running")) {
        if (state() == State::Paused)
            setState(State::Running);
        return;
    }
    if (record.recordClass != QLatin1String("stopped") || state() == State::Starting)
        return;
    const QString reason = record.value(QStringLiteral("reason"));
    if (reason.startsWith(QLatin1String("exited"))) {
        emit message(tr("The firmware ended the run."));
        setState(State::Ended);
        return;
    }
    // Still without source: the next instruction, the firmware running on as far as anyone
    // can tell.
    if (m_instructionsToSource > 0 && !m_resumeAfterStop
        && reason == QLatin1String("end-stepping-range")
        && Mi::valueAt(record.results.value(QStringLiteral("frame")), QStringLiteral("fullname"))
               .isEmpty()
        && --m_instructionsToSource > 0) {
        command(QStringLiteral("-exec-step-instruction"), refusal());
        return;
    }
    m_instructionsToSource = 0;
    if (m_resumeAfterStop) {
        // Stopped only to change the breakpoints.
        m_resumeAfterStop = false;
        setState(State::Paused);
        applyBreakpoints();
        resume();
        return;
    }
    setState(State::Paused);
    // At a breakpoint set where a built-in function's code starts, the debugger names that
    // function's header as the place; the user asked for the line of the call.
    const bool atCall = reason == QLatin1String("breakpoint-hit")
                        && m_callSiteBreakpoints.contains(
                            record.value(QStringLiteral("bkptno")).toInt());
    m_callerThread = atCall ? record.value(QStringLiteral("thread-id")) : QString();
    m_refreshing = false;
    collectStop(reason, record.results.value(QStringLiteral("frame")).toMap());
}

void GdbDebugger::applyBreakpoints()
{
    if (!m_breakpointNumbers.isEmpty()) {
        QStringList numbers;
        for (const int number : std::as_const(m_breakpointNumbers))
            numbers.append(QString::number(number));
        breakpointCommand(QStringLiteral("-break-delete ") + numbers.join(QLatin1Char(' ')));
        m_breakpointNumbers.clear();
    }
    // Answers to an earlier round, arriving after this one began, delete what they set.
    const int round = ++m_breakpointRound;
    const auto keep = [this, round](const MiRecord &record) {
        if (record.recordClass != QLatin1String("done"))
            return;
        const int number = record.value(QStringLiteral("bkpt.number")).toInt();
        if (round == m_breakpointRound)
            m_breakpointNumbers.append(number);
        else
            breakpointCommand(QStringLiteral("-break-delete %1").arg(number));
    };
    for (const SourceBreakpoint &breakpoint : std::as_const(m_breakpoints)) {
        insertAtLine(breakpoint.file,
                     breakpoint.line,
                     false,
                     keep,
                     [this, breakpoint](const QString &why) {
                         emit message(tr("No breakpoint at %1, line %2: %3")
                                          .arg(breakpoint.file)
                                          .arg(breakpoint.line)
                                          .arg(why));
                     });
    }
}

void GdbDebugger::insertAtLine(const QString &file,
                               int line,
                               bool once,
                               const Answer &inserted,
                               const std::function<void(const QString &)> &refused)
{
    const QString insert = once ? QStringLiteral("-break-insert -t ")
                                : QStringLiteral("-break-insert ");
    breakpointCommand(
        insert + Mi::quoted(QStringLiteral("%1:%2").arg(file).arg(line)),
        [=](const MiRecord &record) {
            const bool done = record.recordClass == QLatin1String("done");
            // A line whose code is all a function built into it has no code of its own: the
            // debugger refuses it, or takes the next line that has code. The built-in code
            // starts where the line does.
            const QList<std::uint32_t> builtIn = InlineCalls::at(m_inlineCalls, file, line);
            if (builtIn.isEmpty()
                || (done && record.value(QStringLiteral("bkpt.line")).toInt() == line)) {
                if (done)
                    inserted(record);
                else
                    refused(record.value(QStringLiteral("msg")));
                return;
            }
            if (done)
                breakpointCommand(QStringLiteral("-break-delete ")
                                  + record.value(QStringLiteral("bkpt.number")));
            // Once: the first place the line's code starts; else every place.
            for (const std::uint32_t address : once ? builtIn.mid(0, 1) : builtIn) {
                breakpointCommand(insert + QStringLiteral("*0x") + QString::number(address, 16),
                                  [=](const MiRecord &answer) {
                                      if (answer.recordClass == QLatin1String("done")) {
                                          m_callSiteBreakpoints.insert(
                                              answer.value(QStringLiteral("bkpt.number")).toInt());
                                          inserted(answer);
                                      } else {
                                          refused(answer.value(QStringLiteral("msg")));
                                      }
                                  });
            }
        });
}

void GdbDebugger::breakpointCommand(const QString &line, const Answer &answer)
{
    ++m_breakpointCommands;
    command(line, [this, answer](const MiRecord &record) {
        if (answer)
            answer(record); // may ask for more before this one counts as done
        if (--m_breakpointCommands == 0) {
            const QList<std::function<void()>> waiting = std::exchange(m_afterBreakpoints, {});
            for (const std::function<void()> &then : waiting)
                then();
        }
    });
}

void GdbDebugger::setBreakpoints(const QList<SourceBreakpoint> &breakpoints)
{
    if (breakpoints == m_breakpoints)
        return;
    m_breakpoints = breakpoints;
    if (state() == State::Paused) {
        applyBreakpoints();
    } else if (state() == State::Running && !m_resumeAfterStop) {
        m_resumeAfterStop = true;
        command(QStringLiteral("-exec-interrupt"));
    }
}

void GdbDebugger::execute(const QString &line)
{
    if (state() != State::Paused)
        return;
    // Running from now on: what comes meanwhile (breakpoints) waits for the firmware to stop.
    // The debugger takes no breakpoints while the firmware runs: those on their way go first.
    setState(State::Running);
    const auto run = [this, line] { command(line, refusal()); };
    if (m_breakpointCommands == 0)
        run();
    else
        m_afterBreakpoints.append(run);
}

GdbDebugger::Answer GdbDebugger::refusal()
{
    return [this](const MiRecord &record) {
        if (record.recordClass != QLatin1String("error"))
            return;
        // Refused: the firmware stays where it stopped, and is shown there again.
        m_instructionsToSource = 0;
        setState(State::Paused);
        emit message(record.value(QStringLiteral("msg")));
        refresh();
    };
}

void GdbDebugger::resume()
{
    execute(QStringLiteral("-exec-continue"));
}

void GdbDebugger::pause()
{
    m_resumeAfterStop = false;
    m_instructionsToSource = 0;
    if (state() != State::Running)
        return;
    if (!m_afterBreakpoints.isEmpty()) {
        // Not yet on its way (breakpoints go first): it stays where it stopped.
        m_afterBreakpoints.clear();
        setState(State::Paused);
        refresh();
        return;
    }
    command(QStringLiteral("-exec-interrupt"));
}

void GdbDebugger::stepInto()
{
    // Stopped where a built-in function's code starts, shown at the line calling it: the
    // firmware is at the function's first instruction already, so the step is only shown.
    if (state() == State::Paused && !m_callerThread.isEmpty()) {
        m_callerThread.clear();
        showFrame(QStringLiteral("end-stepping-range"), false);
        return;
    }
    stepLine(QStringLiteral("-exec-step"));
}

void GdbDebugger::stepOver()
{
    stepLine(QStringLiteral("-exec-next"));
}

void GdbDebugger::stepLine(const QString &line)
{
    // Where the firmware has no source (held at its start, in the library's start-up code) the
    // debugger knows no line to step to: the step goes an instruction at a time to where the
    // firmware has source, as far as a bound.
    if (state() == State::Paused && m_stop.where.file.isEmpty()) {
        m_instructionsToSource = instructionsToSourceBound;
        execute(QStringLiteral("-exec-step-instruction"));
        return;
    }
    execute(line);
}

void GdbDebugger::stepOut()
{
    execute(QStringLiteral("-exec-finish"));
}

void GdbDebugger::runTo(const QString &file, int line)
{
    if (state() != State::Paused)
        return;
    insertAtLine(
        file,
        line,
        true,
        [this](const MiRecord &) { resume(); },
        [this, file, line](const QString &why) {
            emit message(
                tr("The firmware cannot run to %1, line %2: %3").arg(file).arg(line).arg(why));
        });
}

void GdbDebugger::refresh()
{
    if (state() != State::Paused)
        return;
    showFrame(m_stop.reason.isEmpty() ? QStringLiteral("attached") : m_stop.reason, true);
}

void GdbDebugger::showFrame(const QString &reason, bool again)
{
    command(QStringLiteral("-stack-info-frame"), [this, reason, again](const MiRecord &record) {
        m_refreshing = again;
        collectStop(reason, record.results.value(QStringLiteral("frame")).toMap());
    });
}

DebugFrame GdbDebugger::frameFrom(const QVariant &frame)
{
    DebugFrame result;
    result.function = Mi::valueAt(frame, QStringLiteral("func"));
    result.file = Mi::valueAt(frame, QStringLiteral("fullname"));
    result.line = Mi::valueAt(frame, QStringLiteral("line")).toInt();
    result.address = Mi::valueAt(frame, QStringLiteral("addr")).toUInt(nullptr, 16);
    return result;
}

void GdbDebugger::collectStop(const QString &reason, const QVariantMap &frame)
{
    m_stop = DebugStop();
    m_stop.reason = reason;
    m_stop.where = frameFrom(frame);
    const bool atCall = !m_callerThread.isEmpty();
    command(QStringLiteral("-stack-list-frames 0 19"), [this, atCall](const MiRecord &record) {
        for (const QVariant &frame : record.results.value(QStringLiteral("stack")).toList())
            m_stop.frames.append(frameFrom(frame));
        // The built-in function's frame is left out: the stop is at its caller's line.
        if (atCall && m_stop.frames.size() > 1) {
            m_stop.frames.removeFirst();
            m_stop.where = m_stop.frames.first();
        }
    });
    const QString caller = atCall ? QStringLiteral("--thread %1 --frame 1 ").arg(m_callerThread)
                                  : QString();
    command(QStringLiteral("-stack-list-variables ") + caller + QStringLiteral("--all-values"),
            [this](const MiRecord &record) {
                for (const QVariant &variable :
                     record.results.value(QStringLiteral("variables")).toList()) {
                    m_stop.locals.append({Mi::valueAt(variable, QStringLiteral("name")),
                                          Mi::valueAt(variable, QStringLiteral("value"))});
                }
            });
    command(
        QStringLiteral("-data-list-register-values --skip-unavailable x"),
        [this](const MiRecord &record) {
            for (const QVariant &value :
                 record.results.value(QStringLiteral("register-values")).toList()) {
                const int number = Mi::valueAt(value, QStringLiteral("number")).toInt();
                const QString name = m_registerNames.value(number);
                if (!name.isEmpty())
                    m_stop.registers.append({name, Mi::valueAt(value, QStringLiteral("value"))});
            }
        });
    for (const QString &global : std::as_const(m_globals)) {
        command(QStringLiteral("-data-evaluate-expression ") + Mi::quoted(global),
                [this, global](const MiRecord &record) {
                    const bool ok = record.recordClass == QLatin1String("done");
                    m_stop.globals.append({global,
                                           ok ? record.value(QStringLiteral("value"))
                                              : QLatin1Char('<')
                                                    + record.value(QStringLiteral("msg"))
                                                    + QLatin1Char('>')});
                });
    }
    if (!m_memoryAddress.isEmpty()) {
        command(QStringLiteral("-data-read-memory-bytes %1 %2")
                    .arg(Mi::quoted(m_memoryAddress))
                    .arg(m_memoryLength),
                [this](const MiRecord &record) {
                    const QVariantList blocks = record.results.value(QStringLiteral("memory"))
                                                    .toList();
                    if (record.recordClass != QLatin1String("done") || blocks.isEmpty()) {
                        emit message(tr("The memory at %1 cannot be read: %2")
                                         .arg(m_memoryAddress, record.value(QStringLiteral("msg"))));
                        return;
                    }
                    m_stop.memoryAddress = Mi::valueAt(blocks.first(), QStringLiteral("begin"))
                                               .toUInt(nullptr, 16);
                    m_stop.memory = QByteArray::fromHex(
                        Mi::valueAt(blocks.first(), QStringLiteral("contents")).toLatin1());
                });
    }
    // Answers come in order: this one's means the others are in.
    command(QStringLiteral("-gdb-show confirm"), [this](const MiRecord &) { finishStop(); });
}

void GdbDebugger::finishStop()
{
    publish(m_stop, std::exchange(m_refreshing, false));
}
