// A project of a few thousand files: loading, regrouping and saving it, against reading and
// writing the same XML document alone.
#include "benchratio.h"

#include "build/buildproject.h"
#include "common/fakewindowservices.h"
#include "core/xmldocumentio.h"
#include "project/project.h"
#include "toolchain/buildconfiglist.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTreeWidget>

namespace {

constexpr int fileCount = 3000;

struct Fixture
{
    QTemporaryDir dir;
    FakeWindowServices services;
    std::unique_ptr<BuildConfigList> catalogue;
    QString projectFile;

    Fixture()
    {
        services.settingsStore().setDirectory(SettingsStore::Compilers,
                                              QStringLiteral(DYX_TEST_DATA "/compilers"));
        catalogue = std::make_unique<BuildConfigList>(&services);
        catalogue->load();
        projectFile = dir.filePath(QStringLiteral("big.dyxp"));
        QFile seed(projectFile);
        seed.open(QIODevice::WriteOnly);
        seed.write("<PROJECT><CONFIGURATION NAME=\"Debug\" COMPILER=\"Test CC\" TARGET=\"Debug\">"
                   "<CONTROLLER FAMILY=\"F1\" TYPE=\"A\"/></CONFIGURATION></PROJECT>");
        seed.close();
        Project project(catalogue.get(), &services);
        project.load(projectFile);
        for (int i = 0; i < fileCount; ++i) {
            const QString path = dir.filePath(
                QStringLiteral("module%1/file%2.%3").arg(i / 100).arg(i).arg(i % 5 == 0 ? "h" : "c"));
            QDir().mkpath(QFileInfo(path).absolutePath());
            QFile(path).open(QIODevice::WriteOnly);
            project.addFile(path);
        }
        project.save();
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
    for (auto _ : state) {
        Project project(f.catalogue.get(), &f.services);
        benchmark::DoNotOptimize(project.load(f.projectFile));
    }
}

void xmlRead(benchmark::State &state)
{
    Fixture &f = fixture();
    for (auto _ : state)
        benchmark::DoNotOptimize(XmlDocumentIo::load(f.projectFile, nullptr));
}

void projectRegroupAndSave(benchmark::State &state)
{
    Fixture &f = fixture();
    QTreeWidget tree;
    Project project(f.catalogue.get(), &f.services);
    project.load(f.projectFile);
    project.buildTree(nullptr, tree.invisibleRootItem());
    const QString copy = f.dir.filePath(QStringLiteral("copy.dyxp"));
    for (auto _ : state) {
        project.regroup();
        project.setModified(true);
        benchmark::DoNotOptimize(project.save());
    }
    Q_UNUSED(copy)
}

void xmlWrite(benchmark::State &state)
{
    Fixture &f = fixture();
    const QDomDocument document = *XmlDocumentIo::load(f.projectFile, nullptr);
    const QString copy = f.dir.filePath(QStringLiteral("copy.dyxp"));
    for (auto _ : state)
        benchmark::DoNotOptimize(XmlDocumentIo::save(document, copy));
}

} // namespace

BENCHMARK(projectLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(xmlRead)->Unit(benchmark::kMillisecond);
BENCHMARK(projectRegroupAndSave)->Unit(benchmark::kMillisecond);
BENCHMARK(xmlWrite)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    isolateSettings();
    QApplication app(argc, argv);
    return runBenchmarksWithRatios(argc,
                                   argv,
                                   {{"projectLoad", "xmlRead", 10.0},
                                    {"projectRegroupAndSave", "xmlWrite", 10.0}});
}
