#pragma once

#include "linetabledebugger.h"

// 8051 firmware in C: the line records, functions and variables of sdcc's debugging file
// (.cdb), over s51's breakpoints and steps. s51 answers slowly, so a step runs to the next
// line's start rather than stepping instructions; the values are read in their C types.
class McsDebugger : public LineTableDebugger
{
    Q_OBJECT
public:
    using LineTableDebugger::LineTableDebugger;

    // An instruction's length in bytes, by its opcode.
    static int instructionLength(std::uint8_t opcode);
    // A value of a C type from its bytes (least significant first): "SC:U" an unsigned char
    // (its number and the character, as C writes it), "SI:S" an int, "SL:U" an unsigned long,
    // "SF:S" a float, "DA4d,SI:U" an array of them, "DA40d,SC:S" a string, "DG,SC:U" a
    // pointer (its address and memory: "0x0123 (code)"); others as their bytes.
    static QString valueText(const QByteArray &bytes, const QString &type);
    // As valueText, and a structure member by member ("{x = 1, y = 2 '\\002'}"), an array of
    // them one by one, as the debugging file describes them.
    QString typedText(const QByteArray &bytes, const QString &type, int depth = 0) const;

protected:
    bool loadSymbols(const QString &firmware, LineTable *table, QString *error) override;
    bool isReturn(std::uint32_t address) const override;
    bool stepsByRunning() const override { return true; }
    QList<std::uint32_t> returnsIn(const LineTable::Function &function) const override;
    QList<DebugValue> localValues(const QString &function) const override;
    QString valueOf(const LineTable::Symbol &symbol) const override;
    std::optional<LineTable::Symbol> watchedSymbol(const QString &name) const override;
    // The engine's memory, and the code from codeBase on; a bit variable: the byte that holds
    // it.
    QByteArray memoryAt(std::uint32_t address, std::uint32_t length) const override;
    std::uint32_t memoryAddress(const LineTable::Symbol &symbol) const override;
    static constexpr std::uint32_t codeBase = 0x30000;
    QList<DebugFrame> callers(
        std::uint32_t pc, const QList<std::pair<QString, std::uint32_t>> &registers) const override;

private:
    // Whether the instruction that ends just before back calls target (LCALL or ACALL).
    bool calls(std::uint32_t back, std::uint32_t target) const;
    std::uint8_t byteAt(std::uint32_t address) const;
    // A variable's bytes where the compiler put it: internal or external RAM, or the
    // registers of the bank in use (R0 to R7, read once a stop).
    QByteArray bytesOf(const LineTable::Symbol &symbol, const QByteArray &bank = {}) const;
    QByteArray registerBank() const;
    // Where a reentrant function's frame lies now: the frame pointer it sets as it begins
    // ("MOV _bp,SP"); none before that or in another function.
    std::optional<std::uint8_t> frameOf(const QString &function) const;

    QByteArray m_code;
};
