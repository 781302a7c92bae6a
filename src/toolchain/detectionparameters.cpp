#include "detectionparameters.h"

#include "core/outputsink.h"
#include "platform/platformpaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

DetectionParameters::DetectionParameters(OutputSink *output)
    : m_output(output)
{}

void DetectionParameters::set(const QString &name, const QString &value)
{
    if (name.isEmpty())
        return;
    for (auto &pair : m_pairs) {
        if (pair.first == name) {
            pair.second = value;
            return;
        }
    }
    m_pairs.append({name, value});
}

QString DetectionParameters::value(const QString &name) const
{
    for (const auto &pair : m_pairs) {
        if (pair.first == name)
            return pair.second;
    }
    return QString();
}

static QString tr(const char *text)
{
    return QCoreApplication::translate("BuildConfigList", text);
}

bool DetectionParameters::resolve(const QString &name, QString &value, bool report) const
{
    // References may nest; parameters that refer to each other in a ring would expand for
    // ever, so a ring is cut after this many substitutions and reported as circular.
    int substitutions = 0;
    const int maxSubstitutions = 256;
    while (true) {
        const int first = value.indexOf(QLatin1Char('%'));
        if (first < 0)
            return true;
        int second = value.indexOf(QLatin1Char('%'), first + 1);
        if (second < 0)
            second = first; // a lone "%" refers to nothing and simply vanishes
        const QString reference = second > first ? value.mid(first + 1, second - first - 1)
                                                 : QString();
        const QString left = value.left(first);
        const QString right = value.mid(second + 1);
        if (reference.isEmpty()) {
            value = left + right;
            continue;
        }
        if (reference == name || ++substitutions > maxSubstitutions) {
            if (m_output)
                m_output->message(tr("Cirular dependency of parameter %1\n").arg(name));
            return false;
        }
        if (reference == QLatin1String("SUB")) {
            QString base = left;
            QString relative = right;
            if (!resolve(name, base, false) || !resolve(name, relative, false))
                return false;
            const QString found = searchBelow(base,
                                              relative,
                                              this->value(QStringLiteral("LEVELS")).toInt());
            if (found.isEmpty())
                return false;
            value = found;
            return true;
        }
        if (reference == QLatin1String("*")) {
            const QString found = wildcardSearch(left, right);
            if (!found.isEmpty()) {
                value = found;
                continue;
            }
        }
        QString replacement = this->value(reference);
        if (replacement.isEmpty())
            replacement = Platform::environmentValue(reference);
        if (replacement.isEmpty() && report) {
            if (m_output)
                m_output->message(tr("Cannot resolve parameter %1\n").arg(reference));
            return false;
        }
        value = left + replacement + right;
    }
}

bool DetectionParameters::resolveAll(bool report)
{
    for (int i = 0; i < m_pairs.size(); ++i) {
        QString resolved = m_pairs.at(i).second;
        if (!resolve(m_pairs.at(i).first, resolved, report))
            return false;
        m_pairs[i].second = resolved;
    }
    return true;
}

QString DetectionParameters::searchBelow(const QString &base, const QString &relative, int depth)
{
    QString path = relative;
    while (path.startsWith(QLatin1Char('/')) || path.startsWith(QLatin1Char('\\')))
        path.remove(0, 1);
    const QFileInfo candidate(QDir(base), path);
    if (!base.isEmpty() && candidate.exists())
        return candidate.absoluteFilePath();
    if (depth <= 0)
        return QString();
    QCoreApplication::processEvents();
    const QStringList subdirectories = QDir(base).entryList(QDir::Dirs | QDir::NoDotAndDotDot,
                                                            QDir::Name);
    for (const QString &subdirectory : subdirectories) {
        const QString found = searchBelow(QDir(base).filePath(subdirectory), path, depth - 1);
        if (!found.isEmpty())
            return found;
    }
    return QString();
}

QString DetectionParameters::wildcardSearch(const QString &left, const QString &right) const
{
    QString directory;
    QString prefix;
    if ((left.endsWith(QLatin1Char('/')) || left.endsWith(QLatin1Char('\\')))
        && QFileInfo(left).isDir()) {
        directory = left;
    } else {
        const QFileInfo info(left);
        directory = info.path();
        prefix = info.fileName();
    }
    const QDir dir(directory);
    const QFileInfoList entries = dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot,
                                                    QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo &entry : entries) {
        if (!entry.fileName().toUpper().startsWith(prefix.toUpper()))
            continue;
        const QString path = entry.absoluteFilePath() + right;
        if (right.contains(QLatin1Char('%'))) {
            QString resolved = path;
            if (resolve(QString(), resolved, false) && QFileInfo::exists(resolved))
                return resolved;
        }
        return path;
    }
    return QString();
}
