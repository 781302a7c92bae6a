// Stands in for the simulator program in tests: it answers the IDE's channel at once and
// writes every request it handles to the file named by VEXA_STUB_LOG, one line each
// ("SEND 2", "SEND 4 AUTORUN=1", "FRONT"). VEXA_STUB_TITLE sets its window title;
// VEXA_STUB_SILENT=1 makes it hang on the first request for ten seconds and then end.
// VEXA_STUB_LISTEN_AS=<process id> makes it serve the channel of another process. The
// breakpoints it is given go to the same file's name with ".breaks" added.
#include "channel/vexachannel.h"

#include <QCoreApplication>
#include <QFile>
#include <QSettings>
#include <QThread>
#include <QTimer>

#include <cstdlib>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QString handOff;
    for (const QString &argument : QCoreApplication::arguments().mid(1)) {
        if (argument.startsWith(QLatin1String("/P:")))
            handOff = argument.mid(3);
    }
    const QString title = qEnvironmentVariableIsSet("VEXA_STUB_TITLE")
                              ? qEnvironmentVariable("VEXA_STUB_TITLE")
                              : QStringLiteral("VEXA - stand-in");
    const bool silent = qEnvironmentVariable("VEXA_STUB_SILENT") == QLatin1String("1");
    const auto log = [](const QString &line) {
        QFile file(qEnvironmentVariable("VEXA_STUB_LOG"));
        if (file.open(QIODevice::Append))
            file.write(line.toUtf8() + '\n');
    };
    VexaChannelServer channel;
    channel.title = [&] {
        // A hung simulator: nothing answers, until it gives up on its own.
        if (silent) {
            QThread::sleep(10);
            std::exit(0);
        }
        return title;
    };
    channel.onMessage = [&](int message, int code, int) {
        QString line = QStringLiteral("SEND %1").arg(code);
        if (message != VexaChannel::commandMessage)
            line = QStringLiteral("MESSAGE %1").arg(message);
        if (code == VexaChannel::ReloadHandOff) {
            QSettings file(handOff, QSettings::IniFormat);
            line += QStringLiteral(" AUTORUN=")
                    + file.value(QStringLiteral("CIRRANE/AUTORUN")).toString();
        }
        log(line);
        if (code == VexaChannel::CloseProgram)
            QTimer::singleShot(0, &app, &QCoreApplication::quit);
        return 1;
    };
    channel.bringToFront = [&] { log(QStringLiteral("FRONT")); };
    // The breakpoints it is given, apart: one line a time it is given them.
    channel.onBreakpoints = [](QString text) {
        QFile file(qEnvironmentVariable("VEXA_STUB_LOG") + QStringLiteral(".breaks"));
        if (file.open(QIODevice::Append))
            file.write(text.replace(QLatin1Char('\n'), QLatin1Char('|')).toUtf8() + '\n');
    };
    const qint64 serveAs = qEnvironmentVariableIsSet("VEXA_STUB_LISTEN_AS")
                               ? qEnvironmentVariable("VEXA_STUB_LISTEN_AS").toLongLong()
                               : QCoreApplication::applicationPid();
    if (!channel.listen(serveAs))
        return 2;
    // A test that never gets to close it does not leave it behind for long.
    QTimer::singleShot(60000, &app, &QCoreApplication::quit);
    return app.exec();
}
