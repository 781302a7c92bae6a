#include "startup.h"

#include "commandlineoptions.h"
#include "core/ui/prompts.h"
#include "singleinstance.h"
#include "srcmanager.h"

#include "build/ui/outwindow.h"
#include "platform/crashguard.h"
#include "platform/platformpaths.h"
#include "platform/quitsignals.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QSessionManager>
#include <QTimer>
#include <QTranslator>

#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {

// The window while its event loop may run; exit() from within Qt finds it here.
SrcManager *windowAtExit = nullptr;

void reportCrash(const CrashReport &report)
{
    bool created = false;
    const bool written = CrashGuard::writeDump(QStringLiteral("minidump.dmp"),
                                               report,
                                               QStringLiteral("Hello"),
                                               &created);
    // Without a dump file there is nothing to tell of.
    if (!created)
        return;
    Prompts::instance()
        .message(QMessageBox::Critical,
                 nullptr,
                 QCoreApplication::translate("SrcManager", "Crash"),
                 written ? QCoreApplication::translate("SrcManager", "Crashed, minidump created.")
                         : QCoreApplication::translate("SrcManager",
                                                       "Crashed, could not create minidump."));
}

bool hasArgument(int argc, char **argv, const char *option)
{
    for (int i = 1; i < argc; ++i) {
        if (QString::fromLocal8Bit(argv[i]).compare(QLatin1String(option), Qt::CaseInsensitive)
            == 0) {
            return true;
        }
    }
    return false;
}

QIcon *createApplicationIcon()
{
    auto *icon = new QIcon(QStringLiteral(":images/DYXStudio32.png"));
    const QString small = QStringLiteral(":images/DYXStudio16.png");
    const QSize size(16, 16);
    icon->addFile(small, size, QIcon::Normal, QIcon::On);
    icon->addFile(small, size, QIcon::Normal, QIcon::Off);
    icon->addFile(small, size, QIcon::Selected, QIcon::On);
    icon->addFile(small, size, QIcon::Selected, QIcon::Off);
    return icon;
}

// The crash tests need a fault inside the running event loop; DYX_CRASH_IN_EVENT_LOOP plants
// one.
void plantCrashForTests()
{
    if (qEnvironmentVariableIsEmpty("DYX_CRASH_IN_EVENT_LOOP"))
        return;
    QTimer::singleShot(0, [] { std::raise(SIGSEGV); });
}

} // namespace

int runDyxStudio(int &argc, char **argv)
{
    // Answered before any window or settings exist.
    if (hasArgument(argc, argv, "--help") || hasArgument(argc, argv, "-h")) {
        std::fputs(qPrintable(CommandLineOptions::usage()), stdout);
        return 0;
    }
    if (hasArgument(argc, argv, "--version")) {
        std::printf("DYX Studio %s\n", DYX_VERSION);
        return 0;
    }
    int exitCode = 0;
    QApplication *application = nullptr;
    QTranslator *qtTranslator = nullptr;
    QTranslator *appTranslator = nullptr;
    QIcon *icon = nullptr;
    SrcManager *window = nullptr;
    CommandLineOptions *options = nullptr;

    const auto markCrashed = [&exitCode] {
        if (exitCode == 0)
            exitCode = -1;
    };

    // Programs are started in projects' folders.
    Platform::dropRelativePathEntries();
    CrashGuard::run(
        [&] {
            application = new QApplication(argc, argv);
            QApplication::setApplicationName(QStringLiteral("DYX Studio"));
            QApplication::setApplicationVersion(QStringLiteral(DYX_VERSION));
            OutWindow::setEchoToConsole(hasArgument(argc, argv, "--print-output"));

            const QString locale = QLocale::system().name();
            qtTranslator = new QTranslator;
            (void) qtTranslator->load(QStringLiteral("qt_") + locale,
                                      QLibraryInfo::path(QLibraryInfo::TranslationsPath));
            QApplication::installTranslator(qtTranslator);
            appTranslator = new QTranslator;
            // The program's own, beside it: one in the folder it was started in may have come
            // with a downloaded project.
            (void) appTranslator->load(QStringLiteral("SrcManager_") + locale,
                                       QCoreApplication::applicationDirPath());
            QApplication::installTranslator(appTranslator);

            icon = createApplicationIcon();
            QApplication::setWindowIcon(*icon);

            // Started with files alone (from the file manager, say) while the program runs:
            // the running window opens them. Any option (--new-window among them) starts a
            // program of its own.
            QStringList files;
            bool alone = false;
            for (const QString &argument : QApplication::arguments().mid(1)) {
                if (argument.startsWith(QLatin1Char('-')))
                    alone = true;
                else
                    files.append(argument);
            }
            if (!alone && SingleInstance::handOver(files)) {
                delete icon;
                delete appTranslator;
                delete qtTranslator;
                delete application;
                return;
            }

            window = new SrcManager;
            window->detectCompilersOnFirstStart();
            const QStringList arguments = QApplication::arguments();
            options = new CommandLineOptions(window, &arguments);
            // The session or the system ending the window (or a hang-up or Ctrl+C) asks
            // nothing and keeps what is unsaved; every event loop ends, a dialog's among them,
            // even one shown before the main loop runs. A run from the command line alone just
            // ends, its build with it.
            if (!options->quit()) {
                // Qt ends the program with exit() when the display goes away under it.
                windowAtExit = window;
                static const bool registered = std::atexit([] {
                                                   if (windowAtExit)
                                                       windowAtExit->keepUnsavedWorkAtExit();
                                               })
                                               == 0;
                Q_UNUSED(registered);
                Platform::onQuitSignals(window, [window] {
                    window->endUnasked();
                    QApplication::exit(0);
                });
                // A log-out through the desktop's session manager: what is unsaved is kept
                // before the session may end, and asked about where the manager allows.
                QObject::connect(qApp,
                                 &QGuiApplication::commitDataRequest,
                                 window,
                                 [window](QSessionManager &manager) {
                                     if (!window->commitSessionData(manager.allowsInteraction()))
                                         manager.cancel();
                                     manager.release();
                                 });
            }
            options->apply();

            if (options->quit())
                exitCode = options->runFailed() ? 1 : 0;
            else {
                SingleInstance instance;
                if (instance.listen())
                    QObject::connect(&instance,
                                     &SingleInstance::handedOver,
                                     window,
                                     &SrcManager::openHandedOver);
                CrashGuard::run(
                    [&] {
                        // Each step may see the signal while it lets events through.
                        if (!window->isEndingUnasked()) {
                            window->show();
                            window->checkSimulatorInstallation();
                        }
                        if (!window->isEndingUnasked())
                            window->tellOfKeptCopies();
                        plantCrashForTests();
                        if (!window->isEndingUnasked())
                            exitCode = QApplication::exec();
                    },
                    reportCrash,
                    [&] {
                        window->saveAllEditors();
                        // What could not be saved stays in its copy; the others go.
                        window->keepUnsavedWorkMeanwhile();
                        markCrashed();
                    });
            }

            windowAtExit = nullptr;
            delete options;
            delete window;
            delete icon;
            delete appTranslator;
            delete qtTranslator;
            delete application;
        },
        reportCrash,
        markCrashed);
    return exitCode;
}
