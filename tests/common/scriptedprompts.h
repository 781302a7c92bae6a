#pragma once

#include "core/ui/prompts.h"

#include <QQueue>

// Answers the program's questions from a script and records what was asked. Installed for
// its lifetime.
class ScriptedPrompts : public Prompts
{
public:
    ScriptedPrompts();
    ~ScriptedPrompts() override;

    struct Question
    {
        QString title;
        QString text;
        QString informativeText;
    };
    QList<Question> asked;
    QQueue<QMessageBox::StandardButton> answers; // empty: the default button
    QQueue<QString> fileNames;                   // empty: the dialog is cancelled
    QQueue<QColor> colours;                      // empty: the dialog is cancelled
    QStringList filters;                         // of the files asked for

    using Prompts::message;
    QMessageBox::StandardButton message(QMessageBox::Icon icon,
                                        QWidget *parent,
                                        const QString &title,
                                        const QString &text,
                                        QMessageBox::StandardButtons buttons,
                                        QMessageBox::StandardButton defaultButton,
                                        const QString &informativeText) override;
    QString openFileName(QWidget *,
                         const QString &caption,
                         const QString &,
                         const QString &) override;
    QStringList openFileNames(QWidget *,
                              const QString &caption,
                              const QString &,
                              const QString &) override;
    QString saveFileName(QWidget *,
                         const QString &caption,
                         const QString &,
                         const QString &) override;
    QString existingDirectory(QWidget *, const QString &caption, const QString &) override;
    void about(QWidget *, const QString &title, const QString &text) override;
    QColor colour(QWidget *, const QString &caption, const QColor &) override;
    void openUrl(const QUrl &url) override { openedUrls.append(url); }
    QList<QUrl> openedUrls;

private:
    QString nextFileName(const QString &caption);
};
