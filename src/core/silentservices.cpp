#include "silentservices.h"

#include "xmldocumentio.h"

SilentServices &SilentServices::instance()
{
    static SilentServices silent;
    return silent;
}

std::optional<QDomDocument> SilentServices::loadXml(const QString &path)
{
    return XmlDocumentIo::load(path, nullptr);
}

bool SilentServices::saveXml(const QDomDocument &document, const QString &path, QString *errorString)
{
    return XmlDocumentIo::save(document, path, errorString);
}
