#include "common/datarows.h"
#include "common/fakemainservices.h"
#include "platform/registry.h"
#include "toolchain/compilerdetector.h"
#include "toolchain/detectionparameters.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

// A registry held in memory: "key|value name" to value.
class MemoryRegistry : public Registry
{
public:
    QMap<QString, QString> values;

    QString value(const QString &key, const QString &name) const override
    {
        return values.value(trimmed(key) + QLatin1Char('|') + name);
    }
    QStringList valueNames(const QString &key) const override
    {
        QStringList names;
        for (auto it = values.cbegin(); it != values.cend(); ++it) {
            if (it.key().section(QLatin1Char('|'), 0, 0) == trimmed(key))
                names.append(it.key().section(QLatin1Char('|'), 1));
        }
        return names;
    }
    QStringList subkeys(const QString &key) const override
    {
        QStringList keys;
        const QString prefix = trimmed(key) + QLatin1Char('\\');
        for (auto it = values.cbegin(); it != values.cend(); ++it) {
            const QString path = it.key().section(QLatin1Char('|'), 0, 0);
            if (path.startsWith(prefix)) {
                const QString child = path.mid(prefix.size()).section(QLatin1Char('\\'), 0, 0);
                if (!keys.contains(child))
                    keys.append(child);
            }
        }
        return keys;
    }
    static QString trimmed(QString key)
    {
        while (key.endsWith(QLatin1Char('\\')))
            key.chop(1);
        return key;
    }
};

class tst_Detection : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void resolve_data();
    void resolve();
    void directorySearches();
    void check_data();
    void check();
    void registrySearch_data();
    void registrySearch();
    void detectRulesAndChecks();

private:
    QTemporaryDir m_dir;
    QString m_tool; // the helper, copied into the tree under m_dir
};

void tst_Detection::initTestCase()
{
    isolateSettings();
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("opt/vendor-2/bin")));
    QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("opt/vendor-1/lib")));
    m_tool = m_dir.filePath(QStringLiteral("opt/vendor-2/bin/cc"));
    QVERIFY(QFile::copy(QStringLiteral(DYX_FAKE_COMPILER), m_tool));
    QFile plain(m_dir.filePath(QStringLiteral("opt/vendor-1/lib/readme")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    qputenv("DYX_TEST_ROOT", m_dir.path().toLocal8Bit());
    qunsetenv("DYX_UNSET_VARIABLE");
}

void tst_Detection::resolve_data()
{
    QTest::addColumn<QStringList>("parameters"); // NAME=VALUE, in order
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("report");
    QTest::addColumn<QString>("expected"); // "FAIL" when resolution fails
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("plain") << QStringList{"A=x"} << "A" << false << "x" << QStringList{};
    addRow("percent pair vanishes", QStringList{"A=50%%off"}, "A", false, "50off", QStringList{});
    addRow("lone percent vanishes", QStringList{"A=50%off"}, "A", false, "50off", QStringList{});
    QTest::newRow("other parameter")
        << QStringList{"DIR=/usr", "A=%DIR%/bin"} << "A" << false << "/usr/bin" << QStringList{};
    QTest::newRow("nested") << QStringList{"R=/r", "D=%R%/d", "A=%D%/x"} << "A" << false << "/r/d/x"
                            << QStringList{};
    addRow("environment", QStringList{"A=%DYX_TEST_ROOT%/x"}, "A", false, "ROOT/x", QStringList{});
    QTest::newRow("parameter before environment")
        << QStringList{"DYX_TEST_ROOT=/p", "A=%DYX_TEST_ROOT%/x"} << "A" << false << "/p/x"
        << QStringList{};
    QTest::newRow("missing, quiet")
        << QStringList{"A=%DYX_UNSET_VARIABLE%bin/cc"} << "A" << false << "bin/cc" << QStringList{};
    QTest::newRow("missing, reported")
        << QStringList{"A=%DYX_UNSET_VARIABLE%bin/cc"} << "A" << true << "FAIL"
        << QStringList{"message: Cannot resolve parameter DYX_UNSET_VARIABLE\n"};
    QTest::newRow("self reference") << QStringList{"A=x%A%"} << "A" << false << "FAIL"
                                    << QStringList{"message: Cirular dependency of parameter A\n"};
    QTest::newRow("ring of two") << QStringList{"A=%B%", "B=%A%"} << "A" << false << "FAIL"
                                 << QStringList{"message: Cirular dependency of parameter A\n"};
    QTest::newRow("ring of three")
        << QStringList{"A=%B%", "B=%C%", "C=%B%"} << "A" << false << "FAIL"
        << QStringList{"message: Cirular dependency of parameter A\n"};
    QTest::newRow("sub search") << QStringList{"LEVELS=2", "A=%DYX_TEST_ROOT%/opt%SUB%/bin/cc"}
                                << "A" << false << "ROOT/opt/vendor-2/bin/cc" << QStringList{};
    QTest::newRow("sub search too shallow")
        << QStringList{"LEVELS=0", "A=%DYX_TEST_ROOT%/opt%SUB%/bin/cc"} << "A" << false << "FAIL"
        << QStringList{};
    QTest::newRow("wildcard") << QStringList{"A=%DYX_TEST_ROOT%/opt/VENDOR%*%/bin"} << "A" << false
                              << "ROOT/opt/vendor-1/bin" << QStringList{};
    QTest::newRow("wildcard then reference")
        << QStringList{"T=cc", "A=%DYX_TEST_ROOT%/opt/vendor-2%*%/bin/%T%"} << "A" << false
        << "ROOT/opt/vendor-2/bin/cc" << QStringList{};
}

void tst_Detection::resolve()
{
    QFETCH(QStringList, parameters);
    QFETCH(QString, name);
    QFETCH(bool, report);
    QFETCH(QString, expected);
    QFETCH(QStringList, lines);
    FakeMainServices services;
    DetectionParameters set(&services);
    for (const QString &parameter : parameters)
        set.set(parameter.section(QLatin1Char('='), 0, 0), parameter.section(QLatin1Char('='), 1));
    QString value = set.value(name);
    const bool ok = set.resolve(name, value, report);
    QCOMPARE(ok, expected != QLatin1String("FAIL"));
    if (ok)
        QCOMPARE(value, QString(expected).replace(QLatin1String("ROOT"), m_dir.path()));
    QCOMPARE(services.lines, lines);
}

void tst_Detection::directorySearches()
{
    const QString opt = m_dir.filePath(QStringLiteral("opt"));
    QCOMPARE(DetectionParameters::searchBelow(opt, QStringLiteral("\\/bin/cc"), 1),
             m_dir.filePath(QStringLiteral("opt/vendor-2/bin/cc")));
    QCOMPARE(DetectionParameters::searchBelow(opt, QStringLiteral("lib/readme"), 1),
             m_dir.filePath(QStringLiteral("opt/vendor-1/lib/readme")));
    QCOMPARE(DetectionParameters::searchBelow(opt, QStringLiteral("cc"), 1), QString());
    DetectionParameters set;
    QCOMPARE(set.wildcardSearch(opt + QLatin1Char('/'), QStringLiteral("/lib")),
             m_dir.filePath(QStringLiteral("opt/vendor-1/lib")));
    QCOMPARE(set.wildcardSearch(opt + QStringLiteral("/nothing"), QString()), QString());
}

void tst_Detection::check_data()
{
    QTest::addColumn<QStringList>("parameters");
    QTest::addColumn<bool>("found");
    QTest::addColumn<int>("tooOld");
    addRow("prints what is expected", QStringList{"ARG=--print=cc 1.2", "STR=cc 1.2"}, true, 0);
    addRow("prints something else", QStringList{"ARG=--print=cc 1.2", "STR=CC 1.2"}, false, 0);
    QTest::newRow("no text expected") << QStringList{"ARG=--exit=3"} << true << 0;
    QTest::newRow("floods") << QStringList{"ARG=--flood=cc 1.2", "STR=cc 1.2"} << false << 0;
    QTest::newRow("crashes") << QStringList{"ARG=--crash"} << false << 0;
    QTest::newRow("hangs") << QStringList{"ARG=--hang"} << false << 0;
    QTest::newRow("ignores terminate") << QStringList{"ARG=--stubborn"} << false << 0;
    QTest::newRow("not executed") << QStringList{"ARG=--hang", "NOEXECUTE=true"} << true << 0;
    addRow("NOEXECUTE in capitals runs it", QStringList{"ARG=--crash", "NOEXECUTE=TRUE"}, false, 0);
    QTest::newRow("too old") << QStringList{"DATE=2999-01-01", "ARG=--crash"} << true << 1;
    QTest::newRow("old enough") << QStringList{"DATE=2000-01-01"} << true << 0;
    QTest::newRow("missing") << QStringList{"PATH=/no/such/cc"} << false << 0;
    addRow("not executable", QStringList{"PATH=ROOT/opt/vendor-1/lib/readme"}, false, 0);
    QTest::newRow("no path") << QStringList{"PATH="} << false << 0;
}

void tst_Detection::check()
{
    QFETCH(QStringList, parameters);
    QFETCH(bool, found);
    QFETCH(int, tooOld);
    DetectionParameters set;
    set.set(QStringLiteral("PATH"), m_tool);
    for (const QString &parameter : parameters) {
        set.set(parameter.section(QLatin1Char('='), 0, 0),
                parameter.section(QLatin1Char('='), 1).replace(QLatin1String("ROOT"), m_dir.path()));
    }
    const DetectionResult result = CompilerDetector(nullptr).check(QString(), set);
    QCOMPARE(result.found, found);
    QCOMPARE(result.tooOld, tooOld);
    QCOMPARE(result.directory, found ? QFileInfo(m_tool).absolutePath() : QString());
}

void tst_Detection::registrySearch_data()
{
    QTest::addColumn<QStringList>("parameters");
    QTest::addColumn<bool>("found");
    const QString base = QStringLiteral("KEYLOC=HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor");
    QTest::newRow("named") << QStringList{base + "\\Tool\\2",
                                          "TYPE=NAMED",
                                          "KEY=Bin",
                                          "SUF=/cc",
                                          "ARG=--print=ok",
                                          "STR=ok"}
                           << true;
    QTest::newRow("named, empty value leaves PATH")
        << QStringList{base + "\\Tool\\2", "TYPE=NAMED", "KEY=None", "PATH=ROOT/opt/vendor-2/bin/cc"}
        << true;
    QTest::newRow("named, empty value, no PATH")
        << QStringList{base + "\\Tool\\2", "TYPE=NAMED", "KEY=None"} << false;
    QTest::newRow("anonymous by key, LEVEL 2")
        << QStringList{base, "TYPE=ANONYMOUS", "LEVEL=2", "KEY=Bin", "SUF=/cc"} << true;
    QTest::newRow("anonymous by key, LEVEL 1 is too shallow")
        << QStringList{base, "TYPE=ANONYMOUS", "LEVEL=1", "KEY=Bin", "SUF=/cc"} << false;
    QTest::newRow("anonymous by key with subkey path, a level down")
        << QStringList{base, "TYPE=ANONYMOUS", "LEVEL=1", "KEY=2\\Bin", "SUF=/cc"} << true;
    QTest::newRow("anonymous by subkey path at its level")
        << QStringList{base + "\\Tool", "TYPE=ANONYMOUS", "KEY=2\\Bin", "SUF=/cc"} << true;
    QTest::newRow("anonymous by content, LEVELS covers every level")
        << QStringList{base, "TYPE=ANONYMOUS", "LEVELS=3", "CONTAINS=VENDOR-2", "SUF=/cc"} << true;
    QTest::newRow("anonymous by content, LEVELS 1 stops short")
        << QStringList{base, "TYPE=ANONYMOUS", "LEVELS=1", "CONTAINS=vendor-2", "SUF=/cc"} << false;
    QTest::newRow("other type checks PATH")
        << QStringList{base, "TYPE=OTHER", "PATH=ROOT/opt/vendor-2/bin/cc"} << true;
}

void tst_Detection::registrySearch()
{
    QFETCH(QStringList, parameters);
    QFETCH(bool, found);
    auto registry = std::make_unique<MemoryRegistry>();
    const QString bin = QFileInfo(m_tool).absolutePath();
    registry->values.insert(QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Tool\\1|Bin"),
                            m_dir.filePath(QStringLiteral("opt/vendor-1")));
    registry->values.insert(QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Tool\\2|Bin"),
                            bin);
    registry->values.insert(QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Tool\\2|Other"),
                            QStringLiteral("text"));
    Registry::setInstance(std::move(registry));
    DetectionParameters set;
    for (const QString &parameter : parameters) {
        set.set(parameter.section(QLatin1Char('='), 0, 0),
                parameter.section(QLatin1Char('='), 1).replace(QLatin1String("ROOT"), m_dir.path()));
    }
    const DetectionResult result = CompilerDetector(nullptr).locate(set);
    Registry::setInstance(nullptr);
    QCOMPARE(result.found, found);
}

void tst_Detection::detectRulesAndChecks()
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("c.xml"));
    QFile xml(file);
    QVERIFY(xml.open(QIODevice::WriteOnly));
    // The first rule fails in its second check; the second rule's checks both pass.
    xml.write(QStringLiteral(R"(<COMPILER NAME="Fake" VERSION="2.0">
 <DETECT PATH="%1" ARG="--print=fake">
  <CHECK STR="fake"/><CHECK STR="other"/>
 </DETECT>
 <DETECT BIN="%2" ARG="--print=fake 2">
  <CHECK PATH="%BIN%/cc" STR="fake"/><CHECK PATH="%BIN%/cc" STR="2"/>
 </DETECT>
</COMPILER>)")
                  .arg(m_tool, QFileInfo(m_tool).absolutePath())
                  .toUtf8());
    xml.close();
    FakeMainServices services;
    const DetectionResult result = CompilerDetector(&services).detect(file);
    QVERIFY(result.found);
    QCOMPARE(result.tooOld, 0);
    QCOMPARE(result.directory, QFileInfo(m_tool).absolutePath());
    QCOMPARE(result.version, QStringLiteral("2.0"));
    QCOMPARE(services.lines, QStringList{"message: Detecting compiler Fake"});
}

QTEST_GUILESS_MAIN(tst_Detection)
#include "tst_detection.moc"
