#include "prompts.h"

#include <QAbstractButton>
#include <QColorDialog>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileInfo>

#include <cstdio>

static Prompts *installedPrompts = nullptr;

Prompts &Prompts::instance()
{
    static DialogPrompts dialogs;
    return installedPrompts ? *installedPrompts : dialogs;
}

void Prompts::setInstance(Prompts *prompts)
{
    installedPrompts = prompts;
}

bool DialogPrompts::autoAnswer()
{
    static const bool enabled = !qEnvironmentVariableIsEmpty("DYX_AUTO_ANSWER");
    return enabled;
}

static void printQuestion(const QString &title, const QString &text, const QString &informative)
{
    QString line = title + QLatin1String(": ") + text;
    if (!informative.isEmpty())
        line += QLatin1Char(' ') + informative;
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

QMessageBox::StandardButton DialogPrompts::message(QMessageBox::Icon icon,
                                                   QWidget *parent,
                                                   const QString &title,
                                                   const QString &text,
                                                   QMessageBox::StandardButtons buttons,
                                                   QMessageBox::StandardButton defaultButton,
                                                   const QString &informativeText)
{
    if (autoAnswer()) {
        printQuestion(title, text, informativeText);
        if (defaultButton != QMessageBox::NoButton)
            return defaultButton;
        // The first button in the box's own order, as a user pressing Enter would get.
        for (int bit = QMessageBox::FirstButton; bit <= QMessageBox::LastButton; bit <<= 1) {
            if (buttons & bit)
                return QMessageBox::StandardButton(bit);
        }
        return QMessageBox::NoButton;
    }
    return message(icon, parent, title, text, buttons, defaultButton, informativeText, {});
}

QMessageBox::StandardButton DialogPrompts::message(
    QMessageBox::Icon icon,
    QWidget *parent,
    const QString &title,
    const QString &text,
    QMessageBox::StandardButtons buttons,
    QMessageBox::StandardButton defaultButton,
    const QString &informativeText,
    const QHash<QMessageBox::StandardButton, QString> &buttonTexts)
{
    if (autoAnswer())
        return message(icon, parent, title, text, buttons, defaultButton, informativeText);
    QMessageBox box(icon, title, text, buttons, parent);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    if (!informativeText.isEmpty())
        box.setInformativeText(informativeText);
    for (auto it = buttonTexts.cbegin(); it != buttonTexts.cend(); ++it) {
        if (QAbstractButton *button = box.button(it.key()))
            button->setText(it.value());
    }
    return QMessageBox::StandardButton(box.exec());
}

QString DialogPrompts::openFileName(QWidget *parent,
                                    const QString &caption,
                                    const QString &dir,
                                    const QString &filter)
{
    if (autoAnswer())
        return QString();
    return QFileDialog::getOpenFileName(parent, caption, dir, filter);
}

QStringList DialogPrompts::openFileNames(QWidget *parent,
                                         const QString &caption,
                                         const QString &dir,
                                         const QString &filter)
{
    if (autoAnswer())
        return QStringList();
    return QFileDialog::getOpenFileNames(parent, caption, dir, filter);
}

QString DialogPrompts::saveFileName(QWidget *parent,
                                    const QString &caption,
                                    const QString &dir,
                                    const QString &filter)
{
    if (autoAnswer())
        return QString();
    return QFileDialog::getSaveFileName(parent, caption, dir, filter);
}

QString DialogPrompts::existingDirectory(QWidget *parent, const QString &caption, const QString &dir)
{
    if (autoAnswer())
        return QString();
    return QFileDialog::getExistingDirectory(parent, caption, dir);
}

void DialogPrompts::openUrl(const QUrl &url)
{
    if (autoAnswer()) {
        printQuestion(QStringLiteral("Open"), url.toString(), QString());
        return;
    }
    QDesktopServices::openUrl(url);
}

QColor DialogPrompts::colour(QWidget *parent, const QString &caption, const QColor &initial)
{
    if (autoAnswer())
        return QColor();
    return QColorDialog::getColor(initial, parent, caption);
}

void DialogPrompts::about(QWidget *parent, const QString &title, const QString &text)
{
    if (autoAnswer()) {
        printQuestion(title, text, QString());
        return;
    }
    QMessageBox::about(parent, title, text);
}

bool saveOverNewerFile(QWidget *parent, const QString &fileName)
{
    return Prompts::instance().message(
               QMessageBox::Warning,
               parent,
               QCoreApplication::translate("SourceEditor", "Application"),
               QCoreApplication::translate("SourceEditor",
                                           "%1 has been changed on disk by another program since "
                                           "it was read or saved here.\nSave over the newer file?")
                   .arg(QFileInfo(fileName).fileName()),
               QMessageBox::Save | QMessageBox::Cancel,
               QMessageBox::Cancel)
           == QMessageBox::Save;
}
