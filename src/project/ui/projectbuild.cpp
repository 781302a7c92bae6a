// Building a project: preparing the Makefile and running make with the compiler's messages
// turned into links.

#include "project.h"

#include "build/buildproject.h"
#include "build/buildrun.h"
#include "build/makefilewriter.h"
#include "core/commandstate.h"
#include "core/editorservices.h"
#include "core/mainservices.h"
#include "core/settingsfiles.h"
#include "core/settingsstore.h"
#include "core/ui/busycursor.h"
#include "core/ui/prompts.h"
#include "platform/boundedfile.h"
#include "toolchain/buildconfig.h"
#include "toolchain/buildconfiglist.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <QSysInfo>

namespace {

// Held by a build in its output folder from the Makefile's writing to make's end.
QString buildLockPath(const BuildProject &configuration)
{
    return configuration.outputDirectory() + QStringLiteral("/.dyxstudio-build.lock");
}

} // namespace

bool Project::compile()
{
    const auto release = qScopeGuard([this] { m_buildLock.reset(); });
    return prepare() && toolOptionsAllowed() && buildTarget();
}

bool Project::rebuild()
{
    const auto release = qScopeGuard([this] { m_buildLock.reset(); });
    if (!prepare() || !toolOptionsAllowed() || !run(QStringLiteral("clean")))
        return false;
    m_mainWindow.output().message(tr("Cleaned.\n"));
    return buildTarget();
}

// A project file comes from anywhere; its options reach the compilers as typed. Those that make
// a compiler run or load a program they name, or write outside the project, are allowed by the
// user once for each project file (the options the user types in the project's settings too),
// never silently: leave given to one project is none for another that names the same option.
bool Project::toolOptionsAllowed()
{
    return leaveGiven(
        activeConfiguration()->optionsActingOutside(),
        tr("The project %1 gives its tools options that let them run other programs or write "
           "files outside the project:\n%2"),
        tr("Not built: the options that let the tools run other programs or write outside the "
           "project were not allowed."),
        tr("Not built: the project gives its tools options that let them run other programs or "
           "write files outside the project (%1). Build it once in the window and allow them, or "
           "set DYX_TRUST_TOOL_OPTIONS=1."));
}

// The build writes and removes files in the output folder. A project folder brought along can
// hold a link there, to a folder of the user's (the home folder, one whose files a shell or the
// desktop runs): it is followed out of the project only with the user's leave, given as for
// the options above.
bool Project::outputFolderAllowed(const BuildProject &configuration)
{
    const QFileInfo folder(configuration.outputDirectory());
    if (!folder.isSymLink())
        return true;
    const QString target = folder.exists() ? folder.canonicalFilePath() : folder.symLinkTarget();
    const QString project = QFileInfo(projectDirectory()).canonicalFilePath();
    if (!project.isEmpty() && target.startsWith(project + QLatin1Char('/')))
        return true;
    return leaveGiven(
        {tr("output folder %1 -> %2")
             .arg(configuration.targetName(), QDir::toNativeSeparators(target))},
        tr("The project %1 builds in a folder outside the project, where the build writes and "
           "removes files:\n%2"),
        tr("Not built: the output folder outside the project was not allowed."),
        tr("Not built: the project builds in a folder outside the project (%1). Build it once "
           "in the window and allow it, or set DYX_TRUST_TOOL_OPTIONS=1."));
}

// Whether what the project makes its build do outside the project may be done: allowed before
// on this machine for this project file, or now by the user in the window. The question names
// the project and what it does; the two refusals are the window's and the command line's.
bool Project::leaveGiven(const QStringList &acting,
                         const QString &question,
                         const QString &refused,
                         const QString &refusedUnasked)
{
    static const QString allowedKey = QStringLiteral("allowedToolOptions");
    static const QString projectKey = QStringLiteral("project");
    static const QString optionKey = QStringLiteral("option");
    QSettings &store = m_mainWindow.files().settingsStore().settings();
    QList<QPair<QString, QString>> given;
    QStringList allowed;
    const int count = boundedArraySize(store.beginReadArray(allowedKey));
    for (int i = 0; i < count; ++i) {
        store.setArrayIndex(i);
        given.append({store.value(projectKey).toString(), store.value(optionKey).toString()});
        if (given.last().first == m_filePath)
            allowed.append(given.last().second);
    }
    store.endArray();
    QStringList asked;
    for (const QString &option : acting) {
        if (!allowed.contains(option))
            asked.append(option);
    }
    if (asked.isEmpty() || !qEnvironmentVariableIsEmpty("DYX_TRUST_TOOL_OPTIONS"))
        return true;
    // A few of them, each cut short: a project file may hold thousands, or megabytes in one.
    QStringList shown;
    for (const QString &option : asked.mid(0, 8))
        shown.append(option.size() > 160 ? option.left(160) + QChar(0x2026) : option);
    if (asked.size() > shown.size())
        shown.append(tr("and %n more", nullptr, int(asked.size() - shown.size())));
    QWidget *window = m_mainWindow.commands().mainWidget();
    if (window && window->isVisible()) {
        const QMessageBox::StandardButton answer = Prompts::instance().message(
            QMessageBox::Warning,
            window,
            tr("Build"),
            question.arg(m_name, shown.join(QLatin1Char('\n'))),
            QMessageBox::Yes | QMessageBox::Cancel,
            QMessageBox::Cancel,
            tr("Build it only if you trust where the project came from."),
            {{QMessageBox::Yes, tr("Build")}});
        if (answer == QMessageBox::Yes) {
            for (const QString &option : std::as_const(asked))
                given.append({m_filePath, option});
            store.beginWriteArray(allowedKey, int(given.size()));
            for (int i = 0; i < given.size(); ++i) {
                store.setArrayIndex(i);
                store.setValue(projectKey, given.at(i).first);
                store.setValue(optionKey, given.at(i).second);
            }
            store.endArray();
            return true;
        }
        m_mainWindow.output().error(refused);
        return false;
    }
    // From the command line nothing asks.
    m_mainWindow.output().error(refusedUnasked.arg(shown.join(QStringLiteral(", "))));
    return false;
}

bool Project::buildTarget()
{
    m_mainWindow.editors().buildStarts();
    const bool built = run(activeConfiguration()->targetName());
    m_mainWindow.editors().buildEnded(built);
    if (built) {
        m_mainWindow.output().success(tr("Compiled successfully.\n"));
        m_rebuildAll = false;
    }
    return built;
}

bool Project::firmwareIsCurrent()
{
    BuildProject *configuration = activeConfiguration();
    if (!configuration || isModified() || !QFileInfo::exists(targetPath()))
        return false;
    for (const ProjectFile &file : m_files) {
        if (!m_mainWindow.editors().modifiedEditorTitle(file.path).isEmpty())
            return false;
    }
    // A file of the folder with unsaved text (a header the sources include): a build comes
    // first, and says so.
    if (!unsavedFilesOfFolder().isEmpty())
        return false;
    configuration->setProjectDirectory(projectDirectory());
    QString text;
    QByteArray written;
    MakefileWriter writer(*configuration);
    if (!writer.generate(text)
        || !Platform::readBoundedFile(MakefileWriter::makefilePath(*configuration),
                                      Platform::maxSourceFileBytes,
                                      written,
                                      nullptr)
        || written != text.toLocal8Bit())
        return false;
    // A build runs in the folder, or one never ended (its program was killed): what it made may
    // be half made, however make sees it.
    if (QFileInfo::exists(buildLockPath(*configuration)))
        return false;
    // make's question reads the dependency files as a build does.
    if (!writer.checkDependencyFiles())
        return false;
    // make's question mode: the exit code says whether anything would be made.
    QProcess make;
    make.setWorkingDirectory(projectDirectory());
    make.setStandardInputFile(QProcess::nullDevice());
    make.start(QDir(m_mainWindow.files().settingsStore().toolsDirectory())
                   .filePath(QStringLiteral("make.exe")),
               {QStringLiteral("-q"),
                QStringLiteral("--makefile=%1/Makefile").arg(configuration->targetName()),
                configuration->targetName()});
    if (!make.waitForFinished(10000)) {
        make.kill();
        make.waitForFinished(1000);
        return false;
    }
    return make.exitStatus() == QProcess::NormalExit && make.exitCode() == 0;
}

QStringList Project::unsavedFilesOfFolder() const
{
    const QString folder = QDir(projectDirectory()).absolutePath() + QLatin1Char('/');
    QStringList files;
    for (const QString &path : m_mainWindow.editors().modifiedFiles()) {
        if (path.startsWith(folder))
            files.append(path);
    }
    return files;
}

bool Project::clean()
{
    const auto release = qScopeGuard([this] { m_buildLock.reset(); });
    if (!prepare())
        return false;
    const bool cleaned = run(QStringLiteral("clean"));
    if (cleaned)
        m_mainWindow.output().message(tr("Cleaned.\n"));
    return cleaned;
}

bool Project::tidy()
{
    const auto release = qScopeGuard([this] { m_buildLock.reset(); });
    if (!prepare())
        return false;
    const bool tidied = run(QStringLiteral("tidy"));
    if (tidied)
        m_mainWindow.output().message(tr("Tidied.\n"));
    return tidied;
}

bool Project::prepare()
{
    BuildProject *configuration = activeConfiguration();
    if (!configuration) {
        m_mainWindow.output().error(
            tr("Compilation failed. No project configurations defined, check the Project "
               "Settings."));
        return false;
    }
    emit configurationSelected(configuration->name());
    m_mainWindow.output().clearOutput();
    if (!saveWithFiles(false)) {
        m_mainWindow.output().message(tr("Project must be saved before compilation"));
        return false;
    }
    // Files of the folder that are no files of the project (a header the sources include) are
    // saved only by the user: the build reads them as they are on the disk.
    for (const QString &path : unsavedFilesOfFolder())
        m_mainWindow.output().message(
            tr("%1 has unsaved changes, which this build does not see.")
                .arg(QDir::toNativeSeparators(QDir(projectDirectory()).relativeFilePath(path))));
    const auto fail = [this](const QString &text) { m_mainWindow.output().error(text); };
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
    } else if (!m_catalogue || !m_catalogue->names(true).contains(configuration->compilerName())) {
        fail(tr("The selected compiler '%1' is not installed.").arg(configuration->compilerName()));
        // The fix is not in the project: the compiler may be installed but not yet found.
        fail(tr("If it is installed, Config > Compilers Configuration > Check All finds it."));
        good = false;
    }
    if (!good) {
        fail(tr("Compilation failed. Check the Project Settings."));
        return false;
    }
    configuration->setProjectDirectory(projectDirectory());
    qint64 interruptedNs = -1;
    if (!outputFolderAllowed(*configuration) || !takeBuildLock(*configuration, interruptedNs))
        return false;
    MakefileWriter makefile(*configuration);
    makefile.setInterruptedBuild(interruptedNs);
    if (!makefile.write()) {
        fail(tr("Cannot create Makefile."));
        return false;
    }
    emit makefileWritten(projectDirectory());
    m_upToDate = true;
    return true;
}

// One build at a time in an output folder: the lock is held until the build command ends. A
// lock whose program has ended, or that came with a copy of the folder from another machine,
// is taken over; a folder that cannot be written is left to the Makefile to report. Only a
// folder the compiler names: a project file's own, which the Makefile refuses, may lead
// anywhere. A lock taken over tells when the build that left it started.
bool Project::takeBuildLock(const BuildProject &configuration, qint64 &interruptedNs)
{
    if (!configuration.selectedTarget())
        return true;
    const QString output = configuration.outputDirectory();
    QDir().mkpath(output);
    const QString lock = buildLockPath(configuration);
    // What an archive can bring under that name is no lock of a build: a link, a FIFO (whose
    // reading would wait for ever), a folder, a file larger than any lock. It goes; a folder
    // with something in it is left to the user.
    const QFileInfo found(lock);
    if (found.isSymLink() || (found.exists() && !found.isFile() && !found.isDir())
        || (found.isFile() && found.size() > 4096))
        QFile::remove(lock);
    else if (found.isDir() && !QDir().rmdir(lock)) {
        m_mainWindow.output().error(
            tr("%1 is no lock of a build; remove it to build.").arg(QDir::toNativeSeparators(lock)));
        return false;
    }
    m_buildLock.reset();
    const QFileInfo left(lock); // by a build that still runs, or one that never ended
    const qint64 leftNs = left.isFile() ? left.lastModified().toMSecsSinceEpoch() * 1000000 : -1;
    m_buildLock = std::make_unique<QLockFile>(lock);
    m_buildLock->setStaleLockTime(0);
    qint64 pid = 0;
    QString host;
    QString holder;
    if (!m_buildLock->tryLock() && m_buildLock->getLockInfo(&pid, &host, &holder)
        && host != QSysInfo::machineHostName())
        m_buildLock->removeStaleLockFile();
    if (m_buildLock->isLocked() || m_buildLock->tryLock()) {
        interruptedNs = leftNs;
        return true;
    }
    const bool held = m_buildLock->error() == QLockFile::LockFailedError;
    m_buildLock.reset();
    if (held)
        m_mainWindow.output().error(tr("Another build in %1 is running (in another window, or "
                                       "from the command line); build again when it has ended.")
                                        .arg(QDir::toNativeSeparators(output)));
    return !held;
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

bool Project::run(const QString &goal)
{
    if (m_buildRun->isRunning())
        return false;
    BusyCursor wait;
    BuildRun::Request request;
    request.configuration = activeConfiguration();
    request.goal = goal;
    for (const ProjectFile &file : m_files)
        request.projectFiles.append(file.path);
    request.hasSourceGroup = hasSourceGroup();
    request.rebuildAll = m_rebuildAll;
    request.jobs = m_mainWindow.files().settingsStore().buildJobs();
    request.toolsDirectory = m_mainWindow.files().settingsStore().toolsDirectory();
    return m_buildRun->run(request);
}

bool Project::isBuilding() const
{
    return m_buildRun->isRunning();
}

void Project::abortBuild()
{
    m_buildRun->abort();
}

void Project::stopBuildNow()
{
    m_buildRun->stopNow();
}

void Project::readyReadStandardOutput()
{
    m_buildRun->readyReadStandardOutput();
}

void Project::readyReadStandardError()
{
    m_buildRun->readyReadStandardError();
}
