#pragma once

#include <QLocalServer>
#include <QStringList>

// One window per user session, as the desktop's other editors have: a later start hands the
// files it was given to the running program and ends. The two meet at a socket in the user's
// own runtime folder (no other user can enter it), one for each settings folder and display.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    explicit SingleInstance(QObject *parent = nullptr);

    // The socket of this session's program.
    static QString socketPath();
    // Hands the paths (none: only show yourself) to the running program; false when none runs
    // (or the socket is not this user's), and the caller goes on alone.
    static bool handOver(const QStringList &paths);
    // Takes later starts' hand-overs; false when another program took the socket first.
    bool listen();

signals:
    // A later start's files, absolute; empty when it only asked for the window.
    void handedOver(const QStringList &paths);

private:
    void accept();

    QLocalServer m_server;
};
