#pragma once
// The main of the benchmark programs that drive the program's main window: the application under
// the offscreen platform, code page 1252, a temporary program folder, and the window; `prepare`
// gets the folder and the window before the benchmarks run.
#include "app/MainWindow.h"
#include "platform/Application.h"
#include "platform/CodePage.h"
#include "platform/ProgramFolder.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <functional>

inline int RunMainWindowBenchmarks(int argc, char **argv, const std::function<void(QTemporaryDir &, TF_Main &)> &prepare)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication app(argc, argv);
    SetAnsiCodePage(1252);
    QTemporaryDir folder;
    SetProgramFolderForTesting(folder.path().toStdString());
    TF_Main window;
    prepare(folder, window);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
