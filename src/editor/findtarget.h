#pragma once

#include <QStringList>

class FindDocument;

// The documents a search runs over, as the editor tabs hold them.
class FindTarget
{
public:
    virtual ~FindTarget() = default;

    // The document in front; null when none is open.
    virtual FindDocument *currentDocument() const = 0;
    // The paths of the open documents, in tab order.
    virtual QStringList openDocumentPaths() const = 0;
    // The current project's files, in project order; none without a project.
    virtual QStringList projectFiles() const = 0;
    // Opens a file (or goes to it) and brings it to the front; null when it cannot be opened.
    virtual FindDocument *openDocument(const QString &path) = 0;
    // Closes a document the search opened and found nothing in.
    virtual void closeDocument(const QString &path) = 0;
    // Between the two, many documents open and change at once.
    virtual void beginManyChanges() = 0;
    virtual void endManyChanges() = 0;
};
