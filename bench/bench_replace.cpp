// Replace All of one identifier across a project of 200 files, through the find dialog with
// "Current Project" and then Save All, against sed -i on the same files.
#include "benchratio.h"

#include "app/srcmanager.h"
#include "common/fakemainservices.h"
#include "common/scriptedprompts.h"
#include "editor/ui/finddialog.h"
#include "editor/ui/srctabsholder.h"
#include "project/ui/projectsmanager.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

#include <cstdio>

namespace {

struct Fixture
{
    QTemporaryDir dir;
    QStringList files;
    // Each round turns one name into the other, so that every round has the same to do.
    bool forward = true;

    Fixture()
    {
        QByteArray list;
        for (int i = 0; i < 200; ++i) {
            const QString name = QStringLiteral("unit%1.c").arg(i);
            QByteArray text;
            for (int line = 0; line < 100; ++line) {
                text += line % 10 == 0 ? "    counter_value += " + QByteArray::number(line) + ";\n"
                                       : "    other_value ^= " + QByteArray::number(line) + ";\n";
            }
            QFile file(dir.filePath(name));
            file.open(QIODevice::WriteOnly);
            file.write(text);
            files.append(dir.filePath(name));
            list += "<FILE NAME=\"" + name.toUtf8() + "\" GROUP=\"Source Files\"/>";
        }
        QFile project(dir.filePath(QStringLiteral("bench.dyxp")));
        project.open(QIODevice::WriteOnly);
        project.write("<PROJECT><FILES>" + list
                      + "</FILES><CONFIGURATION NAME=\"Debug\" COMPILER=\"GNU AVR GCC\" "
                        "TARGET=\"Debug\"><CONTROLLER FAMILY=\"AVR\" TYPE=\"ATmega328P\"/>"
                        "</CONFIGURATION></PROJECT>");
    }
    QString from() const
    {
        return forward ? QStringLiteral("counter_value") : QStringLiteral("tally");
    }
    QString to() const
    {
        return forward ? QStringLiteral("tally") : QStringLiteral("counter_value");
    }
};

Fixture &fixture()
{
    // No window object in it: it may go, with its folder, after the application.
    static Fixture f;
    return f;
}

void replaceAllInTheProgram(benchmark::State &state)
{
    Fixture &f = fixture();
    ScriptedPrompts prompts;
    SrcManager window;
    // Shown, as the user has it: a visible tab bar lays out differently from a hidden one.
    window.resize(1000, 700);
    window.show();
    window.projectsManager()->scanCompilers();
    if (!window.projectsManager()->openProject(f.dir.filePath(QStringLiteral("bench.dyxp")), false))
        state.SkipWithError("the project did not open");
    window.editors().openFileAt(f.files.first());
    window.actions().replace->trigger();
    auto *dialog = window.findChild<FindDialog *>();
    auto *find = dialog->findChild<QComboBox *>(QStringLiteral("findTextComboBox"));
    auto *replace = dialog->findChild<QComboBox *>(QStringLiteral("replaceWithTextComboBox"));
    dialog->findChild<QComboBox *>(QStringLiteral("lookInComboBox"))->setCurrentIndex(2);
    auto *replaceAll = dialog->findChild<QPushButton *>(QStringLiteral("replaceAllButton"));
    for (auto _ : state) {
        find->setEditText(f.from());
        replace->setEditText(f.to());
        replaceAll->click();
        window.actions().saveAllFiles->trigger();
        state.PauseTiming();
        f.forward = !f.forward;
        if (prompts.asked.isEmpty()
            || prompts.asked.last().text != QLatin1String("Replaced 2000 occurences")) {
            std::fprintf(stderr,
                         "%s\n",
                         prompts.asked.isEmpty() ? "nothing asked"
                                                 : qPrintable(prompts.asked.last().text));
        }
        // The next round starts as this one did: one file open.
        for (const QString &file : f.files.mid(1))
            window.tabs()->closeFile(file, true);
        state.ResumeTiming();
    }
}

void replaceAllWithSed(benchmark::State &state)
{
    Fixture &f = fixture();
    for (auto _ : state) {
        QProcess sed;
        sed.start(QStringLiteral("sed"),
                  QStringList{QStringLiteral("-i"),
                              QStringLiteral("s/%1/%2/g").arg(f.from(), f.to())}
                      + f.files);
        sed.waitForFinished(-1);
        f.forward = !f.forward;
    }
}

} // namespace

BENCHMARK(replaceAllInTheProgram)->Unit(benchmark::kMillisecond)->Iterations(4)->UseRealTime();
BENCHMARK(replaceAllWithSed)->Unit(benchmark::kMillisecond)->Iterations(4)->UseRealTime();

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    isolateSettings();
    QApplication app(argc, argv);
    return runBenchmarksWithRatios(argc,
                                   argv,
                                   // The dialog opens every file in an editor tab, as
                                   // the user sees it, and saves it; sed streams bytes.
                                   {{"replaceAllInTheProgram/iterations:4/real_time",
                                     "replaceAllWithSed/iterations:4/real_time",
                                     8.0}});
}
