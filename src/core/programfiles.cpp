#include "programfiles.h"

#include "mainservices.h"
#include "settingsstore.h"
#include "xmldocumentio.h"

ProgramFiles::ProgramFiles(MainServices &mainWindow, Platform::SettingsScope scope)
    : m_mainWindow(mainWindow)
    , m_settings(std::make_unique<SettingsStore>(scope))
{}

ProgramFiles::~ProgramFiles() = default;

std::optional<QDomDocument> ProgramFiles::loadXml(const QString &path)
{
    return XmlDocumentIo::load(path, &m_mainWindow.output());
}

bool ProgramFiles::saveXml(const QDomDocument &document, const QString &path, QString *errorString)
{
    return XmlDocumentIo::save(document, path, errorString);
}

void ProgramFiles::reopen(Platform::SettingsScope scope)
{
    m_settings->reopen(scope);
}
