// Building a project: preparing the Makefile and running make with the compiler's messages
// turned into links.

#include "project.h"
#include "projectsmanager.h"

#include "app/busycursor.h"
#include "app/mainservices.h"
#include "app/settingsstore.h"
#include "build/buildmessageparser.h"
#include "build/buildproject.h"
#include "build/makefilewriter.h"
#include "build/templateexpander.h"
#include "platform/processgroup.h"
#include "toolchain/buildconfig.h"
#include "toolchain/buildconfiglist.h"
#include "toolchain/buildprocess.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTextStream>

// GNU make names itself after the name it was started by ("make.exe: Nothing to be done ...")
// and, in a recursive run, adds its level ("make[1]: ...").
static bool isMakeUpToDateLine(const QString &line)
{
    static const QRegularExpression upToDate(
        QStringLiteral("make(\\.exe)?(\\[[0-9]+\\])?: Nothing to be done"),
        QRegularExpression::CaseInsensitiveOption);
    return upToDate.match(line).hasMatch();
}

bool Project::compile()
{
    if (!prepare())
        return false;
    const bool built = run(activeConfiguration()->targetName());
    if (built) {
        if (m_mainWindow)
            m_mainWindow->success(tr("Compiled successfully.\n"));
        m_rebuildAll = false;
    }
    return built;
}

bool Project::clean()
{
    if (!prepare())
        return false;
    const bool cleaned = run(QStringLiteral("clean"));
    if (cleaned && m_mainWindow)
        m_mainWindow->message(tr("Cleaned.\n"));
    return cleaned;
}

bool Project::tidy()
{
    if (!prepare())
        return false;
    const bool tidied = run(QStringLiteral("tidy"));
    if (tidied && m_mainWindow)
        m_mainWindow->message(tr("Tidied.\n"));
    return tidied;
}

bool Project::prepare()
{
    BuildProject *configuration = activeConfiguration();
    if (!configuration) {
        if (m_mainWindow)
            m_mainWindow->error(
                tr("Compilation failed. No project configurations defined, check the Project Settings."));
        return false;
    }
    if (m_manager)
        m_manager->selectConfiguration(configuration->name());
    if (m_mainWindow)
        m_mainWindow->clearOutput();
    if (!saveWithFiles(false)) {
        if (m_mainWindow)
            m_mainWindow->message(tr("Project must be saved before compilation"));
        return false;
    }
    const auto fail = [this](const QString &text) {
        if (m_mainWindow)
            m_mainWindow->error(text);
    };
    bool good = true;
    if (configuration->family().isEmpty()) {
        fail(tr("No controller family defined."));
        good = false;
    }
    if (configuration->controller().isEmpty()) {
        fail(tr("No controller defined."));
        good = false;
    }
    if (configuration->compilerName().isEmpty()) {
        fail(tr("No compiler defined."));
        good = false;
    } else if (!m_catalogue
               || !m_catalogue->names(true).contains(configuration->compilerName())) {
        fail(tr("The selected compiler '%1' is not installed.").arg(configuration->compilerName()));
        good = false;
    }
    if (!good) {
        fail(tr("Compilation failed. Check the Project Settings."));
        return false;
    }
    configuration->setProjectDirectory(projectDirectory());
    if (!MakefileWriter(*configuration).write()) {
        fail(tr("Cannot create Makefile."));
        return false;
    }
    if (m_manager)
        m_manager->clearUpToDate(projectDirectory(), this);
    m_upToDate = true;
    return true;
}

bool Project::hasSourceGroup() const
{
    const QString source = tr("source");
    const QString linker = tr("linker");
    for (const ProjectFile &file : m_files) {
        if (file.group.contains(source, Qt::CaseInsensitive)
            || file.group.contains(linker, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

static void collectFormats(const BuildNode *node, BuildMessageParser &parser)
{
    if (node->isLeaf())
        return;
    for (const MessageFormat &format : node->process()->messages())
        parser.addFormat(format);
    for (const auto &input : node->inputs)
        collectFormats(input.get(), parser);
}

bool Project::run(const QString &goal)
{
    if (m_building)
        return false;
    BusyCursor wait;
    m_building = true;
    const auto finish = [this](bool result) {
        m_building = false;
        if (m_mainWindow)
            m_mainWindow->setStatusMessage(QString());
        return result;
    };
    BuildProject *configuration = activeConfiguration();
    if (!configuration) {
        if (m_mainWindow)
            m_mainWindow->error(tr("Project configuration is not valid"));
        return finish(false);
    }
    m_parser = std::make_unique<BuildMessageParser>();
    m_resolvedNames.clear();
    if (configuration->root())
        collectFormats(configuration->root(), *m_parser);
    if (!hasSourceGroup()) {
        if (m_mainWindow)
            m_mainWindow->error(tr("No source files to build"));
        return finish(false);
    }
    const QString tools = m_mainWindow ? m_mainWindow->settingsStore().toolsDirectory()
                                       : QCoreApplication::applicationDirPath();
    const QString make = QDir(tools).filePath(QStringLiteral("make.exe"));
    if (!QFileInfo::exists(make)) {
        if (m_mainWindow)
            m_mainWindow->message(tr("make.exe does not exist in path '%1'").arg(make));
        return finish(false);
    }
    bool failed = false;
    const QString compilerDirectory = configuration->compiler()
                                          ? configuration->compiler()->compilerDirectory()
                                          : QString();
    if (compilerDirectory.isEmpty()) {
        if (m_mainWindow)
            m_mainWindow->error(tr("Compiler is not configured.\n"));
        for (const QString &file : std::as_const(configuration->errorFiles))
            QFile::remove(file);
        readErrorFiles();
        return finish(false);
    }

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PATH"),
                       environment.value(QStringLiteral("PATH")) + QDir::listSeparator()
                           + QDir::toNativeSeparators(compilerDirectory));
    const TemplateExpander expander(*configuration);
    for (const EnvironmentEntry &entry :
         configuration->compiler()->environment(configuration->family(),
                                                configuration->controller(),
                                                configuration->targetName())) {
        EnvironmentEntry expanded = entry;
        expanded.name = expander.expand(entry.name, nullptr);
        expanded.value = expander.expand(entry.value, nullptr);
        environment.insert(expanded.name,
                           expanded.applyTo(environment.value(expanded.name)));
    }
    QStringList arguments;
    if (m_rebuildAll)
        arguments << QStringLiteral("-B");
    arguments << QDir::toNativeSeparators(
        QStringLiteral("--makefile=%1/Makefile").arg(configuration->targetName()));
    if (!goal.isEmpty())
        arguments << goal;
    if (goal == QLatin1String("clean"))
        arguments << QStringLiteral("-s");

    QProcess process;
    m_process = &process;
    process.setWorkingDirectory(configuration->projectDirectory());
    process.setProcessEnvironment(environment);
    // make and the compilers it starts end with the run, or with the program if it dies.
    const Platform::ProcessGroupWatch watch(process);
    connect(&process, &QProcess::readyReadStandardOutput, this, &Project::readyReadStandardOutput);
    connect(&process, &QProcess::readyReadStandardError, this, &Project::readyReadStandardError);
    for (const QString &file : std::as_const(configuration->errorFiles))
        QFile::remove(file);
    m_abortRequested = false;
    if (m_mainWindow)
        m_mainWindow->setStatusMessage(goal == QLatin1String("clean") ? tr("Cleaning")
                                                                      : tr("Building"));
    m_pendingOutput.clear();
    m_pendingErrors.clear();
    process.start(make, arguments, QIODevice::ReadWrite);
    for (int i = 0; i < 100 && process.state() == QProcess::Starting; ++i) {
        QCoreApplication::processEvents();
        process.waitForStarted(5);
    }
    while (process.state() != QProcess::NotRunning && !m_abortRequested)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    if (m_abortRequested) {
        // The compilers make started go with it.
        if (process.state() != QProcess::NotRunning) {
            Platform::killProcessGroup(process.processId());
            process.kill();
            process.waitForFinished(3000);
        }
        if (m_mainWindow)
            m_mainWindow->message(goal == QLatin1String("clean") ? tr("Clean aborted by user\n")
                                                                : tr("Build aborted by user\n"));
        failed = true;
    }
    if (!failed) {
        readyReadStandardOutput();
        readyReadStandardError();
        // What is left without a line end is a line too.
        if (!m_pendingOutput.isEmpty())
            showOutputLine(QString::fromLocal8Bit(m_pendingOutput), false);
        if (!m_pendingErrors.isEmpty())
            showOutputLine(QString::fromLocal8Bit(m_pendingErrors), true);
    }
    m_pendingOutput.clear();
    m_pendingErrors.clear();
    readErrorFiles();
    if (!failed) {
        if (process.error() == QProcess::FailedToStart
            || process.exitStatus() == QProcess::CrashExit) {
            if (m_mainWindow)
                m_mainWindow->message(tr("Process seems to be crashed: %1\n").arg(process.errorString()));
            failed = true;
        } else if (process.exitCode() != 0) {
            if (m_mainWindow)
                m_mainWindow->message(tr("Error code %1\n").arg(process.exitCode()));
            failed = true;
        }
    }
    disconnect(&process, nullptr, this, nullptr);
    m_process = nullptr;
    return finish(!failed);
}

void Project::stopBuildNow()
{
    if (!m_building)
        return;
    m_abortRequested = true;
    if (m_process && m_process->state() != QProcess::NotRunning)
        Platform::killProcessGroup(m_process->processId());
}

QString Project::resolveMessageFile(const QString &name) const
{
    // A compiler names the same few files again and again.
    const auto known = m_resolvedNames.constFind(name);
    if (known != m_resolvedNames.constEnd())
        return *known;
    QString &resolved = m_resolvedNames[name];
    for (const ProjectFile &file : m_files) {
        if (QFileInfo(file.path).fileName() == QFileInfo(name).fileName()
            && QFileInfo::exists(file.path))
            return resolved = file.path;
    }
    const BuildProject *configuration = activeConfiguration();
    const QFileInfo inProject(QDir(projectDirectory()), name);
    if (inProject.exists())
        return resolved = QDir::cleanPath(inProject.absoluteFilePath());
    if (configuration) {
        const QFileInfo inOutput(QDir(projectDirectory() + QLatin1Char('/')
                                      + configuration->targetName()),
                                 name);
        if (inOutput.exists())
            return resolved = QDir::cleanPath(inOutput.absoluteFilePath());
    }
    return resolved;
}

void Project::showOutputLine(const QString &rawLine, bool fromErrorChannel)
{
    QString line = rawLine;
    line.remove(QLatin1Char('\r'));
    line.remove(QLatin1Char('\n'));
    if (line.isEmpty() || !m_mainWindow)
        return;
    BuildMessageParser::Position position;
    const auto resolver = [this](const QString &name) { return resolveMessageFile(name); };
    if (m_parser && m_parser->parse(line, resolver, position)) {
        if (fromErrorChannel)
            m_mainWindow->errorLink(position.file, position.line, position.column, line);
        else
            m_mainWindow->link(position.file, position.line, position.column, line);
    } else if (fromErrorChannel) {
        m_mainWindow->error(line);
    } else if (m_parser && m_parser->matchesAny(line)) {
        m_mainWindow->error(line);
    } else if (isMakeUpToDateLine(line)) {
        m_mainWindow->message(tr("Already compiled, target is up to date."));
    } else {
        m_mainWindow->message(line);
    }
}

// Lines are shown as they complete; a line cut by the pipe waits for its end.
static QStringList completeLines(QByteArray &pending, const QByteArray &data)
{
    pending += data;
    const int end = pending.lastIndexOf('\n');
    if (end < 0)
        return {};
    const QString text = QString::fromLocal8Bit(pending.left(end));
    pending.remove(0, end + 1);
    return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void Project::readyReadStandardOutput()
{
    if (!m_process)
        return;
    for (const QString &line : completeLines(m_pendingOutput, m_process->readAllStandardOutput()))
        showOutputLine(line, false);
}

void Project::readyReadStandardError()
{
    if (!m_process)
        return;
    for (const QString &line : completeLines(m_pendingErrors, m_process->readAllStandardError()))
        showOutputLine(line, true);
}

void Project::readErrorFiles()
{
    const BuildProject *configuration = activeConfiguration();
    if (!configuration || !m_mainWindow)
        return;
    const auto resolver = [this](const QString &name) { return resolveMessageFile(name); };
    for (int i = 0; i < configuration->errorFiles.size(); ++i) {
        QFile file(configuration->errorFiles.at(i));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            continue;
        QTextStream in(&file);
        while (!in.atEnd()) {
            QString line = in.readLine();
            line.remove(QLatin1Char('\r'));
            BuildMessageParser::Position position;
            if (m_parser && m_parser->parse(line, resolver, position))
                m_mainWindow->errorLink(position.file, position.line, position.column, line);
            else if (m_parser && m_parser->matchesAny(line))
                m_mainWindow->error(line);
            else if (!configuration->hideUnmatched.value(i))
                m_mainWindow->message(line);
        }
    }
}
