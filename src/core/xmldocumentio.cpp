#include "xmldocumentio.h"

#include "platform/boundedfile.h"
#include "platform/wholefilewriter.h"

#include "outputsink.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QXmlStreamReader>

#include <algorithm>

namespace {

// The toolkit's document builder recurses once per level: a file nested deeply enough takes
// it seconds, or for ever. The program's files are a few levels deep.
constexpr int maxDepth = 256;

// Where the nesting first goes deeper than maxDepth; false when it never does.
bool tooDeep(const QString &text, int &line, int &column)
{
    QXmlStreamReader reader(text);
    int depth = 0;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement && ++depth > maxDepth) {
            line = int(reader.lineNumber());
            column = int(reader.columnNumber());
            return true;
        }
        if (token == QXmlStreamReader::EndElement)
            --depth;
    }
    return false;
}

void reportError(OutputSink *output, const QString &path, const QString &error, int line, int column)
{
    if (!output)
        return;
    const char *text = QT_TRANSLATE_NOOP("SrcManager",
                                         "Error opening %1: %2 at line %3, column %4\n");
    output->message(QCoreApplication::translate("SrcManager", text)
                        .arg(QFileInfo(path).fileName(), error)
                        .arg(line)
                        .arg(column));
}

} // namespace

std::optional<QDomDocument> XmlDocumentIo::load(const QString &path, OutputSink *output)
{
    QByteArray bytes;
    QString refusal;
    if (!Platform::readBoundedFile(path, Platform::maxXmlFileBytes, bytes, &refusal)) {
        if (output && !refusal.isEmpty()) {
            output->message(QCoreApplication::translate("SrcManager", "Error opening %1: %2\n")
                                .arg(QFileInfo(path).fileName(), refusal));
        }
        return std::nullopt;
    }
    const QString text = QString::fromUtf8(bytes);
    int line = 0;
    int column = 0;
    if (tooDeep(text, line, column)) {
        reportError(output,
                    path,
                    QCoreApplication::translate("SrcManager",
                                                "elements nested deeper than %1 levels")
                        .arg(maxDepth),
                    line,
                    column);
        return std::nullopt;
    }
    QDomDocument document;
    QString errorMessage;
    if (!document.setContent(text, true, &errorMessage, &line, &column)) {
        reportError(output, path, errorMessage, line, column);
        return std::nullopt;
    }
    return document;
}

namespace {

// The program's XML files are compared and kept under version control by their users, so
// attributes are written in one fixed order (the toolkit's own writer orders them by hash).
const char *const attributeOrder[] = {"NAME",
                                      "GROUP",
                                      "DESCRIPTION",
                                      "FAMILY",
                                      "TYPE",
                                      "CLOCK",
                                      "COMPILER",
                                      "VALUE",
                                      "TOOL",
                                      "ID",
                                      "DEFAULT",
                                      "TARGET"};

int attributeRank(const QString &name)
{
    const int known = int(sizeof attributeOrder / sizeof *attributeOrder);
    for (int i = 0; i < known; ++i) {
        if (name == QLatin1String(attributeOrder[i]))
            return i;
    }
    return known;
}

QString escaped(const QString &text, bool attribute)
{
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        // What XML cannot hold, even as a reference, would make the file unreadable: it is
        // left out (XmlDocumentIo::canHold tells beforehand).
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            result += c;
            result += text.at(++i);
            continue;
        }
        if (!XmlDocumentIo::canHold(QStringView(&c, 1)))
            continue;
        switch (c.unicode()) {
        case '&':
            result += QLatin1String("&amp;");
            break;
        case '<':
            result += QLatin1String("&lt;");
            break;
        case '>':
            result += QLatin1String("&gt;");
            break;
        case '"':
            result += attribute ? QLatin1String("&quot;") : QLatin1String("\"");
            break;
        case '\n':
            result += attribute ? QLatin1String("&#xa;") : QLatin1String("\n");
            break;
        case '\r':
            result += QLatin1String("&#xd;");
            break;
        case '\t':
            result += attribute ? QLatin1String("&#x9;") : QLatin1String("\t");
            break;
        default:
            result += c;
        }
    }
    return result;
}

void writeNode(QString &out, const QDomNode &node, int depth, int indent)
{
    const QString pad(depth * indent, QLatin1Char(' '));
    if (node.isProcessingInstruction()) {
        const QDomProcessingInstruction pi = node.toProcessingInstruction();
        out += QLatin1String("<?") + pi.target() + QLatin1Char(' ') + pi.data()
               + QLatin1String("?>\n");
    } else if (node.isComment()) {
        out += pad + QLatin1String("<!--") + node.toComment().data() + QLatin1String("-->\n");
    } else if (node.isText()) {
        out += pad + escaped(node.toText().data(), false) + QLatin1Char('\n');
    } else if (node.isElement()) {
        const QDomElement element = node.toElement();
        out += pad + QLatin1Char('<') + element.tagName();
        const QDomNamedNodeMap map = element.attributes();
        QList<QDomAttr> attributes;
        for (int i = 0; i < map.count(); ++i)
            attributes.append(map.item(i).toAttr());
        std::stable_sort(attributes.begin(),
                         attributes.end(),
                         [](const QDomAttr &a, const QDomAttr &b) {
                             const int ra = attributeRank(a.name());
                             const int rb = attributeRank(b.name());
                             return ra != rb ? ra < rb : a.name() < b.name();
                         });
        for (const QDomAttr &attribute : std::as_const(attributes)) {
            out += QLatin1Char(' ') + attribute.name() + QLatin1String("=\"")
                   + escaped(attribute.value(), true) + QLatin1Char('"');
        }
        const QDomNodeList children = element.childNodes();
        if (children.isEmpty()) {
            out += QLatin1String("/>\n");
        } else if (children.count() == 1 && children.at(0).isText()) {
            out += QLatin1Char('>') + escaped(children.at(0).toText().data(), false)
                   + QLatin1String("</") + element.tagName() + QLatin1String(">\n");
        } else {
            out += QLatin1String(">\n");
            for (int i = 0; i < children.count(); ++i)
                writeNode(out, children.at(i), depth + 1, indent);
            out += pad + QLatin1String("</") + element.tagName() + QLatin1String(">\n");
        }
    }
}

} // namespace

QString XmlDocumentIo::toText(const QDomDocument &document, int indent)
{
    QString out;
    const QDomNodeList children = document.childNodes();
    for (int i = 0; i < children.count(); ++i)
        writeNode(out, children.at(i), 0, indent);
    return out;
}

bool XmlDocumentIo::save(const QDomDocument &document, const QString &path, QString *errorString)
{
    if (document.isNull())
        return false;
    return Platform::writeWholeFile(path, toText(document, 1).toUtf8(), errorString);
}

bool XmlDocumentIo::canHold(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size()
            && QChar::isLowSurrogate(text.at(i + 1).unicode())) {
            ++i;
            continue;
        }
        if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || QChar::isSurrogate(c)
            || c == 0xFFFE || c == 0xFFFF)
            return false;
    }
    return true;
}
