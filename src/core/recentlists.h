#pragma once

#include <QString>

// The recently opened projects and files of the "File" menu.
class RecentLists
{
public:
    virtual ~RecentLists() = default;

    virtual void newMRUProject(const QString &fileName) = 0;
    virtual void newMRUFile(const QString &fileName) = 0;
};
