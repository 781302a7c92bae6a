#pragma once

#include <QFile>
#include <QHash>
#include <QStringList>

#include <cstdint>

// A Value Change Dump of the controller's pins, timescale 1 ns.
class VcdWriter
{
public:
    bool open(const QString &path, const QString &module, const QStringList &pins, QString *error);
    void change(const QString &pin, bool level, std::uint64_t timeNs);
    // Ends the trace at that time; false, with the reason in *error, when any of it could not be
    // written.
    bool close(std::uint64_t endNs, QString *error = nullptr);
    bool isOpen() const { return m_file.isOpen(); }

private:
    void put(const QByteArray &bytes);

    QFile m_file;
    bool m_failed = false;
    int m_reason = 0; // the system's error number of the failed write
    QHash<QString, QByteArray> m_ids;
    std::uint64_t m_time = 0;
    bool m_timeWritten = false;
};
