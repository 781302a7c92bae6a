#include "channel/vexachannel.h"
#include "vexawindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VEXA"));
    QString handOff;
    for (const QString &argument : QApplication::arguments().mid(1)) {
        if (argument.startsWith(QLatin1String("/P:"), Qt::CaseInsensitive))
            handOff = argument.mid(3);
    }
    VexaWindow window(handOff);
    VexaChannelServer channel;
    channel.onMessage = [&window](int message, int wParam, int) {
        return message == VexaChannel::commandMessage ? window.command(wParam) : 0;
    };
    channel.title = [&window] { return window.windowTitle(); };
    channel.bringToFront = [&window] {
        window.show();
        window.raise();
        window.activateWindow();
    };
    channel.onBatch = [&window](double seconds, const QString &trace) {
        window.setTimedRun(seconds, trace);
    };
    window.setChannel(&channel);
    if (!channel.listen(QApplication::applicationPid())) {
        window.setChannel(nullptr);
        qWarning("VEXA: the IDE cannot reach this window: %s", qPrintable(channel.errorString()));
    }
    window.show();
    return app.exec();
}
