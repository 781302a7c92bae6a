#include "settingsstore.h"

#include "platform/boundedfile.h"
#include "platform/platformpaths.h"
#include "platform/wholefilewriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

static const char group[] = "1";

SettingsStore::SettingsStore(Platform::SettingsScope scope)
{
    open(scope);
}

SettingsStore::~SettingsStore()
{
    sync();
}

// QSettings writes on its own a moment after a change: that write goes through the checked
// sync too.
class SettingsStore::SyncFilter : public QObject
{
public:
    explicit SyncFilter(SettingsStore &store)
        : m_store(store)
    {}

    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::UpdateRequest)
            return false;
        m_store.sync();
        return true;
    }

private:
    SettingsStore &m_store;
};

void SettingsStore::open(Platform::SettingsScope scope)
{
    if (m_settings)
        sync();
    m_scope = scope;
    m_settings = Platform::createSettings(scope);
    if (scope == Platform::SettingsScope::Detached) {
        m_settings->beginGroup(QLatin1String(group));
        return;
    }
    m_filter = std::make_unique<SyncFilter>(*this);
    m_settings->installEventFilter(m_filter.get());
    m_settings->beginGroup(QLatin1String(group));
    removeStrayCopies(m_settings->fileName());
}

// The settings are written to a new file beside theirs that then takes their place; a program
// killed between the two leaves that copy, named after the settings file and six letters or
// digits. No such copy is in the making while the settings file is locked for writing, as
// every writer of it does.
void SettingsStore::removeStrayCopies(const QString &settingsFile)
{
    const QFileInfo info(settingsFile);
    const QRegularExpression copy(QLatin1Char('^') + QRegularExpression::escape(info.fileName())
                                  + QStringLiteral("\\.[A-Za-z0-9]{6}$"));
    // A lock file is written in one go right after it is made: one still empty a moment later
    // belongs to a writer that was killed in between, and would hold every writer off for half
    // a minute.
    for (const QString &lockName :
         {settingsFile + QStringLiteral(".lock"), settingsFile + QStringLiteral(".lock.rmlock")}) {
        if (QFileInfo(lockName).size() != 0 || !QFileInfo::exists(lockName))
            continue;
        QThread::msleep(20);
        if (QFileInfo::exists(lockName) && QFileInfo(lockName).size() == 0)
            QFile::remove(lockName);
    }
    const QDir folder = info.absoluteDir();
    const QStringList copies = folder
                                   .entryList({info.fileName() + QStringLiteral(".*")},
                                              QDir::Files | QDir::Hidden)
                                   .filter(copy);
    // Locked only when there is something to remove: an ordinary start writes nothing here.
    QLockFile lock(settingsFile + QStringLiteral(".lock"));
    if (copies.isEmpty() || !lock.tryLock(100))
        return;
    for (const QString &name : copies)
        QFile::remove(folder.filePath(name));
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

// On a full disk, Qt 6.4's safe writer reports success after a short write, and QSettings
// writes through it: the settings file would be left empty (every compiler, directory and
// recent file lost). The file is read back after each write; one that does not hold every
// setting is replaced by the last good one, written whole or not at all.
bool SettingsStore::sync()
{
    if (m_scope == Platform::SettingsScope::Detached)
        return true;
    const QString path = m_settings->fileName();
    QByteArray previous;
    Platform::readBoundedFile(path, Platform::maxXmlFileBytes, previous, nullptr);
    m_settings->sync();
    QByteArray now;
    Platform::readBoundedFile(path, Platform::maxXmlFileBytes, now, nullptr);
    // Nothing written (nothing had changed): nothing to check.
    if (!now.isEmpty() && now == previous && m_settings->status() == QSettings::NoError)
        return true;
    const QStringList expected = m_settings->allKeys();
    // Read from a copy: QSettings would answer for the file itself from what it holds.
    QTemporaryDir scratch;
    const QString copy = scratch.filePath(QStringLiteral("written.conf"));
    QFile::copy(path, copy);
    const QSettings written(copy, QSettings::IniFormat);
    bool whole = m_settings->status() == QSettings::NoError
                 && written.status() == QSettings::NoError;
    // Each setting there, with its value (a file cut short may end inside the last one).
    const auto text = [](const QVariant &value) {
        return value.typeId() == QMetaType::QStringList ? value.toStringList().join(QChar(0x1f))
                                                        : value.toString();
    };
    const auto isText = [](const QVariant &value) {
        const int type = value.typeId();
        return type == QMetaType::QString || type == QMetaType::QStringList
               || type == QMetaType::QByteArray;
    };
    for (const QString &key : expected) {
        if (!whole)
            break;
        const QString full = QLatin1String(group) + QLatin1Char('/') + key;
        const QVariant value = m_settings->value(key);
        whole = written.contains(full)
                && (!isText(value) || text(written.value(full)) == text(value));
    }
    // The file ends with a whole line.
    QFile file(copy);
    if (whole && file.open(QIODevice::ReadOnly) && file.size() > 0) {
        file.seek(file.size() - 1);
        whole = file.read(1) == "\n";
    }
    if (whole)
        return true;
    QString reason;
    if (!previous.isEmpty())
        Platform::writeWholeFile(path, previous, &reason);
    qWarning("%s",
             qPrintable(QCoreApplication::translate("SettingsStore",
                                                    "The settings could not be written to %1; "
                                                    "the previous settings are kept.")
                            .arg(path)));
    return false;
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
    // One without its full path would be looked for wherever a program runs.
    const QString path = m_settings->value(directoryKey(which)).toString();
    return path.isEmpty() || useDefault || QDir::isRelativePath(path) ? defaultDirectory(which)
                                                                      : path;
}

void SettingsStore::setDirectory(Directory which, const QString &path)
{
    // The default is kept as no value, so that it follows the program wherever it is
    // installed rather than naming the folders of one installation.
    if (path.isEmpty() || QDir::cleanPath(path) == QDir::cleanPath(defaultDirectory(which)))
        m_settings->remove(directoryKey(which));
    else
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
