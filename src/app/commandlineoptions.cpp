#include "commandlineoptions.h"

#include "srcmanager.h"

#include "build/buildproject.h"
#include "platform/caseinsensitivepath.h"
#include "project/project.h"
#include "project/projectsmanager.h"

#include <QCoreApplication>

CommandLineOptions::CommandLineOptions(SrcManager *window, const QStringList *arguments)
    : m_window(window)
    , m_arguments(arguments)
{}

CommandLineOptions::~CommandLineOptions() = default;

static bool is(const QString &argument, const char *option)
{
    return argument.compare(QLatin1String(option), Qt::CaseInsensitive) == 0;
}

void CommandLineOptions::selectConfiguration(const QString &name)
{
    Project *project = m_window->projectsManager()->currentProject();
    if (project) {
        for (int i = 0; i < project->configurationCount(); ++i) {
            if (project->configuration(i)->name() == name) {
                project->setActiveConfiguration(i);
                m_window->updateBuildTargets(name);
                return;
            }
        }
    }
    m_window->output().error(
        QCoreApplication::translate("SrcManager", "No configuration named %1.").arg(name));
    m_runFailed = true;
}

void CommandLineOptions::apply()
{
    if (!m_arguments)
        return;
    for (const QString &argument : *m_arguments) {
        if (is(argument, "--scan_compilers"))
            m_window->projectsManager()->scanCompilers();
        if (is(argument, "--scan_compilers_admin")) {
            m_window->reopenSettings(Platform::SettingsScope::Machine);
            m_window->projectsManager()->scanCompilers();
        }
        if (argument.endsWith(QLatin1String(".dyxp"), Qt::CaseInsensitive))
            m_window->projectsManager()->openProject(Platform::resolveCaseInsensitive(argument),
                                                     true);
        if (is(argument, "--quit") || is(argument, "-q"))
            m_quit = true;
        if (is(argument, "--advanced") || is(argument, "-a"))
            m_window->setAdvanced(true);
        // For scripts: build, clean or tidy the project opened before, in a configuration
        // chosen with --config=NAME.
        ProjectsManager *projects = m_window->projectsManager();
        if (argument.startsWith(QLatin1String("--config="), Qt::CaseInsensitive))
            selectConfiguration(argument.mid(9));
        if (is(argument, "--build")) {
            projects->compileProject();
            m_runFailed = !projects->takeRunsSucceeded() || m_runFailed;
        }
        if (is(argument, "--clean")) {
            projects->cleanProject();
            m_runFailed = !projects->takeRunsSucceeded() || m_runFailed;
        }
        if (is(argument, "--tidy")) {
            projects->tidyProject();
            m_runFailed = !projects->takeRunsSucceeded() || m_runFailed;
        }
    }
}
