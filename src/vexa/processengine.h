#pragma once

#include "engine.h"

#include <QByteArray>
#include <QHash>
#include <QProcess>
#include <QTemporaryDir>

#include <optional>

class QRegularExpression;

// An engine that is a command-line simulator driven through its console: each step is a
// batch of commands whose answer the engine waits for, never longer than a bound.
class ProcessEngine : public Engine
{
public:
    ProcessEngine();
    ~ProcessEngine() override;

    bool isLoaded() const override { return m_loaded; }
    QStringList pins() const override { return m_pins; }
    std::uint64_t timeNs() const override { return m_timeNs; }

protected:
    // Starts the program; false (with the error set) when it cannot run.
    bool startProgram(const QString &program, const QStringList &arguments);
    void stopProgram();
    // Sends the commands and collects the console's output until `done` matches it; empty
    // (with the error set) when the program ends or the bound passes first.
    std::optional<QString> converse(const QByteArray &commands,
                                    const QRegularExpression &done,
                                    int boundMs = 10000);
    // Waits at most boundMs for `done` to match what the console says from now on, adding it
    // to output. False when the bound passed or the program ended; nothing else happens then.
    bool waitFor(const QRegularExpression &done, int boundMs, QString &output);
    void setLevel(const QString &pin, bool level, std::uint64_t timeNs);
    // The firmware copied into the engine's own work folder, by a name of plain characters;
    // empty (with the error set) when it cannot be copied.
    QString privateCopy(const QString &firmware);

    QProcess m_process;
    // Where the commands go and the answers come from: the program's own console, unless it
    // serves one elsewhere.
    QIODevice *m_console = &m_process;
    // The engine's files, in the user's private folder, named after this process so that a
    // later start can remove them if this one is killed.
    QTemporaryDir m_work;
    QStringList m_pins;
    QHash<QString, bool> m_levels;
    bool m_loaded = false;
    std::uint64_t m_timeNs = 0;
    QString m_programName;
};
