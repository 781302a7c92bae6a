#pragma once

#include <QString>

// Path and environment services of the operating system.
namespace Platform {

// The short (8.3) form of an existing path. Linux has no short names: the path comes back
// unchanged when it exists, and empty when it does not, as the short-name call fails then.
QString shortPathName(const QString &path);

// Every "//" becomes "/", then every "/" a backslash.
QString nativePath(const QString &path);

// The value of an environment variable as local 8-bit text; empty when unset.
QString environmentValue(const QString &name);

// A PATH without its empty and relative entries ("a::b", "."): those find programs in
// whatever folder a program runs in, such as a project's, and so programs that a downloaded
// project brings along under a compiler's or a simulator's name.
QString absolutePathEntries(const QString &path);
// This process's own PATH and LD_LIBRARY_PATH made so, for every program it starts.
void dropRelativePathEntries();

// The command interpreter named by "ComSpec"; "/bin/sh" where that is unset, since make cannot
// run recipes with an empty SHELL.
QString commandShell();

// The user's documents folder; empty when the system knows none.
QString documentsFolder();

// Where the program keeps a copy of the user's unsaved work it could not put in its own place
// (folderName, under the program's data folder), and a name there that no file has yet: the
// file's own name with the date and time before its extension, and a number if need be. The
// folder is made; empty when it cannot be.
QString keptCopyPath(const QString &folderName, const QString &fileName);

} // namespace Platform
