#include "vcdwriter.h"

#include <QCoreApplication>
#include <QDateTime>

#include <cerrno>
#include <cstring>

// Identifiers are made of the printable characters from '!' to '~'.
static QByteArray identifier(int index)
{
    QByteArray id;
    do {
        id.append(char('!' + index % 94));
        index /= 94;
    } while (index > 0);
    return id;
}

static QByteArray safeName(const QString &name)
{
    QByteArray result = name.toLatin1();
    for (char &c : result) {
        if (c == ' ' || c == '$')
            c = '_';
    }
    return result;
}

bool VcdWriter::open(const QString &path,
                     const QString &module,
                     const QStringList &pins,
                     QString *error)
{
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = QCoreApplication::translate("VcdWriter", "Cannot write the trace file %1: %2")
                     .arg(path, m_file.errorString());
        return false;
    }
    m_ids.clear();
    m_time = 0;
    m_timeWritten = false;
    QByteArray header = "$date\n  " + QDateTime::currentDateTime().toString(Qt::ISODate).toLatin1()
                        + "\n$end\n$version\n  VEXA\n$end\n$timescale 1 ns $end\n$scope module "
                        + safeName(module.isEmpty() ? QStringLiteral("controller") : module)
                        + " $end\n";
    QByteArray initial = "$dumpvars\n";
    for (int i = 0; i < pins.size(); ++i) {
        const QByteArray id = identifier(i);
        m_ids.insert(pins.at(i), id);
        header += "$var wire 1 " + id + ' ' + safeName(pins.at(i)) + " $end\n";
        initial += 'x' + id + '\n';
    }
    header += "$upscope $end\n$enddefinitions $end\n#0\n" + initial + "$end\n";
    m_timeWritten = true;
    m_failed = false;
    put(header);
    return true;
}

void VcdWriter::put(const QByteArray &bytes)
{
    if (!m_failed && m_file.write(bytes) != bytes.size()) {
        m_failed = true;
        m_reason = errno;
    }
}

void VcdWriter::change(const QString &pin, bool level, std::uint64_t timeNs)
{
    if (!m_file.isOpen())
        return;
    const auto it = m_ids.constFind(pin);
    if (it == m_ids.constEnd())
        return;
    if (timeNs > m_time || !m_timeWritten) {
        m_time = std::max(m_time, timeNs);
        put('#' + QByteArray::number(qulonglong(m_time)) + '\n');
        m_timeWritten = true;
    }
    put((level ? '1' : '0') + it.value() + '\n');
}

bool VcdWriter::close(std::uint64_t endNs, QString *error)
{
    if (!m_file.isOpen())
        return true;
    if (endNs > m_time)
        put('#' + QByteArray::number(qulonglong(endNs)) + '\n');
    // What the file's buffer still holds fails only now on a full disk.
    if (!m_failed && !m_file.flush()) {
        m_failed = true;
        m_reason = errno;
    }
    m_file.close();
    if (m_failed && error) {
        *error = QCoreApplication::translate("VcdWriter",
                                             "The trace file %1 could not be written whole: %2")
                     .arg(m_file.fileName(), QString::fromLocal8Bit(strerror(m_reason)));
    }
    return !m_failed;
}
