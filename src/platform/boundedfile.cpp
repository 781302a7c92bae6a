#include "boundedfile.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

namespace Platform {

bool readBoundedFile(const QString &path, qint64 maxBytes, QByteArray &data, QString *refusal)
{
    data.clear();
    if (refusal)
        refusal->clear();
    const QFileInfo info(path);
    if (!info.exists())
        return false;
    if (!info.isFile()) {
        if (refusal)
            *refusal = QCoreApplication::translate("Platform", "it is not a regular file");
        return false;
    }
    const auto tooLarge = [refusal, maxBytes] {
        if (refusal) {
            *refusal = QCoreApplication::translate("Platform", "it is larger than %1 bytes")
                           .arg(maxBytes);
        }
        return false;
    };
    if (info.size() > maxBytes)
        return tooLarge();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // A file that grows while it is read still stops at the bound.
    data = file.read(maxBytes + 1);
    if (data.size() > maxBytes) {
        data.clear();
        return tooLarge();
    }
    return true;
}

} // namespace Platform
