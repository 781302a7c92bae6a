#include "design.h"

#include "platform/boundedfile.h"
#include "platform/wholefilewriter.h"

#include <QCoreApplication>
#include <QDomDocument>

#include <QFile>
#include <QXmlStreamWriter>

#include <algorithm>
#include <cmath>

static QString tr(const char *text)
{
    return QCoreApplication::translate("Design", text);
}

// Parts lie on a board of sane size: a coordinate beyond it (or no number at all) is brought
// back to its edge, so that a saved design always holds whole numbers.
static double onBoard(double value)
{
    constexpr double edge = 100000;
    if (!std::isfinite(value))
        return 0;
    return std::clamp(value, -edge, edge);
}

static double coordinate(const QString &text)
{
    return onBoard(text.toDouble());
}

bool Design::load(const QString &path, QString *error, bool *isNew)
{
    *isNew = false;
    parts.clear();
    inputs.clear();
    QByteArray text;
    QString why;
    // A design of a few parts is a few kilobytes; a bigger file is not one.
    if (!Platform::readBoundedFile(path, 16 * 1024 * 1024, text, &why, &why)) {
        *error = tr("Cannot read the design file %1: %2").arg(path, why);
        return false;
    }
    if (text.trimmed().isEmpty()) {
        *isNew = true;
        return true;
    }
    QDomDocument document;
    QString message;
    int line = 0;
    if (!document.setContent(text, &message, &line)) {
        *error = tr("The design file %1 is not XML (line %2: %3).").arg(path).arg(line).arg(message);
        return false;
    }
    const QDomElement root = document.documentElement();
    if (root.tagName() != QLatin1String("DESIGN")) {
        *error = tr("The design file %1 holds no DESIGN element.").arg(path);
        return false;
    }
    controller = root.attribute(QStringLiteral("CONTROLLER"));
    family = root.attribute(QStringLiteral("FAMILY"));
    for (QDomElement e = root.firstChildElement(QStringLiteral("PART")); !e.isNull();
         e = e.nextSiblingElement(QStringLiteral("PART"))) {
        DesignPart part;
        part.type = e.attribute(QStringLiteral("TYPE")).toUpper();
        part.name = e.attribute(QStringLiteral("NAME"));
        part.pin = e.attribute(QStringLiteral("PIN"));
        part.uart = e.attribute(QStringLiteral("UART"));
        part.colour = e.attribute(QStringLiteral("COLOUR"));
        part.volts = std::clamp(e.attribute(QStringLiteral("VALUE")).toDouble(), 0.0, 5.0);
        part.place = QPointF(coordinate(e.attribute(QStringLiteral("X"))),
                             coordinate(e.attribute(QStringLiteral("Y"))));
        parts.append(part);
    }
    for (QDomElement e = root.firstChildElement(QStringLiteral("INPUT")); !e.isNull();
         e = e.nextSiblingElement(QStringLiteral("INPUT"))) {
        TimedInput input;
        bool ok = false;
        input.seconds = e.attribute(QStringLiteral("AT")).toDouble(&ok);
        input.pin = e.attribute(QStringLiteral("PIN"));
        input.level = e.attribute(QStringLiteral("LEVEL")) != QLatin1String("0");
        input.uart = e.attribute(QStringLiteral("UART"));
        input.text = e.attribute(QStringLiteral("TEXT")).toLatin1();
        if (!ok || !std::isfinite(input.seconds) || input.seconds < 0
            || input.pin.isEmpty() == input.uart.isEmpty()) {
            *error = tr("The design file %1 has an INPUT that gives no time, or not one pin or "
                        "serial port (line %2).")
                         .arg(path)
                         .arg(e.lineNumber());
            return false;
        }
        inputs.append(input);
    }
    std::stable_sort(inputs.begin(), inputs.end(), [](const TimedInput &a, const TimedInput &b) {
        return a.seconds < b.seconds;
    });
    return true;
}

QByteArray Design::toXml() const
{
    // Written in a fixed order, so that a design saved again unchanged is the same file.
    QByteArray text;
    QXmlStreamWriter xml(&text);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(1);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("DESIGN"));
    xml.writeAttribute(QStringLiteral("CONTROLLER"), controller);
    xml.writeAttribute(QStringLiteral("FAMILY"), family);
    for (const DesignPart &part : parts) {
        xml.writeEmptyElement(QStringLiteral("PART"));
        xml.writeAttribute(QStringLiteral("TYPE"), part.type);
        xml.writeAttribute(QStringLiteral("NAME"), part.name);
        if (!part.pin.isEmpty())
            xml.writeAttribute(QStringLiteral("PIN"), part.pin);
        if (!part.uart.isEmpty())
            xml.writeAttribute(QStringLiteral("UART"), part.uart);
        if (!part.colour.isEmpty())
            xml.writeAttribute(QStringLiteral("COLOUR"), part.colour);
        if (part.type == QLatin1String("VOLTAGE"))
            xml.writeAttribute(QStringLiteral("VALUE"), QString::number(part.volts));
        xml.writeAttribute(QStringLiteral("X"), QString::number(qRound(onBoard(part.place.x()))));
        xml.writeAttribute(QStringLiteral("Y"), QString::number(qRound(onBoard(part.place.y()))));
    }
    for (const TimedInput &input : inputs) {
        xml.writeEmptyElement(QStringLiteral("INPUT"));
        xml.writeAttribute(QStringLiteral("AT"), QString::number(input.seconds, 'g', 17));
        if (!input.pin.isEmpty()) {
            xml.writeAttribute(QStringLiteral("PIN"), input.pin);
            xml.writeAttribute(QStringLiteral("LEVEL"),
                               input.level ? QStringLiteral("1") : QStringLiteral("0"));
        } else {
            xml.writeAttribute(QStringLiteral("UART"), input.uart);
            xml.writeAttribute(QStringLiteral("TEXT"), QString::fromLatin1(input.text));
        }
    }
    xml.writeEndDocument();
    return text;
}

bool Design::save(const QString &path, QString *error) const
{
    QString reason;
    if (!Platform::writeWholeFile(path, toXml(), &reason)) {
        *error = tr("Cannot save the design file %1: %2").arg(path, reason);
        return false;
    }
    return true;
}

void Design::fillDefault(const QString &newFamily, const QStringList &pins, const QString &uart)
{
    family = newFamily;
    parts.clear();
    const auto add =
        [this,
         &pins](const QString &type, const QString &name, const QString &pin, double x, double y) {
            if (!pin.isEmpty() && !pins.contains(pin))
                return;
            DesignPart part;
            part.type = type;
            part.name = name;
            part.pin = pin;
            part.colour = type == QLatin1String("LED") ? QStringLiteral("red") : QString();
            part.place = QPointF(x, y);
            parts.append(part);
        };
    const QString f = newFamily.toUpper();
    if (f == QLatin1String("AVR")) {
        add(QStringLiteral("LED"), QStringLiteral("D1"), QStringLiteral("PB5"), 360, 40);
        add(QStringLiteral("BUTTON"), QStringLiteral("S1"), QStringLiteral("PD2"), 360, 120);
    } else if (f.startsWith(QLatin1String("PIC"))) {
        for (int bit = 0; bit < 8; ++bit) {
            add(QStringLiteral("LED"),
                QStringLiteral("D%1").arg(bit + 1),
                QStringLiteral("RB%1").arg(bit),
                360,
                40 + 50 * bit);
        }
    } else if (f == QLatin1String("MCS51")) {
        add(QStringLiteral("LED"), QStringLiteral("D1"), QStringLiteral("P1.0"), 360, 40);
    }
    if (parts.isEmpty() && !pins.isEmpty())
        add(QStringLiteral("LED"), QStringLiteral("D1"), pins.first(), 360, 40);
    if (!uart.isEmpty()) {
        DesignPart terminal;
        terminal.type = QStringLiteral("TERMINAL");
        terminal.name = QStringLiteral("T1");
        terminal.uart = uart;
        terminal.place = QPointF(360, 440);
        parts.append(terminal);
    }
}

QStringList Design::unknownPins(const QStringList &pins) const
{
    QStringList unknown;
    for (const DesignPart &part : parts) {
        if (!part.pin.isEmpty() && !pins.contains(part.pin))
            unknown.append(part.name + QLatin1Char(' ') + part.pin);
    }
    for (const TimedInput &input : inputs) {
        if (!input.pin.isEmpty() && !pins.contains(input.pin))
            unknown.append(QStringLiteral("INPUT ") + input.pin);
    }
    return unknown;
}

QString Design::uniqueName(const QString &prefix) const
{
    for (int n = 1;; ++n) {
        const QString name = prefix + QString::number(n);
        if (std::none_of(parts.begin(), parts.end(), [&name](const DesignPart &p) {
                return p.name == name;
            }))
            return name;
    }
}
