// Reading and writing a build configuration as the CONFIGURATION element of a project file.

#include "buildproject.h"

#include "core/mainservices.h"
#include "core/xmlchildren.h"
#include "toolchain/buildconfig.h"
#include "toolchain/buildprocess.h"

#include <QDir>
#include <QDomDocument>
#include <QDomElement>
#include <QFileInfo>

namespace {

QString absoluteIn(const QString &baseDir, const QString &name)
{
    return QDir::cleanPath(QDir(baseDir).absoluteFilePath(name));
}

QDomElement optionElement(QDomDocument &document, const OptionSetting &option)
{
    QDomElement element = document.createElement(QStringLiteral("OPTION"));
    element.setAttribute(QStringLiteral("NAME"), option.name);
    if (!option.value.isEmpty())
        element.setAttribute(QStringLiteral("VALUE"), option.value);
    if (!option.tool.isEmpty())
        element.setAttribute(QStringLiteral("TOOL"), option.tool);
    if (!option.id.isEmpty())
        element.setAttribute(QStringLiteral("ID"), option.id);
    if (option.isDefault)
        element.setAttribute(QStringLiteral("DEFAULT"), QStringLiteral("1"));
    return element;
}

QDomElement nodeElement(QDomDocument &document, const BuildNode *node, const QDir &base)
{
    QDomElement element = document.createElement(QStringLiteral("FILE"));
    if (!node->file.isEmpty())
        element.setAttribute(QStringLiteral("NAME"), base.relativeFilePath(node->file));
    if (!node->isLeaf())
        element.setAttribute(QStringLiteral("TOOL"), node->tool());
    for (const OptionSetting &option : node->options)
        element.appendChild(optionElement(document, option));
    for (const auto &input : node->inputs)
        element.appendChild(nodeElement(document, input.get(), base));
    return element;
}

// The suffixes, in lower case, of the sources stored anywhere below a FILE element.
QStringList sourceSuffixes(const QDomElement &element)
{
    QStringList suffixes;
    for (const QDomElement &child : childElements(element, QStringLiteral("FILE"))) {
        if (child.attribute(QStringLiteral("TOOL")).isEmpty()) {
            const QString suffix
                = QFileInfo(child.attribute(QStringLiteral("NAME"))).suffix().toLower();
            if (!suffixes.contains(suffix))
                suffixes.append(suffix);
        } else {
            for (const QString &suffix : sourceSuffixes(child)) {
                if (!suffixes.contains(suffix))
                    suffixes.append(suffix);
            }
        }
    }
    return suffixes;
}

} // namespace

// Reads the FILE children of a stored step node below parent.
bool BuildProject::readTreeFile(const QDomElement &element,
                                BuildNode *parent,
                                const QString &baseDir)
{
    for (const QDomElement &child : childElements(element, QStringLiteral("FILE"))) {
        const QString tool = child.attribute(QStringLiteral("TOOL"));
        auto node = std::make_unique<BuildNode>();
        node->parent = parent;
        if (tool.isEmpty()) {
            const QString name = child.attribute(QStringLiteral("NAME"));
            if (name.isEmpty())
                return false;
            node->file = absoluteIn(baseDir, name);
        } else {
            // Steps of one tool differ in what they take (a compiler compiles C and assembles):
            // the step is the one that leads to the sources stored below the element.
            const QStringList suffixes = sourceSuffixes(child);
            for (const auto &stepChild : parent->step->children) {
                if (stepChild->process->tool() != tool)
                    continue;
                const bool leads = std::all_of(suffixes.begin(),
                                               suffixes.end(),
                                               [&](const QString &suffix) {
                                                   return leadsTo(stepChild.get(), suffix);
                                               });
                if (!node->step || leads)
                    node->step = stepChild.get();
                if (leads)
                    break;
            }
            if (!node->step)
                return false;
            node->options = OptionSetting::readAll(child);
            if (!readTreeFile(child, node.get(), baseDir))
                return false;
        }
        parent->inputs.push_back(std::move(node));
    }
    return true;
}

bool BuildProject::load(const QDomElement &element, const QString &projectFilePath)
{
    reset();
    if (element.isNull() || element.tagName() != QLatin1String("CONFIGURATION"))
        return false;
    m_name = element.attribute(QStringLiteral("NAME"));
    const QString compiler = element.attribute(QStringLiteral("COMPILER"));
    if (!setCompiler(compiler, false)) {
        m_mainWindow->output().error(
            tr("Cannot find compiler %1 required for project.").arg(compiler));
        return false;
    }
    const QDomElement controller = element.firstChildElement(QStringLiteral("CONTROLLER"));
    if (controller.isNull())
        return false;
    setController(controller.attribute(QStringLiteral("FAMILY")),
                  controller.attribute(QStringLiteral("TYPE")),
                  false);
    setTarget(element.attribute(QStringLiteral("TARGET")));
    setClock(controller.attribute(QStringLiteral("CLOCK")));

    const QString baseDir = QFileInfo(projectFilePath).absolutePath();
    bool treeRead = false;
    for (const QDomElement &file : childElements(element, QStringLiteral("FILE"))) {
        const QString tool = file.attribute(QStringLiteral("TOOL"));
        if (tool.isEmpty()) {
            addFile(absoluteIn(baseDir, file.attribute(QStringLiteral("NAME"))), false);
            continue;
        }
        if (treeRead)
            return false;
        treeRead = true;
        // The stored tree replaces one that files read before it may have started.
        std::unique_ptr<BuildNode> earlier = std::move(m_root);
        if (!createRoot(false) || m_root->tool() != tool)
            return false;
        m_root->options = OptionSetting::readAll(file);
        if (!readTreeFile(file, m_root.get(), baseDir))
            return false;
        if (earlier) {
            // Files listed before the stored tree join it as any added file would.
            std::vector<BuildNode *> nodes;
            earlier->collect(nodes);
            for (const BuildNode *node : nodes) {
                if (node->isLeaf())
                    addFile(QDir::fromNativeSeparators(node->file), false);
            }
        }
    }
    m_options = OptionSetting::readAll(element);
    return true;
}

bool BuildProject::save(QDomDocument &document, QDomElement *parent, const QString &projectFilePath)
{
    hoist(false);
    QDomElement configuration = document.createElement(QStringLiteral("CONFIGURATION"));
    if (parent)
        parent->appendChild(configuration);
    else
        document.appendChild(configuration);
    configuration.setAttribute(QStringLiteral("NAME"), m_name);
    QDomElement controller = document.createElement(QStringLiteral("CONTROLLER"));
    controller.setAttribute(QStringLiteral("FAMILY"), m_family);
    controller.setAttribute(QStringLiteral("TYPE"), m_controller);
    configuration.appendChild(controller);
    if (m_compiler)
        configuration.setAttribute(QStringLiteral("COMPILER"), m_compiler->name());
    if (!m_clock.isEmpty())
        controller.setAttribute(QStringLiteral("CLOCK"), m_clock);
    if (!targetName().isEmpty())
        configuration.setAttribute(QStringLiteral("TARGET"), targetName());

    const QDir base(QFileInfo(projectFilePath).absolutePath());
    if (m_root)
        configuration.appendChild(nodeElement(document, m_root.get(), base));
    for (const QString &file : std::as_const(m_unassigned)) {
        QDomElement element = document.createElement(QStringLiteral("FILE"));
        element.setAttribute(QStringLiteral("NAME"), base.relativeFilePath(file));
        configuration.appendChild(element);
    }
    for (const OptionSetting &option : std::as_const(m_options))
        configuration.appendChild(optionElement(document, option));
    return true;
}
