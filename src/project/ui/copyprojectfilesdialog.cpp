#include "copyprojectfilesdialog.h"
#include "ui_copyprojectfilesdialog.h"

#include "core/mainservices.h"
#include "core/settingsfiles.h"
#include "core/settingsstore.h"
#include "core/ui/prompts.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpressionValidator>

CopyProjectFilesDialog::CopyProjectFilesDialog(MainServices *mainWindow,
                                               const QString &proposedName,
                                               const QString &referencePath,
                                               bool storeInPlace,
                                               QWidget *parent)
    : CirraneDialog(parent)
    , m_form(std::make_unique<Ui::CopyProjectFilesDialog>())
    , m_storeInPlace(storeInPlace)
{
    m_form->setupUi(this);
    // Characters no file name may hold on any system the projects travel to.
    static const QRegularExpression name(QStringLiteral("[^\\\\/:*?\"<>|]+"));
    m_form->projectNameEdit->setValidator(new QRegularExpressionValidator(name, this));
    m_form->projectNameEdit->setText(proposedName);
    if (storeInPlace)
        m_form->locationLabel->setText(tr("Directory to store project in"));
    QString location;
    if (storeInPlace && !referencePath.isEmpty())
        location = QFileInfo(referencePath).absolutePath();
    else
        location = servicesOf(mainWindow).files().settingsStore().projectsDirectory();
    m_form->pathEdit->setText(QDir::toNativeSeparators(location));
    connect(m_form->okButton, &QPushButton::clicked, this, &CopyProjectFilesDialog::okButtonClicked);
    connect(m_form->cancelButton,
            &QPushButton::clicked,
            this,
            &CopyProjectFilesDialog::cancelButtonClicked);
    connect(m_form->browseButton,
            &QPushButton::clicked,
            this,
            &CopyProjectFilesDialog::selectRootFolder);
    connect(m_form->projectNameEdit,
            &QLineEdit::textChanged,
            this,
            &CopyProjectFilesDialog::projectNameChanged);
    projectNameChanged(m_form->projectNameEdit->text());
}

CopyProjectFilesDialog::~CopyProjectFilesDialog() = default;

bool CopyProjectFilesDialog::keepStructure() const
{
    return m_form->keepStructure->isChecked();
}

void CopyProjectFilesDialog::projectNameChanged(const QString &text)
{
    m_form->okButton->setEnabled(!text.isEmpty());
}

void CopyProjectFilesDialog::selectRootFolder(bool)
{
    const QString chosen = Prompts::instance().existingDirectory(this,
                                                                 tr("Open Directory"),
                                                                 m_form->pathEdit->text());
    if (!chosen.isEmpty())
        m_form->pathEdit->setText(QDir::toNativeSeparators(chosen));
}

void CopyProjectFilesDialog::okButtonClicked(bool)
{
    const QString name = m_form->projectNameEdit->text();
    if (name.isEmpty())
        return;
    QDir directory(QDir::fromNativeSeparators(m_form->pathEdit->text()));
    if (!m_storeInPlace)
        directory.setPath(directory.filePath(name));
    const QString path = directory.filePath(name + QStringLiteral(".dyxp"));
    if (QFileInfo::exists(path)
        && Prompts::instance().message(QMessageBox::Warning,
                                       this,
                                       windowTitle(),
                                       tr("A project with the same name already exists"),
                                       QMessageBox::Yes | QMessageBox::Cancel,
                                       QMessageBox::Cancel,
                                       tr("Do you want to overwrite it?"),
                                       {{QMessageBox::Yes, tr("Overwrite")}})
               != QMessageBox::Yes)
        return;
    m_projectPath = QDir::cleanPath(path);
    m_resultCode = OkResult;
    accept();
}

void CopyProjectFilesDialog::cancelButtonClicked(bool)
{
    m_resultCode = CancelResult;
    reject();
}
