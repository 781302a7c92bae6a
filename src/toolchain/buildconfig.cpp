#include "buildconfig.h"

#include "buildprocess.h"
#include "buildtool.h"
#include "compilerdetector.h"

#include "core/mainservices.h"
#include "core/settingsfiles.h"
#include "core/settingsstore.h"
#include "core/xmlchildren.h"
#include "core/xmldocumentio.h"

#include <QDomElement>
#include <QSettings>

#include <optional>

BuildConfig::BuildConfig(MainServices *owner, QObject *parent)
    : QObject(parent)
    , m_owner(servicesOf(owner))
{}

BuildConfig::~BuildConfig()
{
    // Trees point at the processes; let them go first.
    m_targets.clear();
    qDeleteAll(m_tools);
    qDeleteAll(m_processes);
}

bool BuildConfig::load(const QString &path)
{
    m_file = path;
    const std::optional<QDomDocument> document = m_owner.files().loadXml(path);
    if (!document)
        return false;
    const QDomElement compiler = document->firstChildElement(QStringLiteral("COMPILER"));
    if (compiler.isNull())
        return true;
    m_name = compiler.attribute(QStringLiteral("NAME"));
    m_version = compiler.attribute(QStringLiteral("VERSION"));
    m_url = compiler.attribute(QStringLiteral("URL"));

    for (const QDomElement &e : childElements(compiler, QStringLiteral("TOOL"))) {
        auto *tool = new BuildTool(&m_owner);
        if (!tool->load(e)) {
            m_owner.output().error(tr("Error loading %1\n").arg(path));
            delete tool;
            continue;
        }
        m_tools.append(tool);
    }
    for (const QDomElement &e : childElements(compiler, QStringLiteral("PROCESS"))) {
        auto *process = new BuildProcess(&m_owner);
        if (process->load(e))
            m_processes.append(process);
        else
            delete process;
    }
    for (const QDomElement &e : childElements(compiler, QStringLiteral("FILE"))) {
        m_fileTypes.append({e.attribute(QStringLiteral("NAME")),
                            e.attribute(QStringLiteral("DESC")),
                            e.attribute(QStringLiteral("CATEGORY")),
                            BuildXml::flag(e, QStringLiteral("SOURCE")),
                            e.attribute(QStringLiteral("ICON"))});
    }
    readFamilies(compiler);
    readTargets(compiler);
    for (TargetRecord &target : m_targets)
        buildTree(target);
    return true;
}

void BuildConfig::readFamilies(const QDomElement &compiler)
{
    for (const QDomElement &f : childElements(compiler, QStringLiteral("FAMILY"))) {
        FamilyRecord family;
        family.name = f.attribute(QStringLiteral("NAME"));
        for (const QDomElement &c : childElements(f, QStringLiteral("CONTROLLER"))) {
            family.controllers.append({c.attribute(QStringLiteral("NAME")),
                                       OptionSetting::readAll(c),
                                       EnvironmentEntry::readAll(c)});
        }
        m_families.append(family);
    }
}

void BuildConfig::readTargets(const QDomElement &compiler)
{
    for (const QDomElement &t : childElements(compiler, QStringLiteral("TARGET"))) {
        TargetRecord target;
        target.name = t.attribute(QStringLiteral("NAME"));
        target.settings = OptionSetting::readAll(t);
        target.environment = EnvironmentEntry::readAll(t);
        for (const QDomElement &f : childElements(t, QStringLiteral("FILE"))) {
            const QString output = f.attribute(QStringLiteral("OUTPUT"));
            if (!output.isEmpty())
                target.output.pattern = output;
        }
        m_targets.append(target);
    }
}

void BuildConfig::buildTree(TargetRecord &target)
{
    target.root.reset();
    addSteps(nullptr, target.root, target.output);
}

// Hangs the steps that make files of the wanted pattern below slot (or makes the first the root),
// then the steps that make their inputs below each of them. A pattern already met on the way
// up ends the walk, so cyclic or repeated chains stay finite.
void BuildConfig::addSteps(BuildStepNode *slot,
                           std::shared_ptr<BuildStepNode> &root,
                           const FileSpec &wanted)
{
    for (const BuildStepNode *node = slot; node; node = node->parent) {
        if (node->output.pattern == wanted.pattern)
            return;
    }
    for (BuildProcess *process : processesProducing(wanted.pattern)) {
        auto node = std::make_unique<BuildStepNode>();
        node->output = process->output(wanted.pattern, false);
        node->process = process;
        BuildStepNode *added = node.get();
        if (!slot && !root) {
            node->parent = nullptr;
            root = std::shared_ptr<BuildStepNode>(std::move(node));
        } else {
            BuildStepNode *parent = slot ? slot : root.get();
            node->parent = parent;
            parent->children.push_back(std::move(node));
        }
        for (const FileSpec &input : process->inputsFor(wanted.pattern, false))
            addSteps(added, root, input);
    }
}

const BuildTool *BuildConfig::tool(const QString &toolName) const
{
    for (const BuildTool *tool : m_tools) {
        if (tool->hasName(toolName))
            return tool;
    }
    return nullptr;
}

QString BuildConfig::toolFile(const QString &toolName) const
{
    const BuildTool *found = tool(toolName);
    return found ? found->file() : QString();
}

QStringList BuildConfig::toolNames() const
{
    QStringList names;
    for (const BuildProcess *process : m_processes) {
        if (!names.contains(process->tool()))
            names.append(process->tool());
    }
    return names;
}

QList<BuildProcess *> BuildConfig::processesProducing(const QString &pattern) const
{
    QList<BuildProcess *> result;
    for (BuildProcess *process : m_processes) {
        if (process->produces(pattern, false))
            result.append(process);
    }
    return result;
}

QStringList BuildConfig::sourceSuffixes() const
{
    QStringList suffixes;
    for (const FileTypeRecord &type : m_fileTypes) {
        if (type.source && !suffixes.contains(type.name))
            suffixes.append(type.name);
    }
    return suffixes;
}

QList<OptionSetting> BuildConfig::defaultSettings(const QString &target,
                                                  const QString &family,
                                                  const QString &controller,
                                                  const QString &tool) const
{
    QList<OptionSetting> candidates;
    if (const TargetRecord *record = findTarget(target))
        candidates += record->settings;
    const int f = familyIndex(family);
    const int c = controllerIndex(family, controller);
    if (f >= 0 && c >= 0)
        candidates += m_families.at(f).controllers.at(c).settings;
    QList<OptionSetting> result;
    for (const OptionSetting &setting : std::as_const(candidates)) {
        if (!tool.isEmpty() && !setting.tool.isEmpty() && setting.tool != tool)
            continue;
        result.append(setting);
    }
    return result;
}

QList<EnvironmentEntry> BuildConfig::environment(const QString &family,
                                                 const QString &controller,
                                                 const QString &targetName) const
{
    QList<EnvironmentEntry> entries;
    const int f = familyIndex(family);
    const int c = controllerIndex(family, controller);
    if (f >= 0 && c >= 0)
        entries += m_families.at(f).controllers.at(c).environment;
    if (const TargetRecord *target = findTarget(targetName))
        entries += target->environment;
    return entries;
}

QStringList BuildConfig::targetNames() const
{
    QStringList names;
    for (const TargetRecord &target : m_targets)
        names.append(target.name);
    return names;
}

const TargetRecord *BuildConfig::findTarget(const QString &name) const
{
    for (const TargetRecord &target : m_targets) {
        if (target.name.compare(name, Qt::CaseInsensitive) == 0)
            return &target;
    }
    return nullptr;
}

int BuildConfig::familyIndex(const QString &family) const
{
    for (int i = 0; i < m_families.size(); ++i) {
        if (m_families.at(i).name.compare(family, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

int BuildConfig::controllerIndex(const QString &family, const QString &controller) const
{
    const int f = familyIndex(family);
    if (f < 0)
        return -1;
    const QList<ControllerRecord> &controllers = m_families.at(f).controllers;
    for (int i = 0; i < controllers.size(); ++i) {
        if (controllers.at(i).name.compare(controller, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

bool BuildConfig::supports(const QString &family, const QString &controller) const
{
    return controllerIndex(family, controller) >= 0;
}

QStringList BuildConfig::controllerNames(const QString &family) const
{
    QStringList names;
    const int f = familyIndex(family);
    if (f >= 0) {
        for (const ControllerRecord &controller : m_families.at(f).controllers)
            names.append(controller.name);
    }
    return names;
}

namespace {

struct CompilerState
{
    QString name;
    bool configured = false;
    QString directory;
};

QList<CompilerState> readStates(QSettings &settings)
{
    QList<CompilerState> states;
    const int count = boundedArraySize(settings.beginReadArray(QStringLiteral("compilers")));
    for (int i = 0; i < count; ++i) {
        settings.setArrayIndex(i);
        states.append({settings.value(QStringLiteral("name")).toString(),
                       settings.value(QStringLiteral("configured")).toBool(),
                       settings.value(QStringLiteral("dir")).toString()});
    }
    settings.endArray();
    return states;
}

// What detection stored for the compiler of that name; nothing for an unnamed one.
std::optional<CompilerState> storedState(QSettings &settings, const QString &name)
{
    if (name.isEmpty())
        return std::nullopt;
    for (const CompilerState &state : readStates(settings)) {
        if (state.name == name)
            return state;
    }
    return std::nullopt;
}

} // namespace

bool BuildConfig::isConfigured() const
{
    const auto state = storedState(m_owner.files().settingsStore().settings(), m_name);
    return state && state->configured;
}

bool BuildConfig::isDetected() const
{
    return storedState(m_owner.files().settingsStore().settings(), m_name).has_value();
}

QString BuildConfig::compilerDirectory() const
{
    const auto state = storedState(m_owner.files().settingsStore().settings(), m_name);
    return state && state->configured ? state->directory : QString();
}

void BuildConfig::setConfigured(bool configured, const QString &directory)
{
    if (m_name.isEmpty())
        return;
    QSettings &settings = m_owner.files().settingsStore().settings();
    QList<CompilerState> states = readStates(settings);
    int index = 0;
    while (index < states.size() && states.at(index).name != m_name)
        ++index;
    if (index == states.size())
        states.append({m_name, configured, directory});
    else
        states[index] = {m_name, configured, directory};
    settings.beginWriteArray(QStringLiteral("compilers"), int(states.size()));
    for (int i = 0; i < states.size(); ++i) {
        settings.setArrayIndex(i);
        settings.setValue(QStringLiteral("name"), states.at(i).name);
        settings.setValue(QStringLiteral("configured"), states.at(i).configured);
        settings.setValue(QStringLiteral("dir"), states.at(i).directory);
    }
    settings.endArray();
}

DetectionResult BuildConfig::detect() const
{
    return CompilerDetector(&m_owner).detect(m_file);
}
