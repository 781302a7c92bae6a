#include "common/datarows.h"
#include "common/fakemainservices.h"
#include "common/testfiles.h"
#include "toolchain/buildconfig.h"
#include "toolchain/buildconfiglist.h"
#include "toolchain/buildprocess.h"
#include "toolchain/buildtool.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

class tst_BuildConfig : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { isolateSettings(); }
    void loaderRules();
    void stepTree();
    void shippedConfigurations_data();
    void shippedConfigurations();
    void duplicateNames();
    void compilerFor_data();
    void compilerFor();
    void defaultsAndEnvironment();

private:
    QTemporaryDir m_dir;
    QString write(const QString &name, const QByteArray &content);
};

QString tst_BuildConfig::write(const QString &name, const QByteArray &content)
{
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
    return path;
}

static QString describe(const BuildStepNode *node)
{
    QString text = node->output.pattern + QLatin1Char(':') + node->process->name();
    QStringList children;
    for (const auto &child : node->children)
        children.append(describe(child.get()));
    if (!children.isEmpty())
        text += QLatin1Char('[') + children.join(QLatin1Char(' ')) + QLatin1Char(']');
    return text;
}

void tst_BuildConfig::loaderRules()
{
    const QString path = write(QStringLiteral("rules.xml"), R"(<COMPILER NAME="Test" VERSION="1.0">
 <TOOL FILE="cc" NAME="CC"><ALIAS NAME="cc1"/>
  <OPTION NAME="-a" MULTIPLE="true"/>
  <OPTION NAME="-b" MULTIPLE="1" PARAM="NUMBER" SEPARATOR=" "/>
  <OPTION NAME="-c" PARAM="CHOICE"><PARAM VALUE="x" DEFAULT="1"/><PARAM VALUE="y" DEFAULT="yes"/></OPTION>
 </TOOL>
 <TOOL FILE="bad" NAME="BAD"><OPTION NAME="-y"/><OPTION NAME="-z" PARAM="number"/></TOOL>
 <PROCESS TOOL="CC" NAME="compile" CMDLINE="cc %INFILE%">
  <FILE OUTPUT="o" INPUT="c" ERROR="err"><OPTION NAME="-o"/><FILE INPUT="inc"/></FILE>
  <FILE OUTPUT="lst" INPUT="asm" ERROR="e2" HIDE_UNMATCHED="0"/>
  <FILE INPUT="h" TEMP="tmp" OPTION="HDR"/>
  <OPTION NAME="-p" VALUE="1" DEFAULT="1"/>
  <MESSAGE VALUE="x"><FIELD NAME="LINE" POSITION="2"/><FIELD NAME="COLUMN" POSITION="3" OFFSET="-1"/></MESSAGE>
  <PREPROCESS CMDLINE="pre"/><POSTPROCESS CMDLINE=""/>
 </PROCESS>
 <PROCESS TOOL="CC" NAME="no position" CMDLINE="y"><MESSAGE><FIELD NAME="LINE"/></MESSAGE></PROCESS>
 <PROCESS NAME="no tool" CMDLINE="z"/>
 <FILE NAME="c" CATEGORY="Source" SOURCE="1"/><FILE NAME="h" SOURCE="true"/>
 <FAMILY NAME="F"><CONTROLLER NAME="C1"><ENVIRONMENT NAME="P" VALUE="v" ACTION="set" SEPARATOR=":"/></CONTROLLER></FAMILY>
 <TARGET NAME="T"><FILE OUTPUT="a"/><FILE INPUT="x"/><FILE OUTPUT="o"/><ENVIRONMENT NAME="Q" VALUE="w" ACTION="SET" SEPARATOR=":"/></TARGET>
</COMPILER>)");
    FakeMainServices services;
    BuildConfig config(&services);
    QVERIFY(config.load(path));
    QCOMPARE(services.lines,
             QStringList({"error: Unknows option parameter type number",
                          "error: Error loading " + path + "\n"}));
    QCOMPARE(config.tools().size(), 1);
    const BuildTool *tool = config.tools().first();
    QCOMPARE(tool->names(), QStringList({"CC", "cc1"}));
    QCOMPARE(config.toolFile(QStringLiteral("cc1")), QStringLiteral("cc"));
    QCOMPARE(config.toolFile(QStringLiteral("Cc")), QString());
    const QList<OptionDefinition> &options = tool->options();
    QCOMPARE(options.at(0).multiple, false);
    QCOMPARE(options.at(1).multiple, true);
    QCOMPARE(options.at(1).type, OptionDefinition::Number);
    QCOMPARE(options.at(2).choices.size(), 2);
    QCOMPARE(options.at(2).choices.at(0).isDefault, true);
    QCOMPARE(options.at(2).choices.at(1).isDefault, false);

    QCOMPARE(config.processes().size(), 1);
    const BuildProcess *process = config.processes().first();
    QVERIFY(!process->takesAllInputs());
    const OutputRecord *o = process->outputRecord(QStringLiteral("O"), false);
    QVERIFY(o);
    QCOMPARE(o->inputs.size(), 3); // its own, then the shared one, then the nested one
    QCOMPARE(o->inputs.at(0).pattern, QStringLiteral("c"));
    QCOMPARE(o->inputs.at(1).pattern, QStringLiteral("h"));
    QCOMPARE(o->inputs.at(2).pattern, QStringLiteral("inc"));
    QCOMPARE(o->settings.size(), 2);
    QCOMPARE(o->settings.at(1).isDefault, true);
    QCOMPARE(o->errorFiles.size(), 1);
    QVERIFY(o->errorFiles.first().hideUnmatched);
    QCOMPARE(process->errorFilesFor(QStringLiteral("lst"), true).first().hideUnmatched, false);
    QCOMPARE(process->inputsFor(QStringLiteral("lst"), true).size(), 2);
    QCOMPARE(process->temporariesFor(QStringLiteral("lst"), true).first().pattern,
             QStringLiteral("tmp"));
    QCOMPARE(process->fileOption(QStringLiteral("H"), false), QStringLiteral("HDR"));
    QVERIFY(!process->produces(QStringLiteral("O"), true));
    QCOMPARE(process->messages().first().fields.at(0).offset, 0);
    QCOMPARE(process->messages().first().fields.at(1).offset, -1);
    QCOMPARE(process->preProcessCommands(), QStringList{"pre"});
    QCOMPARE(process->postProcessCommands(), QStringList{""});

    QCOMPARE(config.sourceSuffixes(), QStringList{"c"});
    const TargetRecord *target = config.findTarget(QStringLiteral("t"));
    QVERIFY(target);
    QCOMPARE(target->output.pattern, QStringLiteral("o"));
    QVERIFY(target->root);
    const EnvironmentEntry lowerCaseSet = config.environment("f", "c1", "T").at(0);
    QVERIFY(!lowerCaseSet.set);
    QCOMPARE(lowerCaseSet.applyTo(QStringLiteral("u")), QStringLiteral("u:v"));
    QCOMPARE(lowerCaseSet.applyTo(QString()), QStringLiteral("v"));
    const EnvironmentEntry set = config.environment("f", "c1", "T").at(1);
    QVERIFY(set.set);
    QCOMPARE(set.separator, QString());
    QCOMPARE(set.applyTo(QStringLiteral("u")), QStringLiteral("w"));
}

void tst_BuildConfig::stepTree()
{
    const QString path = write(QStringLiteral("tree.xml"), R"(<COMPILER NAME="Tree">
 <PROCESS TOOL="LD" NAME="link" CMDLINE="ld %INFILES%"><FILE OUTPUT="hex" INPUT="o"/></PROCESS>
 <PROCESS TOOL="CC" NAME="cc" CMDLINE="cc %INFILE%"><FILE OUTPUT="o" INPUT="c"/></PROCESS>
 <PROCESS TOOL="AS" NAME="as" CMDLINE="as %INFILE%"><FILE OUTPUT="O" INPUT="s"/></PROCESS>
 <PROCESS TOOL="PP" NAME="pre" CMDLINE="pp %INFILE%"><FILE OUTPUT="c" INPUT="o"/></PROCESS>
 <PROCESS TOOL="OC" NAME="alt" CMDLINE="oc %INFILE%"><FILE OUTPUT="hex" INPUT="bin"/></PROCESS>
 <TARGET NAME="Debug"><FILE OUTPUT="hex"/></TARGET>
 <TARGET NAME="Nothing"><FILE OUTPUT="zip"/></TARGET>
</COMPILER>)");
    FakeMainServices services;
    BuildConfig config(&services);
    QVERIFY(config.load(path));
    // A pattern already met on the way up stops the walk; a second producer of the target's
    // file hangs below the first.
    QCOMPARE(describe(config.findTarget(QStringLiteral("debug"))->root.get()),
             QStringLiteral("hex:link[o:cc[c:pre] O:as hex:alt]"));
    QVERIFY(!config.findTarget(QStringLiteral("Nothing"))->root);
    QCOMPARE(config.toolNames(), QStringList({"LD", "CC", "AS", "PP", "OC"}));
    QCOMPARE(config.processesProducing(QStringLiteral("o")).size(), 2);
}

void tst_BuildConfig::shippedConfigurations_data()
{
    QTest::addColumn<QString>("file");
    const QDir dir(QStringLiteral(DYX_SOURCE_DIR "/data/compilers"));
    for (const QString &name : dir.entryList({QStringLiteral("*.xml")}))
        QTest::newRow(qPrintable(name)) << dir.filePath(name);
}

static void leafPatterns(const BuildStepNode *node, QStringList &patterns)
{
    for (const FileSpec &input : node->process->inputsFor(node->output.pattern, false)) {
        bool produced = false;
        for (const auto &child : node->children)
            produced = produced
                       || child->output.pattern.compare(input.pattern, Qt::CaseInsensitive) == 0;
        if (!produced)
            patterns.append(input.pattern.toLower());
    }
    for (const auto &child : node->children)
        leafPatterns(child.get(), patterns);
}

void tst_BuildConfig::shippedConfigurations()
{
    QFETCH(QString, file);
    FakeMainServices services;
    BuildConfig config(&services);
    QVERIFY(config.load(file));
    QCOMPARE(services.lines, QStringList());
    QVERIFY(!config.name().isEmpty());
    QVERIFY(config.targetNames().contains(QStringLiteral("Debug")));
    QVERIFY(config.targetNames().contains(QStringLiteral("Release")));
    for (const BuildProcess *process : config.processes()) {
        QVERIFY2(!config.toolFile(process->tool()).isEmpty(), qPrintable(process->name()));
        // The Makefile gives each tool its options in one variable: every step passes it on.
        const QString flags = QStringLiteral("$(%1FLAGS)").arg(process->tool().toUpper());
        QVERIFY2(process->commandLine().contains(flags),
                 qPrintable(process->name() + QStringLiteral(" lacks ") + flags));
        for (const MessageFormat &format : process->messages())
            QVERIFY2(QRegularExpression(format.value).isValid(), qPrintable(format.value));
    }
    QStringList reached;
    for (const TargetRecord &target : config.targets()) {
        QVERIFY2(target.root, qPrintable(target.name));
        QStringList leaves;
        leafPatterns(target.root.get(), leaves);
        QVERIFY2(!leaves.isEmpty(), qPrintable(target.name));
        reached += leaves;
    }
    for (const QString &suffix : config.sourceSuffixes())
        QVERIFY2(reached.contains(suffix.toLower()), qPrintable(suffix));
    for (const FamilyRecord &family : config.families()) {
        for (const ControllerRecord &controller : family.controllers)
            QVERIFY2(!controller.settings.isEmpty(), qPrintable(controller.name));
    }
}

void tst_BuildConfig::duplicateNames()
{
    QTemporaryDir dir;
    const auto put = [&dir](const char *name, const QByteArray &content) {
        QVERIFY(writeFile(dir.filePath(QLatin1String(name)), content));
    };
    put("b.xml", "<COMPILER NAME=\"Same\"/>");
    put("A.xml", "<COMPILER NAME=\"same\"/>");
    put("c.xml",
        "<COMPILER NAME=\"Other\"><FILE NAME=\"c\" SOURCE=\"1\"/>"
        "<FILE NAME=\"c\" DESC=\"second\"/></COMPILER>");
    put("d.xml", "<COMPILER NAME=\"Broken\">");
    put("e.txt", "<COMPILER NAME=\"Ignored\"/>");
    FakeMainServices services;
    services.settingsStore().setDirectory(SettingsStore::Compilers, dir.path());
    BuildConfigList catalogue(&services);
    QVERIFY(catalogue.load());
    QCOMPARE(catalogue.names(), QStringList({"same", "Other"}));
    QCOMPARE(services.lines.size(), 2);
    QVERIFY(services.lines.at(0).startsWith(
        QStringLiteral("error: Duplicated compiler configuration \"Same\":\n")
        + dir.filePath(QStringLiteral("A.xml")) + ",\n" + dir.filePath(QStringLiteral("b.xml"))
        + ".\n"));
    QVERIFY(services.lines.at(1).startsWith(QStringLiteral("message: Error opening d.xml")));
    QCOMPARE(catalogue.find(QStringLiteral("OTHER"))->file(), dir.filePath(QStringLiteral("c.xml")));
    QCOMPARE(catalogue.allSourceSuffixes(), QStringList{"c"});
    QCOMPARE(catalogue.allFileTypes().size(), 1);
    QCOMPARE(catalogue.names(true), QStringList());

    services.settingsStore().setDirectory(SettingsStore::Compilers,
                                          dir.filePath(QStringLiteral("none")));
    QVERIFY(!catalogue.load());
    QCOMPARE(catalogue.names(), QStringList());
}

void tst_BuildConfig::compilerFor_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("controller");
    QTest::addColumn<QString>("expected");
    addRow("most sources win", QStringList{"a.asm", "b.ASM", "c.c"}, "P1", "AsmOnly");
    addRow("first wins a tie", QStringList{"a.c"}, "P1", "CFirst");
    addRow("maker's compiler wins a tie", QStringList{"a.c"}, "P2", "Cirrane C");
    addRow("no files: maker's compiler", QStringList{}, "P2", "Cirrane C");
    addRow("no files, no maker's compiler", QStringList{}, "P1", "");
    addRow("unsupported controller", QStringList{"a.c"}, "P9", "");
}

void tst_BuildConfig::compilerFor()
{
    QFETCH(QStringList, files);
    QFETCH(QString, controller);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const auto put = [&dir](const char *name,
                            const char *compiler,
                            const char *suffixes,
                            const char *controllers) {
        QFile file(dir.filePath(QLatin1String(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QByteArray content = QByteArray("<COMPILER NAME=\"") + compiler + "\">";
        for (const QByteArray &suffix : QByteArray(suffixes).split(','))
            content += "<FILE NAME=\"" + suffix + "\" SOURCE=\"1\"/>";
        content += "<FAMILY NAME=\"PIC\">";
        for (const QByteArray &c : QByteArray(controllers).split(','))
            content += "<CONTROLLER NAME=\"" + c + "\"/>";
        content += "</FAMILY></COMPILER>";
        file.write(content);
    };
    put("1.xml", "CFirst", "c", "P1,P2");
    put("2.xml", "AsmOnly", "asm", "p1,P2");
    put("3.xml", "Cirrane C", "c,asm", "P2");
    put("4.xml", "CSecond", "c", "P1");
    FakeMainServices services;
    services.settingsStore().setDirectory(SettingsStore::Compilers, dir.path());
    BuildConfigList catalogue(&services);
    catalogue.load();
    QCOMPARE(catalogue.compilerFor(QStringLiteral("pic"), controller, files), expected);
}

void tst_BuildConfig::defaultsAndEnvironment()
{
    FakeMainServices services;
    BuildConfig config(&services);
    QVERIFY(config.load(QStringLiteral(DYX_SOURCE_DIR "/data/compilers/gnu-avr-gcc.xml")));
    const QList<OptionSetting> defaults = config.defaultSettings(QStringLiteral("debug"),
                                                                 QStringLiteral("avr"),
                                                                 QStringLiteral("atmega328p"),
                                                                 QStringLiteral("OBJCOPY"));
    QVERIFY(defaults.isEmpty()); // every default of that file is for the compiler driver
    const QList<OptionSetting> gcc = config.defaultSettings(QStringLiteral("Release"),
                                                            QStringLiteral("AVR"),
                                                            QStringLiteral("ATmega328P"),
                                                            QStringLiteral("GCC"));
    QCOMPARE(gcc.last().name + gcc.last().value, QStringLiteral("-mmcu=atmega328p"));
    QCOMPARE(config.controllerNames(QStringLiteral("avr")).first(), QStringLiteral("ATmega328P"));
    QVERIFY(!config.supports(QStringLiteral("AVR"), QStringLiteral("PIC16F84A")));
    QCOMPARE(config
                 .environment(QStringLiteral("AVR"),
                              QStringLiteral("ATtiny85"),
                              QStringLiteral("Debug"))
                 .first()
                 .name,
             QStringLiteral("LC_ALL"));
}

QTEST_GUILESS_MAIN(tst_BuildConfig)
#include "tst_buildconfig.moc"
