#pragma once

#include <QString>

namespace Platform {

// Windows file names ignore letter case; Linux names do not. Resolves a path component by
// component, taking for each component the existing entry whose name matches ignoring case
// when the exact spelling does not exist. Components that match nothing are kept as written,
// so the result names the file a case-insensitive file system would have opened.
QString resolveCaseInsensitive(const QString &path);

} // namespace Platform
