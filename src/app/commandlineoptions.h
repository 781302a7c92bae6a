#pragma once

#include <QStringList>

class SrcManager;

// The options of the command line, applied to the main window before it is shown.
class CommandLineOptions
{
public:
    CommandLineOptions(SrcManager *window, const QStringList *arguments);
    virtual ~CommandLineOptions();

    // Walks the arguments after the program path, in order; an unknown option is named on
    // standard error and otherwise ignored.
    void apply();
    // What --help prints.
    static QString usage();

    // "--quit": the window is never shown and the program ends once the options have run.
    bool quit() const { return m_quit; }
    // Whether a project to open, or a build, clean or tidy asked for on the command line failed.
    bool runFailed() const { return m_runFailed; }

private:
    void selectConfiguration(const QString &name);

    SrcManager *m_window;
    const QStringList *m_arguments;
    bool m_quit = false;
    bool m_runFailed = false;
    // A --config named a configuration the project lacks: its build, clean, tidy and
    // simulation are skipped until another project opens, rather than run on the active one.
    bool m_configMissing = false;
};
