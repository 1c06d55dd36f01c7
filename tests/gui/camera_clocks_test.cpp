// The Camera Clocks window, reached from the main window: offsets typed or taken
// from a sync pair, kept after a restart, or cancelled.

#include "camera_clocks_dlg.h"
#include "gui_test_support.h"
#include "jpeg_builder.h"
#include "velmora_dlg.h"

#include <QBuffer>
#include <QImage>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using namespace testdata;

// The camera's a.jpg, with an EXIF thumbnail, and b.jpg; the phone's p.jpg and q.jpg,
// their zone recorded, which show nothing. By date: a 10:00, p 11:00:30, b 12:00, q 13:00.
bool WriteFolder(const std::string& folder) {
    const auto qtJpeg = [](QColor color) {
        QImage image(160, 120, QImage::Format_RGB32);
        image.fill(color);
        QBuffer buffer; // opened by the save
        image.save(&buffer, "JPG");
        return Bytes(buffer.data().begin(), buffer.data().end());
    };
    const auto phone = [](const char* date) {
        CTiffBuilder tiff;
        tiff.Ascii(0, 0x010F, "Lumio").Ascii(0, 0x0110, "Pocket 7").SubDirectory(0, 0x8769, 1);
        tiff.AddDirectory(), tiff.Ascii(1, 0x9003, date).Ascii(1, 0x9011, "+02:00");
        return CJpegBuilder::Photo(&tiff);
    };
    const Bytes image = qtJpeg(Qt::blue), thumbnail = qtJpeg(Qt::red);
    const auto camera = [&](const char* date, const Bytes& thumb) { // with an image Qt reads
        CTiffBuilder tiff = CameraTiff(ByteOrder::Intel, date);     // directory 2: IFD1
        tiff.Dir(2).entries[1].value = tiff.U32(thumb.size());
        tiff.Dir(2).entries[0].value = tiff.U32(tiff.Build().size());
        Bytes exif = tiff.Build();
        exif.insert(exif.end(), thumb.begin(), thumb.end());
        return CJpegBuilder().Soi().Exif(exif).Raw(Bytes(image.begin() + 2, image.end())).Data();
    };
    return WriteFile(folder + "/a.jpg", camera("2022:05:01 10:00:00", thumbnail)) &&
           WriteFile(folder + "/b.jpg", camera("2022:05:01 12:00:00", {})) &&
           WriteFile(folder + "/p.jpg", phone("2022:05:01 11:00:30")) &&
           WriteFile(folder + "/q.jpg", phone("2022:05:01 13:00:00"));
}

class CTestClocksDlg : public CCameraClocksDlg {
public:
    using CCameraClocksDlg::CCameraClocksDlg;
    QStringList m_messages;

    // The camera's offset (the first line: its files are read first), typed as a user would.
    QString Offset() { return Table().item(0, ColOffset)->text(); }
    void TypeOffset(const QString& text) {
        Table().editItem(Table().item(0, ColOffset));
        auto* editor =
            qobject_cast<QLineEdit*>(Table().indexWidget(Table().model()->index(0, ColOffset)));
        QVERIFY(editor != nullptr);
        editor->selectAll();
        QTest::keyClick(editor, Qt::Key_Backspace);
        QTest::keyClicks(editor, text);
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents();
    }
    static QColor Centre(QListView& list, int row) {
        const QImage image =
            list.model()->index(row, 0).data(Qt::DecorationRole).value<QPixmap>().toImage();
        return image.pixelColor(image.width() / 2, image.height() / 2);
    }

protected:
    void MessageBox(const QString& text, const QString&, unsigned) override { m_messages << text; }
};

// Works its Camera Clocks window by `m_answer`, then confirms it (m_bOk) or cancels it.
class CTestVelmoraDlg : public CVelmoraDlg {
public:
    void (*m_answer)(CTestClocksDlg&) = nullptr;
    bool m_bOk = true;
    int m_nClockRuns = 0;

    QString Times() { // of the new names, in the list's order
        QString times;
        for (int row = 0; row < List().GetItemCount(); ++row)
            times += QString::fromStdString(List().GetItemText(row, 1)).mid(12, 6) + ' ';
        return times;
    }

protected:
    void MessageBox(const QString&, const QString&, unsigned) override {}
    bool RunCameraClocksDialog(std::vector<std::int64_t>& offsets) override {
        ++m_nClockRuns;
        CTestClocksDlg clocks(this, Devices(), List().Rows(), Directory());
        clocks.show();
        m_answer(clocks);
        offsets = clocks.Offsets();
        return m_bOk;
    }
};

const QString kPlain = "100000 110030 120000 130000 ", kShifted = "110030 110500 130000 130500 ";

} // namespace

class CameraClocksTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cancelledTypedThenFromPairAcrossRestarts() {
        QTemporaryDir folder;
        const std::string path = QFile::encodeName(folder.path()).toStdString();
        QVERIFY(WriteFolder(path));
        CTestVelmoraDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        dlg.m_bOk = false, dlg.m_answer = [](CTestClocksDlg& c) { c.TypeOffset("+2:00:00"); };
        for (const int runs : {0, 1}) { // Ctrl+K without a folder, then with one, cancelled
            QTest::keyClick(&dlg.FormatField(), Qt::Key_K, Qt::ControlModifier);
            QCOMPARE(dlg.m_nClockRuns, runs);
            QCOMPARE(dlg.Times(), runs == 0 ? QString() : kPlain);
            dlg.ScanFolder(path);
        }
        CTestVelmoraDlg typed; // each new window is a restart: the cancelled offset was not kept
        typed.ScanFolder(path);
        QCOMPARE(typed.Times(), kPlain);
        typed.m_answer = [](CTestClocksDlg& clocks) {
            clocks.TypeOffset("1:99");
            QCOMPARE(clocks.Offset(), "+0:00:00");
            QTRY_COMPARE(clocks.m_messages.filter("\"1:99\"").size(), 1);
            // Hours and minutes, or minutes and seconds: refused, and an
            // empty offset clears one.
            clocks.TypeOffset("1:05");
            QTRY_COMPARE(clocks.m_messages.filter("\"1:05\" could be hours").size(), 1);
            clocks.TypeOffset("2:00:00");
            clocks.TypeOffset("");
            QCOMPARE(clocks.Offset(), "+0:00:00");
            clocks.TypeOffset("1:05:00");
            QVERIFY(clocks.isVisible()); // Enter ended the edit, not the window
            // It starts inside the screen and may be made smaller.
            const QRect screen = clocks.screen()->availableGeometry();
            QVERIFY(clocks.width() < screen.width() && clocks.height() < screen.height());
            QVERIFY(clocks.minimumHeight() < clocks.height());
        };
        typed.OnCameraClocks();
        QCOMPARE(typed.Times(), kShifted);
        // Stored for the span of the camera's files here, and said so.
        const QString span = "2022-05-01 10:00:00 to 2022-05-01 12:00:00";
        QCOMPARE(typed.StatusLine().Notice(), "1 camera clock");
        QVERIFY(typed.StatusLine().toolTip().endsWith(
            QString::fromStdString(typed.Devices()[1].id.Text()) + ": +1:05:00 for " + span));
        QTemporaryDir older; // the same camera's photos of another year keep their times
        const std::string olderPath = QFile::encodeName(older.path()).toStdString();
        const CTiffBuilder tiff = CameraTiff(ByteOrder::Intel, "2008:06:01 15:56:01");
        QVERIFY(WriteFile(olderPath + "/burst_a.jpg", CJpegBuilder::Photo(&tiff)));
        typed.ScanFolder(olderPath);
        QCOMPARE(typed.Times(), "155601 ");
        QCOMPARE(typed.StatusLine().Notice(), QString());
        CTestVelmoraDlg restarted;
        restarted.ScanFolder(path);
        QCOMPARE(restarted.Times(), kShifted);
        restarted.m_answer = [](CTestClocksDlg& clocks) {
            QCOMPARE(clocks.Offset(), "+1:05:00");
            QCOMPARE(clocks.Table().item(0, CCameraClocksDlg::ColHoldsFor)->text(),
                     "2022-05-01 10:00:00 to 2022-05-01 12:00:00");
            QVERIFY(clocks.Centre(clocks.DeviceFiles(), 0).red() > 240);  // the thumbnail first
            QVERIFY(clocks.Centre(clocks.DeviceFiles(), 1).blue() > 240); // else the image
            QCOMPARE(clocks.Centre(clocks.ReferenceFiles(), 0).alpha(), 0);
            // b.jpg (12:00:00) shows the moment of q.jpg (13:00:00).
            for (QListView* list : {&clocks.DeviceFiles(), &clocks.ReferenceFiles()})
                list->setCurrentIndex(list->model()->index(1, 0));
            clocks.SetFromPairButton().click();
            QCOMPARE(clocks.Offset(), "+1:00:00");
        };
        restarted.OnCameraClocks();
        QVERIFY(restarted.Times().startsWith("110000 "));
    }
};

VELMORA_GUI_TEST_MAIN(CameraClocksTest)
#include "camera_clocks_test.moc"
