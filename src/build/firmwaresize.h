#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// How much of a controller's memory a firmware uses, read from what the build wrote: the
// program memory from the Intel HEX firmware, the data memory from the report beside it that
// the compiler left (an ELF file's data sections, a gplink map's data sections, an sdcc memory
// summary), and the controller's memory sizes where they are known.
struct FirmwareSize
{
    qint64 program = -1; // in bytes, or in words where the program memory holds words
    bool programInWords = false;
    qint64 data = -1;         // bytes of RAM given to variables; -1 when no report tells
    qint64 externalData = 0;  // bytes of external RAM (8051 xdata)
    qint64 programMemory = 0; // the controller's, in the same unit; 0 when not known
    qint64 dataMemory = 0;

    // Measures the firmware of a build of the family's controller; reports are looked for
    // among the files it was made from and beside it (same name, ".map" and ".mem").
    static FirmwareSize measure(const QString &firmware,
                                const QStringList &madeFrom,
                                const QString &family,
                                const QString &controller);
    // "Program memory: 292 bytes (0.9% of 32768). Data memory: 32 bytes (1.6% of 2048)."
    QString text() const;

    // The parts, for each report.
    // Units of program memory an Intel HEX file fills below limit (a byte address limit);
    // with words, two bytes are one word. -1 when the text is no Intel HEX.
    static qint64 hexProgramUnits(const QByteArray &hex, bool words, qint64 limit);
    // The sizes of the .data, .bss and .noinit sections of a linked 32-bit ELF file; -1 when
    // it is none or has none.
    static qint64 elfDataBytes(const QByteArray &elf);
    // The sizes of the sections a gplink map places in data memory; -1 when it is no map.
    static qint64 gplinkMapDataBytes(const QString &map);
    // The internal RAM an sdcc memory summary shows in use (stack and free cells excluded) and
    // the external RAM it lists; -1 when it is no summary.
    static qint64 sdccMemDataBytes(const QString &summary, qint64 *external = nullptr);

    // The program and data memory of a controller, from a table of the controllers the
    // shipped compiler configurations know; false for others.
    static bool controllerMemory(const QString &controller, qint64 &program, qint64 &data);
};
