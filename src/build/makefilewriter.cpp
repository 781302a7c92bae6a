#include "makefilewriter.h"

#include "buildproject.h"
#include "makefilerules.h"
#include "templateexpander.h"

#include "core/mainservices.h"
#include "platform/boundedfile.h"
#include "platform/platformpaths.h"
#include "platform/wholefilewriter.h"
#include "toolchain/buildconfig.h"
#include "toolchain/buildprocess.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QTextStream>

#include <vector>

#include <sys/stat.h>

namespace {

// A name no other step makes yet: sources of one name in two folders must not share an object,
// or one of them would be built twice and the other not at all.
QString unusedName(const QString &file, const QSet<QString> &used)
{
    if (!used.contains(file))
        return file;
    const int slash = int(file.lastIndexOf(QLatin1Char('/')));
    const int dot = int(file.indexOf(QLatin1Char('.'), slash + 1));
    const int end = dot < 0 ? int(file.size()) : dot;
    for (int n = 2;; ++n) {
        const QString candidate = file.left(end) + QStringLiteral("_%1").arg(n) + file.mid(end);
        if (!used.contains(candidate))
            return candidate;
    }
}

void fillPostOrder(BuildNode *node,
                   BuildProject &configuration,
                   const TemplateExpander &expander,
                   QSet<QString> &used)
{
    for (const auto &input : node->inputs)
        fillPostOrder(input.get(), configuration, expander, used);
    if (node->isLeaf() || !node->parent)
        return;
    const FileSpec &output = node->step->output;
    const QString name = output.name.isEmpty() ? QStringLiteral("%INFILE_NAME%.") + output.pattern
                                               : output.name;
    node->file = unusedName(TemplateExpander::safeFileName(
                                expander.expand(configuration.targetName() + QLatin1Char('/') + name,
                                                node)),
                            used);
    used.insert(node->file);
}

// A file's name up to its first dot, in the file's own folder: the tools write their
// temporaries beside their output, and a dot in a folder name is no suffix.
QString baseBeforeFirstDot(const QString &file)
{
    const int slash = int(file.lastIndexOf(QLatin1Char('/')));
    return file.left(slash + 1) + file.mid(slash + 1).section(QLatin1Char('.'), 0, 0);
}

const QString hashLine = QString(79, QLatin1Char('#'));

// What stands at a path, from one look at the entry itself: -1 for the time of nothing there.
struct FileState
{
    // A link, a FIFO, a device: nothing for make to read or a tool to write through.
    bool notPlain = false;
    qint64 modifiedNs = -1;
};

FileState fileState(const QString &path)
{
    struct stat status
    {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return {};
    return {!S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode),
            qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec};
}

// A dependency file as it stood when the program last read it. Any change to the file since,
// its times set included (as an archive sets them), gives it another status change time, which
// no program can set: its modification time would tell nothing of who wrote it.
struct CheckedFile
{
    quint64 device = 0;
    quint64 inode = 0;
    qint64 changedNs = -1;
    qint64 size = -1;
    bool operator==(const CheckedFile &other) const
    {
        return device == other.device && inode == other.inode && changedNs == other.changedNs
               && size == other.size;
    }
};

CheckedFile checkedState(const QString &path)
{
    struct stat status
    {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return {};
    return {quint64(status.st_dev),
            quint64(status.st_ino),
            qint64(status.st_ctim.tv_sec) * 1000000000 + status.st_ctim.tv_nsec,
            qint64(status.st_size)};
}

// The dependency files read since the program started, by path: make reads each as part of the
// Makefile, so none goes to make unread.
QHash<QString, CheckedFile> &checkedDependencyFiles()
{
    static QHash<QString, CheckedFile> checked;
    return checked;
}

// Text written behind "#": it must neither start a line of its own nor, ending in "\", carry
// the comment on to the next line.
QString commentText(const QString &text)
{
    QString line = text;
    for (QChar &c : line) {
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            c = QLatin1Char('?');
    }
    if (line.endsWith(QLatin1Char('\\')))
        line += QLatin1Char(' ');
    return line;
}

// One line of a recipe or a variable: nothing in it may start a line of its own.
QString recipe(const QString &text)
{
    return TemplateExpander::oneLine(text);
}

} // namespace

MakefileWriter::MakefileWriter(BuildProject &configuration)
    : m_configuration(configuration)
{}

QString MakefileWriter::makefilePath(const BuildProject &configuration)
{
    return configuration.outputDirectory() + QStringLiteral("/Makefile");
}

bool MakefileWriter::fillFileNames()
{
    BuildNode *root = m_configuration.root();
    if (!root)
        return false;
    // Names, not commands: nothing in them is quoted for a shell.
    const TemplateExpander expander(m_configuration, false);
    const FileSpec &output = root->step->output;
    root->file = TemplateExpander::safeFileName(
        output.name.isEmpty() ? m_configuration.outputDirectory() + QLatin1Char('/')
                                    + m_configuration.name() + QLatin1Char('.') + output.pattern
                              : expander.expand(output.name, root));
    // Named afresh from the tree each time, so that the names follow from the tree alone: a
    // project saved and opened again names every file as before.
    for (BuildNode *node : m_configuration.stepNodes()) {
        if (node != root)
            node->file.clear();
    }
    QSet<QString> used{root->file};
    fillPostOrder(root, m_configuration, expander, used);
    for (const BuildNode *node : m_configuration.stepNodes()) {
        if (node->file.isEmpty())
            return false;
    }
    return true;
}

bool MakefileWriter::generate(QString &text)
{
    OutputSink &output = m_configuration.mainWindow().output();
    if (!m_configuration.root() && !m_configuration.createRoot(false)) {
        output.error(QCoreApplication::translate("BuildProject", "Cannot select build target."));
        return false;
    }
    // The clock reaches the commands as a number of hertz, and as nothing else.
    const QString clock = m_configuration.clock();
    static const QRegularExpression hertz(QStringLiteral("^[0-9]+$"));
    if (!clock.isEmpty() && !hertz.match(TemplateExpander::clockInHertz(clock)).hasMatch()) {
        output.error(
            QCoreApplication::translate("BuildProject",
                                        "The clock '%1' is not a frequency (for example 16MHz).")
                .arg(TemplateExpander::oneLine(clock)));
        return false;
    }
    m_configuration.hoist(false);
    if (!fillFileNames()) {
        output.error(
            QCoreApplication::translate("BuildProject",
                                        "Not all intermediate file names are filled. It should "
                                        "be an error in compiler configuration file."));
        return false;
    }
    const TemplateExpander expander(m_configuration);
    QTextStream out(&text);
    out << hashLine << "\n# Makefile for project " << QString() << '\n' << hashLine << '\n';
    if (!writeGeneralOptions(out, expander) || !writeProcessingTools(out))
        return false;
    writeTreeComment(out, expander, m_configuration.root(), QStringLiteral("# "));
    writeRules(out, expander);
    writeTidy(out, expander);
    writeClean(out, expander);
    writeDependencies(out);
    // Every file is a source or the output of a rule above. make's own suffix rules would send
    // it looking, for each of them, for a file to make it from: with many sources most of the
    // time of a build with nothing to do.
    out << "\n# No rules but these\n.SUFFIXES:\n";
    // Nor make's rules that check a missing file out of a version file (RCS, SCCS) beside it:
    // a project folder can bring one along for a dependency file, which make reads as part of
    // the Makefile.
    out << "MAKEFLAGS += -r\n";
    // What a command that failed, or was stopped, has written of its output is no output: the
    // next build makes it again rather than link it.
    out << "\n# An output whose command failed is removed\n.DELETE_ON_ERROR:\n";
    out.flush();
    collectErrorFiles(expander);
    return true;
}

bool MakefileWriter::write()
{
    QString text;
    if (!generate(text))
        return false;
    const QString directory = m_configuration.outputDirectory();
    if (!QFileInfo::exists(directory))
        QDir(m_configuration.projectDirectory()).mkpath(m_configuration.targetName());
    const QString path = makefilePath(m_configuration);
    removeLinks(path);
    const QByteArray bytes = text.toLocal8Bit();
    QByteArray oldBytes;
    Platform::readBoundedFile(path, Platform::maxSourceFileBytes, oldBytes, nullptr);
    // Outputs made by another rule go before the Makefile that no longer says so is replaced:
    // should the program stop in between, the old Makefile still tells the next build.
    if (!removeStaleOutputs(oldBytes, bytes))
        return false;
    removeOutputsOfInterruptedBuild();
    // The same file is not written again: only its time moves on (one brought along may have a
    // time to come, of which make would warn at every build).
    QFile same(path);
    const bool touched = oldBytes == bytes && !bytes.isEmpty() && same.open(QIODevice::ReadWrite)
                         && same.setFileTime(QDateTime::currentDateTime(),
                                             QFileDevice::FileModificationTime);
    same.close();
    QString reason;
    if (!touched && !Platform::writeWholeFile(path, bytes, &reason)) {
        OutputSink &output = m_configuration.mainWindow().output();
        output.message(
            QCoreApplication::translate("BuildProject", "Cannot open file %1 for writing\n")
                .arg(path));
        output.error(reason);
        return false;
    }
    if (!checkDependencyFiles()) {
        m_configuration.mainWindow().output().error(
            QCoreApplication::translate("BuildProject",
                                        "Cannot read or remove the dependency files in %1.")
                .arg(QDir::toNativeSeparators(m_configuration.outputDirectory())));
        return false;
    }
    return true;
}

// The build writes its files where the Makefile names them (outputs, temporaries, messages): a
// link standing there (an archive can bring one along) would have the program or a tool write
// through it into a file elsewhere, a FIFO hold the tool for ever. They go; a linked Makefile
// describes nothing made here.
void MakefileWriter::removeLinks(const QString &makefile)
{
    QStringList files{makefile};
    const QDir project(m_configuration.projectDirectory());
    for (const BuildNode *node : m_configuration.stepNodes())
        files.append(QDir::cleanPath(project.absoluteFilePath(node->file)));
    for (const QString &file : temporaryFiles())
        files.append(QDir::cleanPath(project.absoluteFilePath(file)));
    files += m_configuration.errorFiles;
    for (const QString &file : std::as_const(files)) {
        if (fileState(file).notPlain && !m_configuration.allFiles().contains(file))
            QFile::remove(file);
    }
}

// The target of a step node's rule, as the Makefile writes it.
QString MakefileWriter::ruleTarget(const TemplateExpander &expander, const BuildNode *node) const
{
    const QString absolute = QFileInfo(QDir(m_configuration.projectDirectory()), node->file)
                                 .absoluteFilePath();
    return TemplateExpander::makeName(expander.relativeForm(absolute, 0));
}

// make trusts time stamps alone: an output made with other flags, for another controller or
// clock, by another configuration sharing the folder, or from other inputs is newer than its
// sources all the same. Every output whose rule differs from the one of the Makefile the last
// build ran (or that no Makefile there describes) is removed with its dependency file, so that
// make makes it again, and with it everything made from it. Outputs whose rule stayed are kept:
// only what changed is made again.
bool MakefileWriter::removeStaleOutputs(const QByteArray &oldMakefile, const QByteArray &newMakefile)
{
    if (oldMakefile == newMakefile)
        return true;
    const MakefileRules before(QString::fromLocal8Bit(oldMakefile));
    const MakefileRules after(QString::fromLocal8Bit(newMakefile));
    const QStringList sources = m_configuration.allFiles();
    const TemplateExpander expander(m_configuration);
    const QDir project(m_configuration.projectDirectory());
    for (const BuildNode *node : m_configuration.stepNodes()) {
        const QString target = ruleTarget(expander, node);
        if (after.sameRule(before, target))
            continue;
        const QString file = QDir::cleanPath(project.absoluteFilePath(node->file));
        if (sources.contains(file))
            continue;
        // Its dependency file lists the inputs of the old rule: a source renamed or replaced
        // would be looked for by its old name, and the build would stop there.
        if (const QString dependencies = dependencyFile(node); !dependencies.isEmpty())
            QFile::remove(project.absoluteFilePath(dependencies));
        if (!QFileInfo(file).isFile())
            continue;
        if (!QFile::remove(file)) {
            m_configuration.mainWindow().output().error(
                QCoreApplication::translate("BuildProject",
                                            "Cannot remove %1, made with other settings.")
                    .arg(QDir::toNativeSeparators(file)));
            return false;
        }
    }
    return true;
}

void MakefileWriter::removeOutputsOfInterruptedBuild()
{
    if (m_interruptedNs < 0)
        return;
    const QStringList sources = m_configuration.allFiles();
    const QDir project(m_configuration.projectDirectory());
    for (const BuildNode *node : m_configuration.stepNodes()) {
        const QString file = QDir::cleanPath(project.absoluteFilePath(node->file));
        if (!sources.contains(file) && fileState(file).modifiedNs >= m_interruptedNs) {
            QFile::remove(file);
            if (const QString dependencies = dependencyFile(node); !dependencies.isEmpty())
                QFile::remove(project.absoluteFilePath(dependencies));
        }
    }
}

// A dependency file is make syntax written from file names: a name holding ";" would start a
// recipe there, "=" make a variable, ":" another rule, and an unescaped "$" call a function.
// Every name in it is written again as the Makefile writes names, and what is no rule goes.
// Not every tool writes the file as make needs it: gpasm leaves blanks in names unescaped and
// names no header as a target of its own, so a removed header would stop every later build.
// Names are escaped where the file with the blank exists, and every header gets an empty rule.
bool MakefileWriter::checkDependencyFiles()
{
    const QDir project(m_configuration.projectDirectory());
    const TemplateExpander expander(m_configuration);
    QHash<QString, CheckedFile> &checked = checkedDependencyFiles();
    bool allChecked = true;
    for (const BuildNode *node : m_configuration.stepNodes()) {
        const QString file = dependencyFile(node);
        if (file.isEmpty())
            continue;
        const QString dependencies = QDir::cleanPath(project.absoluteFilePath(file));
        // One that goes takes its output with it: made again, the compiler lists its headers
        // anew, and a header changed meanwhile is not missed.
        const auto drop = [&] {
            allChecked = QFile::remove(dependencies) && allChecked;
            const QString output = QDir::cleanPath(project.absoluteFilePath(node->file));
            if (QFileInfo(output).isFile())
                QFile::remove(output);
        };
        // make would wait on it for ever, read it without end or read a file elsewhere, and the
        // compiler write through it.
        const FileState state = fileState(dependencies);
        if (state.notPlain) {
            drop();
            continue;
        }
        if (state.modifiedNs < 0)
            continue;
        const CheckedFile now = checkedState(dependencies);
        if (checked.value(dependencies) == now)
            continue;
        QByteArray text;
        // Unread, it goes: make would take it as it is.
        if (!Platform::readBoundedFile(dependencies, Platform::maxXmlFileBytes, text, nullptr)) {
            drop();
            continue;
        }
        const QByteArray tidied = tidiedDependencies(QString::fromLocal8Bit(text),
                                                     project,
                                                     ruleTarget(expander, node))
                                      .toLocal8Bit();
        if (tidied != text && !Platform::writeWholeFile(dependencies, tidied)) {
            drop();
            continue;
        }
        checked.insert(dependencies, checkedState(dependencies));
    }
    return allChecked;
}

// The words of a rule's line: blanks separate them unless escaped with "\".
static QStringList dependencyWords(const QString &line)
{
    QStringList words;
    QString word;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == QLatin1Char('\\') && i + 1 < line.size() && line.at(i + 1) == QLatin1Char(' ')) {
            word += QLatin1String("\\ ");
            ++i;
        } else if (c.isSpace()) {
            if (!word.isEmpty())
                words.append(word);
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.isEmpty())
        words.append(word);
    return words;
}

// How make reads a file name in a rule, by the character: most stand for themselves, some after
// "\"; "=" and ";" cannot be written at all (a variable, a recipe) and are matched by a range
// that holds them; "%" makes a pattern of a target unless escaped, "|" an order-only list of a
// prerequisite. The file named that way was checked with make itself for each of them, present,
// newer than its target and gone.
static QString makeWord(const QString &name, bool target)
{
    QString word;
    for (const QChar c : name) {
        switch (c.unicode()) {
        case '$':
            word += QLatin1String("$$");
            break;
        case '=':
            word += QLatin1String("[<->]");
            break;
        case ';':
            word += QLatin1String("[9-<]");
            break;
        case '%':
            word += target ? QLatin1String("\\%") : QLatin1String("%");
            break;
        case '|':
            word += target ? QLatin1String("|") : QLatin1String("\\|");
            break;
        case ' ':
        case ':':
        case '#':
        case '*':
        case '?':
        case '[':
            word += QLatin1Char('\\');
            word += c;
            break;
        default:
            word += c;
        }
    }
    return word;
}

// The file name a word of a dependency file stands for, as a compiler writes it (a blank and
// "#" after "\", "$" doubled) or as makeWord does.
static QString fileName(const QString &word)
{
    static const QString escaped = QStringLiteral(" :#*?[%|");
    QString name;
    for (int i = 0; i < word.size(); ++i) {
        const QChar c = word.at(i);
        if (c == QLatin1Char('\\') && i + 1 < word.size() && escaped.contains(word.at(i + 1))) {
            name += word.at(++i);
        } else if (c == QLatin1Char('$') && word.mid(i, 2) == QLatin1String("$$")) {
            name += c;
            ++i;
        } else if (word.mid(i, 5) == QLatin1String("[<->]")) {
            name += QLatin1Char('=');
            i += 4;
        } else if (word.mid(i, 5) == QLatin1String("[9-<]")) {
            name += QLatin1Char(';');
            i += 4;
        } else {
            name += c;
        }
    }
    return name;
}

QString MakefileWriter::tidiedDependencies(const QString &content,
                                           const QDir &project,
                                           const QString &output)
{
    QString joined = content;
    joined.replace(QLatin1String("\\\n"), QLatin1String(" "));
    const auto exists = [&project](const QString &name) {
        return QFileInfo::exists(project.absoluteFilePath(name));
    };
    QStringList targets; // of the rules after the output's, by file name
    QStringList prerequisites;
    QString result;
    for (const QString &line : joined.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        int colon = int(line.indexOf(QLatin1String(": ")));
        if (colon < 0)
            colon = int(line.lastIndexOf(QLatin1Char(':')));
        // What is no rule has no business here.
        if (colon < 0)
            continue;
        QStringList names;
        for (const QString &word : dependencyWords(line.mid(colon + 1)))
            names.append(fileName(word));
        // Names that are no file but join, blank by blank, into one that is.
        for (int i = 0; i < names.size(); ++i) {
            if (exists(names.at(i)))
                continue;
            QString name = names.at(i);
            for (int j = i + 1; j < names.size() && j < i + 8; ++j) {
                name += QLatin1Char(' ') + names.at(j);
                if (exists(name)) {
                    names[i] = name;
                    names.erase(names.begin() + i + 1, names.begin() + j + 1);
                    break;
                }
            }
        }
        // The first rule is the output's, by the name the Makefile gives it (gpasm names the
        // HEX file it was told to write, not the symbol file the step makes); in the others
        // blanks are part of the one file's name.
        if (result.isEmpty()) {
            result += output;
        } else {
            QStringList words;
            for (const QString &word : dependencyWords(line.left(colon).trimmed()))
                words.append(fileName(word));
            targets.append(words.join(QLatin1Char(' ')));
            result += makeWord(targets.last(), true);
        }
        result += QLatin1Char(':');
        for (const QString &name : std::as_const(names))
            result += QLatin1Char(' ') + makeWord(name, false);
        result += QLatin1Char('\n');
        for (int i = 1; i < names.size(); ++i) {
            if (!prerequisites.contains(names.at(i)))
                prerequisites.append(names.at(i));
        }
    }
    // The first prerequisite is the source, which has its rule; the others may vanish.
    for (const QString &name : std::as_const(prerequisites)) {
        if (!targets.contains(name))
            result += makeWord(name, true) + QLatin1String(":\n");
    }
    return result;
}

bool MakefileWriter::writeGeneralOptions(QTextStream &out, const TemplateExpander &expander)
{
    const BuildConfig *compiler = m_configuration.compiler();
    if (!compiler || !m_configuration.selectedTarget())
        return false;
    out << "\n## General options\n";
    out << QStringLiteral("PROJECT = %1\n").arg(QString());
    out << QStringLiteral("MCU = %1\n").arg(recipe(m_configuration.controller()));
    out << QStringLiteral("COMPILER = \"%1\"\n").arg(recipe(compiler->name()));
    out << QStringLiteral("TARGET = %1\n").arg(recipe(m_configuration.selectedTarget()->name));
    out << QStringLiteral("CLOCK = %1\n")
               .arg(recipe(TemplateExpander::clockInHertz(m_configuration.clock())));
    out << QStringLiteral("SHELL = %1\n").arg(Platform::commandShell());
    out << "\n## Tools general options\n";
    // A tool's name becomes the name of a make variable: only a name that is nothing else.
    static const QRegularExpression variableName(QStringLiteral("^[A-Za-z0-9_]+$"));
    QStringList tools;
    for (const OptionSetting &option : m_configuration.options()) {
        if (!option.tool.isEmpty() && !tools.contains(option.tool)
            && variableName.match(option.tool).hasMatch())
            tools.append(option.tool);
    }
    std::sort(tools.begin(), tools.end());
    for (const QString &tool : std::as_const(tools)) {
        QList<OptionSetting> options;
        for (const OptionSetting &option : m_configuration.options()) {
            if (option.tool.isEmpty() || option.tool == tool)
                options.append(option);
        }
        // In a variable make reads "#" as the start of a comment, even inside quotes.
        out << tool.toUpper() << "FLAGS="
            << recipe(expander.optionString(options, nullptr))
                   .replace(QLatin1Char('#'), QLatin1String("\\#"))
            << '\n';
    }
    return true;
}

bool MakefileWriter::writeProcessingTools(QTextStream &out)
{
    const BuildConfig *compiler = m_configuration.compiler();
    if (!compiler)
        return false;
    out << "\n## Processing Tools\n";
    for (const QString &tool : compiler->toolNames())
        out << recipe(tool) << '=' << recipe(compiler->toolFile(tool)) << '\n';
    return true;
}

void MakefileWriter::writeTreeComment(QTextStream &out,
                                      const TemplateExpander &expander,
                                      const BuildNode *node,
                                      const QString &indent)
{
    if (!node)
        return;
    QString line = node->file;
    if (!node->isLeaf())
        line += QStringLiteral(": TOOL=") + node->process()->tool();
    out << indent << commentText(line);
    if (!node->isLeaf()) {
        const BuildProcess *process = node->process();
        for (const QString &command : process->preProcessCommands())
            out << '\n' << indent << "Pre: " << commentText(expander.expand(command, node));
        for (const QString &command : process->postProcessCommands())
            out << '\n' << indent << "Post: " << commentText(expander.expand(command, node));
    }
    out << '\n';
    for (const auto &input : node->inputs)
        writeTreeComment(out, expander, input.get(), indent + QStringLiteral("   "));
}

// A prerequisite as make must read it. A name with a space keeps it, escaped, so that the
// rule names the very file the step before it makes.
QString MakefileWriter::ruleInput(const TemplateExpander &expander, const QString &file) const
{
    return TemplateExpander::makeName(expander.relativeForm(file, 0));
}

void MakefileWriter::writeRules(QTextStream &out, const TemplateExpander &expander)
{
    const BuildNode *root = m_configuration.root();
    if (!root || !m_configuration.selectedTarget())
        return;
    const QString target = m_configuration.targetName();
    out << "\n# Build tree:\n";
    out << "all:\t" << target << "\n\n";
    out << target << ":\t" << TemplateExpander::makeName(expander.relativeForm(root->file, 0))
        << '\n';
    for (const BuildNode *node : m_configuration.stepNodes()) {
        const BuildProcess *process = node->process();
        out << '\n' << ruleTarget(expander, node) << ":\t";
        for (const auto &input : node->inputs) {
            const QString path = QFileInfo(QDir(m_configuration.projectDirectory()), input->file)
                                     .absoluteFilePath();
            out << ruleInput(expander, path) << ' ';
        }
        out << '\n';
        for (const QString &line : process->preProcessCommands())
            out << '\t' << recipe(expander.expand(line, node)) << '\n';
        out << '\t'
            << recipe(expander.expand(process->commandLine(), node)
                          .replace(QLatin1String("%%"), QLatin1String("%")))
            << '\n';
        for (const QString &line : process->postProcessCommands())
            out << '\t' << recipe(expander.expand(line, node)) << '\n';
    }
}

// The files the steps leave beside their outputs (listings, maps), as the Makefile names them.
QStringList MakefileWriter::temporaryFiles(Temporaries which) const
{
    const TemplateExpander expander(m_configuration, false);
    QStringList files;
    for (const BuildNode *node : m_configuration.stepNodes()) {
        const BuildProcess *process = node->process();
        for (const FileSpec &temporary :
             process->temporariesFor(node->step->output.pattern, false)) {
            if (which != Temporaries::All && temporary.keptByTidy != (which == Temporaries::Kept))
                continue;
            QString file = temporary.name.isEmpty() ? baseBeforeFirstDot(node->file)
                                                          + QLatin1Char('.') + temporary.pattern
                                                    : expander.expand(temporary.name, node);
            if (!file.isEmpty())
                files.append(file.replace(QLatin1Char('\\'), QLatin1Char('/')));
        }
    }
    return files;
}

void MakefileWriter::writeTidy(QTextStream &out, const TemplateExpander &)
{
    out << "\n# tidy - delete all temporary files which are not involved in the target "
           "generation\n";
    out << "tidy:\n";
    for (const QString &file : temporaryFiles(Temporaries::Tidied))
        out << "\trm -rf " << TemplateExpander::shellWord(file, false) << '\n';
}

void MakefileWriter::writeClean(QTextStream &out, const TemplateExpander &expander)
{
    out << "\n# cleanup - delete all generated files\n";
    out << "clean:\ttidy\n";
    std::vector<BuildNode *> all;
    if (m_configuration.root())
        m_configuration.root()->collect(all);
    for (const BuildNode *node : all) {
        if (node->inputs.empty())
            continue;
        const QString absolute = QFileInfo(QDir(m_configuration.projectDirectory()), node->file)
                                     .absoluteFilePath();
        QString file = expander.relativeForm(absolute, 0);
        file.replace(QLatin1Char('\\'), QLatin1Char('/'));
        out << "\trm -rf " << TemplateExpander::shellWord(file, false) << '\n';
    }
    for (const QString &file : temporaryFiles(Temporaries::Kept) + dependencyFiles())
        out << "\trm -rf " << TemplateExpander::shellWord(file, false) << '\n';
}

// The dependency file a step writes beside its output; empty when it writes none.
QString MakefileWriter::dependencyFile(const BuildNode *node) const
{
    const QString suffix = node->process()->dependenciesFor(node->step->output.pattern, false);
    return suffix.isEmpty() ? QString()
                            : baseBeforeFirstDot(node->file) + QLatin1Char('.') + suffix;
}

QStringList MakefileWriter::dependencyFiles() const
{
    QStringList files;
    for (const BuildNode *node : m_configuration.stepNodes()) {
        const QString file = dependencyFile(node);
        if (!file.isEmpty())
            files.append(file);
    }
    return files;
}

// The compilers write, beside each output, the headers its source includes as make rules: a
// changed header rebuilds what includes it. Only configurations that ask get the section.
// make looks for an included file that is not in the project's folder, as each is before the
// first build, in its include folders too (/usr/local/include, any -I in MAKEFLAGS) and reads
// the first it finds there. So each is included only when the project's folder holds it.
void MakefileWriter::writeDependencies(QTextStream &out)
{
    const QStringList files = dependencyFiles();
    if (files.isEmpty())
        return;
    out << "\n# Header dependencies, written by the compilers\n";
    for (const QString &file : files) {
        const QString name = TemplateExpander::makeName(file);
        out << "ifneq ($(wildcard " << name << "),)\n-include " << name << "\nendif\n";
    }
}

void MakefileWriter::collectErrorFiles(const TemplateExpander &)
{
    const TemplateExpander expander(m_configuration, false);
    m_configuration.errorFiles.clear();
    m_configuration.hideUnmatched.clear();
    for (const BuildNode *node : m_configuration.stepNodes()) {
        const BuildProcess *process = node->process();
        for (const ErrorFileRecord &error :
             process->errorFilesFor(node->step->output.pattern, false)) {
            QString file = error.name.isEmpty()
                               ? baseBeforeFirstDot(node->file) + QLatin1Char('.') + error.pattern
                               : expander.expand(error.name, node);
            // make runs in the project directory: that is where a relative name lies.
            file = QDir::cleanPath(QDir(m_configuration.projectDirectory()).absoluteFilePath(file));
            if (m_configuration.errorFiles.contains(file))
                continue;
            m_configuration.errorFiles.append(file);
            m_configuration.hideUnmatched.append(error.hideUnmatched);
        }
    }
}
