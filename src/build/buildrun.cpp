#include "buildrun.h"

#include "buildmessageparser.h"
#include "buildproject.h"
#include "firmwaresize.h"
#include "messagefileresolver.h"
#include "templateexpander.h"

#include "core/commandstate.h"
#include "core/mainservices.h"
#include "platform/boundedfile.h"
#include "platform/platformpaths.h"
#include "platform/processgroup.h"
#include "platform/toolrun.h"
#include "toolchain/buildconfig.h"
#include "toolchain/buildprocess.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTextStream>

#include <sys/stat.h>

#include <algorithm>
#include <ctime>

namespace {

// How long make has to end when asked to, before it is killed with what it started.
constexpr int stopGraceMs = 2000;

// GNU make names itself after the name it was started by ("make.exe: Nothing to be done ...")
// and, in a recursive run, adds its level ("make[1]: ...").
bool isMakeUpToDateLine(const QString &line)
{
    static const QRegularExpression
        upToDate(QStringLiteral("make(\\.exe)?(\\[[0-9]+\\])?: Nothing to be done"),
                 QRegularExpression::CaseInsensitiveOption);
    return upToDate.match(line).hasMatch();
}

// The message formats of the steps of a build tree, a node before its inputs.
void collectFormats(const BuildNode *node, BuildMessageParser &parser)
{
    if (node->isLeaf())
        return;
    for (const MessageFormat &format : node->process()->messages())
        parser.addFormat(format);
    for (const auto &input : node->inputs)
        collectFormats(input.get(), parser);
}

// Lines are shown as they complete; a line cut by the pipe waits for its end.
QStringList completeLines(QByteArray &pending, const QByteArray &data)
{
    // Only what arrived is searched: a tool that writes without line ends costs no more than
    // one that writes lines.
    const int inData = int(data.lastIndexOf('\n'));
    pending += data;
    if (inData < 0)
        return {};
    const int end = int(pending.size() - data.size()) + inData;
    const QString text = QString::fromLocal8Bit(pending.left(end));
    pending.remove(0, end + 1);
    return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// The system's environment with the compiler's directory on the PATH and the entries the
// compiler configuration names for the controller and the target.
QProcessEnvironment buildEnvironment(const BuildProject &configuration,
                                     const QString &compilerDirectory)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString pathName = QStringLiteral("PATH");
    environment.insert(pathName,
                       environment.value(pathName) + QDir::listSeparator()
                           + QDir::toNativeSeparators(compilerDirectory));
    // The program reads what make and the compilers say ("Nothing to be done", "error:"), in
    // English whatever the desktop speaks: LANGUAGE=de had make say it in German. LC_ALL would
    // outrank the messages' setting; its characters stay.
    const QString all = QStringLiteral("LC_ALL");
    if (environment.contains(all)) {
        environment.insert(QStringLiteral("LC_CTYPE"), environment.value(all));
        environment.remove(all);
    }
    environment.insert(QStringLiteral("LC_MESSAGES"), QStringLiteral("C"));
    const TemplateExpander expander(configuration);
    for (const EnvironmentEntry &entry :
         configuration.compiler()->environment(configuration.family(),
                                               configuration.controller(),
                                               configuration.targetName())) {
        EnvironmentEntry expanded = entry;
        expanded.name = expander.expand(entry.name, nullptr);
        expanded.value = expander.expand(entry.value, nullptr);
        environment.insert(expanded.name, expanded.applyTo(environment.value(expanded.name)));
    }
    // make runs in the project's folder, where an empty or relative entry of the PATH leads,
    // as the program's own were dropped at its start: one the compiler's environment adds would
    // run a program of a tool's name that the project brings along.
    environment.insert(pathName, Platform::absolutePathEntries(environment.value(pathName)));
    return environment;
}

} // namespace

BuildRun::BuildRun(MainServices *mainWindow, QObject *parent)
    : QObject(parent)
    , m_commands(servicesOf(mainWindow).commands())
    , m_output(servicesOf(mainWindow).output())
{}

BuildRun::~BuildRun() = default;

bool BuildRun::run(const Request &request)
{
    if (m_running)
        return false;
    m_running = true;
    m_shownLines = 0;
    m_shownBytes = 0;
    m_outputCut = false;
    const auto finish = [this](bool result) {
        m_running = false;
        m_commands.setStatusMessage(QString());
        return result;
    };
    BuildProject *configuration = request.configuration;
    if (!configuration) {
        m_output.error(tr("Project configuration is not valid"));
        return finish(false);
    }
    m_parser = std::make_unique<BuildMessageParser>();
    m_resolver = std::make_unique<MessageFileResolver>(request.projectFiles,
                                                       configuration->projectDirectory(),
                                                       configuration->outputDirectory());
    if (configuration->root())
        collectFormats(configuration->root(), *m_parser);
    if (!request.hasSourceGroup) {
        m_output.error(tr("No source files to build"));
        return finish(false);
    }
    const QString make = QDir(request.toolsDirectory).filePath(QStringLiteral("make.exe"));
    if (!QFileInfo::exists(make)) {
        m_output.message(tr("make.exe does not exist in path '%1'").arg(make));
        return finish(false);
    }
    const BuildConfig *compiler = configuration->compiler();
    const QString compilerDirectory = compiler ? compiler->compilerDirectory() : QString();
    if (compilerDirectory.isEmpty()) {
        m_output.error(tr("Compiler is not configured.\n"));
        for (const QString &file : std::as_const(configuration->errorFiles))
            QFile::remove(file);
        readErrorFiles(*configuration);
        return finish(false);
    }
    // make runs in the project's folder, where a directory typed without its full path would
    // lead, to programs the project may bring along.
    if (QDir::isRelativePath(compilerDirectory)) {
        m_output.error(tr("The compiler directory %1 is not a full path: set it in Config > "
                          "Compilers Configuration.")
                           .arg(compilerDirectory));
        return finish(false);
    }
    return finish(start(request));
}

// The compiler's tools are named without a directory in the Makefile and found on the PATH,
// where the compiler directory comes last: a tool of the same name elsewhere on the PATH runs
// instead of the one the compilers dialog shows. Each such tool, and a compiler directory that
// is not there, is named before the build starts.
QStringList BuildRun::toolsFoundElsewhere(const BuildConfig &compiler,
                                          const QProcessEnvironment &environment)
{
    const QString directory = compiler.compilerDirectory();
    if (!QFileInfo(directory).isDir()) {
        return {tr("The compiler directory %1 does not exist: the compiler's tools are "
                   "looked for on the PATH.")
                    .arg(QDir::toNativeSeparators(directory))};
    }
    const QStringList path = environment.value(QStringLiteral("PATH"))
                                 .split(QDir::listSeparator(), Qt::SkipEmptyParts);
    QStringList lines;
    for (const QString &name : compiler.toolNames()) {
        const QString file = compiler.toolFile(name);
        if (file.isEmpty() || file.contains(QLatin1Char('/')))
            continue;
        const QString runs = QStandardPaths::findExecutable(file, path);
        const QFileInfo own(QDir(directory).filePath(file));
        if (runs.isEmpty() || QFileInfo(runs).canonicalFilePath() == own.canonicalFilePath())
            continue;
        lines.append(own.isExecutable() ? tr("%1, found first on the PATH, runs instead of %2 "
                                             "of the compiler directory.")
                                              .arg(QDir::toNativeSeparators(runs),
                                                   QDir::toNativeSeparators(own.absoluteFilePath()))
                                        : tr("%1 is not in the compiler directory %2: %3, "
                                             "found on the PATH, runs instead.")
                                              .arg(file,
                                                   QDir::toNativeSeparators(directory),
                                                   QDir::toNativeSeparators(runs)));
    }
    return lines;
}

// Now on the clock the system dates files by, which runs a little behind the precise one: a
// file written after this moment is dated no earlier.
static qint64 fileClockNs()
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// Each run of make: QT_LOGGING_RULES="dyx.build.debug=true".
Q_LOGGING_CATEGORY(buildRun, "dyx.build", QtWarningMsg)

bool BuildRun::start(const Request &request)
{
    BuildProject &configuration = *request.configuration;
    const QString &goal = request.goal;
    const bool clean = goal == QLatin1String("clean");
    QStringList arguments;
    if (request.rebuildAll)
        arguments << QStringLiteral("-B");
    // Every core compiles; each step's lines still come together.
    if (request.jobs > 1)
        arguments << QStringLiteral("-j%1").arg(request.jobs)
                  << QStringLiteral("--output-sync=target");
    arguments << QDir::toNativeSeparators(
        QStringLiteral("--makefile=%1/Makefile").arg(configuration.targetName()));
    if (!goal.isEmpty())
        arguments << goal;
    if (clean)
        arguments << QStringLiteral("-s");

    QProcess process;
    m_process = &process;
    process.setWorkingDirectory(configuration.projectDirectory());
    const QProcessEnvironment environment
        = buildEnvironment(configuration, configuration.compiler()->compilerDirectory());
    process.setProcessEnvironment(environment);
    if (!clean) {
        for (const QString &line : toolsFoundElsewhere(*configuration.compiler(), environment))
            m_output.message(line);
    }
    // make and the compilers it starts end with the run, or with the program if it dies.
    const Platform::ProcessGroupWatch watch(process);
    connect(&process, &QProcess::readyReadStandardOutput, this, &BuildRun::readyReadStandardOutput);
    connect(&process, &QProcess::readyReadStandardError, this, &BuildRun::readyReadStandardError);
    for (const QString &file : std::as_const(configuration.errorFiles))
        QFile::remove(file);
    m_abortRequested = false;
    m_commands.setStatusMessage(clean ? tr("Cleaning") : tr("Building"));
    m_pendingOutput.clear();
    m_pendingErrors.clear();
    m_errors = 0;
    m_warnings = 0;
    qCDebug(buildRun) << "make" << arguments << "in" << configuration.projectDirectory();
    QElapsedTimer timer;
    timer.start();
    const qint64 startedNs = fileClockNs();
    // Nothing is typed into a build: a tool that reads its input (an assembler given no file,
    // a source that includes /dev/stdin) reads an end at once rather than wait for ever.
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(QDir(request.toolsDirectory).filePath(QStringLiteral("make.exe")),
                  arguments,
                  QIODevice::ReadOnly);
    for (int i = 0; i < 100 && process.state() == QProcess::Starting; ++i) {
        QCoreApplication::processEvents();
        process.waitForStarted(5);
    }
    const qint64 group = process.processId();
    while (process.state() != QProcess::NotRunning && !m_abortRequested)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    qCDebug(buildRun) << "make ended after" << timer.elapsed() << "ms: exit code"
                      << process.exitCode() << "status" << process.exitStatus() << "aborted"
                      << m_abortRequested;
    bool failed = false;
    if (m_abortRequested) {
        // make is asked to end first, so that it removes an output a compiler was in the
        // middle of writing, which would otherwise count as made; the compilers make started
        // go with it, and whatever has not ended after a while is killed.
        if (process.state() != QProcess::NotRunning) {
            // What make says as it ends (the outputs it removes, its steps "Terminated") is
            // none of the user's business: the user stopped it.
            disconnect(&process, nullptr, this, nullptr);
            Platform::stopProcessGroup(group);
            process.waitForFinished(stopGraceMs);
        }
        Platform::killProcessGroup(group);
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(3000);
        }
        m_output.message(clean ? tr("Clean aborted by user\n") : tr("Build aborted by user\n"));
        failed = true;
    } else {
        readyReadStandardOutput();
        readyReadStandardError();
        // What is left without a line end is a line too.
        if (!m_pendingOutput.isEmpty())
            showOutputBytes(m_pendingOutput, false);
        if (!m_pendingErrors.isEmpty())
            showOutputBytes(m_pendingErrors, true);
    }
    m_pendingOutput.clear();
    m_pendingErrors.clear();
    readErrorFiles(configuration);
    if (!failed) {
        if (process.error() == QProcess::FailedToStart
            || process.exitStatus() == QProcess::CrashExit) {
            m_output.message(tr("Process seems to be crashed: %1\n").arg(process.errorString()));
            failed = true;
        } else if (process.exitCode() != 0) {
            m_output.message(tr("Error code %1\n").arg(process.exitCode()));
            failed = true;
        } else if (goal == configuration.targetName()) {
            failed = !outputsWritten(configuration, startedNs);
            if (!failed)
                reportFirmwareSize(configuration);
        }
    }
    if (goal == configuration.targetName()) {
        const QString errors = m_errors == 1 ? tr("1 error") : tr("%1 errors").arg(m_errors);
        const QString warnings = m_warnings == 1 ? tr("1 warning")
                                                 : tr("%1 warnings").arg(m_warnings);
        const QString time = QString::number(double(timer.elapsed()) / 1000.0, 'f', 2);
        m_output.message(failed ? tr("Build failed: %1, %2 (%3 s)").arg(errors, warnings, time)
                                : tr("Build finished: %1, %2 (%3 s)").arg(errors, warnings, time));
    }
    disconnect(&process, nullptr, this, nullptr);
    m_process = nullptr;
    return !failed;
}

// A file's modification time in nanoseconds, as make compares them; -1 when nothing is there,
// or, asked for a regular file, nothing of that kind.
static qint64 modifiedNs(const QString &path, bool regular = false)
{
    struct stat status
    {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0
        || (regular && !S_ISREG(status.st_mode)))
        return -1;
    return qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
}

// Some tools report a failure and still end with 0 (gplink given its linker script twice):
// make then says nothing. Each output must exist and be no older than what it is made from,
// or the step did not write it and the firmware there is not what the project describes. A
// source saved while the build ran is newer than what was made from it all the same: that is
// no failure, and the user is told that the firmware does not have the change yet.
bool BuildRun::outputsWritten(const BuildProject &configuration, qint64 startedNs)
{
    const QDir project(configuration.projectDirectory());
    const std::vector<BuildNode *> steps = configuration.stepNodes();
    // make remakes an output from a file dated in the future on every run; that is no failure.
    const qint64 now = QDateTime::currentMSecsSinceEpoch() * 1000000;
    QStringList changedMeanwhile;
    // Inputs before what is made from them: the first step that failed is the one named.
    for (auto it = steps.rbegin(); it != steps.rend(); ++it) {
        const BuildNode *node = *it;
        const QString output = QDir::cleanPath(project.absoluteFilePath(node->file));
        const qint64 outputTime = modifiedNs(output, true);
        bool written = outputTime >= 0;
        for (const auto &input : node->inputs) {
            const QString file = project.absoluteFilePath(input->file);
            const qint64 made = written ? modifiedNs(file) : -1;
            if (made <= outputTime || made > now)
                continue;
            if (input->isLeaf() && made > startedNs) {
                if (const QString saved = QDir::cleanPath(file); !changedMeanwhile.contains(saved))
                    changedMeanwhile.append(saved);
            } else {
                written = false;
            }
        }
        if (!written) {
            m_output.error(tr("The build did not write %1.").arg(QDir::toNativeSeparators(output)));
            return false;
        }
    }
    for (const QString &file : std::as_const(changedMeanwhile)) {
        m_output.message(tr("%1 was saved while the build ran: the firmware does not have that "
                            "change yet. Build again to take it in.")
                             .arg(QDir::toNativeSeparators(file)));
    }
    return true;
}

void BuildRun::stopNow()
{
    if (!m_running)
        return;
    m_abortRequested = true;
    if (m_process && m_process->state() != QProcess::NotRunning)
        Platform::stopProcessGroup(m_process->processId());
}

// Output without a line end: only what is shown is decoded.
void BuildRun::showOutputBytes(const QByteArray &bytes, bool fromErrorChannel)
{
    const qint64 more = std::max<qint64>(0, bytes.size() - maxShownLineChars);
    showOutputLine(QString::fromLocal8Bit(bytes.left(maxShownLineChars)), fromErrorChannel, more);
}

void BuildRun::showOutputLine(const QString &rawLine, bool fromErrorChannel, qint64 moreBytes)
{
    // A line longer than anyone reads (a tool writing without line ends) is shown cut, which
    // keeps the window quick; all of it counts towards what the run shows.
    QString line = rawLine.left(maxShownLineChars);
    moreBytes += rawLine.size() - line.size();
    // gcc colours its messages when told to (-fdiagnostics-color=always).
    line = Platform::withoutTerminalControls(line);
    if (line.isEmpty() || !shows(line.size() + moreBytes))
        return;
    if (moreBytes > 0)
        line += tr(" [%1 more not shown]").arg(moreBytes);
    BuildMessageParser::Position position;
    const auto resolver = [this](const QString &name) { return m_resolver->resolve(name); };
    if (m_parser && m_parser->parse(line, resolver, position)) {
        countMessage(line, position.file, position.line);
        if (fromErrorChannel)
            m_output.errorLink(position.file, position.line, position.column, line);
        else
            m_output.link(position.file, position.line, position.column, line);
    } else if (m_parser && m_parser->matchesAny(line)) {
        // A message that names no line of a file (a linker's) counts all the same.
        countMessage(line, QString(), 0);
        m_output.error(line);
    } else if (fromErrorChannel) {
        m_output.error(line);
    } else if (isMakeUpToDateLine(line)) {
        m_output.message(tr("Already compiled, target is up to date."));
    } else {
        m_output.message(line);
    }
}

bool BuildRun::shows(qint64 size)
{
    if (m_shownLines < maxShownLines && m_shownBytes < maxShownBytes) {
        ++m_shownLines;
        m_shownBytes += size;
        return true;
    }
    if (!m_outputCut) {
        m_outputCut = true;
        m_output.error(tr("The build writes more than the output window keeps (%1 lines or %2 "
                          "MiB); the rest of its output is not shown.")
                           .arg(maxShownLines)
                           .arg(maxShownBytes >> 20));
    }
    return false;
}

void BuildRun::takeOutput(QByteArray &pending, const QByteArray &data, bool fromErrorChannel)
{
    for (const QString &line : completeLines(pending, data))
        showOutputLine(line, fromErrorChannel);
    // Output without line ends is cut where it could no longer be shown.
    if (pending.size() > maxShownBytes) {
        showOutputBytes(pending.left(maxShownBytes), fromErrorChannel);
        pending.clear();
    }
}

void BuildRun::readyReadStandardOutput()
{
    if (m_process)
        takeOutput(m_pendingOutput, m_process->readAllStandardOutput(), false);
}

void BuildRun::readyReadStandardError()
{
    if (m_process)
        takeOutput(m_pendingErrors, m_process->readAllStandardError(), true);
}

void BuildRun::readErrorFiles(const BuildProject &configuration)
{
    const auto resolver = [this](const QString &name) { return m_resolver->resolve(name); };
    for (int i = 0; i < configuration.errorFiles.size(); ++i) {
        const QString &path = configuration.errorFiles.at(i);
        QByteArray bytes;
        QString refusal;
        // A step that wrote no messages left no file: nothing to say.
        if (!Platform::readBoundedFile(path, Platform::maxMessageFileBytes, bytes, &refusal)) {
            if (!refusal.isEmpty())
                m_output.error(tr("Cannot read the messages in %1: %2").arg(path, refusal));
            continue;
        }
        QTextStream in(bytes);
        while (!in.atEnd()) {
            QString line = in.readLine();
            line.remove(QLatin1Char('\r'));
            if (!shows(line.size()))
                return;
            BuildMessageParser::Position position;
            if (m_parser && m_parser->parse(line, resolver, position)) {
                countMessage(line, position.file, position.line);
                m_output.errorLink(position.file, position.line, position.column, line);
            } else if (m_parser && m_parser->matchesAny(line)) {
                countMessage(line, QString(), 0);
                m_output.error(line);
            } else if (!configuration.hideUnmatched.value(i))
                m_output.message(line);
        }
    }
}

void BuildRun::countMessage(const QString &line, const QString &file, int lineNumber)
{
    const MessageSeverity severity = BuildMessageParser::severity(line);
    if (severity == MessageSeverity::Error)
        ++m_errors;
    else if (severity == MessageSeverity::Warning)
        ++m_warnings;
    if (!file.isEmpty())
        m_output.markSource(file, lineNumber, severity, line);
}

void BuildRun::reportFirmwareSize(const BuildProject &configuration)
{
    if (!configuration.root())
        return;
    // The reports lie beside the firmware or are what it was made from (the linked ELF file);
    // the objects below them are not read.
    const QDir project(configuration.projectDirectory());
    QStringList madeFrom;
    for (const auto &input : configuration.root()->inputs)
        madeFrom.append(QDir::cleanPath(project.absoluteFilePath(input->file)));
    const QString firmware = QDir::cleanPath(project.absoluteFilePath(configuration.root()->file));
    const QString text = FirmwareSize::measure(firmware,
                                               madeFrom,
                                               configuration.family(),
                                               configuration.controller())
                             .text();
    if (!text.isEmpty())
        m_output.message(text);
}
