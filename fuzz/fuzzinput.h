#pragma once

#include "common/fakemainservices.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

// What every target needs: an application object, settings of its own, and the input written
// to a file of the kind the program reads.
namespace FuzzInput {

inline void initialize()
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char *argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
    isolateSettings();
}

inline QString write(const uint8_t *data, size_t size, const QString &fileName)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(fileName);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    return path;
}

} // namespace FuzzInput
