// Sequences of ordinary work against what a build from scratch gives: after any mix of source
// and header edits, option, controller and clock changes, configuration copies and switches,
// sources added, renamed and removed, builds that failed or were stopped half way through writing
// an output, and the project closed and opened again, a build gives byte for
// byte the firmware a clean build of the same project gives; and a project saved and opened
// again writes the same Makefiles.
//
// The sequences are random from a seed. DYX_SEQUENCE_SEED picks the seed and DYX_SEQUENCE_STEPS
// the number of steps (more than CI runs, on demand); a failure names the seed and the steps.

#include "build/buildproject.h"
#include "build/makefilewriter.h"
#include "common/fakewindowservices.h"
#include "common/projectedits.h"
#include "common/testfiles.h"
#include "project/ui/project.h"
#include "toolchain/buildconfig.h"
#include "toolchain/buildconfiglist.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

// A demonstration board and what may be changed about it.
struct Board
{
    QString folder;
    QString compiler;
    QStringList controllers;
    QString tool; // the tool whose option the steps change
    QString option;
    QStringList values;
    QStringList clocks;
    QStringList suffixes; // of the sources a step adds
    QString header;       // a header the added sources include
    QStringList stems;    // of the names of the sources a step adds
};

Board board(const QString &name)
{
    if (name == QLatin1String("AVR"))
        return {"AVR Blinky",
                "GNU AVR GCC",
                {"ATmega328P", "ATmega168", "ATmega644P"},
                "GCC",
                "-O",
                {"0", "1", "2", "s"},
                {"8MHz", "16MHz", "20 MHz"},
                {"c", "S", "c", "s"},
                // make's own characters in file names, which the compiler writes into the
                // dependency files as they are
                "gen (a=b%c:d#e).h",
                {"part (=%:#)", "part (;|$`)"}};
    if (name == QLatin1String("PIC16"))
        return {"PIC16 Blinky",
                "GNU PIC Utilities",
                {"PIC16F877A", "PIC16F876A"},
                "GPLINK",
                "-O",
                {"0", "1", "2"},
                {"4MHz", "8MHz"},
                {"asm"},
                "gen.inc",
                {"part"}};
    return {"8051 Blinky",
            "SDCC",
            {"AT89S52", "AT89C52"},
            "SDCC",
            "--model-",
            {"small", "large"},
            {"11.0592MHz", "12MHz"},
            {"c"},
            "gen.h",
            {"part"}};
}

QByteArray sourceText(const QString &suffix, int number, int value, const QString &header)
{
    const QByteArray n = QByteArray::number(number);
    const QByteArray v = QByteArray::number(value);
    const QByteArray h = header.toUtf8();
    if (suffix.compare(QLatin1String("s"), Qt::CaseInsensitive) == 0)
        return "#include <avr/io.h>\n.global part" + n + "\npart" + n + ":\n ldi r24, " + v
               + "\n out _SFR_IO_ADDR(PORTB), r24\n ret\n";
    if (suffix == QLatin1String("asm"))
        return "        #include <p16f877a.inc>\n        #include \"" + h
               + "\"\n        global part" + n + "\nPART" + n + " CODE\npart" + n
               + ":\n        movlw " + v + " + GEN_VALUE\n        return\n        end\n";
    return "#include \"" + h + "\"\nvolatile unsigned char part" + n + " = " + v
           + " + GEN_VALUE;\nunsigned char get" + n + "(void) { return part" + n + "; }\n";
}

QByteArray headerText(const QString &header, int value)
{
    if (header.endsWith(QLatin1String(".inc")))
        return "GEN_VALUE equ " + QByteArray::number(value) + "\n";
    return "#define GEN_VALUE " + QByteArray::number(value) + "\n";
}

// The firmware, and sdcc's debugging file, which names no folder and so is the same too.
QByteArray madeBy(const Project &project)
{
    const QFileInfo firmware(project.targetPath());
    return readFile(firmware.filePath())
           + readFile(firmware.path() + QLatin1Char('/') + firmware.completeBaseName() + ".cdb");
}

int envNumber(const char *name, int fallback)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok ? value : fallback;
}

} // namespace

class tst_BuildSequences : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void incrementalEqualsClean_data();
    void incrementalEqualsClean();
    void savedProjectWritesTheSameMakefiles_data();
    void savedProjectWritesTheSameMakefiles();
    void openingEqualsAddingOneByOne_data() { savedProjectWritesTheSameMakefiles_data(); }
    void openingEqualsAddingOneByOne();

private:
    std::unique_ptr<Project> open(const QString &path);
    // The firmware a build from nothing gives for the project as saved: the project's files
    // copied to a folder of their own and built there.
    bool cleanBuild(Project &project, QByteArray &firmware, QString &log);

    FakeWindowServices m_services;
    std::unique_ptr<BuildConfigList> m_catalogue;
};

void tst_BuildSequences::initTestCase()
{
    m_services.settingsStore().setDirectory(SettingsStore::Compilers,
                                            QStringLiteral(DYX_SOURCE_DIR "/data/compilers"));
    m_services.settingsStore().setDirectory(SettingsStore::Tools,
                                            QFileInfo(QStringLiteral(DYX_PROGRAM)).absolutePath());
    m_services.settingsStore().settings().setValue(QStringLiteral("buildJobs"), 2);
    m_catalogue = std::make_unique<BuildConfigList>(&m_services);
    QVERIFY(m_catalogue->load());
    for (const char *name : {"GNU AVR GCC", "GNU PIC Utilities", "SDCC"})
        m_catalogue->find(QString::fromLatin1(name))->setConfigured(true, QStringLiteral("/usr/bin"));
}

std::unique_ptr<Project> tst_BuildSequences::open(const QString &path)
{
    auto project = std::make_unique<Project>(m_catalogue.get(), &m_services);
    return project->load(path) ? std::move(project) : nullptr;
}

bool tst_BuildSequences::cleanBuild(Project &project, QByteArray &firmware, QString &log)
{
    QTemporaryDir scratch;
    const QDir from(project.projectDirectory());
    const QDir to(scratch.path());
    QStringList names{QFileInfo(project.filePath()).fileName()};
    for (int i = 0; i < project.fileCount(); ++i)
        names.append(project.relativeFilePath(i));
    for (const QString &name : std::as_const(names)) {
        to.mkpath(QFileInfo(name).path());
        QFile::copy(from.filePath(name), to.filePath(name));
    }
    auto fresh = open(to.filePath(QFileInfo(project.filePath()).fileName()));
    if (!fresh)
        return false;
    fresh->setActiveConfiguration(project.activeConfigurationIndex());
    m_services.lines.clear();
    const bool built = fresh->compile();
    log = m_services.lines.join(QLatin1Char('\n'));
    firmware = built ? madeBy(*fresh) : QByteArray();
    return built;
}

void tst_BuildSequences::incrementalEqualsClean_data()
{
    QTest::addColumn<QString>("boardName");
    QTest::addColumn<int>("steps");
    QTest::newRow("AVR") << "AVR" << envNumber("DYX_SEQUENCE_STEPS", 40);
    QTest::newRow("PIC16") << "PIC16" << envNumber("DYX_SEQUENCE_STEPS", 20);
    QTest::newRow("8051") << "8051" << envNumber("DYX_SEQUENCE_STEPS", 20);
}

void tst_BuildSequences::incrementalEqualsClean()
{
    QFETCH(QString, boardName);
    QFETCH(int, steps);
    const Board b = board(boardName);
    const quint32 seed = quint32(envNumber("DYX_SEQUENCE_SEED", 20261206));
    QRandomGenerator random(seed);
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("board"));
    QVERIFY(copyTree(QStringLiteral(DYX_SOURCE_DIR "/data/devboards/") + b.folder, folder));
    const QString path = folder + QLatin1Char('/') + b.folder + QStringLiteral(".dyxp");
    auto project = open(path);
    QVERIFY(project);
    QVERIFY(writeFile(folder + QLatin1Char('/') + b.header, headerText(b.header, 1)));
    QVERIFY(project->addFile(folder + QLatin1Char('/') + b.header));

    // The compilers as they are, but that a build can be made to go wrong half way: the
    // compiler writes part of its output and fails, or hangs until Stop Build.
    const QString bin = dir.filePath(QStringLiteral("bin"));
    const QString breakFile = dir.filePath(QStringLiteral("break"));
    const QString hung = dir.filePath(QStringLiteral("hung"));
    QVERIFY(QDir().mkpath(bin));
    for (const char *tool : {"avr-gcc", "gpasm", "sdcc"}) {
        const QString wrapper = bin + QLatin1Char('/') + QLatin1String(tool);
        QVERIFY(writeFile(wrapper,
                          QStringLiteral("#!/bin/sh\n/usr/bin/%1 \"$@\" || exit\n"
                                         "mode=$(cat '%2' 2>/dev/null) && rm -f '%2' || exit 0\n"
                                         "for a; do [ \"$o\" = -o ] && out=$a; o=$a; done\n"
                                         "printf cut > \"$out\"\n"
                                         "[ $mode = fail ] && exit 1\ntouch '%3'; exec sleep 300\n")
                              .arg(QLatin1String(tool), breakFile, hung)
                              .toUtf8()));
        QFile::setPermissions(wrapper, QFile::ReadOwner | QFile::ExeOwner);
    }
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin) + ':' + oldPath);
    const auto restorePath = qScopeGuard([&] { qputenv("PATH", oldPath); });

    QStringList done; // the steps so far, for the failure message
    QStringList added;
    int made = 0;
    int attempts = 0; // builds compared with a build from nothing
    int builds = 0;   // that gave firmware
    int broken = 0;   // that went wrong half way
    const auto failure = [&](const QString &what) {
        // The whole story goes to the log; the failure line names the seed.
        qWarning("steps: %s\n%s", qPrintable(done.join(QStringLiteral("; "))), qPrintable(what));
        return QStringLiteral("seed %1, after %2 steps").arg(seed).arg(done.size()).toLocal8Bit();
    };
    for (int step = 0; step < steps; ++step) {
        // The last step builds: every sequence compares at least once.
        switch (step == steps - 1 ? 9 : random.bounded(13)) {
        case 0:
        case 1: { // add a source
            const QString suffix = b.suffixes.at(random.bounded(int(b.suffixes.size())));
            const QString name = QStringLiteral("%1 %2.%3")
                                     .arg(b.stems.at(random.bounded(int(b.stems.size()))))
                                     .arg(++made)
                                     .arg(suffix);
            QVERIFY(writeFile(folder + QLatin1Char('/') + name,
                              sourceText(suffix, made, random.bounded(200), b.header)));
            QVERIFY(project->addFile(folder + QLatin1Char('/') + name));
            added.append(name);
            done << QStringLiteral("add ") + name;
            break;
        }
        case 2: { // edit an added source, rename it, or remove it
            if (added.isEmpty())
                break;
            const QString name = added.at(random.bounded(int(added.size())));
            int index = 0;
            while (project->filePathAt(index) != folder + QLatin1Char('/') + name)
                ++index;
            if (random.bounded(4) == 0) { // in the tree: its object takes the new name
                const QString renamed = name.section(QLatin1Char('.'), 0, 0)
                                        + QStringLiteral(".r%1.").arg(step)
                                        + QFileInfo(name).suffix();
                project->renameFile(index, renamed);
                added[added.indexOf(name)] = renamed;
                done << QStringLiteral("rename %1 to %2").arg(name, renamed);
            } else if (random.bounded(3) == 0) {
                project->removeFile(index);
                added.removeAll(name);
                done << QStringLiteral("remove ") + name;
            } else {
                const int number
                    = name.section(QLatin1Char(' '), -1).section(QLatin1Char('.'), 0, 0).toInt();
                QVERIFY(writeFile(folder + QLatin1Char('/') + name,
                                  sourceText(QFileInfo(name).suffix(),
                                             number,
                                             random.bounded(200),
                                             b.header)));
                done << QStringLiteral("edit ") + name;
            }
            break;
        }
        case 3: // edit the header the added sources include
            QVERIFY(writeFile(folder + QLatin1Char('/') + b.header,
                              headerText(b.header, random.bounded(50))));
            done << QStringLiteral("edit ") + b.header;
            break;
        case 4: { // an option
            const QString value = b.values.at(random.bounded(int(b.values.size())));
            WindowFlows::setOption(*project, b.tool, b.option, value);
            done << QStringLiteral("option %1%2").arg(b.option, value);
            break;
        }
        case 5: { // the controller or the clock
            BuildProject *configuration = project->activeConfiguration();
            if (random.bounded(2) == 0) {
                const QString controller = b.controllers.at(
                    random.bounded(int(b.controllers.size())));
                configuration->setController(configuration->family(), controller, true);
                done << QStringLiteral("controller ") + controller;
            } else {
                const QString clock = b.clocks.at(random.bounded(int(b.clocks.size())));
                configuration->setClock(clock);
                done << QStringLiteral("clock ") + clock;
            }
            project->setModified(true);
            break;
        }
        case 6: { // a copy of the configuration, which keeps its target and so its folder
            const BuildProject *copy
                = WindowFlows::copyConfiguration(*project,
                                                 QStringLiteral("Copy %1").arg(
                                                     project->configurationCount()));
            project->setActiveConfiguration(project->configurationCount() - 1);
            done << QStringLiteral("copy to ") + copy->name();
            break;
        }
        case 7: { // another configuration
            const int index = random.bounded(project->configurationCount());
            project->setActiveConfiguration(index);
            done << QStringLiteral("switch to ") + project->activeConfiguration()->name();
            break;
        }
        case 8: { // saved, closed, opened again (as a restart would)
            const int active = project->activeConfigurationIndex();
            QVERIFY(project->save());
            project = open(path);
            QVERIFY(project);
            project->setActiveConfiguration(active);
            done << QStringLiteral("reopen");
            break;
        }
        case 12: { // Clean, Tidy or Rebuild
            const int which = random.bounded(3);
            m_services.lines.clear();
            const bool ok = which == 0   ? project->clean()
                            : which == 1 ? project->tidy()
                                         : project->rebuild();
            done << QStringLiteral("%1 %2")
                        .arg(QStringList{"clean", "tidy", "rebuild"}.at(which))
                        .arg(ok);
            break;
        }
        default: { // build, and compare with a build from nothing
            // Now and then (and until it once did) a build before it goes wrong half way, after
            // a source was saved again: the compiler writes part of its output, then fails or
            // hangs until Stop Build.
            if (broken == 0 || random.bounded(3) == 0) {
                QStringList sources;
                for (int i = 0; i < project->fileCount(); ++i) {
                    if (QStringList{"c", "S", "s", "asm"}.contains(
                            QFileInfo(project->filePathAt(i)).suffix()))
                        sources << project->filePathAt(i);
                }
                QFile source(sources.at(random.bounded(int(sources.size()))));
                QVERIFY(source.open(QIODevice::ReadWrite)
                        && source.setFileTime(QDateTime::currentDateTime(),
                                              QFileDevice::FileModificationTime));
                source.close();
                const bool stop = random.bounded(2) == 0;
                QVERIFY(writeFile(breakFile, stop ? "hang" : "fail"));
                QTimer stopper;
                connect(&stopper, &QTimer::timeout, this, [&] {
                    if (QFileInfo::exists(hung))
                        project->abortBuild();
                });
                stopper.start(10);
                project->compile();
                broken += QFileInfo::exists(breakFile) ? 0 : 1; // the compiler took it
                QFile::remove(breakFile);
                QFile::remove(hung);
                done << QStringLiteral("%1 half way through %2")
                            .arg(stop ? "build stopped" : "build failed", source.fileName());
            }
            m_services.lines.clear();
            const bool built = project->compile();
            const QString log = m_services.lines.join(QLatin1Char('\n'));
            done << QStringLiteral("build ") + project->activeConfiguration()->name();
            QByteArray expected;
            QString cleanLog;
            const bool cleanBuilt = cleanBuild(*project, expected, cleanLog);
            ++attempts;
            if (built != cleanBuilt)
                QFAIL(failure(log + QStringLiteral("\n--- clean:\n") + cleanLog).constData());
            if (built) {
                if (madeBy(*project) != expected)
                    QFAIL(failure(log + QStringLiteral("\n--- clean:\n") + cleanLog).constData());
                ++builds;
                // Built again with nothing changed: nothing is made.
                m_services.lines.clear();
                if (random.bounded(3) == 0
                    && (!project->compile()
                        || !m_services.lines.contains(
                            QStringLiteral("message: Already compiled, target is up to date."))))
                    QFAIL(failure(m_services.lines.join(QLatin1Char('\n'))).constData());
            }
            break;
        }
        }
    }
    // A sequence whose builds fail compares nothing: its sources and options all build.
    if (builds < attempts)
        QFAIL(failure(QStringLiteral("only %1 of %2 builds gave firmware").arg(builds).arg(attempts))
                  .constData());
    qInfo("%d builds compared, %d went wrong half way", builds, broken);
}

void tst_BuildSequences::savedProjectWritesTheSameMakefiles_data()
{
    QTest::addColumn<QString>("boardName");
    QTest::newRow("AVR") << "AVR";
    QTest::newRow("PIC16") << "PIC16";
    QTest::newRow("8051") << "8051";
}

// Random projects: sources of every suffix the compiler takes (and files no step takes),
// options set before and after sources, controllers changed, configurations copied. Saved and
// opened again, every configuration writes the Makefile it wrote before.
void tst_BuildSequences::savedProjectWritesTheSameMakefiles()
{
    QFETCH(QString, boardName);
    const Board b = board(boardName);
    const quint32 seed = quint32(envNumber("DYX_SEQUENCE_SEED", 20261206));
    QRandomGenerator random(seed);
    QStringList suffixes = b.compiler == QLatin1String("GNU AVR GCC")
                               ? QStringList{"c", "s", "S", "sx", "h", "txt"}
                           : b.compiler == QLatin1String("SDCC")
                               ? QStringList{"c", "h", "txt"}
                               : QStringList{"asm", "s", "lkr", "inc", "txt"};
    const int projects = envNumber("DYX_SEQUENCE_STEPS", 30);
    for (int round = 0; round < projects; ++round) {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("p"));
        QVERIFY(copyTree(QStringLiteral(DYX_SOURCE_DIR "/data/devboards/") + b.folder, folder));
        const QString path = folder + QLatin1Char('/') + b.folder + QStringLiteral(".dyxp");
        auto project = open(path);
        QVERIFY(project);
        QStringList done;
        for (int step = 0; step < 12; ++step) {
            switch (random.bounded(5)) {
            case 0:
            case 1: {
                // Runs of one suffix, as projects hold them (opening takes those in one go).
                const QString suffix = suffixes.at(random.bounded(int(suffixes.size())));
                for (int k = random.bounded(1, 6); k > 0; --k) {
                    const QString name = QStringLiteral("sub %1/f%2_%3.%4")
                                             .arg(random.bounded(2))
                                             .arg(step)
                                             .arg(k)
                                             .arg(suffix);
                    QDir(folder).mkpath(QFileInfo(folder + QLatin1Char('/') + name).path());
                    QVERIFY(writeFile(folder + QLatin1Char('/') + name, "\n"));
                    project->addFile(folder + QLatin1Char('/') + name);
                    done << QStringLiteral("add ") + name;
                }
                break;
            }
            case 2:
                WindowFlows::setOption(*project,
                                       b.tool,
                                       b.option,
                                       b.values.at(random.bounded(int(b.values.size()))));
                done << QStringLiteral("option");
                break;
            case 3: {
                BuildProject *configuration = project->activeConfiguration();
                configuration->setController(configuration->family(),
                                             b.controllers.at(
                                                 random.bounded(int(b.controllers.size()))),
                                             true);
                done << QStringLiteral("controller");
                break;
            }
            default: {
                WindowFlows::copyConfiguration(*project, QStringLiteral("Copy%1").arg(step));
                project->setActiveConfiguration(random.bounded(project->configurationCount()));
                done << QStringLiteral("copy");
                break;
            }
            }
        }
        project->setModified(true);
        QVERIFY(project->save());
        auto again = open(path);
        QVERIFY(again);
        QCOMPARE(again->configurationCount(), project->configurationCount());
        for (int i = 0; i < project->configurationCount(); ++i) {
            BuildProject *before = project->configuration(i);
            BuildProject *after = again->configuration(i);
            before->setProjectDirectory(project->projectDirectory());
            after->setProjectDirectory(again->projectDirectory());
            QString first;
            QString second;
            QVERIFY(MakefileWriter(*before).generate(first));
            QVERIFY(MakefileWriter(*after).generate(second));
            QVERIFY2(first == second,
                     qPrintable(
                         QStringLiteral("seed %1, round %2, configuration %3: %4\n%5\n---\n%6")
                             .arg(seed)
                             .arg(round)
                             .arg(i)
                             .arg(done.join(QStringLiteral("; ")), first, second)));
        }
    }
}

// A project file that lists its sources but no build steps (as one written by hand): opening it
// takes all the sources at once, and writes the Makefiles that adding them one by one gives; so
// does adding them all at once to an open project.
void tst_BuildSequences::openingEqualsAddingOneByOne()
{
    QFETCH(QString, boardName);
    const Board b = board(boardName);
    const quint32 seed = quint32(envNumber("DYX_SEQUENCE_SEED", 20261207));
    QRandomGenerator random(seed);
    const QStringList suffixes = b.suffixes + QStringList{b.suffixes.first(), "h", "txt"};
    const QString family = boardName == QLatin1String("8051")    ? QStringLiteral("MCS51")
                           : boardName == QLatin1String("PIC16") ? QStringLiteral("PIC16")
                                                                 : QStringLiteral("AVR");
    const QString sourceTool = boardName == QLatin1String("8051")    ? QStringLiteral("SDCC")
                               : boardName == QLatin1String("PIC16") ? QStringLiteral("GPASM")
                                                                     : QStringLiteral("GCC");
    const int projects = envNumber("DYX_SEQUENCE_STEPS", 30);
    for (int round = 0; round < projects; ++round) {
        QTemporaryDir dir;
        QStringList names;
        while (names.size() < 24) {
            const QString suffix = suffixes.at(random.bounded(int(suffixes.size())));
            for (int k = random.bounded(1, 7); k > 0; --k)
                names.append(QStringLiteral("d%1/f%2.%3")
                                 .arg(random.bounded(3))
                                 .arg(names.size())
                                 .arg(suffix));
        }
        QByteArray files;
        for (const QString &name : std::as_const(names)) {
            QDir(dir.path()).mkpath(QFileInfo(dir.filePath(name)).path());
            QVERIFY(writeFile(dir.filePath(name), "\n"));
            files += "<FILE NAME=\"" + name.toUtf8() + "\" GROUP=\"\"/>";
        }
        const QByteArray configurations
            = "<CONFIGURATION NAME=\"Debug\" COMPILER=\"" + b.compiler.toUtf8()
              + "\" TARGET=\"Debug\"><CONTROLLER FAMILY=\"" + family.toUtf8() + "\" TYPE=\""
              + b.controllers.first().toUtf8() + "\"/><OPTION NAME=\"" + b.option.toUtf8()
              + "\" TOOL=\"" + b.tool.toUtf8() + "\" VALUE=\""
              + b.values.at(random.bounded(int(b.values.size()))).toUtf8()
              + "\"/>"
              // A setting bound to an ID stays with each step of its tool.
              + "<OPTION NAME=\"-D\" TOOL=\"" + sourceTool.toUtf8() + "\" VALUE=\"V"
              + QByteArray::number(random.bounded(3)) + "\" ID=\"DEFINE\"/></CONFIGURATION>";
        const QString listed = dir.filePath(QStringLiteral("listed.dyxp"));
        const QString empty = dir.filePath(QStringLiteral("empty.dyxp"));
        QVERIFY(writeFile(listed,
                          "<PROJECT><FILES>" + files + "</FILES>" + configurations + "</PROJECT>"));
        QVERIFY(writeFile(empty, "<PROJECT>" + configurations + "</PROJECT>"));
        auto opened = open(listed);
        auto added = open(empty);
        auto dropped = open(empty); // all at once, as a drop or Add Existing Files adds them
        QVERIFY(opened && added && dropped);
        QStringList paths;
        for (const QString &name : std::as_const(names)) {
            added->addFile(dir.filePath(name));
            paths.append(dir.filePath(name));
        }
        dropped->addFiles(paths);
        QString first;
        QString second;
        QString third;
        QVERIFY(MakefileWriter(*added->activeConfiguration()).generate(first));
        QVERIFY(MakefileWriter(*opened->activeConfiguration()).generate(second));
        QVERIFY(MakefileWriter(*dropped->activeConfiguration()).generate(third));
        QCOMPARE(third, first);
        QVERIFY2(first == second,
                 qPrintable(QStringLiteral("seed %1, round %2: %3\n%4\n---\n%5")
                                .arg(seed)
                                .arg(round)
                                .arg(names.join(QLatin1Char(' ')), first, second)));
    }
}

QTEST_MAIN(tst_BuildSequences)
#include "tst_buildsequences.moc"
