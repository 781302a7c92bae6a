#include "displaysettings.h"

#include "core/settingsstore.h"

#include <QSettings>

const DisplayItem *DisplayGroup::item(const QString &itemName) const
{
    for (const DisplayItem &entry : items) {
        if (entry.name == itemName)
            return &entry;
    }
    return nullptr;
}

DisplayItem *DisplayGroup::item(const QString &itemName)
{
    return const_cast<DisplayItem *>(std::as_const(*this).item(itemName));
}

QStringList DisplaySettings::groupNames()
{
    return {textEditorGroup(), projectsTreeGroup(), outputWindowGroup()};
}

QString DisplaySettings::storeGroupName(const QString &groupName)
{
    return QStringLiteral("%1 Display Settings").arg(groupName);
}

QFont DisplaySettings::defaultFont()
{
    QFont font(QStringLiteral("Courier New"), 10);
    font.setFixedPitch(true);
    // Where Courier New is not installed, the system's monospace font stands in.
    font.setStyleHint(QFont::TypeWriter);
    return font;
}

namespace {

DisplayItem plain(const QString &name)
{
    DisplayItem item;
    item.name = name;
    return item;
}

DisplayItem coloured(const QString &name, const QColor &foreground, bool italic = false)
{
    DisplayItem item = plain(name);
    item.foreground = foreground;
    item.italic = italic;
    return item;
}

QList<DisplayItem> textEditorItems()
{
    QList<DisplayItem> items;
    items << plain(QStringLiteral("Text"))
          << coloured(QStringLiteral("Comments"), Qt::darkGreen, true)
          << coloured(QStringLiteral("Strings"), Qt::gray)
          << coloured(QStringLiteral("Constants"), Qt::red)
          << coloured(QStringLiteral("Operators"), Qt::darkRed)
          << coloured(QStringLiteral("Keywords"), Qt::blue)
          << coloured(QStringLiteral("Extensions"), Qt::magenta)
          << coloured(QStringLiteral("Macros"), Qt::red);

    DisplayItem caret = plain(QStringLiteral("Caret"));
    caret.background = Qt::yellow;
    caret.coloursOnly = true;
    items << caret;

    DisplayItem guides = plain(QStringLiteral("Indentation Guides"));
    guides.coloursOnly = true;
    items << guides;

    DisplayItem margins = plain(QStringLiteral("Margins"));
    margins.background = QColor(224, 224, 224);
    items << margins;

    DisplayItem selection = plain(QStringLiteral("Selection"));
    selection.background = Qt::lightGray;
    selection.coloursOnly = true;
    selection.defaultBackground = false;
    selection.fixedForeground = false;
    selection.fixedBackground = false;
    items << selection;

    DisplayItem callTips = plain(QStringLiteral("Call Tips"));
    callTips.foreground = QColor(128, 128, 128);
    callTips.background = QColor(255, 255, 255);
    callTips.coloursOnly = true;
    items << callTips;

    DisplayItem callTipsHighlight = plain(QStringLiteral("Call Tips Highlight"));
    callTipsHighlight.foreground = QColor(0, 0, 128);
    callTipsHighlight.coloursOnly = true;
    callTipsHighlight.foregroundOnly = true;
    items << callTipsHighlight;

    DisplayItem matched = coloured(QStringLiteral("Matched Brace"), Qt::blue);
    matched.coloursOnly = true;
    items << matched;

    DisplayItem unmatched = coloured(QStringLiteral("Unmatched Brace"), Qt::red);
    unmatched.coloursOnly = true;
    items << unmatched;
    return items;
}

} // namespace

DisplayGroup DisplaySettings::defaultGroup(const QString &groupName)
{
    DisplayGroup group;
    group.name = groupName;
    group.font = defaultFont();
    group.fontSize = 10;
    if (groupName == textEditorGroup()) {
        group.items = textEditorItems();
    } else if (groupName == projectsTreeGroup()) {
        group.items << plain(QStringLiteral("Projects")) << plain(QStringLiteral("Groups"))
                    << plain(QStringLiteral("Files"));
    } else if (groupName == outputWindowGroup()) {
        DisplayItem links = coloured(QStringLiteral("Links"), Qt::blue);
        links.underline = true;
        group.items << plain(QStringLiteral("Messages"))
                    << coloured(QStringLiteral("Errors"), Qt::red) << links
                    << coloured(QStringLiteral("Success"), Qt::darkGreen);
    }
    return group;
}

DisplayGroup DisplaySettings::readGroup(QSettings &store, const QString &groupName)
{
    DisplayGroup group = defaultGroup(groupName);
    store.beginGroup(storeGroupName(groupName));
    const QString family = store.value(QStringLiteral("font"), group.font.family()).toString();
    QFont font(family);
    font.setStyleHint(QFont::TypeWriter);
    group.font = font;
    bool sizeOk = false;
    const int size = store.value(QStringLiteral("fontSize"), 10).toInt(&sizeOk);
    group.fontSize = sizeOk ? size : 10;

    // A "Default" choice that was never stored reads as on, whatever the defaults table says.
    for (DisplayItem &item : group.items) {
        if (!item.fixedForeground)
            item.defaultForeground = true;
        if (!item.fixedBackground)
            item.defaultBackground = true;
    }
    const int count = boundedArraySize(store.beginReadArray(QStringLiteral("items")));
    for (int i = 0; i < count; ++i) {
        store.setArrayIndex(i);
        DisplayItem *item = group.item(store.value(QStringLiteral("name")).toString());
        if (!item)
            continue;
        const auto colour = [&store](const char *key, const QColor &current) {
            const QColor stored(store.value(QLatin1String(key), current.name()).toString());
            return stored.isValid() ? stored : current;
        };
        const auto flag = [&store](const char *key, bool current) {
            return store.value(QLatin1String(key), current).toBool();
        };
        item->foreground = colour("foreground", item->foreground);
        item->background = colour("background", item->background);
        item->bold = flag("bold", item->bold);
        item->italic = flag("italic", item->italic);
        item->underline = flag("underline", item->underline);
        if (!item->fixedForeground)
            item->defaultForeground = flag("default_foreground", true);
        if (!item->fixedBackground)
            item->defaultBackground = flag("default_background", true);
    }
    store.endArray();
    store.endGroup();
    return group;
}

void DisplaySettings::writeGroup(QSettings &store, const DisplayGroup &group)
{
    store.beginGroup(storeGroupName(group.name));
    store.setValue(QStringLiteral("font"), group.font.family());
    store.setValue(QStringLiteral("fontSize"), group.fontSize);
    store.beginWriteArray(QStringLiteral("items"), int(group.items.size()));
    for (int i = 0; i < group.items.size(); ++i) {
        const DisplayItem &item = group.items.at(i);
        store.setArrayIndex(i);
        store.setValue(QStringLiteral("name"), item.name);
        store.setValue(QStringLiteral("foreground"), item.foreground.name());
        store.setValue(QStringLiteral("background"), item.background.name());
        store.setValue(QStringLiteral("bold"), item.bold);
        store.setValue(QStringLiteral("italic"), item.italic);
        store.setValue(QStringLiteral("underline"), item.underline);
        if (!item.fixedForeground)
            store.setValue(QStringLiteral("default_foreground"), item.defaultForeground);
        if (!item.fixedBackground)
            store.setValue(QStringLiteral("default_background"), item.defaultBackground);
    }
    store.endArray();
    store.endGroup();
}

QTextCharFormat DisplaySettings::format(const DisplayGroup &group, const QString &itemName)
{
    QTextCharFormat format;
    QFont font = group.font;
    font.setPointSize(group.fontSize > 0 ? group.fontSize : 10);
    format.setFont(font);
    const DisplayItem *item = group.item(itemName);
    if (!item)
        return format;
    format.setForeground(QBrush(item->foreground));
    format.setBackground(QBrush(item->background));
    format.setFontWeight(item->bold ? QFont::Bold : QFont::Normal);
    format.setFontItalic(item->italic);
    format.setFontUnderline(item->underline);
    return format;
}

bool DisplaySettings::usesDefaultColour(const DisplayGroup &group,
                                        const QString &itemName,
                                        bool foreground)
{
    const DisplayItem *item = group.item(itemName);
    if (!item)
        return true;
    return foreground ? item->defaultForeground : item->defaultBackground;
}
