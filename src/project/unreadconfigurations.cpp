#include "unreadconfigurations.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QString fileTag = QStringLiteral("FILE");
const QString nameAttribute = QStringLiteral("NAME");
const QString toolAttribute = QStringLiteral("TOOL");

// A FILE element without a tool names a source; one with a tool is a step, whose own name
// is never read.
QList<QDomElement> sourcesOf(const QDomElement &configuration)
{
    QList<QDomElement> sources;
    const QDomNodeList files = configuration.elementsByTagName(fileTag);
    for (int i = 0; i < files.size(); ++i) {
        const QDomElement file = files.at(i).toElement();
        if (!file.hasAttribute(toolAttribute) && !file.attribute(nameAttribute).isEmpty())
            sources.append(file);
    }
    return sources;
}

} // namespace

UnreadConfigurations::UnreadConfigurations()
{
    m_store.appendChild(m_store.createElement(QStringLiteral("UNREAD")));
}

void UnreadConfigurations::add(const QDomElement &configuration, const QString &projectPath)
{
    QDomElement copy = m_store.importNode(configuration, true).toElement();
    m_store.documentElement().appendChild(copy);
    const QDir base(QFileInfo(projectPath).absolutePath());
    for (QDomElement &source : sourcesOf(copy)) {
        source.setAttribute(nameAttribute,
                            QDir::cleanPath(base.absoluteFilePath(source.attribute(nameAttribute))));
    }
    m_configurations.append(copy);
}

QStringList UnreadConfigurations::names() const
{
    QStringList names;
    for (const QDomElement &configuration : m_configurations)
        names.append(configuration.attribute(nameAttribute));
    return names;
}

void UnreadConfigurations::renameFile(const QString &from, const QString &to)
{
    for (const QDomElement &configuration : std::as_const(m_configurations)) {
        for (QDomElement &source : sourcesOf(configuration)) {
            if (source.attribute(nameAttribute) == from)
                source.setAttribute(nameAttribute, to);
        }
    }
}

void UnreadConfigurations::removeFile(const QString &path)
{
    for (const QDomElement &configuration : std::as_const(m_configurations)) {
        for (const QDomElement &source : sourcesOf(configuration)) {
            if (source.attribute(nameAttribute) != path)
                continue;
            // The source goes, then every step left without inputs on the way up.
            QDomElement gone = source;
            QDomNode parent = gone.parentNode();
            parent.removeChild(gone);
            while (parent.isElement() && parent.toElement().tagName() == fileTag
                   && parent.firstChildElement(fileTag).isNull()) {
                gone = parent.toElement();
                parent = gone.parentNode();
                parent.removeChild(gone);
            }
        }
    }
}

void UnreadConfigurations::write(QDomDocument &document,
                                 QDomElement &project,
                                 const QString &projectPath) const
{
    const QDir base(QFileInfo(projectPath).absolutePath());
    for (const QDomElement &configuration : m_configurations) {
        QDomElement copy = document.importNode(configuration, true).toElement();
        for (QDomElement &source : sourcesOf(copy))
            source.setAttribute(nameAttribute,
                                base.relativeFilePath(source.attribute(nameAttribute)));
        project.appendChild(copy);
    }
}
