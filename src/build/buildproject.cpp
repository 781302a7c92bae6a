#include "buildproject.h"

#include "core/mainservices.h"
#include "toolchain/buildconfig.h"
#include "toolchain/buildconfiglist.h"
#include "toolchain/buildprocess.h"
#include "toolchain/buildtool.h"

#include <QDir>
#include <QDomDocument>
#include <QDomElement>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <deque>
#include <optional>
#include <utility>

namespace {

bool sameNameValue(const OptionSetting &a, const OptionSetting &b)
{
    return a.name == b.name && a.value == b.value;
}

bool sameSetting(const OptionSetting &a, const OptionSetting &b)
{
    return a.name == b.name && a.tool == b.tool && a.value == b.value && a.id == b.id;
}

bool appliesTo(const OptionSetting &setting, const BuildNode *node)
{
    return setting.tool.isEmpty() || setting.tool == node->tool();
}

QList<OptionSetting> markedDefault(QList<OptionSetting> settings)
{
    for (OptionSetting &setting : settings)
        setting.isDefault = true;
    return settings;
}

bool acceptsDirectly(const BuildStepNode *step, const QString &suffix)
{
    const OutputRecord *output = step->process->outputRecord(step->output.pattern, false);
    if (!output)
        return false;
    for (const FileSpec &input : output->inputs) {
        if (input.pattern.compare(suffix, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// The chain of steps below step that leads to one accepting files of suffix; empty when step
// accepts them itself. False when no step at or below it does.
bool chainTo(const BuildStepNode *step, const QString &suffix, QList<const BuildStepNode *> &chain)
{
    if (acceptsDirectly(step, suffix))
        return true;
    for (const auto &child : step->children) {
        QList<const BuildStepNode *> below;
        if (chainTo(child.get(), suffix, below)) {
            chain = QList<const BuildStepNode *>{child.get()} + below;
            return true;
        }
    }
    return false;
}

} // namespace

bool leadsTo(const BuildStepNode *step, const QString &suffix)
{
    QList<const BuildStepNode *> chain;
    return chainTo(step, suffix, chain);
}

namespace {

QString withSlashes(const QString &path)
{
    return QDir::fromNativeSeparators(path);
}

} // namespace

BuildProject::BuildProject(MainServices *mainWindow, BuildConfigList *catalogue)
    : m_mainWindow(&servicesOf(mainWindow))
    , m_catalogue(catalogue)
{}

BuildProject::BuildProject(const BuildProject &other)
    : QObject()
{
    *this = other;
}

BuildProject &BuildProject::operator=(const BuildProject &other)
{
    if (this == &other)
        return *this;
    errorFiles = other.errorFiles;
    hideUnmatched = other.hideUnmatched;
    m_mainWindow = other.m_mainWindow;
    m_catalogue = other.m_catalogue;
    m_compiler = other.m_compiler;
    m_name = other.m_name;
    m_family = other.m_family;
    m_controller = other.m_controller;
    m_projectDirectory = other.m_projectDirectory;
    m_clock = other.m_clock;
    m_root = other.m_root ? other.m_root->clone() : nullptr;
    m_unassigned = other.m_unassigned;
    m_selectedTarget = other.m_selectedTarget;
    m_targetName = other.m_targetName;
    m_options = other.m_options;
    return *this;
}

BuildProject::~BuildProject() = default;

void BuildProject::reset()
{
    m_name.clear();
    m_family.clear();
    m_controller.clear();
    m_projectDirectory.clear();
    m_clock.clear();
    m_targetName.clear();
    m_root.reset();
    m_unassigned.clear();
    m_selectedTarget = nullptr;
    m_compiler = nullptr;
    m_options.clear();
}

QString BuildProject::targetName() const
{
    return m_selectedTarget ? m_selectedTarget->name : m_targetName;
}

QString BuildProject::compilerName() const
{
    return m_compiler ? m_compiler->name() : QString();
}

QString BuildProject::outputDirectory() const
{
    return m_projectDirectory + QLatin1Char('/') + targetName();
}

QList<OptionSetting> BuildProject::defaultsFor(const QString &tool,
                                               const QString &family,
                                               const QString &controller) const
{
    if (!m_compiler)
        return {};
    return markedDefault(m_compiler->defaultSettings(targetName(), family, controller, tool));
}

QList<OptionSetting> BuildProject::stepDefaults(const BuildStepNode *step) const
{
    return markedDefault(step->output.settings)
           + defaultsFor(step->process->tool(), m_family, m_controller);
}

QString BuildProject::defaultValue(const QString &tool, const QString &name, const QString &id) const
{
    const auto find = [&](const QList<OptionSetting> &settings, QString &value) {
        for (const OptionSetting &setting : settings) {
            if (setting.name == name && setting.id == id) {
                value = setting.value;
                return true;
            }
        }
        return false;
    };
    QString value;
    if (find(defaultsFor(tool, m_family, m_controller), value))
        return value;
    for (const BuildNode *node : stepNodes()) {
        if (node->step && node->step->process && node->step->process->tool() == tool
            && find(node->step->output.settings, value))
            return value;
    }
    return QString();
}

void BuildProject::restoreDefaults()
{
    m_options.clear();
    for (BuildNode *node : stepNodes())
        node->options = stepDefaults(node->step);
    hoist(true);
}

std::vector<BuildNode *> BuildProject::stepNodes() const
{
    std::vector<BuildNode *> all;
    if (m_root)
        m_root->collect(all);
    std::vector<BuildNode *> steps;
    for (BuildNode *node : all) {
        if (!node->isLeaf())
            steps.push_back(node);
    }
    return steps;
}

// A path an option gives a tool to write, outside the project's folder (where make runs).
static bool leavesProject(const QString &path)
{
    return QDir::isAbsolutePath(path) || path.startsWith(QLatin1Char('~'))
           || QDir::fromNativeSeparators(path).split(QLatin1Char('/')).contains(QLatin1String(".."));
}

bool BuildProject::optionActsOutside(const QString &text)
{
    // Options that make a tool run or load a program: the compiler driver's own, and those it
    // hands on (in lists such as "-Wl,a,b", or after -Xlinker).
    static const QStringList driver{QStringLiteral("@"),
                                    QStringLiteral("-wrapper"),
                                    QStringLiteral("-B"),
                                    QStringLiteral("-fplugin"),
                                    QStringLiteral("-iplugindir"),
                                    QStringLiteral("-specs"),
                                    QStringLiteral("--specs"),
                                    QStringLiteral("--ld-path"),
                                    QStringLiteral("-fuse-ld"),
                                    QStringLiteral("-plugin"),
                                    QStringLiteral("--plugin")};
    static const QStringList handedOn{QStringLiteral("@"),
                                      QStringLiteral("-plugin"),
                                      QStringLiteral("--plugin"),
                                      QStringLiteral("-fplugin"),
                                      QStringLiteral("-iplugindir"),
                                      QStringLiteral("-specs")};
    // Options followed by a file to write, as the next word or joined to it.
    static const QStringList writesNext{QStringLiteral("-o"),
                                        QStringLiteral("-MF"),
                                        QStringLiteral("-dumpdir"),
                                        QStringLiteral("-dumpbase"),
                                        QStringLiteral("--output"),
                                        QStringLiteral("-aux-info"),
                                        QStringLiteral("-Map")};
    static const QStringList writesJoined{QStringLiteral("-o"),
                                          QStringLiteral("-MF"),
                                          QStringLiteral("-save-temps="),
                                          QStringLiteral("--output="),
                                          QStringLiteral("-Map="),
                                          QStringLiteral("--Map=")};
    const auto startsWithOne = [](const QString &word, const QStringList &prefixes) {
        return std::any_of(prefixes.cbegin(), prefixes.cend(), [&word](const QString &prefix) {
            return word.startsWith(prefix);
        });
    };
    // Words in the order their tool reads them: a file to write may follow its option.
    const auto check = [&](const QStringList &words, const QStringList &runs) {
        for (int i = 0; i < words.size(); ++i) {
            const QString &word = words.at(i);
            if (startsWithOne(word, runs))
                return true;
            if (writesNext.contains(word) && i + 1 < words.size() && leavesProject(words.at(i + 1)))
                return true;
            for (const QString &option : writesJoined) {
                if (word.size() > option.size() && word.startsWith(option)
                    && leavesProject(word.mid(option.size())))
                    return true;
            }
            // An assembler's listing, "-a=file" or "-alh=file".
            if (word.startsWith(QLatin1String("-a")) && word.contains(QLatin1Char('='))
                && leavesProject(word.section(QLatin1Char('='), 1)))
                return true;
        }
        return false;
    };
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    // The driver's own words, and those it hands on (to the linker, the assembler or the
    // preprocessor), each in order.
    QStringList words;
    QStringList handed;
    bool nextHandedOn = false;
    for (const QString &word : text.split(blanks, Qt::SkipEmptyParts)) {
        if (std::exchange(nextHandedOn, false))
            handed.append(word);
        else if (word.startsWith(QLatin1String("-Wl,")) || word.startsWith(QLatin1String("-Wa,"))
                 || word.startsWith(QLatin1String("-Wp,")))
            handed += word.mid(4).split(QLatin1Char(','));
        else if (word == QLatin1String("-Xlinker") || word == QLatin1String("-Xassembler")
                 || word == QLatin1String("-Xpreprocessor"))
            nextHandedOn = true;
        else
            words.append(word);
    }
    return check(words, driver) || check(handed, handedOn);
}

QStringList BuildProject::optionsActingOutside() const
{
    QStringList found;
    const auto check = [&found](const QList<OptionSetting> &options) {
        for (const OptionSetting &option : options) {
            const QString text = (option.name + option.value).simplified();
            if (optionActsOutside(text) && !found.contains(text))
                found.append(text);
        }
    };
    check(m_options);
    for (const BuildNode *node : stepNodes())
        check(node->options);
    return found;
}

void BuildProject::dissolveTree()
{
    if (!m_root)
        return;
    std::vector<BuildNode *> all;
    m_root->collect(all);
    for (const BuildNode *node : all) {
        if (node->isLeaf())
            m_unassigned.append(withSlashes(node->file));
    }
    m_root.reset();
}

void BuildProject::readdUnassigned(bool applyDefaults)
{
    const QStringList files = m_unassigned;
    m_unassigned.clear();
    addFiles(files, applyDefaults);
}

bool BuildProject::setCompiler(const QString &name, bool reapplyDefaults)
{
    if (m_compiler && m_compiler->name() == name)
        return true;
    m_options.clear();
    dissolveTree();
    m_compiler = m_catalogue ? m_catalogue->find(name) : nullptr;
    m_selectedTarget = nullptr;
    if (m_compiler && !m_targetName.isEmpty())
        m_selectedTarget = m_compiler->findTarget(m_targetName);
    readdUnassigned(true);
    if (reapplyDefaults) {
        m_options.clear();
        for (BuildNode *node : stepNodes())
            node->options = stepDefaults(node->step);
    }
    setTarget(m_targetName);
    return m_compiler != nullptr;
}

void BuildProject::swapDefaults(QList<OptionSetting> &settings,
                                const QString &tool,
                                const QString &oldFamily,
                                const QString &oldController,
                                const QString &newFamily,
                                const QString &newController) const
{
    const auto given = [&tool](QList<OptionSetting> list) {
        for (OptionSetting &setting : list)
            setting.tool = tool;
        return list;
    };
    const QList<OptionSetting> oldDefaults = given(defaultsFor(tool, oldFamily, oldController));
    const QList<OptionSetting> newDefaults = given(defaultsFor(tool, newFamily, newController));
    const auto contains = [](const QList<OptionSetting> &list, const OptionSetting &s) {
        return std::any_of(list.begin(), list.end(), [&s](const OptionSetting &o) {
            return sameSetting(o, s);
        });
    };
    for (const OptionSetting &old : oldDefaults) {
        if (contains(newDefaults, old))
            continue;
        for (int i = 0; i < settings.size(); ++i) {
            if (sameSetting(settings.at(i), old)) {
                settings.removeAt(i);
                break;
            }
        }
    }
    for (const OptionSetting &added : newDefaults) {
        if (!contains(oldDefaults, added))
            settings.append(added);
    }
}

bool BuildProject::setController(const QString &family,
                                 const QString &controller,
                                 bool reapplyDefaults)
{
    if (family == m_family && controller == m_controller)
        return true;
    if (!m_compiler || !m_compiler->supports(family, controller))
        return false;
    if (reapplyDefaults) {
        pushDown();
        QStringList tools;
        for (const OptionSetting &setting : std::as_const(m_options)) {
            if (!tools.contains(setting.tool))
                tools.append(setting.tool);
        }
        for (const QString &tool : std::as_const(tools))
            swapDefaults(m_options, tool, m_family, m_controller, family, controller);
        for (BuildNode *node : stepNodes())
            swapDefaults(node->options, node->tool(), m_family, m_controller, family, controller);
        hoist(false);
    }
    m_family = family;
    m_controller = controller;
    return true;
}

bool BuildProject::setTarget(const QString &name)
{
    if (name.isEmpty() && !m_targetName.isEmpty())
        return false;
    m_targetName = name;
    if (m_selectedTarget && m_selectedTarget->name == name)
        return true;
    dissolveTree();
    m_options.clear();
    m_selectedTarget = m_compiler ? m_compiler->findTarget(name) : nullptr;
    readdUnassigned(true);
    return m_selectedTarget != nullptr;
}

bool BuildProject::createRoot(bool applyDefaults)
{
    if (!m_selectedTarget || !m_selectedTarget->root)
        return false;
    m_root = std::make_unique<BuildNode>();
    m_root->step = m_selectedTarget->root.get();
    if (applyDefaults)
        m_root->options = stepDefaults(m_root->step);
    return true;
}

static BuildNode *findFile(BuildNode *node, const QString &path)
{
    if (node->file == path)
        return node;
    for (const auto &input : node->inputs) {
        if (BuildNode *found = findFile(input.get(), path))
            return found;
    }
    return nullptr;
}

BuildNode *BuildProject::findLeaf(const QString &path) const
{
    return m_root ? findFile(m_root.get(), path) : nullptr;
}

bool BuildProject::addFile(const QString &path, bool applyDefaults)
{
    if (m_unassigned.contains(withSlashes(path)) || findLeaf(path))
        return true;
    return place(path, applyDefaults);
}

bool BuildProject::place(const QString &path, bool applyDefaults)
{
    if (m_selectedTarget && !m_root && !createRoot(applyDefaults))
        m_mainWindow->output().error(tr("Cannot select build target."));

    const QString suffix = QFileInfo(path).suffix().toLower();
    // Every step of the tree is one of the target's: a suffix none of them takes (a header)
    // needs no look through the tree.
    if (m_root && !leadsTo(m_root->step, suffix)) {
        m_unassigned.append(withSlashes(path));
        return false;
    }
    BuildNode *found = nullptr;
    QList<const BuildStepNode *> chain;
    std::deque<BuildNode *> queue;
    if (m_root)
        queue.push_back(m_root.get());
    // Many nodes share a step; whether a step leads to the suffix is worked out once.
    QHash<const BuildStepNode *, std::optional<QList<const BuildStepNode *>>> chains;
    while (!queue.empty() && !found) {
        BuildNode *node = queue.front();
        queue.pop_front();
        if (node->isLeaf())
            continue;
        auto known = chains.find(node->step);
        if (known == chains.end()) {
            QList<const BuildStepNode *> path;
            known = chains.insert(node->step,
                                  chainTo(node->step, suffix, path)
                                      ? std::optional<QList<const BuildStepNode *>>(path)
                                      : std::nullopt);
        }
        const std::optional<QList<const BuildStepNode *>> &candidate = *known;
        if (candidate && (node->inputs.empty() || node->process()->takesAllInputs())) {
            found = node;
            chain = *candidate;
        }
        for (const auto &input : node->inputs)
            queue.push_back(input.get());
    }
    if (!found) {
        m_unassigned.append(withSlashes(path));
        return false;
    }

    hoist(true);
    BuildNode *attachTo = found;
    std::vector<BuildNode *> created;
    std::unique_ptr<BuildNode> top;
    for (const BuildStepNode *step : std::as_const(chain)) {
        auto node = std::make_unique<BuildNode>();
        node->step = step;
        if (applyDefaults)
            node->options = defaultsFor(step->process->tool(), m_family, m_controller)
                            + markedDefault(step->output.settings);
        BuildNode *raw = node.get();
        if (!top) {
            node->parent = found;
            top = std::move(node);
        } else {
            node->parent = attachTo;
            attachTo->inputs.push_back(std::move(node));
        }
        attachTo = raw;
        created.push_back(raw);
    }
    auto leaf = std::make_unique<BuildNode>();
    leaf->file = path;
    leaf->parent = attachTo;
    attachTo->inputs.push_back(std::move(leaf));

    // A step whose tool had no node before gets everything its target needs (the controller's
    // flags among them), with the options the user set for the tool in place of the defaults
    // of the same option: no node held the tool's defaults for the configuration to pass on.
    std::vector<BuildNode *> fresh;
    if (applyDefaults) {
        const std::vector<BuildNode *> steps = stepNodes();
        for (BuildNode *node : created) {
            const bool toolKnown = std::any_of(steps.begin(), steps.end(), [&](BuildNode *other) {
                return other->tool() == node->tool()
                       && std::find(created.begin(), created.end(), other) == created.end();
            });
            if (!toolKnown)
                fresh.push_back(node);
        }
    }
    // Fresh defaults must not replace what the user set for these tools: when the configuration
    // holds a setting for a tool of the new chain, the settings come down from it instead.
    bool defaultsStay = applyDefaults;
    m_lastChain = {found, created};
    if (top) {
        for (const OptionSetting &setting : std::as_const(m_options)) {
            for (const BuildNode *node : created) {
                if (setting.tool == node->tool())
                    defaultsStay = false;
            }
        }
        if (!defaultsStay)
            top->options.clear();
        found->inputs.push_back(std::move(top));
    }
    for (BuildNode *node : fresh) {
        node->options = stepDefaults(node->step);
        for (const OptionSetting &setting : std::as_const(m_options)) {
            if (appliesTo(setting, node))
                overlay(node->options, setting);
        }
    }
    pushDown();
    if (defaultsStay) {
        for (BuildNode *node : created) {
            if (std::find(fresh.begin(), fresh.end(), node) == fresh.end())
                node->options = stepDefaults(node->step);
        }
    }
    hoist(false);
    return true;
}

// Adding a file sets the options of every step up again. Once two sources of one suffix in a
// row have been added so, that comes to giving the next source of that suffix a copy of the
// steps of the one before, with their options, and leaves everything else as it was: a
// project of thousands of sources loads in time linear in them.
void BuildProject::addFiles(const QStringList &paths, bool applyDefaults)
{
    const QStringList present = allFiles();
    QSet<QString> held(present.cbegin(), present.cend());
    QString runSuffix;
    int runLength = 0;
    for (const QString &path : paths) {
        if (held.contains(path) || held.contains(withSlashes(path)))
            continue;
        held.insert(path);
        const QString suffix = QFileInfo(path).suffix().toLower();
        if (runLength >= 2 && suffix == runSuffix) {
            BuildNode *attachTo = m_lastChain.attachedTo;
            std::vector<BuildNode *> created;
            for (const BuildNode *like : m_lastChain.steps) {
                auto node = std::make_unique<BuildNode>();
                node->step = like->step;
                node->options = like->options;
                node->parent = attachTo;
                created.push_back(node.get());
                attachTo->inputs.push_back(std::move(node));
                attachTo = created.back();
            }
            auto leaf = std::make_unique<BuildNode>();
            leaf->file = path;
            leaf->parent = attachTo;
            attachTo->inputs.push_back(std::move(leaf));
            m_lastChain.steps = created;
            continue;
        }
        const qsizetype unassigned = m_unassigned.size();
        const AddedChain before = m_lastChain;
        m_lastChain = {};
        place(path, applyDefaults);
        if (m_unassigned.size() != unassigned) {
            m_lastChain = before; // no step takes it; the tree is as it was
            continue;
        }
        const bool chained = !m_lastChain.steps.empty();
        runLength = chained && suffix == runSuffix ? runLength + 1 : chained ? 1 : 0;
        runSuffix = suffix;
    }
    m_lastChain = {};
}

// A setting laid over a step's settings: it takes the place of the one of the same option
// unless the tool takes that option many times (a define, an include folder).
void BuildProject::overlay(QList<OptionSetting> &settings, const OptionSetting &setting) const
{
    const BuildTool *tool = m_compiler ? m_compiler->tool(setting.tool) : nullptr;
    bool single = false;
    for (const OptionDefinition &definition : tool ? tool->options() : QList<OptionDefinition>()) {
        if (definition.name == setting.name && definition.id == setting.id)
            single = !definition.multiple;
    }
    if (single) {
        settings.erase(std::remove_if(settings.begin(),
                                      settings.end(),
                                      [&setting](const OptionSetting &o) {
                                          return o.name == setting.name && o.id == setting.id;
                                      }),
                       settings.end());
    }
    if (std::none_of(settings.begin(), settings.end(), [&setting](const OptionSetting &o) {
            return sameSetting(o, setting);
        }))
        settings.append(setting);
}

bool BuildProject::removeFile(const QString &path)
{
    const QString slashed = withSlashes(path);
    if (m_unassigned.contains(slashed)) {
        m_unassigned.removeAll(slashed);
        return true;
    }
    const QString native = QDir::toNativeSeparators(path);
    if (m_unassigned.contains(native)) {
        m_unassigned.removeAll(native);
        return true;
    }
    BuildNode *node = findLeaf(path);
    if (!node)
        return false;
    // Remove the node, then every step left without inputs on the way up.
    while (node) {
        BuildNode *parent = node->parent;
        if (!parent) {
            m_root.reset();
            break;
        }
        auto &inputs = parent->inputs;
        inputs.erase(std::remove_if(inputs.begin(),
                                    inputs.end(),
                                    [node](const std::unique_ptr<BuildNode> &n) {
                                        return n.get() == node;
                                    }),
                     inputs.end());
        node = parent->inputs.empty() ? parent : nullptr;
    }
    return true;
}

bool BuildProject::renameFile(const QString &oldPath, const QString &newPath)
{
    if (m_unassigned.contains(newPath) || findLeaf(newPath))
        return false;
    if (m_unassigned.contains(oldPath)) {
        m_unassigned.removeAll(oldPath);
        m_unassigned.append(newPath);
        return true;
    }
    BuildNode *node = findLeaf(oldPath);
    if (!node)
        return false;
    if (node->inputs.size() == 1)
        node = node->inputs.front().get();
    node->file = newPath;
    // The step that makes a file from this one alone is named after it: name it again.
    if (node->parent && node->parent->inputs.size() == 1)
        node->parent->file.clear();
    return true;
}

QStringList BuildProject::allFiles() const
{
    QStringList files;
    if (m_root) {
        std::vector<BuildNode *> all;
        m_root->collect(all);
        for (const BuildNode *node : all) {
            if (node->isLeaf())
                files.append(node->file);
        }
    }
    return files + m_unassigned;
}

void BuildProject::pushDown()
{
    const std::vector<BuildNode *> steps = stepNodes();
    for (int i = 0; i < m_options.size();) {
        const OptionSetting setting = m_options.at(i);
        bool applies = false;
        for (BuildNode *node : steps) {
            if (!appliesTo(setting, node))
                continue;
            applies = true;
            const bool held = std::any_of(node->options.begin(),
                                          node->options.end(),
                                          [&setting](const OptionSetting &o) {
                                              return sameSetting(o, setting);
                                          });
            if (!held)
                node->options.append(setting);
        }
        if (applies)
            m_options.removeAt(i);
        else
            ++i;
    }
}

void BuildProject::hoist(bool all)
{
    const std::vector<BuildNode *> steps = stepNodes();
    for (const OptionSetting &setting : std::as_const(m_options)) {
        for (BuildNode *node : steps) {
            if (!appliesTo(setting, node))
                continue;
            node->options.erase(std::remove_if(node->options.begin(),
                                               node->options.end(),
                                               [&setting](const OptionSetting &o) {
                                                   return sameNameValue(o, setting);
                                               }),
                                node->options.end());
        }
    }
    for (BuildNode *node : steps) {
        for (int i = 0; i < node->options.size();) {
            OptionSetting &setting = node->options[i];
            if (!all && !setting.id.isEmpty()) {
                ++i;
                continue;
            }
            if (setting.tool.isEmpty())
                setting.tool = node->tool();
            const OptionSetting candidate = setting;
            bool everywhere = true;
            for (const BuildNode *other : steps) {
                if (other->tool() != candidate.tool)
                    continue;
                const bool held = std::any_of(other->options.begin(),
                                              other->options.end(),
                                              [&candidate](const OptionSetting &o) {
                                                  return sameNameValue(o, candidate);
                                              });
                everywhere = everywhere && held;
            }
            if (!everywhere) {
                ++i;
                continue;
            }
            for (BuildNode *other : steps) {
                if (other->tool() != candidate.tool)
                    continue;
                other->options.erase(std::remove_if(other->options.begin(),
                                                    other->options.end(),
                                                    [&candidate](const OptionSetting &o) {
                                                        return sameNameValue(o, candidate);
                                                    }),
                                     other->options.end());
            }
            m_options.append(candidate);
            // This node's list lost the setting at i; look at the same position again.
        }
    }
    for (int i = 0; i < m_options.size();) {
        bool duplicate = false;
        for (int j = i + 1; j < m_options.size() && !duplicate; ++j) {
            duplicate = sameNameValue(m_options.at(i), m_options.at(j))
                        && m_options.at(i).tool == m_options.at(j).tool;
        }
        if (duplicate)
            m_options.removeAt(i);
        else
            ++i;
    }
}
