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

// The bit variables of a module's linked listing (sdcc's ".rst"): the labels of its bit area by
// name, without the underscore, with their bit addresses.
QHash<QString, std::uint32_t> bitLabels(const QString &listing)
{
    QHash<QString, std::uint32_t> labels;
    QByteArray text;
    if (!Platform::readBoundedFile(listing, 64 << 20, text, nullptr))
        return labels;
    static const QRegularExpression area(QStringLiteral("^\\s+\\d+\\s+\\.area\\s+(\\w+)"));
    static const QRegularExpression label(
        QStringLiteral("^\\s+([0-9A-Fa-f]{4,8})\\s+\\d+\\s+_(\\w+)::?\\s*$"));
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
                // Type 2 is a file register; the others of a program are labels of code.
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
// a local of main (here in a register).
// sdcc's file places no bit variable: the linked listing of its module beside it does (any
// module's for a global one).
std::optional<std::uint32_t> LineTable::bitAddress(const QString &cdb,
                                                   const QString &scope,
                                                   const Symbol &symbol)
{
    static const QRegularExpression module(QStringLiteral("^F(\\w+)$"));
    const QRegularExpressionMatch named = module.match(scope);
    if (symbol.space != QLatin1Char('H') || (scope != QLatin1String("G") && !named.hasMatch()))
        return std::nullopt;
    const QDir folder = QFileInfo(cdb).absoluteDir();
    const QStringList listings = named.hasMatch()
                                     ? QStringList{named.captured(1) + QStringLiteral(".rst")}
                                     : folder.entryList({QStringLiteral("*.rst")},
                                                        QDir::Files,
                                                        QDir::Name);
    for (const QString &listing : listings) {
        auto labels = m_bitLabels.find(listing);
        if (labels == m_bitLabels.end())
            labels = m_bitLabels.insert(listing, bitLabels(folder.filePath(listing)));
        if (labels->contains(symbol.name))
            return labels->value(symbol.name);
    }
    return std::nullopt;
}

bool LineTable::readCdb(const QString &path, const QStringList &folders, QString *error)
{
    QByteArray text;
    if (!Platform::readBoundedFile(path, 64 << 20, text, error, error))
        return false;
    static const QRegularExpression lineRecord(
        QStringLiteral("^L:C\\$([^$]+)\\$(\\d+)\\$[^:]*:([0-9A-Fa-f]+)$"));
    static const QRegularExpression symbolRecord(
        QStringLiteral("^S:(G|F[^$]*|L[^$]*)\\$([^$]+)\\$[^(]*\\(\\{(\\d+)\\}([^)]*)\\),(\\w)(?:,[^"
                       ",]*,[^,]*(?:,\\[([^\\]]*)\\])?)?"));
    static const QRegularExpression addressRecord(
        QStringLiteral("^L:(X?)(G|F[^$]*|L[^$]*)\\$([^$]+)\\$[^:]*:([0-9A-Fa-f]+)$"));
    static const QRegularExpression functionRecord(QStringLiteral("^F:(G|F[^$]*)\\$([^$]+)\\$"));
    QHash<QString, QString> files;
    QSet<QString> functions;
    QHash<QString, std::uint32_t> starts;
    QHash<QString, std::uint32_t> ends;
    QHash<QString, Symbol> variables; // by scope and name
    QHash<QString, std::uint32_t> addresses;
    for (const QByteArray &raw : text.split('\n')) {
        const QString line = QString::fromLocal8Bit(raw.trimmed());
        if (const QRegularExpressionMatch m = lineRecord.match(line); m.hasMatch()) {
            QString &file = files[m.captured(1)];
            if (file.isEmpty())
                file = resolved(m.captured(1), folders);
            addLine({file, m.captured(2).toInt(), m.captured(3).toUInt(nullptr, 16)});
        } else if (const QRegularExpressionMatch m = functionRecord.match(line); m.hasMatch()) {
            functions.insert(m.captured(2));
        } else if (const QRegularExpressionMatch m = symbolRecord.match(line); m.hasMatch()) {
            Symbol symbol;
            symbol.name = m.captured(2);
            symbol.kind = SymbolKind::Data;
            symbol.size = m.captured(3).toInt();
            symbol.type = m.captured(4);
            symbol.space = m.captured(5).at(0);
            for (const QString &reg : m.captured(6).split(QLatin1Char(','), Qt::SkipEmptyParts))
                symbol.registers.append(reg.trimmed());
            variables.insert(m.captured(1) + QLatin1Char('$') + symbol.name, symbol);
        } else if (const QRegularExpressionMatch m = addressRecord.match(line); m.hasMatch()) {
            const QString key = m.captured(2) + QLatin1Char('$') + m.captured(3);
            const std::uint32_t address = m.captured(4).toUInt(nullptr, 16);
            if (!m.captured(1).isEmpty())
                ends.insert(m.captured(3), address);
            else if (functions.contains(m.captured(3)) && m.captured(2).at(0) != QLatin1Char('L'))
                starts.insert(m.captured(3), address);
            else
                addresses.insert(key, address);
        }
    }
    for (auto it = starts.cbegin(); it != starts.cend(); ++it) {
        addSymbol({it.key(), it.value(), SymbolKind::Code});
        if (ends.contains(it.key()))
            m_functions.append({it.key(), it.value(), ends.value(it.key())});
    }
    for (auto it = variables.begin(); it != variables.end(); ++it) {
        Symbol symbol = it.value();
        symbol.address = addresses.value(it.key());
        const QString scope = it.key().section(QLatin1Char('$'), 0, 0);
        if (scope.startsWith(QLatin1Char('L'))) {
            // "Lmain.main": the module, then the function.
            m_locals[scope.section(QLatin1Char('.'), 1)].append(symbol);
        } else if (addresses.contains(it.key())) {
            addSymbol(symbol);
        } else if (const auto bit = bitAddress(path, scope, symbol); bit) {
            symbol.address = *bit;
            addSymbol(symbol);
        } else {
            m_unplaced.append(symbol.name);
        }
    }
    m_bitLabels.clear();
    // A local in memory may come with its address alone: a byte of the internal RAM.
    for (auto it = addresses.cbegin(); it != addresses.cend(); ++it) {
        const QString scope = it.key().section(QLatin1Char('$'), 0, 0);
        if (!scope.startsWith(QLatin1Char('L')) || variables.contains(it.key()))
            continue;
        Symbol symbol;
        symbol.name = it.key().section(QLatin1Char('$'), 1, 1);
        symbol.kind = SymbolKind::Data;
        symbol.address = it.value();
        symbol.space = QLatin1Char('E');
        symbol.type = QStringLiteral("SC:U");
        m_locals[scope.section(QLatin1Char('.'), 1)].append(symbol);
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
