#include "channel/vexachannel.h"
#include "vexawindow.h"

#include "platform/platformpaths.h"
#include "platform/quitsignals.h"

#include <QApplication>
#include <QSessionManager>

#include <cstdlib>

namespace {
// The window while its event loop may run; exit() from within Qt finds it here.
VexaWindow *windowAtExit = nullptr;
} // namespace

int main(int argc, char *argv[])
{
    // The engines start in a work folder, VEXA in its design's.
    Platform::dropRelativePathEntries();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("VEXA"));
    VexaChannel::removeLeftovers();
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
    channel.onBreakpoints = [&window](const QString &text) {
        window.setBreakpoints(SourceBreakpoint::listFromText(text));
    };
    channel.onDebug = [&window](const QString &command, const QString &argument) {
        return window.debugCommand(command, argument) ? 1 : 0;
    };
    window.setChannel(&channel);
    // A log-out through the desktop's session manager, or the display going away (Qt ends the
    // program with exit()): the design's changes are kept before the window can no longer ask.
    QObject::connect(&app,
                     &QGuiApplication::commitDataRequest,
                     &window,
                     [&window](QSessionManager &) { window.keepDesign(); });
    windowAtExit = &window;
    std::atexit([] {
        if (windowAtExit)
            windowAtExit->keepDesignAtExit();
    });
    // The program that started this one ending (it asks with SIGTERM, however it ended
    // itself), a hang-up or an interrupt close the window, with no question: changes to the
    // design are saved, the engines end with it and its work folders and socket go.
    Platform::onQuitSignals(&window, [&window] {
        window.closeUnasked();
        QApplication::quit();
    });
    if (!channel.listen(QApplication::applicationPid())) {
        window.setChannel(nullptr);
        window.report(QApplication::translate("VexaWindow", "The IDE cannot reach this window: %1")
                          .arg(channel.errorString()));
    }
    window.show();
    const int code = app.exec();
    windowAtExit = nullptr;
    return code;
}
