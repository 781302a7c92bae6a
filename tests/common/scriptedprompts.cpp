#include "scriptedprompts.h"

ScriptedPrompts::ScriptedPrompts()
{
    Prompts::setInstance(this);
}

ScriptedPrompts::~ScriptedPrompts()
{
    // A script that took over from this one stays.
    if (&Prompts::instance() == this)
        Prompts::setInstance(nullptr);
}

QMessageBox::StandardButton ScriptedPrompts::message(QMessageBox::Icon,
                                                     QWidget *,
                                                     const QString &title,
                                                     const QString &text,
                                                     QMessageBox::StandardButtons,
                                                     QMessageBox::StandardButton defaultButton,
                                                     const QString &informativeText)
{
    asked.append({title, text, informativeText});
    return answers.isEmpty() ? defaultButton : answers.dequeue();
}

QString ScriptedPrompts::nextFileName(const QString &caption)
{
    asked.append({caption, QString(), QString()});
    return fileNames.isEmpty() ? QString() : fileNames.dequeue();
}

QString ScriptedPrompts::openFileName(QWidget *,
                                      const QString &caption,
                                      const QString &,
                                      const QString &filter)
{
    filters.append(filter);
    return nextFileName(caption);
}

QStringList ScriptedPrompts::openFileNames(QWidget *,
                                           const QString &caption,
                                           const QString &,
                                           const QString &)
{
    const QString name = nextFileName(caption);
    return name.isEmpty() ? QStringList() : name.split(QLatin1Char('\n'));
}

QString ScriptedPrompts::saveFileName(QWidget *,
                                      const QString &caption,
                                      const QString &,
                                      const QString &)
{
    return nextFileName(caption);
}

QString ScriptedPrompts::existingDirectory(QWidget *, const QString &caption, const QString &)
{
    return nextFileName(caption);
}

void ScriptedPrompts::about(QWidget *, const QString &title, const QString &text)
{
    asked.append({title, text, QString()});
}

QColor ScriptedPrompts::colour(QWidget *, const QString &caption, const QColor &)
{
    asked.append({caption, QString(), QString()});
    return colours.isEmpty() ? QColor() : colours.dequeue();
}
