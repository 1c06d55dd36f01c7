#pragma once

#include <QString>
#include <QtTest>

#include <string>

class QWidget;

// Shared pieces of the GUI suites: a test run isolated from the user's
// settings, clock zone and locale, the photo files the suites scan, and
// where rendered windows are saved.
namespace guitest {

// Before QApplication exists: TZ, the C locale and a settings store in a
// scratch folder of its own, under the application name the program uses.
void PrepareEnvironment();
// After QApplication: undoes the locale QApplication takes from the
// environment, so month and weekday names stay those of the C locale.
void RestoreCLocale();

// A readable photo whose EXIF "date taken" is `dateTaken` ("YYYY:MM:DD HH:MM:SS").
bool WriteDatedPhoto(const QString& path, const std::string& dateTaken);
// A readable photo without any EXIF block.
bool WriteUndatedPhoto(const QString& path);
// Bytes no reader takes for a JPEG file, the same on every run.
bool WriteBrokenFile(const QString& path);
// A JPEG file cut off inside its frame header.
bool WriteTruncatedPhoto(const QString& path);
// Sets the file's modification time (seconds since 1970).
bool SetModificationTime(const QString& path, qint64 seconds);

// The fixed texts of a window's labels and buttons that do not fit their
// boxes whole; the windows are of fixed size and never reflow.
QStringList TextsCutOff(QWidget& window);

// The scale the suite runs at: QT_SCALE_FACTOR, 1 when it is not set.
qreal ScaleFactor();

// Writes `widget` as rendered now to the screenshot folder of the build.
QString SaveScreenshot(QWidget& widget, const QString& fileName);

} // namespace guitest

// A QtTest main that prepares the environment before QApplication is built.
#define VELMORA_GUI_TEST_MAIN(TestClass)                                                           \
    int main(int argc, char** argv) {                                                              \
        guitest::PrepareEnvironment();                                                             \
        QApplication app(argc, argv);                                                              \
        guitest::RestoreCLocale();                                                                 \
        TestClass test;                                                                            \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
