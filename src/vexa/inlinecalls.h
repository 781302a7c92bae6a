#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>

// A place where the compiler built a function into its caller, as the debugging information
// of an ELF file tells it: the caller's source file and line, and where the built-in code
// starts. A line whose only code is such a call (avr-libc's _delay_ms) has no place of its
// own in the line table, so a debugger finds no code at it by its line.
struct InlineCall
{
    QString file; // as the compiler named it, joined to the folder it compiled in
    int line = 0;
    std::uint32_t address = 0;
};

namespace InlineCalls {

// Every such place in an ELF file (32-bit, little-endian; DWARF versions 2 to 4). None where
// the file has no debugging information, or where it is malformed: any bytes are read safely.
QList<InlineCall> read(const QByteArray &elf);

// Whether an ELF file's debugging information gives source lines, in either of the forms the
// compiler writes. Not every such section does: the C library's description of the controller,
// linked into every firmware, brings a line table of its own, without files.
bool hasSourceLines(const QByteArray &elf);

// The addresses of the calls at a line of a source file, lowest first: those of the file by
// its path, or else of a file of the same name (the project was moved since it was built).
QList<std::uint32_t> at(const QList<InlineCall> &calls, const QString &file, int line);

} // namespace InlineCalls
