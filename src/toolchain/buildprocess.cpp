#include "buildprocess.h"

#include "core/xmlchildren.h"

#include <QDomElement>
#include <QVariant>

BuildProcess::BuildProcess(MainServices *, QObject *parent)
    : QObject(parent)
{}

namespace {

bool samePattern(const QString &a, const QString &b, bool caseSensitive)
{
    return a.compare(b, caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive) == 0;
}

// A FILE element can add an input, a temporary and an error file to an output at once.
void applyFileAttributes(const QDomElement &e, OutputRecord &output)
{
    FileSpec file;
    file.name = e.attribute(QStringLiteral("NAME"));
    file.option = e.attribute(QStringLiteral("OPTION"));
    const QString input = e.attribute(QStringLiteral("INPUT"));
    if (!input.isEmpty()) {
        FileSpec copy = file;
        copy.pattern = input;
        output.inputs.append(copy);
    }
    const QString temporary = e.attribute(QStringLiteral("TEMP"));
    if (!temporary.isEmpty()) {
        FileSpec copy = file;
        copy.pattern = temporary;
        copy.keptByTidy = e.hasAttribute(QStringLiteral("TIDY"))
                          && !QVariant(e.attribute(QStringLiteral("TIDY"))).toBool();
        output.temporaries.append(copy);
    }
    const QString error = e.attribute(QStringLiteral("ERROR"));
    if (!error.isEmpty()) {
        ErrorFileRecord record;
        static_cast<FileSpec &>(record) = file;
        record.pattern = error;
        record.hideUnmatched = e.hasAttribute(QStringLiteral("HIDE_UNMATCHED"))
                                   ? QVariant(e.attribute(QStringLiteral("HIDE_UNMATCHED"))).toBool()
                                   : true;
        output.errorFiles.append(record);
    }
}

} // namespace

bool BuildProcess::load(const QDomElement &element)
{
    m_tool = element.attribute(QStringLiteral("TOOL"));
    m_name = element.attribute(QStringLiteral("NAME"));
    m_commandLine = element.attribute(QStringLiteral("CMDLINE"));
    if (m_tool.isEmpty() || m_commandLine.isEmpty())
        return false;

    const QString fileTag = QStringLiteral("FILE");
    const XmlChildren files = childElements(element, fileTag);
    const QList<OptionSetting> processSettings = OptionSetting::readAll(element);
    for (const QDomElement &file : files) {
        const QString pattern = file.attribute(QStringLiteral("OUTPUT"));
        if (pattern.isEmpty())
            continue;
        OutputRecord output;
        output.pattern = pattern;
        output.name = file.attribute(QStringLiteral("NAME"));
        output.dependencies = file.attribute(QStringLiteral("DEPENDENCIES"));
        output.settings = OptionSetting::readAll(file) + processSettings;
        applyFileAttributes(file, output);
        for (const QDomElement &shared : files) {
            if (shared.attribute(QStringLiteral("OUTPUT")).isEmpty())
                applyFileAttributes(shared, output);
        }
        for (const QDomElement &nested : childElements(file, fileTag))
            applyFileAttributes(nested, output);
        m_outputs.append(output);
    }

    for (const QDomElement &message : childElements(element, QStringLiteral("MESSAGE"))) {
        MessageFormat format;
        format.value = message.attribute(QStringLiteral("VALUE"));
        for (const QDomElement &f : childElements(message, QStringLiteral("FIELD"))) {
            MessageField field;
            field.name = f.attribute(QStringLiteral("NAME"));
            bool ok = false;
            field.position = f.attribute(QStringLiteral("POSITION")).toInt(&ok);
            if (!ok)
                return false;
            field.offset = f.attribute(QStringLiteral("OFFSET")).toInt(&ok);
            if (!ok)
                field.offset = 0;
            format.fields.append(field);
        }
        m_messages.append(format);
    }

    for (const QDomElement &e : childElements(element, QStringLiteral("PREPROCESS")))
        m_preProcess.append(e.attribute(QStringLiteral("CMDLINE")));
    for (const QDomElement &e : childElements(element, QStringLiteral("POSTPROCESS")))
        m_postProcess.append(e.attribute(QStringLiteral("CMDLINE")));
    return true;
}

bool BuildProcess::produces(const QString &pattern, bool caseSensitive) const
{
    return outputRecord(pattern, caseSensitive) != nullptr;
}

const OutputRecord *BuildProcess::outputRecord(const QString &pattern, bool caseSensitive) const
{
    for (const OutputRecord &output : m_outputs) {
        if (samePattern(output.pattern, pattern, caseSensitive))
            return &output;
    }
    return nullptr;
}

FileSpec BuildProcess::output(const QString &pattern, bool caseSensitive) const
{
    if (const OutputRecord *record = outputRecord(pattern, caseSensitive))
        return *record;
    FileSpec bare;
    bare.pattern = pattern;
    return bare;
}

QList<FileSpec> BuildProcess::inputsFor(const QString &pattern, bool caseSensitive) const
{
    const OutputRecord *record = outputRecord(pattern, caseSensitive);
    return record ? record->inputs : QList<FileSpec>();
}

QList<FileSpec> BuildProcess::temporariesFor(const QString &pattern, bool caseSensitive) const
{
    QList<FileSpec> temporaries;
    for (const OutputRecord &output : m_outputs) {
        if (samePattern(output.pattern, pattern, caseSensitive))
            temporaries += output.temporaries;
    }
    return temporaries;
}

QString BuildProcess::dependenciesFor(const QString &pattern, bool caseSensitive) const
{
    for (const OutputRecord &output : m_outputs) {
        if (samePattern(output.pattern, pattern, caseSensitive) && !output.dependencies.isEmpty())
            return output.dependencies;
    }
    return QString();
}

QList<ErrorFileRecord> BuildProcess::errorFilesFor(const QString &pattern, bool caseSensitive) const
{
    const OutputRecord *record = outputRecord(pattern, caseSensitive);
    return record ? record->errorFiles : QList<ErrorFileRecord>();
}

QString BuildProcess::fileOption(const QString &pattern, bool caseSensitive) const
{
    const auto matches = [&](const FileSpec &file) {
        return samePattern(file.pattern, pattern, caseSensitive);
    };
    for (const OutputRecord &output : m_outputs) {
        if (matches(output))
            return output.option;
        for (const FileSpec &file : output.inputs) {
            if (matches(file))
                return file.option;
        }
        for (const FileSpec &file : output.temporaries) {
            if (matches(file))
                return file.option;
        }
        for (const ErrorFileRecord &file : output.errorFiles) {
            if (matches(file))
                return file.option;
        }
    }
    return QString();
}
