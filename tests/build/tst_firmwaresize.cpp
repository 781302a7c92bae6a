// The memory a firmware uses: the controllers' memory sizes held against the compilers' own
// device files, and each report read from text written by hand after the tools' formats.

#include "build/firmwaresize.h"

#include <QDomDocument>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

class tst_FirmwareSize : public QObject
{
    Q_OBJECT

private slots:
    void controllersMatchTheirDeviceFiles();
    void reports_data();
    void reports();
};

namespace {

// The controllers of a shipped compiler configuration with the value of one of their options.
QList<QPair<QString, QString>> controllers(const QString &compiler, const QString &option)
{
    QFile file(QStringLiteral(DYX_SOURCE_DIR "/data/compilers/") + compiler);
    QDomDocument document;
    if (!file.open(QIODevice::ReadOnly) || !document.setContent(&file))
        return {};
    QList<QPair<QString, QString>> found;
    const QDomNodeList list = document.elementsByTagName(QStringLiteral("CONTROLLER"));
    for (int i = 0; i < list.size(); ++i) {
        const QDomElement controller = list.at(i).toElement();
        QString value;
        for (QDomElement e = controller.firstChildElement(QStringLiteral("OPTION")); !e.isNull();
             e = e.nextSiblingElement(QStringLiteral("OPTION"))) {
            if (e.attribute(QStringLiteral("NAME")) == option)
                value = e.attribute(QStringLiteral("VALUE"));
        }
        found.append({controller.attribute(QStringLiteral("NAME")), value});
    }
    return found;
}

// What avr-libc's header says of a controller: FLASHEND + 1, RAMEND - RAMSTART + 1.
QPair<qint64, qint64> avrLibcMemory(const QString &mmcu)
{
    QProcess gcc;
    gcc.start(QStringLiteral("avr-gcc"),
              {QStringLiteral("-mmcu=") + mmcu,
               QStringLiteral("-E"),
               QStringLiteral("-P"),
               QStringLiteral("-")});
    gcc.write("#include <avr/io.h>\nint flash[] = {FLASHEND, RAMSTART, RAMEND};\n");
    gcc.closeWriteChannel();
    gcc.waitForFinished();
    const QString text = QString::fromLatin1(gcc.readAllStandardOutput());
    const int start = int(text.lastIndexOf(QLatin1String("flash[] = {")));
    // The values are sums of numbers in parentheses: add them up.
    QList<qint64> values;
    for (const QString &part :
         text.mid(start + 11).section(QLatin1Char('}'), 0, 0).split(QLatin1Char(','))) {
        qint64 sum = 0;
        int sign = 1;
        static const QRegularExpression token(QStringLiteral("0x[0-9A-Fa-f]+|[0-9]+|[-+]"));
        for (auto it = token.globalMatch(part); it.hasNext();) {
            const QString t = it.next().captured();
            if (t == QLatin1String("-") || t == QLatin1String("+"))
                sign = t == QLatin1String("-") ? -1 : 1;
            else
                sum += sign * t.toLongLong(nullptr, 0);
        }
        values.append(sum);
    }
    return values.size() == 3 ? qMakePair(values[0] + 1, values[2] - values[1] + 1)
                              : qMakePair(qint64(-1), qint64(-1));
}

// What gputils' linker script says: the program pages' end, and the general purpose registers
// (for PIC18 the end of the last bank of them).
QPair<qint64, qint64> gputilsMemory(const QString &controller)
{
    QFile file(QStringLiteral("/usr/share/gputils/lkr/%1_g.lkr").arg(controller.mid(3).toLower()));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {-1, -1};
    const bool pic18 = controller.startsWith(QLatin1String("PIC18"));
    static const QRegularExpression entry(
        QStringLiteral("^\\s*(CODEPAGE|DATABANK|SHAREBANK|ACCESSBANK)\\s+NAME=(\\S+)\\s+"
                       "START=(\\S+)\\s+END=(\\S+)\\s*(PROTECTED)?"));
    qint64 program = 0;
    qint64 data = 0;
    bool shared = false;
    while (!file.atEnd()) {
        const QRegularExpressionMatch m = entry.match(QString::fromLatin1(file.readLine()));
        if (!m.hasMatch())
            continue;
        const qint64 start = m.captured(3).toLongLong(nullptr, 0);
        const qint64 end = m.captured(4).toLongLong(nullptr, 0);
        const bool kept = m.captured(5).isEmpty();
        if (m.captured(1) == QLatin1String("CODEPAGE")) {
            if (m.captured(2).startsWith(QLatin1String("page"))
                || m.captured(2) == QLatin1String(".oscval"))
                program = qMax(program, end + 1);
        } else if (pic18) {
            if (kept && start < 0xf00)
                data = qMax(data, end + 1);
        } else if (kept && (m.captured(1) == QLatin1String("DATABANK") || !shared)) {
            shared = shared || m.captured(1) == QLatin1String("SHAREBANK");
            data += end - start + 1;
        }
    }
    return {program, data};
}

} // namespace

void tst_FirmwareSize::controllersMatchTheirDeviceFiles()
{
    int checked = 0;
    for (const auto &[name, mmcu] :
         controllers(QStringLiteral("gnu-avr-gcc.xml"), QStringLiteral("-mmcu="))) {
        qint64 program = 0;
        qint64 data = 0;
        QVERIFY2(FirmwareSize::controllerMemory(name, program, data), qPrintable(name));
        QCOMPARE(qMakePair(program, data), avrLibcMemory(mmcu));
        ++checked;
    }
    for (const auto &pair :
         controllers(QStringLiteral("gnu-pic-utilities.xml"), QStringLiteral("-p"))) {
        qint64 program = 0;
        qint64 data = 0;
        QVERIFY2(FirmwareSize::controllerMemory(pair.first, program, data), qPrintable(pair.first));
        QCOMPARE(qMakePair(program, data), gputilsMemory(pair.first));
        ++checked;
    }
    // sdcc is told the sizes by the configuration itself.
    const auto codeSizes = controllers(QStringLiteral("sdcc.xml"), QStringLiteral("--code-size "));
    const auto ramSizes = controllers(QStringLiteral("sdcc.xml"), QStringLiteral("--iram-size "));
    for (int i = 0; i < codeSizes.size(); ++i) {
        if (codeSizes[i].second.isEmpty())
            continue;
        qint64 program = 0;
        qint64 data = 0;
        QVERIFY2(FirmwareSize::controllerMemory(codeSizes[i].first, program, data),
                 qPrintable(codeSizes[i].first));
        QCOMPARE(program, codeSizes[i].second.toLongLong());
        QCOMPARE(data, ramSizes[i].second.toLongLong());
        ++checked;
    }
    QCOMPARE(checked, 53);
}

void tst_FirmwareSize::reports_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<qint64>("expected");
    QTest::addColumn<qint64>("external");
    // Two words at 0, a repeated word, a word past an extended address (0x10000 = word 0x8000,
    // beyond a PIC16's program memory) and a configuration word at byte 0x400E.
    const QByteArray hex = ":0400000001020304F2\n:020002000304F5\n:020000040001F9\n"
                           ":020000000506F3\n:020000040000FA\n:02400E00FF3F72\n:00000001FF\n";
    QTest::newRow("HEX in bytes") << "hex bytes" << hex << qint64(8) << qint64(0);
    QTest::newRow("HEX in words below 0x2000") << "hex words" << hex << qint64(2) << qint64(0);
    QTest::newRow("no HEX") << "hex bytes" << QByteArray("GARBAGE\n") << qint64(-1) << qint64(0);
    QTest::newRow("gplink map")
        << "map"
        << QByteArray("                                 Section Info\n"
                      "                  Section       Type    Address   Location Size(Bytes)\n"
                      "                ---------  ---------  ---------  ---------  ---------\n"
                      "             RESET_VECTOR       code   0x000000    program   0x000006\n"
                      "               DELAY_DATA      udata   0x000070       data   0x000002\n"
                      "                 VARS_ISR  udata_shr   0x000071       data   0x000010\n")
        << qint64(18) << qint64(0);
    QTest::newRow("sdcc memory summary")
        << "mem"
        << QByteArray("Internal RAM layout:\n"
                      "      0 1 2 3 4 5 6 7 8 9 A B C D E F\n"
                      "0x00:|0|0|0|0|0|0|0|0|a|a|a|Q| | | | |\n"
                      "0x10:|B|S|S|S|S|S|S|S|S|S|S|S|S|S|S|S|\n"
                      "0-3:Reg Banks, T:Bit regs, a-z:Data, B:Bits, Q:Overlay, I:iData, S:Stack\n"
                      "Other memory:\n"
                      "   PAGED EXT. RAM                         0      256   \n"
                      "   EXTERNAL RAM     0x0001   0x0010       16    65536   \n"
                      "   ROM/EPROM/FLASH  0x0000   0x0140      321     8192   \n")
        << qint64(13) << qint64(16);
}

void tst_FirmwareSize::reports()
{
    QFETCH(QString, kind);
    QFETCH(QByteArray, text);
    QFETCH(qint64, expected);
    QFETCH(qint64, external);
    qint64 outside = 0;
    if (kind == QLatin1String("hex bytes"))
        QCOMPARE(FirmwareSize::hexProgramUnits(text, false, 1 << 20), expected);
    else if (kind == QLatin1String("hex words"))
        QCOMPARE(FirmwareSize::hexProgramUnits(text, true, 0x4000), expected);
    else if (kind == QLatin1String("map"))
        QCOMPARE(FirmwareSize::gplinkMapDataBytes(QString::fromLatin1(text)), expected);
    else
        QCOMPARE(FirmwareSize::sdccMemDataBytes(QString::fromLatin1(text), &outside), expected);
    QCOMPARE(outside, external);
    // Each reader takes only its own report.
    QCOMPARE(FirmwareSize::elfDataBytes(text), qint64(-1));
    if (kind != QLatin1String("map"))
        QCOMPARE(FirmwareSize::gplinkMapDataBytes(QString::fromLatin1(text)), qint64(-1));
}

QTEST_GUILESS_MAIN(tst_FirmwareSize)
#include "tst_firmwaresize.moc"
