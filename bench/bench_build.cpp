// Building through the program against running make alone on the same Makefile:
//  - a project of 200 C files compiled by avr-gcc, and built again with nothing to do, against
//    make asked whether anything is to be done;
//  - 20 MB of output without a line end against 20 MB of lines;
//  - 100,000 lines of compiler messages, half of them links, shown in the output window while
//    make writes them, against a plain text view given the same lines at once; with the
//    longest time the window stopped answering meanwhile.
#include "benchratio.h"

#include "build/ui/outtextedit.h"
#include "build/ui/outwindow.h"
#include "common/fakewindowservices.h"
#include "project/ui/project.h"
#include "toolchain/buildconfig.h"
#include "toolchain/buildconfiglist.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>
#include <vector>

namespace {

// The main window as far as a build needs it, with the real output window.
class BenchServices : public FakeWindowServices
{
public:
    OutWindow window{this};

    OutputSink &output() override { return window; }
};

void write(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(content);
}

struct BuildFixture
{
    QTemporaryDir dir;
    BenchServices services;
    std::unique_ptr<BuildConfigList> catalogue;
    std::unique_ptr<Project> project;

    BuildFixture(const QString &compilersDir, const QByteArray &projectXml)
    {
        services.settingsStore().setDirectory(SettingsStore::Compilers, compilersDir);
        services.settingsStore().setDirectory(SettingsStore::Tools, QStringLiteral(DYX_RUNTIME_DIR));
        catalogue = std::make_unique<BuildConfigList>(&services);
        catalogue->load();
        for (BuildConfig *config : catalogue->configurations())
            config->setConfigured(true, QStringLiteral("/usr/bin"));
        write(dir.filePath(QStringLiteral("bench.dyxp")), projectXml);
        project = std::make_unique<Project>(catalogue.get(), &services);
        project->load(dir.filePath(QStringLiteral("bench.dyxp")));
        services.window.resize(800, 300);
        services.window.show();
    }

    // make alone on the Makefile the last build wrote, its output thrown away; with jobs, as
    // many at once.
    void runMakeAlone(int jobs = 1, bool question = false)
    {
        QProcess make;
        make.setWorkingDirectory(dir.path());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
        make.setProcessEnvironment(environment);
        make.setStandardOutputFile(QProcess::nullDevice());
        make.setStandardErrorFile(QProcess::nullDevice());
        make.start(QStringLiteral("make"),
                   {question ? QStringLiteral("-q") : QStringLiteral("-B"),
                    QStringLiteral("-j%1").arg(jobs),
                    QStringLiteral("--makefile=Debug/Makefile"),
                    QStringLiteral("Debug")});
        make.waitForFinished(-1);
    }
};

// The fixtures live until the benchmarks end, then go with their folders before the
// application does.
std::vector<std::unique_ptr<BuildFixture>> &fixtures()
{
    static std::vector<std::unique_ptr<BuildFixture>> all;
    return all;
}

BuildFixture *keep(std::unique_ptr<BuildFixture> fixture)
{
    fixtures().push_back(std::move(fixture));
    return fixtures().back().get();
}

BuildFixture &avrProject()
{
    static BuildFixture *fixture = [] {
        QByteArray files;
        auto *f = keep(
            std::make_unique<BuildFixture>(QStringLiteral(DYX_SOURCE_DIR "/data/compilers"),
                                           QByteArray()));
        for (int i = 0; i < 200; ++i) {
            const QString name = QStringLiteral("src/unit%1.c").arg(i);
            write(f->dir.filePath(name),
                  QStringLiteral("int unit%1(int x) { return x * %1 + 1; }\n").arg(i).toUtf8());
            files += "<FILE NAME=\"" + name.toUtf8() + "\" GROUP=\"Source Files\"/>";
        }
        write(f->dir.filePath(QStringLiteral("src/main.c")), "int main(void) { for (;;) ; }\n");
        files += "<FILE NAME=\"src/main.c\" GROUP=\"Source Files\"/>";
        write(f->dir.filePath(QStringLiteral("bench.dyxp")),
              "<PROJECT><FILES>" + files
                  + "</FILES><CONFIGURATION NAME=\"Debug\" COMPILER=\"GNU AVR GCC\" "
                    "TARGET=\"Debug\"><CONTROLLER FAMILY=\"AVR\" TYPE=\"ATmega328P\" "
                    "CLOCK=\"16MHz\"/></CONFIGURATION></PROJECT>");
        f->project = std::make_unique<Project>(f->catalogue.get(), &f->services);
        f->project->load(f->dir.filePath(QStringLiteral("bench.dyxp")));
        return f;
    }();
    return *fixture;
}

BuildFixture &chattyProject()
{
    static BuildFixture *fixture = [] {
        static QTemporaryDir compilers;
        write(compilers.filePath(QStringLiteral("chatty.xml")),
              "<COMPILER NAME=\"Chatty\"><TOOL FILE=\"cat\" NAME=\"CAT\"/>"
              "<PROCESS TOOL=\"CAT\" NAME=\"talk\" CMDLINE=\"cat %INFILE% &amp;&amp; touch "
              "%OUTFILE%\">"
              "<FILE OUTPUT=\"done\" INPUT=\"log\"/>"
              "<MESSAGE VALUE=\"^([^:]+):([0-9]+):([0-9]+): (.*)$\"><FIELD NAME=\"FILENAME\" "
              "POSITION=\"1\"/><FIELD NAME=\"LINE\" POSITION=\"2\"/><FIELD NAME=\"COLUMN\" "
              "POSITION=\"3\"/></MESSAGE></PROCESS>"
              "<FILE NAME=\"log\" CATEGORY=\"Source\" SOURCE=\"1\"/>"
              "<FAMILY NAME=\"F\"><CONTROLLER NAME=\"C\"/></FAMILY>"
              "<TARGET NAME=\"Debug\"><FILE OUTPUT=\"done\"/></TARGET></COMPILER>");
        auto *f = keep(std::make_unique<BuildFixture>(compilers.path(), QByteArray()));
        QByteArray lines;
        lines.reserve(6 << 20);
        for (int i = 0; i < 50000; ++i) {
            lines += "main.c:" + QByteArray::number(i % 900 + 1) + ":5: warning: unused variable 'v"
                     + QByteArray::number(i) + "'\n";
            lines += "In function 'handler" + QByteArray::number(i) + "': note without a place\n";
        }
        write(f->dir.filePath(QStringLiteral("messages.log")), lines);
        write(f->dir.filePath(QStringLiteral("main.c")), "int main(void) { return 0; }\n");
        write(f->dir.filePath(QStringLiteral("bench.dyxp")),
              "<PROJECT><FILES><FILE NAME=\"messages.log\" GROUP=\"Source Files\"/>"
              "<FILE NAME=\"main.c\" GROUP=\"Other Files\"/></FILES>"
              "<CONFIGURATION NAME=\"Debug\" COMPILER=\"Chatty\" TARGET=\"Debug\">"
              "<CONTROLLER FAMILY=\"F\" TYPE=\"C\"/></CONFIGURATION></PROJECT>");
        f->project = std::make_unique<Project>(f->catalogue.get(), &f->services);
        f->project->load(f->dir.filePath(QStringLiteral("bench.dyxp")));
        return f;
    }();
    return *fixture;
}

// A tool that writes 20 MB, as lines or with no line end at all.
BuildFixture &floodProject(bool lines)
{
    static QTemporaryDir compilers;
    static BuildFixture *fixtures[2] = {nullptr, nullptr};
    BuildFixture *&fixture = fixtures[lines ? 1 : 0];
    if (fixture)
        return *fixture;
    write(compilers.filePath(QStringLiteral("flood.xml")),
          "<COMPILER NAME=\"Flood\"><TOOL FILE=\"cat\" NAME=\"CAT\"/>"
          "<PROCESS TOOL=\"CAT\" NAME=\"talk\" CMDLINE=\"cat %INFILE% &amp;&amp; touch "
          "%OUTFILE%\"><FILE OUTPUT=\"done\" INPUT=\"log\"/></PROCESS>"
          "<FILE NAME=\"log\" CATEGORY=\"Source\" SOURCE=\"1\"/>"
          "<FAMILY NAME=\"F\"><CONTROLLER NAME=\"C\"/></FAMILY>"
          "<TARGET NAME=\"Debug\"><FILE OUTPUT=\"done\"/></TARGET></COMPILER>");
    fixture = keep(std::make_unique<BuildFixture>(compilers.path(), QByteArray()));
    QByteArray text(20 << 20, 'x');
    for (int i = 99; lines && i < text.size(); i += 100)
        text[i] = '\n';
    write(fixture->dir.filePath(QStringLiteral("flood.log")), text);
    write(fixture->dir.filePath(QStringLiteral("bench.dyxp")),
          "<PROJECT><FILES><FILE NAME=\"flood.log\" GROUP=\"Source Files\"/></FILES>"
          "<CONFIGURATION NAME=\"Debug\" COMPILER=\"Flood\" TARGET=\"Debug\">"
          "<CONTROLLER FAMILY=\"F\" TYPE=\"C\"/></CONFIGURATION></PROJECT>");
    fixture->project = std::make_unique<Project>(fixture->catalogue.get(), &fixture->services);
    fixture->project->load(fixture->dir.filePath(QStringLiteral("bench.dyxp")));
    return *fixture;
}

void flood(benchmark::State &state, bool lines)
{
    BuildFixture &f = floodProject(lines);
    for (auto _ : state) {
        f.project->setRebuildAll(true);
        if (!f.project->compile())
            state.SkipWithError("the build failed");
        f.services.window.textView()->clear();
    }
}

void floodWithoutLineEnds(benchmark::State &state)
{
    flood(state, false);
}

void floodOfLines(benchmark::State &state)
{
    flood(state, true);
}

void build200Files(benchmark::State &state)
{
    BuildFixture &f = avrProject();
    for (auto _ : state) {
        f.project->setRebuildAll(true);
        if (!f.project->compile())
            state.SkipWithError("the build failed");
    }
}

void make200Files(benchmark::State &state)
{
    BuildFixture &f = avrProject();
    f.project->compile(); // writes the Makefile
    for (auto _ : state)
        f.runMakeAlone();
}

// make alone with as many jobs as the program gives it.
void makeParallel200Files(benchmark::State &state)
{
    BuildFixture &f = avrProject();
    f.project->compile();
    const int jobs = f.services.settingsStore().buildJobs();
    for (auto _ : state)
        f.runMakeAlone(jobs);
}

// A build with nothing to do: the program writes and compares the Makefile, runs make, and
// checks that every output is in place.
void nothingToDo200Files(benchmark::State &state)
{
    BuildFixture &f = avrProject();
    f.project->setRebuildAll(false);
    f.project->compile();
    for (auto _ : state) {
        if (!f.project->compile())
            state.SkipWithError("the build failed");
    }
}

// make alone, asked whether the firmware is up to date.
void makeQuestion200Files(benchmark::State &state)
{
    BuildFixture &f = avrProject();
    f.project->compile();
    for (auto _ : state)
        f.runMakeAlone(1, true);
}

void showMessages(benchmark::State &state)
{
    BuildFixture &f = chattyProject();
    // The longest time the window's thread went without turning to its events: a timer asks
    // every two milliseconds.
    QElapsedTimer sinceTick;
    qint64 longestPause = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(2);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestPause = std::max(longestPause, sinceTick.restart());
    });
    for (auto _ : state) {
        f.project->setRebuildAll(true);
        sinceTick.start();
        ticker.start();
        f.project->compile();
        // The last lines drawn.
        QCoreApplication::processEvents();
        longestPause = std::max(longestPause, sinceTick.elapsed());
        ticker.stop();
    }
    state.counters["longestPauseMs"] = double(longestPause);
    std::printf("longest pause of the window's thread: %lld ms (limit 50 ms) %s\n",
                static_cast<long long>(longestPause),
                longestPause <= 50 ? "ok" : "OVER");
    const int lines = f.services.window.textView()->lineCount();
    if (lines < 100000)
        state.SkipWithError(QStringLiteral("%1 lines shown").arg(lines).toStdString().c_str());
}

// The same lines appended to a plain text view in one run, as plain text, and shown.
void plainTextViewAlone(benchmark::State &state)
{
    QStringList lines;
    QFile log(chattyProject().dir.filePath(QStringLiteral("messages.log")));
    log.open(QIODevice::ReadOnly);
    for (const QByteArray &line : log.readAll().split('\n'))
        if (!line.isEmpty())
            lines.append(QString::fromUtf8(line));
    for (auto _ : state) {
        QPlainTextEdit view;
        view.setReadOnly(true);
        view.setLineWrapMode(QPlainTextEdit::NoWrap);
        view.resize(800, 300);
        view.show();
        view.appendPlainText(lines.join(QLatin1Char('\n')));
        QCoreApplication::processEvents();
        if (view.blockCount() != lines.size())
            state.SkipWithError("lines missing");
    }
}

} // namespace

BENCHMARK(build200Files)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(make200Files)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(makeParallel200Files)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(nothingToDo200Files)->Unit(benchmark::kMillisecond)->Iterations(20)->UseRealTime();
BENCHMARK(makeQuestion200Files)->Unit(benchmark::kMillisecond)->Iterations(20)->UseRealTime();
BENCHMARK(floodWithoutLineEnds)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(floodOfLines)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(showMessages)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(plainTextViewAlone)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    isolateSettings();
    QApplication app(argc, argv);
    const int result = runBenchmarksWithRatios(
        argc,
        argv,
        {// The program's cost over make running the same jobs.
         {"build200Files/iterations:3/real_time",
          "makeParallel200Files/iterations:3/real_time",
          1.10},
         // Every core at work, against make one job at a time.
         {"build200Files/iterations:3/real_time", "make200Files/iterations:3/real_time", 0.6},
         // Nothing to do: the program against make's own check.
         {"nothingToDo200Files/iterations:20/real_time",
          "makeQuestion200Files/iterations:20/real_time",
          1.2},
         // 20 MB without a line end, against 20 MB of lines.
         {"floodWithoutLineEnds/iterations:2/real_time", "floodOfLines/iterations:2/real_time", 1.2},
         // Lines shown while they arrive, against a plain
         // text view given them all at once.
         {"showMessages/iterations:3/real_time", "plainTextViewAlone/iterations:3/real_time", 1.0}});
    fixtures().clear();
    return result;
}
