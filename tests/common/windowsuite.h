#pragma once

// What the suites of the main window share: a fresh start for every test (settings as on a
// first start, a folder of its own), demonstration boards copied into that folder, projects
// opened as the user opens them, and what the user reads off the window and the disk.

#include "common/windowflows.h"

#include "core/settingsstore.h"

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

class WindowSuite
{
protected:
    void freshStart()
    {
        WindowFlows::freshSettings();
        m_dir = std::make_unique<QTemporaryDir>();
    }

    // A copy of a demonstration board in a folder of its own; the path of its project file.
    QString copyBoard(const QString &board, const QString &folder)
    {
        return WindowFlows::copyBoard(board, m_dir->filePath(folder));
    }
    static QString output(SrcManager &window) { return WindowFlows::output(window); }
    static QStringList filesIn(const QString &directory)
    {
        return QDir(directory).entryList(QDir::Files, QDir::Name);
    }
    // The NAME attributes of the FILES list, as the project file on disk has them.
    static QStringList projectFileNames(const QString &projectPath)
    {
        QFile file(projectPath);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QDomDocument document;
        document.setContent(&file);
        QStringList names;
        const QDomNodeList files = document.documentElement()
                                       .firstChildElement(QStringLiteral("FILES"))
                                       .elementsByTagName(QStringLiteral("FILE"));
        for (int i = 0; i < files.count(); ++i)
            names.append(files.at(i).toElement().attribute(QStringLiteral("NAME")));
        return names;
    }
    static Project *openProject(SrcManager &window, const QString &path)
    {
        return WindowFlows::openProject(window, path);
    }

#ifdef DYX_VEXA_STUB
    // A simulator installation whose VEXA is the test's stand-in, stored as the one to use.
    QString useStandInSimulator(const QString &title, bool silent)
    {
        const QString installation = m_dir->filePath(QStringLiteral("Cirrane"));
        QDir().mkpath(installation + QStringLiteral("/BIN"));
        QFile::link(QStringLiteral(DYX_VEXA_STUB), installation + QStringLiteral("/BIN/VEXA.EXE"));
        qputenv("VEXA_STUB_LOG", m_dir->filePath(QStringLiteral("stub.log")).toLocal8Bit());
        qputenv("VEXA_STUB_TITLE", title.toLocal8Bit());
        qputenv("VEXA_STUB_SILENT", silent ? "1" : "0");
        qputenv("TEMP", m_dir->path().toLocal8Bit());
        SettingsStore store;
        store.setCirraneDirectory(installation);
        store.sync();
        return installation;
    }
#endif

    std::unique_ptr<QTemporaryDir> m_dir;
};
