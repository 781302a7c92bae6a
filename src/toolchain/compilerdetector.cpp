#include "compilerdetector.h"

#include "detectionparameters.h"

#include "core/mainservices.h"
#include "core/settingsstore.h"
#include "core/simulatorqueries.h"
#include "core/xmlchildren.h"
#include "core/xmldocumentio.h"
#include "platform/registry.h"
#include "platform/toolrun.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QDomElement>
#include <QFileInfo>
#include <QLoggingCategory>

// Every detection run: QT_LOGGING_RULES="dyx.detect.debug=true".
Q_LOGGING_CATEGORY(detection, "dyx.detect", QtWarningMsg)

CompilerDetector::CompilerDetector(MainServices *owner)
    : m_owner(servicesOf(owner))
{}

static QString tr(const char *text)
{
    return QCoreApplication::translate("BuildConfigList", text);
}

static bool succeeded(const DetectionResult &result)
{
    return result.found && result.tooOld == 0;
}

DetectionResult CompilerDetector::detect(const QString &configurationFile) const
{
    DetectionResult result;
    if (configurationFile.isEmpty())
        return result;
    // The rules are read afresh each time; the model does not keep them.
    const std::optional<QDomDocument> document = XmlDocumentIo::load(configurationFile,
                                                                     &m_owner.output());
    const QDomElement compiler = document ? document->firstChildElement(QStringLiteral("COMPILER"))
                                          : QDomElement();
    if (compiler.isNull())
        return result;
    m_owner.output().message(
        tr("Detecting compiler %1").arg(compiler.attribute(QStringLiteral("NAME"))));

    const auto attributesOf = [](const QDomElement &element, DetectionParameters &parameters) {
        const QDomNamedNodeMap attributes = element.attributes();
        for (int i = 0; i < attributes.count(); ++i) {
            const QDomAttr attribute = attributes.item(i).toAttr();
            if (!attribute.value().isEmpty())
                parameters.set(attribute.name(), attribute.value());
        }
    };
    for (const QDomElement &rule : childElements(compiler, QStringLiteral("DETECT"))) {
        DetectionParameters parameters(&m_owner.output());
        attributesOf(rule, parameters);
        bool success = true;
        if (rule.firstChildElement(QStringLiteral("CHECK")).isNull()) {
            result = locate(parameters);
            success = succeeded(result);
        }
        for (const QDomElement &checkRule : childElements(rule, QStringLiteral("CHECK"))) {
            DetectionParameters copy = parameters;
            attributesOf(checkRule, copy);
            result = locate(copy);
            if (!succeeded(result)) {
                success = false;
                break;
            }
        }
        if (success)
            break;
    }
    result.version = compiler.attribute(QStringLiteral("VERSION"));
    return result;
}

DetectionResult CompilerDetector::locate(DetectionParameters parameters) const
{
    if (!parameters.resolveAll(false))
        return DetectionResult();
    const QString keyLocation = QStringLiteral("KEYLOC");
    for (const auto &pair : parameters.pairs()) {
        if (pair.first == keyLocation) {
            const QString type = parameters.value(QStringLiteral("TYPE"));
            if (type == QLatin1String("NAMED")) {
                const QString text = Registry::instance().value(pair.second,
                                                                parameters.value(
                                                                    QStringLiteral("KEY")))
                                     + parameters.value(QStringLiteral("SUF"));
                if (text.isEmpty())
                    continue;
                if (parameters.value(QStringLiteral("PATH")).isEmpty())
                    parameters.set(QStringLiteral("PATH"), text);
                return check(QString(), parameters);
            }
            if (type == QLatin1String("ANONYMOUS")) {
                const int levels = parameters.value(QStringLiteral("LEVELS")).toInt();
                const int level = parameters.value(QStringLiteral("LEVEL")).toInt();
                const int depth = levels > 0 ? levels : qMax(0, level);
                const QString contains = parameters.value(QStringLiteral("CONTAINS"));
                if (!contains.isEmpty())
                    return searchRegistry(pair.second,
                                          depth,
                                          contains,
                                          levels > 0,
                                          false,
                                          parameters);
                return searchRegistry(pair.second,
                                      depth,
                                      parameters.value(QStringLiteral("KEY")),
                                      levels > 0,
                                      true,
                                      parameters);
            }
            return check(QString(), parameters);
        }
        if (pair.first == QLatin1String("CIRRANE_TOOL")) {
            parameters.set(QStringLiteral("PATH"),
                           simulatorDirectory() + QLatin1Char('/') + QStringLiteral("tools")
                               + QLatin1Char('/') + pair.second);
            return check(QString(), parameters);
        }
    }
    return check(QString(), parameters);
}

DetectionResult CompilerDetector::searchRegistry(const QString &key,
                                                 int depth,
                                                 const QString &text,
                                                 bool everyLevel,
                                                 bool byKey,
                                                 const DetectionParameters &parameters) const
{
    DetectionResult result;
    const Registry &registry = Registry::instance();
    const QString suffix = parameters.value(QStringLiteral("SUF"));
    const QString separator = QStringLiteral("\\");
    if (depth == 0 || everyLevel) {
        if (byKey) {
            QStringList parts = text.split(separator);
            const QString valueName = parts.takeLast();
            QString keyPath = key;
            for (const QString &part : std::as_const(parts))
                keyPath += separator + part;
            result = check(registry.value(keyPath, valueName) + suffix, parameters);
            if (succeeded(result))
                return result;
        } else {
            for (const QString &valueName : registry.valueNames(key)) {
                const QString value = registry.value(key, valueName);
                if (!value.contains(text, Qt::CaseInsensitive))
                    continue;
                result = check(value + suffix, parameters);
                if (succeeded(result))
                    return result;
            }
        }
    }
    if (depth > 0) {
        for (const QString &subkey : registry.subkeys(key)) {
            result = searchRegistry(key + separator + subkey,
                                    depth - 1,
                                    text,
                                    everyLevel,
                                    byKey,
                                    parameters);
            if (succeeded(result))
                return result;
        }
    }
    return result;
}

DetectionResult CompilerDetector::check(const QString &path,
                                        const DetectionParameters &parameters) const
{
    DetectionResult result;
    const QString executable = path.isEmpty() ? parameters.value(QStringLiteral("PATH")) : path;
    if (executable.isEmpty())
        return result;
    const QFileInfo info(executable);
    if (!info.exists() || !info.isFile() || !info.isExecutable())
        return result;
    const QString directory = info.absolutePath();

    const QDate oldest = QDate::fromString(parameters.value(QStringLiteral("DATE")), Qt::ISODate);
    if (oldest.isValid() && info.lastModified().date() < oldest) {
        result.found = true;
        result.tooOld = 1;
        result.directory = directory;
        return result;
    }
    if (parameters.value(QStringLiteral("NOEXECUTE")) == QLatin1String("true")) {
        result.found = true;
        result.directory = directory;
        return result;
    }

    const QString argument = parameters.value(QStringLiteral("ARG"));
    const Platform::ToolRun run = Platform::runTool(info.absoluteFilePath(),
                                                    argument.isEmpty() ? QStringList()
                                                                       : QStringList{argument},
                                                    trialMs,
                                                    trialOutputBytes,
                                                    true);
    bool failed = !run.finished;
    const QString output = QString::fromLocal8Bit(run.output);
    const QString expected = parameters.value(QStringLiteral("STR"));
    qCDebug(detection) << info.absoluteFilePath() << argument << "started" << run.started
                       << "failed" << failed << "expects" << expected << "output"
                       << output.left(200);
    if (!failed && !expected.isEmpty() && !output.contains(expected))
        failed = true;
    if (failed)
        return result;
    result.found = true;
    result.directory = directory;
    return result;
}

QString CompilerDetector::simulatorDirectory() const
{
    return m_owner.simulator().simulatorDirectory(false);
}
