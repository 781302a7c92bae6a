#include "linetable.h"

#include "boundedread.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("LineTable", text);
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
    // The first record of that address: where one address has several lines, the first.
    auto at = std::prev(after);
    while (at != m_lines.cbegin() && std::prev(at)->address == at->address)
        --at;
    return *at;
}

bool LineTable::isLineStart(std::uint32_t address) const
{
    const std::optional<Line> line = lineAt(address);
    return line && line->address == address;
}

QString LineTable::functionAt(std::uint32_t address) const
{
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
    if (!readBoundedFile(path, 16 << 20, data, &readError)) {
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
                const QString name = QString::fromLocal8Bit(data.mid(at + 1, length));
                QString resolved = name;
                for (const QString &folder : folders) {
                    if (!QFileInfo(name).isAbsolute()
                        && QFileInfo::exists(QDir(folder).filePath(name))) {
                        resolved = QDir::cleanPath(QDir(folder).filePath(name));
                        break;
                    }
                }
                files.append(resolved);
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
    if (!readBoundedFile(path, 16 << 20, text, &error))
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
