#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QTextBrowser>

#include <memory>

class ChmFile;
class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

// The page view of a help window: pages, style sheets and pictures come out of the help file.
class HelpBrowser : public QTextBrowser
{
    Q_OBJECT

public:
    explicit HelpBrowser(QWidget *parent = nullptr);
    void setHelpFile(const ChmFile *file) { m_file = file; }
    QVariant loadResource(int type, const QUrl &name) override;

private:
    const ChmFile *m_file = nullptr;
};

// A help window of one window type: the table of contents beside the pages, with back,
// forward and home.
class HelpWindow : public QWidget
{
    Q_OBJECT

public:
    HelpWindow(const QString &type, QWidget *owner);

    QString type() const { return m_type; }
    void setHelpFile(const ChmFile *file, const QString &caption, const QString &home);
    void showTopic(const QString &topic);
    // The page shown, as its path inside the help file ("/find.html").
    QString topic() const;
    HelpBrowser *browser() const { return m_browser; }

private:
    void fillContents();
    void selectInContents(const QString &topic);

    QString m_type;
    QString m_home;
    const ChmFile *m_file = nullptr;
    QTreeWidget *m_contents;
    HelpBrowser *m_browser;
};

// Shows the program's help: the main page in a window of type "Main", a dialog's topic in one
// of type "Popup", each sized as the help file defines its window type and centred on the
// window the user works in.
class HelpViewer : public QObject
{
    Q_OBJECT

public:
    explicit HelpViewer(QWidget *owner);
    ~HelpViewer() override;

    // Opens the help file at its default topic (contextId 0) or at the topic of the context
    // id. A file that is missing or not compiled help shows nothing. Over a dialog, the window
    // belongs to the dialog: it shows in front of it and answers while a modal dialog is open.
    void showHelp(const QString &path, int contextId, QWidget *over = nullptr);

    // The window of a type, once shown.
    HelpWindow *window(const QString &type) const;

    // Where a help window goes: the defined size scaled from 96 pixels an inch, each side at
    // most 0.8 of the screen's, centred on the active window, or on the screen without one.
    static QRect placement(const QRect &defined,
                           qreal scale,
                           const QRect &screen,
                           const QRect &activeWindow);

private:
    QWidget *m_parentWindow;
    std::unique_ptr<ChmFile> m_file;
    QString m_filePath;
    qint64 m_fileStamp = 0;
    QPointer<HelpWindow> m_main;
    QPointer<HelpWindow> m_popup;
};
