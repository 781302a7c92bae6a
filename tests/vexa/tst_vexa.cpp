// The simulator program: the firmware files it accepts, its engines' refusals, and its window
// running a real firmware from a hand-off file as the IDE writes it.
#include "channel/vexachannel.h"
#include "common/datarows.h"
#include "common/fulldisk.h"
#include "common/testfiles.h"
#include "firmware/hexfile.h"
#include "vexa/avrengine.h"
#include "vexa/design.h"
#include "vexa/engine.h"
#include "vexa/serialterminal.h"
#include "vexa/simulationrun.h"
#include "vexa/vexawindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDirIterator>
#include <QDomDocument>
#include <QFile>
#include <QGraphicsItem>
#include <QGraphicsScene>
#include <QGraphicsView>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTimer>
#include <QtTest>

#include <cstdio>

#include <sys/stat.h>
#include <unistd.h>

class tst_Vexa : public QObject
{
    Q_OBJECT

private slots:
    void hexFiles_data();
    void hexFiles();
    void clockTexts_data();
    void clockTexts();
    void listedControllersLoad_data();
    void listedControllersLoad();
    void simulatedControllersAreListed();
    void avrRefusals();
    void engineProgramThatDies();
    void terminalOfEverySerialPort();
    void terminalShowsWhatATerminalShows_data();
    void terminalShowsWhatATerminalShows();
    void eepromFromTheFirmwareFile_data();
    void eepromFromTheFirmwareFile();
    void designFilesNeverLoseParts();
    void designChangesGoOnOrAreSaved();
    void filesThatAreNoFiles_data();
    void filesThatAreNoFiles();
    void newDesignNotWrittenThroughALink();
    void designsReadAsSaved();
    void firmwareThatStopsTheController();
    void writesOnAFullDisk();
    void timedRunsEndOnTime_data();
    void timedRunsEndOnTime();
    void timedInputsReachTheFirmware_data();
    void timedInputsReachTheFirmware();
    void windowTakesInput_data() { timedInputsReachTheFirmware_data(); }
    void windowTakesInput();
    void partsAddedOnTheBoard();
    void analogInputs();
    void firmwareEndsTheRun_data();
    void firmwareEndsTheRun();

private:
    // Builds a firmware of a family (C for AVR and 8051, assembler for PIC16; AVR for the
    // ATmega328P unless mcu says otherwise) into a HEX file; empty when the compiler fails.
    QString buildFirmware(const QString &family,
                          const QString &source,
                          const QString &name,
                          const QString &mcu = QStringLiteral("atmega328p"));
    QString buildAvr(const QString &source,
                     const QString &name,
                     const QString &mcu = QStringLiteral("atmega328p"))
    {
        return buildFirmware(QStringLiteral("AVR"), source, name, mcu);
    }
    // The hand-off file of a run, the controller as "FAMILY DEVICE CLOCK".
    QString handOff(const QString &design,
                    const QString &program,
                    bool autorun,
                    const QString &controller = QStringLiteral("AVR ATMEGA328P 16MHz"))
    {
        const QString path = m_dir.filePath(QStringLiteral("tandel.ini"));
        return writeHandOff(path, design, program, controller, autorun) ? path : QString();
    }
    // Save Design, as the user chooses it.
    static void saveDesign(VexaWindow &window)
    {
        for (QAction *action : window.findChildren<QAction *>()) {
            if (action->text() == QLatin1String("Save Design"))
                action->trigger();
        }
    }
    QTemporaryDir m_dir;
};

// Every controller the simulator's lists name, aliases too, as (family, name).
static QList<QPair<QString, QString>> simulatorControllers()
{
    QList<QPair<QString, QString>> controllers;
    for (const QString &name : QDir(QStringLiteral(DYX_SOURCE_DIR "/data/simulator"))
                                   .entryList({QStringLiteral("*.xml")})) {
        QDomDocument document;
        document.setContent(readFile(QStringLiteral(DYX_SOURCE_DIR "/data/simulator/") + name));
        const QDomNodeList listed = document.elementsByTagName(QStringLiteral("CONTROLLER"));
        for (int i = 0; i < listed.size(); ++i) {
            const QDomElement c = listed.at(i).toElement();
            const QString family = c.parentNode().toElement().attribute(QStringLiteral("NAME"));
            controllers.append({family, c.attribute(QStringLiteral("NAME"))});
            for (QDomElement a = c.firstChildElement(QStringLiteral("ALIAS")); !a.isNull();
                 a = a.nextSiblingElement(QStringLiteral("ALIAS")))
                controllers.append({family, a.attribute(QStringLiteral("NAME"))});
        }
    }
    return controllers;
}

static QByteArray record(int count, int address, int type, const QByteArray &data)
{
    QByteArray bytes;
    bytes.append(char(count))
        .append(char(address >> 8))
        .append(char(address & 0xff))
        .append(char(type));
    bytes.append(data);
    int sum = 0;
    for (const char c : bytes)
        sum += quint8(c);
    bytes.append(char((0x100 - (sum & 0xff)) & 0xff));
    return ':' + bytes.toHex().toUpper() + '\n';
}

void tst_Vexa::hexFiles_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("error"); // a word of the message; empty for a good file
    QTest::addColumn<int>("chunks");
    QTest::addColumn<int>("end");
    const QByteArray eof = ":00000001FF\n";
    const QByteArray two = record(2, 0x0000, 0, "\x0c\x94");
    QTest::newRow("one record") << two + eof << QString() << 1 << 2;
    QTest::newRow("two runs") << two + record(1, 0x0010, 0, "\x01") + eof << QString() << 2 << 0x11;
    // An extended linear address of 1 puts the byte at 0x10000.
    QTest::newRow("extended address")
        << record(2, 0, 4, QByteArray("\x00\x01", 2)) + record(1, 0, 0, "\x05") + eof << QString()
        << 1 << 0x10001;
    QByteArray bad = two;
    bad[bad.size() - 2] = bad.at(bad.size() - 2) == '0' ? '1' : '0';
    QTest::newRow("bad checksum") << bad + eof << "checksum" << 0 << 0;
    QTest::newRow("truncated: no end record") << two << "truncated" << 0 << 0;
    QTest::newRow("cut inside a record") << two.left(13) + '\n' + eof << "length" << 0 << 0;
    addRow("not hexadecimal", QByteArray(":0200000G0C9467\n") + eof, "hexadecimal", 0, 0);
    QTest::newRow("text") << QByteArray("hello\n") << "record" << 0 << 0;
    QTest::newRow("empty") << QByteArray() << "empty" << 0 << 0;
    QTest::newRow("data after the end") << two + eof + two << "follows" << 0 << 0;
}

// A firmware file is taken whole or not at all.
void tst_Vexa::hexFiles()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, error);
    QFETCH(int, chunks);
    QFETCH(int, end);
    const HexImage image = HexImage::parse(text);
    if (error.isEmpty()) {
        QVERIFY2(image.error.isEmpty(), qPrintable(image.error));
        QCOMPARE(image.chunks.size(), chunks);
        QCOMPARE(int(image.endAddress()), end);
    } else {
        QVERIFY2(image.error.contains(error), qPrintable(image.error));
        QVERIFY(image.chunks.isEmpty());
    }
}

void tst_Vexa::clockTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("hertz");
    QTest::newRow("MHz") << "16MHz" << 16e6;
    QTest::newRow("fraction") << "11.0592MHz" << 11059200.0;
    QTest::newRow("space, lower case") << "8 mhz" << 8e6;
    QTest::newRow("kHz") << "32.768kHz" << 32768.0;
    QTest::newRow("plain number") << "4000000" << 4e6;
    QTest::newRow("not a clock") << "fast" << 0.0;
    QTest::newRow("empty") << "" << 0.0;
}

void tst_Vexa::clockTexts()
{
    QFETCH(QString, text);
    QFETCH(double, hertz);
    QCOMPARE(Engine::parseClock(text), hertz);
}

void tst_Vexa::listedControllersLoad_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<QString>("controller");
    for (const auto &[family, controller] : simulatorControllers())
        QTest::addRow("%s %s", qPrintable(family), qPrintable(controller)) << family << controller;
}

// Every controller the simulator's lists name (aliases too) is one its engines simulate: a
// firmware of two empty instructions loads, and the controller shows its pins. The firmware
// lies in a folder whose name holds engine commands between line breaks, under a name that
// starts like an option: the engines read it as a file all the same.
void tst_Vexa::listedControllersLoad()
{
    QFETCH(QString, family);
    QFETCH(QString, controller);
    const QString folder = m_dir.filePath(QStringLiteral("x\nkill\nquit\ny"));
    QVERIFY(QDir().mkpath(folder));
    const QString hex = folder + QStringLiteral("/-nops.hex");
    QVERIFY(writeFile(hex, record(4, 0, 0, QByteArray(4, '\0')) + ":00000001FF\n"));
    std::unique_ptr<Engine> engine = Engine::forFamily(family);
    QVERIFY(engine);
    const QString error = engine->load(hex, controller.toUpper(), 4e6);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QVERIFY(!engine->pins().isEmpty());
}

// Each controller of the compilers' families that its engine simulates is in the simulator's
// list of its family (by its name or an alias), so that Project Settings offers it.
void tst_Vexa::simulatedControllersAreListed()
{
    QSet<QString> listed; // "FAMILY/CONTROLLER", upper case
    for (const auto &[family, controller] : simulatorControllers())
        listed.insert((family + QLatin1Char('/') + controller).toUpper());
    const QString hex = m_dir.filePath(QStringLiteral("nops.hex"));
    QVERIFY(writeFile(hex, record(4, 0, 0, QByteArray(4, '\0')) + ":00000001FF\n"));
    QStringList missing;
    int listedOnes = 0;
    for (const QString &name : QDir(QStringLiteral(DYX_SOURCE_DIR "/data/compilers"))
                                   .entryList({QStringLiteral("*.xml")})) {
        QDomDocument document;
        document.setContent(readFile(QStringLiteral(DYX_SOURCE_DIR "/data/compilers/") + name));
        const QDomNodeList families = document.elementsByTagName(QStringLiteral("FAMILY"));
        for (int f = 0; f < families.size(); ++f) {
            const QString family = families.at(f).toElement().attribute(QStringLiteral("NAME"));
            std::unique_ptr<Engine> engine = Engine::forFamily(family);
            if (!engine)
                continue;
            for (QDomElement c = families.at(f).firstChildElement(QStringLiteral("CONTROLLER"));
                 !c.isNull();
                 c = c.nextSiblingElement(QStringLiteral("CONTROLLER"))) {
                // A listed one is loaded by listedControllersLoad.
                const QString controller = c.attribute(QStringLiteral("NAME")).toUpper();
                if (listed.contains(family.toUpper() + QLatin1Char('/') + controller)) {
                    ++listedOnes;
                    continue;
                }
                if (engine->load(hex, controller, 4e6).isEmpty())
                    missing.append(family + QLatin1Char('/') + controller);
            }
        }
    }
    QVERIFY(listedOnes > 20);
    QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QStringLiteral(", "))));
}

// Firmware bigger than the flash would end the process inside the engine: it is refused first.
void tst_Vexa::avrRefusals()
{
    AvrEngine engine;
    const QString big = m_dir.filePath(QStringLiteral("big.hex"));
    // One byte at 0x8000, just past the 32 KB of the ATmega328P.
    QVERIFY(writeFile(big,
                      record(2, 0, 4, QByteArray(2, '\0')) + record(1, 0x8000, 0, "\x01")
                          + ":00000001FF\n"));
    QString error = engine.load(big, QStringLiteral("ATMEGA328P"), 16e6);
    QVERIFY2(error.contains(QStringLiteral("does not fit")), qPrintable(error));
    QVERIFY(!engine.isLoaded());
    error = engine.load(big, QStringLiteral("ATMEGA9999"), 16e6);
    QVERIFY2(error.contains(QStringLiteral("no model")), qPrintable(error));
    error = engine.load(m_dir.filePath(QStringLiteral("missing.hex")),
                        QStringLiteral("ATMEGA328P"),
                        16e6);
    QVERIFY2(error.contains(QStringLiteral("Cannot read"))
                 && error.contains(QStringLiteral("No such file")),
             qPrintable(error));
}

// A simulation engine program that ends at once is reported, not waited for.
void tst_Vexa::engineProgramThatDies()
{
    const QString bin = m_dir.filePath(QStringLiteral("bin"));
    QVERIFY(QDir().mkpath(bin));
    QFile script(bin + QStringLiteral("/gpsim"));
    QVERIFY(writeFile(script.fileName(), "#!/bin/sh\nexit 3\n"));
    script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
    const QString hex = m_dir.filePath(QStringLiteral("pic.hex"));
    QVERIFY(writeFile(hex, record(2, 0, 0, QByteArray(2, '\0')) + ":00000001FF\n"));
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", bin.toLocal8Bit() + ':' + path);
    std::unique_ptr<Engine> engine = Engine::forFamily(QStringLiteral("PIC16"));
    const QString error = engine->load(hex, QStringLiteral("PIC16F877A"), 4e6);
    qputenv("PATH", path);
    QVERIFY2(error.contains(QStringLiteral("has stopped")), qPrintable(error));
    QVERIFY(!engine->isLoaded());
}

// A design file that cannot be read is reported and never written over; one naming pins the
// controller lacks says which.
void tst_Vexa::designFilesNeverLoseParts()
{
    const QString hex = buildAvr(QStringLiteral("int main(void) { for (;;); }"),
                                 QStringLiteral("idle"));
    QVERIFY(!hex.isEmpty());
    const QString broken = m_dir.filePath(QStringLiteral("broken.DSN"));
    QVERIFY(writeFile(broken, "<DESIGN><PART TYPE=\"LED\" PIN=\"PB5\""));
    {
        VexaWindow window(handOff(broken, hex, false));
        const auto *messages = child<QPlainTextEdit>(window, "messages");
        QVERIFY(messages->toPlainText().contains(QStringLiteral("is not XML")));
        saveDesign(window);
    }
    QCOMPARE(readFile(broken), QByteArray("<DESIGN><PART TYPE=\"LED\" PIN=\"PB5\""));

    const QString odd = m_dir.filePath(QStringLiteral("odd.DSN"));
    QVERIFY(writeFile(odd, "<DESIGN><PART TYPE=\"LED\" NAME=\"D9\" PIN=\"PZ9\"/></DESIGN>"));
    VexaWindow window(handOff(odd, hex, false));
    const auto *messages = child<QPlainTextEdit>(window, "messages");
    QVERIFY2(messages->toPlainText().contains(QStringLiteral("D9 PZ9")),
             qPrintable(messages->toPlainText()));
}

// The names of the parts a design file holds.
static QStringList partsIn(const QString &path)
{
    Design design;
    QString error;
    bool isNew = false;
    QStringList names;
    if (design.load(path, &error, &isNew)) {
        for (const DesignPart &part : std::as_const(design.parts))
            names << part.name;
    }
    return names;
}

// Parts removed on the board are a change of the design, marked in the title, until saved. A
// firmware handed over again (a build in the IDE) keeps the change, and so does a copy of the
// design (the project saved elsewhere): Save Design then writes the copy. Another design
// handed over saves the change where it belongs first. Closing the window asks; the IDE
// closing it saves.
void tst_Vexa::designChangesGoOnOrAreSaved()
{
    const QString hex = buildAvr(QStringLiteral("int main(void) { for (;;); }"),
                                 QStringLiteral("parts"));
    QVERIFY(!hex.isEmpty());
    const auto design = [this](const QString &name, const QStringList &leds) {
        QByteArray text = "<DESIGN CONTROLLER=\"ATMEGA328P\" FAMILY=\"AVR\">";
        for (int i = 0; i < leds.size(); ++i)
            text += QStringLiteral("<PART TYPE=\"LED\" NAME=\"%1\" PIN=\"PB%2\" X=\"320\" "
                                   "Y=\"%3\"/>")
                        .arg(leds.at(i))
                        .arg(i)
                        .arg(40 + 100 * i)
                        .toUtf8();
        const QString path = m_dir.filePath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        return writeFile(path, text + "</DESIGN>") ? path : QString();
    };
    const QString first = design(QStringLiteral("first.DSN"), {"D1", "D2"});
    const QString other = design(QStringLiteral("other.DSN"), {"D7"});
    const QByteArray firstText = readFile(first);
    QString asked;
    const auto answerNext = [&asked](QMessageBox::StandardButton button) {
        QTimer::singleShot(0, [&asked, button] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                asked = box->text();
                box->button(button)->click();
            }
        });
    };
    auto window = std::make_unique<VexaWindow>(handOff(first, hex, false));
    window->show();
    const auto remove = [&](int at) { // the part at the place of the design's part at
        auto *scene = window->findChild<QGraphicsView *>()->scene();
        scene->clearSelection();
        const QList<QGraphicsItem *> found = scene->items(QPointF(330, 50 + 100 * at));
        if (found.isEmpty())
            return false;
        found.first()->setSelected(true);
        for (QAction *action : window->findChildren<QAction *>()) {
            if (action->text() == QLatin1String("Remove"))
                action->trigger();
        }
        return true;
    };
    const auto handOver = [&](const QString &path) {
        QVERIFY(!this->handOff(path, hex, false).isEmpty());
        window->reloadHandOff();
    };
    QVERIFY(!window->isWindowModified());
    QVERIFY(remove(0));
    QVERIFY(window->isWindowModified());
    handOver(first);
    QVERIFY(window->isWindowModified());
    QVERIFY(!remove(0)); // still gone
    QCOMPARE(readFile(first), firstText);

    const QString copy = m_dir.filePath(QStringLiteral("copy/first.DSN"));
    QDir().mkpath(QFileInfo(copy).absolutePath());
    QVERIFY(QFile::copy(first, copy));
    handOver(copy);
    QVERIFY(window->isWindowModified());
    saveDesign(*window);
    QVERIFY(!window->isWindowModified());
    QCOMPARE(partsIn(copy), QStringList{"D2"});
    QCOMPARE(readFile(first), firstText);

    QVERIFY(remove(1));
    handOver(other);
    QVERIFY(partsIn(copy).isEmpty());
    QVERIFY(!window->isWindowModified());
    QVERIFY(remove(0)); // D7 is there

    answerNext(QMessageBox::Cancel);
    QVERIFY(!window->close());
    QCOMPARE(asked,
             QStringLiteral("The design other.DSN has changes that are not saved.\nSave them?"));
    QVERIFY(window->isVisible() && window->isWindowModified());
    answerNext(QMessageBox::Discard);
    QVERIFY(window->close());
    QCOMPARE(partsIn(other), QStringList{"D7"});

    // Closed by the IDE: saved, unasked.
    window = std::make_unique<VexaWindow>(handOff(other, hex, false));
    window->show();
    QVERIFY(remove(0));
    asked.clear();
    QTimer refuse; // a question would be answered Cancel
    connect(&refuse, &QTimer::timeout, [&] { answerNext(QMessageBox::Cancel); });
    refuse.start(20);
    QCOMPARE(window->command(VexaChannel::CloseProgram), 1);
    QTRY_VERIFY(!window->isVisible());
    QVERIFY(asked.isEmpty());
    QVERIFY(partsIn(other).isEmpty());

    // The session ending: saved at the session manager's request, or at exit (the display
    // gone), before the window could ask.
    for (const bool atExit : {false, true}) {
        QCOMPARE(design(QStringLiteral("other.DSN"), {"D7"}), other);
        window = std::make_unique<VexaWindow>(handOff(other, hex, false));
        window->show();
        QVERIFY(remove(0));
        if (atExit)
            window->keepDesignAtExit();
        else
            window->keepDesign();
        QVERIFY(partsIn(other).isEmpty());
    }

    // Closed so when the design's folder has gone: the changes are kept in a file of their
    // own, which the messages name.
    const QString gone = design(QStringLiteral("gone/gone.DSN"), {"D4", "D5"});
    window = std::make_unique<VexaWindow>(handOff(gone, hex, false));
    window->show();
    QVERIFY(remove(0));
    QVERIFY(QDir(QFileInfo(gone).absolutePath()).removeRecursively());
    const QString data = m_dir.filePath(QStringLiteral("data"));
    qputenv("XDG_DATA_HOME", QFile::encodeName(data));
    QCOMPARE(window->command(VexaChannel::CloseProgram), 1);
    QTRY_VERIFY(!window->isVisible());
    QDirIterator kept(data,
                      {QStringLiteral("gone *.DSN")},
                      QDir::Files,
                      QDirIterator::Subdirectories);
    QVERIFY(kept.hasNext());
    const QString keptPath = kept.next();
    QCOMPARE(partsIn(keptPath), QStringList{"D5"});
    const QString said = child<QPlainTextEdit>(*window, "messages")->toPlainText();
    QVERIFY2(said.contains(keptPath), qPrintable(said));
}

void tst_Vexa::filesThatAreNoFiles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("a FIFO") << "fifo";
    QTest::newRow("a link to an endless device") << "zero";
    QTest::newRow("a folder") << "folder";
}

// A design or firmware file that is a FIFO, a device or a folder is refused at once, with its
// name, instead of holding or filling the simulator.
void tst_Vexa::filesThatAreNoFiles()
{
    QFETCH(QString, kind);
    const QString path = m_dir.filePath(QStringLiteral("odd-") + kind);
    QFile::remove(path);
    QDir(path).removeRecursively();
    if (kind == QLatin1String("fifo"))
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else if (kind == QLatin1String("zero"))
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
    else
        QVERIFY(QDir().mkpath(path));
    const HexImage image = HexImage::read(path);
    QVERIFY2(image.error.contains(path), qPrintable(image.error));
    Design design;
    QString error;
    bool isNew = false;
    QVERIFY(!design.load(path, &error, &isNew));
    QVERIFY2(error.contains(path), qPrintable(error));
}

// An empty design file gets the default board written at once, but not through a link of its
// name to an empty file elsewhere; Save Design writes it there, as asked.
void tst_Vexa::newDesignNotWrittenThroughALink()
{
    const QString hex = m_dir.filePath(QStringLiteral("empty.hex"));
    const QString elsewhere = m_dir.filePath(QStringLiteral("elsewhere.txt"));
    const QString design = m_dir.filePath(QStringLiteral("linked.DSN"));
    QVERIFY(writeFile(hex, ":00000001FF\n") && writeFile(elsewhere)
            && QFile::link(elsewhere, design));
    VexaWindow window(handOff(design, hex, false));
    QCOMPARE(readFile(elsewhere), QByteArray());
    QVERIFY(window.isWindowModified());
    // Nor when VEXA keeps its changes unasked (closed by the IDE, a log-out, a signal): they
    // go to copies of their own.
    const QString data = m_dir.filePath(QStringLiteral("linked-data"));
    qputenv("XDG_DATA_HOME", QFile::encodeName(data));
    window.keepDesign();
    window.keepDesignAtExit();
    QCOMPARE(readFile(elsewhere), QByteArray());
    QCOMPARE(QDirIterator(data,
                          {QStringLiteral("linked *.DSN")},
                          QDir::Files,
                          QDirIterator::Subdirectories)
                 .hasNext(),
             true);
    // At exit with no folder for copies either (below a file): the loss is said, not an
    // empty line.
    qputenv("XDG_DATA_HOME", QFile::encodeName(hex));
    QTemporaryFile said;
    QVERIFY(said.open());
    std::fflush(stderr);
    const int stderrFd = ::dup(2);
    ::dup2(said.handle(), 2);
    window.keepDesignAtExit();
    std::fflush(stderr);
    ::dup2(stderrFd, 2);
    ::close(stderrFd);
    QVERIFY2(readFile(said.fileName()).contains("The changes to linked.DSN are lost"), "not said");
    saveDesign(window);
    QVERIFY(readFile(elsewhere).contains("TYPE=\"LED\""));
}

// A design read and saved again: a part placed far off the board (a hand-edited design) comes
// back to its edge and is saved as the number it shows; timed inputs are kept, text and all.
// An input that gives no time, or both a pin and a port, makes the file no design.
void tst_Vexa::designsReadAsSaved()
{
    const QString path = m_dir.filePath(QStringLiteral("far.DSN"));
    QVERIFY(writeFile(path,
                      "<DESIGN><PART TYPE=\"LED\" NAME=\"D1\" PIN=\"PB5\" X=\"3e9\" Y=\"nan\"/>"
                      "<PART TYPE=\"LED\" NAME=\"D2\" PIN=\"PB4\" X=\"-1e300\" Y=\"12\"/>"
                      "<INPUT AT=\"0.25\" UART=\"UART0\" TEXT=\"go&#13;\"/>"
                      "<INPUT AT=\"0.125\" PIN=\"PD2\" LEVEL=\"0\"/></DESIGN>"));
    Design design;
    QString error;
    bool isNew = false;
    QVERIFY(design.load(path, &error, &isNew));
    QVERIFY(design.save(path, &error));
    // Places brought onto the board, the inputs in time order, the attributes in their order
    // (the same file each time, whatever the program's run).
    QCOMPARE(readFile(path),
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<DESIGN CONTROLLER=\"\" FAMILY=\"\">\n"
             " <PART TYPE=\"LED\" NAME=\"D1\" PIN=\"PB5\" X=\"100000\" Y=\"0\"/>\n"
             " <PART TYPE=\"LED\" NAME=\"D2\" PIN=\"PB4\" X=\"-100000\" Y=\"12\"/>\n"
             " <INPUT AT=\"0.125\" PIN=\"PD2\" LEVEL=\"0\"/>\n"
             " <INPUT AT=\"0.25\" UART=\"UART0\" TEXT=\"go&#13;\"/>\n</DESIGN>\n");
    QVERIFY(design.load(path, &error, &isNew));
    QCOMPARE(design.inputs.size(), 2);
    QCOMPARE(design.inputs.at(0).seconds, 0.125);
    QCOMPARE(design.inputs.at(0).pin, QStringLiteral("PD2"));
    QVERIFY(!design.inputs.at(0).level);
    QCOMPARE(design.inputs.at(1).text, QByteArray("go\r"));
    for (const QByteArray &bad : {QByteArray("<INPUT PIN=\"PD2\"/>"),
                                  QByteArray("<INPUT AT=\"1\" PIN=\"PD2\" UART=\"UART0\"/>")}) {
        QVERIFY(writeFile(path, "<DESIGN>" + bad + "</DESIGN>"));
        QVERIFY(!design.load(path, &error, &isNew));
        QVERIFY(error.contains(QStringLiteral("INPUT")));
    }
}

// A firmware that puts the controller to sleep for good is reported, and the window lives on.
void tst_Vexa::firmwareThatStopsTheController()
{
    const QString hex = buildAvr(QStringLiteral(R"(
#include <avr/interrupt.h>
#include <avr/sleep.h>
int main(void) { cli(); sleep_enable(); sleep_cpu(); for (;;); }
)"),
                                 QStringLiteral("asleep"));
    QVERIFY(!hex.isEmpty());
    const QString design = m_dir.filePath(QStringLiteral("asleep.DSN"));
    QVERIFY(writeFile(design));
    VexaWindow window(handOff(design, hex, true));
    const auto *messages = child<QPlainTextEdit>(window, "messages");
    QTRY_VERIFY_WITH_TIMEOUT(messages->toPlainText().contains(
                                 QStringLiteral("stopped the controller")),
                             5000);
    QVERIFY(!window.isRunning());
}

// A trace or a design that cannot be written whole is reported: the timed run does not count
// as done, and the design file keeps its last version.
void tst_Vexa::writesOnAFullDisk()
{
    const QString hex = buildAvr(QStringLiteral(R"(
#include <avr/io.h>
#include <util/delay.h>
int main(void) { DDRB = 1 << PB5; for (;;) { PINB = 1 << PB5; _delay_ms(5); } }
)"),
                                 QStringLiteral("fast"));
    QVERIFY(!hex.isEmpty());
    const QString design = m_dir.filePath(QStringLiteral("full.DSN"));
    QVERIFY(writeFile(design));
    VexaWindow window(handOff(design, hex, false));
    const QByteArray before = readFile(design);
    QVERIFY(before.contains("PB5"));
    const auto *messages = child<QPlainTextEdit>(window, "messages");
    {
        // Room for the trace's header, not for a second of changes every 5 ms.
        FullDisk full(1024);
        QVERIFY(full.isActive());
        window.setTimedRun(1.0, m_dir.filePath(QStringLiteral("full.vcd")));
        window.run();
        QTRY_VERIFY_WITH_TIMEOUT(!window.isRunning(), 20000);
    }
    {
        FullDisk full(16);
        saveDesign(window);
    }
    QVERIFY2(messages->toPlainText().contains(QStringLiteral("could not be written whole")),
             qPrintable(messages->toPlainText()));
    QVERIFY2(messages->toPlainText().contains(QStringLiteral("Cannot save the design file")),
             qPrintable(messages->toPlainText()));
    QCOMPARE(readFile(design), before);
}

// An empty design gets the default board and is saved. On a controller with four USARTs the
// terminal names each line's port, and typed text goes to the port chosen beside the input.
// Stop holds the simulated time still.
void tst_Vexa::terminalOfEverySerialPort()
{
    const QString hex = buildAvr(QStringLiteral(R"(
#include <avr/io.h>
static void put0(char c) { while (!(UCSR0A & (1 << UDRE0))); UDR0 = c; }
static void put1(char c) { while (!(UCSR1A & (1 << UDRE1))); UDR1 = c; }
int main(void)
{
    UBRR0 = UBRR1 = 103;
    UCSR0B = 1 << TXEN0;
    UCSR1B = (1 << TXEN1) | (1 << RXEN1);
    for (const char *s = "zero\r\n"; *s; ++s) put0(*s);
    for (;;) { /* each letter typed on USART1 comes back in capitals */
        if (UCSR1A & (1 << RXC1)) { char c = UDR1; put1(c == '\r' ? '\n' : c & ~0x20); }
    }
}
)"),
                                 QStringLiteral("ports"),
                                 QStringLiteral("atmega2560"));
    QVERIFY(!hex.isEmpty());
    const QString design = m_dir.filePath(QStringLiteral("ports.DSN"));
    QVERIFY(writeFile(design));
    VexaWindow window(handOff(design, hex, true, QStringLiteral("AVR ATMEGA2560 16MHz")));
    QVERIFY(window.windowTitle().contains(QStringLiteral("VEXA")));
    const QByteArray saved = readFile(design);
    QVERIFY2(saved.contains("TYPE=\"LED\"") && saved.contains("TYPE=\"TERMINAL\""),
             saved.constData());
    const auto *terminal = child<QPlainTextEdit>(window, "terminal");
    auto *port = child<QComboBox>(window, "terminalPort");
    QVERIFY(terminal && port);
    QCOMPARE(port->count(), 4);
    QCOMPARE(port->itemText(1), QStringLiteral("UART1"));
    QVERIFY(!port->isHidden());
    QTRY_COMPARE_WITH_TIMEOUT(terminal->toPlainText(), QStringLiteral("[UART0] zero\n"), 10000);
    port->setCurrentIndex(1);
    auto *input = child<QLineEdit>(window, "terminalInput");
    input->setText(QStringLiteral("ab"));
    QTest::keyClick(input, Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(terminal->toPlainText(),
                              QStringLiteral("[UART0] zero\n[UART1] AB\n"),
                              10000);
    window.stop();
    const std::uint64_t stopped = window.simulatedNs();
    QTest::qWait(100);
    QCOMPARE(window.simulatedNs(), stopped);
    QVERIFY(stopped > 0);
}

void tst_Vexa::terminalShowsWhatATerminalShows_data()
{
    QTest::addColumn<QStringList>("ports");
    QTest::addColumn<QStringList>("written"); // each "port:text", in turn
    QTest::addColumn<QString>("shown");
    const QStringList one{"UART"};
    const QStringList two{"UART0", "UART1"};
    const QString full(SerialTerminal::maxLineChars, QLatin1Char('x'));
    QTest::newRow("line ends") << one << QStringList{"0:ok\r\n> x\n\nlast"} << "ok\n> x\n\nlast";
    QTest::newRow("a status line written again")
        << one << QStringList{"0:t=100\rt=99 \rt=98 \r"} << "t=98 ";
    QTest::newRow("a shorter one leaves the end") << one << QStringList{"0:t=100\rt=99"} << "t=990";
    QTest::newRow("backspaces") << one << QStringList{"0:abc\b \b\b\b\b\bX"} << "Xb ";
    QTest::newRow("each port's lines") << two << QStringList{"0:ab", "1:cd\n", "0:e\r\n", "1:\n"}
                                       << "[UART0] ab\n[UART1] cd\n[UART0] e\n[UART1] \n";
    QTest::newRow("a return keeps the port's name")
        << two << QStringList{"0:abc\rX"} << "[UART0] Xbc";
    QTest::newRow("a line that never ends")
        << one << QStringList{"0:" + full + full + "xyz"} << full + "\n" + full + "\nxyz";
    QTest::newRow("colours and other escapes, a bell")
        << one << QStringList{"0:\x1b[1;32mOK\x1b[0m\x07 \x1b(Bdone\x1b[?25l"} << "OK done";
    QTest::newRow("the line erased")
        << one << QStringList{"0:working 50%\r\x1b[Kdone\nab\x1b[2Kc\nxyz\x1b[2D\x1b[1K!"}
        << "done\n  c\n !z";
    QTest::newRow("moving along the line")
        << one << QStringList{"0:abcd\x1b[2Dx\x1b[3Cy\x1b[2Gz\x1b[1;1H>"} << ">zxd  y";
    QTest::newRow("the screen erased")
        << two << QStringList{"0:old\n", "1:x\x1b[2J\x1b[Hnew"} << "[UART1] new";
    QTest::newRow("a sequence cut short, each port's own")
        << two << QStringList{"0:a\x1b[1", "1:b\x1b", "0:;2\u00e4", "1:[31mc"}
        << "[UART0] a\n[UART1] b\n[UART0] \u00e4\n[UART1] c";
    QTest::newRow("a colour after a line end opens no line")
        << two << QStringList{"0:a\n\x1b[0m"} << "[UART0] a\n";
}

// The terminal's view shows the same, given the text at once or a character at a time; no line
// is longer than a terminal's.
void tst_Vexa::terminalShowsWhatATerminalShows()
{
    QFETCH(QStringList, ports);
    QFETCH(QStringList, written);
    QFETCH(QString, shown);
    for (const bool atOnce : {true, false}) {
        QPlainTextEdit view;
        SerialTerminal terminal(view);
        terminal.setPorts(ports);
        for (const QString &piece : std::as_const(written)) {
            const int port = piece.section(QLatin1Char(':'), 0, 0).toInt();
            const QString text = piece.section(QLatin1Char(':'), 1);
            for (int i = 0; i < text.size(); i += atOnce ? int(text.size()) : 1) {
                terminal.append(port, text.mid(i, atOnce ? -1 : 1));
                if (!atOnce)
                    QCoreApplication::processEvents();
            }
        }
        QTRY_COMPARE(view.toPlainText(), shown);
    }
}

void tst_Vexa::eepromFromTheFirmwareFile_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("port"); // where the firmware shows the EEPROM's first byte
    QTest::addColumn<int>("value");
    // avr-objcopy keeps the EEPROM's start values above the flash unless told not to.
    QTest::newRow("AVR") << "AVR"
                         << "ATMEGA328P"
                         << "#include <avr/eeprom.h>\n#include <avr/io.h>\n"
                            "static const uint8_t value EEMEM = 0x5A;\n"
                            "int main(void) { DDRD = 0xff; PORTD = eeprom_read_byte(&value);\n"
                            "for (;;) {} }\n"
                         << "PD" << 0x5A;
    // gpasm writes them at 0x2100.
    QTest::newRow("PIC16") << "PIC16"
                           << "PIC16F84A"
                           << "    processor 16f84a\n    #include <p16f84a.inc>\n"
                              "    __config _HS_OSC & _WDT_OFF & _PWRTE_ON\n    org 0\n"
                              "    bsf STATUS, RP0\n    clrf TRISB\n    bcf STATUS, RP0\n"
                              "    clrf EEADR\n    bsf STATUS, RP0\n    bsf EECON1, RD\n"
                              "    bcf STATUS, RP0\n    movf EEDATA, W\n    movwf PORTB\n"
                              "loop goto loop\n    org 0x2100\n    de 0xA5\n    end\n"
                           << "RB" << 0xA5;
}

// A firmware file that keeps the EEPROM's start values gives them to the EEPROM.
void tst_Vexa::eepromFromTheFirmwareFile()
{
    QFETCH(QString, family);
    QFETCH(QString, device);
    QFETCH(QString, source);
    QFETCH(QString, port);
    QFETCH(int, value);
    const QString hex = buildFirmware(family, source, QStringLiteral("eeprom"));
    QVERIFY(!hex.isEmpty());
    std::unique_ptr<Engine> engine = Engine::forFamily(family);
    QHash<QString, bool> levels;
    engine->pinChanged = [&levels](const QString &pin, bool level, std::uint64_t) {
        levels.insert(pin, level);
    };
    QCOMPARE(engine->load(hex, device, 4e6), QString());
    QVERIFY(engine->runUntil(2000000));
    int read = 0;
    for (int bit = 0; bit < 8; ++bit)
        read |= levels.value(port + QString::number(bit)) << bit;
    QCOMPARE(read, value);
}

// Loads a firmware on a run as a hand-off names it.
static bool loadRun(SimulationRun &run,
                    const QString &family,
                    const QString &device,
                    const QString &clock,
                    const QString &firmware)
{
    HandOff handOff;
    handOff.program = firmware;
    handOff.clock = clock;
    handOff.device = device;
    handOff.family = family;
    return run.load(handOff);
}

QString tst_Vexa::buildFirmware(const QString &family,
                                const QString &source,
                                const QString &name,
                                const QString &mcu)
{
    const bool pic = family == QLatin1String("PIC16");
    const QString commands = family == QLatin1String("AVR")
                                 ? QStringLiteral(
                                       "avr-gcc -mmcu=%2 -Os -DF_CPU=16000000UL %1.c -o %1.elf && "
                                       "avr-objcopy -O ihex %1.elf %1.hex")
                                       .arg(name, mcu)
                             : pic ? QStringLiteral("gpasm -q %1.asm -o %1.hex").arg(name)
                                   : QStringLiteral("sdcc -mmcs51 %1.c -o %1.hex").arg(name);
    if (!writeFile(m_dir.filePath(name + (pic ? QStringLiteral(".asm") : QStringLiteral(".c"))),
                   source.toUtf8())
        || !shellIn(m_dir.path(), commands).isEmpty())
        return QString();
    return m_dir.filePath(name + QStringLiteral(".hex"));
}

void tst_Vexa::timedRunsEndOnTime_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("clock");
    QTest::addColumn<QString>("source");
    // The longest instruction, in periods of the clock.
    QTest::addColumn<int>("longest");
    const QString avrBusy = QStringLiteral(
        "#include <avr/io.h>\nint main(void) { DDRB = 1; for (;;) PORTB ^= 1; }\n");
    // Asleep between the interrupts of a timer that overflows every 1024 * 256 clocks.
    const QString avrAsleep = QStringLiteral(
        "#include <avr/interrupt.h>\n#include <avr/sleep.h>\nISR(TIMER0_OVF_vect) {}\n"
        "int main(void) { TCCR0B = 5; TIMSK0 = 1; sei(); set_sleep_mode(SLEEP_MODE_IDLE);\n"
        "for (;;) sleep_mode(); }\n");
    // Asleep with nothing to wake it but the reset.
    const QString avrAsleepForGood = QStringLiteral(
        "#include <avr/interrupt.h>\n#include <avr/sleep.h>\n"
        "int main(void) { sei(); set_sleep_mode(SLEEP_MODE_PWR_DOWN); for (;;) sleep_mode(); }\n");
    const QString picHead = QStringLiteral(
        "    processor 16f877a\n    #include <p16f877a.inc>\n"
        "    __config _HS_OSC & _PWRTE_OFF & _LVP_OFF & %1\n    org 0\n");
    const QString picBusy = picHead.arg(QStringLiteral("_WDT_OFF"))
                            + QStringLiteral("loop incf PORTB, F\n    goto loop\n    end\n");
    // Woken by the watchdog, time and again.
    const QString picAsleep = picHead.arg(QStringLiteral("_WDT_ON"))
                              + QStringLiteral("loop sleep\n    goto loop\n    end\n");
    const QString mcsBusy = QStringLiteral(
        "#include <8052.h>\nvoid main(void) { for (;;) { P1++; B = B * ACC; } }\n");
    const QString mcsIdle = QStringLiteral(
        "#include <8052.h>\nvoid tick(void) __interrupt(1) { P2++; }\n"
        "void main(void) { TMOD = 2; TR0 = 1; ET0 = 1; EA = 1; for (;;) PCON |= 1; }\n");
    QTest::newRow("AVR busy") << "AVR"
                              << "ATMEGA328P"
                              << "7.3728MHz" << avrBusy << 5;
    QTest::newRow("AVR asleep") << "AVR"
                                << "ATMEGA328P"
                                << "16MHz" << avrAsleep << 5;
    QTest::newRow("AVR asleep for good") << "AVR"
                                         << "ATMEGA328P"
                                         << "1MHz" << avrAsleepForGood << 5;
    addRow("PIC16 busy", "PIC16", "PIC16F877A", "3.6864MHz", picBusy, 8);
    addRow("PIC16 asleep", "PIC16", "PIC16F877A", "20MHz", picAsleep, 8);
    addRow("8051 busy", "MCS51", "AT89S52", "11.0592MHz", mcsBusy, 48);
    addRow("8051 idle", "MCS51", "AT89S52", "12MHz", mcsIdle, 48);
}

// A timed run ends at the simulated time asked for, to within the controller's longest
// instruction, whatever the firmware does and whatever the clock: times that are no whole
// number of clock periods, short and long ones.
void tst_Vexa::timedRunsEndOnTime()
{
    QFETCH(QString, family);
    QFETCH(QString, device);
    QFETCH(QString, clock);
    QFETCH(QString, source);
    QFETCH(int, longest);
    const QString firmware = buildFirmware(family, source, QStringLiteral("timed"));
    QVERIFY(!firmware.isEmpty());
    SimulationRun run;
    QVERIFY(loadRun(run, family, device, clock, firmware));
    const double periodNs = 1e9 / Engine::parseClock(clock);
    for (const double seconds : {0.0001234567, 0.05, 0.3330001}) {
        QSignalSpy ended(&run, &SimulationRun::timedRunEnded);
        const std::uint64_t start = run.timeNs();
        run.setTimedRun(seconds, QString());
        run.start();
        QVERIFY(ended.wait(30000));
        QVERIFY(ended.at(0).at(0).toBool());
        const double ran = double(ended.at(0).at(1).value<std::uint64_t>() - start);
        QVERIFY2(ran >= seconds * 1e9 - 1 && ran <= seconds * 1e9 + longest * periodNs + 1,
                 qPrintable(
                     QStringLiteral("%1 s asked, %2 ns run").arg(seconds).arg(ran, 0, 'f', 0)));
    }
}

void tst_Vexa::timedInputsReachTheFirmware_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("clock");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("led");
    // Each firmware copies its button's pin to its LED's and answers each byte it receives
    // with the next one.
    QTest::newRow("AVR") << "AVR"
                         << "ATMEGA328P"
                         << "16MHz"
                         << "#include <avr/io.h>\nint main(void) { DDRB = 1; UBRR0 = 103;\n"
                            "UCSR0B = (1 << RXEN0) | (1 << TXEN0);\n"
                            "for (;;) { PORTB = (PIND >> 2) & 1;\n"
                            "if (UCSR0A & (1 << RXC0)) { unsigned char c = UDR0 + 1;\n"
                            "while (!(UCSR0A & (1 << UDRE0))); UDR0 = c; } } }\n"
                         << "PD2"
                         << "PB0";
    QTest::newRow("PIC16") << "PIC16"
                           << "PIC16F877A"
                           << "4MHz"
                           << "    processor 16f877a\n    #include <p16f877a.inc>\n"
                              "    __config _HS_OSC & _WDT_OFF & _PWRTE_OFF & _LVP_OFF\n"
                              "    org 0\n    bsf STATUS, RP0\n    clrf TRISD\n"
                              "    movlw D'25'\n    movwf SPBRG\n    movlw 0x24\n    movwf TXSTA\n"
                              "    bcf STATUS, RP0\n    movlw 0x90\n    movwf RCSTA\n"
                              "loop movf PORTB, W\n    andlw 1\n    movwf PORTD\n"
                              "    btfss PIR1, RCIF\n    goto loop\n    movf RCREG, W\n"
                              "    addlw 1\n    movwf TXREG\n    goto loop\n    end\n"
                           << "RB0"
                           << "RD0";
    QTest::newRow("8051") << "MCS51"
                          << "AT89S52"
                          << "11.0592MHz"
                          << "#include <8052.h>\nvoid main(void) { SCON = 0x50; TMOD = 0x20;\n"
                             "TH1 = 0xfd; TR1 = 1;\n"
                             "for (;;) { P1_0 = P3_2;\n"
                             "if (RI) { RI = 0; SBUF = SBUF + 1; while (!TI); TI = 0; } } }\n"
                          << "P3.2"
                          << "P1.0";
}

// The inputs a design gives a scripted run reach the firmware at their times: a pin pressed
// low and let go, and text typed into the serial port, on every family.
void tst_Vexa::timedInputsReachTheFirmware()
{
    QFETCH(QString, family);
    QFETCH(QString, device);
    QFETCH(QString, clock);
    QFETCH(QString, source);
    QFETCH(QString, button);
    QFETCH(QString, led);
    const QString firmware = buildFirmware(family, source, QStringLiteral("inputs"));
    QVERIFY(!firmware.isEmpty());
    SimulationRun run;
    QVERIFY(loadRun(run, family, device, clock, firmware));
    QStringList lines;
    connect(&run, &SimulationRun::serialLine, this, [&lines](int, const QString &line) {
        lines.append(line);
    });
    QSignalSpy problems(&run, &SimulationRun::problem);
    run.setTimedInputs({{0.0, button, true, {}, {}},
                        {0.01, button, false, {}, {}},
                        {0.02, {}, true, QStringLiteral("UART0"), "ABCDEFGH"},
                        {0.04, button, true, {}, {}}});
    const QString trace = m_dir.filePath(QStringLiteral("inputs.vcd"));
    run.setTimedRun(0.06, trace);
    QSignalSpy ended(&run, &SimulationRun::timedRunEnded);
    run.start();
    QVERIFY(ended.wait(30000));
    QVERIFY(ended.at(0).at(0).toBool());
    QVERIFY2(problems.isEmpty(), qPrintable(problems.value(0).value(0).toString()));
    QCOMPARE(lines, QStringList{QStringLiteral("BCDEFGHI")});
    // The LED's changes in the trace: low soon after the press, high soon after the release.
    QList<QPair<double, int>> changes;
    for (const auto &[now, level] : traceLevels(readFile(trace), led)) {
        if (now > 1e6)
            changes.append({now / 1e9, level});
    }
    QCOMPARE(changes.size(), 2);
    QCOMPARE(changes.at(0).second, 0);
    QVERIFY2(changes.at(0).first >= 0.01 && changes.at(0).first < 0.0101,
             qPrintable(QString::number(changes.at(0).first)));
    QCOMPARE(changes.at(1).second, 1);
    QVERIFY2(changes.at(1).first >= 0.04 && changes.at(1).first < 0.0401,
             qPrintable(QString::number(changes.at(1).first)));
}

void tst_Vexa::firmwareEndsTheRun_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("source");
    QTest::addColumn<bool>("ends");
    const QString picHead = QStringLiteral(
        "    processor 16f877a\n    #include <p16f877a.inc>\n"
        "    __config _HS_OSC & _PWRTE_OFF & _LVP_OFF & %1\n    org 0\n"
        "    movlw D'200'\n    movwf 0x20\nwait decfsz 0x20, F\n    goto wait\n");
    QTest::newRow("PIC16: sleep, nothing to wake it")
        << "PIC16"
        << "PIC16F877A"
        << picHead.arg(QStringLiteral("_WDT_OFF"))
               + QStringLiteral(
                   "    bcf INTCON, GIE\n    sleep\nloop incf PORTB, F\n    goto loop\n    end\n")
        << true;
    QTest::newRow("PIC16: sleep, woken by RB0")
        << "PIC16"
        << "PIC16F877A"
        << picHead.arg(QStringLiteral("_WDT_OFF"))
               + QStringLiteral("    bsf INTCON, INTE\n    sleep\nloop goto loop\n    end\n")
        << false;
    QTest::newRow("PIC16: sleep, woken by the watchdog")
        << "PIC16"
        << "PIC16F877A"
        << picHead.arg(QStringLiteral("_WDT_ON"))
               + QStringLiteral("loop sleep\n    goto loop\n    end\n")
        << false;
    QTest::newRow("8051: power down, interrupts off")
        << "MCS51"
        << "AT89S52"
        << "#include <8052.h>\nvoid main(void) { unsigned int i; for (i = 0; i < 500; i++);\n"
           "EA = 0; PCON |= 2; for (;;) P1++; }\n"
        << true;
    QTest::newRow("8051: idle between timer interrupts")
        << "MCS51"
        << "AT89S52"
        << "#include <8052.h>\nvoid tick(void) __interrupt(1) { P2++; }\n"
           "void main(void) { TMOD = 2; TR0 = 1; ET0 = 1; EA = 1; for (;;) PCON |= 1; }\n"
        << false;
}

// A firmware that puts its controller to sleep with nothing to wake it (a PIC16's SLEEP, an
// 8051's idle or power down with the interrupts off) ends a scripted run there, before its
// time; one that sleeps between interrupts or watchdog wake-ups runs on.
void tst_Vexa::firmwareEndsTheRun()
{
    QFETCH(QString, family);
    QFETCH(QString, device);
    QFETCH(QString, source);
    QFETCH(bool, ends);
    const QString firmware = buildFirmware(family, source, QStringLiteral("ends"));
    QVERIFY(!firmware.isEmpty());
    SimulationRun run;
    QVERIFY(loadRun(run, family, device, QStringLiteral("12MHz"), firmware));
    QSignalSpy ended(&run, &SimulationRun::firmwareEnded);
    QSignalSpy finished(&run, &SimulationRun::timedRunEnded);
    run.setTimedRun(0.5, QString());
    run.start();
    QVERIFY(finished.wait(30000));
    QCOMPARE(ended.size(), ends ? 1 : 0);
    const std::uint64_t at = finished.at(0).at(1).value<std::uint64_t>();
    if (ends)
        QVERIFY2(at > 100000 && at < 20000000, qPrintable(QString::number(at)));
    else
        QVERIFY2(at >= 500000000 && at <= 500004000, qPrintable(QString::number(at)));
}

// An ATmega328P's firmware, from its converter's set-up (ADC1 against AVcc) into the loop that
// converts again and again; what follows uses the reading and closes the loop and main.
static const QLatin1String avrConvertsAdc1(
    "ADMUX = (1 << REFS0) | 1; ADCSRA = (1 << ADEN) | 7;\n"
    "for (;;) { ADCSRA |= 1 << ADSC; while (ADCSRA & (1 << ADSC));\n");

// A voltage given to an analog input is what the ADC reads, Vin * 1023 / 5 V, and what a
// PIC16's comparators compare.
void tst_Vexa::analogInputs()
{
    const QString hex = buildFirmware(
        QStringLiteral("PIC16"),
        QStringLiteral("    processor 16f877a\n    #include <p16f877a.inc>\n"
                       "    __config _HS_OSC & _WDT_OFF & _PWRTE_OFF & _LVP_OFF\n    org 0\n"
                       "    bsf STATUS, RP0\n    clrf TRISB\n    clrf TRISD\n"
                       "    movlw 0x80\n    movwf ADCON1\n    bcf STATUS, RP0\n"
                       "    movlw 0x49\n    movwf ADCON0\n" // channel 1, on
                       "loop movlw 0x20\n    movwf 0x20\nsettle decfsz 0x20, F\n    goto settle\n"
                       "    bsf ADCON0, GO\nbusy btfsc ADCON0, GO\n    goto busy\n"
                       "    movf ADRESH, W\n    movwf PORTD\n    bsf STATUS, RP0\n"
                       "    movf ADRESL, W\n    bcf STATUS, RP0\n    movwf PORTB\n"
                       "    goto loop\n    end\n"),
        QStringLiteral("adc"));
    QVERIFY(!hex.isEmpty());
    std::unique_ptr<Engine> engine = Engine::forFamily(QStringLiteral("PIC16"));
    QHash<QString, bool> levels;
    engine->pinChanged = [&levels](const QString &pin, bool level, std::uint64_t) {
        levels.insert(pin, level);
    };
    QCOMPARE(engine->load(hex, QStringLiteral("PIC16F877A"), 4e6), QString());
    QVERIFY(engine->analogInputs().contains(QStringLiteral("AN7")));
    // The ten bits of a reading: the low eight on one port, the high two on another.
    QString low = QStringLiteral("RB");
    QString high = QStringLiteral("RD");
    const auto reading = [&] {
        int value = 0;
        for (int bit = 0; bit < 8; ++bit)
            value |= levels.value(low + QString::number(bit)) << bit;
        for (int bit = 0; bit < 2; ++bit)
            value |= levels.value(high + QString::number(bit)) << (8 + bit);
        return value;
    };
    // Each voltage given is read; a reset leaves the last, which the firmware, started again,
    // reads.
    const auto readsEachVoltage = [&](const QString &input, std::uint64_t settleNs) {
        for (const double volts : {2.5, 1.0, 4.2, -1.0}) {
            if (volts < 0) {
                engine->reset();
                levels.clear();
            } else {
                engine->setAnalogInput(input, volts);
            }
            QVERIFY(engine->runUntil(engine->timeNs() + settleNs));
            const double expected = (volts < 0 ? 4.2 : volts) * 1023 / 5;
            QVERIFY2(qAbs(reading() - expected) <= 1, qPrintable(QString::number(reading())));
        }
    };
    readsEachVoltage(QStringLiteral("AN1"), 5000000);

    // The PIC16F628A's first comparator: RA3 against RA0, its output copied to RB0.
    const QString comparing
        = buildFirmware(QStringLiteral("PIC16"),
                        QStringLiteral(
                            "    processor 16f628a\n    #include <p16f628a.inc>\n"
                            "    __config _HS_OSC & _WDT_OFF & _PWRTE_OFF & _LVP_OFF & _MCLRE_OFF\n"
                            "    org 0\n    movlw 0x04\n    movwf CMCON\n    bsf STATUS, RP0\n"
                            "    clrf TRISB\n    bcf STATUS, RP0\n"
                            "loop btfsc CMCON, C1OUT\n    bsf PORTB, 0\n    btfss CMCON, C1OUT\n"
                            "    bcf PORTB, 0\n    goto loop\n    end\n"),
                        QStringLiteral("comparator"));
    QVERIFY(!comparing.isEmpty());
    levels.clear();
    QCOMPARE(engine->load(comparing, QStringLiteral("PIC16F628A"), 4e6), QString());
    for (const auto &[ra0, ra3] : {std::pair{1.0, 3.0}, std::pair{4.0, 3.0}, std::pair{2.0, 2.5}}) {
        engine->setAnalogInput(QStringLiteral("AN0"), ra0);
        engine->setAnalogInput(QStringLiteral("AN3"), ra3);
        QVERIFY(engine->runUntil(engine->timeNs() + 1000000));
        QCOMPARE(levels.value(QStringLiteral("RB0")), ra3 > ra0);
    }

    // An ATmega328P's ADC the same way (ADC1 against AVcc, ADCL to PORTD, ADCH to PORTB), and
    // the voltage stays through a reset.
    const QString avr
        = buildAvr(QStringLiteral("#include <avr/io.h>\nint main(void) { DDRB = 3; DDRD = 0xff;\n")
                       + avrConvertsAdc1 + QStringLiteral("PORTD = ADCL; PORTB = ADCH; } }\n"),
                   QStringLiteral("avradc"));
    QVERIFY(!avr.isEmpty());
    engine = Engine::forFamily(QStringLiteral("AVR"));
    engine->pinChanged = [&levels](const QString &pin, bool level, std::uint64_t) {
        levels.insert(pin, level);
    };
    levels.clear();
    QCOMPARE(engine->load(avr, QStringLiteral("ATMEGA328P"), 16e6), QString());
    low = QStringLiteral("PD");
    high = QStringLiteral("PB");
    readsEachVoltage(QStringLiteral("ADC1"), 2000000);
}

// In the window, every family's firmware takes a button held down and let go, and text typed
// into the terminal.
void tst_Vexa::windowTakesInput()
{
    QFETCH(QString, family);
    QFETCH(QString, device);
    QFETCH(QString, clock);
    QFETCH(QString, source);
    QFETCH(QString, button);
    QFETCH(QString, led);
    const QString firmware = buildFirmware(family, source, QStringLiteral("window"));
    QVERIFY(!firmware.isEmpty());
    const QString design = m_dir.filePath(QStringLiteral("window.DSN"));
    QVERIFY(writeFile(design,
                      QStringLiteral(
                          "<DESIGN CONTROLLER=\"%1\" FAMILY=\"%2\">"
                          "<PART TYPE=\"BUTTON\" NAME=\"S1\" PIN=\"%3\" X=\"360\" Y=\"120\"/>"
                          "<PART TYPE=\"TERMINAL\" NAME=\"T1\" UART=\"UART0\" X=\"360\" "
                          "Y=\"440\"/></DESIGN>")
                          .arg(device, family, button)
                          .toUtf8()));
    VexaWindow window(handOff(design,
                              firmware,
                              true,
                              family + QLatin1Char(' ') + device + QLatin1Char(' ') + clock));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // The button's pull-up holds its pin high until it is pressed.
    QTRY_VERIFY_WITH_TIMEOUT(window.pinLevel(led), 5000);
    auto *view = window.findChild<QGraphicsView *>();
    const QPoint place = view->mapFromScene(QPointF(380, 140));
    QTest::mousePress(view->viewport(), Qt::LeftButton, {}, place);
    QTRY_VERIFY_WITH_TIMEOUT(!window.pinLevel(led), 5000);
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, place);
    QTRY_VERIFY_WITH_TIMEOUT(window.pinLevel(led), 5000);
    auto *input = child<QLineEdit>(window, "terminalInput");
    input->setText(QStringLiteral("ab"));
    QTest::keyClick(input, Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(window.terminalText().contains(QStringLiteral("bc")), 10000);
    // Reset, stopped: the LED's pin goes to its level after a reset (an 8051's port latches
    // high, the others' pins low), here the level the firmware did not drive; run again, the
    // firmware starts afresh and takes input as before.
    const bool resetHigh = family == QLatin1String("MCS51");
    if (resetHigh)
        QTest::mousePress(view->viewport(), Qt::LeftButton, {}, place);
    QTRY_COMPARE_WITH_TIMEOUT(window.pinLevel(led), !resetHigh, 5000);
    // Reset and Run at once, before a debugger attached has told of the pause: Run still goes.
    window.stop();
    for (QAction *action : window.findChildren<QAction *>()) {
        if (action->text() == QLatin1String("Reset"))
            action->trigger();
    }
    QCOMPARE(window.pinLevel(led), resetHigh);
    window.run();
    QTRY_COMPARE_WITH_TIMEOUT(window.pinLevel(led), !resetHigh, 5000);
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, place);
    QTest::mousePress(view->viewport(), Qt::LeftButton, {}, place);
    QTRY_VERIFY_WITH_TIMEOUT(!window.pinLevel(led), 5000);
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, place);
    QTRY_VERIFY_WITH_TIMEOUT(window.pinLevel(led), 5000);
    input->setText(QStringLiteral("xy"));
    QTest::keyClick(input, Qt::Key_Return);
    QTRY_VERIFY_WITH_TIMEOUT(window.terminalText().contains(QStringLiteral("yz")), 10000);
    window.stop();
}

// Parts added through the window's Add commands, on a running AVR: a button pulls its pin up at
// once, a voltage clicked takes the value typed, each part gets a name of its own, and Save
// Design writes them all.
void tst_Vexa::partsAddedOnTheBoard()
{
    const QString hex = buildAvr(QStringLiteral("#include <avr/io.h>\nint main(void) { DDRB = 3;\n")
                                     + avrConvertsAdc1
                                     + QStringLiteral(
                                         "PORTB = ((PIND >> 2) & 1) | (ADC > 512 ? 2 : 0); } }\n"),
                                 QStringLiteral("added"));
    QVERIFY(!hex.isEmpty());
    const QString design = m_dir.filePath(QStringLiteral("added.DSN"));
    QVERIFY(writeFile(design, "<DESIGN CONTROLLER=\"ATMEGA328P\" FAMILY=\"AVR\"/>"));
    VexaWindow window(handOff(design, hex, true));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const auto add = [&window](const QString &command, const QString &pin) {
        QTimer::singleShot(0, [pin] {
            if (auto *dialog = qobject_cast<QInputDialog *>(QApplication::activeModalWidget())) {
                dialog->setTextValue(pin);
                dialog->accept();
            }
        });
        for (QAction *action : window.findChildren<QAction *>()) {
            if (action->text() == command)
                action->trigger();
        }
    };
    add(QStringLiteral("Add Button..."), QStringLiteral("PD2"));
    add(QStringLiteral("Add LED..."), QStringLiteral("PB0"));
    add(QStringLiteral("Add Voltage..."), QStringLiteral("ADC1"));
    QVERIFY(window.isWindowModified());
    QTRY_VERIFY_WITH_TIMEOUT(window.pinLevel(QStringLiteral("PB0")), 5000);
    QVERIFY(!window.pinLevel(QStringLiteral("PB1")));
    // The voltage, the third part, clicked: 4 V.
    auto *view = window.findChild<QGraphicsView *>();
    view->centerOn(QPointF(580, 160));
    QTimer::singleShot(0, [] {
        if (auto *dialog = qobject_cast<QInputDialog *>(QApplication::activeModalWidget())) {
            dialog->setDoubleValue(4.0);
            dialog->accept();
        }
    });
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->mapFromScene(QPointF(580, 160)));
    QTRY_VERIFY_WITH_TIMEOUT(window.pinLevel(QStringLiteral("PB1")), 5000);
    add(QStringLiteral("Add LED..."), QStringLiteral("PB1"));
    saveDesign(window);
    QVERIFY(!window.isWindowModified());
    QCOMPARE(partsIn(design), QStringList({"S1", "D1", "V1", "D2"}));
    window.stop();
}

QTEST_MAIN(tst_Vexa)
#include "tst_vexa.moc"
