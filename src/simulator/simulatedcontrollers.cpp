#include "simulatedcontrollers.h"

#include "core/mainservices.h"
#include "core/settingsfiles.h"
#include "core/settingsstore.h"
#include "core/xmlchildren.h"

#include <QDir>
#include <QDomElement>

SimulatedControllers::SimulatedControllers(MainServices *mainWindow)
    : m_files(servicesOf(mainWindow).files())
{}

SimulatedControllers::~SimulatedControllers() = default;

void SimulatedControllers::add(const QString &family, const QString &name)
{
    QStringList &names = m_catalogue[family];
    if (!names.contains(name, Qt::CaseInsensitive))
        names.append(name);
}

bool SimulatedControllers::contains(const QString &family, const QString &name) const
{
    const auto it = m_catalogue.constFind(family);
    return it != m_catalogue.constEnd() && it->contains(name, Qt::CaseInsensitive);
}

void SimulatedControllers::load()
{
    m_catalogue.clear();
    const QDir dir(m_files.settingsStore().simulatorDirectory());
    const QStringList files = dir.entryList({QStringLiteral("*.xml")}, QDir::Files, QDir::Unsorted);
    for (const QString &file : files)
        loadFile(dir.filePath(file));
}

void SimulatedControllers::loadFile(const QString &path)
{
    // A malformed list has been reported by the loader; the others are still read.
    const std::optional<QDomDocument> document = m_files.loadXml(path);
    if (!document)
        return;
    const QDomElement simulator = document->firstChildElement(QStringLiteral("SIMULATOR"));
    if (simulator.isNull())
        return;
    const QString nameAttribute = QStringLiteral("NAME");
    for (const QDomElement &family : childElements(simulator, QStringLiteral("FAMILY"))) {
        const QString familyName = family.attribute(nameAttribute);
        for (const QDomElement &controller : childElements(family, QStringLiteral("CONTROLLER"))) {
            const QString controllerName = controller.attribute(nameAttribute);
            if (controllerName.isEmpty())
                continue;
            add(familyName, controllerName);
            for (const QDomElement &alias : childElements(controller, QStringLiteral("ALIAS"))) {
                const QString aliasName = alias.attribute(nameAttribute);
                if (!aliasName.isEmpty())
                    add(familyName, aliasName);
            }
        }
    }
}
