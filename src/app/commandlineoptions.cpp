#include "commandlineoptions.h"

#include "srcmanager.h"

#include "build/buildproject.h"
#include "core/editorservices.h"
#include "platform/caseinsensitivepath.h"
#include "project/ui/project.h"
#include "project/ui/projectsmanager.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

static bool is(const QString &argument, const char *option)
{
    return argument.compare(QLatin1String(option), Qt::CaseInsensitive) == 0;
}

CommandLineOptions::CommandLineOptions(SrcManager *window, const QStringList *arguments)
    : m_window(window)
    , m_arguments(arguments)
{
    for (const QString &argument : arguments ? arguments->mid(1) : QStringList())
        m_quit = m_quit || is(argument, "--quit") || is(argument, "-q");
}

CommandLineOptions::~CommandLineOptions() = default;

void CommandLineOptions::selectConfiguration(const QString &name)
{
    Project *project = m_window->projectsManager()->currentProject();
    if (project) {
        for (int i = 0; i < project->configurationCount(); ++i) {
            if (project->configuration(i)->name() == name) {
                project->setActiveConfiguration(i);
                m_window->updateBuildTargets(name);
                m_configMissing = false;
                return;
            }
        }
    }
    m_window->output().error(
        QCoreApplication::translate("SrcManager", "No configuration named %1.").arg(name));
    m_runFailed = true;
    m_configMissing = true;
}

// Every option the program knows; an argument beginning with "-" that is none of them is
// named on standard error.
static bool isKnownOption(const QString &argument)
{
    for (const char *option : {"--scan_compilers",
                               "--scan_compilers_admin",
                               "--quit",
                               "-q",
                               "--advanced",
                               "-a",
                               "--build",
                               "--clean",
                               "--tidy",
                               "--print-output",
                               "--new-window"}) {
        if (is(argument, option))
            return true;
    }
    return argument.startsWith(QLatin1String("--config="), Qt::CaseInsensitive)
           || argument.startsWith(QLatin1String("--simulate="), Qt::CaseInsensitive)
           || argument.startsWith(QLatin1String("--trace="), Qt::CaseInsensitive);
}

QString CommandLineOptions::usage()
{
    return QCoreApplication::translate(
        "SrcManager",
        "Usage: dyxstudio [--scan_compilers | --scan_compilers_admin] [project.dyxp]\n"
        "                 [--config=NAME] [--build] [--clean] [--tidy] [--advanced]\n"
        "                 [--simulate=SECONDS] [--trace=FILE.vcd] [--print-output] [--quit]\n"
        "                 [--new-window]\n"
        "       dyxstudio --help | --version\n"
        "\n"
        "Options act in the order given.\n"
        "  --scan_compilers        detect the installed compilers\n"
        "  --scan_compilers_admin  the same, for all users\n"
        "  project.dyxp            open the project\n"
        "  --config=NAME           choose a configuration of the project opened before\n"
        "  --build, --clean, --tidy  build, clean or tidy that project\n"
        "  --simulate=SECONDS      run that project's firmware in VEXA for SECONDS of\n"
        "                          simulated time, as fast as it goes, then close VEXA\n"
        "  --trace=FILE.vcd        let that run write every pin change to FILE.vcd\n"
        "  --advanced, -a          show the advanced controls of the project settings\n"
        "  --print-output          also print every line of the output window\n"
        "  --new-window            start a window of its own; without it, files given to a\n"
        "                          second start open in the window already running\n"
        "  --quit, -q              run the other options and end without showing the window;\n"
        "                          the exit code is 1 when one of them failed\n"
        "  --help, -h              print this help\n"
        "  --version               print the version\n");
}

void CommandLineOptions::apply()
{
    if (!m_arguments)
        return;
    // The trace file is a setting of any simulation, wherever it stands on the line.
    QString traceFile;
    for (const QString &argument : m_arguments->mid(1)) {
        if (argument.startsWith(QLatin1String("--trace="), Qt::CaseInsensitive))
            traceFile = QFileInfo(argument.mid(8)).absoluteFilePath();
    }
    for (const QString &argument : m_arguments->mid(1)) {
        // The system ended the program meanwhile (a question was open).
        if (m_window->isEndingUnasked())
            return;
        if (argument.startsWith(QLatin1Char('-')) && !isKnownOption(argument)) {
            std::fprintf(stderr,
                         "%s\n",
                         qPrintable(QCoreApplication::translate("SrcManager",
                                                                "dyxstudio: unknown option '%1'")
                                        .arg(argument)));
        }
        if (is(argument, "--scan_compilers"))
            m_window->projectsManager()->scanCompilers();
        if (is(argument, "--scan_compilers_admin")) {
            m_window->reopenSettings(Platform::SettingsScope::Machine);
            m_window->projectsManager()->scanCompilers();
        }
        if (argument.endsWith(QLatin1String(".dyxp"), Qt::CaseInsensitive)) {
            // A project the session reopened stays open as it is, with its tabs.
            const QString project = Platform::resolveCaseInsensitive(argument);
            m_configMissing = false;
            if (m_window->projectsManager()->indexOfProject(project) < 0
                && !m_window->projectsManager()->openProject(project, true))
                m_runFailed = true;
        } else if (!argument.startsWith(QLatin1Char('-')) && QFileInfo(argument).isFile()) {
            m_window->editors().openFileAt(QFileInfo(argument).absoluteFilePath());
        }
        if (is(argument, "--advanced") || is(argument, "-a"))
            m_window->setAdvanced(true);
        // For scripts: build, clean or tidy the project opened before, in a configuration
        // chosen with --config=NAME.
        ProjectsManager *projects = m_window->projectsManager();
        if (argument.startsWith(QLatin1String("--config="), Qt::CaseInsensitive))
            selectConfiguration(argument.mid(9));
        if (m_configMissing)
            continue;
        if (is(argument, "--build")) {
            projects->compileProject();
            m_runFailed = !projects->takeRunsSucceeded() || m_runFailed;
        }
        if (is(argument, "--clean")) {
            projects->cleanProject();
            m_runFailed = !projects->takeRunsSucceeded() || m_runFailed;
        }
        if (argument.startsWith(QLatin1String("--simulate="), Qt::CaseInsensitive)) {
            bool ok = false;
            const double seconds = argument.mid(11).toDouble(&ok);
            if (!ok || seconds <= 0) {
                m_window->output().error(QCoreApplication::translate("SrcManager",
                                                                     "--simulate needs a number of "
                                                                     "seconds greater than 0."));
                m_runFailed = true;
            } else if (!projects->simulate(seconds, traceFile)) {
                m_runFailed = true;
            }
        }
        if (is(argument, "--tidy")) {
            projects->tidyProject();
            m_runFailed = !projects->takeRunsSucceeded() || m_runFailed;
        }
    }
}
