#include "outtextedit.h"

#include "outwindow.h"

OutTextEdit::OutTextEdit(OutWindow *outWindow)
    : QTextBrowser(outWindow)
    , m_outWindow(outWindow)
{
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setReadOnly(true);
    setLineWrapMode(QTextEdit::NoWrap);
    setUndoRedoEnabled(false);
    connect(this, &QTextBrowser::anchorClicked, this, &OutTextEdit::anchorClicked);
}

OutTextEdit::Target OutTextEdit::parseLink(const QString &link)
{
    Target target;
    const int hash = link.indexOf(QLatin1Char('#'));
    if (hash <= 0)
        return target;
    const QString position = link.mid(hash + 1);
    const int dot = position.indexOf(QLatin1Char('.'));
    target.file = link.left(hash);
    target.line = (dot < 0 ? position : position.left(dot)).toInt();
    target.column = dot < 0 ? 0 : position.mid(dot + 1).toInt();
    return target;
}

void OutTextEdit::anchorClicked(const QUrl &link)
{
    const Target target = parseLink(link.toString());
    if (target.file.isEmpty() || target.line < 0)
        return;
    m_outWindow->openLinkTarget(target.file, target.line, target.column);
}
