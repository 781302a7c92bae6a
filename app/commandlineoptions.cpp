#include "commandlineoptions.h"

#include "srcmanager.h"

#include "platform/caseinsensitivepath.h"
#include "project/projectsmanager.h"

CommandLineOptions::CommandLineOptions(SrcManager *window, const QStringList *arguments)
    : m_window(window)
    , m_arguments(arguments)
{}

CommandLineOptions::~CommandLineOptions() = default;

static bool is(const QString &argument, const char *option)
{
    return argument.compare(QLatin1String(option), Qt::CaseInsensitive) == 0;
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
    }
}
