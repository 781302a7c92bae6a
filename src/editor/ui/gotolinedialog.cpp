#include "gotolinedialog.h"
#include "ui_gotolinedialog.h"

#include "sourceeditor.h"
#include "srctabsholder.h"

#include <QIntValidator>
#include <QRegularExpression>

GotoLineDialog::GotoLineDialog(SrcTabsHolder *tabs, QWidget *parent)
    : CirraneDialog(parent)
    , m_form(std::make_unique<Ui::GotoLineClass>())
    , m_tabs(tabs)
    , m_validator(new QIntValidator(1, 999999, this))
{
    m_form->setupUi(this);
    m_form->lineEdit->setValidator(m_validator);
    connect(m_form->buttonBox, &QDialogButtonBox::accepted, this, &GotoLineDialog::accept);
    connect(m_form->buttonBox, &QDialogButtonBox::rejected, this, &GotoLineDialog::reject);
}

GotoLineDialog::~GotoLineDialog() = default;

void GotoLineDialog::showForCurrentEditor()
{
    const SourceEditor *editor = m_tabs ? m_tabs->currentEditor() : nullptr;
    if (!editor)
        return;
    const int lines = editor->lines();
    m_form->linesLabel->setText(tr("Line number (1 - %1)").arg(lines));
    m_validator->setRange(1, qMax(lines, 1));
    // A number left from a longer document is cut to this one.
    if (m_form->lineEdit->text().toInt() > lines)
        m_form->lineEdit->setText(QString::number(lines));
    if (lines < 1)
        return;
    show();
    m_form->lineEdit->setFocus();
    m_form->lineEdit->selectAll();
}

void GotoLineDialog::accept()
{
    SourceEditor *editor = m_tabs ? m_tabs->currentEditor() : nullptr;
    if (editor && !m_form->lineEdit->text().isEmpty()) {
        const int line = qBound(1, m_form->lineEdit->text().toInt(), qMax(editor->lines(), 1));
        static const QRegularExpression nonBlank(QStringLiteral("\\S"));
        const int index = int(editor->text(line - 1).indexOf(nonBlank));
        editor->setCursorPosition(line - 1, index);
        editor->ensureCursorVisible();
        editor->setFocus();
    }
    CirraneDialog::accept();
}
