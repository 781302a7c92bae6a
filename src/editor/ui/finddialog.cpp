#include "finddialog.h"
#include "ui_finddialog.h"

#include "srctabsholder.h"

#include "core/ui/prompts.h"

#include <QAction>
#include <QEvent>
#include <QLineEdit>

FindDialog::FindDialog(SrcTabsHolder *tabs, MainServices *, QWidget *parent)
    : CirraneDialog(parent)
    , m_form(std::make_unique<Ui::FindDialog>())
    , m_session(*tabs)
{
    m_form->setupUi(this);
    setModal(false);
    m_findNextAction = new QAction(QIcon(QStringLiteral(":/images/edit_search_next.png")),
                                   tr("Find &Next"),
                                   this);
    m_findNextAction->setShortcut(QKeySequence(tr("F3")));
    m_findNextAction->setStatusTip(tr("Find next match"));
    addAction(m_findNextAction);
    connect(m_findNextAction, &QAction::triggered, this, &FindDialog::findNextClicked);

    connect(m_form->findNextButton, &QPushButton::clicked, this, &FindDialog::findNextClicked);
    connect(m_form->replaceButton, &QPushButton::clicked, this, &FindDialog::replaceClicked);
    connect(m_form->replaceAllButton, &QPushButton::clicked, this, &FindDialog::replaceAllClicked);
    connect(m_form->cancelButton, &QPushButton::clicked, this, &FindDialog::cancelClicked);
    connect(m_form->replaceCheckBox,
            &QCheckBox::stateChanged,
            this,
            &FindDialog::replaceStateChanged);
    // Changing what is searched for starts again from the cursor; the direction does not.
    for (QCheckBox *option :
         {m_form->matchCaseCheckBox, m_form->wholeWordsCheckBox, m_form->regexCheckBox})
        connect(option, &QCheckBox::clicked, this, &FindDialog::restartFind);
    connect(m_form->lookInComboBox, &QComboBox::currentIndexChanged, this, &FindDialog::restartFind);
    for (QComboBox *combo : {m_form->findTextComboBox, m_form->replaceWithTextComboBox})
        combo->installEventFilter(this);
    watchComboBox(m_form->findTextComboBox);
    setReplaceMode(false);
}

FindDialog::~FindDialog() = default;

void FindDialog::setReplaceMode(bool replace)
{
    m_replaceMode = replace;
    setWindowTitle(replace ? tr("Find / Replace") : tr("Find"));
    m_form->replaceCheckBox->setChecked(replace);
    replaceStateChanged(replace ? Qt::Checked : Qt::Unchecked);
}

void FindDialog::setFindText(const QString &text)
{
    m_form->findTextComboBox->setEditText(text);
}

QString FindDialog::findText() const
{
    return m_form->findTextComboBox->currentText();
}

void FindDialog::restartFromCursor()
{
    m_session.restartFromCursor();
}

void FindDialog::restartFind()
{
    restartFromCursor();
}

void FindDialog::replaceStateChanged(int state)
{
    m_replaceMode = state == Qt::Checked;
    m_form->replaceWithTextComboBox->setEnabled(m_replaceMode);
    m_form->replaceButton->setEnabled(m_replaceMode);
    m_form->replaceAllButton->setEnabled(m_replaceMode);
}

void FindDialog::updateStrings(QComboBox *combo)
{
    QStringList history;
    for (int i = 0; i < combo->count(); ++i)
        history.append(combo->itemText(i));
    if (FindSession::addToHistory(history, combo->currentText()))
        combo->addItem(combo->currentText());
}

bool FindDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusOut) {
        if (watched == m_form->findTextComboBox || watched == m_form->replaceWithTextComboBox)
            updateStrings(static_cast<QComboBox *>(watched));
    }
    return CirraneDialog::eventFilter(watched, event);
}

FindSession::Options FindDialog::options() const
{
    FindSession::Options options;
    options.findText = m_form->findTextComboBox->currentText();
    options.replaceText = m_form->replaceWithTextComboBox->currentText();
    options.regex = m_form->regexCheckBox->isChecked();
    options.caseSensitive = m_form->matchCaseCheckBox->isChecked();
    options.wholeWords = m_form->wholeWordsCheckBox->isChecked();
    options.backwards = m_form->backwardsCheckBox->isChecked();
    options.scope = FindSession::Scope(m_form->lookInComboBox->currentIndex());
    return options;
}

void FindDialog::setControlsEnabled(bool enabled)
{
    m_form->findNextButton->setEnabled(enabled);
    m_form->cancelButton->setEnabled(enabled);
    m_form->replaceButton->setEnabled(enabled && m_replaceMode);
    m_form->replaceAllButton->setEnabled(enabled && m_replaceMode);
    repaint();
}

void FindDialog::reachedStart()
{
    Prompts::instance().message(QMessageBox::Information,
                                this,
                                tr("Find"),
                                tr("Reached start of search"));
}

void FindDialog::findNextClicked()
{
    setControlsEnabled(false);
    if (!m_session.findNext(options()))
        reachedStart();
    setControlsEnabled(true);
}

void FindDialog::replaceClicked(bool)
{
    setControlsEnabled(false);
    if (!m_session.replaceNext(options()))
        reachedStart();
    setControlsEnabled(true);
}

// Every match of every document in the scope is replaced, each document from its start to its
// end, the current one first: project files are opened as the search reaches them, and those
// without a match closed again. Each document's replacements are one step to undo.
void FindDialog::replaceAllClicked(bool)
{
    setControlsEnabled(false);
    const int count = m_session.replaceAll(options());
    Prompts::instance().message(QMessageBox::Information,
                                this,
                                tr("Find"),
                                tr("Replaced %1 occurences").arg(count));
    setControlsEnabled(true);
}

void FindDialog::cancelClicked(bool)
{
    hide();
}
