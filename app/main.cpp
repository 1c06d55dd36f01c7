// Velmora: names a folder of photos after the date each picture was taken.

#include "velmora_app.h"
#include "velmora_version.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral(VELMORA_VERSION_STRING));
    theApp.InitInstance();
    return 0;
}
