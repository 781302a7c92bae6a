#include "srctabsholder.h"

#include "sourceeditor.h"

#include "core/mainservices.h"
#include "core/projectqueries.h"
#include "editor/linemap.h"
#include "editor/sourcetext.h"
#include "platform/boundedfile.h"

#include <QFileInfo>
#include <QTabBar>

#include <algorithm>
#include <numeric>

namespace {

// Compilers count lines and columns from one; the editor from zero. A line past the end goes
// to the last, a column past the end of a line (edited since) stays on it. The cursor's row.
int placeCursor(SourceEditor *editor, int line, int column)
{
    const int row = qBound(0, line - 1, qMax(editor->lines() - 1, 0));
    QString text = editor->text(row);
    while (text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char('\r')))
        text.chop(1);
    editor->setCursorPosition(row, qBound(0, column - 1, int(text.size())));
    return row;
}

// A compiler counts a message's column in bytes of the line (avr-gcc: "ä" is two): the column
// in its characters, as the editor counts, both from one.
int characterColumn(const QString &line, int byteColumn)
{
    int bytes = 0;
    int characters = 0;
    for (; characters < line.size() && bytes < byteColumn - 1; ++characters)
        bytes += SourceText::utf8Size(line.at(characters).unicode());
    return characters + 1;
}

// The tab bar reads "&" as the mark of a key that chooses the tab; a file's name shows its own.
QString shownTitle(const SourceEditor *editor)
{
    return editor->tabTitle().replace(QLatin1Char('&'), QLatin1String("&&"));
}

} // namespace

SrcTabsHolder::SrcTabsHolder(MainServices *mainWindow, QWidget *parent)
    : QTabWidget(parent)
    , m_mainWindow(servicesOf(mainWindow))
{
    setMovable(true);
    setTabsClosable(true);
    setDocumentMode(true);
    // Many tabs scroll rather than shrink their names to nothing.
    setElideMode(Qt::ElideNone);
    setUsesScrollButtons(true);
    connect(this, &QTabWidget::tabCloseRequested, this, &SrcTabsHolder::closeTab);
    connect(this, &QTabWidget::currentChanged, this, &SrcTabsHolder::onCurrentChanged);
}

SourceEditor *SrcTabsHolder::editorAt(int index) const
{
    return qobject_cast<SourceEditor *>(widget(index));
}

SourceEditor *SrcTabsHolder::currentEditor() const
{
    return qobject_cast<SourceEditor *>(currentWidget());
}

int SrcTabsHolder::indexOf(const QString &path) const
{
    if (path.isEmpty() || count() == 0)
        return -1;
    // The name as given first; then the file itself, whatever links lead to it.
    const QString absolute = QFileInfo(path).absoluteFilePath();
    for (int i = 0; i < count(); ++i) {
        if (SourceEditor *editor = editorAt(i); editor && editor->filePath() == absolute)
            return i;
    }
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (canonical.isEmpty())
        return -1;
    for (int i = 0; i < count(); ++i) {
        if (SourceEditor *editor = editorAt(i); editor && editor->canonicalPath() == canonical)
            return i;
    }
    return -1;
}

void SrcTabsHolder::openFile(const QString &path)
{
    if (path.isEmpty())
        return;
    const int existing = indexOf(path);
    if (existing >= 0) {
        if (m_manyChanges > 0)
            m_madeCurrent.append(editorAt(existing));
        else
            setCurrentIndex(existing);
        return;
    }
    auto *editor = new SourceEditor(&m_mainWindow, path, SourceEditor::SetUp::WhenSeen);
    connect(editor, &SourceEditor::modificationChanged, this, &SrcTabsHolder::updateTabTitles);
    connect(editor, &SourceEditor::modificationChanged, this, [this](bool modified) {
        if (!modified)
            emit changesSavedOrDropped();
    });
    // The breakpoints of the file, kept as the editor moves them, with the text of their lines,
    // for when it is closed. A file changed since it was closed (by another program, or its
    // changes dropped) has them on the lines that hold that text.
    const QList<int> kept = m_breakpoints.value(editor->filePath());
    const QList<int> lines = kept.isEmpty()
                                 ? kept
                                 : LineMap::followTexts(kept,
                                                        m_breakpointTexts.value(editor->filePath()),
                                                        editor->text().split(QLatin1Char('\n')));
    editor->setBreakpointLines(lines);
    const auto keepBreakpoints = [this, editor] {
        const QList<int> lines = editor->breakpointLines();
        if (lines.isEmpty()) {
            if (m_breakpoints.remove(editor->filePath()) > 0)
                m_breakpointTexts.remove(editor->filePath());
            return;
        }
        QStringList texts;
        for (const int line : lines)
            texts.append(editor->text(line - 1).trimmed());
        m_breakpoints.insert(editor->filePath(), lines);
        m_breakpointTexts.insert(editor->filePath(), texts);
    };
    keepBreakpoints();
    connect(editor, &SourceEditor::breakpointsChanged, this, [this, keepBreakpoints] {
        keepBreakpoints();
        emit breakpointsChanged();
    });
    connect(editor, &QsciScintilla::textChanged, this, keepBreakpoints);
    // A file saved, or read again, with lines added or taken above its marks keeps them where
    // they went, for when it is opened again.
    connect(editor, &SourceEditor::matchesFile, this, [this, editor] {
        for (SourceMark &mark : m_sourceMarks) {
            if (editor->refersTo(m_moves.now(mark.path)))
                mark.line = editor->buildMarkLine(mark.reported);
        }
        // So do the lines the firmware was built from, for the debugger's lines.
        if (std::vector<int> lines = editor->builtLinesNow(); !lines.empty())
            m_builtLinesKept.insert(editor->filePath(),
                                    {std::move(lines),
                                     editor->keptDigest(),
                                     editor->text().split(QLatin1Char('\n'))});
        else
            m_builtLinesKept.remove(editor->filePath());
    });
    // Among many changes the tab is titled at the end, and the last one opened becomes current
    // then (a tab with a close button lays out the whole bar when added, measuring every title;
    // each change of the current tab shows and hides an editor).
    for (const SourceMark &mark : m_sourceMarks) {
        if (editor->refersTo(m_moves.now(mark.path)))
            editor->addBuildMark(mark.line, mark.severity, mark.text, mark.reported);
    }
    // Its lines as the last build read them: where they were when it was saved since (and
    // where those went when another program changed it after), else where they are (not for
    // the many files a Replace All opens, where marking every line would cost more than the
    // replacing).
    if (const auto kept = m_builtLinesKept.constFind(editor->filePath());
        kept != m_builtLinesKept.cend() && kept->digest == editor->keptDigest()) {
        editor->takeBuiltLines(kept->lines);
    } else if (kept != m_builtLinesKept.cend()) {
        const LineMap map(kept->text, editor->text().split(QLatin1Char('\n')));
        std::vector<int> now;
        now.reserve(kept->lines.size());
        for (const int line : kept->lines)
            now.push_back(std::max(map.map(line - 1) + 1, now.empty() ? 1 : now.back()));
        editor->takeBuiltLines(now);
    } else if (m_firmwareBuilt && m_manyChanges == 0) {
        std::vector<int> now(size_t(editor->lines()));
        std::iota(now.begin(), now.end(), 1);
        editor->takeBuiltLines(now);
    }
    // The file the firmware is paused in, closed and opened again (or its project read again).
    if (m_executionLine > 0 && editor->refersTo(m_executionPath))
        editor->setExecutionLine(editor->lineNowOf(m_executionLine));
    const int index = addTab(editor, m_manyChanges > 0 ? QString() : shownTitle(editor));
    if (m_manyChanges > 0)
        m_madeCurrent.append(editor);
    else
        setCurrentIndex(index);
    // Breakpoints moved with their texts go to VEXA once the editor tells their lines as
    // built.
    if (lines != kept)
        emit breakpointsChanged();
}

void SrcTabsHolder::openFileAt(const QString &path, int line, int column)
{
    openFile(path);
    SourceEditor *editor = findEditor(path);
    if (!editor)
        return;
    // The user opened it to type in it.
    editor->setFocus();
    if (line < 0)
        return;
    placeCursor(editor, line, column);
    editor->ensureCursorVisible();
}

void SrcTabsHolder::buildStarts()
{
    for (int i = 0; i < count(); ++i) {
        if (SourceEditor *editor = editorAt(i))
            editor->markLinesBeingBuilt();
    }
}

void SrcTabsHolder::buildEnded(bool built)
{
    for (int i = 0; i < count(); ++i) {
        if (SourceEditor *editor = editorAt(i))
            editor->buildEnded(built);
    }
    // The firmware is built from the files as they are now.
    if (built) {
        m_builtLinesKept.clear();
        m_firmwareBuilt = true;
    }
    // The breakpoints moved with their lines since the last build are where this one put them;
    // those of closed files another program changed meanwhile follow their lines' texts in the
    // files the build read.
    if (built && !m_breakpoints.isEmpty()) {
        followClosedFiles();
        emit breakpointsChanged();
    }
}

void SrcTabsHolder::openMessageAt(const QString &path, int line, int column)
{
    const QString now = m_moves.now(path);
    openFile(now);
    const SourceEditor *editor = findEditor(now);
    if (!editor || line <= 0) {
        openFileAt(now, line, column);
        return;
    }
    // A build's message (a note has no mark) names a line as that build read it; any other
    // (where the debugger stopped, a line the firmware names on its serial port) a line of the
    // text the firmware was built from.
    const bool fromBuild = std::any_of(m_sourceMarks.cbegin(),
                                       m_sourceMarks.cend(),
                                       [&](const SourceMark &mark) {
                                           return mark.reported == line
                                                  && editor->refersTo(m_moves.now(mark.path));
                                       });
    const int shown = fromBuild ? editor->buildMarkLine(line) : editor->lineNowOf(line);
    openFileAt(now, shown, characterColumn(editor->text(shown - 1), column));
}

void SrcTabsHolder::addSourceMark(const QString &path,
                                  int line,
                                  MessageSeverity severity,
                                  const QString &text)
{
    if (!m_moves.isEmpty())
        m_moves.arrived(path);
    m_sourceMarks.push_back({path, line, line, severity, text});
    if (SourceEditor *editor = findEditor(path))
        editor->addBuildMark(line, severity, text);
}

void SrcTabsHolder::clearSourceMarks()
{
    // A build names the files as they are called now.
    m_moves.clear();
    if (m_sourceMarks.empty())
        return;
    m_sourceMarks.clear();
    for (int i = 0; i < count(); ++i) {
        if (SourceEditor *editor = editorAt(i))
            editor->clearBuildMarks();
    }
}

bool SrcTabsHolder::saveEditor(const QString &path, bool ask)
{
    SourceEditor *editor = findEditor(path);
    if (!editor)
        return true;
    return ask ? editor->maybeSave() : editor->save();
}

void SrcTabsHolder::editorFileRenamed(const QString &oldPath, const QString &newPath)
{
    const QString oldKey = QFileInfo(oldPath).absoluteFilePath();
    const bool breakpoints = m_breakpoints.contains(oldKey);
    if (breakpoints) {
        const QString newKey = QFileInfo(newPath).absoluteFilePath();
        m_breakpoints.insert(newKey, m_breakpoints.take(oldKey));
        m_breakpointTexts.insert(newKey, m_breakpointTexts.take(oldKey));
    }
    if (m_builtLinesKept.contains(oldKey))
        m_builtLinesKept.insert(QFileInfo(newPath).absoluteFilePath(),
                                m_builtLinesKept.take(oldKey));
    if (SourceEditor *editor = findEditor(oldPath))
        editor->setFileName(newPath);
    m_moves.moved(oldPath, newPath);
    updateTabTitles();
    // The simulator stops at the breakpoints by the file's name now.
    if (breakpoints)
        emit breakpointsChanged();
}

void SrcTabsHolder::reopenIfLastSession(const QString &path)
{
    if (m_lastSessionFiles.contains(path))
        openFile(path);
}

QString SrcTabsHolder::modifiedEditorTitle(const QString &path) const
{
    // The file's name as the editor shows it, without the tab's mark of unsaved changes.
    const SourceEditor *editor = findEditor(path);
    return editor && editor->isDocumentModified() ? QFileInfo(editor->displayName()).fileName()
                                                  : QString();
}

QStringList SrcTabsHolder::modifiedFiles() const
{
    QStringList files;
    for (int i = 0; i < count(); ++i) {
        const SourceEditor *editor = editorAt(i);
        if (editor && editor->isDocumentModified() && !editor->filePath().isEmpty())
            files.append(editor->filePath());
    }
    return files;
}

void SrcTabsHolder::activateFile(const QString &path)
{
    const int index = indexOf(path);
    if (index >= 0)
        setCurrentIndex(index);
}

bool SrcTabsHolder::closeFile(const QString &path, bool force)
{
    if (path.isEmpty())
        return true;
    const int index = indexOf(path);
    if (index < 0)
        return false;
    SourceEditor *editor = editorAt(index);
    if (!force && !editor->canClose())
        return false;
    if (force) // asked before, or nothing to ask: what is not saved now is dropped
        editor->dropChanges();
    removeTab(index);
    editor->deleteLater();
    emit changesSavedOrDropped();
    return true;
}

SourceEditor *SrcTabsHolder::findEditor(const QString &path) const
{
    const int index = indexOf(path);
    return index >= 0 ? editorAt(index) : nullptr;
}

FindDocument *SrcTabsHolder::currentDocument() const
{
    return currentEditor();
}

QStringList SrcTabsHolder::projectFiles() const
{
    return m_mainWindow.projects().currentProjectFiles();
}

FindDocument *SrcTabsHolder::openDocument(const QString &path)
{
    const int before = count();
    QWidget *shown = currentWidget();
    openFile(path);
    SourceEditor *editor = findEditor(path);
    // A file the editor refused (no text) leaves no empty tab behind the search.
    if (!editor && count() > before) {
        delete widget(count() - 1);
        if (shown)
            setCurrentWidget(shown);
    }
    return editor;
}

QStringList SrcTabsHolder::openPaths() const
{
    QStringList paths;
    for (int i = 0; i < count(); ++i) {
        if (SourceEditor *editor = editorAt(i))
            paths.append(editor->filePath());
    }
    return paths;
}

void SrcTabsHolder::beginManyChanges()
{
    // A visible tab bar lays out every tab again, measuring every title, for each tab added or
    // retitled; out of sight it does so once when shown again. Every change of the current
    // tab enables updates again down the whole stack of editors; with updates off above the
    // stack that costs nothing.
    if (m_manyChanges++ == 0) {
        setUpdatesEnabled(false);
        m_barWasShown = !tabBar()->isHidden();
        tabBar()->hide();
    }
}

void SrcTabsHolder::endManyChanges()
{
    if (m_manyChanges == 0 || --m_manyChanges > 0)
        return;
    updateTabTitles();
    if (m_barWasShown)
        tabBar()->show();
    // The last file opened that is still open comes to the front, as if each had in turn.
    while (!m_madeCurrent.isEmpty()) {
        // A closed editor is deleted only later.
        if (SourceEditor *editor = m_madeCurrent.takeLast();
            editor && QTabWidget::indexOf(editor) >= 0) {
            setCurrentWidget(editor);
            break;
        }
    }
    m_madeCurrent.clear();
    setUpdatesEnabled(true);
}

void SrcTabsHolder::updateTabTitles()
{
    // A tab bar lays out every tab again for each title set: only changed titles are.
    if (m_manyChanges > 0)
        return;
    for (int i = 0; i < count(); ++i) {
        SourceEditor *editor = editorAt(i);
        if (!editor)
            continue;
        const QString title = shownTitle(editor);
        if (tabBar()->tabText(i) != title)
            tabBar()->setTabText(i, title);
    }
}

bool SrcTabsHolder::canCloseAll()
{
    for (int i = 0; i < count(); ++i) {
        if (SourceEditor *editor = editorAt(i); editor && !editor->maybeSave())
            return false;
    }
    return true;
}

void SrcTabsHolder::applySettingsToAll()
{
    for (int i = 0; i < count(); ++i) {
        if (SourceEditor *editor = editorAt(i))
            editor->applySettings();
    }
}

void SrcTabsHolder::saveAll()
{
    beginManyChanges();
    for (int i = 0; i < count(); ++i) {
        if (SourceEditor *editor = editorAt(i))
            editor->save();
    }
    endManyChanges();
}

void SrcTabsHolder::closeTab(int index)
{
    SourceEditor *editor = editorAt(index);
    if (editor && editor->canClose()) {
        removeTab(index);
        editor->deleteLater();
        emit changesSavedOrDropped();
    }
}

void SrcTabsHolder::onCurrentChanged(int index)
{
    if (SourceEditor *editor = editorAt(index))
        editor->ensureSetUp();
    emit stateChanged();
}

void SrcTabsHolder::cut()
{
    if (SourceEditor *editor = currentEditor())
        editor->cut();
}

void SrcTabsHolder::copy()
{
    if (SourceEditor *editor = currentEditor())
        editor->copy();
}

void SrcTabsHolder::paste()
{
    if (SourceEditor *editor = currentEditor())
        editor->paste();
}

void SrcTabsHolder::undo()
{
    if (SourceEditor *editor = currentEditor())
        editor->undo();
}

void SrcTabsHolder::redo()
{
    if (SourceEditor *editor = currentEditor())
        editor->redo();
}

void SrcTabsHolder::save()
{
    if (SourceEditor *editor = currentEditor())
        editor->save();
}

void SrcTabsHolder::close()
{
    SourceEditor *editor = currentEditor();
    if (editor && editor->canClose())
        delete editor;
}

QList<std::pair<QString, int>> SrcTabsHolder::breakpoints() const
{
    QList<std::pair<QString, int>> all;
    for (auto it = m_breakpoints.cbegin(); it != m_breakpoints.cend(); ++it) {
        for (const int line : it.value())
            all.append({it.key(), line});
    }
    return all;
}

QList<EditorServices::Place> SrcTabsHolder::placesOf(const QStringList &paths) const
{
    QList<Place> places;
    const SourceEditor *current = currentEditor();
    for (int i = 0; i < count(); ++i) {
        const SourceEditor *editor = editorAt(i);
        if (!editor || !paths.contains(editor->filePath()))
            continue;
        int line = 0;
        int column = 0;
        editor->getCursorPosition(&line, &column);
        places.append({editor->filePath(), line + 1, column + 1, editor == current});
    }
    return places;
}

void SrcTabsHolder::restorePlaces(const QList<Place> &places)
{
    for (const Place &place : places) {
        SourceEditor *editor = findEditor(place.path);
        if (!editor || place.line <= 0)
            continue;
        // The editor may not be laid out yet: the cursor's line is put some lines below the
        // top, and the text is not scrolled sideways as moving the cursor does in an editor of
        // no width.
        const int row = placeCursor(editor, place.line, place.column);
        editor->setFirstVisibleLine(std::max(0, row - 10));
        editor->SendScintilla(QsciScintillaBase::SCI_SETXOFFSET, 0L);
    }
    for (const Place &place : places) {
        if (place.current)
            activateFile(place.path);
    }
}

QString SrcTabsHolder::breakpointText(const QString &path, int line) const
{
    if (const SourceEditor *editor = findEditor(path))
        return editor->text(line - 1).trimmed();
    return m_breakpointTexts.value(path).value(int(m_breakpoints.value(path).indexOf(line)));
}

void SrcTabsHolder::restoreBreakpoints(const QList<std::pair<QString, int>> &breakpoints,
                                       const QStringList &texts)
{
    for (int i = 0; i < breakpoints.size(); ++i) {
        const auto &[path, line] = breakpoints.at(i);
        if (findEditor(path) || line <= 0)
            continue;
        QList<int> &lines = m_breakpoints[path];
        if (!lines.contains(line)) {
            lines.append(line);
            m_breakpointTexts[path].append(texts.value(i));
        }
    }
    // Files changed since the session ended have them on the lines that hold their texts.
    followClosedFiles();
    if (!breakpoints.isEmpty())
        emit breakpointsChanged();
}

void SrcTabsHolder::followClosedFiles()
{
    for (auto it = m_breakpoints.begin(); it != m_breakpoints.end(); ++it) {
        QByteArray bytes;
        QString refusal;
        std::optional<QString> text;
        if (findEditor(it.key())
            || !Platform::readBoundedFile(it.key(), Platform::maxSourceFileBytes, bytes, &refusal)
            || !(text = SourceText().decode(bytes)))
            continue;
        const QStringList now = text->split(QLatin1Char('\n'));
        it.value() = LineMap::followTexts(it.value(), m_breakpointTexts.value(it.key()), now);
        QStringList &kept = m_breakpointTexts[it.key()];
        kept.clear();
        for (const int line : std::as_const(it.value()))
            kept.append(now.value(line - 1).trimmed());
    }
}

QList<std::pair<QString, int>> SrcTabsHolder::breakpointsAsBuilt() const
{
    QList<std::pair<QString, int>> all = breakpoints();
    for (auto &[path, line] : all) {
        if (const SourceEditor *editor = findEditor(path)) {
            line = editor->builtLineOf(line);
        } else if (const auto kept = m_builtLinesKept.constFind(path);
                   kept != m_builtLinesKept.cend()) {
            // Closed: the first line as built at the line or below it, as an editor finds it.
            const std::vector<int> &lines = kept->lines;
            line = int(std::lower_bound(lines.cbegin(), lines.cend(), line) - lines.cbegin()) + 1;
        }
    }
    return all;
}

void SrcTabsHolder::toggleBreakpoint()
{
    SourceEditor *editor = currentEditor();
    if (!editor)
        return;
    int line = 0;
    int index = 0;
    editor->getCursorPosition(&line, &index);
    editor->toggleBreakpoint(line + 1);
}

void SrcTabsHolder::showExecutionPoint(const QString &path, int line)
{
    if (SourceEditor *previous = findEditor(m_executionPath))
        previous->setExecutionLine(0);
    // The firmware names its files as they were called when it was built.
    m_executionPath = path.isEmpty() ? path : m_moves.now(path);
    m_executionLine = path.isEmpty() ? 0 : line;
    if (path.isEmpty())
        return;
    openFile(m_executionPath);
    // The firmware's lines are those it was built from; lines typed since move them.
    const SourceEditor *shown = findEditor(m_executionPath);
    const int lineNow = shown ? shown->lineNowOf(line) : line;
    openFileAt(m_executionPath, lineNow);
    if (SourceEditor *editor = findEditor(m_executionPath))
        editor->setExecutionLine(lineNow);
}
