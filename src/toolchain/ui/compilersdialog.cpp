#include "compilersdialog.h"
#include "ui_compilersdialog.h"

#include "toolchain/buildconfig.h"
#include "toolchain/buildconfiglist.h"
#include "toolchain/buildtool.h"

#include "core/mainservices.h"
#include "core/outputsink.h"
#include "core/ui/busycursor.h"
#include "core/ui/prompts.h"

#include <QCompleter>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>

namespace {

enum Column { NameColumn, InstalledColumn, FileColumn, DirectoryColumn, VersionColumn };

bool isSimulatorMakers(const QString &name)
{
    return name.contains(QLatin1String("cirrane"), Qt::CaseInsensitive);
}

} // namespace

CompilersDialog::CompilersDialog(BuildConfigList *catalogue,
                                 MainServices *mainWindow,
                                 QWidget *parent)
    : CirraneDialog(parent)
    , m_form(std::make_unique<Ui::CompilersDialog>())
    , m_catalogue(catalogue)
    , m_mainWindow(servicesOf(mainWindow))
    , m_scan(catalogue)
{
    m_form->setupUi(this);
    QTableWidget *table = m_form->compilersTable;
    table->setColumnCount(5);
    table->setHorizontalHeaderLabels({tr("Compiler"),
                                      tr("Installed"),
                                      tr("Config File"),
                                      tr("Compiler Directory"),
                                      tr("Version")});
    table->setColumnHidden(FileColumn, true);
    table->verticalHeader()->hide();
    fillTable();
    if (table->rowCount() > 0)
        table->setCurrentCell(0, NameColumn);

    connect(m_form->saveButton, &QPushButton::clicked, this, &CompilersDialog::saveButtonClicked);
    connect(m_form->checkAllButton,
            &QPushButton::clicked,
            this,
            &CompilersDialog::checkAllButtonClicked);
    connect(m_form->checkButton, &QPushButton::clicked, this, &CompilersDialog::checkButtonClicked);
    connect(m_form->manualButton,
            &QPushButton::clicked,
            this,
            &CompilersDialog::manualButtonClicked);
    connect(m_form->cancelButton,
            &QPushButton::clicked,
            this,
            &CompilersDialog::cancelButtonClicked);
    connect(m_form->websiteButton,
            &QPushButton::clicked,
            this,
            qOverload<bool>(&CompilersDialog::openHyperlink));
    connect(table,
            &QTableWidget::cellDoubleClicked,
            this,
            qOverload<int, int>(&CompilersDialog::openHyperlink));
}

CompilersDialog::~CompilersDialog() = default;

void CompilersDialog::fillTable()
{
    QTableWidget *table = m_form->compilersTable;
    const QList<CompilerScan::Row> &rows = m_scan.rows();
    table->setRowCount(int(rows.size()));
    // One completer for every directory cell, offering folders as a path is typed.
    auto *folders = new QFileSystemModel(this);
    folders->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    folders->setRootPath(QString());
    auto *completer = new QCompleter(folders, this);
    for (int row = 0; row < rows.size(); ++row) {
        auto *name = new QTableWidgetItem(rows[row].name);
        if (isSimulatorMakers(rows[row].name))
            name->setForeground(QColor(0, 0, 125));
        else
            name->setToolTip(tr("Double click to visit compiler's website"));
        table->setItem(row, NameColumn, name);
        table->setItem(row, InstalledColumn, new QTableWidgetItem);
        table->setItem(row, FileColumn, new QTableWidgetItem(rows[row].configFile));
        table->setItem(row, VersionColumn, new QTableWidgetItem);
        auto *directory = new QLineEdit(table);
        directory->setFrame(false);
        directory->setCompleter(completer);
        table->setCellWidget(row, DirectoryColumn, directory);
        showRow(row);
    }
}

void CompilersDialog::showRow(int row)
{
    const CompilerScan::Row &entry = m_scan.rows().at(row);
    QTableWidget *table = m_form->compilersTable;
    table->item(row, InstalledColumn)->setText(entry.installed ? tr("Yes") : tr("No"));
    // What the installed compiler says of itself.
    table->item(row, VersionColumn)->setText(m_scan.installedVersion(row));
    if (auto *directory = qobject_cast<QLineEdit *>(table->cellWidget(row, DirectoryColumn)))
        directory->setText(entry.directory);
}

void CompilersDialog::checkRows(int first, int last)
{
    const BusyCursor busy;
    m_mainWindow.output().clearOutput();
    m_scan.startChecking();
    QTableWidget *table = m_form->compilersTable;
    for (int row = first; row <= last; ++row) {
        table->item(row, InstalledColumn)->setText(tr("Checking..."));
        table->setCurrentCell(row, NameColumn);
        QCoreApplication::processEvents();
        m_scan.checkRow(row);
        showRow(row);
    }
    fitColumns();
    m_scan.writeSummary();
}

void CompilersDialog::checkButtonClicked(bool)
{
    const int row = m_form->compilersTable->currentRow();
    if (row >= 0)
        checkRows(row, row);
}

void CompilersDialog::checkAllButtonClicked(bool)
{
    checkRows(0, m_form->compilersTable->rowCount() - 1);
}

void CompilersDialog::manualButtonClicked(bool)
{
    const int row = m_form->compilersTable->currentRow();
    if (row < 0)
        return;
    CompilerScan::Row &entry = m_scan.rows()[row];
    // Programs on Linux have no suffix: "*.*" would hide them.
    const QString file = Prompts::instance().openFileName(this,
                                                          tr("Open File"),
                                                          entry.directory,
                                                          tr("All files (*)"));
    if (file.isEmpty())
        return;
    const QString directory = QFileInfo(file).absolutePath();
    if (!QFileInfo(directory).isDir())
        return;
    // A folder that holds none of the compiler's programs is most likely a slip.
    if (const BuildConfig *config = m_catalogue ? m_catalogue->find(entry.name) : nullptr) {
        QStringList programs;
        bool found = config->tools().isEmpty();
        for (const BuildTool *tool : config->tools()) {
            programs.append(tool->file());
            found = found || QFileInfo(QDir(directory).filePath(tool->file())).isFile()
                    || QFileInfo(QDir(directory).filePath(tool->file() + QStringLiteral(".exe")))
                           .isFile();
        }
        if (!found
            && Prompts::instance().message(QMessageBox::Warning,
                                           this,
                                           windowTitle(),
                                           tr("%1 holds none of the programs of %2 (%3).")
                                               .arg(QDir::toNativeSeparators(directory),
                                                    entry.name,
                                                    programs.join(QStringLiteral(", "))),
                                           QMessageBox::Yes | QMessageBox::No,
                                           QMessageBox::No,
                                           tr("Use this folder all the same?"))
                   != QMessageBox::Yes)
            return;
    }
    entry.directory = directory;
    entry.installed = !directory.isEmpty();
    showRow(row);
}

void CompilersDialog::saveButtonClicked(bool)
{
    QTableWidget *table = m_form->compilersTable;
    QList<CompilerScan::Row> &rows = m_scan.rows();
    for (int row = 0; row < rows.size(); ++row) {
        const auto *edit = qobject_cast<QLineEdit *>(table->cellWidget(row, DirectoryColumn));
        const QString text = edit ? edit->text() : rows[row].directory;
        if (text == rows[row].directory)
            continue;
        // A directory typed by hand makes the compiler installed; none, not installed.
        rows[row].directory = QDir::fromNativeSeparators(text);
        rows[row].installed = !rows[row].directory.isEmpty();
    }
    m_scan.save();
    accept();
}

void CompilersDialog::cancelButtonClicked(bool)
{
    reject();
}

void CompilersDialog::openHyperlink(int row, int column)
{
    if (column != NameColumn || row < 0 || row >= m_scan.rows().size() || !m_catalogue)
        return;
    const BuildConfig *config = m_catalogue->find(m_scan.rows().at(row).name);
    if (config && !config->url().isEmpty())
        Prompts::instance().openUrl(QUrl(config->url()));
}

void CompilersDialog::openHyperlink(bool)
{
    openHyperlink(m_form->compilersTable->currentRow(), m_form->compilersTable->currentColumn());
}

// The compiler's name and version fit their columns; the directory takes the rest of the width.
void CompilersDialog::fitColumns()
{
    QTableWidget *table = m_form->compilersTable;
    table->resizeColumnToContents(NameColumn);
    table->resizeColumnToContents(VersionColumn);
    int others = 0;
    for (int column = 0; column < table->columnCount(); ++column) {
        if (column == DirectoryColumn)
            continue;
        if (!table->isColumnHidden(column))
            others += table->columnWidth(column);
    }
    table->setColumnWidth(DirectoryColumn, std::max(60, table->viewport()->width() - others - 20));
}

void CompilersDialog::resizeEvent(QResizeEvent *event)
{
    CirraneDialog::resizeEvent(event);
    fitColumns();
}

void CompilersDialog::showEvent(QShowEvent *event)
{
    CirraneDialog::showEvent(event);
    fitColumns();
}
