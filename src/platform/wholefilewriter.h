#pragma once

#include <QByteArray>
#include <QString>

namespace Platform {

// Writes a file whole or not at all: the bytes go to a new file that takes the old one's place
// only once every byte is on disk, so a full disk or a crash mid-write keeps the last version,
// and an unfinished version that a crash leaves is removed by the next write of the file.
// directWriteFallback, for the files the user edits, writes the file in place instead in a
// folder the user cannot write (a writable file there can still be saved), and where the file
// has other names (hard links) or belongs to another user, or to a group the new version could
// not keep, so that it stays one file with its owner. On failure, errorString says why.
bool writeWholeFile(const QString &path,
                    const QByteArray &data,
                    QString *errorString = nullptr,
                    bool directWriteFallback = false);

// Removes the unfinished versions that writers which no longer run left in the folder: those of
// that file, or of every file when fileName is empty.
void removeStrayVersions(const QString &folder, const QString &fileName = QString());

} // namespace Platform
