// Velmora: names a folder of photos after the date each picture was taken.

#include "velmora_app.h"
#include "velmora_version.h"

#include <QApplication>
#include <QStringList>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral(VELMORA_VERSION_STRING));
    // Lets desktops match the window to its launcher entry.
    QGuiApplication::setDesktopFileName(QStringLiteral("com.quorvant.Velmora"));
    // A folder (or a file of one) given on the command line is opened as if
    // dropped onto the window, so file managers can open folders with it.
    const QStringList args = QApplication::arguments();
    theApp.InitInstance(args.size() > 1 ? args.at(1) : QString());
    return 0;
}
