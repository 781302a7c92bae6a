#include "fakemainservices.h"

#include "core/xmldocumentio.h"

#include <QTemporaryDir>

void isolateSettings()
{
    static QTemporaryDir configHome;
    static QTemporaryDir dataHome;
    static bool done = false;
    if (done)
        return;
    done = true;
    // Each test process gets a configuration folder of its own (the toolkit's test mode would
    // share one between all of them), and a data folder for the copies of unsaved work.
    qputenv("XDG_CONFIG_HOME", configHome.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", dataHome.path().toLocal8Bit());
}

FakeMainServices::FakeMainServices() = default;
FakeMainServices::~FakeMainServices() = default;

void FakeMainServices::message(const QString &text)
{
    lines.append(QStringLiteral("message: ") + text);
}

void FakeMainServices::error(const QString &text)
{
    lines.append(QStringLiteral("error: ") + text);
}

void FakeMainServices::success(const QString &text)
{
    lines.append(QStringLiteral("success: ") + text);
}

void FakeMainServices::link(const QString &file, int line, int column, const QString &text)
{
    lines.append(QStringLiteral("link: %1:%2:%3: %4").arg(file).arg(line).arg(column).arg(text));
}

void FakeMainServices::errorLink(const QString &file, int line, int column, const QString &text)
{
    lines.append(
        QStringLiteral("errorLink: %1:%2:%3: %4").arg(file).arg(line).arg(column).arg(text));
}

std::optional<QDomDocument> FakeMainServices::loadXml(const QString &path)
{
    return XmlDocumentIo::load(path, &output());
}

bool FakeMainServices::saveXml(const QDomDocument &document,
                               const QString &path,
                               QString *errorString)
{
    return XmlDocumentIo::save(document, path, errorString);
}

void FakeMainServices::openFileAt(const QString &path, int line, int column)
{
    openRequests.append({path, line, column});
}
