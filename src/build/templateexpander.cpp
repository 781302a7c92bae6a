#include "templateexpander.h"

#include "buildproject.h"

#include "core/mainservices.h"
#include "core/settingsfiles.h"
#include "core/settingsstore.h"
#include "platform/platformpaths.h"
#include "toolchain/buildconfig.h"
#include "toolchain/buildprocess.h"
#include "toolchain/buildtool.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

namespace {

QString dosForm(QString path)
{
    path.replace(QLatin1String("//"), QLatin1String("/"));
    path.replace(QLatin1Char('/'), QLatin1Char('\\'));
    return path;
}

QString shortForm(const QString &path)
{
    const QString shortPath = Platform::shortPathName(path);
    return shortPath.isEmpty() ? path : shortPath;
}

QString suffixOf(const QString &path)
{
    return QFileInfo(path).suffix();
}

// Expansion that resolves to itself would never end; nested references stop this deep.
constexpr int maxDepth = 16;

} // namespace

TemplateExpander::TemplateExpander(const BuildProject &configuration, bool forCommands)
    : m_configuration(configuration)
    , m_forCommands(forCommands)
{}

QString TemplateExpander::word(const QString &path) const
{
    if (!m_forCommands)
        return path;
    return m_insideQuotes ? insideDoubleQuotes(path) : shellWord(path, false);
}

static bool isLineBreak(QChar c)
{
    return c == QLatin1Char('\n') || c == QLatin1Char('\r');
}

QString TemplateExpander::insideDoubleQuotes(const QString &path)
{
    QString text;
    for (const QChar c : path) {
        if (isLineBreak(c)) {
            text += QLatin1String("\"?\"");
            continue;
        }
        if (c == QLatin1Char('"') || c == QLatin1Char('\\') || c == QLatin1Char('`')
            || c == QLatin1Char('$'))
            text += QLatin1Char('\\');
        text += c;
    }
    return text.replace(QLatin1String("$"), QLatin1String("$$"));
}

bool TemplateExpander::endsInsideDoubleQuotes(const QString &text, bool startInside)
{
    enum { Plain, Single, Double } state = startInside ? Double : Plain;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (state == Single) {
            if (c == QLatin1Char('\''))
                state = Plain;
        } else if (c == QLatin1Char('\\')) {
            ++i;
        } else if (c == QLatin1Char('"')) {
            state = state == Double ? Plain : Double;
        } else if (c == QLatin1Char('\'') && state == Plain) {
            state = Single;
        }
    }
    return state == Double;
}

QString TemplateExpander::oneLine(QString text)
{
    for (QChar &c : text) {
        if (isLineBreak(c))
            c = QLatin1Char(' ');
    }
    return text;
}

QString TemplateExpander::shellWord(const QString &path, bool doubleQuoted)
{
    if (std::any_of(path.begin(), path.end(), isLineBreak)) {
        QStringList pieces;
        QString piece;
        for (const QChar c : path) {
            if (isLineBreak(c)) {
                pieces.append(piece.isEmpty() ? QString() : shellWord(piece, doubleQuoted));
                piece.clear();
            } else {
                piece += c;
            }
        }
        pieces.append(piece.isEmpty() ? QString() : shellWord(piece, doubleQuoted));
        return pieces.join(QLatin1Char('?'));
    }
    static const QString special = QStringLiteral(" \t\n'\"$`\\;&|<>()*?[]#~!{}");
    bool plain = true;
    for (const QChar c : path)
        plain = plain && !special.contains(c);
    QString word;
    if (doubleQuoted) {
        word = QLatin1Char('"');
        for (const QChar c : path) {
            if (c == QLatin1Char('"') || c == QLatin1Char('\\') || c == QLatin1Char('`')
                || c == QLatin1Char('$'))
                word += QLatin1Char('\\');
            word += c;
        }
        word += QLatin1Char('"');
    } else if (plain) {
        return path;
    } else {
        word = QLatin1Char('\'') + QString(path).replace(QLatin1String("'"), QLatin1String("'\\''"))
               + QLatin1Char('\'');
    }
    // make reads "$" itself before the shell sees the line.
    return word.replace(QLatin1String("$"), QLatin1String("$$"));
}

static const QString makeSyntax = QStringLiteral(";:()%#='\"`\\|&<>!{}~*?[]\t\n\r");

QString TemplateExpander::makeName(const QString &path)
{
    QString name;
    for (const QChar c : path) {
        if (c == QLatin1Char(' '))
            name += QLatin1String("\\ ");
        else if (c == QLatin1Char('$'))
            name += QLatin1String("$$");
        else if (makeSyntax.contains(c))
            name += QLatin1Char('?');
        else
            name += c;
    }
    return name;
}

QString TemplateExpander::safeFileName(const QString &path)
{
    const int slash = int(path.lastIndexOf(QLatin1Char('/')));
    QString name = path.mid(slash + 1);
    for (QChar &c : name) {
        if (c == QLatin1Char('$') || makeSyntax.contains(c))
            c = QLatin1Char('_');
    }
    return path.left(slash + 1) + name;
}

QString TemplateExpander::relativeForm(const QString &path, int flags) const
{
    QString base = m_configuration.projectDirectory();
    QString target = path;
    if (flags & Short) {
        base = shortForm(base);
        if (QFileInfo::exists(target))
            target = shortForm(target);
    }
    QString result = QDir(base).relativeFilePath(target);
    if (flags & Dos)
        result = dosForm(result);
    while (result.size() > 1
           && (result.endsWith(QLatin1Char('/')) || result.endsWith(QLatin1Char('\\'))))
        result.chop(1);
    if (result.isEmpty())
        result = QStringLiteral(".");
    // A tool reads a name that starts with "-" as an option and one with "@" as a file of
    // options: such a name is given as a path.
    if (result.startsWith(QLatin1Char('-')) || result.startsWith(QLatin1Char('@')))
        result.prepend((flags & Dos) ? QStringLiteral(".\\") : QStringLiteral("./"));
    if (flags & Quoted)
        result = QLatin1Char('"') + result + QLatin1Char('"');
    if (flags & Underscore)
        result.replace(QLatin1Char(' '), QLatin1Char('_'));
    return result;
}

QString TemplateExpander::absoluteForm(const QString &path, int flags) const
{
    QString result = path;
    if (flags & Dos)
        result = dosForm(result);
    if (flags & Underscore)
        result.replace(QLatin1Char(' '), QLatin1Char('_'));
    if ((flags & Short) && QFileInfo::exists(result))
        result = shortForm(result);
    if (flags & Quoted)
        result = QLatin1Char('"') + result + QLatin1Char('"');
    return result;
}

QString TemplateExpander::clockInHertz(const QString &clock)
{
    if (clock.isEmpty())
        return QString();
    QString text = clock;
    text.remove(QLatin1Char(' '));
    const QString stored = text;
    text = text.toUpper();
    const int h = text.indexOf(QLatin1Char('H'));
    if (h >= 0)
        text.truncate(h);
    double factor = 1;
    const int m = text.indexOf(QLatin1Char('M'));
    const int k = text.indexOf(QLatin1Char('K'));
    if (m > 0) {
        text.truncate(m);
        factor = 1000000;
    } else if (k > 0) {
        text.truncate(k);
        factor = 1000;
    }
    bool ok = false;
    const double number = text.toDouble(&ok);
    if (!ok)
        return stored;
    return QString::number(qint64(factor * number));
}

QString TemplateExpander::expand(const QString &text, const BuildNode *node) const
{
    return expandOnce(text, node, 0, false);
}

QString TemplateExpander::expandOnce(const QString &text,
                                     const BuildNode *node,
                                     int depth,
                                     bool insideQuotes) const
{
    QString result;
    int position = 0;
    while (true) {
        const int first = text.indexOf(QLatin1Char('%'), position);
        const int second = first < 0 ? -1 : text.indexOf(QLatin1Char('%'), first + 1);
        if (first < 0 || second < 0) {
            result += text.mid(position);
            return result;
        }
        const QString name = text.mid(first + 1, second - first - 1).toUpper();
        result += text.mid(position, first - position);
        position = second + 1;
        QString value;
        // A path the template already quotes is escaped for its quotes, not quoted again.
        const bool quoted = endsInsideDoubleQuotes(result, insideQuotes);
        m_insideQuotes = quoted;
        bool resolved = resolve(name, node, value);
        const QString self = QLatin1Char('%') + name + QLatin1Char('%');
        if (resolved && value.contains(self, Qt::CaseInsensitive))
            resolved = false;
        if (!resolved) {
            result += self;
            continue;
        }
        if (node && value.contains(QLatin1Char('%')) && depth < maxDepth)
            value = expandOnce(value, node, depth + 1, quoted);
        result += value;
    }
}

bool TemplateExpander::resolve(const QString &name, const BuildNode *node, QString &value) const
{
    int flags = 0;
    if (name.contains(QLatin1String("_DOS")))
        flags |= Dos;
    if (name.contains(QLatin1String("_SHORT")))
        flags |= Short;
    if (name.contains(QLatin1String("_QUOTED")))
        flags |= Quoted;
    if (name.contains(QLatin1String("_USCORE")))
        flags |= Underscore;
    QChar separator = QLatin1Char(' ');
    const int open = name.indexOf(QLatin1Char('('));
    const int close = name.indexOf(QLatin1Char(')'));
    if (open >= 0 && close > 1)
        separator = name.at(close - 1);
    if (node && resolveNodeVariable(name, flags, separator, node, value))
        return true;
    if (node
        && (name == QLatin1String("OPTIONS") || name.startsWith(QLatin1String("INFILE"))
            || name.startsWith(QLatin1String("OUTFILE")))) {
        return false;
    }
    return resolveConfigurationVariable(name, flags, value);
}

QString TemplateExpander::inputList(const BuildNode *node, int flags, QChar separator) const
{
    const BuildProcess *process = node->process();
    const BuildTool *tool = process && m_configuration.compiler()
                                ? m_configuration.compiler()->tool(process->tool())
                                : nullptr;
    QString list;
    bool first = true;
    for (const auto &input : node->inputs) {
        QString path = relativeForm(input->file, flags & (Dos | Short | Quoted));
        if (flags & Underscore)
            path.replace(QLatin1Char(' '), QLatin1Char('_'));
        const QString fileOption = process ? process->fileOption(suffixOf(input->file), false)
                                           : QString();
        const OptionDefinition *definition = fileOption.isEmpty() || !tool
                                                 ? nullptr
                                                 : tool->optionWithId(fileOption);
        QString entry;
        bool setOnNode = false;
        for (const OptionSetting &setting : node->options)
            setOnNode = setOnNode || setting.id.toUpper() == fileOption.toUpper();
        // The option set on the node names that input itself: it is not an input twice.
        if (definition && setOnNode)
            continue;
        if (definition) {
            const QString quoted = path.contains(QLatin1Char('"'))
                                       ? path
                                       : QLatin1Char('"') + path + QLatin1Char('"');
            entry = QLatin1Char(' ') + definition->name
                    + shellWord(quoted.mid(1, quoted.size() - 2), true);
        } else {
            entry = (flags & Quoted) ? path : word(path);
        }
        // Between every two entries; a file option's own leading blank already is one.
        if (!first && !(separator == QLatin1Char(' ') && entry.startsWith(QLatin1Char(' '))))
            list += separator;
        list += entry;
        first = false;
    }
    return list;
}

bool TemplateExpander::resolveNodeVariable(
    const QString &name, int flags, QChar separator, const BuildNode *node, QString &value) const
{
    const bool wantsName = name.contains(QLatin1String("_NAME"));
    const bool wantsDir = name.contains(QLatin1String("_DIR"));
    if (name == QLatin1String("OPTIONS")) {
        value = optionString(node->options, node, flags & (Dos | Short));
        return true;
    }
    if (name.startsWith(QLatin1String("INFILE"))) {
        if (wantsName && node->inputs.size() == 1) {
            value = QFileInfo(relativeForm(node->inputs.front()->file, flags & (Dos | Short)))
                        .fileName()
                        .section(QLatin1Char('.'), 0, 0);
            if (flags & Underscore)
                value.replace(QLatin1Char(' '), QLatin1Char('_'));
            value = word(value);
            return true;
        }
        if (wantsDir) {
            if (node->inputs.size() != 1)
                return false;
            const QFileInfo input(QDir(m_configuration.projectDirectory()),
                                  node->inputs.front()->file);
            value = word(relativeForm(input.absolutePath(), flags));
            return true;
        }
        value = inputList(node, flags, separator);
        return true;
    }
    if (name.startsWith(QLatin1String("OUTFILE"))) {
        if (wantsName) {
            value = QFileInfo(node->file).completeBaseName();
            if (flags & Underscore)
                value.replace(QLatin1Char(' '), QLatin1Char('_'));
        } else if (wantsDir) {
            value = relativeForm(QFileInfo(QDir(m_configuration.projectDirectory()), node->file)
                                     .absolutePath(),
                                 flags);
        } else {
            value = relativeForm(QFileInfo(QDir(m_configuration.projectDirectory()), node->file)
                                     .absoluteFilePath(),
                                 flags);
        }
        value = (flags & Quoted) ? value : word(value);
        return true;
    }
    return false;
}

bool TemplateExpander::resolveConfigurationVariable(const QString &name,
                                                    int flags,
                                                    QString &value) const
{
    const bool wantsName = name.contains(QLatin1String("_NAME"));
    const bool wantsDir = name.contains(QLatin1String("_DIR"));
    if (name.startsWith(QLatin1String("COMPILER"))) {
        if (wantsDir) {
            value = m_configuration.compiler() ? m_configuration.compiler()->compilerDirectory()
                                               : QString();
            if (flags & Dos)
                value = dosForm(value);
            if ((flags & Short) && QFileInfo::exists(value))
                value = shortForm(value);
            return true;
        }
        if (wantsName) {
            value = m_configuration.compilerName();
            return true;
        }
        return false;
    }
    if (name == QLatin1String("CLOCK")) {
        value = clockInHertz(m_configuration.clock());
        return true;
    }
    if (name.startsWith(QLatin1String("TARGET"))) {
        if (wantsDir) {
            value = QStringLiteral(".");
            return true;
        }
        if (wantsName && m_configuration.root()) {
            value = relativeForm(m_configuration.root()->file, flags);
            return true;
        }
        return false;
    }
    if (name.startsWith(QLatin1String("BIN")) && wantsDir) {
        value = absoluteForm(m_configuration.mainWindow().files().settingsStore().toolsDirectory(),
                             flags);
        return true;
    }
    return false;
}

// An option's text reaches the tool as typed, split at blanks into arguments ("-Wl,-u,vfprintf
// -lprintf_flt" is two): each argument is one word for the shell, so nothing in a project file
// runs as a command or reads as make syntax.
QString TemplateExpander::optionWords(const QString &text) const
{
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    QStringList words;
    for (const QString &word : text.split(blanks, Qt::SkipEmptyParts)) {
        const QString value = expand(word, nullptr).replace(QLatin1String("%%"), QLatin1String("%"));
        words.append(m_forCommands ? shellWord(value, false) : value);
    }
    return words.join(QLatin1Char(' '));
}

QString TemplateExpander::optionString(const QList<OptionSetting> &options,
                                       const BuildNode *node,
                                       int inputFlags) const
{
    QStringList result;
    for (const OptionSetting &option : options) {
        QString input;
        if (!option.id.isEmpty() && node && node->process()) {
            for (const auto &in : node->inputs) {
                const QString fileOption = node->process()->fileOption(suffixOf(in->file), false);
                if (!fileOption.isEmpty() && fileOption.toUpper() == option.id.toUpper())
                    input = shellWord(relativeForm(in->file, inputFlags), true);
            }
        }
        if (input.isEmpty()) {
            const QString words = optionWords(option.name + option.value);
            if (!words.isEmpty())
                result.append(words);
            continue;
        }
        // The file the option names follows its name, as a word of its own after a blank.
        const QString name = optionWords(option.name);
        const bool apart = option.name.isEmpty() || option.name.back().isSpace();
        result.append(name.isEmpty() ? input
                                     : name + (apart ? QStringLiteral(" ") : QString()) + input);
    }
    return result.join(QLatin1Char(' '));
}
