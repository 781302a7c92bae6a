#include "linetable.h"

#include "platform/boundedfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace {

// The first of the folders that holds a relatively named file, else the name as it stands.
QString resolved(const QString &name, const QStringList &folders)
{
    if (QFileInfo(name).isAbsolute())
        return name;
    for (const QString &folder : folders) {
        if (QFileInfo::exists(QDir(folder).filePath(name)))
            return QDir::cleanPath(QDir(folder).filePath(name));
    }
    return name;
}

QString tr(const char *text)
{
    return QCoreApplication::translate("LineTable", text);
}

// The bit variables of a module's linked listing (sdcc's ".rst"): the names the debugging file
// gives them ("G$flag$0_0$0", "Fmain$running$0_0$0", "Lmain.main$seen$1_0$2"), with the bit
// addresses of the labels the assembler defines for them in the bit area.
QHash<QString, std::uint32_t> bitLabels(const QString &listing)
{
    QHash<QString, std::uint32_t> labels;
    QByteArray text;
    if (!Platform::readBoundedFile(listing, 64 << 20, text, nullptr))
        return labels;
    static const QRegularExpression area(QStringLiteral("^\\s+\\d+\\s+\\.area\\s+(\\w+)"));
    static const QRegularExpression label(
        QStringLiteral("^\\s+([0-9A-Fa-f]{4,8})\\s+\\d+\\s+([GFL][^=\\s]*)==\\.\\s*$"));
    bool bits = false;
    for (const QByteArray &raw : text.split('\n')) {
        const QString line = QString::fromLatin1(raw);
        if (const QRegularExpressionMatch m = area.match(line); m.hasMatch())
            bits = m.captured(1) == QLatin1String("BSEG");
        else if (const QRegularExpressionMatch m = label.match(line); bits && m.hasMatch())
            labels.insert(m.captured(2), m.captured(1).toUInt(nullptr, 16));
    }
    return labels;
}

// sdcc's debugging file places no bit variable: the linked listing of its module beside it does
// (any module's for a global one). Each listing is read once, while one debugging file is read.
class BitListings
{
public:
    explicit BitListings(const QString &cdb)
        : m_folder(QFileInfo(cdb).absoluteDir())
    {}

    // The bit address of a bit variable by its name in the debugging file: global ("G$..."),
    // static in a module ("Fmain$...") or static in a function ("Lmain.main$...").
    std::optional<std::uint32_t> address(const QString &name)
    {
        static const QRegularExpression module(QStringLiteral("^(?:F(\\w+)|L(\\w+)\\.\\w+)\\$"));
        const QRegularExpressionMatch named = module.match(name);
        if (!named.hasMatch() && !name.startsWith(QLatin1String("G$")))
            return std::nullopt;
        if (!named.hasMatch() && !m_all)
            m_all = m_folder.entryList({QStringLiteral("*.rst")}, QDir::Files, QDir::Name);
        const QStringList listings = named.hasMatch()
                                         ? QStringList{named.captured(1) + named.captured(2)
                                                       + QStringLiteral(".rst")}
                                         : *m_all;
        for (const QString &listing : listings) {
            const QHash<QString, std::uint32_t> &labels = labelsOf(listing);
            if (const auto found = labels.constFind(name); found != labels.cend())
                return *found;
        }
        return std::nullopt;
    }

private:
    const QHash<QString, std::uint32_t> &labelsOf(const QString &listing)
    {
        auto labels = m_labels.find(listing);
        if (labels == m_labels.end())
            labels = m_labels.insert(listing, bitLabels(m_folder.filePath(listing)));
        return *labels;
    }

    QDir m_folder;
    std::optional<QStringList> m_all;
    QHash<QString, QHash<QString, std::uint32_t>> m_labels; // by listing
};

// Whether a file the build named (perhaps relatively) is the file asked for.
bool sameFile(const QString &named, const QString &asked)
{
    if (named == asked)
        return true;
    const QString clean = QDir::cleanPath(named);
    return !QFileInfo(clean).isAbsolute() && asked.endsWith(QLatin1Char('/') + clean);
}

} // namespace

void LineTable::addLine(const Line &line)
{
    m_lines.append(line);
}

void LineTable::addSymbol(const Symbol &symbol)
{
    m_symbols.insert(symbol.name, symbol);
}

void LineTable::finish()
{
    std::stable_sort(m_lines.begin(), m_lines.end(), [](const Line &a, const Line &b) {
        return a.address < b.address;
    });
    m_code.clear();
    for (const Symbol &symbol : std::as_const(m_symbols)) {
        if (symbol.kind == SymbolKind::Code)
            m_code.append(symbol);
    }
    std::sort(m_code.begin(), m_code.end(), [](const Symbol &a, const Symbol &b) {
        return a.address < b.address || (a.address == b.address && a.name < b.name);
    });
}

std::optional<LineTable::Line> LineTable::codeAt(const QString &file, int line) const
{
    // Within a few lines, as a line of comments or a label stands before code.
    constexpr int reach = 20;
    std::optional<Line> best;
    for (const Line &candidate : m_lines) {
        if (candidate.line < line || candidate.line > line + reach
            || !sameFile(candidate.file, file))
            continue;
        if (!best || candidate.line < best->line
            || (candidate.line == best->line && candidate.address < best->address))
            best = candidate;
    }
    if (best)
        best->file = file;
    return best;
}

std::optional<LineTable::Line> LineTable::lineAt(std::uint32_t address) const
{
    auto after = std::upper_bound(m_lines.cbegin(),
                                  m_lines.cend(),
                                  address,
                                  [](std::uint32_t a, const Line &l) { return a < l.address; });
    if (after == m_lines.cbegin())
        return std::nullopt;
    // Where one address has several lines (a function's head and its first statement), the
    // last.
    return *std::prev(after);
}

bool LineTable::isLineStart(std::uint32_t address) const
{
    const std::optional<Line> line = lineAt(address);
    return line && line->address == address;
}

std::optional<LineTable::Function> LineTable::functionOf(std::uint32_t address) const
{
    for (const Function &function : m_functions) {
        if (function.start <= address && address <= function.end)
            return function;
    }
    return std::nullopt;
}

QString LineTable::functionAt(std::uint32_t address) const
{
    if (const auto function = functionOf(address))
        return function->name;
    QString name;
    for (const Symbol &symbol : m_code) {
        if (symbol.address > address)
            break;
        name = symbol.name;
    }
    return name;
}

std::optional<LineTable::Symbol> LineTable::symbol(const QString &name) const
{
    const auto it = m_symbols.constFind(name);
    if (it == m_symbols.cend())
        return std::nullopt;
    return *it;
}

// The symbol file is made of 512-byte blocks; the first is a directory that gives the blocks
// of the source names (64-byte entries, a length byte first), of the line records (6 bytes:
// file index, flags, line, address, little-endian) and of the long symbols (a length byte,
// the name, a 16-bit type, a 32-bit big-endian value).
bool LineTable::readCod(const QString &path, const QStringList &folders, QString *error)
{
    constexpr int blockSize = 512;
    QByteArray data;
    QString readError;
    // A symbol file is small; one much larger than any firmware's is not one.
    if (!Platform::readBoundedFile(path, 16 << 20, data, &readError, &readError)) {
        *error = readError;
        return false;
    }
    const auto byte = [&data](qsizetype at) {
        return at < data.size() ? std::uint8_t(data.at(at)) : std::uint8_t(0);
    };
    const auto word = [&byte](qsizetype at) { return std::uint16_t(byte(at) | byte(at + 1) << 8); };
    if (data.size() < blockSize || data.size() % blockSize != 0) {
        *error = tr("%1 is not a symbol file of the PIC assembler.").arg(path);
        return false;
    }
    const int blocks = int(data.size() / blockSize);
    const auto blockRange = [&](int at, int *first, int *last) {
        *first = word(at);
        *last = word(at + 2);
        return *first > 0 && *first <= *last && *last < blocks;
    };
    int first = 0;
    int last = 0;
    QStringList files;
    if (blockRange(430, &first, &last)) {
        for (int block = first; block <= last; ++block) {
            for (int entry = 0; entry < blockSize / 64; ++entry) {
                const qsizetype at = qsizetype(block) * blockSize + entry * 64;
                const int length = std::min<int>(byte(at), 63);
                if (length == 0)
                    continue;
                files.append(resolved(QString::fromLocal8Bit(data.mid(at + 1, length)), folders));
            }
        }
    }
    if (!blockRange(434, &first, &last)) {
        *error = tr("%1 holds no line records.").arg(path);
        return false;
    }
    // Flags: 0x10 marks a line without code; configuration words lie above the program.
    constexpr std::uint8_t noCode = 0x10;
    constexpr std::uint32_t programEnd = 0x2000;
    for (int block = first; block <= last; ++block) {
        for (int record = 0; record < blockSize / 6; ++record) {
            const qsizetype at = qsizetype(block) * blockSize + record * 6;
            const int file = byte(at);
            const std::uint8_t flags = byte(at + 1);
            const int line = word(at + 2);
            const std::uint32_t address = word(at + 4);
            if (flags == 0 || flags == 0xff || (flags & noCode) || file >= files.size() || line == 0
                || address >= programEnd)
                continue;
            addLine({files.at(file), line, address});
        }
    }
    if (blockRange(462, &first, &last)) {
        for (int block = first; block <= last; ++block) {
            qsizetype at = qsizetype(block) * blockSize;
            const qsizetype end = at + blockSize;
            while (at < end && byte(at) != 0) {
                const int length = byte(at);
                if (at + 1 + length + 6 > end)
                    break;
                const QString name = QString::fromLatin1(data.mid(at + 1, length));
                const int type = word(at + 1 + length);
                const qsizetype value = at + 3 + length;
                const std::uint32_t address = std::uint32_t(byte(value)) << 24
                                              | byte(value + 1) << 16 | byte(value + 2) << 8
                                              | byte(value + 3);
                // Type 2 is a file register and 46 a label of code. The assembler alone (no
                // linker) lists every constant too (47: PORTB, STATUS's bits, EQUs), which
                // would name the code at their values.
                if (type == 2 || type == 46)
                    addSymbol({name, address, type == 2 ? SymbolKind::Data : SymbolKind::Code});
                at += 1 + length + 6;
            }
        }
    }
    finish();
    return true;
}

bool LineTable::readMap(const QString &path)
{
    QByteArray text;
    QString error;
    if (!Platform::readBoundedFile(path, 16 << 20, text, &error, &error))
        return false;
    static const QRegularExpression row(
        QStringLiteral("^\\s*(\\S+)\\s+0x([0-9A-Fa-f]+)\\s+(program|data)\\s+\\S+"));
    for (const QString &line : QString::fromLocal8Bit(text).split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = row.match(line);
        if (match.hasMatch())
            addSymbol(
                {match.captured(1),
                 match.captured(2).toUInt(nullptr, 16),
                 match.captured(3) == QLatin1String("data") ? SymbolKind::Data : SymbolKind::Code});
    }
    finish();
    return true;
}

// Records of one line each: "L:C$main.c$17$3_0$6:71" a line's code, "F:G$twice$0_0$0(...)"
// a function, "L:G$twice$0$0:65" and "L:XG$twice$0$0:6E" the first and last addresses of a
// function's code (F and XF for static ones), "S:G$total$0_0$0({2}SI:U),E,0,0" a global
// variable and "L:G$total$0_0$0:9" its address, "S:Lmain.main$local$1_0$4({1}SC:U),R,0,0,[r7]"
// a local of main (here in a register), "S:Lmain.f$t$1_0$2({1}SC:U),B,1,-3" a local of a
// reentrant function, on the stack 3 bytes below its frame pointer,
// "T:Fmain$point[({0}S:S$x$0_0$0({2}SI:S),Z,0,0)({2}S:S$y$0_0$0({1}SC:U),Z,0,0)]" a structure.
bool LineTable::readCdb(const QString &path, const QStringList &folders, QString *error)
{
    QByteArray text;
    if (!Platform::readBoundedFile(path, 64 << 20, text, error, error))
        return false;
    static const QRegularExpression lineRecord(
        QStringLiteral("^L:C\\$([^$]+)\\$(\\d+)\\$[^:]*:([0-9A-Fa-f]+)$"));
    static const QRegularExpression symbolRecord(
        QStringLiteral("^S:((G|F[^$]*|L[^$]*)\\$([^$]+)\\$[^(]*)\\(\\{(\\d+)\\}([^)]*)\\),(\\w)(?:,"
                       "([^,]*),([^,]*)(?:,\\[([^\\]]*)\\])?)?"));
    static const QRegularExpression addressRecord(
        QStringLiteral("^L:(X?)(G|F[^$]*|L[^$]*)\\$([^$]+)\\$[^:]*:([0-9A-Fa-f]+)$"));
    static const QRegularExpression functionRecord(QStringLiteral("^F:(G|F[^$]*)\\$([^$]+)\\$"));
    static const QRegularExpression structureRecord(
        QStringLiteral("^T:F[^$]*\\$(\\w+)\\[(.*)\\]$"));
    static const QRegularExpression memberRecord(
        QStringLiteral("\\(\\{(\\d+)\\}S:S\\$(\\w+)\\$[^(]*\\(\\{(\\d+)\\}([^)]*)\\)"));
    QHash<QString, QString> files;
    QSet<QString> functions;
    QHash<QString, std::uint32_t> starts;
    QHash<QString, std::uint32_t> ends;
    // Variables in the file's order, by scope and name; and the full names ("G$total$0_0$0") by
    // which the listings know the bit variables.
    QList<std::pair<QString, Symbol>> variables;
    QSet<QString> declared;
    QHash<QString, QString> fullNames;
    QHash<QString, std::uint32_t> addresses;
    QStringList localAddresses; // in the file's order
    BitListings bits(path);
    for (const QByteArray &raw : text.split('\n')) {
        const QString line = QString::fromLocal8Bit(raw.trimmed());
        if (const QRegularExpressionMatch m = lineRecord.match(line); m.hasMatch()) {
            QString &file = files[m.captured(1)];
            if (file.isEmpty())
                file = resolved(m.captured(1), folders);
            addLine({file, m.captured(2).toInt(), m.captured(3).toUInt(nullptr, 16)});
        } else if (const QRegularExpressionMatch m = functionRecord.match(line); m.hasMatch()) {
            functions.insert(m.captured(2));
        } else if (const QRegularExpressionMatch m = structureRecord.match(line); m.hasMatch()) {
            QList<Member> &members = m_structures[m.captured(1)];
            members.clear();
            for (auto it = memberRecord.globalMatch(m.captured(2)); it.hasNext();) {
                const QRegularExpressionMatch member = it.next();
                members.append({member.captured(2),
                                member.captured(1).toInt(),
                                member.captured(3).toInt(),
                                member.captured(4)});
            }
        } else if (const QRegularExpressionMatch m = symbolRecord.match(line); m.hasMatch()) {
            Symbol symbol;
            symbol.name = m.captured(3);
            symbol.kind = SymbolKind::Data;
            symbol.size = m.captured(4).toInt();
            symbol.type = m.captured(5);
            symbol.space = m.captured(6).at(0);
            if (m.captured(7) == QLatin1String("1")) // on the stack, at an offset
                symbol.frameOffset = m.captured(8).toInt();
            for (const QString &reg : m.captured(9).split(QLatin1Char(','), Qt::SkipEmptyParts))
                symbol.registers.append(reg.trimmed());
            const QString key = m.captured(2) + QLatin1Char('$') + symbol.name;
            if (!declared.contains(key)) {
                declared.insert(key);
                fullNames.insert(key, m.captured(1));
                variables.append({key, symbol});
            }
        } else if (const QRegularExpressionMatch m = addressRecord.match(line); m.hasMatch()) {
            const QString key = m.captured(2) + QLatin1Char('$') + m.captured(3);
            const std::uint32_t address = m.captured(4).toUInt(nullptr, 16);
            if (!m.captured(1).isEmpty())
                ends.insert(m.captured(3), address);
            else if (functions.contains(m.captured(3)) && m.captured(2).at(0) != QLatin1Char('L'))
                starts.insert(m.captured(3), address);
            else if (!addresses.contains(key)) {
                addresses.insert(key, address);
                if (m.captured(2).at(0) == QLatin1Char('L'))
                    localAddresses.append(key);
            }
        }
    }
    for (auto it = starts.cbegin(); it != starts.cend(); ++it) {
        addSymbol({it.key(), it.value(), SymbolKind::Code});
        if (ends.contains(it.key()))
            m_functions.append({it.key(), it.value(), ends.value(it.key())});
    }
    for (auto &[key, symbol] : variables) {
        symbol.address = addresses.value(key);
        const QString scope = key.section(QLatin1Char('$'), 0, 0);
        if (!addresses.contains(key) && symbol.space == QLatin1Char('H')) {
            const auto bit = bits.address(fullNames.value(key));
            symbol.address = bit.value_or(0);
            symbol.placed = bit.has_value();
        } else if (!addresses.contains(key) && !scope.startsWith(QLatin1Char('L'))) {
            symbol.placed = false;
        }
        if (scope.startsWith(QLatin1Char('L')))
            m_locals[scope.section(QLatin1Char('.'), 1)].append(symbol); // "Lmain.main"
        else if (symbol.placed)
            addSymbol(symbol);
        else
            m_unplaced.append(symbol.name);
    }
    // A local in memory may come with its address alone: a byte of the internal RAM.
    for (const QString &key : std::as_const(localAddresses)) {
        if (declared.contains(key))
            continue;
        Symbol symbol;
        symbol.name = key.section(QLatin1Char('$'), 1, 1);
        symbol.kind = SymbolKind::Data;
        symbol.address = addresses.value(key);
        symbol.space = QLatin1Char('E');
        symbol.type = QStringLiteral("SC:U");
        m_locals[key.section(QLatin1Char('$'), 0, 0).section(QLatin1Char('.'), 1)].append(symbol);
    }
    if (m_lines.isEmpty()) {
        *error = tr("%1 holds no line records: the firmware was built without debugging "
                    "information.")
                     .arg(path);
        return false;
    }
    finish();
    return true;
}
