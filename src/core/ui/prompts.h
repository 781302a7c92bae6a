#pragma once

#include <QHash>
#include <QMessageBox>
#include <QStringList>
#include <QUrl>

// Every message box, file dialog and directory chooser of the program goes through here, so
// that tests can answer them. The real service shows the toolkit's dialogs; with the
// environment variable DYX_AUTO_ANSWER set it shows nothing, prints each question on standard
// error and takes the default answer, for unattended runs.
class Prompts
{
public:
    virtual ~Prompts() = default;

    static Prompts &instance();
    // Installs another service (tests); null restores the real one. Not owned.
    static void setInstance(Prompts *prompts);

    virtual QMessageBox::StandardButton message(
        QMessageBox::Icon icon,
        QWidget *parent,
        const QString &title,
        const QString &text,
        QMessageBox::StandardButtons buttons = QMessageBox::Ok,
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton,
        const QString &informativeText = QString())
        = 0;

    // The same, with some buttons named otherwise ("Overwrite" for Yes).
    virtual QMessageBox::StandardButton message(
        QMessageBox::Icon icon,
        QWidget *parent,
        const QString &title,
        const QString &text,
        QMessageBox::StandardButtons buttons,
        QMessageBox::StandardButton defaultButton,
        const QString &informativeText,
        const QHash<QMessageBox::StandardButton, QString> &buttonTexts)
    {
        Q_UNUSED(buttonTexts)
        return message(icon, parent, title, text, buttons, defaultButton, informativeText);
    }

    virtual QString openFileName(QWidget *parent,
                                 const QString &caption,
                                 const QString &dir,
                                 const QString &filter)
        = 0;
    virtual QStringList openFileNames(QWidget *parent,
                                      const QString &caption,
                                      const QString &dir,
                                      const QString &filter)
        = 0;
    virtual QString saveFileName(QWidget *parent,
                                 const QString &caption,
                                 const QString &dir,
                                 const QString &filter)
        = 0;
    virtual QString existingDirectory(QWidget *parent, const QString &caption, const QString &dir)
        = 0;
    virtual void about(QWidget *parent, const QString &title, const QString &text) = 0;
    // A colour chosen by the user; invalid when cancelled.
    virtual QColor colour(QWidget *parent, const QString &caption, const QColor &initial) = 0;
    // Opens a web page with the desktop's browser.
    virtual void openUrl(const QUrl &url) = 0;
};

// Asks whether to save over a file that another program changed since it was read or saved
// here; true on Save.
bool saveOverNewerFile(QWidget *parent, const QString &fileName);

class DialogPrompts : public Prompts
{
public:
    QMessageBox::StandardButton message(QMessageBox::Icon icon,
                                        QWidget *parent,
                                        const QString &title,
                                        const QString &text,
                                        QMessageBox::StandardButtons buttons,
                                        QMessageBox::StandardButton defaultButton,
                                        const QString &informativeText) override;
    QString openFileName(QWidget *parent,
                         const QString &caption,
                         const QString &dir,
                         const QString &filter) override;
    QStringList openFileNames(QWidget *parent,
                              const QString &caption,
                              const QString &dir,
                              const QString &filter) override;
    QString saveFileName(QWidget *parent,
                         const QString &caption,
                         const QString &dir,
                         const QString &filter) override;
    QString existingDirectory(QWidget *parent, const QString &caption, const QString &dir) override;
    void about(QWidget *parent, const QString &title, const QString &text) override;
    QColor colour(QWidget *parent, const QString &caption, const QColor &initial) override;
    void openUrl(const QUrl &url) override;
    QMessageBox::StandardButton message(
        QMessageBox::Icon icon,
        QWidget *parent,
        const QString &title,
        const QString &text,
        QMessageBox::StandardButtons buttons,
        QMessageBox::StandardButton defaultButton,
        const QString &informativeText,
        const QHash<QMessageBox::StandardButton, QString> &buttonTexts) override;

private:
    static bool autoAnswer();
};
