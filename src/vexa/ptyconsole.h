#pragma once

#include <QIODevice>
#include <QString>

// A pseudo-terminal that an engine serves its command console on: the engine opens the
// terminal side by its name, this program reads and writes the other. The terminal is raw
// (no echo, no line editing, bytes as they are) and readable and writable by this user
// alone, so nobody else can talk to the engine through it. Reads never wait; the waits are
// bounded.
class PtyConsole : public QIODevice
{
public:
    ~PtyConsole() override;

    // Opens a new terminal; false with the reason in *error when the system gives none.
    bool openTerminal(QString *error);
    // The name the engine opens the terminal by.
    QString terminalName() const { return m_terminalName; }
    // How many bytes written here the engine has not read yet.
    qint64 unreadByTerminal() const;

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override;
    bool waitForReadyRead(int msecs) override;
    bool waitForBytesWritten(int msecs) override;
    void close() override;

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 maxSize) override;

private:
    int m_controller = -1;
    // This side keeps the terminal open too: while the engine has not opened it yet, or after
    // it ended, a read finds nothing instead of an error.
    int m_terminal = -1;
    QString m_terminalName;
};
