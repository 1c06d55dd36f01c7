// Velmora: names a folder of photos after the date each picture was taken.

#include "velmora_app.h"
#include "velmora_version.h"

#include <QApplication>

#include <clocale>
#include <string>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // Qt takes the user's locale for everything; numbers in the windows keep
    // the decimal point the program's texts are written with.
    std::setlocale(LC_NUMERIC, "C");
    QApplication::setApplicationVersion(QStringLiteral(VELMORA_VERSION_STRING));
    // Lets desktops match the window to its launcher entry.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.quorvant.Velmora"));
    // A folder (or a file of one) given on the command line is opened as if
    // dropped onto the window, so file managers can open folders with it.
    // The argument's bytes are kept as they are.
    theApp.InitInstance(argc > 1 ? std::string(argv[1]) : std::string());
    return 0;
}
