#pragma once

#include <QByteArray>
#include <QString>

namespace Platform {

// Writes a file whole or not at all: the bytes go to a new file that takes the old one's place
// only once every byte is on disk, so a full disk or a crash mid-write keeps the last version,
// and an unfinished version that a crash leaves is removed by the next write of the file.
// In a folder the user cannot write, directWriteFallback allows writing the file in place
// instead (a writable file there can still be saved). A file that has other names (hard links)
// or belongs to another user, or to a group the new version could not keep, is always written
// in place, so that it stays one file with its owner. On failure, errorString says why.
bool writeWholeFile(const QString &path,
                    const QByteArray &data,
                    QString *errorString = nullptr,
                    bool directWriteFallback = false);

// Removes the unfinished versions that writers which no longer run left in the folder: those of
// that file, or of every file when fileName is empty.
void removeStrayVersions(const QString &folder, const QString &fileName = QString());

} // namespace Platform
