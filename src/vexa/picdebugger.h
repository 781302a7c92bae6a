#pragma once

#include "linetabledebugger.h"

#include <QByteArray>

// PIC16 firmware in assembler: the line records of gplink's symbol file (.cod) and the
// symbols of its map file (.map), over gpsim's breaks and steps; the watched symbols are file
// registers, shown by their values, the controller's special function registers by the names
// of the assembler's include file too.
class PicDebugger : public LineTableDebugger
{
    Q_OBJECT
public:
    using LineTableDebugger::LineTableDebugger;

protected:
    bool loadSymbols(const QString &firmware, LineTable *table, QString *error) override;
    int callLength(std::uint32_t address) const override;
    bool isReturn(std::uint32_t address) const override;
    QList<std::uint32_t> instructions() const override;

private:
    std::uint32_t word(std::uint32_t address) const;
    // The registers the assembler's include file of the controller names ("PORTB EQU
    // H'0006'"), where gpasm is installed; none that the firmware's symbols name already.
    void addRegisterNames(LineTable *table) const;

    QByteArray m_program; // two bytes a word, low byte first
};
