#include "vcdwriter.h"

#include <QCoreApplication>
#include <QDateTime>

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
    m_file.write(header);
    return true;
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
        m_file.write('#' + QByteArray::number(qulonglong(m_time)) + '\n');
        m_timeWritten = true;
    }
    m_file.write((level ? '1' : '0') + it.value() + '\n');
}

void VcdWriter::close(std::uint64_t endNs)
{
    if (!m_file.isOpen())
        return;
    if (endNs > m_time)
        m_file.write('#' + QByteArray::number(qulonglong(endNs)) + '\n');
    m_file.close();
}
