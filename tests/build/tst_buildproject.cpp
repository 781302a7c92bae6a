#include "build/buildproject.h"
#include "common/datarows.h"
#include "common/fakemainservices.h"
#include "toolchain/buildconfiglist.h"

#include <QDomDocument>
#include <QFileInfo>
#include <QtTest>

class tst_BuildProject : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void addFiles_data();
    void addFiles();
    void defaultsFollowTheController();
    void pushDownAndHoist();
    void roundTrip();
    void removeAndRename();
    void copyIsDeep();
    void unknownCompiler();
    void optionsActingOutside_data();
    void optionsActingOutside();

private:
    std::unique_ptr<BuildProject> configuration(const QString &target = QStringLiteral("Debug"));
    static QString tree(const BuildNode *node);
    static QString options(const QList<OptionSetting> &settings);
    static QString saved(BuildProject &configuration);

    FakeMainServices m_services;
    std::unique_ptr<BuildConfigList> m_catalogue;
};

void tst_BuildProject::initTestCase()
{
    isolateSettings();
    m_services.settingsStore().setDirectory(SettingsStore::Compilers,
                                            QStringLiteral(DYX_TEST_DATA "/compilers"));
    m_catalogue = std::make_unique<BuildConfigList>(&m_services);
    QVERIFY(m_catalogue->load());
}

std::unique_ptr<BuildProject> tst_BuildProject::configuration(const QString &target)
{
    auto c = std::make_unique<BuildProject>(&m_services, m_catalogue.get());
    c->setName(QStringLiteral("Debug"));
    c->setTarget(target);
    c->setCompiler(QStringLiteral("test cc"), true);
    c->setController(QStringLiteral("F1"), QStringLiteral("A"), true);
    return c;
}

QString tst_BuildProject::tree(const BuildNode *node)
{
    if (!node)
        return QStringLiteral("-");
    if (node->isLeaf())
        return QFileInfo(node->file).fileName();
    QStringList inputs;
    for (const auto &input : node->inputs)
        inputs.append(tree(input.get()));
    return node->step->output.pattern + QLatin1Char('(') + inputs.join(QLatin1Char(' '))
           + QLatin1Char(')');
}

QString tst_BuildProject::options(const QList<OptionSetting> &settings)
{
    QStringList texts;
    for (const OptionSetting &s : settings)
        texts.append(s.tool + QLatin1Char(':') + s.name + s.value + (s.isDefault ? "*" : ""));
    return texts.join(QLatin1Char(' '));
}

QString tst_BuildProject::saved(BuildProject &configuration)
{
    QDomDocument document;
    configuration.save(document, nullptr, QStringLiteral("/p/demo.dyxp"));
    return document.toString(1);
}

void tst_BuildProject::addFiles_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("expectedTree");
    QTest::addColumn<QStringList>("unassigned");
    QTest::newRow("each C source gets its own chain")
        << "Debug" << QStringList{"/p/main.c", "/p/led.c"} << "hex(elf(o(main.c) o(led.c)))"
        << QStringList{};
    QTest::newRow("a file the linking step takes hangs on it")
        << "Debug" << QStringList{"/p/main.c", "/p/x.LD"} << "hex(elf(o(main.c) x.LD))"
        << QStringList{};
    QTest::newRow("a header belongs to no step")
        << "Debug" << QStringList{"/p/led.h", "/p/main.c"} << "hex(elf(o(main.c)))"
        << QStringList{"/p/led.h"};
    QTest::newRow("the same path twice") << "Debug" << QStringList{"/p/main.c", "/p/main.c"}
                                         << "hex(elf(o(main.c)))" << QStringList{};
    QTest::newRow("one input per command at the root")
        << "Raw" << QStringList{"/p/a.s", "/p/b.s"} << "bin(a.s)" << QStringList{"/p/b.s"};
    addRow("no such target", "Nothing", QStringList{"/p/a.c"}, "-", QStringList{"/p/a.c"});
}

void tst_BuildProject::addFiles()
{
    QFETCH(QString, target);
    QFETCH(QStringList, files);
    QFETCH(QString, expectedTree);
    QFETCH(QStringList, unassigned);
    auto c = configuration(target);
    for (const QString &file : files)
        c->addFile(file, true);
    QCOMPARE(tree(c->root()), expectedTree);
    QCOMPARE(c->unassignedFiles(), unassigned);
    QCOMPARE(c->allFiles().size(), QSet<QString>(files.begin(), files.end()).size());
}

void tst_BuildProject::defaultsFollowTheController()
{
    auto c = configuration();
    c->addFile(QStringLiteral("/p/main.c"), true);
    c->addFile(QStringLiteral("/p/led.c"), true);
    // Every compile step holds the same defaults, so they live in the configuration.
    // A controller setting without a tool applies to every step.
    QCOMPARE(options(c->options()),
             QStringLiteral("HEX:-common* LD:-common* CC:-g* CC:-mcpu=a* CC:-common*"));
    c->options().append(
        {QStringLiteral("-O"), QStringLiteral("CC"), QStringLiteral("2"), QString(), false});
    QVERIFY(c->setController(QStringLiteral("f1"), QStringLiteral("B"), true));
    QCOMPARE(options(c->options()),
             QStringLiteral("HEX:-common* LD:-common* CC:-g* CC:-common* CC:-O2 CC:-mcpu=b*"));
    QVERIFY(!c->setController(QStringLiteral("F1"), QStringLiteral("Z"), true));
    QCOMPARE(c->controller(), QStringLiteral("B"));
    QVERIFY(!c->setTarget(QString()));
    QCOMPARE(c->targetName(), QStringLiteral("Debug"));
}

void tst_BuildProject::pushDownAndHoist()
{
    auto c = configuration();
    c->addFile(QStringLiteral("/p/main.c"), true);
    c->addFile(QStringLiteral("/p/led.c"), true);
    BuildNode *link = c->root()->inputs.front().get();
    BuildNode *first = link->inputs.at(0).get();
    BuildNode *second = link->inputs.at(1).get();
    // A setting on one compile step only stays there; one that both hold moves up.
    first->options.append({QStringLiteral("-Dfast"), QString(), QString(), QString(), false});
    second->options.append(
        {QStringLiteral("-W"), QStringLiteral("CC"), QString(), QString(), false});
    first->options.append({QStringLiteral("-W"), QStringLiteral("CC"), QString(), QString(), false});
    c->hoist(false);
    QCOMPARE(options(first->options), QStringLiteral("CC:-Dfast"));
    QCOMPARE(options(second->options), QString());
    QVERIFY(options(c->options()).endsWith(QStringLiteral("CC:-W")));
    // Pushing down gives every step of the tool the configuration's settings.
    c->pushDown();
    QCOMPARE(options(c->options()), QString());
    QVERIFY(options(second->options).contains(QStringLiteral("CC:-W")));
    QCOMPARE(options(link->options), QStringLiteral("LD:-common*"));
    // An ID-bound setting moves up only when asked for all.
    first->options.append({QStringLiteral("-T"),
                           QStringLiteral("CC"),
                           QStringLiteral("x"),
                           QStringLiteral("SCRIPT"),
                           false});
    second->options.append({QStringLiteral("-T"),
                            QStringLiteral("CC"),
                            QStringLiteral("x"),
                            QStringLiteral("SCRIPT"),
                            false});
    c->hoist(false);
    QVERIFY(!options(c->options()).contains(QStringLiteral("-T")));
    c->hoist(true);
    QVERIFY(options(c->options()).contains(QStringLiteral("CC:-Tx")));
}

void tst_BuildProject::roundTrip()
{
    auto c = configuration();
    c->setClock(QStringLiteral("4 MHz"));
    for (const char *file : {"/p/src/main.c", "/p/lib dir/led.c", "/p/led.h", "/q/x.ld"})
        c->addFile(QLatin1String(file), true);
    c->root()->inputs.front()->inputs.at(0)->options.append(
        {QStringLiteral("-Dfast"), QStringLiteral("CC"), QString(), QString(), false});
    const QString text = saved(*c);
    QDomDocument document;
    QVERIFY2(document.setContent(text), qPrintable(text));
    BuildProject loaded(&m_services, m_catalogue.get());
    QVERIFY(loaded.load(document.documentElement(), QStringLiteral("/p/demo.dyxp")));
    QCOMPARE(tree(loaded.root()), tree(c->root()));
    QCOMPARE(loaded.unassignedFiles(), QStringList{"/p/led.h"});
    QCOMPARE(loaded.clock(), QStringLiteral("4 MHz"));
    QCOMPARE(saved(loaded), text);
    QVERIFY(text.contains(QStringLiteral("<FILE NAME=\"../q/x.ld\"/>")));
}

void tst_BuildProject::removeAndRename()
{
    auto c = configuration();
    c->addFile(QStringLiteral("/p/main.c"), true);
    c->addFile(QStringLiteral("/p/led.c"), true);
    c->addFile(QStringLiteral("/p/led.h"), true);
    QVERIFY(!c->renameFile(QStringLiteral("/p/main.c"), QStringLiteral("/p/led.h")));
    QVERIFY(c->renameFile(QStringLiteral("/p/main.c"), QStringLiteral("/p/start.c")));
    QVERIFY(c->renameFile(QStringLiteral("/p/led.h"), QStringLiteral("/p/led2.h")));
    QCOMPARE(c->allFiles(), QStringList({"/p/start.c", "/p/led.c", "/p/led2.h"}));
    QVERIFY(c->removeFile(QStringLiteral("/p/start.c")));
    QCOMPARE(tree(c->root()), QStringLiteral("hex(elf(o(led.c)))"));
    QVERIFY(c->removeFile(QStringLiteral("/p/led.c")));
    QCOMPARE(tree(c->root()), QStringLiteral("-"));
    QVERIFY(c->removeFile(QStringLiteral("/p/led2.h")));
    QVERIFY(!c->removeFile(QStringLiteral("/p/nothing.c")));
}

void tst_BuildProject::copyIsDeep()
{
    auto c = configuration();
    c->addFile(QStringLiteral("/p/main.c"), true);
    BuildProject copy(*c);
    copy.addFile(QStringLiteral("/p/led.c"), true);
    QCOMPARE(tree(c->root()), QStringLiteral("hex(elf(o(main.c)))"));
    QCOMPARE(tree(copy.root()), QStringLiteral("hex(elf(o(main.c) o(led.c)))"));
}

void tst_BuildProject::unknownCompiler()
{
    QDomDocument document;
    QVERIFY(document.setContent(QStringLiteral(
        "<CONFIGURATION NAME=\"X\" COMPILER=\"Nope\"><CONTROLLER/></CONFIGURATION>")));
    m_services.lines.clear();
    BuildProject c(&m_services, m_catalogue.get());
    QVERIFY(!c.load(document.documentElement(), QStringLiteral("/p/x.dyxp")));
    QCOMPARE(m_services.lines,
             QStringList{"error: Cannot find compiler Nope required for project."});
    // A stored tree that does not match the compiler's steps is refused.
    QVERIFY(document.setContent(QStringLiteral(
        "<CONFIGURATION NAME=\"X\" COMPILER=\"Test CC\" TARGET=\"Debug\"><CONTROLLER/>"
        "<FILE TOOL=\"HEX\"><FILE TOOL=\"CC\"/></FILE></CONFIGURATION>")));
    QVERIFY(!c.load(document.documentElement(), QStringLiteral("/p/x.dyxp")));
    QVERIFY(document.setContent(QStringLiteral(
        "<CONFIGURATION NAME=\"X\" COMPILER=\"Test CC\" TARGET=\"Debug\"><CONTROLLER/>"
        "<FILE TOOL=\"HEX\"/><FILE TOOL=\"HEX\"/></CONFIGURATION>")));
    QVERIFY(!c.load(document.documentElement(), QStringLiteral("/p/x.dyxp")));
}

void tst_BuildProject::optionsActingOutside_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("runs");
    // The shipped configurations' own options, and others that only steer the tools.
    for (const char *text : {"-Wall",
                             "-Wl,--gc-sections",
                             "-Wl,-Map=firmware.map",
                             "-Wl,-u,vfprintf -lprintf_flt",
                             "-Wl,-Bstatic",
                             "-O2 -DNAME=-B",
                             "--stack-auto",
                             "-I./include",
                             "-I/usr/share/include",
                             "-MF deps/main.d",
                             "-Wl,-Map,firmware.map",
                             "-Wa,-alh=main.lst",
                             "-save-temps=obj"})
        QTest::newRow(text) << QString::fromLatin1(text) << false;
    for (const char *text : {"-wrapper /bin/sh,-c,x",
                             "-B./bin",
                             "-O2 -B /opt/pack",
                             "-fplugin=./x.so",
                             "-iplugindir=./p",
                             "-specs=x.specs",
                             "--specs=x.specs",
                             "@more.txt",
                             "--ld-path=./ld",
                             "-fuse-ld=gold",
                             "-Xlinker -plugin -Xlinker ./x.so",
                             "-Wl,--plugin=./x.so",
                             "-Wl,@more.txt",
                             "-Wa,@more.txt",
                             "-Wp,-fplugin=./x.so",
                             "-MF /home/u/.profile",
                             "-MF../x.d",
                             "-o ~/x",
                             "-Wl,-Map=../../x.map",
                             "-Wl,-Map,/tmp/x.map",
                             "-Xlinker -Map -Xlinker /tmp/x.map",
                             "-Wa,-alh=/tmp/x.lst",
                             "-dumpdir /tmp/"})
        QTest::newRow(text) << QString::fromLatin1(text) << true;
}

// The options that let a compiler run or load a program they name, or write a file outside the
// project's folder, directly or handed on to the linker, the assembler or the preprocessor.
void tst_BuildProject::optionsActingOutside()
{
    QFETCH(QString, text);
    QFETCH(bool, runs);
    QCOMPARE(BuildProject::optionActsOutside(text), runs);
}

QTEST_GUILESS_MAIN(tst_BuildProject)
#include "tst_buildproject.moc"
