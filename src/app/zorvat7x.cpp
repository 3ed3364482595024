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
#include <QLocale>
#include <QTemporaryDir>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "main_window.h"
#include "program_dir.h"
#include "sim/simulator.h"
#include "start_window.h"

namespace {

struct Options {
    std::string programDir;
    char startSwitch = 0;
    bool demo = false;
    bool startWindow = true;
};

bool Parse(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--program-dir" && i + 1 < argc) {
            options.programDir = argv[++i];
        } else if (arg == "--demo") {
            options.demo = true;
        } else if (arg == "--no-start-window") {
            options.startWindow = false;
        } else if (arg.size() == 2 && arg[0] == '/') {
            if (options.startSwitch == 0) options.startSwitch = arg[1];
        } else if (arg == "--help" || arg == "-h") {
            std::printf(
                "usage: zorvat7x [/d | /s] [--program-dir DIR] [--demo] [--no-start-window]\n"
                "  /d                 the page \"Параметры\" stays disabled\n"
                "  /s                 service switch: the menu \"Параметры\" (settings dialogs)\n"
                "  --program-dir DIR  folder of ports.ini, the settings file and projects\n"
                "  --demo             a simulated bench on COM1 and COM2 in a temporary folder\n");
            return false;
        } else {
            std::fprintf(stderr, "zorvat7x: unknown argument %s (try --help)\n", arg.c_str());
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!Parse(argc, argv, options)) return argc > 1 && std::strcmp(argv[1], "--help") == 0 ? 0 : 2;

    // Numbers are written and read with a point, whatever the system's locale.
    QLocale::setDefault(QLocale::c());
    QApplication app(argc, argv);
    zorvat::InitUiResources();

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
        bench->RegisterPortMap();
        bench->Start();
    }

    zorvat::MainWindowOptions windowOptions;
    windowOptions.programDir = zorvat::FindProgramDir(options.programDir);
    windowOptions.startSwitch = options.startSwitch;
    windowOptions.showStartWindow = options.startWindow;
    int status = 0;
    {
        if (options.demo) windowOptions.titleTail = " — демонстрация";
        zorvat::TMainWindow window(windowOptions);
        window.show();
        window.Start();
        status = QApplication::exec();
    }
    if (bench) bench->Stop();
    return status;
}
