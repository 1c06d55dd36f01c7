#include "gui_test_support.h"

#include "jpeg_builder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QWidget>

#include <clocale>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <random>
#include <sys/time.h>

namespace {

// Runs journal into a folder of the test program's own, however the program
// is started, so that no test writes into the user's journal folder.
struct CTestJournalFolder {
    QTemporaryDir dir;
    CTestJournalFolder() { qputenv("XDG_STATE_HOME", QFile::encodeName(dir.path())); }
} g_testJournalFolder;

} // namespace

namespace guitest {

namespace {

// Lives until the process ends, after the application is gone.
std::unique_ptr<QTemporaryDir> g_settingsDir;

std::string Bytes(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

} // namespace

void PrepareEnvironment() {
    setenv("TZ", "UTC0", 1);
    tzset();
    setenv("LC_ALL", "C", 1);
    std::setlocale(LC_ALL, "C");

    g_settingsDir = std::make_unique<QTemporaryDir>(QDir::tempPath() +
                                                    QStringLiteral("/velmora-settings-XXXXXX"));
    // Both routes to the per-user store lead to the scratch folder, which
    // also serves as the (private) runtime folder of the session.
    const QByteArray scratch = QFile::encodeName(g_settingsDir->path());
    setenv("XDG_CONFIG_HOME", scratch.constData(), 1);
    setenv("XDG_RUNTIME_DIR", scratch.constData(), 1);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, g_settingsDir->path());
    QCoreApplication::setApplicationName(QStringLiteral("Velmora"));
}

void RestoreCLocale() {
    // QApplication switches LC_CTYPE to UTF-8 for file names; the rest stays C.
    std::setlocale(LC_TIME, "C");
    std::setlocale(LC_NUMERIC, "C");
    std::setlocale(LC_COLLATE, "C");
    QLocale::setDefault(QLocale::c());
}

bool WriteDatedPhoto(const QString& path, const std::string& dateTaken) {
    const testdata::CTiffBuilder tiff = testdata::CameraTiff(testdata::ByteOrder::Intel, dateTaken);
    return testdata::WriteFile(Bytes(path), testdata::CJpegBuilder::Photo(&tiff));
}

bool WriteUndatedPhoto(const QString& path) {
    return testdata::WriteFile(Bytes(path), testdata::CJpegBuilder::Photo(nullptr));
}

bool WriteBrokenFile(const QString& path) {
    std::mt19937 random(20240518);
    testdata::Bytes bytes(512);
    for (std::uint8_t& byte : bytes)
        byte = static_cast<std::uint8_t>(random());
    bytes[0] = 0x00; // never the start of a JPEG file
    return testdata::WriteFile(Bytes(path), bytes);
}

bool WriteTruncatedPhoto(const QString& path) {
    testdata::Bytes bytes = testdata::CJpegBuilder::Photo(nullptr);
    bytes.resize(bytes.size() / 2);
    return testdata::WriteFile(Bytes(path), bytes);
}

bool SetModificationTime(const QString& path, qint64 seconds) {
    const timeval times[2] = {{static_cast<time_t>(seconds), 0}, {static_cast<time_t>(seconds), 0}};
    return utimes(Bytes(path).c_str(), times) == 0;
}

QStringList TextsCutOff(QWidget& window) {
    QStringList cut;
    for (const QLabel* label : window.findChildren<QLabel*>()) {
        if (label->text().isEmpty())
            continue;
        const QRect box = label->contentsRect();
        const QFontMetrics metrics = label->fontMetrics();
        const bool fits =
            label->wordWrap()
                ? label->heightForWidth(label->width()) <= label->height()
                : metrics.horizontalAdvance(QString(label->text()).remove(QLatin1Char('&'))) <=
                          box.width() &&
                      metrics.height() <= box.height();
        if (!fits || !window.rect().contains(label->geometry()))
            cut << label->text();
    }
    for (const QPushButton* button : window.findChildren<QPushButton*>()) {
        const QString text = QString(button->text()).remove(QLatin1Char('&'));
        if (button->fontMetrics().horizontalAdvance(text) > button->width() - 4 ||
            !window.rect().contains(button->geometry()))
            cut << button->text();
    }
    return cut;
}

qreal ScaleFactor() {
    bool valid = false;
    const qreal scale = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble(&valid);
    return valid ? scale : 1.0;
}

QString SaveScreenshot(QWidget& widget, const QString& fileName) {
    const QString folder = QStringLiteral(VELMORA_SCREENSHOT_DIR);
    QDir().mkpath(folder);
    const QString path = folder + QLatin1Char('/') + fileName;
    if (!widget.grab().save(path, "PNG"))
        return QString();
    return path;
}

} // namespace guitest
