// Zentra: the catalogue and ordering client.
//   Zentra [--home DIR]     DIR (or $ZENTRA_HOME) is the program folder; default: the
//                           folder of the executable.
#include <QProcess>
#include <iostream>

#include "error_application.h"
#include "error_window.h"
#include "qt_ui.h"
#include "startup.h"

int main(int argc, char** argv) {
    using namespace zentra;
    gridlib::ErrorApplication app(argc, argv);
    app::StartupOptions options;
    const QStringList args = app.arguments();
    for (int i = 1; i < args.size(); ++i) {
        if (args[i] == "--home" && i + 1 < args.size()) {
            options.home = args[++i].toStdString();
        } else {
            std::cerr << "usage: Zentra [--home DIR]\n";
            return 2;
        }
    }
    app::QtUserInterface ui;
    gridlib::QtErrorUi errorUi;
    options.ui = &ui;
    options.errorUi = &errorUi;
    options.launcher = [](const std::filesystem::path& file, const std::vector<std::string>& a) {
        QStringList list;
        for (const auto& s : a) list << QString::fromStdString(s);
        return QProcess::startDetached(QString::fromStdString(file.string()), list);
    };
    try {
        app::ZentraProgram program(options);
        return program.run(app);
    } catch (...) {
        gridlib::reportCurrentException("main");
        return 1;
    }
}
