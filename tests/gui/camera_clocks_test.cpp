// The Camera Clocks window, reached from the main window: offsets typed, taken
// from a proposal or a sync pair, kept after a restart, or cancelled.

#include "gui_test_support.h"
#include "jpeg_builder.h"

#include "camera_clocks_dlg.h"
#include "velmora_dlg.h"

#include <QBuffer>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

namespace {

using testdata::ByteOrder;
using testdata::Bytes;
using testdata::CJpegBuilder;
using testdata::CTiffBuilder;

QSettings Store() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quorvant"),
                     QStringLiteral("Velmora"));
}

const QString kCameraKey =
    QStringLiteral("Clocks/") +
    QString::fromStdString(velmora::CDeviceId{"Quorvant Optics", "QX-100", ""}.Key());
constexpr int kCamera = 0; // table line: the camera's files are read first

Bytes QtJpeg(QColor color) {
    QImage image(160, 120, QImage::Format_RGB32);
    image.fill(color);
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG");
    return Bytes(data.begin(), data.end());
}

CTiffBuilder PhoneTiff(const char* date) {
    CTiffBuilder tiff;
    const int exif = tiff.AddDirectory();
    tiff.Ascii(0, 0x010F, "Lumio").Ascii(0, 0x0110, "Pocket 7").SubDirectory(0, 0x8769, exif);
    tiff.Ascii(exif, 0x9003, date).Ascii(exif, 0x9011, "+02:00");
    return tiff;
}

// A camera (a.jpg: an image Qt reads; b.jpg: one it doesn't, its zone left
// at home) and a phone, whose files record their zone (p.jpg with an EXIF
// thumbnail). By date: a 10:00:00, p 11:00:30, b 12:00:00, q 13:00:00.
bool WriteFolder(const QString& folder) {
    const auto path = [&](const char* name) {
        return QFile::encodeName(folder + QLatin1Char('/') + QLatin1String(name)).toStdString();
    };
    const Bytes image = QtJpeg(Qt::blue);
    Bytes a = CJpegBuilder()
                  .Soi()
                  .Exif(testdata::CameraTiff(ByteOrder::Intel, "2022:05:01 10:00:00"))
                  .Data();
    a.insert(a.end(), image.begin() + 2, image.end());
    CTiffBuilder b = testdata::CameraTiff(ByteOrder::Intel, "2022:05:01 12:00:00");
    b.Ascii(1, 0x9011, "+00:00");
    CTiffBuilder p = PhoneTiff("2022:05:01 11:00:30");
    const int ifd1 = p.AddDirectory();
    p.Next(0, ifd1).Long(ifd1, 0x0201, 0).Long(ifd1, 0x0202, 0);
    const Bytes thumbnail = QtJpeg(Qt::red);
    p.Dir(ifd1).entries[0].value = p.U32(std::uint32_t(p.Build().size()));
    p.Dir(ifd1).entries[1].value = p.U32(std::uint32_t(thumbnail.size()));
    Bytes exif = p.Build();
    exif.insert(exif.end(), thumbnail.begin(), thumbnail.end());
    const CTiffBuilder q = PhoneTiff("2022:05:01 13:00:00");
    return testdata::WriteFile(path("a.jpg"), a) &&
           testdata::WriteFile(path("b.jpg"), CJpegBuilder::Photo(&b)) &&
           testdata::WriteFile(
               path("p.jpg"),
               CJpegBuilder().Soi().Exif(exif).FrameHeader(640, 480, 3).Sos().Data()) &&
           testdata::WriteFile(path("q.jpg"), CJpegBuilder::Photo(&q));
}

class CTestClocksDlg : public CCameraClocksDlg {
public:
    using CCameraClocksDlg::CCameraClocksDlg;
    QStringList m_messages;

protected:
    void MessageBox(const QString& text, const QString&, unsigned) override { m_messages << text; }
};

// The main window; its Camera Clocks window is worked by `m_answer`, then
// confirmed (m_bOk) or cancelled.
class CTestVelmoraDlg : public CVelmoraDlg {
public:
    std::function<void(CTestClocksDlg&)> m_answer;
    bool m_bOk = true;
    int m_nClockRuns = 0;

protected:
    void MessageBox(const QString&, const QString&, unsigned) override {}
    bool RunCameraClocksDialog(std::vector<std::int64_t>& offsets) override {
        ++m_nClockRuns;
        if (!m_answer)
            return false;
        CTestClocksDlg clocks(this, Devices(), List().Rows(), Directory());
        clocks.show();
        m_answer(clocks);
        offsets = clocks.Offsets();
        return m_bOk;
    }
};

QStringList Column(CListCtrlEx& list, int column) {
    QStringList texts;
    for (int row = 0; row < list.GetItemCount(); ++row)
        texts << QString::fromStdString(list.GetItemText(row, column));
    return texts;
}

QString Cell(CCameraClocksDlg& clocks, int line, int column) {
    return clocks.Table().item(line, column)->text();
}

// Types into the line's offset cell and presses Enter, as a user would.
void TypeOffset(CCameraClocksDlg& clocks, int line, const QString& text) {
    QTableWidget& table = clocks.Table();
    table.editItem(table.item(line, CCameraClocksDlg::ColOffset));
    auto* editor = qobject_cast<QLineEdit*>(
        table.indexWidget(table.model()->index(line, CCameraClocksDlg::ColOffset)));
    QVERIFY(editor != nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, text);
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();
}

const QStringList kPlainNames = {"Img20220501_100000_000.jpg", "Img20220501_110030_001.jpg",
                                 "Img20220501_120000_002.jpg", "Img20220501_130000_003.jpg"};
constexpr int kOffset = CCameraClocksDlg::ColOffset;

} // namespace

class CameraClocksTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_folder;
    std::string Folder() const { return QFile::encodeName(m_folder.path()).toStdString(); }

private Q_SLOTS:
    void initTestCase() { QVERIFY(WriteFolder(m_folder.path())); }
    void init() { Store().remove(QStringLiteral("Clocks")); }

    void typedThenFromPairAcrossRestarts() {
        CTestVelmoraDlg dlg;
        dlg.show();
        dlg.ScanFolder(Folder());
        QCOMPARE(Column(dlg.List(), 1), kPlainNames);
        dlg.m_answer = [](CTestClocksDlg& clocks) {
            QCOMPARE(clocks.Table().rowCount(), 2);
            QCOMPARE(Cell(clocks, kCamera, 0), "Quorvant Optics QX-100");
            QCOMPARE(Cell(clocks, kCamera, CCameraClocksDlg::ColLast), "2022-05-01 12:00:00");
            QCOMPARE(clocks.ReferenceBox().currentText(), "Lumio Pocket 7");
            TypeOffset(clocks, kCamera, "1:99");
            QCOMPARE(Cell(clocks, kCamera, kOffset), "+0:00:00");
            QTRY_COMPARE(clocks.m_messages.size(), 1);
            QVERIFY(clocks.m_messages[0].contains("\"1:99\""));
            TypeOffset(clocks, kCamera, "1:05");
            QCOMPARE(Cell(clocks, kCamera, kOffset), "+1:05:00");
            QVERIFY(clocks.isVisible()); // Enter ended the edit, not the window
        };
        dlg.OnCameraClocks();
        QCOMPARE(Store().value(kCameraKey).toLongLong(), 3900LL);
        QCOMPARE(Column(dlg.List(), 0), QStringList({"p.jpg", "a.jpg", "q.jpg", "b.jpg"}));
        const QStringList shifted = {"Img20220501_110030_000.jpg", "Img20220501_110500_001.jpg",
                                     "Img20220501_130000_002.jpg", "Img20220501_130500_003.jpg"};
        QCOMPARE(Column(dlg.List(), 1), shifted);
        const auto tip = [&](int row) {
            return dlg.List().model()->index(row, 0).data(Qt::ToolTipRole).toString();
        };
        QVERIFY(tip(1).contains("\nCamera clock +1:05:00"));
        QVERIFY(!tip(0).contains("Camera clock"));

        CTestVelmoraDlg restarted;
        restarted.ScanFolder(Folder());
        QCOMPARE(Column(restarted.List(), 1), shifted);
        restarted.m_answer = [](CTestClocksDlg& clocks) {
            QCOMPARE(Cell(clocks, kCamera, kOffset), "+1:05:00");
            const QString proposal = Cell(clocks, kCamera, CCameraClocksDlg::ColProposal);
            QVERIFY(!proposal.isEmpty()); // b.jpg was left on home time
            clocks.UseProposalButton().click();
            QCOMPARE(Cell(clocks, kCamera, kOffset), proposal);
            // b.jpg (12:00:00) shows the moment of q.jpg (13:00:00).
            QVERIFY(!clocks.SetFromPairButton().isEnabled());
            for (QListView* list : {&clocks.DeviceFiles(), &clocks.ReferenceFiles()})
                list->setCurrentIndex(list->model()->index(1, 0));
            clocks.SetFromPairButton().click();
            QCOMPARE(Cell(clocks, kCamera, kOffset), "+1:00:00");
            clocks.SelectDevice(2); // the reference: no pair with itself
            QVERIFY(!clocks.SetFromPairButton().isEnabled());
        };
        restarted.OnCameraClocks();
        QCOMPARE(Store().value(kCameraKey).toLongLong(), 3600LL);
        QCOMPARE(Column(restarted.List(), 1).first(), "Img20220501_110000_000.jpg");

        restarted.m_answer = [](CTestClocksDlg& clocks) { TypeOffset(clocks, kCamera, "-0"); };
        restarted.OnCameraClocks();
        QVERIFY(!Store().contains(kCameraKey)); // 0 is stored as no entry
        QCOMPARE(Column(restarted.List(), 1), kPlainNames);
    }

    void cancelChangesNothing() {
        CTestVelmoraDlg dlg;
        dlg.ScanFolder(Folder());
        dlg.m_answer = [](CTestClocksDlg& clocks) { TypeOffset(clocks, kCamera, "+2:00:00"); };
        dlg.m_bOk = false;
        dlg.OnCameraClocks();
        QVERIFY(!Store().childGroups().contains("Clocks"));
        QCOMPARE(Column(dlg.List(), 1), kPlainNames);
    }

    void ctrlKWithAFolder() {
        CTestVelmoraDlg dlg;
        dlg.show();
        for (const int runs : {0, 1}) { // without a folder, then with one
            dlg.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&dlg));
            QTest::keyClick(&dlg.FormatField(), Qt::Key_K, Qt::ControlModifier);
            QCOMPARE(dlg.m_nClockRuns, runs);
            dlg.ScanFolder(Folder());
        }
    }

    void listPictures() {
        CTestVelmoraDlg dlg;
        dlg.ScanFolder(Folder());
        CCameraClocksDlg clocks(&dlg, dlg.Devices(), dlg.List().Rows(), Folder());
        const auto centre = [](QListView& list, int row) {
            const QImage image =
                list.model()->index(row, 0).data(Qt::DecorationRole).value<QPixmap>().toImage();
            return image.pixelColor(image.width() / 2, image.height() / 2);
        };
        QVERIFY(centre(clocks.DeviceFiles(), 0).blue() > 240);   // a.jpg as Qt reads it
        QCOMPARE(centre(clocks.DeviceFiles(), 1).alpha(), 0);    // b.jpg: none
        QVERIFY(centre(clocks.ReferenceFiles(), 0).red() > 240); // p.jpg's EXIF thumbnail
        QVERIFY(clocks.ReferenceFiles().model()->index(0, 0).data().toString().startsWith(
            "p.jpg\n2022-05-01 11:00:30"));
    }
};

VELMORA_GUI_TEST_MAIN(CameraClocksTest)
#include "camera_clocks_test.moc"
