#pragma once

#include <QList>
#include <QPointF>
#include <QString>
#include <QStringList>

// A design: the parts wired to the controller's pins and their places on the board. Its file
// is XML:
//   <DESIGN CONTROLLER="ATMEGA328P" FAMILY="AVR">
//    <PART TYPE="LED" NAME="D1" PIN="PB5" COLOUR="red" X="320" Y="40"/>
//    <PART TYPE="BUTTON" NAME="S1" PIN="PD2" X="320" Y="120"/>
//    <PART TYPE="TERMINAL" NAME="T1" UART="UART0" X="320" Y="200"/>
//    <PART TYPE="VOLTAGE" NAME="V1" PIN="ADC0" VALUE="2.5" X="320" Y="280"/>
//    <INPUT AT="0.1" PIN="PD2" LEVEL="0"/>
//    <INPUT AT="0.2" UART="UART0" TEXT="on&#13;"/>
//   </DESIGN>
// INPUT elements are what a scripted run gives the firmware, at so many simulated seconds: a
// pin driven to a level (as a button does), or text typed into a serial port.
// An empty file is a new design, which gets a default board for its controller.
struct DesignPart
{
    QString type; // "LED", "BUTTON", "TERMINAL" or "VOLTAGE" (given to an analog input)
    QString name;
    QString pin;  // LEDs and buttons; a voltage's analog input
    QString uart; // terminals
    QString colour;
    double volts = 0; // a voltage's value
    QPointF place;
};

struct TimedInput
{
    double seconds = 0;
    QString pin; // a pin driven to a level...
    bool level = true;
    QString uart; // ...or text typed into a serial port
    QByteArray text;
};

class Design
{
public:
    QString controller;
    QString family;
    QList<DesignPart> parts;
    // In the order of their times.
    QList<TimedInput> inputs;

    // Reads a design file. False with the error set when it is not a design; an empty file is
    // a good, new design (isNew).
    bool load(const QString &path, QString *error, bool *isNew);
    // The design as its file holds it.
    QByteArray toXml() const;
    // Writes the design whole, or leaves the file as it was.
    bool save(const QString &path, QString *error) const;
    // The board a new design starts with for this controller: an LED on the pin the demo
    // firmware drives, a button and a terminal where the controller has them.
    void fillDefault(const QString &family, const QStringList &pins, const QString &uart);
    // The parts naming pins the controller lacks.
    QStringList unknownPins(const QStringList &pins) const;
    QString uniqueName(const QString &prefix) const;
};
