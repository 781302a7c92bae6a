// A project of a few thousand files: loading it (reading the file and giving its
// configurations their files), regrouping and saving it, against reading and writing the same
// XML document alone. And the program itself opening projects of 1,000 and 10,000 sources from
// its command line: ten times the files in at most ten times the time, and 10,000 files in
// under 3 s.
#include "benchratio.h"

#include "build/buildproject.h"
#include "common/fakemainservices.h"
#include "core/xmldocumentio.h"
#include "project/projectdocument.h"
#include "toolchain/buildconfiglist.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

namespace {

constexpr int fileCount = 3000;

struct Fixture
{
    QTemporaryDir dir;
    FakeMainServices services;
    std::unique_ptr<BuildConfigList> catalogue;
    QString projectFile;

    Fixture()
    {
        services.settingsStore().setDirectory(SettingsStore::Compilers,
                                              QStringLiteral(DYX_TEST_DATA "/compilers"));
        catalogue = std::make_unique<BuildConfigList>(&services);
        catalogue->load();
        projectFile = dir.filePath(QStringLiteral("big.dyxp"));
        QByteArray files;
        for (int i = 0; i < fileCount; ++i) {
            const QString name = QStringLiteral("module%1/file%2.%3")
                                     .arg(i / 100)
                                     .arg(i)
                                     .arg(i % 5 == 0 ? "h" : "c");
            QDir().mkpath(QFileInfo(dir.filePath(name)).absolutePath());
            QFile(dir.filePath(name)).open(QIODevice::WriteOnly);
            files += "<FILE NAME=\"" + name.toUtf8() + "\" GROUP=\"\"/>";
        }
        QFile seed(projectFile);
        seed.open(QIODevice::WriteOnly);
        seed.write("<PROJECT><FILES>" + files
                   + "</FILES><CONFIGURATION NAME=\"Debug\" COMPILER=\"Test CC\" "
                     "TARGET=\"Debug\"><CONTROLLER FAMILY=\"F1\" TYPE=\"A\"/></CONFIGURATION>"
                     "</PROJECT>");
        seed.close();
        // Saved as the program saves it, with every configuration's build steps.
        const std::optional<ProjectContents> project = load();
        XmlDocumentIo::save(ProjectDocument::write(project->record,
                                                   project->configurations,
                                                   projectFile),
                            projectFile);
    }

    // The project as the program loads it: its files named absolutely, each configuration
    // given them all.
    std::optional<ProjectContents> load()
    {
        const std::optional<QDomDocument> document = XmlDocumentIo::load(projectFile, nullptr);
        if (!document)
            return std::nullopt;
        std::optional<ProjectContents> contents = ProjectDocument::read(*document,
                                                                        projectFile,
                                                                        &services,
                                                                        catalogue.get());
        if (!contents)
            return std::nullopt;
        const QDir base(dir.path());
        QStringList paths;
        for (ProjectRecord::File &file : contents->record.files) {
            file.path = QDir::cleanPath(base.absoluteFilePath(file.path));
            paths.append(file.path);
        }
        for (const auto &configuration : contents->configurations)
            configuration->addFiles(paths, true);
        return contents;
    }
};

Fixture &fixture()
{
    static Fixture instance;
    return instance;
}

void projectLoad(benchmark::State &state)
{
    Fixture &f = fixture();
    for (auto _ : state)
        benchmark::DoNotOptimize(f.load());
}

void xmlRead(benchmark::State &state)
{
    Fixture &f = fixture();
    for (auto _ : state)
        benchmark::DoNotOptimize(XmlDocumentIo::load(f.projectFile, nullptr));
}

// Every file goes back to the group its type gives it, and the project is written.
void projectRegroupAndSave(benchmark::State &state)
{
    Fixture &f = fixture();
    std::optional<ProjectContents> project = f.load();
    const BuildConfig *compiler = project->configurations.front()->compiler();
    const QString copy = f.dir.filePath(QStringLiteral("copy.dyxp"));
    for (auto _ : state) {
        for (ProjectRecord::File &file : project->record.files)
            file.group = ProjectDocument::defaultGroup(file.path, compiler);
        benchmark::DoNotOptimize(XmlDocumentIo::save(ProjectDocument::write(project->record,
                                                                            project->configurations,
                                                                            copy),
                                                     copy));
    }
}

void xmlWrite(benchmark::State &state)
{
    Fixture &f = fixture();
    const QDomDocument document = *XmlDocumentIo::load(f.projectFile, nullptr);
    const QString copy = f.dir.filePath(QStringLiteral("copy.dyxp"));
    for (auto _ : state)
        benchmark::DoNotOptimize(XmlDocumentIo::save(document, copy));
}

// A project file as one written by hand lists its sources: every one takes its build steps
// when the project opens.
struct ProgramFixture
{
    QTemporaryDir dir;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();

    ProgramFixture()
    {
        for (const int count : {1000, 10000}) {
            QByteArray files;
            for (int i = 0; i < count; ++i) {
                const QString name = QStringLiteral("p%1/module%2/file%3.%4")
                                         .arg(count)
                                         .arg(i / 100)
                                         .arg(i)
                                         .arg(i % 5 == 0 ? "h" : "c");
                QDir().mkpath(QFileInfo(dir.filePath(name)).absolutePath());
                QFile(dir.filePath(name)).open(QIODevice::WriteOnly);
                files += "<FILE NAME=\"" + name.section(QLatin1Char('/'), 1).toUtf8()
                         + "\" GROUP=\"\"/>";
            }
            QFile project(projectFile(count));
            project.open(QIODevice::WriteOnly);
            project.write("<PROJECT><FILES>" + files
                          + "</FILES><CONFIGURATION NAME=\"Debug\" COMPILER=\"GNU AVR GCC\" "
                            "TARGET=\"Debug\"><CONTROLLER FAMILY=\"AVR\" TYPE=\"ATmega328P\" "
                            "CLOCK=\"16MHz\"/></CONFIGURATION></PROJECT>");
        }
        // A home of its own, in which the program has found the compilers once.
        environment.insert(QStringLiteral("HOME"), dir.filePath(QStringLiteral("home")));
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("home")));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        run({QStringLiteral("--scan_compilers"), QStringLiteral("--quit")});
    }
    QString projectFile(int count) const
    {
        return dir.filePath(QStringLiteral("p%1/big.dyxp").arg(count));
    }
    bool run(const QStringList &arguments) const
    {
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(DYX_PROGRAM), arguments);
        return program.waitForFinished(600000) && program.exitCode() == 0;
    }
};

ProgramFixture &programFixture()
{
    static ProgramFixture instance;
    return instance;
}

void programOpens(benchmark::State &state)
{
    ProgramFixture &f = programFixture();
    const QString project = f.projectFile(int(state.range(0)));
    for (auto _ : state) {
        if (!f.run({QStringLiteral("--quit"), project}))
            state.SkipWithError("the program did not open the project");
    }
}

} // namespace

BENCHMARK(programOpens)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(projectLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(xmlRead)->Unit(benchmark::kMillisecond);
BENCHMARK(projectRegroupAndSave)->Unit(benchmark::kMillisecond);
BENCHMARK(xmlWrite)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    isolateSettings();
    QCoreApplication app(argc, argv);
    return runBenchmarksWithRatios(argc,
                                   argv,
                                   {{"projectLoad", "xmlRead", 3.0},
                                    {"projectRegroupAndSave", "xmlWrite", 3.0},
                                    {"programOpens/10000/iterations:3",
                                     "programOpens/1000/iterations:3",
                                     10.0},
                                    {"programOpens/10000/iterations:3", "", 3.0}});
}
