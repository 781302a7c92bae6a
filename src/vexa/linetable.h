#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

// Where the code of each source line lies in program memory, and the firmware's symbols, as a
// build's debugging files tell them. Addresses are in the program memory's own units (words
// on the PIC16, bytes on the 8051).
class LineTable
{
public:
    struct Line
    {
        QString file; // absolute
        int line = 0;
        std::uint32_t address = 0;
    };
    enum class SymbolKind { Code, Data };
    struct Symbol
    {
        Symbol() = default;
        Symbol(QString name, std::uint32_t address, SymbolKind kind)
            : name(std::move(name))
            , address(address)
            , kind(kind)
        {}

        QString name;
        std::uint32_t address = 0;
        SymbolKind kind = SymbolKind::Code;
        // Where the C compiler says it lies and what it is: a memory space letter ('E' the
        // internal RAM, 'F' the external one, 'R' registers), its size in bytes, its C type
        // ("SC:U" an unsigned char, "SI:S" an int...), and the registers that hold it.
        QChar space;
        int size = 1;
        QString type;
        QStringList registers;
        // False for a variable the compiler names but places nowhere the debugger can find.
        bool placed = true;
        // A local of a reentrant function: on the stack, this far from its frame pointer.
        std::optional<int> frameOffset;
    };
    // A function's code, from its first address to its last instruction's.
    // A member of a C structure: where it lies in the structure, and its type as a symbol's.
    struct Member
    {
        QString name;
        int offset = 0;
        int size = 0;
        QString type;
    };
    struct Function
    {
        QString name;
        std::uint32_t start = 0;
        std::uint32_t end = 0;
    };

    bool isEmpty() const { return m_lines.isEmpty(); }
    // The first address of a line's code; for a line without code, of the next line of the
    // same file that has some (within a few lines), as a debugger places a breakpoint.
    // Files are matched by path, or by the path's end where the build named them relatively.
    std::optional<Line> codeAt(const QString &file, int line) const;
    // The line whose code holds the address: the nearest line start at or below it.
    std::optional<Line> lineAt(std::uint32_t address) const;
    // Whether a line's code starts exactly there.
    bool isLineStart(std::uint32_t address) const;
    // The code symbol at or below the address (the routine it is in).
    QString functionAt(std::uint32_t address) const;
    std::optional<Symbol> symbol(const QString &name) const;
    // Whether the debugging files name a global variable without saying where it lies (the C
    // compiler places none of its bit variables, and a listing of them may be missing).
    bool isUnplaced(const QString &name) const { return m_unplaced.contains(name); }
    // The function whose code holds the address, where the debugging files give functions.
    std::optional<Function> functionOf(std::uint32_t address) const;
    // The local variables of a function.
    QList<Symbol> locals(const QString &function) const { return m_locals.value(function); }
    // The members of a C structure by its tag ("point" of the type "STpoint:S"), in order.
    QList<Member> structure(const QString &tag) const { return m_structures.value(tag); }
    QList<Line> lines() const { return m_lines; }

    void addLine(const Line &line);
    void addSymbol(const Symbol &symbol);
    // Sorts the lines by address; called once they are all in.
    void finish();

    // gpasm's and gplink's symbol file: its source files, line records and global symbols.
    // Relative source names are resolved against the first of the folders that holds them.
    // False, with the reason, when the file cannot be read or is not one.
    bool readCod(const QString &path, const QStringList &folders, QString *error);
    // gplink's map file: every symbol with its address and whether it is code or data.
    bool readMap(const QString &path);
    // The C compiler's debugging file (sdcc's .cdb): line records, functions with their
    // code, global and local variables with their places and types.
    bool readCdb(const QString &path, const QStringList &folders, QString *error);

private:
    QList<Line> m_lines; // by address once finished
    QHash<QString, Symbol> m_symbols;
    QList<Symbol> m_code; // code symbols by address
    QList<Function> m_functions;
    QHash<QString, QList<Symbol>> m_locals; // by function
    QStringList m_unplaced;
    QHash<QString, QList<Member>> m_structures;
};
