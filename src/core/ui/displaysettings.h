#pragma once

#include <QColor>
#include <QFont>
#include <QList>
#include <QString>
#include <QTextCharFormat>

class QSettings;

// The look of one kind of text in a display group.
struct DisplayItem
{
    QString name;
    QColor foreground = Qt::black;
    QColor background = Qt::white;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    // Use the widget's own colour instead of the stored one.
    bool defaultForeground = true;
    bool defaultBackground = true;
    // Fixed per item, never stored: no text style; no background; no "Default" choice.
    bool coloursOnly = false;
    bool foregroundOnly = false;
    bool fixedForeground = true;
    bool fixedBackground = true;
};

// The fonts and colours of one part of the window: the text editor, the projects tree or
// the output window.
struct DisplayGroup
{
    QString name;
    QFont font;
    int fontSize = 10;
    QList<DisplayItem> items;

    const DisplayItem *item(const QString &itemName) const;
    DisplayItem *item(const QString &itemName);
};

class DisplaySettings
{
public:
    static QString textEditorGroup() { return QStringLiteral("Text Editor"); }
    static QString projectsTreeGroup() { return QStringLiteral("Projects Tree"); }
    static QString outputWindowGroup() { return QStringLiteral("Output Window"); }
    static QStringList groupNames();

    // The settings group that stores a display group ("Text Editor Display Settings").
    static QString storeGroupName(const QString &groupName);

    static QFont defaultFont();
    // The group with every item at its default; no items for an unknown group name.
    static DisplayGroup defaultGroup(const QString &groupName);

    // Reads a group from the store (positioned where the display groups live), starting
    // from the defaults.
    static DisplayGroup readGroup(QSettings &store, const QString &groupName);
    static void writeGroup(QSettings &store, const DisplayGroup &group);

    // The text format of an item: the group's font and size with the item's colours and
    // style; only the group's font for an item the group does not hold.
    static QTextCharFormat format(const DisplayGroup &group, const QString &itemName);
    static bool usesDefaultColour(const DisplayGroup &group,
                                  const QString &itemName,
                                  bool foreground);
};
