#pragma once

#include <QByteArray>
#include <QList>
#include <QRect>
#include <QString>

#include <memory>
#include <optional>

struct chmFile;

// A compiled help file: its pages and pictures by their paths inside the file ("/index.html"),
// its default topic, the topics its context ids name and its window types.
class ChmFile
{
public:
    // Null when the file cannot be read as compiled help.
    static std::unique_ptr<ChmFile> open(const QString &path);
    ~ChmFile();

    QString path() const { return m_path; }
    bool contains(const QString &objectPath) const;
    // The object's bytes; empty when the file does not hold it.
    QByteArray read(const QString &objectPath) const;

    QString defaultTopic() const;
    // The topic a context id names; empty when it names none.
    QString topicForContext(int contextId) const;

    struct WindowType
    {
        QString name;
        QString caption;
        QString contents; // the table of contents file, when the type shows one
        QString home;
        QRect rect; // the window's rectangle as the file defines it
    };
    std::optional<WindowType> windowType(const QString &name) const;

    struct ContentsEntry
    {
        QString name;
        QString topic; // empty for a heading
        QList<ContentsEntry> children;
    };
    // The table of contents, read from its sitemap file.
    QList<ContentsEntry> contents() const;

private:
    ChmFile(const QString &path, chmFile *handle);
    QString stringAt(quint32 offset) const;
    // An object named by a path the help compiler stored: as it is, or its tail inside the
    // file (some compilers store the path the page had on their disk).
    QString objectFor(const QString &storedPath) const;

    QString m_path;
    chmFile *m_handle;
    QByteArray m_strings;
    QByteArray m_system;
};
