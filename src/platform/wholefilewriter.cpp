#include "wholefilewriter.h"

#include <QSaveFile>

namespace Platform {

bool writeWholeFile(const QString &path,
                    const QByteArray &data,
                    QString *errorString,
                    bool directWriteFallback)
{
    QSaveFile file(path);
    file.setDirectWriteFallback(directWriteFallback);
    // Unbuffered, a short write shows at once instead of being lost in a late flush.
    bool written = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    qint64 total = 0;
    while (written && total < data.size()) {
        const qint64 count = file.write(data.constData() + total, data.size() - total);
        written = count > 0;
        total += qMax<qint64>(count, 0);
    }
    if (written && file.flush() && file.commit())
        return true;
    if (errorString) {
        *errorString = file.errorString();
        if (errorString->isEmpty() || file.error() == QFileDevice::NoError)
            *errorString = QStringLiteral("not every byte could be written");
    }
    file.cancelWriting();
    return false;
}

} // namespace Platform
