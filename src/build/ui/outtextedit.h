#pragma once

#include <QTextBrowser>

class OutWindow;

// The text view of the output window. It follows its own links: a click asks the main
// window to open the file at the line and column the link names.
class OutTextEdit : public QTextBrowser
{
    Q_OBJECT

public:
    explicit OutTextEdit(OutWindow *outWindow);

    struct Target
    {
        QString file;
        int line = -1;
        int column = 0;
    };
    // Reads "file#line.column" (or "file#line"); an empty file when the link names nothing.
    static Target parseLink(const QString &link);

public slots:
    void anchorClicked(const QUrl &link);

private:
    OutWindow *m_outWindow;
};
