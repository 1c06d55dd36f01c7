// The side windows: JPEG Information, Build File name Format and About.

#include "gui_test_support.h"

#include "about_dlg.h"
#include "build_format_dlg.h"
#include "dialog_units.h"
#include "folder_scan.h"
#include "jpeg_builder.h"
#include "jpeg_info_dlg.h"
#include "media_builder.h"
#include "message_box.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <vector>

namespace {

using CRows = QList<QPair<QString, QString>>;

struct CMessage {
    QString strText;
    QString strCaption;
    unsigned nFlags;
};

// 14:05:09 on 7 December 2026, a Monday, in the test's zone (UTC).
const QDateTime kSampleTime(QDate(2026, 12, 7), QTime(14, 5, 9));

class CTestBuildFormatDlg : public CBuildFormatDlg {
public:
    std::vector<CMessage> m_messages;

protected:
    QDateTime CurrentTime() const override { return kSampleTime; }
    void MessageBox(const QString& text, const QString& caption, unsigned flags) override {
        m_messages.push_back({text, caption, flags});
    }
};

class CTestAboutDlg : public CAboutDlg {
public:
    std::vector<CMessage> m_messages;

protected:
    void MessageBox(const QString& text, const QString& caption, unsigned flags) override {
        m_messages.push_back({text, caption, flags});
    }
};

CRows ListRows(CListCtrlEx& list) {
    CRows rows;
    for (int row = 0; row < list.GetItemCount(); ++row)
        rows.append({QString::fromStdString(list.GetItemText(row, 0)),
                     QString::fromStdString(list.GetItemText(row, 1))});
    return rows;
}

QString ValueOf(const CRows& rows, const QString& label) {
    for (const auto& row : rows) {
        if (row.first == label)
            return row.second;
    }
    return QStringLiteral("<no row>");
}

QPushButton* ButtonWithText(QWidget& parent, const QString& text) {
    for (QPushButton* button : parent.findChildren<QPushButton*>()) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

int RowOfCode(CListCtrlEx& list, const std::string& code) {
    for (int row = 0; row < list.GetItemCount(); ++row) {
        if (list.GetItemText(row, 0) == code)
            return row;
    }
    return -1;
}

// The file dates of the synthetic files: 2024-05-18 09:12:44 UTC.
constexpr qint64 kFileTime = 1716023564;

} // namespace

class DialogsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void jpegInformation_data();
    void jpegInformation();
    void jpegInformationOfCorpusFile();
    void jpegInformationOfEveryType();

    void formatCodes();
    void sample_data();
    void sample();
    void typingUpdatesSample();
    void doubleClickAppendsCode_data();
    void doubleClickAppendsCode();
    void doubleClickWithMouse();
    void keysAppendCode();
    void okRefusesEmptyFormat();
    void cancelKeepsNothing();
    void builderEnterPressesFocusedButton_data();
    void builderEnterPressesFocusedButton();

    void versionLine_data();
    void versionLine();
    void aboutShowsVersion();
    void subscribShowsMessageEachTime();
    void aboutIconMatchesScale();
    void aboutEnterPressesFocusedButton_data();
    void aboutEnterPressesFocusedButton();
    void textsFitTheirBoxes();
    void fitTextMeasuresDrawnText_data();
    void fitTextMeasuresDrawnText();
    void messageBoxFitsCaption_data();
    void messageBoxFitsCaption();

    void screenshots();

private:
    QString File(const QString& name) const { return m_dir.filePath(name); }

    QTemporaryDir m_dir;
};

void DialogsTest::initTestCase() {
    QVERIFY(m_dir.isValid());
    QVERIFY(guitest::WriteDatedPhoto(File("camera.jpg"), "2024:05:18 09:12:44"));
    QVERIFY(guitest::WriteUndatedPhoto(File("plain.jpg")));
    testdata::CJpegBuilder commented;
    commented.Soi().Comment(testdata::ToBytes("Harbour at dusk")).FrameHeader(100, 10, 1).Sos();
    QVERIFY(testdata::WriteFile(QFile::encodeName(File("commented.jpg")).toStdString(),
                                commented.Data()));
    QVERIFY(guitest::WriteBrokenFile(File("broken.jpg")));
    // A trip: a photo taken at 03:00 UTC in +09:00, a movie an hour later
    // that gives only its header's UTC time.
    testdata::CTiffBuilder tiff(testdata::ByteOrder::Intel);
    const int exif = tiff.AddDirectory();
    tiff.SubDirectory(0, 0x8769, exif).Ascii(exif, 0x9003, "2024:05:01 12:00:00");
    tiff.Ascii(exif, 0x9011, "+09:00");
    QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("trip")));
    QVERIFY(testdata::WriteFile(QFile::encodeName(File("trip/photo.jpg")).toStdString(),
                                testdata::CJpegBuilder::Photo(&tiff)));
    testdata::MovieOptions movie;
    movie.creationTime = 3797380800; // 2024-05-01 04:00:00 UTC, from 1904
    QVERIFY(testdata::WriteFile(QFile::encodeName(File("trip/clip.mov")).toStdString(),
                                testdata::MovieFile(movie)));
    // A screenshot that only its name dates.
    QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("shots")));
    QVERIFY(testdata::WriteFile(
        QFile::encodeName(File("shots/Screenshot_2019-04-05-12-34-56.png")).toStdString(),
        testdata::PngWithChunks({}, {})));
    for (const char* name : {"camera.jpg", "plain.jpg", "commented.jpg", "trip/clip.mov",
                             "shots/Screenshot_2019-04-05-12-34-56.png"})
        QVERIFY(guitest::SetModificationTime(File(name), kFileTime));
}

void DialogsTest::jpegInformation_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<CRows>("rows");
    QTest::addColumn<bool>("listed"); // opened from its row in the list of every type

    const QString fileDate = QStringLiteral("2024:05:18 09:12:44");
    QTest::newRow("camera-file") << File("camera.jpg")
                                 << CRows{{"File Name:", File("camera.jpg")},
                                          {"File Date:", fileDate},
                                          {"Camera make:", "Quorvant Optics"},
                                          {"Camera model:", "QX-100"},
                                          {"Date/Time:", "2024/05/18 09:12:44"},
                                          {"Date source:", "EXIF DateTimeOriginal"},
                                          {"Resolution:", "640 x 480  (size = 307.2K pixle)"},
                                          {"Orientation  :", "Normal"},
                                          {"Color/BW:", "Color"},
                                          {"Flash used:", "Yes"},
                                          {"Focal length:", "55.0mm (35mm equivalent: 76mm)"},
                                          {"CCD width:", "26.01mm"},
                                          {"Exposure time:", "0.0040 s  (1/250)"},
                                          {"Aperture:", "f/2.8"},
                                          {"ISO equiv.:", "200"},
                                          {"Exposure bias:", "-0.67"},
                                          {"Whitebalance:", "sunny"},
                                          {"Metering Mode:", "matrix"},
                                          {"Exposure:", "program (auto)"},
                                          {"Jpeg process:", "Baseline"}}
                                 << false;
    QTest::newRow("no-exif") << File("plain.jpg")
                             << CRows{{"File Name:", File("plain.jpg")},
                                      {"File Date:", fileDate},
                                      {"Resolution:", "640 x 480  (size = 307.2K pixle)"},
                                      {"Color/BW:", "Color"},
                                      {"Flash used:", "No"},
                                      {"Jpeg process:", "Baseline"}}
                             << false;
    QTest::newRow("no-exif/comment-grey") << File("commented.jpg")
                                          << CRows{{"File Name:", File("commented.jpg")},
                                                   {"File Date:", fileDate},
                                                   {"Resolution:", "100 x 10  (size = 1.0K pixle)"},
                                                   {"Color/BW:", "Black and White"},
                                                   {"Flash used:", "No"},
                                                   {"Jpeg process:", "Baseline"},
                                                   {"Comment:", "Harbour at dusk"}}
                                          << false;
    QTest::newRow("unreadable") << File("broken.jpg") << CRows() << false;
    QTest::newRow("missing-file") << File("gone.jpg") << CRows() << false;
    QTest::newRow("empty-path") << QString() << CRows() << false;
    // The list places the movie in its neighbour's zone; so does the window.
    QTest::newRow("listed/movie-in-neighbours-zone")
        << File("trip/clip.mov")
        << CRows{{"File Name:", File("trip/clip.mov")},
                 {"File Date:", fileDate},
                 {"Date/Time:", "2024/05/01 13:00:00"},
                 {"Date source:",
                  "the movie header (UTC), in the zone of the photos taken near it, +09:00"},
                 {"Resolution:", "1920 x 1080  (size = 2.1M pixle)"}}
        << true;
    // A file the list dates by its name shows that date and its source too.
    QTest::newRow("listed/undated-dated-by-name")
        << File("shots/Screenshot_2019-04-05-12-34-56.png")
        << CRows{{"File Name:", File("shots/Screenshot_2019-04-05-12-34-56.png")},
                 {"File Date:", fileDate},
                 {"Date/Time:", "2019/04/05 12:34:56"},
                 {"Date source:", "the file name"},
                 {"Resolution:", "16 x 16  (size = 256.0 pixles)"}}
        << true;
}

void DialogsTest::jpegInformation() {
    QFETCH(QString, path);
    QFETCH(CRows, rows);
    QFETCH(bool, listed);

    velmora::CRowDate date;
    if (listed) {
        CListRows scanned;
        velmora::CDeviceTable devices;
        bool found = false;
        const QFileInfo file(path);
        velmora::ScanFolder(QFile::encodeName(file.path()).toStdString(), "%Y", scanned, found,
                            nullptr, {.bAllTypes = true, .undated = velmora::UndatedDates::Names},
                            nullptr, &devices);
        for (const CListRow& row : scanned)
            if (row.Text(0) == QFile::encodeName(file.fileName()).toStdString())
                date = velmora::RowDate(devices, row);
        QVERIFY(date.Found());
    }
    CJpegInfoDlg dlg(nullptr, QFile::encodeName(path).toStdString(), listed, date);
    CListCtrlEx& list = dlg.List();
    QCOMPARE(dlg.windowTitle(), QStringLiteral("JPEG Information"));
    QCOMPARE(ListRows(list), rows);
    if (rows.isEmpty()) {
        QCOMPARE(list.model()->columnCount(), 0); // not even the headings
        return;
    }
    QCOMPARE(list.model()->columnCount(), 2);
    QCOMPARE(list.model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Item"));
    QCOMPARE(list.model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Description"));
    QVERIFY(list.GetFullRowSelect());
}

void DialogsTest::jpegInformationOfCorpusFile() {
    const QString path = QStringLiteral(VELMORA_CORPUS_DIR "/Canon_40D.jpg");
    if (!QFile::exists(path))
        QSKIP("the camera corpus is not present");
    CJpegInfoDlg dlg(nullptr, QFile::encodeName(path).toStdString());
    const CRows rows = ListRows(dlg.List());
    QCOMPARE(rows.value(0).first, QStringLiteral("File Name:"));
    QCOMPARE(ValueOf(rows, "Camera make:"), QStringLiteral("Canon"));
    QCOMPARE(ValueOf(rows, "Camera model:"), QStringLiteral("Canon EOS 40D"));
    QCOMPARE(ValueOf(rows, "Date/Time:"), QStringLiteral("2008/05/30 15:56:01"));
    QCOMPARE(ValueOf(rows, "Resolution:"), QStringLiteral("100 x 68  (size = 6.8K pixle)"));
    QCOMPARE(ValueOf(rows, "Jpeg process:"), QStringLiteral("Baseline"));
}

// Read by content, as the list of every type reads them; a read that fails
// says why, above what it read before the damage.
void DialogsTest::jpegInformationOfEveryType() {
    if (!QFile::exists(QStringLiteral(VELMORA_CORPUS_DIR "/formats")))
        QSKIP("the corpus of photo and video types is not present");
    const char* const exif = "EXIF DateTimeOriginal";
    const char* const none = "<no row>";
    const struct {
        const char *file, *date, *source, *message;
    } cases[] = {
        {"formats/Canon_EOS_5D.tif", "2008/07/14 23:12:10", exif, ""},
        {"dates/Canon_EOS_DIGITAL_REBEL.crw", "2003/11/10 17:39:26", "the CRW time stamp", ""},
        {"formats/Apple_iPhone_11_Pro.HEIC", "2020/05/04 18:39:11", "EXIF DateTimeOriginal, -04:00",
         ""},
        {"formats/HTC_Desire.webp", "2011/05/06 09:59:48", exif, ""},
        {"dates/vivo_X90_raw_profile.png", "2023/07/09 20:36:33", "EXIF DateTimeOriginal, +08:00",
         ""},
        {"formats/Apple_iPhone_6.mov", "2019/07/24 11:25:40",
         "the movie's creation-date key, +03:00", ""},
        {"formats/digikam_sidecar.xmp", none, none, "Invalid JPEG file!"},
        {"formats/gone.jpg", none, none, "The file could not be opened."},
        {"dates/vivo_X90_cut_after_exif.jpg", "2023/07/09 20:36:33", exif,
         "invalid marker (len < 2)"},
    };
    for (const auto& c : cases) {
        const QString path = QStringLiteral(VELMORA_CORPUS_DIR "/") + c.file;
        CJpegInfoDlg dlg(nullptr, QFile::encodeName(path).toStdString(), true);
        const CRows rows = ListRows(dlg.List());
        const QLabel* label = dlg.findChild<QLabel*>();
        QCOMPARE(QStringList({c.file, ValueOf(rows, "Date/Time:"), ValueOf(rows, "Date source:"),
                              label != nullptr ? label->text() : ""}),
                 QStringList({c.file, c.date, c.source, c.message}));
        if (!*c.message) // no JPEG frame header to tell of
            QCOMPARE(ValueOf(rows, "Jpeg process:"), QString(none));
    }
}

void DialogsTest::formatCodes() {
    // Exactly as the program stores them, trailing blanks included.
    const CRows expected = {
        {"%a", "Abbreviated weekday name"},
        {"%A", "Full weekday name "},
        {"%b", "Abbreviated month name "},
        {"%B", "Full month name "},
        {"%c", "Date and time representation appropriate for locale "},
        {"%C", "Counter of the runing index "},
        {"%d", "Day of month as decimal number (01 - 31) "},
        {"%H", "Hour in 24-hour format (00 - 23) "},
        {"%I", "Hour in 12-hour format (01 - 12) "},
        {"%j", "Day of year as decimal number (001 - 366) "},
        {"%m", "Month as decimal number (01 - 12) "},
        {"%M", "Minute as decimal number (00 - 59) "},
        {"%p", "Current locale's A.M./P.M. indicator for 12-hour clock "},
        {"%S", "Second as decimal number (00 - 59) "},
        {"%U", "Week of year as decimal number, with Sunday as first day of week (00 - 53) "},
        {"%w", "Weekday as decimal number (0 - 6; Sunday is 0) "},
        {"%W", "Week of year as decimal number, with Monday as first day of week (00 - 53) "},
        {"%x", "Date representation for current locale "},
        {"%X", "Time representation for current locale "},
        {"%y", "Year without century, as decimal number (00 - 99) "},
        {"%Y", "Year with century, as decimal number "},
        {"%z", "Time-zone name or abbreviation; no characters if time zone is unknown "},
        {"%{day}", "Counter per day of the date taken (000, 001, ...)"},
        {"%{device}",
         "Camera make and model, without serial number (Unknown when the file names none)"},
        {"%{folder}", "Name of the file's folder"},
        {"%{lens}", "Lens model (Unknown when the file names none)"},
        {"%{make}", "Camera make (Unknown when the file names none)"},
        {"%{model}", "Camera model (Unknown when the file names none)"},
        {"%{name}", "Current file name without its extension"},
        {"%{n}", "Nothing for the first file of a name, -1, -2, ... for later files of the same "
                 "name"},
    };
    CTestBuildFormatDlg dlg;
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Build File name Format"));
    QCOMPARE(ListRows(dlg.List()), expected);
    QCOMPARE(dlg.List().model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Code"));
    QCOMPARE(dlg.List().model()->headerData(1, Qt::Horizontal).toString(),
             QStringLiteral("Description"));
    QVERIFY(!dlg.List().GetFullRowSelect());
}

void DialogsTest::sample_data() {
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("sample");
    QTest::newRow("default-format") << "Img%Y%m%d_%H%M%S_%C"
                                    << "Img20261207_140509_001.jpg";
    QTest::newRow("counter-only") << "%C"
                                  << "001.jpg";
    QTest::newRow("names-in-c-locale") << "%a %A %b %B"
                                       << "Mon Monday Dec December.jpg";
    QTest::newRow("twelve-hour-clock") << "%I%p"
                                       << "02PM.jpg";
    QTest::newRow("plain-text") << "holiday"
                                << "holiday.jpg";
    QTest::newRow("camera-codes") << "%{make}_%{model}_%{device}_%{lens}"
                                  << "Canon_Canon EOS 40D_Canon EOS 40D_EF50mm f1.8 II.jpg";
    QTest::newRow("file-and-counter-codes") << "%{folder}_%{name}%{n}_%Y%m%d_%{day}"
                                            << "Photos_test_20261207_000.jpg";
    QTest::newRow("unknown-code-and-percent-kept") << "%%{make}%{x}"
                                                   << "%{make}%{x}.jpg";
}

void DialogsTest::sample() {
    QFETCH(QString, format);
    QFETCH(QString, sample);
    CTestBuildFormatDlg dlg;
    dlg.m_strFormat = format.toStdString();
    dlg.UpdateSample();
    QCOMPARE(QString::fromStdString(dlg.m_strSample), sample);
    QCOMPARE(dlg.SampleField().text(), sample);
    QCOMPARE(dlg.FormatField().text(), format);
}

void DialogsTest::typingUpdatesSample() {
    CTestBuildFormatDlg dlg;
    dlg.m_strFormat = "Img_";
    dlg.UpdateSample();

    QTest::keyClick(&dlg.FormatField(), Qt::Key_X);
    QCOMPARE(dlg.SampleField().text(), QStringLiteral("Img_x.jpg"));
    QTest::keyClicks(&dlg.FormatField(), QStringLiteral("%Y"));
    QCOMPARE(dlg.SampleField().text(), QStringLiteral("Img_x2026.jpg"));
    QCOMPARE(dlg.m_strFormat, std::string("Img_x%Y"));
    QTest::keyClick(&dlg.FormatField(), Qt::Key_Backspace);
    QTest::keyClick(&dlg.FormatField(), Qt::Key_Backspace);
    QCOMPARE(dlg.SampleField().text(), QStringLiteral("Img_x.jpg"));
}

void DialogsTest::doubleClickAppendsCode_data() {
    QTest::addColumn<QString>("code"); // empty: an index that hits no row
    QTest::addColumn<bool>("caretAtStart");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("sample");
    QTest::newRow("year") << "%Y" << false << "Img_%Y"
                          << "Img_2026.jpg";
    QTest::newRow("counter") << "%C" << false << "Img_%C"
                             << "Img_001.jpg";
    QTest::newRow("appended-whatever-the-caret") << "%m" << true << "Img_%m"
                                                 << "Img_12.jpg";
    QTest::newRow("no-row") << QString() << false << "Img_"
                            << "Img_.jpg";
}

void DialogsTest::doubleClickAppendsCode() {
    QFETCH(QString, code);
    QFETCH(bool, caretAtStart);
    QFETCH(QString, format);
    QFETCH(QString, sample);

    CTestBuildFormatDlg dlg;
    dlg.m_strFormat = "Img_";
    dlg.UpdateSample();
    if (caretAtStart)
        dlg.FormatField().setCursorPosition(0);
    QModelIndex index;
    if (!code.isEmpty()) {
        const int row = RowOfCode(dlg.List(), code.toStdString());
        QVERIFY(row >= 0);
        index = dlg.List().model()->index(row, 0);
    }

    dlg.OnDblclkCodes(index);

    QCOMPARE(dlg.FormatField().text(), format);
    QCOMPARE(QString::fromStdString(dlg.m_strFormat), format);
    QCOMPARE(dlg.SampleField().text(), sample);
}

void DialogsTest::doubleClickWithMouse() {
    CTestBuildFormatDlg dlg;
    dlg.m_strFormat = "Img_";
    dlg.UpdateSample();
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    CListCtrlEx& list = dlg.List();
    const QModelIndex year = list.model()->index(RowOfCode(list, "%Y"), 1);
    list.scrollTo(year);
    const QPoint at = list.visualRect(year).center();

    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, at);

    QCOMPARE(dlg.FormatField().text(), QStringLiteral("Img_%Y"));
    QCOMPARE(dlg.SampleField().text(), QStringLiteral("Img_2026.jpg"));
}

// Enter and Space on a code append it, as a double-click does; the dialog
// stays open.
void DialogsTest::keysAppendCode() {
    CTestBuildFormatDlg dlg;
    dlg.m_strFormat = "Img_";
    dlg.UpdateSample();
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    CListCtrlEx& list = dlg.List();
    list.setFocus();
    list.setCurrentIndex(list.model()->index(RowOfCode(list, "%Y"), 0));
    QTest::keyClick(&list, Qt::Key_Return);
    QTest::keyClick(&list, Qt::Key_Space);
    QCOMPARE(dlg.FormatField().text(), QStringLiteral("Img_%Y%Y"));
    QVERIFY(dlg.isVisible());
}

void DialogsTest::okRefusesEmptyFormat() {
    CTestBuildFormatDlg dlg;
    dlg.m_strFormat = "Img_%C";
    dlg.UpdateSample();
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QPushButton* ok = ButtonWithText(dlg, QStringLiteral("OK"));
    QVERIFY(ok != nullptr);

    dlg.FormatField().clear();
    QTest::mouseClick(ok, Qt::LeftButton);
    QCOMPARE(dlg.m_messages.size(), std::size_t(1));
    QCOMPARE(dlg.m_messages[0].strText, QStringLiteral("The Format value can not be empty!"));
    QCOMPARE(dlg.m_messages[0].strCaption, QStringLiteral("Error"));
    QCOMPARE(dlg.m_messages[0].nFlags, MB_OK);
    QVERIFY(dlg.isVisible());
    QCOMPARE(dlg.result(), int(QDialog::Rejected));

    QTest::keyClicks(&dlg.FormatField(), QStringLiteral("P%C"));
    QTest::mouseClick(ok, Qt::LeftButton);
    QCOMPARE(dlg.m_messages.size(), std::size_t(1));
    QVERIFY(!dlg.isVisible());
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(dlg.m_strFormat, std::string("P%C"));
}

void DialogsTest::cancelKeepsNothing() {
    CTestBuildFormatDlg dlg;
    dlg.m_strFormat = "";
    dlg.UpdateSample();
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QPushButton* cancel = ButtonWithText(dlg, QStringLiteral("Cancel"));
    QVERIFY(cancel != nullptr);

    QTest::mouseClick(cancel, Qt::LeftButton); // an empty format needs no check here
    QVERIFY(!dlg.isVisible());
    QCOMPARE(dlg.result(), int(QDialog::Rejected));
    QVERIFY(dlg.m_messages.empty());
}

void DialogsTest::builderEnterPressesFocusedButton_data() {
    QTest::addColumn<QString>("focus"); // a button's text, or "format" for the field
    QTest::addColumn<int>("result");

    QTest::newRow("ok") << "OK" << int(QDialog::Accepted);
    QTest::newRow("cancel") << "Cancel" << int(QDialog::Rejected);
    QTest::newRow("format-field-presses-ok") << "format" << int(QDialog::Accepted);
}

// Enter on Cancel must not accept the edited format.
void DialogsTest::builderEnterPressesFocusedButton() {
    QFETCH(QString, focus);
    QFETCH(int, result);

    CTestBuildFormatDlg dlg;
    dlg.m_strFormat = "Img_";
    dlg.show();
    dlg.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    QTest::keyClicks(&dlg.FormatField(), QStringLiteral("%C"));
    QWidget* target = focus == QLatin1String("format") ? static_cast<QWidget*>(&dlg.FormatField())
                                                       : ButtonWithText(dlg, focus);
    QVERIFY(target != nullptr);
    target->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(target->hasFocus());

    QTest::keyClick(target, Qt::Key_Return);

    QVERIFY(!dlg.isVisible());
    QCOMPARE(dlg.result(), result);
    QVERIFY(dlg.m_messages.empty());
}

// The icon carries the screen's device pixels, drawn from the full-size icon.
void DialogsTest::aboutIconMatchesScale() {
    const qreal scale = guitest::ScaleFactor();
    CTestAboutDlg dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QCOMPARE(dlg.devicePixelRatioF(), scale);
    QLabel* icon = nullptr;
    for (QLabel* label : dlg.findChildren<QLabel*>()) {
        if (!label->pixmap().isNull())
            icon = label;
    }
    QVERIFY(icon != nullptr);
    const QPixmap picture = icon->pixmap();
    QCOMPARE(picture.devicePixelRatio(), scale);
    QCOMPARE(picture.deviceIndependentSize().toSize(), icon->size());
}

void DialogsTest::aboutEnterPressesFocusedButton_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<int>("messages");

    QTest::newRow("ok") << "OK" << true << 0;
    QTest::newRow("subscrib") << "Subscrib" << false << 1;
}

void DialogsTest::aboutEnterPressesFocusedButton() {
    QFETCH(QString, button);
    QFETCH(bool, closes);
    QFETCH(int, messages);

    CTestAboutDlg dlg;
    dlg.show();
    dlg.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    QPushButton* press = ButtonWithText(dlg, button);
    QVERIFY(press != nullptr);
    press->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(press->hasFocus());

    QTest::keyClick(press, Qt::Key_Return);

    QCOMPARE(dlg.isVisible(), !closes);
    QCOMPARE(int(dlg.m_messages.size()), messages);
}

void DialogsTest::versionLine_data() {
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("line");
    QTest::newRow("four-parts") << "1.0.2.0"
                                << "Velmora Version 1.0.2.0";
    QTest::newRow("many-digits") << "10.20.300.4000"
                                 << "Velmora Version 10.20.300.4000";
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("two-parts") << "1.0" << QString();
    QTest::newRow("not-numbers") << "1.0.2.x" << QString();
}

void DialogsTest::versionLine() {
    QFETCH(QString, version);
    QFETCH(QString, line);
    QCOMPARE(CAboutDlg::VersionLine(version), line);
}

void DialogsTest::aboutShowsVersion() {
    CTestAboutDlg dlg;
    QCOMPARE(dlg.windowTitle(), QStringLiteral("About Velmora"));
    QCOMPARE(dlg.m_strVersion, QStringLiteral("Velmora Version 1.0.2.0"));
    QCOMPARE(dlg.VersionLabel().text(), QStringLiteral("Velmora Version 1.0.2.0"));
}

void DialogsTest::subscribShowsMessageEachTime() {
    CTestAboutDlg dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QPushButton* subscrib = ButtonWithText(dlg, QStringLiteral("Subscrib"));
    QVERIFY(subscrib != nullptr);

    for (int press = 1; press <= 3; ++press) {
        QTest::mouseClick(subscrib, Qt::LeftButton);
        QCOMPARE(dlg.m_messages.size(), std::size_t(press));
        const CMessage& message = dlg.m_messages.back();
        QCOMPARE(message.strCaption, QStringLiteral("Subscriptions"));
        QCOMPARE(message.nFlags, MB_OK);
        QCOMPARE(message.strText, dlg.m_messages.front().strText);
    }
    // Three lines, an empty one before the third.
    const QStringList lines = dlg.m_messages.front().strText.split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 4);
    QVERIFY(!lines[0].isEmpty() && !lines[1].isEmpty() && lines[2].isEmpty() &&
            !lines[3].isEmpty());
    QVERIFY(dlg.isVisible());
    QCOMPARE(dlg.VersionLabel().text(), QStringLiteral("Velmora Version 1.0.2.0"));
}

// The windows are of fixed size: every fixed text must be readable whole.
void DialogsTest::textsFitTheirBoxes() {
    CTestAboutDlg about;
    CTestBuildFormatDlg builder;
    CJpegInfoDlg info(nullptr, QFile::encodeName(File("camera.jpg")).toStdString());
    for (QDialog* dlg : std::initializer_list<QDialog*>{&about, &builder, &info}) {
        dlg->show();
        QVERIFY(QTest::qWaitForWindowExposed(dlg));
        QCOMPARE(guitest::TextsCutOff(*dlg), QStringList());
    }
}

void DialogsTest::fitTextMeasuresDrawnText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("drawn");
    QTest::newRow("mnemonic") << "&Format:"
                              << "Format:";
    QTest::newRow("mnemonic-inside") << "&Build Format"
                                     << "Build Format";
    QTest::newRow("escaped-ampersand") << "Save && Close"
                                       << "Save & Close";
    QTest::newRow("trailing-ampersand") << "Format:&"
                                        << "Format:";
    QTest::newRow("plain") << "Sample:"
                           << "Sample:";
}

// A window widened for a label's text is widened for what the label draws:
// the "&" of "&Format:" made the format builder a fifth wider than its template.
void DialogsTest::fitTextMeasuresDrawnText() {
    QFETCH(QString, text);
    QFETCH(QString, drawn);
    const QFont font = QApplication::font();
    CDialogUnits units(font);
    constexpr int kNarrowBox = 10; // too narrow for any of them: the unit widens

    units.FitText(text, kNarrowBox);

    // The box is then as wide as the drawn text and its one pixel of slack.
    const int drawnWidth = QFontMetrics(font).horizontalAdvance(drawn) + 1;
    QVERIFY2(qAbs(units.X(kNarrowBox) - drawnWidth) <= 1,
             qPrintable(QStringLiteral("%1 for %2").arg(units.X(kNarrowBox)).arg(drawnWidth)));
}

void DialogsTest::messageBoxFitsCaption_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<unsigned>("flags");
    QTest::newRow("error-rename") << "File exists"
                                  << "Error Rename" << MB_ICONERROR;
    QTest::newRow("error") << "Invalid argument"
                           << "Error" << MB_ICONERROR;
    QTest::newRow("rename-files") << "Done"
                                  << "Rename Files" << MB_OK;
    QTest::newRow("long-text") << "There are no items to be renamed! Please choose a folder first."
                               << "Error" << MB_OK;
}

// A title bar takes the caption in bold, a window icon and three buttons of
// about one and a half lines each: the box is at least that wide.
void DialogsTest::messageBoxFitsCaption() {
    QFETCH(QString, text);
    QFETCH(QString, caption);
    QFETCH(unsigned, flags);

    QSize shown;
    QString shownCaption;
    QTimer::singleShot(0, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr)
            return;
        shown = box->size();
        shownCaption = box->windowTitle();
        box->accept();
    });
    ShowMessageBox(nullptr, text, caption, flags);

    QCOMPARE(shownCaption, caption);
    QFont titleFont = QApplication::font();
    titleFont.setBold(true);
    const QFontMetrics title(titleFont);
    const int titleBarWidth = title.horizontalAdvance(caption) + 6 * title.height();
    QVERIFY2(shown.width() >= titleBarWidth,
             qPrintable(QStringLiteral("%1 < %2").arg(shown.width()).arg(titleBarWidth)));
    QVERIFY(shown.width() <
            2 * titleBarWidth + QFontMetrics(QApplication::font()).horizontalAdvance(text));
}

// Pictures of the three side windows for the documentation.
void DialogsTest::screenshots() {
    QTemporaryDir trip(QDir::tempPath() + QStringLiteral("/Pictures-XXXXXX"));
    const QString photo = trip.filePath(QStringLiteral("IMG_2041.jpg"));
    QVERIFY(guitest::WriteDatedPhoto(photo, "2024:05:18 09:12:44"));
    QVERIFY(guitest::SetModificationTime(photo, kFileTime));

    CJpegInfoDlg info(nullptr, QFile::encodeName(photo).toStdString());
    info.show();
    QVERIFY(QTest::qWaitForWindowExposed(&info));
    QVERIFY(!guitest::SaveScreenshot(info, QStringLiteral("jpeg-information.png")).isEmpty());

    CTestBuildFormatDlg builder;
    builder.m_strFormat = "Img%Y%m%d_%H%M%S_%C";
    builder.UpdateSample();
    builder.show();
    builder.List().setCurrentIndex(
        builder.List().model()->index(RowOfCode(builder.List(), "%C"), 0));
    QVERIFY(QTest::qWaitForWindowExposed(&builder));
    QVERIFY(!guitest::SaveScreenshot(builder, QStringLiteral("build-format.png")).isEmpty());

    CTestAboutDlg about;
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    QVERIFY(!guitest::SaveScreenshot(about, QStringLiteral("about.png")).isEmpty());
}

VELMORA_GUI_TEST_MAIN(DialogsTest)

#include "dialogs_test.moc"
