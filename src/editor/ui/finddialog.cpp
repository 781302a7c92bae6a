#include "finddialog.h"
#include "ui_finddialog.h"

#include "sourceeditor.h"
#include "srctabsholder.h"

#include "core/mainservices.h"
#include "core/projectqueries.h"
#include "core/ui/prompts.h"
#include "editor/textsearch.h"

#include <QAction>
#include <QEvent>
#include <QFileInfo>
#include <QLineEdit>

FindDialog::FindDialog(SrcTabsHolder *tabs, MainServices *mainWindow, QWidget *parent)
    : CirraneDialog(parent)
    , m_form(std::make_unique<Ui::FindDialog>())
    , m_tabs(tabs)
    , m_mainWindow(servicesOf(mainWindow))
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
    m_state.restart = true;
    m_state.inDocument = true;
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
    if (FindState::addToHistory(history, combo->currentText()))
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

void FindDialog::restartSearch()
{
    const SourceEditor *editor = m_tabs->currentEditor();
    int line = 0;
    int index = 0;
    if (editor)
        editor->getCursorPosition(&line, &index);
    const QStringList projectFiles = m_mainWindow.projects().currentProjectFiles();
    m_state.restartAt(editor ? editor->filePath() : QString(),
                      line,
                      index,
                      m_tabs->openPaths(),
                      FindState::Scope(m_form->lookInComboBox->currentIndex()),
                      projectFiles);
    // With no editor open, the search begins with the first file of its scope.
    if (!editor)
        m_state.inDocument = false;
}

// A project file that is missing or cannot be read has nothing to find in it, and opening it
// would leave an empty tab.
static bool isSearchable(const QString &path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isReadable();
}

bool FindDialog::takeNextFile(QString &taken)
{
    // A project file missing from the disk has nothing to find in it.
    do {
        if (m_state.files.isEmpty())
            return false;
        taken = m_state.files.takeFirst();
        if (taken.isEmpty())
            return false;
    } while (!isSearchable(taken));
    m_tabs->openFile(taken);
    m_state.enterDocument();
    m_state.firstCall = true;
    return true;
}

bool FindDialog::findNextMatch(FindState::Mode mode)
{
    FindState &s = m_state;
    const QString find = m_form->findTextComboBox->currentText();
    if (find != s.findText) {
        s.findText = find;
        s.restart = true;
    }
    if (s.findText.isEmpty())
        return false;
    const QString replace = m_form->replaceWithTextComboBox->currentText();
    if (replace != s.replaceText) {
        s.replaceText = replace;
        s.restart = true;
    }
    if (!s.inDocument && s.files.isEmpty()) {
        // The last search ran out: the next one starts afresh.
        restartSearch();
        return false;
    }
    takeOptions();
    s.wrap = true;
    s.forward = !m_form->backwardsCheckBox->isChecked();
    s.show = true;
    if (s.restart)
        restartSearch();
    QString taken;
    while (true) {
        if (!s.inDocument) {
            if (!takeNextFile(taken))
                return false;
        }
        SourceEditor *editor = m_tabs->currentEditor();
        if (!editor)
            return false;
        if (!editor->refersTo(s.startFile)) {
            s.enterDocument();
            s.startFile = editor->filePath();
        }
        if (mode == FindState::ReplaceAll) {
            // Replace all runs from the end of a document towards its start.
            s.forward = false;
            s.wrap = false;
            if (s.firstMatchLine < 0) {
                s.line = qMax(editor->lines() - 1, 0);
                s.index = editor->lineLength(s.line);
            }
        }
        bool found = false;
        // After an empty match the next search starts a character on: it would find the same
        // empty match again.
        if (!s.firstCall && mode != FindState::ReplaceAll && !editor->hasSelectedText()) {
            int line = 0;
            int index = 0;
            editor->getCursorPosition(&line, &index);
            if (line == s.line && index == s.index) {
                s.firstCall = true;
                editor->stepPosition(s.line, s.index, s.forward);
            }
        }
        if (s.firstCall) {
            s.firstCall = false;
            found = editor->findFirst(s.findText,
                                      s.regex,
                                      s.caseSensitive,
                                      s.wholeWords,
                                      s.wrap,
                                      s.forward,
                                      s.line,
                                      s.index,
                                      s.show);
        } else {
            found = editor->findNext();
        }
        if (found && editor->hasSelectedText()) {
            int endLine = 0;
            int endIndex = 0;
            editor->getSelection(&s.line, &s.index, &endLine, &endIndex);
        } else if (found) {
            // An empty match selects nothing: it is where the cursor stands.
            editor->getCursorPosition(&s.line, &s.index);
        }
        s.inDocument = found;
        if (!taken.isEmpty() && !found)
            m_tabs->closeFile(taken, false);
        if (!found)
            continue;
        if (s.cameRound(s.line, s.index, mode)) {
            s.inDocument = false;
            continue;
        }
        break;
    }
    s.noteMatch(s.line, s.index);
    return true;
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
    restartFromCursor();
}

void FindDialog::findNextClicked()
{
    setControlsEnabled(false);
    if (!findNextMatch(FindState::Find))
        reachedStart();
    setControlsEnabled(true);
}

void FindDialog::replaceClicked(bool)
{
    setControlsEnabled(false);
    const int replaceLength = int(m_form->replaceWithTextComboBox->currentText().size());
    const int findLength = int(m_form->findTextComboBox->currentText().size());
    if (findNextMatch(FindState::Replace)) {
        FindState &s = m_state;
        if (SourceEditor *editor = m_tabs->currentEditor()) {
            // A search upwards leaves no groups for the replacement to use: the match is found
            // again forwards, from where it starts.
            if (s.regex && !s.forward)
                editor->findFirst(s.findText,
                                  s.regex,
                                  s.caseSensitive,
                                  s.wholeWords,
                                  false,
                                  true,
                                  s.line,
                                  s.index,
                                  s.show);
            editor->replace(s.replaceText);
        }
        if (s.line == s.firstMatchLine && s.index < s.firstMatchIndex)
            s.firstMatchIndex += replaceLength - findLength;
        if (s.forward)
            s.index += replaceLength;
        s.firstCall = true;
    } else {
        reachedStart();
    }
    setControlsEnabled(true);
}

void FindDialog::takeOptions()
{
    m_state.regex = m_form->regexCheckBox->isChecked();
    m_state.caseSensitive = m_form->matchCaseCheckBox->isChecked();
    m_state.wholeWords = m_form->wholeWordsCheckBox->isChecked();
}

// Every match of every document in the scope is replaced, each document from its start to its
// end, the current one first: project files are opened as the search reaches them, and those
// without a match closed again. Each document's replacements are one step to undo.
void FindDialog::replaceAllClicked(bool)
{
    setControlsEnabled(false);
    FindState &s = m_state;
    s.findText = m_form->findTextComboBox->currentText();
    s.replaceText = m_form->replaceWithTextComboBox->currentText();
    takeOptions();
    int count = 0;
    if (!s.findText.isEmpty()) {
        restartSearch();
        const QRegularExpression expression = TextSearch::expression(s.findText,
                                                                     s.regex,
                                                                     s.caseSensitive,
                                                                     s.wholeWords);
        const auto replaceIn = [&](SourceEditor *editor) {
            QString text = editor->text();
            const int replaced = TextSearch::replaceAll(text, expression, s.replaceText, s.regex);
            if (replaced > 0)
                editor->replaceWholeText(text);
            return replaced;
        };
        m_tabs->beginManyChanges();
        if (SourceEditor *editor = m_tabs->currentEditor())
            count += replaceIn(editor);
        for (const QString &path : std::as_const(s.files)) {
            if (!isSearchable(path))
                continue;
            m_tabs->openFile(path);
            SourceEditor *editor = m_tabs->findEditor(path);
            if (!editor)
                continue;
            const int replaced = replaceIn(editor);
            count += replaced;
            if (replaced == 0)
                m_tabs->closeFile(path, false);
        }
        m_tabs->endManyChanges();
    }
    restartFromCursor();
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
