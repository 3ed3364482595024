// The window program.
//
//   zorvat7x [/d | /s] [--program-dir DIR] [--demo] [--no-start-window]
//
// /d keeps the page "Параметры" disabled; /s (the service switch) shows the
// menu "Параметры" with the settings dialogs. --demo runs a simulated bench
// in the program: COM1 with a one-regulator and a two-regulator instrument,
// COM2 with a five-input instrument, and a fresh temporary program folder, so
// nothing of the user's is touched.
#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTemporaryDir>
#include <QTranslator>
#include <cstdio>
#include <memory>
#include <string>

#include "main_window.h"
#include "message_box.h"
#include "program_dir.h"
#include "sim/simulator.h"
#include "start_window.h"
#include "window_args.h"
#include "zorvat_version.h"

int main(int argc, char** argv) {
    zorvat::WindowArgs options = zorvat::ParseWindowArgs({argv + 1, argv + argc});
    if (options.help) {
        std::fputs(zorvat::kWindowUsage, stdout);
        return 0;
    }
    if (options.version) {
        std::puts("zorvat7x " ZORVAT_VERSION);
        return 0;
    }
    for (const std::string& arg : options.unknown)
        std::fprintf(stderr, "zorvat7x: unknown argument %s (try --help)\n", arg.c_str());

    // Numbers are written and read with a point, whatever the system's locale.
    QLocale::setDefault(QLocale::c());
    QApplication app(argc, argv);
    zorvat::InitUiResources();
    // Qt's own texts (file dialogs, the standard buttons, the context menus
    // of fields) in Russian, as the rest of the program.
    QTranslator qtTexts;
    if (qtTexts.load(QLocale(QLocale::Russian), "qtbase", "_",
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTexts);

    std::unique_ptr<zorvat::sim::Simulator> bench;
    std::unique_ptr<QTemporaryDir> demoDir;
    if (options.demo) {
        demoDir = std::make_unique<QTemporaryDir>();
        options.programDir = demoDir->path().toStdString();
        bench = std::make_unique<zorvat::sim::Simulator>();
        bench->UseTemporaryLinkDir();
        bench->SetDefaultBaud(9600);
        bench->SetSpeed(10);
        bench->AddPort("COM1");
        bench->AddInstrument("COM1", 1, 0x51);
        bench->AddInstrument("COM1", 2, 0xC3);
        bench->AddPort("COM2");
        bench->AddInstrument("COM2", 1, 0xF3);
        bench->Showcase("COM1", 1);
        bench->Showcase("COM1", 2);
        bench->Showcase("COM2", 1);
        bench->RegisterPortMap();
        bench->Start();
    }

    zorvat::MainWindowOptions windowOptions;
    windowOptions.programDir = zorvat::FindProgramDir(options.programDir);
    windowOptions.startSwitch = options.startSwitch;
    windowOptions.showStartWindow = options.startWindow;
    int status = 0;
    {
        if (options.demo) {
            windowOptions.titleTail = " — демонстрация";
            // The demo's program folder goes with it; its records stay.
            windowOptions.recordsFolder =
                QDir(QDir::tempPath()).filePath("zorvat7x-demo-records").toStdString();
        }
        zorvat::TMainWindow window(windowOptions);
        window.show();
        if (!options.unknown.empty()) {
            QString list;
            for (const std::string& arg : options.unknown)
                list += "\n" + QString::fromLocal8Bit(arg.c_str());
            zorvat::Inform(&window,
                           "Неизвестные параметры командной строки:" + list +
                               "\n\nДопустимы: /d, /s, --program-dir, --demo, "
                               "--no-start-window.",
                           zorvat::MessageKind::Warning);
        }
        window.Start();
        status = QApplication::exec();
    }
    if (bench) bench->Stop();
    return status;
}
