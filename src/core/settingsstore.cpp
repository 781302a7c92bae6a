#include "settingsstore.h"

#include "platform/platformpaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>
#include <QThread>

static const char group[] = "1";

SettingsStore::SettingsStore(Platform::SettingsScope scope)
{
    open(scope);
}

SettingsStore::~SettingsStore() = default;

void SettingsStore::open(Platform::SettingsScope scope)
{
    if (m_settings)
        m_settings->sync();
    m_scope = scope;
    m_settings = Platform::createSettings(scope);
    m_settings->beginGroup(QLatin1String(group));
}

void SettingsStore::reopen(Platform::SettingsScope scope)
{
    open(scope);
}

QVariant SettingsStore::value(const QString &key, const QVariant &defaultValue) const
{
    return m_settings->value(key, defaultValue);
}

void SettingsStore::setValue(const QString &key, const QVariant &value)
{
    m_settings->setValue(key, value);
}

void SettingsStore::sync()
{
    m_settings->sync();
}

QString SettingsStore::directoryKey(Directory which)
{
    switch (which) {
    case Compilers:
        return QStringLiteral("Compilers");
    case Tools:
        return QStringLiteral("Tools");
    case Simulator:
        return QStringLiteral("Simulator");
    case Syntax:
        return QStringLiteral("Syntax");
    case DevBoards:
        return QStringLiteral("DevBoards");
    case Projects:
        return QStringLiteral("Projects");
    }
    return QString();
}

// A folder beside the application directory; stays at the parent when it does not exist.
static QString besideApplication(const QString &applicationDir, const QString &name)
{
    QDir dir(applicationDir);
    dir.cdUp();
    dir.cd(name);
    return dir.absolutePath();
}

QString SettingsStore::defaultDirectory(Directory which)
{
    return defaultDirectory(which, QCoreApplication::applicationDirPath());
}

QString SettingsStore::defaultDirectory(Directory which, const QString &applicationDir)
{
    switch (which) {
    case Compilers:
        return besideApplication(applicationDir, QStringLiteral("compilers"));
    case Tools:
        return QDir(applicationDir).absolutePath();
    case Simulator:
        return besideApplication(applicationDir, QStringLiteral("simulator"));
    case Syntax:
        return besideApplication(applicationDir, QStringLiteral("syntax"));
    case DevBoards:
        return besideApplication(applicationDir, QStringLiteral("devboards"));
    case Projects: {
        const QString documents = Platform::documentsFolder();
        QDir dir(documents.isEmpty() ? QDir::homePath() : documents);
        const QString name = QStringLiteral("DYX Studio Projects");
        // A fresh account may have no documents folder yet: make the whole path.
        dir.mkpath(name);
        dir.cd(name);
        return dir.absolutePath();
    }
    }
    return QString();
}

QString SettingsStore::directory(Directory which, bool useDefault)
{
    const QString key = directoryKey(which);
    QString path = m_settings->value(key).toString();
    if (path.isEmpty() || useDefault) {
        path = defaultDirectory(which);
        if (!useDefault)
            m_settings->setValue(key, path);
    }
    return path;
}

void SettingsStore::setDirectory(Directory which, const QString &path)
{
    m_settings->setValue(directoryKey(which), path);
}

QString SettingsStore::cirraneDirectory() const
{
    return m_settings->value(QStringLiteral("Cirrane")).toString();
}

void SettingsStore::setCirraneDirectory(const QString &path)
{
    m_settings->setValue(QStringLiteral("Cirrane"), path);
}

int SettingsStore::buildJobs()
{
    const int cores = qMax(QThread::idealThreadCount(), 1);
    return qMax(settings().value(QStringLiteral("buildJobs"), cores).toInt(), 1);
}
