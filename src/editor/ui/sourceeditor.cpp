#include "sourceeditor.h"

#include "editor/linemap.h"

#include "core/ui/displaysettings.h"
#include "editorpreferences.h"
#include "qscilexercirrane.h"

#include "core/commandstate.h"
#include "core/mainservices.h"
#include "core/projectqueries.h"
#include "core/recentlists.h"
#include "core/settingsfiles.h"
#include "core/settingsstore.h"
#include "core/ui/busycursor.h"
#include "core/ui/commandactions.h"
#include "core/ui/displayformats.h"
#include "core/ui/prompts.h"
#include "editor/sourcetext.h"
#include "editor/syntaxmap.h"
#include "editor/textsearch.h"
#include "platform/boundedfile.h"
#include "platform/caseinsensitivepath.h"
#include "platform/wholefilewriter.h"

#include <Qsci/qscilexercpp.h>

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QHelpEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QSaveFile>
#include <QSettings>
#include <QStackedWidget>
#include <QStringDecoder>
#include <QToolTip>

#include <algorithm>
#include <functional>
#include <QTextStream>

namespace {

// The margin of the compilers' marks, beside the text (the line numbers are in margin 1, the
// folding marks in margin 2), and its two marks.
constexpr int markMargin = 3;
constexpr int errorMark = 0;
constexpr int warningMark = 1;
// The debugger's margin, beside the text, and its marks.
constexpr int debugMargin = 4;
constexpr int breakpointMark = 2;
constexpr int executionMark = 3;
constexpr int executionLineMark = 4;
// Each line as the firmware was built from it, unseen; and as the build that runs takes it.
// The two kinds change places when that build ends well.
constexpr int builtLineMarks[2] = {5, 6};
// Above this a text is taken as it stands: a mark a line would cost more than it helps.
constexpr int mostBuiltLinesMarked = 200000;

// A compiler's mark, unlike a breakpoint's red circle beside it: an error is a red square with
// a white cross, a warning an amber triangle with an exclamation mark.
QImage buildMarkImage(bool error)
{
    QImage image(14, 14, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    if (error) {
        painter.setPen(QColor(0x80, 0x00, 0x00));
        painter.setBrush(QColor(0xd0, 0x20, 0x20));
        painter.drawRoundedRect(QRectF(0.5, 0.5, 13, 13), 2, 2);
        painter.setPen(QPen(Qt::white, 2));
        painter.drawLine(QPointF(4, 4), QPointF(10, 10));
        painter.drawLine(QPointF(10, 4), QPointF(4, 10));
    } else {
        painter.setPen(QColor(0x90, 0x60, 0x00));
        painter.setBrush(QColor(0xf0, 0xb0, 0x20));
        painter.drawPolygon(QPolygonF({QPointF(7, 0.5), QPointF(13.5, 13.5), QPointF(0.5, 13.5)}));
        painter.setPen(QPen(QColor(0x40, 0x28, 0x00), 2));
        painter.drawLine(QPointF(7, 5), QPointF(7, 9));
        painter.drawPoint(QPointF(7, 11.5));
    }
    return image;
}

} // namespace

static const char textEditorGroup[] = "Text Editor";

SourceEditor::SourceEditor(MainServices *mainWindow, const QString &fileName, SetUp setUp)
    : QsciScintilla(servicesOf(mainWindow).commands().mainWidget())
    , m_mainWindow(servicesOf(mainWindow))
    , m_formats(m_mainWindow.files().settingsStore())
    , m_setUpWhen(setUp)
{
    setObjectName(QStringLiteral("SourceFile.") + fileName);
    const QTextCharFormat text = m_formats.displayFormat(QLatin1String(textEditorGroup),
                                                         QStringLiteral("Text"));
    setFont(text.font());
    setColor(text.foreground().color());
    setPaper(text.background().color());
    setUtf8(true);
    loadFile(fileName);
    connect(this, &QsciScintilla::modificationChanged, this, &SourceEditor::documentWasModified);
    m_copyAvailable = false;
    connect(this, &QsciScintilla::copyAvailable, this, &SourceEditor::copyAvailabilityChanged);
    connect(this, &QsciScintilla::modificationChanged, this, &SourceEditor::undoAvailabilityChanged);
    connect(QApplication::clipboard(), &QClipboard::dataChanged, this, &SourceEditor::updateState);
}

// The editor's line end mode for the ones a file uses most.
static std::optional<QsciScintilla::EolMode> eolModeOf(std::optional<SourceText::LineEnd> ends)
{
    if (!ends)
        return std::nullopt;
    switch (*ends) {
    case SourceText::LineEnd::Windows:
        return QsciScintilla::EolWindows;
    case SourceText::LineEnd::Mac:
        return QsciScintilla::EolMac;
    case SourceText::LineEnd::Unix:
        break;
    }
    return QsciScintilla::EolUnix;
}

// The document's text, a first character U+FEFF included, which the editor's own text() drops
// as if it were a byte order mark.
QString SourceEditor::documentText() const
{
    const long length = SendScintilla(SCI_GETLENGTH);
    QByteArray bytes(length + 1, Qt::Uninitialized);
    SendScintilla(SCI_GETTEXT, static_cast<unsigned long>(length + 1), bytes.data());
    bytes.truncate(length);
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    const QString text = utf8.decode(bytes);
    // Never null: an expression matches nothing in a null text, not even its empty start.
    return text.isNull() ? QString(QLatin1String("")) : text;
}

QByteArray SourceEditor::encodedText()
{
    bool becameUtf8 = false;
    const QByteArray bytes = m_stored.encode(documentText(), &becameUtf8);
    // Characters ISO 8859-1 cannot hold would be lost: the file becomes UTF-8.
    if (becameUtf8)
        m_mainWindow.output().message(
            tr("%1 holds characters that ISO 8859-1 cannot store; it is saved as UTF-8.")
                .arg(displayName()));
    return bytes;
}

void SourceEditor::loadFile(const QString &fileName)
{
    QString refusal;
    QByteArray bytes;
    if (!fileName.isEmpty()) {
        SourceText stored;
        std::optional<QString> text;
        if (Platform::readBoundedFile(fileName, Platform::maxSourceFileBytes, bytes, &refusal)) {
            text = stored.decode(bytes);
            if (!text)
                refusal = tr("it holds binary data, not text");
        }
        if (text) {
            m_stored = stored;
            setCurrentFile(fileName);
            if (const auto ends = eolModeOf(m_stored.lineEnds()))
                setEolMode(*ends);
            QBuffer buffer;
            buffer.setData(text->toUtf8());
            buffer.open(QIODevice::ReadOnly);
            read(&buffer);
            setModified(false);
            watchFile(bytes);
            return;
        }
        if (refusal.isEmpty())
            m_mainWindow.output().message(tr("File name is empty or file not found."));
        else
            m_mainWindow.output().error(tr("Cannot open %1: %2.").arg(fileName, refusal));
    }
    setCurrentFile(QString());
    m_untitled = true;
    setWindowModified(false);
}

bool SourceEditor::saveFile(const QString &fileName)
{
    if (!isDocumentModified())
        return true;
    // Another program's newer version is not saved over unasked.
    if (fileName == m_filePath && !m_diskDigest.isEmpty()) {
        const QByteArray now = diskDigest();
        if (!now.isEmpty() && now != m_diskDigest && !saveOverNewerFile(this, fileName))
            return false;
    }
    // Written whole to a new file that then takes the old one's place: a failure or a crash
    // while saving leaves the last saved version as it was. A writable file in a folder the
    // user cannot write is written in place.
    const QByteArray bytes = encodedText();
    {
        BusyCursor wait;
        QString reason;
        if (!Platform::writeWholeFile(fileName, bytes, &reason, true)) {
            wait.restore();
            Prompts::instance().message(QMessageBox::Warning,
                                        this,
                                        tr("Application"),
                                        tr("Cannot write file %1:\n%2.").arg(fileName, reason));
            return false;
        }
    }
    m_untitled = false;
    setCurrentFile(fileName);
    watchFile(bytes);
    m_mainWindow.commands().showStatusMessage(tr("File saved"), 2000);
    setModified(false);
    emit matchesFile();
    return true;
}

bool SourceEditor::save()
{
    return m_filePath.isEmpty() ? saveAs() : saveFile(m_filePath);
}

bool SourceEditor::saveAs()
{
    const QString fileName = Prompts::instance().saveFileName(this, QString(), QString(), QString());
    if (fileName.isEmpty())
        return false;
    return saveFile(fileName);
}

bool SourceEditor::maybeSave()
{
    if (!isDocumentModified())
        return true;
    const QMessageBox::StandardButton answer
        = Prompts::instance().message(QMessageBox::Warning,
                                      this,
                                      tr("Application"),
                                      tr("%1 has been modified.\nDo you want to save your changes?")
                                          .arg(QFileInfo(displayName()).fileName()),
                                      QMessageBox::Save | QMessageBox::Discard
                                          | QMessageBox::Cancel);
    if (answer == QMessageBox::Save)
        return save();
    return answer == QMessageBox::Discard;
}

bool SourceEditor::canClose()
{
    if (!m_mainWindow.projects().isProjectFile(m_filePath))
        m_mainWindow.recent().newMRUFile(m_filePath);
    const bool result = maybeSave();
    if (result) {
        dropChanges();
        setModified(false);
        m_untitled = false;
    }
    return result;
}

void SourceEditor::dropChanges()
{
    // Undone, the lines are the file's again and the marks kept for the file (its
    // breakpoints) go back with them.
    while (isDocumentModified() && isUndoAvailable())
        undo();
}

void SourceEditor::setCurrentFile(const QString &fileName)
{
    // Highlighting follows the file's name: a save under the same name keeps it.
    const bool renamed = fileName != m_filePath;
    m_filePath = fileName;
    m_canonicalPath.clear();
    setModified(false);
    setWindowModified(false);
    setWindowTitle(displayName() + QStringLiteral("[*]"));
    setObjectName(QStringLiteral("SourceFile.") + m_filePath);
    if (renamed || m_setUpPending)
        applySettings();
}

void SourceEditor::setFileName(const QString &fileName)
{
    m_filePath = fileName;
    m_canonicalPath.clear();
    setObjectName(QStringLiteral("SourceFile.") + m_filePath);
    // A file renamed, or copied to be edited there, is watched where it is now: what another
    // program writes there is read or asked about.
    if (!m_watchedPath.isEmpty() && !m_filePath.isEmpty())
        watchPath();
}

QString SourceEditor::displayName() const
{
    return m_filePath.isEmpty() ? tr("Untitled") : QFileInfo(m_filePath).fileName();
}

QString SourceEditor::tabTitle() const
{
    const QString name = QFileInfo(m_filePath).fileName();
    return isDocumentModified() ? QLatin1Char('*') + name : name;
}

bool SourceEditor::refersTo(const QString &path) const
{
    if (m_filePath.isEmpty() || path.isEmpty())
        return false;
    if (QFileInfo(path).absoluteFilePath() == m_filePath)
        return true;
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return !canonical.isEmpty() && canonical == canonicalPath();
}

// The file's path with links resolved, kept from when the name was set: asking the file
// system for every open editor at every lookup costs more than the lookups.
QString SourceEditor::canonicalPath() const
{
    if (m_canonicalPath.isEmpty() && !m_filePath.isEmpty())
        m_canonicalPath = QFileInfo(m_filePath).canonicalFilePath();
    return m_canonicalPath;
}

QString SourceEditor::resolveSyntaxFile(const QString &mapPath, const QString &fileName)
{
    return SyntaxMap::syntaxFileFor(mapPath, fileName);
}

void SourceEditor::applyColours()
{
    const QString group = QLatin1String(textEditorGroup);
    const auto format = [this, &group](const char *item) {
        return m_formats.displayFormat(group, QLatin1String(item));
    };
    QTextCharFormat f = format("Text");
    setFont(f.font());
    setColor(f.foreground().color());
    setPaper(f.background().color());
    f = format("Caret");
    setCaretForegroundColor(f.foreground().color());
    setCaretLineBackgroundColor(f.background().color());
    f = format("Indentation Guides");
    setIndentationGuidesForegroundColor(f.foreground().color());
    setIndentationGuidesBackgroundColor(f.background().color());
    f = format("Margins");
    setMarginsFont(f.font());
    setMarginsForegroundColor(f.foreground().color());
    setMarginsBackgroundColor(f.background().color());
    f = format("Selection");
    // "Default" selection colours are the desktop's highlight colours: the editor's own reset
    // leaves a selection unpainted.
    if (m_formats.usesDefaultColour(group, QStringLiteral("Selection"), true))
        setSelectionForegroundColor(palette().color(QPalette::Active, QPalette::HighlightedText));
    else
        setSelectionForegroundColor(f.foreground().color());
    if (m_formats.usesDefaultColour(group, QStringLiteral("Selection"), false))
        setSelectionBackgroundColor(palette().color(QPalette::Active, QPalette::Highlight));
    else
        setSelectionBackgroundColor(f.background().color());
    f = format("Call Tips");
    setCallTipsForegroundColor(f.foreground().color());
    setCallTipsBackgroundColor(f.background().color());
    setCallTipsHighlightColor(format("Call Tips Highlight").foreground().color());
    f = format("Matched Brace");
    setMatchedBraceForegroundColor(f.foreground().color());
    setMatchedBraceBackgroundColor(f.background().color());
    f = format("Unmatched Brace");
    setUnmatchedBraceForegroundColor(f.foreground().color());
    setUnmatchedBraceBackgroundColor(f.background().color());
}

void SourceEditor::applySettings()
{
    m_setUpPending = true;
    if (m_setUpWhen == SetUp::Now || isSeen())
        setUp();
}

void SourceEditor::ensureSetUp()
{
    if (m_setUpPending)
        setUp();
}

bool SourceEditor::isSeen() const
{
    if (isVisible())
        return true;
    const auto *stack = qobject_cast<const QStackedWidget *>(parentWidget());
    return stack && stack->currentWidget() == this;
}

bool SourceEditor::isCommandsEditor() const
{
    const auto *stack = qobject_cast<const QStackedWidget *>(parentWidget());
    return !stack || stack->currentWidget() == this;
}

void SourceEditor::showEvent(QShowEvent *event)
{
    ensureSetUp();
    QsciScintilla::showEvent(event);
}

void SourceEditor::setUp()
{
    m_setUpPending = false;
    applyColours();
    const QString family = m_mainWindow.projects().familyForFile(m_filePath);
    const QString mapPath = m_mainWindow.files().settingsStore().syntaxDirectory()
                            + QLatin1Char('/') + family + QStringLiteral(".MAP");
    const QString suffix = QFileInfo(m_filePath).suffix().toLower();
    if (suffix == QLatin1String("c") || suffix == QLatin1String("h")
        || suffix == QLatin1String("cpp") || suffix == QLatin1String("hpp"))
        setUpCppLexer();
    else
        setUpSyntaxLexer(resolveSyntaxFile(mapPath, m_filePath));
    EditorPreferences::apply(this, m_mainWindow.files().settingsStore().settings());
    setUpDebugMargin();
    // A file's own line ends win over the preferred ones.
    if (const auto ends = eolModeOf(m_stored.lineEnds()))
        setEolMode(*ends);
}

void SourceEditor::setUpCppLexer()
{
    auto *cpp = qobject_cast<QsciLexerCPP *>(lexer());
    if (!cpp) {
        delete lexer();
        cpp = new QsciLexerCPP(this, false);
        setLexer(cpp);
    }
    const QString group = QLatin1String(textEditorGroup);
    // Every style the C lexer has takes a display item, so that none falls back to the
    // lexer's own proportional default font.
    const struct
    {
        const char *item;
        std::initializer_list<int> styles;
    } table[] = {
        {"Text",
         {QsciLexerCPP::Default,
          QsciLexerCPP::Identifier,
          QsciLexerCPP::UUID,
          QsciLexerCPP::Regex,
          QsciLexerCPP::GlobalClass,
          QsciLexerCPP::UserLiteral}},
        {"Comments",
         {QsciLexerCPP::Comment,
          QsciLexerCPP::CommentLine,
          QsciLexerCPP::CommentDoc,
          QsciLexerCPP::CommentLineDoc,
          QsciLexerCPP::CommentDocKeyword,
          QsciLexerCPP::CommentDocKeywordError,
          QsciLexerCPP::PreProcessorComment,
          QsciLexerCPP::PreProcessorCommentLineDoc,
          QsciLexerCPP::TaskMarker}},
        {"Strings",
         {QsciLexerCPP::DoubleQuotedString,
          QsciLexerCPP::SingleQuotedString,
          QsciLexerCPP::UnclosedString,
          QsciLexerCPP::VerbatimString,
          QsciLexerCPP::RawString,
          QsciLexerCPP::TripleQuotedVerbatimString,
          QsciLexerCPP::HashQuotedString,
          QsciLexerCPP::EscapeSequence}},
        {"Constants", {QsciLexerCPP::Number}},
        {"Operators", {QsciLexerCPP::Operator}},
        {"Keywords", {QsciLexerCPP::Keyword, QsciLexerCPP::KeywordSet2}},
        {"Macros", {QsciLexerCPP::PreProcessor}},
    };
    const QTextCharFormat text = m_formats.displayFormat(group, QStringLiteral("Text"));
    cpp->setDefaultFont(text.font());
    cpp->setDefaultColor(text.foreground().color());
    cpp->setDefaultPaper(text.background().color());
    // Code that the preprocessor leaves out (the inactive styles) looks like the rest.
    constexpr int inactive = QsciLexerCPP::InactiveDefault - QsciLexerCPP::Default;
    for (const auto &row : table) {
        const QTextCharFormat format = m_formats.displayFormat(group, QLatin1String(row.item));
        for (int style : row.styles) {
            for (int variant : {style, style + inactive}) {
                cpp->setFont(format.font(), variant);
                cpp->setColor(format.foreground().color(), variant);
                cpp->setPaper(format.background().color(), variant);
            }
        }
    }
}

void SourceEditor::setUpSyntaxLexer(const QString &syntaxFile)
{
    auto *cirrane = qobject_cast<QsciLexerCirrane *>(lexer());
    if (!cirrane) {
        delete lexer();
        setLexer(nullptr);
        cirrane = new QsciLexerCirrane(this);
    }
    const char *items[] = {"Text",
                           "Comments",
                           "Comments",
                           "Strings",
                           "Constants",
                           "Operators",
                           "Keywords",
                           "Extensions",
                           "Macros"};
    const QString group = QLatin1String(textEditorGroup);
    for (int style = 0; style < 9; ++style) {
        const QTextCharFormat format = m_formats.displayFormat(group, QLatin1String(items[style]));
        cirrane->setFont(format.font(), style);
        cirrane->setColor(format.foreground().color(), style);
        cirrane->setPaper(format.background().color(), style);
    }
    cirrane->load(Platform::resolveCaseInsensitive(syntaxFile), Qt::CaseInsensitive);
    setLexer(cirrane);
}

void SourceEditor::updateState()
{
    const CommandActions *a = m_mainWindow.commands().commandActions();
    if (!a || !a->saveFile || !isCommandsEditor())
        return;
    a->saveFile->setEnabled(isDocumentModified());
    for (QAction *action : {a->saveAllFiles, a->closeFile, a->printFile, a->find, a->replace})
        action->setEnabled(true);
    a->cut->setEnabled(m_copyAvailable);
    a->copy->setEnabled(m_copyAvailable);
    const QMimeData *data = QApplication::clipboard()->mimeData();
    a->paste->setEnabled(data && data->hasText());
    a->undo->setEnabled(isUndoAvailable());
    a->redo->setEnabled(isRedoAvailable());
}

void SourceEditor::documentWasModified(bool modified)
{
    m_mainWindow.projects().setFileModified(m_filePath, modified);
    updateState();
}

void SourceEditor::copyAvailabilityChanged(bool yes)
{
    m_copyAvailable = yes;
    const CommandActions *a = m_mainWindow.commands().commandActions();
    if (a && a->cut && isCommandsEditor()) {
        a->cut->setEnabled(yes);
        a->copy->setEnabled(yes);
    }
}

void SourceEditor::undoAvailabilityChanged(bool)
{
    const CommandActions *a = m_mainWindow.commands().commandActions();
    if (a && a->undo && isCommandsEditor()) {
        a->undo->setEnabled(isUndoAvailable());
        a->redo->setEnabled(isRedoAvailable());
    }
}

void SourceEditor::contextMenuEvent(QContextMenuEvent *event)
{
    m_mainWindow.commands().updateState();
    const CommandActions *a = m_mainWindow.commands().commandActions();
    if (!a)
        return;
    if (!m_contextMenu)
        m_contextMenu = new QMenu(this);
    m_contextMenu->clear();
    m_contextMenu->addActions({a->cut, a->copy, a->paste});
    m_contextMenu->addSeparator();
    m_contextMenu->addActions({a->undo, a->redo});
    m_contextMenu->addSeparator();
    m_contextMenu->addAction(a->gotoLine);
    m_contextMenu->addSeparator();
    m_contextMenu->addActions({a->find, a->replace});
    m_contextMenu->popup(event->globalPos());
}

void SourceEditor::closeEvent(QCloseEvent *event)
{
    if (canClose())
        event->accept();
    else
        event->ignore();
}

void SourceEditor::keepingPlace(const std::function<void()> &change)
{
    int line = 0;
    int index = 0;
    getCursorPosition(&line, &index);
    const int firstLine = firstVisibleLine();
    change();
    line = qMin(line, qMax(lines() - 1, 0));
    setCursorPosition(line, qMin(index, lineLength(line)));
    setFirstVisibleLine(firstLine);
}

// The bytes a text takes in UTF-8.
static long utf8Size(QStringView text)
{
    long bytes = 0;
    for (const QChar c : text)
        bytes += SourceText::utf8Size(c.unicode());
    return bytes;
}

// Only what changes is written: the marks on the lines (breakpoints, the build's marks, the
// lines as built) stay where they are, as they would through the same changes typed. Where the
// lines keep their number each one that differs is written; otherwise what lies between the
// first and the last character that differ, as one.
void SourceEditor::replaceWholeText(const QString &text)
{
    const QString old = documentText();
    if (old == text)
        return;
    // Replaces the bytes of the text from start to end.
    const auto replace = [this](long start, long end, QStringView with) {
        const QByteArray bytes = with.toUtf8();
        SendScintilla(SCI_SETTARGETSTART, static_cast<unsigned long>(start));
        SendScintilla(SCI_SETTARGETEND, static_cast<unsigned long>(end));
        SendScintilla(SCI_REPLACETARGET,
                      static_cast<unsigned long>(bytes.size()),
                      bytes.constData());
    };
    keepingPlace([&] {
        beginUndoAction();
        if (old.count(QLatin1Char('\n')) == text.count(QLatin1Char('\n'))) {
            // Line by line, in bytes of the text itself (whatever else ends a line); each
            // change moves what follows by as many bytes as it adds.
            long start = 0;
            long moved = 0;
            for (qsizetype was = 0, now = 0;;) {
                qsizetype wasEnd = old.indexOf(QLatin1Char('\n'), was);
                qsizetype nowEnd = text.indexOf(QLatin1Char('\n'), now);
                if (wasEnd < 0)
                    wasEnd = old.size();
                if (nowEnd < 0)
                    nowEnd = text.size();
                const QStringView wasLine = QStringView(old).mid(was, wasEnd - was);
                const QStringView nowLine = QStringView(text).mid(now, nowEnd - now);
                const long bytes = utf8Size(wasLine);
                if (wasLine != nowLine) {
                    replace(start + moved, start + moved + bytes, nowLine);
                    moved += utf8Size(nowLine) - bytes;
                }
                if (wasEnd == old.size())
                    break;
                start += bytes + 1;
                was = wasEnd + 1;
                now = nowEnd + 1;
            }
        } else {
            qsizetype first = 0;
            while (first < old.size() && first < text.size() && old[first] == text[first])
                ++first;
            qsizetype last = 0; // characters alike at the end
            while (last < old.size() - first && last < text.size() - first
                   && old[old.size() - 1 - last] == text[text.size() - 1 - last])
                ++last;
            // Never between the two halves of a character.
            if (first > 0 && old[first - 1].isHighSurrogate())
                --first;
            if (last > 0 && old[old.size() - last].isLowSurrogate())
                --last;
            const long start = utf8Size(QStringView(old).left(first));
            replace(start,
                    start + utf8Size(QStringView(old).mid(first, old.size() - last - first)),
                    QStringView(text).mid(first, text.size() - first - last));
        }
        endUndoAction();
    });
}

void SourceEditor::selectionStartAt(int &line, int &index) const
{
    int endLine = 0;
    int endIndex = 0;
    getSelection(&line, &index, &endLine, &endIndex);
}

void SourceEditor::stepPosition(int &line, int &index, bool forward) const
{
    const long position = positionFromLineIndex(line, index);
    const long moved = SendScintilla(forward ? SCI_POSITIONAFTER : SCI_POSITIONBEFORE, position);
    lineIndexFromPosition(int(moved), &line, &index);
}

// The place in a text (in UTF-16 units) of a byte of its UTF-8 form.
static qsizetype offsetOfByte(const QString &text, long byte)
{
    const QChar *characters = text.constData();
    qsizetype offset = 0;
    for (long bytes = 0; offset < text.size() && bytes < byte; ++offset) {
        bytes += SourceText::utf8Size(characters[offset].unicode());
    }
    return offset;
}

// The search runs on the text as characters, as Replace All does, not on the editor's bytes:
// a dot is one character, "ä" is found by "Ä" when case does not matter, and "ö" is a letter
// of a word. Matches never reach over a line end, so a search backwards looks at one line at
// a time, from the place upwards.
bool SourceEditor::selectMatch(const QString &text, qsizetype from, bool fromItself)
{
    const QRegularExpression &expression = m_search.expression;
    QRegularExpressionMatch found;
    const auto isLineEnd = [&text](qsizetype at) {
        return text.at(at) == QLatin1Char('\n') || text.at(at) == QLatin1Char('\r');
    };
    const auto lineStart = [&](qsizetype at) {
        while (at > 0 && !isLineEnd(at - 1))
            --at;
        return at;
    };
    // The start of the line above, over both characters of a CR LF.
    const auto lineAbove = [&](qsizetype start) {
        qsizetype end = start - 1;
        if (end > 0 && text.at(end) == QLatin1Char('\n') && text.at(end - 1) == QLatin1Char('\r'))
            --end;
        return lineStart(end);
    };
    const auto lineEnd = [&](qsizetype at) {
        while (at < text.size() && !isLineEnd(at))
            ++at;
        return at;
    };
    // The last match that starts in a line before a place in it; at the place itself only an
    // empty one, when asked.
    const auto lastInLine = [&](qsizetype start, qsizetype place, bool emptyAtPlace) {
        const QStringView upToLineEnd = QStringView(text).left(lineEnd(start));
        QRegularExpressionMatch found;
        for (qsizetype at = start; at <= place && at <= upToLineEnd.size();) {
            const QRegularExpressionMatch m = expression.match(upToLineEnd, at);
            const qsizetype begin = m.capturedStart();
            if (!m.hasMatch() || begin > place
                || (begin == place && !(emptyAtPlace && m.capturedLength() == 0)))
                break;
            found = m;
            at = begin + (begin < text.size() && text.at(begin).isHighSurrogate() ? 2 : 1);
        }
        return found;
    };
    if (m_search.forward) {
        found = expression.match(text, from);
        if (!found.hasMatch() && m_search.wrap)
            found = expression.match(text, 0);
    } else {
        const qsizetype own = lineStart(from);
        for (qsizetype start = own;; start = lineAbove(start)) {
            found = start == own ? lastInLine(start, from, fromItself)
                                 : lastInLine(start, lineEnd(start), true);
            if (found.hasMatch() || start == 0)
                break;
        }
        // Round from the end, up to the place's own line.
        for (qsizetype start = lineStart(text.size()); !found.hasMatch() && m_search.wrap;
             start = lineAbove(start)) {
            found = lastInLine(start, lineEnd(start), true);
            if (start <= from)
                break;
        }
    }
    if (!found.hasMatch())
        return false;
    const long start = utf8Size(QStringView(text).left(found.capturedStart()));
    const long end = start + utf8Size(found.capturedView());
    int line = 0;
    int index = 0;
    lineIndexFromPosition(int(end), &line, &index);
    ensureLineVisible(line);
    lineIndexFromPosition(int(start), &line, &index);
    ensureLineVisible(line);
    SendScintilla(SCI_SETSEL, static_cast<unsigned long>(start), end);
    return true;
}

bool SourceEditor::findFirstMatch(const QString &text,
                                  bool regex,
                                  bool caseSensitive,
                                  bool wholeWords,
                                  bool wrap,
                                  bool forward,
                                  int line,
                                  int index)
{
    m_search.expression = TextSearch::expression(text, regex, caseSensitive, wholeWords);
    m_search.regex = regex;
    m_search.wrap = wrap;
    m_search.forward = forward;
    if (!m_search.expression.isValid())
        return false;
    const QString document = documentText();
    return selectMatch(document, offsetOfByte(document, positionFromLineIndex(line, index)), true);
}

// From the end of the match selected (its start, backwards).
bool SourceEditor::findNextMatch()
{
    if (!m_search.expression.isValid() || m_search.expression.pattern().isEmpty())
        return false;
    const QString document = documentText();
    const long from = SendScintilla(m_search.forward ? SCI_GETSELECTIONEND : SCI_GETSELECTIONSTART);
    return selectMatch(document, offsetOfByte(document, from), false);
}

// The selected match is replaced, with the groups of a regular expression, and the replacement
// is selected.
FindDocument::Replaced SourceEditor::replaceMatch(const QString &text)
{
    const long start = SendScintilla(SCI_GETSELECTIONSTART);
    const long end = SendScintilla(SCI_GETSELECTIONEND);
    QString replacement = text;
    if (m_search.expression.isValid() && !m_search.expression.pattern().isEmpty()) {
        const QString document = documentText();
        const qsizetype from = offsetOfByte(document, start);
        const QStringView lineUpToEnd = QStringView(document).left(
            offsetOfByte(document,
                         SendScintilla(SCI_GETLINEENDPOSITION,
                                       SendScintilla(SCI_LINEFROMPOSITION, start))));
        const QRegularExpressionMatch match
            = m_search.expression.match(lineUpToEnd,
                                        from,
                                        QRegularExpression::NormalMatch,
                                        QRegularExpression::AnchorAtOffsetMatchOption);
        if (match.hasMatch() && match.capturedEnd() == offsetOfByte(document, end))
            replacement = TextSearch::replacementFor(match, text, m_search.regex);
    }
    const QByteArray bytes = replacement.toUtf8();
    Replaced replaced;
    replaced.matched = int(
        SendScintilla(SCI_COUNTCHARACTERS, static_cast<unsigned long>(start), end));
    SendScintilla(SCI_SETTARGETSTART, static_cast<unsigned long>(start));
    SendScintilla(SCI_SETTARGETEND, static_cast<unsigned long>(end));
    SendScintilla(SCI_REPLACETARGET, static_cast<unsigned long>(bytes.size()), bytes.constData());
    const long replacedEnd = start + long(bytes.size());
    replaced.replacement = int(
        SendScintilla(SCI_COUNTCHARACTERS, static_cast<unsigned long>(start), replacedEnd));
    SendScintilla(SCI_SETSEL, static_cast<unsigned long>(start), replacedEnd);
    return replaced;
}

QByteArray SourceEditor::diskDigest() const
{
    return m_filePath.isEmpty() ? QByteArray()
                                : Platform::fileDigest(m_filePath, Platform::maxSourceFileBytes);
}

// One watch for every editor: the system gives each user only so many.
static QFileSystemWatcher &diskWatch()
{
    static auto *const watch = new QFileSystemWatcher;
    return *watch;
}

SourceEditor::~SourceEditor()
{
    if (!m_watchedPath.isEmpty())
        diskWatch().removePath(m_watchedPath);
}

void SourceEditor::watchFile(const QByteArray &writtenOrRead)
{
    m_diskDigest = Platform::bytesDigest(writtenOrRead);
    watchPath();
}

void SourceEditor::watchPath()
{
    if (m_watchedPath.isEmpty() && !m_filePath.isEmpty()) {
        connect(
            &diskWatch(),
            &QFileSystemWatcher::fileChanged,
            this,
            [this](const QString &path) {
                if (path == m_watchedPath)
                    fileChangedOnDisk();
            },
            Qt::QueuedConnection);
    }
    if (m_watchedPath != m_filePath) {
        if (!m_watchedPath.isEmpty())
            diskWatch().removePath(m_watchedPath);
        m_watchedPath = m_filePath;
    }
    if (!m_watchedPath.isEmpty() && !diskWatch().files().contains(m_watchedPath))
        diskWatch().addPath(m_watchedPath);
}

void SourceEditor::fileChangedOnDisk()
{
    // A file replaced by a rename is a new file to the watch: it is watched again.
    if (!m_watchedPath.isEmpty() && !diskWatch().files().contains(m_watchedPath)
        && QFileInfo::exists(m_watchedPath))
        diskWatch().addPath(m_watchedPath);
    const QByteArray now = diskDigest();
    if (now.isEmpty() || now == m_diskDigest || m_askingAboutDisk)
        return;
    if (!isDocumentModified()) {
        reloadKeepingPlace();
        m_mainWindow.output().message(
            tr("%1 was changed on disk by another program and has been read again.").arg(m_filePath));
        return;
    }
    m_askingAboutDisk = true;
    const QMessageBox::StandardButton answer = Prompts::instance().message(
        QMessageBox::Question,
        this,
        tr("Application"),
        tr("%1 has been changed on disk by another program.\nRead it again and lose the "
           "changes made here?")
            .arg(QFileInfo(m_filePath).fileName()),
        QMessageBox::Yes | QMessageBox::No,
        QMessageBox::No);
    m_askingAboutDisk = false;
    if (answer == QMessageBox::Yes)
        reloadKeepingPlace();
}

void SourceEditor::reloadKeepingPlace()
{
    QList<int> breakpoints = breakpointLines();
    // The build's marks stay on their lines too, until the next build.
    std::vector<std::pair<int, BuildMark>> marks;
    for (const BuildMark &mark : m_buildMarks)
        marks.emplace_back(markerLine(mark.handle) + 1, mark);
    std::vector<int> built = builtLinesNow();
    const int execution = executionLine();
    const QString before = documentText();
    keepingPlace([this] { loadFile(m_filePath); });
    // The marks stay with the lines they were on, where the other program moved them (lines
    // added above, say, by a checkout); so do the lines the firmware was built from, and the
    // place it is paused at.
    const LineMap moved(before.split(QLatin1Char('\n')), documentText().split(QLatin1Char('\n')));
    forgetBuiltLines();
    for (int &line : built)
        line = moved.map(line - 1) + 1;
    takeBuiltLines(built);
    if (execution > 0)
        setExecutionLine(moved.map(execution - 1) + 1);
    clearBuildMarks();
    for (const auto &[line, mark] : marks)
        addBuildMark(moved.map(line - 1) + 1, mark.severity, mark.text, mark.reported);
    if (!breakpoints.isEmpty()) {
        for (int &line : breakpoints)
            line = moved.map(line - 1) + 1;
        setBreakpointLines(breakpoints);
        emit breakpointsChanged();
    }
    emit matchesFile();
}

void SourceEditor::setUpDebugMargin()
{
    if (m_debugMarginReady)
        return;
    m_debugMarginReady = true;
    markerDefine(QsciScintilla::Circle, breakpointMark);
    setMarkerBackgroundColor(QColor(0xc8, 0x10, 0x10), breakpointMark);
    setMarkerForegroundColor(QColor(0x70, 0x00, 0x00), breakpointMark);
    markerDefine(QsciScintilla::RightArrow, executionMark);
    setMarkerBackgroundColor(QColor(0xf0, 0xc8, 0x10), executionMark);
    setMarkerForegroundColor(QColor(0x80, 0x60, 0x00), executionMark);
    markerDefine(QsciScintilla::Background, executionLineMark);
    setMarkerBackgroundColor(QColor(0xff, 0xf4, 0xb8), executionLineMark);
    const int marks = (1 << breakpointMark) | (1 << executionMark);
    if (margins() <= debugMargin)
        setMargins(debugMargin + 1);
    setMarginType(debugMargin, QsciScintilla::SymbolMargin);
    setMarginMarkerMask(debugMargin, marks);
    for (int margin = 0; margin < debugMargin; ++margin)
        setMarginMarkerMask(margin, marginMarkerMask(margin) & ~(marks | 1 << executionLineMark));
    setMarginWidth(debugMargin, 14);
    setMarginSensitivity(debugMargin, true);
    connect(this, &QsciScintilla::marginClicked, this, [this](int margin, int line) {
        if (margin == debugMargin)
            toggleBreakpoint(line + 1);
    });
}

void SourceEditor::toggleBreakpoint(int line)
{
    if (line < 1 || line > lines())
        return;
    setUpDebugMargin();
    if (markersAtLine(line - 1) & (1 << breakpointMark)) {
        // A line that took the lines joined to it took their marks too: all of them go.
        while (markersAtLine(line - 1) & (1 << breakpointMark))
            markerDelete(line - 1, breakpointMark);
    } else {
        markerAdd(line - 1, breakpointMark);
    }
    emit breakpointsChanged();
}

void SourceEditor::setBreakpointLines(const QList<int> &lines)
{
    setUpDebugMargin();
    markerDeleteAll(breakpointMark);
    for (const int line : lines) {
        if (line >= 1 && line <= this->lines())
            markerAdd(line - 1, breakpointMark);
    }
}

QList<int> SourceEditor::breakpointLines() const
{
    QList<int> found;
    if (!m_debugMarginReady)
        return found;
    auto *self = const_cast<SourceEditor *>(this);
    for (int line = self->markerFindNext(0, 1 << breakpointMark); line >= 0;
         line = self->markerFindNext(line + 1, 1 << breakpointMark))
        found.append(line + 1);
    return found;
}

void SourceEditor::setExecutionLine(int line)
{
    setUpDebugMargin();
    markerDeleteAll(executionMark);
    markerDeleteAll(executionLineMark);
    if (line >= 1 && line <= lines()) {
        markerAdd(line - 1, executionMark);
        markerAdd(line - 1, executionLineMark);
    }
}

int SourceEditor::executionLine() const
{
    if (!m_debugMarginReady)
        return 0;
    return const_cast<SourceEditor *>(this)->markerFindNext(0, 1 << executionMark) + 1;
}

void SourceEditor::forgetBuiltLines()
{
    dropLineMarks(m_builtLines, builtLineMarks[m_builtKind]);
    dropLineMarks(m_buildingLines, builtLineMarks[1 - m_builtKind]);
}

void SourceEditor::dropLineMarks(std::vector<int> &handles, int kind)
{
    if (!handles.empty())
        markerDeleteAll(kind);
    handles.clear();
}

void SourceEditor::markLines(std::vector<int> &handles, int kind)
{
    dropLineMarks(handles, kind);
    if (lines() > mostBuiltLinesMarked)
        return;
    defineLineMark(kind);
    handles.reserve(size_t(lines()));
    for (int line = 0; line < lines(); ++line)
        handles.push_back(markerAdd(line, kind));
}

// A mark that only keeps its line, shown in no margin.
void SourceEditor::defineLineMark(int kind)
{
    markerDefine(QsciScintilla::Invisible, kind);
    for (int margin = 0; margin < margins(); ++margin)
        setMarginMarkerMask(margin, marginMarkerMask(margin) & ~(1 << kind));
}

void SourceEditor::markLinesBeingBuilt()
{
    markLines(m_buildingLines, builtLineMarks[1 - m_builtKind]);
}

void SourceEditor::buildEnded(bool built)
{
    if (!built) {
        dropLineMarks(m_buildingLines, builtLineMarks[1 - m_builtKind]);
        return;
    }
    // Opened while the build ran: taken as it stands.
    if (m_buildingLines.empty()) {
        markLines(m_builtLines, builtLineMarks[m_builtKind]);
        return;
    }
    dropLineMarks(m_builtLines, builtLineMarks[m_builtKind]);
    std::swap(m_builtLines, m_buildingLines);
    m_builtKind = 1 - m_builtKind;
}

int SourceEditor::lineNowOf(int builtLine) const
{
    if (builtLine < 1 || builtLine > int(m_builtLines.size()))
        return builtLine;
    const int line = markerLine(m_builtLines[size_t(builtLine - 1)]);
    return line < 0 ? builtLine : line + 1;
}

std::vector<int> SourceEditor::builtLinesNow() const
{
    std::vector<int> lines;
    lines.reserve(m_builtLines.size());
    for (const int handle : m_builtLines)
        lines.push_back(markerLine(handle) + 1);
    return lines;
}

void SourceEditor::takeBuiltLines(const std::vector<int> &linesNow)
{
    if (!m_builtLines.empty() || !m_buildingLines.empty() || linesNow.empty()
        || linesNow.size() > size_t(mostBuiltLinesMarked))
        return;
    const int kind = builtLineMarks[m_builtKind];
    defineLineMark(kind);
    m_builtLines.reserve(linesNow.size());
    for (const int line : linesNow)
        m_builtLines.push_back(markerAdd(std::clamp(line, 1, lines()) - 1, kind));
}

int SourceEditor::builtLineOf(int lineNow) const
{
    if (m_builtLines.empty())
        return lineNow;
    // The marks keep their order as lines come and go (those of lines taken away join the
    // line the deletion leaves): the first one at the line or below it.
    int low = 0;
    int high = int(m_builtLines.size());
    while (low < high) {
        const int middle = (low + high) / 2;
        if (markerLine(m_builtLines[size_t(middle)]) < lineNow - 1)
            low = middle + 1;
        else
            high = middle;
    }
    return low + 1;
}

void SourceEditor::addBuildMark(int line,
                                MessageSeverity severity,
                                const QString &text,
                                int reported)
{
    if (severity == MessageSeverity::Note || line < 1)
        return;
    if (m_buildMarks.empty()) {
        markerDefine(buildMarkImage(true), errorMark);
        markerDefine(buildMarkImage(false), warningMark);
        const int marks = (1 << errorMark) | (1 << warningMark);
        if (margins() <= markMargin)
            setMargins(markMargin + 1);
        setMarginType(markMargin, QsciScintilla::SymbolMargin);
        setMarginMarkerMask(markMargin, marks);
        // No other margin draws them.
        for (int margin = 0; margin < markMargin; ++margin)
            setMarginMarkerMask(margin, marginMarkerMask(margin) & ~marks);
        setMarginWidth(markMargin, 16);
    }
    const int handle = markerAdd(line - 1,
                                 severity == MessageSeverity::Error ? errorMark : warningMark);
    if (handle >= 0)
        m_buildMarks.push_back({handle, reported > 0 ? reported : line, severity, text});
}

void SourceEditor::clearBuildMarks()
{
    if (m_buildMarks.empty())
        return;
    markerDeleteAll(errorMark);
    markerDeleteAll(warningMark);
    m_buildMarks.clear();
    setMarginWidth(markMargin, 0);
}

QStringList SourceEditor::buildMarksAt(int line) const
{
    QStringList texts;
    for (const BuildMark &mark : m_buildMarks) {
        if (markerLine(mark.handle) == line - 1)
            texts.append(mark.text);
    }
    return texts;
}

int SourceEditor::buildMarkLine(int reported) const
{
    for (const BuildMark &mark : m_buildMarks) {
        if (mark.reported != reported)
            continue;
        if (const int line = markerLine(mark.handle); line >= 0)
            return line + 1;
    }
    return reported;
}

bool SourceEditor::viewportEvent(QEvent *event)
{
    if (event->type() == QEvent::ToolTip && !m_buildMarks.empty()) {
        const auto *help = static_cast<QHelpEvent *>(event);
        int margins = 0;
        for (int margin = 0; margin <= markMargin; ++margin)
            margins += marginWidth(margin);
        if (help->pos().x() < margins) {
            const long position = SendScintilla(SCI_POSITIONFROMPOINT,
                                                static_cast<unsigned long>(margins),
                                                static_cast<long>(help->pos().y()));
            const int line = int(
                SendScintilla(SCI_LINEFROMPOSITION, static_cast<unsigned long>(position)));
            const QStringList texts = buildMarksAt(line + 1);
            if (!texts.isEmpty()) {
                QToolTip::showText(help->globalPos(), texts.join(QLatin1Char('\n')), this);
                return true;
            }
        }
        QToolTip::hideText();
    }
    return QsciScintilla::viewportEvent(event);
}
