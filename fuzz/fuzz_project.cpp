// Project files: the project with its configurations, read against the shipped compilers.
#include "fuzzinput.h"

#include "project/project.h"
#include "toolchain/buildconfiglist.h"

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
    Project project(catalogue, services);
    project.load(FuzzInput::write(data, size, QStringLiteral("fuzz.dyxp")));
    services->lines.clear();
    return 0;
}
