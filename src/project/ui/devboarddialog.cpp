#include "devboarddialog.h"
#include "ui_devboarddialog.h"

#include "project.h"

#include "toolchain/buildconfiglist.h"

#include "core/mainservices.h"
#include "core/settingsfiles.h"
#include "core/settingsstore.h"
#include "core/ui/busycursor.h"
#include "core/ui/prompts.h"

#include <QCompleter>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QRegularExpression>

namespace {

// Where a directory view item keeps its path, and whether it is a folder.
const int pathRole = Qt::UserRole;
const int folderRole = Qt::UserRole + 1;
const int readRole = Qt::UserRole + 2;

} // namespace

DevBoardDialog::DevBoardDialog(MainServices *mainWindow, BuildConfigList *catalogue, QWidget *parent)
    : CirraneDialog(parent)
    , m_form(std::make_unique<Ui::DevBoardDialog>())
    , m_mainWindow(servicesOf(mainWindow))
    , m_catalogue(catalogue)
{
    m_form->setupUi(this);
    m_form->directoryViewTreeWidget->setHeaderHidden(true);
    if (m_catalogue) {
        for (const FileTypeRecord &type : m_catalogue->allFileTypes()) {
            if (!m_knownSuffixes.contains(type.name.toUpper()))
                m_knownSuffixes.append(type.name.toUpper());
        }
    }
    auto *files = new QFileSystemModel(this);
    files->setRootPath(QString());
    auto *completer = new QCompleter(files, this);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    m_form->designFileEdit->setCompleter(completer);
    loadBoards();

    connect(m_form->backButton, &QPushButton::clicked, this, &DevBoardDialog::backButtonClicked);
    connect(m_form->nextButton, &QPushButton::clicked, this, &DevBoardDialog::nextButtonClicked);
    connect(m_form->okButton, &QPushButton::clicked, this, &DevBoardDialog::okButtonClicked);
    connect(m_form->cancelButton, &QPushButton::clicked, this, &DevBoardDialog::cancelButtonClicked);
    for (QRadioButton *radio :
         {m_form->demoProjectRadioButton, m_form->noneRadioButton, m_form->designFileRadioButton})
        connect(radio, &QRadioButton::toggled, this, &DevBoardDialog::radioButtonToggled);
    connect(m_form->designFileButton,
            &QToolButton::clicked,
            this,
            &DevBoardDialog::designFileButtonClicked);
    connect(m_form->designFileEdit,
            &QLineEdit::editingFinished,
            this,
            &DevBoardDialog::designFileEntryCompleted);
    connect(m_form->designFileEdit, &QLineEdit::textChanged, this, &DevBoardDialog::refreshState);
    connect(m_form->demoProjectComboBox,
            &QComboBox::currentTextChanged,
            this,
            &DevBoardDialog::demoProjectComboBoxCurrentIndexChanged);
    connect(m_form->demoProjectsList,
            &QListWidget::currentTextChanged,
            this,
            &DevBoardDialog::demoProjectsListCurrentTextChanged);
    QTreeWidget *tree = m_form->directoryViewTreeWidget;
    connect(tree, &QTreeWidget::itemChanged, this, &DevBoardDialog::directoryTreeItemChanged);
    connect(tree, &QTreeWidget::itemClicked, this, &DevBoardDialog::directoryTreeItemClicked);
    connect(tree, &QTreeWidget::itemExpanded, this, &DevBoardDialog::directoryTreeItemExpanded);
    demoProjectComboBoxCurrentIndexChanged(m_form->demoProjectComboBox->currentText());
    refreshState();
    // The arrow keys choose a board at once.
    m_form->demoProjectsList->setFocus();
}

DevBoardDialog::~DevBoardDialog() = default;

void DevBoardDialog::setWizardPage(bool wizard)
{
    m_form->backButton->setVisible(!wizard);
    m_form->okButton->setVisible(!wizard);
}

// Every folder of the development boards folder with a project in it is a board.
void DevBoardDialog::loadBoards()
{
    const BusyCursor busy;
    const QString root = m_mainWindow.files().settingsStore().directory(SettingsStore::DevBoards);
    const QDir boards(root);
    for (const QString &folder : boards.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QDir board(boards.filePath(folder));
        const QStringList projects = board.entryList({QStringLiteral("*.dyxp")}, QDir::Files);
        if (projects.isEmpty() || !projects.first().toUpper().endsWith(QLatin1String(".DYXP")))
            continue;
        auto project = std::make_unique<Project>(m_catalogue, nullptr);
        if (project->load(board.filePath(projects.first())))
            m_boards.push_back(std::move(project));
    }
    std::sort(m_boards.begin(), m_boards.end(), [](const auto &a, const auto &b) {
        return a->name() < b->name();
    });
    for (const auto &board : m_boards) {
        for (const QString &keyword : board->keywords()) {
            if (!m_categories.contains(keyword))
                m_categories.append(keyword);
        }
    }
    m_categories.sort();
    m_form->demoProjectComboBox->addItem(tr("All"));
    m_form->demoProjectComboBox->addItems(m_categories);
}

QStringList DevBoardDialog::boardNames() const
{
    QStringList names;
    for (int i = 0; i < m_form->demoProjectsList->count(); ++i)
        names.append(m_form->demoProjectsList->item(i)->text());
    return names;
}

Project *DevBoardDialog::selectedBoard() const
{
    return m_selected >= 0 && m_selected < int(m_boards.size()) ? m_boards[m_selected].get()
                                                                : nullptr;
}

QString DevBoardDialog::designFile() const
{
    return QDir::fromNativeSeparators(m_form->designFileEdit->text().trimmed());
}

void DevBoardDialog::demoProjectComboBoxCurrentIndexChanged(const QString &text)
{
    const bool all = m_form->demoProjectComboBox->currentIndex() <= 0;
    m_form->demoProjectsList->clear();
    for (const auto &board : m_boards) {
        if (all || board->keywords().contains(text))
            m_form->demoProjectsList->addItem(board->name());
    }
    m_selected = -1;
    m_form->configurationDescription->clear();
    // The first board is chosen until the user picks another.
    if (m_form->demoProjectsList->count() > 0)
        m_form->demoProjectsList->setCurrentRow(0);
    refreshState();
}

void DevBoardDialog::demoProjectsListCurrentTextChanged(const QString &text)
{
    m_selected = -1;
    for (int i = 0; i < int(m_boards.size()); ++i) {
        if (m_boards[i]->name() == text)
            m_selected = i;
    }
    m_form->configurationDescription->clear();
    if (Project *board = selectedBoard())
        board->describe(m_form->configurationDescription);
    refreshState();
}

void DevBoardDialog::radioButtonToggled(bool)
{
    refreshState();
}

bool DevBoardDialog::designFileValid() const
{
    const QFileInfo info(designFile());
    return info.isFile() && info.suffix().toUpper() == QLatin1String("DSN");
}

void DevBoardDialog::refreshState()
{
    if (m_form->demoProjectRadioButton->isChecked())
        m_mode = DemoMode;
    else if (m_form->designFileRadioButton->isChecked())
        m_mode = DesignFileMode;
    else
        m_mode = NoneMode;
    const bool demo = m_mode == DemoMode;
    m_form->demoProjectComboBox->setEnabled(demo);
    m_form->demoProjectsList->setEnabled(demo);
    m_form->designFileEdit->setEnabled(m_mode == DesignFileMode);
    m_form->designFileButton->setEnabled(m_mode == DesignFileMode);
    if (m_mode == DesignFileMode) {
        m_form->rightHandPaneWidget->setCurrentWidget(m_form->directoryViewWidget);
        if (designFileValid())
            showDirectory();
        m_form->nextButton->setEnabled(designFileValid());
    } else {
        m_form->rightHandPaneWidget->setCurrentWidget(m_form->defaultViewWidget);
        if (m_mode == NoneMode)
            m_form->configurationDescription->clear();
        else if (Project *board = selectedBoard()) {
            m_form->configurationDescription->clear();
            board->describe(m_form->configurationDescription);
        }
        m_form->nextButton->setEnabled(true);
    }
}

void DevBoardDialog::designFileButtonClicked(bool)
{
    const QFileInfo current(designFile());
    QString start = current.absolutePath();
    if (designFile().isEmpty() || !QFileInfo(start).isDir())
        start = m_mainWindow.files().settingsStore().projectsDirectory();
    const QString chosen = Prompts::instance().openFileName(this,
                                                            tr("Import Design File"),
                                                            start,
                                                            QStringLiteral("*.dsn"));
    if (!chosen.isEmpty())
        m_form->designFileEdit->setText(QDir::toNativeSeparators(chosen));
    refreshState();
}

void DevBoardDialog::designFileEntryCompleted()
{
    refreshState();
}

// The design file's folder: its files checked, its subfolders read when opened.
void DevBoardDialog::showDirectory()
{
    const QString directory = QFileInfo(designFile()).absolutePath();
    if (directory == m_shownDirectory)
        return;
    m_shownDirectory = directory;
    QTreeWidget *tree = m_form->directoryViewTreeWidget;
    const QSignalBlocker blocker(tree);
    tree->clear();
    auto *top = new QTreeWidgetItem(tree, {QDir::toNativeSeparators(directory)});
    top->setIcon(0, QIcon(QStringLiteral(":/images/project.png")));
    top->setData(0, pathRole, directory);
    top->setData(0, folderRole, true);
    readFolder(top, true);
    top->setExpanded(true);
}

void DevBoardDialog::readFolder(QTreeWidgetItem *folder, bool checked)
{
    if (folder->data(0, readRole).toBool())
        return;
    folder->setData(0, readRole, true);
    const QDir directory(folder->data(0, pathRole).toString());
    for (const QFileInfo &file : directory.entryInfoList(QDir::Files, QDir::Name)) {
        const QString suffix = file.suffix().toUpper();
        const bool project = suffix == QLatin1String("DYXP");
        if (!project && !m_knownSuffixes.contains(suffix))
            continue;
        auto *item = new QTreeWidgetItem(folder);
        item->setData(0, pathRole, file.absoluteFilePath());
        if (project) {
            item->setText(0, file.fileName() + tr(" (Project File)"));
            item->setIcon(0, QIcon(QStringLiteral(":/images/DYXStudio16.png")));
            item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
        } else {
            item->setText(0, file.fileName());
            item->setIcon(0, QIcon(QStringLiteral(":/images/project_source.png")));
            item->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
        }
    }
    for (const QFileInfo &sub :
         directory.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        auto *item = new QTreeWidgetItem(folder, {sub.fileName()});
        item->setIcon(0, QIcon(QStringLiteral(":/images/project.png")));
        item->setData(0, pathRole, sub.absoluteFilePath());
        item->setData(0, folderRole, true);
        item->setCheckState(0, Qt::Unchecked);
        item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    }
}

void DevBoardDialog::directoryTreeItemExpanded(QTreeWidgetItem *item)
{
    if (!item || !item->data(0, folderRole).toBool())
        return;
    const QSignalBlocker blocker(m_form->directoryViewTreeWidget);
    readFolder(item, item->checkState(0) == Qt::Checked);
}

void DevBoardDialog::directoryTreeItemClicked(QTreeWidgetItem *item, int)
{
    if (item && item->data(0, folderRole).toBool())
        item->setExpanded(!item->isExpanded());
}

// A folder's check box checks or clears what it holds.
void DevBoardDialog::directoryTreeItemChanged(QTreeWidgetItem *item, int)
{
    if (!item || !item->data(0, folderRole).toBool() || !item->parent())
        return;
    const QSignalBlocker blocker(m_form->directoryViewTreeWidget);
    for (int i = 0; i < item->childCount(); ++i) {
        QTreeWidgetItem *child = item->child(i);
        if (child->flags() & Qt::ItemIsUserCheckable)
            child->setCheckState(0, item->checkState(0));
    }
}

void DevBoardDialog::collectChecked(const QTreeWidgetItem *item, QStringList &files) const
{
    for (int i = 0; i < item->childCount(); ++i) {
        const QTreeWidgetItem *child = item->child(i);
        if (child->data(0, folderRole).toBool())
            collectChecked(child, files);
        else if ((child->flags() & Qt::ItemIsUserCheckable) && child->checkState(0) == Qt::Checked)
            files.append(child->data(0, pathRole).toString());
    }
}

void DevBoardDialog::backButtonClicked(bool)
{
    m_page = BackPage;
    accept();
}

void DevBoardDialog::nextButtonClicked(bool)
{
    m_filesToAdd.clear();
    if (m_mode == DesignFileMode) {
        if (!designFileValid())
            return;
        QStringList files;
        const QTreeWidget *tree = m_form->directoryViewTreeWidget;
        for (int i = 0; i < tree->topLevelItemCount(); ++i)
            collectChecked(tree->topLevelItem(i), files);
        files.append(QFileInfo(designFile()).absoluteFilePath());
        // Project files stay out.
        static const QRegularExpression notAProject(QStringLiteral("^.*\\.(?!dyxp$)"));
        for (const QString &file : std::as_const(files)) {
            if (notAProject.match(file).hasMatch() && !m_filesToAdd.contains(file))
                m_filesToAdd.append(file);
        }
    }
    m_page = NextPage;
    accept();
}

void DevBoardDialog::okButtonClicked(bool)
{
    m_page = OkPage;
    accept();
}

void DevBoardDialog::cancelButtonClicked(bool)
{
    m_page = Cancelled;
    reject();
}
