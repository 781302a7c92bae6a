#include "buildconfiglist.h"

#include "buildconfig.h"

#include "core/mainservices.h"
#include "core/settingsfiles.h"
#include "core/settingsstore.h"

#include <QDir>
#include <QFileInfo>

BuildConfigList::BuildConfigList(MainServices *owner, QObject *parent)
    : QObject(parent)
    , m_owner(servicesOf(owner))
{}

BuildConfigList::~BuildConfigList()
{
    qDeleteAll(m_configurations);
}

bool BuildConfigList::load()
{
    qDeleteAll(m_configurations);
    m_configurations.clear();
    const QDir dir(m_owner.files().settingsStore().compilersDirectory());
    const QStringList files = dir.entryList({QStringLiteral("*.xml")},
                                            QDir::Files,
                                            QDir::Name | QDir::IgnoreCase);
    for (const QString &fileName : files) {
        auto *config = new BuildConfig(&m_owner);
        if (!config->load(dir.absoluteFilePath(fileName))) {
            delete config;
            continue;
        }
        if (const BuildConfig *existing = find(config->name())) {
            m_owner.output().error(tr("Duplicated compiler configuration \"%1\":\n%2,\n%3.\n")
                                       .arg(config->name(), existing->file(), config->file()));
            delete config;
            continue;
        }
        m_configurations.append(config);
    }
    return !files.isEmpty();
}

BuildConfig *BuildConfigList::find(const QString &name) const
{
    for (BuildConfig *config : m_configurations) {
        if (config->name().compare(name, Qt::CaseInsensitive) == 0)
            return config;
    }
    return nullptr;
}

QStringList BuildConfigList::names(bool onlyConfigured) const
{
    QStringList result;
    for (const BuildConfig *config : m_configurations) {
        if (!onlyConfigured || config->isConfigured())
            result.append(config->name());
    }
    return result;
}

QStringList BuildConfigList::allSourceSuffixes() const
{
    QStringList suffixes;
    for (const BuildConfig *config : m_configurations) {
        for (const QString &suffix : config->sourceSuffixes()) {
            if (!suffixes.contains(suffix))
                suffixes.append(suffix);
        }
    }
    return suffixes;
}

QList<FileTypeRecord> BuildConfigList::allFileTypes() const
{
    QList<FileTypeRecord> types;
    QStringList seen;
    for (const BuildConfig *config : m_configurations) {
        for (const FileTypeRecord &type : config->fileTypes()) {
            if (seen.contains(type.name))
                continue;
            seen.append(type.name);
            types.append(type);
        }
    }
    return types;
}

QString BuildConfigList::compilerFor(const QString &family,
                                     const QString &controller,
                                     const QStringList &files) const
{
    // Among equal counts the first compiler met wins, except that the simulator maker's own
    // compilers win ties; a compiler that takes none of the files is proposed only if it is
    // one of those.
    const BuildConfig *winner = nullptr;
    int winnerCount = 0;
    for (const BuildConfig *config : m_configurations) {
        if (!config->supports(family, controller))
            continue;
        QStringList suffixes = config->sourceSuffixes();
        for (QString &suffix : suffixes)
            suffix = suffix.toUpper();
        int count = 0;
        for (const QString &file : files) {
            const QString name = QFileInfo(file).fileName();
            const int dot = name.lastIndexOf(QLatin1Char('.'));
            if (dot >= 0 && suffixes.contains(name.mid(dot + 1).toUpper()))
                ++count;
        }
        const QString upper = config->name().toUpper();
        const bool preferred = upper.contains(QLatin1String("MORVELLAN"))
                               || upper.contains(QLatin1String("CIRRANE"));
        if (count > winnerCount || (count == winnerCount && preferred)) {
            winner = config;
            winnerCount = count;
        }
    }
    return winner ? winner->name() : QString();
}
