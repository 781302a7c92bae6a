#include "programsettingsdialog.h"
#include "editorpreferences.h"
#include "ui_programsettingsdialog.h"

#include "core/mainservices.h"
#include "core/settingsfiles.h"
#include "core/simulatorqueries.h"
#include "core/ui/prompts.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QCompleter>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QPainter>
#include <QPixmap>
#include <QSettings>
#include <QSpinBox>

namespace {

struct NamedColour
{
    const char *name;
    Qt::GlobalColor colour;
};

const NamedColour namedColours[] = {
    {QT_TRANSLATE_NOOP("ProgramSettingsDialog", "Black"), Qt::black},
    {QT_TRANSLATE_NOOP("ProgramSettingsDialog", "White"), Qt::white},
    {QT_TRANSLATE_NOOP("ProgramSettingsDialog", "Maroon"), Qt::darkRed},
    {QT_TRANSLATE_NOOP("ProgramSettingsDialog", "Green"), Qt::darkGreen},
    {QT_TRANSLATE_NOOP("ProgramSettingsDialog", "Olive"), Qt::darkYellow},
    {QT_TRANSLATE_NOOP("ProgramSettingsDialog", "Navy"), Qt::darkBlue},
    {QT_TRANSLATE_NOOP("ProgramSettingsDialog", "Purple"), Qt::darkMagenta},
    {QT_TRANSLATE_NOOP("ProgramSettingsDialog", "Teal"), Qt::darkCyan},
    {QT_TRANSLATE_NOOP("ProgramSettingsDialog", "Silver"), Qt::lightGray},
    {QT_TRANSLATE_NOOP("ProgramSettingsDialog", "Gray"), Qt::gray},
    {QT_TRANSLATE_NOOP("ProgramSettingsDialog", "Red"), Qt::red},
    {QT_TRANSLATE_NOOP("ProgramSettingsDialog", "Lime"), Qt::green},
    {QT_TRANSLATE_NOOP("ProgramSettingsDialog", "Yellow"), Qt::yellow},
    {QT_TRANSLATE_NOOP("ProgramSettingsDialog", "Blue"), Qt::blue},
    {QT_TRANSLATE_NOOP("ProgramSettingsDialog", "Magenta"), Qt::magenta},
    {QT_TRANSLATE_NOOP("ProgramSettingsDialog", "Cyan"), Qt::cyan},
};
const int namedColourCount = int(sizeof namedColours / sizeof namedColours[0]);

const char preferencesGroup[] = "Text Editor Display Settings";
const int smallestSize = 6;
const int largestSize = 24;

} // namespace

ProgramSettingsDialog::ProgramSettingsDialog(MainServices *mainWindow, QWidget *parent)
    : CirraneDialog(parent)
    , m_form(std::make_unique<Ui::ProgramSettingsDialog>())
    , m_mainWindow(servicesOf(mainWindow))
    , m_settings(m_mainWindow.files().settingsStore())
{
    m_form->setupUi(this);
    m_form->tabWidget->setCurrentIndex(0);

    // The directories as they are now; each field completes directory names as typed.
    for (const DirectoryRow &row : directoryRows()) {
        row.edit->setText(row.setting ? m_settings.directory(*row.setting)
                                      : m_mainWindow.simulator().simulatorDirectory(false));
    }
    auto *folders = new QFileSystemModel(this);
    folders->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    folders->setRootPath(QString());
    for (QLineEdit *edit : {m_form->compilersEdit,
                            m_form->simulatorEdit,
                            m_form->syntaxEdit,
                            m_form->toolsEdit,
                            m_form->devBoardsEdit,
                            m_form->cirraneEdit,
                            m_form->projectsEdit}) {
        auto *completer = new QCompleter(folders, edit);
        edit->setCompleter(completer);
    }

    fillColourList(m_form->foregroundColourCombo);
    fillColourList(m_form->backgroundColourCombo);

    for (const QString &name : DisplaySettings::groupNames())
        m_groups.append(DisplaySettings::readGroup(m_settings.settings(), name));
    m_updating = true;
    m_form->textSettingsCombo->addItems(DisplaySettings::groupNames());
    m_updating = false;
    textSettingsIndexChanged(m_form->textSettingsCombo->currentText());

    loadPreferences();

    connect(m_form->buttonBox, &QDialogButtonBox::accepted, this, &ProgramSettingsDialog::accept);
    connect(m_form->buttonBox, &QDialogButtonBox::rejected, this, &ProgramSettingsDialog::reject);
    const auto button = [this](QAbstractButton *widget, void (ProgramSettingsDialog::*slot)(bool)) {
        connect(widget, &QAbstractButton::clicked, this, slot);
    };
    button(m_form->compilersButton, &ProgramSettingsDialog::compilersButtonClicked);
    button(m_form->compilersDefaultButton, &ProgramSettingsDialog::compilersDefaultButtonClicked);
    button(m_form->simulatorButton, &ProgramSettingsDialog::simulatorButtonClicked);
    button(m_form->simulatorDefaultButton, &ProgramSettingsDialog::simulatorDefaultButtonClicked);
    button(m_form->syntaxButton, &ProgramSettingsDialog::syntaxButtonClicked);
    button(m_form->syntaxDefaultButton, &ProgramSettingsDialog::syntaxDefaultButtonClicked);
    button(m_form->toolsButton, &ProgramSettingsDialog::toolsButtonClicked);
    button(m_form->toolsDefaultButton, &ProgramSettingsDialog::toolsDefaultButtonClicked);
    button(m_form->devBoardsButton, &ProgramSettingsDialog::devBoardsButtonClicked);
    button(m_form->devBoardsDefaultButton, &ProgramSettingsDialog::devBoardsDefaultButtonClicked);
    button(m_form->cirraneButton, &ProgramSettingsDialog::cirraneButtonClicked);
    button(m_form->cirraneDefaultButton, &ProgramSettingsDialog::cirraneDefaultButtonClicked);
    button(m_form->projectsButton, &ProgramSettingsDialog::projectsButtonClicked);
    button(m_form->projectsDefaultButton, &ProgramSettingsDialog::projectsDefaultButtonClicked);
    button(m_form->textSettingsDefaultsButton,
           &ProgramSettingsDialog::textSettingsDefaultsButtonClicked);
    connect(m_form->textSettingsCombo,
            &QComboBox::currentTextChanged,
            this,
            &ProgramSettingsDialog::textSettingsIndexChanged);
    connect(m_form->displayItemsList,
            &QListWidget::currentTextChanged,
            this,
            &ProgramSettingsDialog::displayItemsTextChanged);
    connect(m_form->foregroundColourCombo,
            &QComboBox::textActivated,
            this,
            &ProgramSettingsDialog::foregroundColourIndexChanged);
    connect(m_form->backgroundColourCombo,
            &QComboBox::textActivated,
            this,
            &ProgramSettingsDialog::backgroundColourIndexChanged);
    connect(m_form->fontNameCombo,
            &QFontComboBox::currentFontChanged,
            this,
            &ProgramSettingsDialog::fontNameCurrentFontChanged);
    connect(m_form->fontSizeCombo,
            &QComboBox::textActivated,
            this,
            &ProgramSettingsDialog::fontSizeIndexChanged);
    connect(m_form->boldCheckBox,
            &QCheckBox::stateChanged,
            this,
            &ProgramSettingsDialog::boldCheckBoxStateChanged);
    connect(m_form->italicCheckBox,
            &QCheckBox::stateChanged,
            this,
            &ProgramSettingsDialog::italicCheckBoxStateChanged);
    connect(m_form->underlineCheckBox,
            &QCheckBox::stateChanged,
            this,
            &ProgramSettingsDialog::underlineCheckBoxStateChanged);
    connect(m_form->foregroundDefaultCheckBox,
            &QCheckBox::stateChanged,
            this,
            &ProgramSettingsDialog::defaultCheckBoxStateChanged);
    connect(m_form->backgroundDefaultCheckBox,
            &QCheckBox::stateChanged,
            this,
            &ProgramSettingsDialog::defaultCheckBoxStateChanged);
    connect(m_form->foregroundCustomButton, &QPushButton::clicked, this, [this] {
        pickCustomColour(true);
    });
    connect(m_form->backgroundCustomButton, &QPushButton::clicked, this, [this] {
        pickCustomColour(false);
    });
}

ProgramSettingsDialog::~ProgramSettingsDialog() = default;

int ProgramSettingsDialog::helpContextId() const
{
    return 3 + m_form->tabWidget->currentIndex();
}

void ProgramSettingsDialog::fillColourList(QComboBox *combo)
{
    for (const NamedColour &named : namedColours) {
        QPixmap swatch(10, 10);
        swatch.fill(QColor(named.colour));
        combo->addItem(QIcon(swatch), tr(named.name));
    }
    combo->addItem(tr("Custom"));
}

// Directories

QList<ProgramSettingsDialog::DirectoryRow> ProgramSettingsDialog::directoryRows() const
{
    // In the order of Row.
    return {
        {m_form->compilersEdit,
         QT_TR_NOOP("Compilers Configuration Files Directory"),
         SettingsStore::Compilers},
        {m_form->simulatorEdit,
         QT_TR_NOOP("Simulator Configuration Files Directory"),
         SettingsStore::Simulator},
        {m_form->syntaxEdit,
         QT_TR_NOOP("Syntax Higlighting Files Directory"),
         SettingsStore::Syntax},
        {m_form->toolsEdit, QT_TR_NOOP("Tools Directory"), SettingsStore::Tools},
        {m_form->devBoardsEdit,
         QT_TR_NOOP("Development Boards Directory"),
         SettingsStore::DevBoards},
        {m_form->cirraneEdit, QT_TR_NOOP("Cirrane Directory"), std::nullopt},
        {m_form->projectsEdit, QT_TR_NOOP("Projects Directory"), SettingsStore::Projects},
    };
}

void ProgramSettingsDialog::browse(Row row)
{
    const DirectoryRow field = directoryRows().at(row);
    const QString chosen = Prompts::instance().existingDirectory(this,
                                                                 tr(field.caption),
                                                                 field.edit->text());
    if (!chosen.isEmpty())
        field.edit->setText(QDir::toNativeSeparators(chosen));
}

void ProgramSettingsDialog::setDefault(Row row)
{
    const DirectoryRow field = directoryRows().at(row);
    field.edit->setText(field.setting ? SettingsStore::defaultDirectory(*field.setting)
                                      : m_mainWindow.simulator().simulatorDirectory(true));
}

void ProgramSettingsDialog::compilersButtonClicked(bool)
{
    browse(CompilersRow);
}

void ProgramSettingsDialog::compilersDefaultButtonClicked(bool)
{
    setDefault(CompilersRow);
}

void ProgramSettingsDialog::simulatorButtonClicked(bool)
{
    browse(SimulatorRow);
}

void ProgramSettingsDialog::simulatorDefaultButtonClicked(bool)
{
    setDefault(SimulatorRow);
}

void ProgramSettingsDialog::syntaxButtonClicked(bool)
{
    browse(SyntaxRow);
}

void ProgramSettingsDialog::syntaxDefaultButtonClicked(bool)
{
    setDefault(SyntaxRow);
}

void ProgramSettingsDialog::toolsButtonClicked(bool)
{
    browse(ToolsRow);
}

void ProgramSettingsDialog::toolsDefaultButtonClicked(bool)
{
    setDefault(ToolsRow);
}

void ProgramSettingsDialog::devBoardsButtonClicked(bool)
{
    browse(DevBoardsRow);
}

void ProgramSettingsDialog::devBoardsDefaultButtonClicked(bool)
{
    setDefault(DevBoardsRow);
}

void ProgramSettingsDialog::cirraneButtonClicked(bool)
{
    browse(CirraneRow);
}

void ProgramSettingsDialog::cirraneDefaultButtonClicked(bool)
{
    setDefault(CirraneRow);
}

void ProgramSettingsDialog::projectsButtonClicked(bool)
{
    browse(ProjectsRow);
}

void ProgramSettingsDialog::projectsDefaultButtonClicked(bool)
{
    setDefault(ProjectsRow);
}

// Fonts and colours

DisplayGroup *ProgramSettingsDialog::currentGroup()
{
    const int index = m_form->textSettingsCombo->currentIndex();
    return index >= 0 && index < m_groups.size() ? &m_groups[index] : nullptr;
}

DisplayItem *ProgramSettingsDialog::currentItem()
{
    DisplayGroup *group = currentGroup();
    const QListWidgetItem *row = m_form->displayItemsList->currentItem();
    return group && row ? group->item(row->text()) : nullptr;
}

void ProgramSettingsDialog::textSettingsIndexChanged(const QString &)
{
    const DisplayGroup *group = currentGroup();
    if (!group || m_updating)
        return;
    m_updating = true;
    m_form->fontNameCombo->setCurrentFont(group->font);
    m_form->fontSizeCombo->clear();
    for (int size = smallestSize; size <= largestSize; ++size)
        m_form->fontSizeCombo->addItem(QString::number(size));
    // A size outside the list stays in use; the list shows its first entry.
    if (group->fontSize >= smallestSize && group->fontSize <= largestSize)
        m_form->fontSizeCombo->setCurrentIndex(group->fontSize - smallestSize);
    m_form->displayItemsList->clear();
    for (const DisplayItem &item : group->items)
        m_form->displayItemsList->addItem(item.name);
    m_form->displayItemsList->setCurrentRow(0);
    m_updating = false;
    showItem();
}

void ProgramSettingsDialog::textSettingsDefaultsButtonClicked(bool)
{
    DisplayGroup *group = currentGroup();
    if (!group)
        return;
    *group = DisplaySettings::defaultGroup(group->name);
    textSettingsIndexChanged(group->name);
}

void ProgramSettingsDialog::displayItemsTextChanged(const QString &)
{
    if (!m_updating)
        showItem();
}

void ProgramSettingsDialog::showColour(QComboBox *combo, const QColor &colour)
{
    int index = namedColourCount; // "Custom"
    for (int i = 0; i < namedColourCount; ++i) {
        if (QColor(namedColours[i].colour) == colour)
            index = i;
    }
    combo->setCurrentIndex(index);
}

void ProgramSettingsDialog::showItem()
{
    const DisplayItem *item = currentItem();
    if (!item)
        return;
    m_updating = true;
    showColour(m_form->foregroundColourCombo, item->foreground);
    showColour(m_form->backgroundColourCombo, item->background);
    m_form->foregroundDefaultCheckBox->setVisible(!item->fixedForeground);
    m_form->foregroundDefaultCheckBox->setChecked(!item->fixedForeground && item->defaultForeground);
    m_form->backgroundDefaultCheckBox->setVisible(!item->fixedBackground);
    m_form->backgroundDefaultCheckBox->setChecked(!item->fixedBackground && item->defaultBackground);
    const bool foregroundOwn = !m_form->foregroundDefaultCheckBox->isChecked();
    m_form->foregroundColourCombo->setEnabled(foregroundOwn);
    m_form->foregroundCustomButton->setEnabled(foregroundOwn);
    const bool backgroundOwn = !item->foregroundOnly
                               && !m_form->backgroundDefaultCheckBox->isChecked();
    m_form->backgroundColourCombo->setEnabled(backgroundOwn);
    m_form->backgroundCustomButton->setEnabled(backgroundOwn);
    m_form->backgroundDefaultCheckBox->setEnabled(!item->foregroundOnly);
    m_form->backgroundLabel->setEnabled(!item->foregroundOnly);
    m_form->boldCheckBox->setChecked(item->bold);
    m_form->italicCheckBox->setChecked(item->italic);
    m_form->underlineCheckBox->setChecked(item->underline);
    for (QCheckBox *style :
         {m_form->boldCheckBox, m_form->italicCheckBox, m_form->underlineCheckBox})
        style->setEnabled(!item->coloursOnly);
    m_updating = false;
    updateSample();
}

void ProgramSettingsDialog::foregroundColourIndexChanged(const QString &)
{
    DisplayItem *item = currentItem();
    const int index = m_form->foregroundColourCombo->currentIndex();
    if (!item || m_updating || index < 0 || index >= namedColourCount)
        return;
    item->foreground = QColor(namedColours[index].colour);
    updateSample();
}

void ProgramSettingsDialog::backgroundColourIndexChanged(const QString &)
{
    DisplayItem *item = currentItem();
    const int index = m_form->backgroundColourCombo->currentIndex();
    if (!item || m_updating || index < 0 || index >= namedColourCount)
        return;
    item->background = QColor(namedColours[index].colour);
    updateSample();
}

// Any colour at all, through the colour chooser.
void ProgramSettingsDialog::pickCustomColour(bool foreground)
{
    DisplayItem *item = currentItem();
    if (!item)
        return;
    QColor &colour = foreground ? item->foreground : item->background;
    const QColor chosen = Prompts::instance().colour(this,
                                                     foreground ? tr("Item foreground")
                                                                : tr("Item background"),
                                                     colour);
    if (!chosen.isValid())
        return;
    colour = chosen;
    showItem();
}

void ProgramSettingsDialog::fontNameCurrentFontChanged(const QFont &font)
{
    DisplayGroup *group = currentGroup();
    if (!group || m_updating)
        return;
    group->font = QFont(font.family());
    updateSample();
}

void ProgramSettingsDialog::fontSizeIndexChanged(const QString &text)
{
    DisplayGroup *group = currentGroup();
    bool ok = false;
    const int size = text.toInt(&ok);
    if (!group || m_updating || !ok)
        return;
    group->fontSize = size;
    updateSample();
}

void ProgramSettingsDialog::boldCheckBoxStateChanged(int state)
{
    DisplayItem *item = currentItem();
    if (!item || m_updating)
        return;
    item->bold = state == Qt::Checked;
    updateSample();
}

void ProgramSettingsDialog::italicCheckBoxStateChanged(int state)
{
    DisplayItem *item = currentItem();
    if (!item || m_updating)
        return;
    item->italic = state == Qt::Checked;
    updateSample();
}

void ProgramSettingsDialog::underlineCheckBoxStateChanged(int state)
{
    DisplayItem *item = currentItem();
    if (!item || m_updating)
        return;
    item->underline = state == Qt::Checked;
    updateSample();
}

void ProgramSettingsDialog::defaultCheckBoxStateChanged(int)
{
    DisplayItem *item = currentItem();
    if (!item || m_updating)
        return;
    if (!item->fixedForeground)
        item->defaultForeground = m_form->foregroundDefaultCheckBox->isChecked();
    if (!item->fixedBackground)
        item->defaultBackground = m_form->backgroundDefaultCheckBox->isChecked();
    showItem();
}

void ProgramSettingsDialog::updateSample()
{
    DisplayGroup *group = currentGroup();
    if (!group || !currentItem())
        return;
    QTextEdit *sample = m_form->sampleEdit;
    sample->clear();
    sample->append(QString());
    QTextCursor cursor = sample->textCursor();
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QStringLiteral("Text"), DisplaySettings::format(*group, currentItem()->name));
}

// Preferences

QList<ProgramSettingsDialog::PreferenceRow> ProgramSettingsDialog::preferenceRows() const
{
    return {
        {"Highlight current line", m_form->highlightCurrentLineCheckBox},
        {"Display line numbers", m_form->displayLineNumbersCheckBox},
        {"Brace matching", m_form->braceMatchingCombo},
        {"Indent width", m_form->indentWidthSpinBox},
        {"Tab indents", m_form->tabIndentsCheckBox},
        {"Tab width", m_form->tabWidthSpinBox},
        {"Tabs for indents", m_form->useTabsRadioButton},
        {"Auto indent", m_form->autoIndentCheckBox},
        {"Backspace unindents", m_form->backspaceUnindentsCheckBox},
        {"Display indentation guides", m_form->displayIndentationGuidesCheckBox},
        {"Whitespaces visibility", m_form->whitespacesVisibilityCombo},
        {"Wrap mode", m_form->wrapModeCombo},
        {"Folding style", m_form->foldingStyleCombo},
    };
}

void ProgramSettingsDialog::loadPreferences()
{
    QSettings &store = m_settings.settings();
    store.beginGroup(QLatin1String(preferencesGroup));
    for (const PreferenceRow &row : preferenceRows()) {
        const QVariant fallback = EditorPreferences::defaultValue(row.key);
        const QVariant value = store.value(QLatin1String(row.key), fallback);
        if (auto *combo = qobject_cast<QComboBox *>(row.control)) {
            const int index = value.toInt();
            combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : fallback.toInt());
        } else if (auto *spin = qobject_cast<QSpinBox *>(row.control)) {
            spin->setValue(value.toInt());
        } else if (auto *button = qobject_cast<QAbstractButton *>(row.control)) {
            button->setChecked(value.toBool());
        }
    }
    // Spaces for indents is the other choice of the pair.
    m_form->useSpacesRadioButton->setChecked(!m_form->useTabsRadioButton->isChecked());
    store.endGroup();
}

void ProgramSettingsDialog::storePreferences()
{
    QSettings &store = m_settings.settings();
    store.beginGroup(QLatin1String(preferencesGroup));
    for (const PreferenceRow &row : preferenceRows()) {
        QVariant value;
        if (const auto *combo = qobject_cast<const QComboBox *>(row.control))
            value = combo->currentIndex();
        else if (const auto *spin = qobject_cast<const QSpinBox *>(row.control))
            value = spin->value();
        else if (const auto *button = qobject_cast<const QAbstractButton *>(row.control))
            value = button->isChecked();
        store.setValue(QLatin1String(row.key), value);
    }
    store.endGroup();
}

void ProgramSettingsDialog::accept()
{
    const QList<DirectoryRow> directories = directoryRows();
    // A mistyped directory is easier to put right here than after the program looked in it.
    // One without its full path would be looked for wherever a program runs (make runs in a
    // project's folder), so it is never kept.
    QStringList missing;
    QStringList partial;
    QLineEdit *firstMissing = nullptr;
    QLineEdit *firstPartial = nullptr;
    for (const DirectoryRow &row : directories) {
        const QString path = row.edit->text().trimmed();
        if (path.isEmpty())
            continue;
        if (QDir::isRelativePath(path)) {
            partial.append(path);
            firstPartial = firstPartial ? firstPartial : row.edit;
        } else if (!QFileInfo(path).isDir()) {
            missing.append(path);
            firstMissing = firstMissing ? firstMissing : row.edit;
        }
    }
    const auto showFirst = [this](QLineEdit *edit) {
        m_form->tabWidget->setCurrentIndex(0);
        edit->setFocus();
        edit->selectAll();
    };
    if (!partial.isEmpty()) {
        Prompts::instance().message(QMessageBox::Warning,
                                    this,
                                    tr("Editor Settings"),
                                    tr("These directories are not full paths:\n%1")
                                        .arg(partial.join(QLatin1Char('\n'))),
                                    QMessageBox::Ok,
                                    QMessageBox::Ok);
        showFirst(firstPartial);
        return;
    }
    if (!missing.isEmpty()
        && Prompts::instance().message(QMessageBox::Warning,
                                       this,
                                       tr("Editor Settings"),
                                       tr("These directories do not exist:\n%1\n\nKeep them?")
                                           .arg(missing.join(QLatin1Char('\n'))),
                                       QMessageBox::Yes | QMessageBox::No,
                                       QMessageBox::No)
               != QMessageBox::Yes) {
        showFirst(firstMissing);
        return;
    }
    for (const DirectoryRow &row : directories) {
        if (row.setting)
            m_settings.setDirectory(*row.setting, row.edit->text().trimmed());
        else
            m_settings.setCirraneDirectory(row.edit->text().trimmed());
    }
    for (const DisplayGroup &group : std::as_const(m_groups))
        DisplaySettings::writeGroup(m_settings.settings(), group);
    storePreferences();
    m_settings.sync();
    CirraneDialog::accept();
}
