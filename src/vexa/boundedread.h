#pragma once

#include <QByteArray>
#include <QString>

// Reads a whole file that the simulator was handed, refusing what is no regular file (a FIFO
// would block for ever, a device such as /dev/zero never ends) and what is larger than
// maxBytes. False with the reason in why otherwise.
bool readBoundedFile(const QString &path, qint64 maxBytes, QByteArray &data, QString *why);
