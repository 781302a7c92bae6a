#include "build/buildproject.h"
#include "build/makefilewriter.h"
#include "build/templateexpander.h"
#include "common/datarows.h"
#include "common/fakemainservices.h"
#include "toolchain/buildconfig.h"
#include "toolchain/buildconfiglist.h"

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>

class tst_Makefile : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void makefileIsExact_data();
    void makefileIsExact();
    void clock_data();
    void clock();
    void variables_data();
    void variables();
    void pathForms_data();
    void pathForms();
    void awkwardFileNames();

private:
    std::unique_ptr<BuildProject> demoConfiguration(const QString &directory);

    FakeMainServices m_services;
    std::unique_ptr<BuildConfigList> m_catalogue;
};

void tst_Makefile::initTestCase()
{
    m_services.settingsStore().setDirectory(SettingsStore::Compilers,
                                            QStringLiteral(DYX_TEST_DATA "/compilers"));
    m_services.settingsStore().setDirectory(SettingsStore::Tools, QStringLiteral("/opt/dyx/bin"));
    m_catalogue = std::make_unique<BuildConfigList>(&m_services);
    QVERIFY(m_catalogue->load());
    m_catalogue->find(QStringLiteral("Test CC"))
        ->setConfigured(true, QStringLiteral("/opt/testcc/bin"));
}

// The demo project's Debug configuration, in directory.
std::unique_ptr<BuildProject> tst_Makefile::demoConfiguration(const QString &directory)
{
    QFile file(QStringLiteral(DYX_TEST_DATA "/projects/demo/demo.dyxp"));
    if (!file.open(QIODevice::ReadOnly))
        return nullptr;
    QDomDocument document;
    document.setContent(file.readAll());
    auto configuration = std::make_unique<BuildProject>(&m_services, m_catalogue.get());
    const QString projectFile = directory + QStringLiteral("/demo.dyxp");
    if (!configuration->load(document.documentElement().firstChildElement("CONFIGURATION"),
                             projectFile))
        return nullptr;
    configuration->addFile(directory + QStringLiteral("/boot.ld"), true);
    configuration->setProjectDirectory(directory);
    return configuration;
}

void tst_Makefile::makefileIsExact_data()
{
    QTest::addColumn<QString>("folder");
    QTest::newRow("plain folder") << "";
    // A dot in a folder is no suffix: temporaries and error files stay beside their output.
    QTest::newRow("folder with a dot") << "first.last";
}

void tst_Makefile::makefileIsExact()
{
    QFETCH(QString, folder);
    QTemporaryDir temporary;
    const QDir dir(temporary.filePath(folder));
    QVERIFY(dir.mkpath(QStringLiteral(".")));
    auto configuration = demoConfiguration(dir.path());
    QVERIFY(configuration);
    QVERIFY(MakefileWriter(*configuration).write());
    QCOMPARE(configuration->errorFiles,
             QStringList{dir.filePath(QStringLiteral("Debug/image.err"))});
    QFile written(dir.filePath(QStringLiteral("Debug/Makefile")));
    QVERIFY(written.open(QIODevice::ReadOnly));
    QFile expected(QStringLiteral(DYX_TEST_DATA "/projects/demo-Makefile"));
    QVERIFY(expected.open(QIODevice::ReadOnly));
    const QStringList actualLines = QString::fromUtf8(written.readAll())
                                        .replace(dir.path(), QStringLiteral("<DIR>"))
                                        .split(QLatin1Char('\n'));
    const QStringList expectedLines = QString::fromUtf8(expected.readAll()).split(QLatin1Char('\n'));
    for (int i = 0; i < qMin(actualLines.size(), expectedLines.size()); ++i)
        QCOMPARE(actualLines.at(i), expectedLines.at(i));
    QCOMPARE(actualLines.size(), expectedLines.size());
    QCOMPARE(configuration->root()->file, dir.filePath(QStringLiteral("Debug/Debug.hex")));
}

void tst_Makefile::clock_data()
{
    QTest::addColumn<QString>("clock");
    QTest::addColumn<QString>("hertz");
    addRow("MHz", "4MHz", "4000000");
    addRow("lower case with a space", "4 mhz", "4000000");
    addRow("kHz with a fraction", "32.768 kHz", "32768");
    addRow("M without Hz", "20 M", "20000000");
    addRow("plain hertz", "8000000", "8000000");
    addRow("fraction truncated", "11.0592MHz", "11059200");
    addRow("not a number stays", "fast MHz", "fastMHz");
    addRow("empty", "", "");
}

void tst_Makefile::clock()
{
    QFETCH(QString, clock);
    QFETCH(QString, hertz);
    QCOMPARE(TemplateExpander::clockInHertz(clock), hertz);
}

void tst_Makefile::variables_data()
{
    QTest::addColumn<QString>("node"); // main, led, hex or link (its script moved first)
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    addRow("infile of one input", "main", "%INFILE%", "src/main.c");
    addRow("infile name", "main", "%INFILE_NAME%", "main");
    addRow("infile dir", "main", "%INFILE_DIR%", "src");
    addRow("outfile", "main", "%OUTFILE%", "Debug/main.o");
    addRow("outfile name", "main", "%OUTFILE_NAME%", "main");
    addRow("outfile dir", "main", "%outfile_dir%", "Debug");
    addRow("quoted, dos", "main", "%OUTFILE_QUOTED_DOS%", "\"Debug\\main.o\"");
    addRow("options", "main", "%OPTIONS%", "-Dfast");
    addRow("compiler", "main", "%COMPILER_NAME%|%COMPILER_DIR%", "Test CC|/opt/testcc/bin");
    addRow("clock", "main", "%CLOCK%", "4000000");
    addRow("target", "main", "%TARGET_DIR%|%TARGET_NAME%", ".|Debug/Debug.hex");
    addRow("bin", "main", "%BIN_DIR_QUOTED%", "\"/opt/dyx/bin\"");
    addRow("unknown stays, upper case", "main", "a %nope% b", "a %NOPE% b");
    addRow("percent pair", "main", "50%%", "50%%");
    addRow("lone percent", "main", "100% sure", "100% sure");
    addRow("compiler without a selector", "main", "%COMPILER%", "%COMPILER%");
    QTest::newRow("script first, blank separator") << "link"
                                                   << "ld %INFILES%"
                                                   << "ld  -T\"boot.ld\" Debug/main.o Debug/led.o";
    QTest::newRow("script first, comma separator") << "link"
                                                   << "%INFILES(,)%"
                                                   << " -T\"boot.ld\",Debug/main.o,Debug/led.o";
    addRow("folder of a made input", "hex", "%INFILE_DIR%", "Debug");
    addRow("path the template quotes", "led", "cc \"%INFILE%\" -I'x'", "cc \"lib öl/led.c\" -I'x'");
    QTest::newRow("path the template leaves bare") << "led"
                                                   << "cc %INFILE% \"%CLOCK%\""
                                                   << "cc 'lib öl/led.c' \"4000000\"";
    addRow("after a closed quote", "led", "cc \"-a\" %INFILE%", "cc \"-a\" 'lib öl/led.c'");
}

void tst_Makefile::variables()
{
    QFETCH(QString, node);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    auto configuration = demoConfiguration(dir.path());
    QVERIFY(configuration);
    QVERIFY(MakefileWriter(*configuration).fillFileNames());
    BuildNode *hex = configuration->root();
    BuildNode *link = hex->inputs.front().get();
    std::rotate(link->inputs.begin(), link->inputs.end() - 1, link->inputs.end());
    const BuildNode *chosen = node == QLatin1String("hex")    ? hex
                              : node == QLatin1String("link") ? link
                              : node == QLatin1String("led")  ? link->inputs.at(2).get()
                                                              : link->inputs.at(1).get();
    // Nothing depends on where the program was started.
    const QString started = QDir::currentPath();
    QDir::setCurrent(QDir::rootPath());
    const QString expanded = TemplateExpander(*configuration).expand(text, chosen);
    QDir::setCurrent(started);
    QCOMPARE(expanded, expected);
}

void tst_Makefile::pathForms_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("flags");
    QTest::addColumn<QString>("relative");
    QTest::newRow("inside") << "/p/src/a.c" << 0 << "src/a.c";
    QTest::newRow("the directory itself") << "/p" << 0 << ".";
    QTest::newRow("trailing separator") << "/p/src/" << 0 << "src";
    QTest::newRow("above") << "/q/b.c" << 0 << "../q/b.c";
    QTest::newRow("dos") << "/p/src/a.c" << int(TemplateExpander::Dos) << "src\\a.c";
    QTest::newRow("quoted, underscores")
        << "/p/my src/a b.c" << int(TemplateExpander::Quoted | TemplateExpander::Underscore)
        << "\"my_src/a_b.c\"";
}

void tst_Makefile::pathForms()
{
    QFETCH(QString, path);
    QFETCH(int, flags);
    QFETCH(QString, relative);
    BuildProject configuration(&m_services, m_catalogue.get());
    configuration.setProjectDirectory(QStringLiteral("/p"));
    QCOMPARE(TemplateExpander(configuration).relativeForm(path, flags), relative);
}

void tst_Makefile::awkwardFileNames()
{
    // Names make or the shell would read as syntax stay literal words.
    QCOMPARE(TemplateExpander::shellWord(QStringLiteral("a.c"), false), QStringLiteral("a.c"));
    QCOMPARE(TemplateExpander::shellWord(QStringLiteral("my file.c"), false),
             QStringLiteral("'my file.c'"));
    QCOMPARE(TemplateExpander::shellWord(QStringLiteral("$(shell rm x);`id`.c"), false),
             QStringLiteral("'$$(shell rm x);`id`.c'"));
    QCOMPARE(TemplateExpander::shellWord(QStringLiteral("it's.c"), false),
             QStringLiteral("'it'\\''s.c'"));
    QCOMPARE(TemplateExpander::shellWord(QStringLiteral("a\"$b.c"), true),
             QStringLiteral("\"a\\\"\\$$b.c\""));
    QCOMPARE(TemplateExpander::makeName(QStringLiteral("lib dir/a#1$;(x).o")),
             QStringLiteral("lib\\ dir/a?1$$??x?.o"));
    QCOMPARE(TemplateExpander::safeFileName(QStringLiteral("Debug/$(rm x);y.o")),
             QStringLiteral("Debug/__rm x__y.o"));
    // A line break never reaches a Makefile line: the shell and make match it with "?".
    QCOMPARE(TemplateExpander::shellWord(QStringLiteral("a\nrm x\n.c"), false),
             QStringLiteral("a?'rm x'?.c"));
    QCOMPARE(TemplateExpander::insideDoubleQuotes(QStringLiteral("a\nb\"$")),
             QStringLiteral("a\"?\"b\\\"\\$$"));
    QCOMPARE(TemplateExpander::makeName(QStringLiteral("a\nb c")), QStringLiteral("a?b\\ c"));
}

QTEST_GUILESS_MAIN(tst_Makefile)
#include "tst_makefile.moc"
