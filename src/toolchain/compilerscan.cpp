#include "compilerscan.h"

#include "buildconfig.h"
#include "buildconfiglist.h"
#include "buildtool.h"

#include "core/mainservices.h"
#include "platform/toolrun.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

static QString tr(const char *text)
{
    return QCoreApplication::translate("CompilersDialog", text);
}

QString CompilerScan::tooOldText()
{
    return tr("Compiler too old");
}

CompilerScan::CompilerScan(BuildConfigList *catalogue)
    : m_catalogue(catalogue)
    , m_output(servicesOf(catalogue ? &catalogue->owner() : nullptr).output())
{
    if (!m_catalogue)
        return;
    QStringList names = m_catalogue->names(false);
    names.sort(Qt::CaseSensitive);
    for (const QString &name : std::as_const(names)) {
        Row row;
        row.name = name;
        if (const BuildConfig *config = m_catalogue->find(name)) {
            row.configFile = config->file();
            row.installed = config->isConfigured();
            row.directory = config->compilerDirectory();
        }
        // The simulator maker's own compilers come first.
        if (name.contains(QLatin1String("cirrane"), Qt::CaseInsensitive))
            m_rows.prepend(row);
        else
            m_rows.append(row);
    }
}

void CompilerScan::startChecking()
{
    m_found.clear();
    m_notFound.clear();
    m_unsupported.clear();
}

void CompilerScan::checkRow(int index)
{
    if (index < 0 || index >= m_rows.size())
        return;
    Row &row = m_rows[index];
    const BuildConfig *config = m_catalogue ? m_catalogue->find(row.name) : nullptr;
    if (!config) {
        row.directory.clear();
        row.installed = false;
        return;
    }
    const DetectionResult result = config->detect();
    const QString entry = row.name + QLatin1String(":\t") + result.directory;
    if (result.found && result.tooOld == 0) {
        m_found.append(entry);
        row.directory = result.directory;
        row.installed = !row.directory.isEmpty();
    } else if (result.found) {
        const QString note = result.version.isEmpty()
                                 ? tr("\n\tUse the latest version")
                                 : tr("\n\tVersion ") + result.version + tr(" or later required");
        m_unsupported.append(entry + note);
        row.directory = tooOldText();
        row.installed = false;
    } else {
        m_notFound.append(entry);
        row.directory.clear();
        row.installed = false;
    }
}

void CompilerScan::checkAll()
{
    m_output.clearOutput();
    startChecking();
    for (int i = 0; i < m_rows.size(); ++i)
        checkRow(i);
    writeSummary();
}

bool CompilerScan::checkUndetected()
{
    startChecking();
    bool checked = false;
    for (int i = 0; i < m_rows.size(); ++i) {
        const BuildConfig *config = m_catalogue ? m_catalogue->find(m_rows.at(i).name) : nullptr;
        if (config && !config->isDetected()) {
            checkRow(i);
            checked = true;
        }
    }
    if (checked)
        writeSummary();
    return checked;
}

void CompilerScan::writeSummary()
{
    m_output.message(tr("\nCompiler detection summary"));
    if (!m_notFound.isEmpty()) {
        m_output.message(tr("Not Found:"));
        for (const QString &entry : std::as_const(m_notFound))
            m_output.message(entry);
    }
    if (!m_found.isEmpty()) {
        m_output.message(tr("Found:"));
        for (const QString &entry : std::as_const(m_found))
            m_output.message(entry);
    }
    if (!m_unsupported.isEmpty()) {
        QString block = QStringLiteral("<span style='color: #FF0000; font-size: 10pt'>")
                        + tr("Unsupported Versions:") + QStringLiteral("<br>");
        for (const QString &entry : std::as_const(m_unsupported))
            block += entry.toHtmlEscaped() + QStringLiteral("<br>");
        block += QStringLiteral("</span>");
        m_output.richText(block);
    }
}

void CompilerScan::save()
{
    if (!m_catalogue)
        return;
    for (const Row &row : std::as_const(m_rows)) {
        if (BuildConfig *config = m_catalogue->find(row.name))
            config->setConfigured(row.installed, row.directory);
    }
}

QString CompilerScan::versionIn(const QString &text)
{
    static const QRegularExpression dotted(
        QStringLiteral("(?<![0-9.])([0-9]+\\.[0-9]+(?:\\.[0-9]+)*)(?![0-9])"));
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = dotted.match(line);
        if (match.hasMatch())
            return match.captured(1);
    }
    return {};
}

QString CompilerScan::installedVersion(int index) const
{
    if (index < 0 || index >= m_rows.size() || !m_rows[index].installed)
        return {};
    const BuildConfig *config = m_catalogue ? m_catalogue->find(m_rows[index].name) : nullptr;
    if (!config || config->tools().isEmpty())
        return {};
    const QFileInfo program(QDir(m_rows[index].directory).filePath(config->tools().first()->file()));
    if (!program.isFile() || !program.isExecutable())
        return {};
    // A tool that does not answer, or floods, costs the dialog a moment, not the session.
    const Platform::ToolRun run = Platform::runTool(program.absoluteFilePath(),
                                                    {QStringLiteral("--version")},
                                                    3000,
                                                    65536);
    if (!run.finished)
        return {};
    return versionIn(QString::fromLocal8Bit(run.output.left(4096)));
}
