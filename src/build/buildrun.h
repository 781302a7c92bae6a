#pragma once

#include <QObject>
#include <QStringList>

#include <memory>

class BuildConfig;
class BuildMessageParser;
class CommandState;
class BuildProject;
class MainServices;
class MessageFileResolver;
class OutputSink;
class QProcess;
class QProcessEnvironment;

// One run of make on a configuration's Makefile: the environment the compiler wants, make's
// lines turned into message, error and link lines of the output window, the error files read
// afterwards, and the abort. Runs on the calling thread, keeping the program alive by
// processing events while make runs.
class BuildRun : public QObject
{
    Q_OBJECT

public:
    explicit BuildRun(MainServices *mainWindow, QObject *parent = nullptr);
    ~BuildRun() override;

    struct Request
    {
        BuildProject *configuration = nullptr; // with its project directory set
        QString goal;
        QStringList projectFiles; // absolute paths: where message file names are looked up
        bool hasSourceGroup = false;
        bool rebuildAll = false; // make is given "-B"
        int jobs = 1;            // make runs this many jobs at once
        QString toolsDirectory;  // where make.exe is
    };

    // False when refused (a run is going on), failed or aborted.
    bool run(const Request &request);
    bool isRunning() const { return m_running; }
    // Asks the run to stop when it next looks.
    void abort() { m_abortRequested = true; }
    // Ends make and the compilers it started at once; the run then reports the abort.
    void stopNow();

    // Lines naming each of the compiler's tools that the environment's PATH finds elsewhere
    // before the compiler directory, and a compiler directory that does not exist.
    static QStringList toolsFoundElsewhere(const BuildConfig &compiler,
                                           const QProcessEnvironment &environment);

    // What one run shows at the most, so that a tool that floods without end fills no memory.
    static constexpr int maxShownLines = 1000000;
    static constexpr qint64 maxShownBytes = 64 * 1024 * 1024;
    // The longest line shown whole.
    static constexpr int maxShownLineChars = 64 * 1024;

public slots:
    void readyReadStandardOutput();
    void readyReadStandardError();

private:
    bool start(const Request &request);
    void takeOutput(QByteArray &pending, const QByteArray &data, bool fromErrorChannel);
    void showOutputLine(const QString &line, bool fromErrorChannel, qint64 moreBytes = 0);
    void showOutputBytes(const QByteArray &bytes, bool fromErrorChannel);
    // Whether the line still fits in what the run shows; the first that does not says so.
    bool shows(qint64 size);
    void readErrorFiles(const BuildProject &configuration);
    // startedNs: when make started, on the clock that dates files.
    bool outputsWritten(const BuildProject &configuration, qint64 startedNs);
    // Counts a compiler's message and marks the line it names.
    void countMessage(const QString &line, const QString &file, int lineNumber);
    void reportFirmwareSize(const BuildProject &configuration);

    CommandState &m_commands;
    OutputSink &m_output;
    bool m_running = false;
    bool m_abortRequested = false;
    QProcess *m_process = nullptr;
    std::unique_ptr<BuildMessageParser> m_parser;
    std::unique_ptr<MessageFileResolver> m_resolver;
    QByteArray m_pendingOutput;
    QByteArray m_pendingErrors;
    int m_errors = 0;
    int m_warnings = 0;
    int m_shownLines = 0;
    qint64 m_shownBytes = 0;
    bool m_outputCut = false;
};
