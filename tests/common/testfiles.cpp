#include "testfiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

bool copyTree(const QString &source, const QString &target)
{
    QDirIterator it(source, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        const QString copy = QDir(target).filePath(QDir(source).relativeFilePath(file));
        QDir().mkpath(QFileInfo(copy).absolutePath());
        if (!QFile::copy(file, copy))
            return false;
    }
    return true;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
           && file.write(bytes) == bytes.size();
}

bool replaceInFile(const QString &path, const QByteArray &from, const QByteArray &to)
{
    QByteArray text = readFile(path);
    return text.contains(from) && writeFile(path, text.replace(from, to));
}

QList<QPair<double, int>> traceLevels(const QByteArray &trace, const QString &signal)
{
    const QString text = QString::fromLatin1(trace);
    const QRegularExpressionMatch var = QRegularExpression(QStringLiteral("\\$var wire 1 (\\S+) ")
                                                           + QRegularExpression::escape(signal)
                                                           + QStringLiteral(" \\$end"))
                                            .match(text);
    if (!var.hasMatch())
        return {};
    QList<QPair<double, int>> levels;
    double now = 0;
    for (const QString &line :
         text.mid(text.indexOf(QStringLiteral("$enddefinitions"))).split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1Char('#')))
            now = line.mid(1).toDouble();
        else if (line.size() > 1 && line.mid(1) == var.captured(1))
            levels.append({now, line.at(0).digitValue()});
    }
    return levels;
}

bool processEnded(qint64 pid)
{
    const QByteArray text = readFile(QStringLiteral("/proc/%1/stat").arg(pid));
    const qsizetype close = text.lastIndexOf(')');
    return close < 0 || text.mid(close + 2, 1) == "Z";
}

QString shellIn(const QString &folder, const QString &commands)
{
    QProcess shell;
    shell.setWorkingDirectory(folder);
    shell.start(QStringLiteral("sh"), {QStringLiteral("-c"), commands});
    if (!shell.waitForFinished(120000))
        return commands + QStringLiteral(": did not end");
    if (shell.exitStatus() == QProcess::NormalExit && shell.exitCode() == 0)
        return QString();
    const QString said = QString::fromLocal8Bit(shell.readAllStandardError());
    return said.isEmpty() ? commands + QStringLiteral(": failed") : said;
}

bool writeHandOff(const QString &path,
                  const QString &design,
                  const QString &program,
                  const QString &controller,
                  bool autorun)
{
    const QStringList parts = controller.split(QLatin1Char(' '));
    return writeFile(path,
                     QStringLiteral("[CIRRANE]\nDESIGNFILE=%1\nPROGRAM=%2\nFAMILY=%3\nDEVICE=%4\n"
                                    "CLOCK=%5\nAUTORUN=%6\nNEWDESIGN=0\n")
                         .arg(design, program, parts.value(0), parts.value(1), parts.value(2))
                         .arg(autorun ? 1 : 0)
                         .toUtf8());
}
