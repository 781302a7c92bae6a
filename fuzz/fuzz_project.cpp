// Project files: the project with its configurations, read against the shipped compilers, given
// its files and written again, with those that did not load.
#include "fuzzinput.h"

#include "build/buildproject.h"
#include "core/xmldocumentio.h"
#include "project/projectdocument.h"
#include "toolchain/buildconfiglist.h"

#include <QDir>
#include <QFileInfo>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static FakeMainServices *services = [] {
        FuzzInput::initialize();
        auto *fake = new FakeMainServices;
        fake->settingsStore().setDirectory(SettingsStore::Compilers,
                                           QStringLiteral(DYX_SOURCE_DIR "/data/compilers"));
        return fake;
    }();
    static BuildConfigList *catalogue = [] {
        auto *list = new BuildConfigList(services);
        list->load();
        return list;
    }();
    const QString path = FuzzInput::write(data, size, QStringLiteral("fuzz.dyxp"));
    const std::optional<QDomDocument> document = XmlDocumentIo::load(path, nullptr);
    if (!document)
        return 0;
    std::optional<ProjectContents> contents = ProjectDocument::read(*document,
                                                                    path,
                                                                    services,
                                                                    catalogue);
    if (contents) {
        QStringList files;
        const QDir base = QFileInfo(path).absoluteDir();
        for (ProjectRecord::File &file : contents->record.files) {
            file.path = QDir::cleanPath(base.absoluteFilePath(file.path));
            files.append(file.path);
        }
        for (const auto &configuration : contents->configurations)
            configuration->addFiles(files, true);
        // The configurations that did not load follow a rename and a removal.
        if (!files.isEmpty()) {
            contents->unread.renameFile(files.first(), files.first() + QStringLiteral(".new"));
            contents->unread.removeFile(files.last());
        }
        ProjectDocument::write(contents->record, contents->configurations, path, &contents->unread);
    }
    services->lines.clear();
    return 0;
}
