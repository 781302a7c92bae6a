#include "chmfile.h"

#include <chm_lib.h>

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QtEndian>

// Pages and pictures larger than this are not read.
static const qint64 largestObject = 16 << 20;

static quint32 wordAt(const QByteArray &data, qsizetype offset)
{
    if (offset < 0 || offset + 4 > data.size())
        return 0;
    return qFromLittleEndian<quint32>(data.constData() + offset);
}

static quint16 halfWordAt(const QByteArray &data, qsizetype offset)
{
    if (offset < 0 || offset + 2 > data.size())
        return 0;
    return qFromLittleEndian<quint16>(data.constData() + offset);
}

static QString objectPath(const QString &path)
{
    return path.startsWith(QLatin1Char('/')) ? path : QLatin1Char('/') + path;
}

std::unique_ptr<ChmFile> ChmFile::open(const QString &path)
{
    // Only a regular file: the library would wait for ever on a pipe.
    if (!QFileInfo(path).isFile())
        return nullptr;
    chmFile *handle = chm_open(QFile::encodeName(path).constData());
    if (!handle)
        return nullptr;
    return std::unique_ptr<ChmFile>(new ChmFile(path, handle));
}

ChmFile::ChmFile(const QString &path, chmFile *handle)
    : m_path(path)
    , m_handle(handle)
{
    m_strings = read(QStringLiteral("/#STRINGS"));
    m_system = read(QStringLiteral("/#SYSTEM"));
}

ChmFile::~ChmFile()
{
    chm_close(m_handle);
}

bool ChmFile::contains(const QString &objectPath) const
{
    chmUnitInfo unit;
    return chm_resolve_object(m_handle, ::objectPath(objectPath).toUtf8().constData(), &unit)
           == CHM_RESOLVE_SUCCESS;
}

QByteArray ChmFile::read(const QString &objectPath) const
{
    chmUnitInfo unit;
    if (chm_resolve_object(m_handle, ::objectPath(objectPath).toUtf8().constData(), &unit)
            != CHM_RESOLVE_SUCCESS
        || unit.length > quint64(largestObject))
        return QByteArray();
    QByteArray data(qsizetype(unit.length), Qt::Uninitialized);
    const LONGINT64 got = chm_retrieve_object(m_handle,
                                              &unit,
                                              reinterpret_cast<unsigned char *>(data.data()),
                                              0,
                                              LONGINT64(unit.length));
    if (got < 0)
        return QByteArray();
    data.truncate(qsizetype(got));
    return data;
}

QString ChmFile::stringAt(quint32 offset) const
{
    if (offset == 0 || offset >= quint32(m_strings.size()))
        return QString();
    const qsizetype end = m_strings.indexOf('\0', offset);
    return QString::fromUtf8(m_strings.mid(offset, end < 0 ? -1 : end - offset));
}

QString ChmFile::objectFor(const QString &storedPath) const
{
    QString path = storedPath;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (path.isEmpty())
        return QString();
    if (contains(path))
        return objectPath(path);
    // Drop leading folders until the rest names an object.
    for (qsizetype slash = path.indexOf(QLatin1Char('/')); slash >= 0;
         slash = path.indexOf(QLatin1Char('/'), slash + 1)) {
        const QString tail = path.mid(slash);
        if (tail.size() > 1 && contains(tail))
            return tail;
    }
    return QString();
}

// The system file: a version, then records of a code, a length and the data.
QString ChmFile::defaultTopic() const
{
    for (qsizetype at = 4; at + 4 <= m_system.size();) {
        const quint16 code = halfWordAt(m_system, at);
        const quint16 length = halfWordAt(m_system, at + 2);
        if (code == 2) {
            const QString topic = objectFor(
                QString::fromUtf8(m_system.mid(at + 4, length)).section(QChar(0), 0, 0));
            if (!topic.isEmpty())
                return topic;
        }
        at += 4 + length;
    }
    return contains(QStringLiteral("/index.html")) ? QStringLiteral("/index.html") : QString();
}

// The context map: its size, then pairs of a context id and the offset of its topic's name.
QString ChmFile::topicForContext(int contextId) const
{
    const QByteArray map = read(QStringLiteral("/#IVB"));
    const qsizetype end = std::min<qsizetype>(map.size(), 4 + qsizetype(wordAt(map, 0)));
    for (qsizetype at = 4; at + 8 <= end; at += 8) {
        if (qint32(wordAt(map, at)) == contextId)
            return objectFor(stringAt(wordAt(map, at + 4)));
    }
    return QString();
}

// The window types: a count and an entry size, then one entry each, its strings as offsets.
std::optional<ChmFile::WindowType> ChmFile::windowType(const QString &name) const
{
    const QByteArray windows = read(QStringLiteral("/#WINDOWS"));
    const quint32 count = wordAt(windows, 0);
    const quint32 size = wordAt(windows, 4);
    if (size < 0x70)
        return std::nullopt;
    for (quint32 i = 0; i < count; ++i) {
        const qsizetype entry = 8 + qsizetype(i) * size;
        if (entry + 0x70 > windows.size())
            break;
        if (stringAt(wordAt(windows, entry + 0x08)).compare(name, Qt::CaseInsensitive) != 0)
            continue;
        WindowType type;
        type.name = name;
        type.caption = stringAt(wordAt(windows, entry + 0x14));
        const int left = qint32(wordAt(windows, entry + 0x20));
        const int top = qint32(wordAt(windows, entry + 0x24));
        const int right = qint32(wordAt(windows, entry + 0x28));
        const int bottom = qint32(wordAt(windows, entry + 0x2c));
        type.rect = QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
        type.contents = objectFor(stringAt(wordAt(windows, entry + 0x60)));
        type.home = objectFor(stringAt(wordAt(windows, entry + 0x6c)));
        return type;
    }
    return std::nullopt;
}

// A sitemap: nested lists of objects, each with a name and the page it shows.
QList<ChmFile::ContentsEntry> ChmFile::contents() const
{
    QString file;
    if (const auto main = windowType(QStringLiteral("Main")))
        file = main->contents;
    if (file.isEmpty()) {
        for (qsizetype at = 4; at + 4 <= m_system.size();) {
            const quint16 code = halfWordAt(m_system, at);
            const quint16 length = halfWordAt(m_system, at + 2);
            if (code == 0)
                file = objectFor(
                    QString::fromUtf8(m_system.mid(at + 4, length)).section(QChar(0), 0, 0));
            at += 4 + length;
        }
    }
    const QString sitemap = QString::fromUtf8(read(file));
    static const QRegularExpression
        token(QStringLiteral("<\\s*(/?)\\s*(ul|object)\\b|<param\\s+name\\s*=\\s*\"([^\"]*)\"\\s+"
                             "value\\s*=\\s*\"([^\"]*)\""),
              QRegularExpression::CaseInsensitiveOption);
    QList<ContentsEntry> top;
    QList<QList<ContentsEntry> *> levels{&top};
    ContentsEntry current;
    bool inObject = false;
    for (auto it = token.globalMatch(sitemap); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const bool closing = !match.captured(1).isEmpty();
        const QString tag = match.captured(2).toLower();
        if (tag == QLatin1String("ul")) {
            if (!closing && !levels.last()->isEmpty())
                levels.append(&levels.last()->last().children);
            else if (closing && levels.size() > 1)
                levels.removeLast();
        } else if (tag == QLatin1String("object")) {
            if (!closing) {
                current = ContentsEntry();
                inObject = true;
            } else if (inObject) {
                inObject = false;
                if (!current.name.isEmpty())
                    levels.last()->append(current);
            }
        } else if (inObject) {
            const QString param = match.captured(3).toLower();
            if (param == QLatin1String("name"))
                current.name = match.captured(4);
            else if (param == QLatin1String("local"))
                current.topic = objectFor(match.captured(4));
        }
    }
    return top;
}
