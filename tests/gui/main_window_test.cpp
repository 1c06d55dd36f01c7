// The main window driven as a user would: start-up and the stored format,
// the scan of a folder, editing the format, Rename and its messages, the
// double-click, drag and drop and the folder browser.

#include "gui_test_support.h"
#include "jpeg_builder.h"

#include "build_format_dlg.h"
#include "journal_store.h"
#include "list_rows.h"
#include "safe_rename.h"
#include "velmora_dlg.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QtTest>

#include <functional>
#include <map>
#include <optional>
#include <sys/stat.h>
#include <vector>

namespace {

const QString kDefaultFormat = QStringLiteral("Img%Y%m%d_%H%M%S_%C");
const QString kMissingInformation = QStringLiteral("The JPEG file is missing information.");

QSettings Store() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quorvant"),
                     QStringLiteral("Velmora"));
}

QVariant StoredFormat() {
    return Store().value(QStringLiteral("Settings/Default Format"));
}

void SetStoredFormat(const QString& format) {
    Store().setValue(QStringLiteral("Settings/Default Format"), format);
}

// The main window with the desktop's side effects recorded instead of shown.
class CTestVelmoraDlg : public CVelmoraDlg {
public:
    struct CMessage {
        QString strText;
        QString strCaption;
        unsigned nFlags;
    };

    std::vector<CMessage> m_messages;
    std::vector<std::string> m_infoPaths; // and the date of the row, when it has one
    bool m_bInfoAllTypes = false;
    QStringList m_browseStarts;
    QString m_strBrowseAnswer;
    std::vector<std::string> m_builderOffers;
    std::optional<std::string> m_builderAnswer; // none: the builder is cancelled
    bool m_bRealBuilder = false;
    bool m_bRealBrowser = false;
    int m_nAboutRuns = 0;
    QStringList m_questions; // each ends in " [Yes]" or " [No]", the default
    bool m_bAnswerYes = true;
    int m_nLongWorkDelayMs = 500;
    int m_nProgressRepaintMs = 50;

protected:
    bool AskYesNo(const QString& text, const QString&, bool yesDefault) override {
        m_questions << text + (yesDefault ? " [Yes]" : " [No]");
        return m_bAnswerYes;
    }
    bool AskRenameOthers(const QString& text) override {
        m_questions << text;
        return m_bAnswerYes;
    }
    void MessageBox(const QString& text, const QString& caption, unsigned flags) override {
        m_messages.push_back({text, caption, flags});
    }
    QString BrowseForFolder(const QString& startFolder) override {
        if (m_bRealBrowser)
            return CVelmoraDlg::BrowseForFolder(startFolder);
        m_browseStarts << startFolder;
        return m_strBrowseAnswer;
    }
    void RunJpegInfoDialog(const std::string& path, bool allTypes,
                           const velmora::CRowDate& listed) override {
        m_infoPaths.push_back(path);
        if (listed.Found())
            m_infoPaths.back() +=
                ' ' + velmora::DateFieldsText(velmora::WallFields(listed.nWallMillis));
        m_bInfoAllTypes = allTypes;
    }
    bool RunBuildFormatDialog(std::string& format) override {
        if (m_bRealBuilder)
            return CVelmoraDlg::RunBuildFormatDialog(format);
        m_builderOffers.push_back(format);
        if (!m_builderAnswer)
            return false;
        format = *m_builderAnswer;
        return true;
    }
    void RunAboutDialog() override { ++m_nAboutRuns; }
    int LongWorkDelayMs() const override { return m_nLongWorkDelayMs; }
    int ProgressRepaintMs() const override { return m_nProgressRepaintMs; }
};

// The folder most tests scan: three dated photos whose names are not in date
// order, one file no reader takes and one photo without a date; besides them
// a text file and a subfolder with a photo, neither of which is listed.
class CPhotoFolder {
public:
    bool Create() {
        return m_dir.isValid() && guitest::WriteDatedPhoto(File("a.jpg"), "2022:01:02 03:04:05") &&
               guitest::WriteBrokenFile(File("b.jpg")) &&
               guitest::WriteDatedPhoto(File("c.jpg"), "2021:07:04 09:15:00") &&
               guitest::WriteUndatedPhoto(File("d.jpg")) &&
               guitest::WriteDatedPhoto(File("e.jpg"), "2019:12:31 23:59:59") &&
               QFile(File("notes.txt")).open(QIODevice::WriteOnly) &&
               QDir(Path()).mkdir(QStringLiteral("nested")) &&
               guitest::WriteDatedPhoto(File("nested/f.jpg"), "2018:01:01 00:00:00");
    }
    QString Path() const { return m_dir.path(); }
    QString File(const QString& name) const { return m_dir.filePath(name); }
    std::string PathBytes() const { return QFile::encodeName(Path()).toStdString(); }

private:
    QTemporaryDir m_dir;
};

// Rows of the photo folder after a scan with the default format.
struct CExpectedRow {
    const char* name;
    const char* converted;
    int status;
    qint64 data;
};
const CExpectedRow kScannedRows[] = {
    {"e.jpg", "Img20191231_235959_000.jpg", RowToRename, 1577836799},
    {"c.jpg", "Img20210704_091500_001.jpg", RowToRename, 1625390100},
    {"a.jpg", "Img20220102_030405_002.jpg", RowToRename, 1641092645},
    {"b.jpg", "Invalid JPEG file!", RowUnreadable, 1}, // listing position
    {"d.jpg", "The JPEG file is missing information.", RowNoDate, 3},
};
constexpr int kScannedRowCount = 5;
constexpr int kDatedRowCount = 3;

QStringList Column(CListCtrlEx& list, int column) {
    QStringList texts;
    for (int row = 0; row < list.GetItemCount(); ++row)
        texts << QString::fromStdString(list.GetItemText(row, column));
    return texts;
}

QList<int> Statuses(CListCtrlEx& list) {
    QList<int> statuses;
    for (int row = 0; row < list.GetItemCount(); ++row)
        statuses << list.GetItemImage(row);
    return statuses;
}

QPushButton* ButtonWithText(QWidget& parent, const QString& text) {
    for (QPushButton* button : parent.findChildren<QPushButton*>()) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

// Opens the context menu from the keyboard (Shift+F10, as the Menu key
// does) in `widget` and, while it is open, calls `each` with its actions.
void WithContextMenu(QWidget& widget, const std::function<void(const QList<QAction*>&)>& each) {
    QTimer::singleShot(0, &widget, [&each] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        each(menu != nullptr ? menu->actions() : QList<QAction*>());
        if (menu != nullptr)
            menu->close();
    });
    QTest::keyClick(&widget, Qt::Key_F10, Qt::ShiftModifier);
}

// Records each status line painted while it lives, once per text in a row.
class CPaintedTexts : public QObject {
public:
    explicit CPaintedTexts(QLabel& label) : m_label(label) { m_label.installEventFilter(this); }
    QStringList m_texts;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint &&
            (m_texts.isEmpty() || m_texts.back() != m_label.text()))
            m_texts << m_label.text();
        return false;
    }

private:
    QLabel& m_label;
};

} // namespace

Q_DECLARE_METATYPE(std::optional<QString>)
Q_DECLARE_METATYPE(std::optional<std::string>)

class MainWindowTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();

    void startUp_data();
    void startUp();
    void leavingStoresNothing_data();
    void leavingStoresNothing();
    void controlsFollowGrowingWindow_data();
    void controlsFollowGrowingWindow();
    void windowMaximizes();

    void scanListsRowsInOrder();
    void scanProgressCountsFilesAndFolders_data();
    void scanProgressCountsFilesAndFolders();
    void folderWithoutPhotos_data();
    void folderWithoutPhotos();
    void newScanStartsAtTop_data();
    void newScanStartsAtTop();
    void typingRegeneratesNames();
    void refusedNamesAreMarkedWhenTypingPauses();
    void buildFormat_data();
    void buildFormat();
    void realBuildFormatDialog_data();
    void realBuildFormatDialog();

    void renameWithNothingToDo_data();
    void renameWithNothingToDo();
    void renameAll();
    void renameNothingStillStoresFormat();
    void renameStopsAtFirstFailure();
    void renameLeavesRefusedRows_data();
    void renameLeavesRefusedRows();
    void cancelStopsWhereNoFileIsAside_data();
    void cancelStopsWhereNoFileIsAside();
    void renameWithEmptyFormatRenamesNothing();
    void fileTypeChoicesAreRememberedAndRescan();
    void undatedFilesChoiceIsRememberedAndMarked();
    void extensionCaseIsRememberedAndUnknownCodeRefused();
    void organiseTreeFromTheMenu();
    void ctrlZUndoesTheRename();
    void interruptedRunIsOfferedForUndo_data();
    void interruptedRunIsOfferedForUndo();
    void renamedNamesShownWhole_data();
    void renamedNamesShownWhole();
    void enterInFormatFieldRenames();
    void enterPressesFocusedButton_data();
    void enterPressesFocusedButton();

    void doubleClick_data();
    void doubleClick();
    void doubleClickWithMouse();

    void dropPath_data();
    void dropPath();
    void dropEvent_data();
    void dropEvent();
    void dropFolderNamedInOtherBytes();
    void browse();
    void folderDialogLeavesNoFile_data();
    void folderDialogLeavesNoFile();
    void aboutFromF1();
    void keysAndAVanishedFolder();
    void statusPicturesMatchScale();

    void mainWindowScreenshot();
};

void MainWindowTest::init() {
    Store().clear();
}

void MainWindowTest::startUp_data() {
    QTest::addColumn<std::optional<QString>>("stored");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QByteArray>("file"); // the settings file's bytes, when given
    QTest::newRow("first-run") << std::optional<QString>() << kDefaultFormat << QByteArray();
    QTest::newRow("stored-format") << std::optional<QString>(QStringLiteral("Pic_%Y_%C"))
                                   << QStringLiteral("Pic_%Y_%C") << QByteArray();
    QTest::newRow("stored-empty-value")
        << std::optional<QString>(QString()) << QString() << QByteArray();
    QTest::newRow("quote-left-open")
        << std::optional<QString>() << kDefaultFormat
        << QByteArray("[Settings]\nDefault%20Format=\"Pic_%Y\nCompanions=true\n");
}

void MainWindowTest::startUp() {
    QFETCH(std::optional<QString>, stored);
    QFETCH(QString, shown);
    QFETCH(QByteArray, file);
    if (stored)
        SetStoredFormat(*stored);
    QFile settings(Store().fileName());
    if (!file.isEmpty())
        QVERIFY(settings.open(QIODevice::WriteOnly) && settings.write(file) == file.size());
    settings.close();

    CTestVelmoraDlg dlg;
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Velmora Images to date taken value"));
    QCOMPARE(dlg.FormatField().text(), shown);
    QCOMPARE(QString::fromStdString(dlg.Format()), shown);
    QCOMPARE(dlg.DirectoryField().text(), QString());
    QCOMPARE(dlg.List().GetItemCount(), 0);
    QCOMPARE(dlg.StatusLine().text(), QString());
    QCOMPARE(dlg.RenameCountField().text(), QStringLiteral("0"));
    QVERIFY(dlg.Progress().isHidden());
    QVERIFY(dlg.m_messages.empty());
    if (file.isEmpty()) {
        QCOMPARE(StoredFormat().isValid(), stored.has_value());
    } else {
        // A choice made then is not stored, and says so.
        dlg.OnCompanions(true);
        QCOMPARE(dlg.m_messages.size(), std::size_t(1));
        QVERIFY(
            dlg.m_messages[0].strText.startsWith("The setting is not stored: the settings file"));
        QVERIFY(settings.open(QIODevice::ReadOnly) && settings.readAll() == file);
    }
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QCOMPARE(guitest::TextsCutOff(dlg), QStringList());
}

void MainWindowTest::leavingStoresNothing_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("escape-key") << QStringLiteral("escape");
    QTest::newRow("exit-button") << QStringLiteral("exit");
    QTest::newRow("close-box") << QStringLiteral("close");
}

void MainWindowTest::leavingStoresNothing() {
    QFETCH(QString, how);
    CPhotoFolder folder;
    QVERIFY(folder.Create());
    CTestVelmoraDlg dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    dlg.ScanFolder(folder.PathBytes());
    QTest::keyClick(&dlg.FormatField(), Qt::Key_X);

    if (how == QLatin1String("escape"))
        QTest::keyClick(&dlg.FormatField(), Qt::Key_Escape);
    else if (how == QLatin1String("exit"))
        QTest::mouseClick(&dlg.ExitButton(), Qt::LeftButton);
    else
        dlg.close();

    QVERIFY(!dlg.isVisible());
    QCOMPARE(dlg.result(), int(QDialog::Rejected));
    QVERIFY(dlg.m_messages.empty());
    QVERIFY(!StoredFormat().isValid());
    QVERIFY(QFile::exists(folder.File("a.jpg")));
}

void MainWindowTest::controlsFollowGrowingWindow_data() {
    // How a control's x, y, width and height change per pixel the window grows.
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("dx");
    QTest::addColumn<int>("dy");
    QTest::addColumn<int>("dw");
    QTest::addColumn<int>("dh");

    QTest::newRow("folder-label") << "Target Directory:" << 0 << 0 << 0 << 0;
    QTest::newRow("folder-field") << "folder" << 0 << 0 << 1 << 0;
    QTest::newRow("browse-button") << "..." << 1 << 0 << 0 << 0;
    QTest::newRow("format-label") << "File Name Format:" << 0 << 0 << 0 << 0;
    QTest::newRow("format-field") << "format" << 0 << 0 << 1 << 0;
    QTest::newRow("build-format-button") << "&Build Format" << 1 << 0 << 0 << 0;
    QTest::newRow("rename-label") << "Rename:" << 1 << 0 << 0 << 0;
    QTest::newRow("rename-count") << "count" << 1 << 0 << 0 << 0;
    QTest::newRow("list") << "list" << 0 << 0 << 1 << 1;
    QTest::newRow("status-line") << "status" << 0 << 1 << 1 << 0;
    QTest::newRow("rename-button") << "Rename" << 0 << 1 << 0 << 0;
    QTest::newRow("progress-bar") << "progress" << 0 << 1 << 1 << 0;
    QTest::newRow("exit-button") << "Exit" << 1 << 1 << 0 << 0;
}

// The list takes what the window gains; every control keeps its distance to
// the window edges it sits next to.
void MainWindowTest::controlsFollowGrowingWindow() {
    QFETCH(QString, control);
    QFETCH(int, dx);
    QFETCH(int, dy);
    QFETCH(int, dw);
    QFETCH(int, dh);

    CTestVelmoraDlg dlg;
    const std::map<QString, QWidget*> fields = {
        {"folder", &dlg.DirectoryField()},  {"format", &dlg.FormatField()},
        {"count", &dlg.RenameCountField()}, {"list", &dlg.List()},
        {"status", &dlg.StatusLine()},      {"progress", &dlg.Progress()}};
    QWidget* widget = fields.count(control) != 0 ? fields.at(control) : nullptr;
    for (QWidget* child : dlg.findChildren<QWidget*>()) {
        if (child->property("text").toString() == control && child != &dlg.StatusLine())
            widget = child;
    }
    QVERIFY(widget != nullptr);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    const QRect before = widget->geometry();
    const QSize start = dlg.size();

    const QSize grown(150, 90);
    dlg.resize(start + grown);

    QTRY_COMPARE(dlg.size(), start + grown);
    QTRY_COMPARE(widget->geometry(),
                 QRect(before.x() + dx * grown.width(), before.y() + dy * grown.height(),
                       before.width() + dw * grown.width(), before.height() + dh * grown.height()));
}

// The window starts at its template's size, no smaller size is allowed, and
// it can be maximised, which is remembered.
void MainWindowTest::windowMaximizes() {
    CTestVelmoraDlg dlg;
    const QSize start = dlg.size();
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QCOMPARE(dlg.size(), start);
    QCOMPARE(dlg.minimumSize(), start);
    QVERIFY(dlg.windowFlags() & Qt::WindowMaximizeButtonHint);
    QVERIFY(!(dlg.windowFlags() & Qt::MSWindowsFixedSizeDialogHint));
    const QRect exit = dlg.ExitButton().geometry();
    const QSize exitMargin(start.width() - exit.right(), start.height() - exit.bottom());

    dlg.showMaximized();
    QTRY_VERIFY(dlg.isMaximized());
    QTRY_VERIFY(dlg.width() > start.width() && dlg.height() > start.height());
    QVERIFY(dlg.List().geometry().bottom() < dlg.StatusLine().geometry().top());
    QVERIFY(dlg.StatusLine().geometry().bottom() < dlg.ExitButton().geometry().top());
    QCOMPARE(dlg.width() - dlg.ExitButton().geometry().right(), exitMargin.width());
    QCOMPARE(dlg.height() - dlg.ExitButton().geometry().bottom(), exitMargin.height());
    dlg.close();
    // Only that it was left maximised is kept, for the next start.
    QCOMPARE(Store().allKeys(), QStringList({"Settings/Window Maximized"}));
    QCOMPARE(Store().value("Settings/Window Maximized").toString(), "true");
}

// Every status line a scan paints as it goes, repaints unthrottled: a tree
// scan tells its walk, then the files and folders read so far.
void MainWindowTest::scanProgressCountsFilesAndFolders_data() {
    QTest::addColumn<bool>("tree");
    QTest::addColumn<QStringList>("painted");
    QStringList folder;
    QStringList tree = {"Listing JPEG files: 5 in 1 folder", "Listing JPEG files: 6 in 2 folders"};
    for (int i = 0; i < kScannedRowCount; ++i) {
        folder << QStringLiteral("Extracting date from JPEG files: %1").arg(i);
        tree << QStringLiteral("Extracting date from JPEG files: %1 in 1 folder").arg(i);
    }
    QTest::newRow("folder") << false << folder;
    QTest::newRow("tree") << true << (tree << "Extracting date from JPEG files: 5 in 2 folders");
}

void MainWindowTest::scanProgressCountsFilesAndFolders() {
    QFETCH(bool, tree);
    QFETCH(QStringList, painted);
    CPhotoFolder folder;
    QVERIFY(folder.Create());
    CTestVelmoraDlg dlg;
    dlg.m_nProgressRepaintMs = 0;
    dlg.OnIncludeSubfolders(tree);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    CPaintedTexts seen(dlg.StatusLine());
    dlg.ScanFolder(folder.PathBytes());
    QCOMPARE(seen.m_texts.filter(QRegularExpression("^(Listing|Extracting) ")), painted);
}

void MainWindowTest::scanListsRowsInOrder() {
    CPhotoFolder folder;
    QVERIFY(folder.Create());
    CTestVelmoraDlg dlg;
    dlg.ScanFolder(folder.PathBytes());

    CListCtrlEx& list = dlg.List();
    QCOMPARE(list.GetItemCount(), kScannedRowCount);
    for (int row = 0; row < kScannedRowCount; ++row) {
        const CExpectedRow& expected = kScannedRows[row];
        QCOMPARE(list.GetItemText(row, 0), std::string(expected.name));
        QCOMPARE(list.GetItemText(row, 1), std::string(expected.converted));
        QCOMPARE(list.GetItemImage(row), expected.status);
        // Dated rows carry the date as written in milliseconds, the others
        // their place in the listing.
        QCOMPARE(qint64(list.GetItemData(row)),
                 expected.status <= RowNamed ? expected.data * 1000 : expected.data);
    }
    QCOMPARE(dlg.DirectoryField().text(), folder.Path());
    QCOMPARE(dlg.StatusLine().text(),
             QStringLiteral("(Double click on an picture to view the detail information stored "
                            "in the file, 5 files in the list)"));
    QCOMPARE(dlg.RenameCountField().text(), QString::number(kDatedRowCount));
    QCOMPARE(dlg.RenameCount(), unsigned(kDatedRowCount));
    QVERIFY(dlg.Progress().isHidden());

    // Unreadable rows are yellow on red, undated rows blue on yellow, the
    // others take the list's own colours.
    QVERIFY(list.ItemColors(RowToRename) == nullptr);
    QVERIFY(list.ItemColors(RowNamed) == nullptr);
    const CItemColors* unreadable = list.ItemColors(RowUnreadable);
    QVERIFY(unreadable != nullptr);
    QCOMPARE(unreadable->m_textColor, COLORREF(0x0000FFFF));
    QCOMPARE(unreadable->m_backColor, COLORREF(0x00461AF7));
    const CItemColors* noDate = list.ItemColors(RowNoDate);
    QVERIFY(noDate != nullptr);
    QCOMPARE(noDate->m_textColor, COLORREF(0x00FF0000));
    QCOMPARE(noDate->m_backColor, COLORREF(0x0000FFFF));
    QVERIFY(list.GetFullRowSelect());
    QVERIFY(!StoredFormat().isValid());
}

void MainWindowTest::folderWithoutPhotos_data() {
    QTest::addColumn<QString>("content");
    QTest::newRow("empty-folder") << QString();
    QTest::newRow("other-files-only") << QStringLiteral("notes.txt");
    QTest::newRow("missing-folder") << QStringLiteral("<missing>");
}

// The window describes the folder it shows: none of the last folder's rows,
// count or status stay behind.
void MainWindowTest::folderWithoutPhotos() {
    QFETCH(QString, content);
    CPhotoFolder photos;
    QVERIFY(photos.Create());
    QTemporaryDir empty;
    QString path = empty.path();
    if (content == QLatin1String("<missing>"))
        path += QStringLiteral("/gone");
    else if (!content.isEmpty())
        QVERIFY(QFile(empty.filePath(content)).open(QIODevice::WriteOnly));
    CTestVelmoraDlg dlg;
    dlg.ScanFolder(photos.PathBytes());

    dlg.ScanFolder(QFile::encodeName(path).toStdString());

    QCOMPARE(dlg.DirectoryField().text(), path);
    QCOMPARE(dlg.List().GetItemCount(), 0);
    QCOMPARE(dlg.RenameCountField().text(), QStringLiteral("0"));
    QCOMPARE(dlg.StatusLine().text(),
             QStringLiteral("(Double click on an picture to view the detail information stored "
                            "in the file, 0 files in the list)"));
    QVERIFY(dlg.Progress().isHidden());
    QVERIFY(dlg.m_messages.empty());
}

void MainWindowTest::newScanStartsAtTop_data() {
    QTest::addColumn<int>("secondCount"); // -1: the first folder again
    QTest::newRow("smaller-folder") << 21;
    QTest::newRow("same-folder-again") << -1;
}

void MainWindowTest::newScanStartsAtTop() {
    QFETCH(int, secondCount);
    QTemporaryDir large;
    QTemporaryDir small;
    for (int i = 0; i < 120; ++i)
        QVERIFY(guitest::WriteDatedPhoto(large.filePath(QString::asprintf("p%03d.jpg", i)),
                                         "2020:01:01 10:00:00"));
    for (int i = 0; i < secondCount; ++i)
        QVERIFY(guitest::WriteDatedPhoto(small.filePath(QString::asprintf("q%03d.jpg", i)),
                                         "2021:01:01 10:00:00"));
    CTestVelmoraDlg dlg;
    dlg.show();
    dlg.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    CListCtrlEx& list = dlg.List();
    dlg.ScanFolder(QFile::encodeName(large.path()).toStdString());
    list.setFocus();
    QTRY_VERIFY(list.hasFocus());
    QTest::keyClick(&list, Qt::Key_End);
    QTRY_VERIFY(list.verticalScrollBar()->value() > 0);

    dlg.ScanFolder(QFile::encodeName(secondCount < 0 ? large.path() : small.path()).toStdString());

    QCOMPARE(list.GetItemCount(), secondCount < 0 ? 120 : secondCount);
    QTRY_VERIFY(list.verticalScrollBar()->maximum() > 0); // laid out, still scrollable
    QCOMPARE(list.verticalScrollBar()->value(), 0);
    QCOMPARE(list.indexAt(QPoint(1, 1)).row(), 0);
}

void MainWindowTest::typingRegeneratesNames() {
    CPhotoFolder folder;
    QVERIFY(folder.Create());
    CTestVelmoraDlg dlg;
    dlg.ScanFolder(folder.PathBytes());

    QTest::keyClick(&dlg.FormatField(), Qt::Key_X);
    QCOMPARE(dlg.Format(), std::string("Img%Y%m%d_%H%M%S_%Cx"));
    const QStringList converted = Column(dlg.List(), 1);
    QCOMPARE(converted, QStringList({"Img20191231_235959_000x.jpg", "Img20210704_091500_001x.jpg",
                                     "Img20220102_030405_002x.jpg", "Invalid JPEG file!",
                                     kMissingInformation}));
    QCOMPARE(dlg.RenameCountField().text(), QStringLiteral("3"));

    // A format that gives a row its current name marks it as already named.
    dlg.FormatField().clear();
    QTest::keyClicks(&dlg.FormatField(), QStringLiteral("e"));
    QCOMPARE(Statuses(dlg.List()),
             QList<int>({RowNamed, RowToRename, RowToRename, RowUnreadable, RowNoDate}));
    QCOMPARE(dlg.RenameCountField().text(), QStringLiteral("2"));
    QVERIFY(!StoredFormat().isValid());

    // The value codes take the scan's devices and folder at each keystroke.
    dlg.FormatField().setText(QStringLiteral("%{model}_%{folder}"));
    QCOMPARE(Column(dlg.List(), 1).mid(0, kDatedRowCount),
             QStringList(kDatedRowCount, "QX-100_" + QDir(folder.Path()).dirName() + ".jpg"));
}

// Two photos of one second under a format without a counter: once typing
// pauses both rows are marked, each naming the other; the status line counts
// them and the "Rename:" count stays.
void MainWindowTest::refusedNamesAreMarkedWhenTypingPauses() {
    QTemporaryDir dir;
    for (const char* name : {"a.jpg", "b.jpg"})
        QVERIFY(guitest::WriteDatedPhoto(dir.filePath(name), "2022:01:02 03:04:05"));
    CTestVelmoraDlg dlg;
    dlg.ScanFolder(QFile::encodeName(dir.path()).toStdString());
    const CListModel& model = dlg.List().Model();
    QCOMPARE(model.RefusalCount(), 0u);

    dlg.FormatField().setText(QStringLiteral("%Y"));
    QCOMPARE(model.RefusalCount(), 0u); // not on the key itself
    QTRY_COMPARE(model.RefusalCount(), 2u);
    const auto tip = [&](int row) { return model.index(row, 1).data(Qt::ToolTipRole).toString(); };
    QVERIFY2(tip(0).contains("b.jpg is to get the same name"), qPrintable(tip(0)));
    QVERIFY2(tip(1).contains("a.jpg is to get the same name"), qPrintable(tip(1)));
    QCOMPARE(dlg.StatusLine().Notice(), QStringLiteral("2 refused names"));
    QCOMPARE(dlg.RenameCountField().text(), QStringLiteral("0")); // the refused stay

    dlg.FormatField().setText(QStringLiteral("%Y_%C"));
    QTest::qWait(300);
    QCOMPARE(model.RefusalCount(), 0u);
    QCOMPARE(dlg.StatusLine().Notice(), QString());
}

void MainWindowTest::buildFormat_data() {
    QTest::addColumn<std::optional<std::string>>("answer");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QStringList>("converted");

    const QStringList defaultNames = {"Img20191231_235959_000.jpg", "Img20210704_091500_001.jpg",
                                      "Img20220102_030405_002.jpg"};
    QTest::newRow("ok-unchanged-format") << std::optional<std::string>(kDefaultFormat.toStdString())
                                         << kDefaultFormat << defaultNames;
    QTest::newRow("ok-new-format") << std::optional<std::string>("Pic_%C") << "Pic_%C"
                                   << QStringList({"Pic_000.jpg", "Pic_001.jpg", "Pic_002.jpg"});
    QTest::newRow("cancel") << std::optional<std::string>() << kDefaultFormat
                            << QStringList({"stale", "stale", "stale"});
}

void MainWindowTest::buildFormat() {
    QFETCH(std::optional<std::string>, answer);
    QFETCH(QString, format);
    QFETCH(QStringList, converted);

    CPhotoFolder folder;
    QVERIFY(folder.Create());
    CTestVelmoraDlg dlg;
    dlg.ScanFolder(folder.PathBytes());
    // Marks what a regeneration would overwrite.
    for (int row = 0; row < kDatedRowCount; ++row)
        dlg.List().Rows()[std::size_t(row)].SetText(1, "stale");

    dlg.m_builderAnswer = answer;
    QTest::mouseClick(&dlg.BuildFormatButton(), Qt::LeftButton);

    QCOMPARE(dlg.m_builderOffers, std::vector<std::string>{kDefaultFormat.toStdString()});
    QCOMPARE(dlg.FormatField().text(), format);
    QCOMPARE(QString::fromStdString(dlg.Format()), format);
    QCOMPARE(Column(dlg.List(), 1).mid(0, kDatedRowCount), converted);
    QVERIFY(!StoredFormat().isValid());
}

void MainWindowTest::realBuildFormatDialog_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("format");
    QTest::newRow("cancel-after-editing") << QStringLiteral("Cancel") << kDefaultFormat;
    QTest::newRow("ok-after-editing") << QStringLiteral("OK") << kDefaultFormat + "_x";
}

// The real builder, run modally by the window and answered once it is up.
void MainWindowTest::realBuildFormatDialog() {
    QFETCH(QString, button);
    QFETCH(QString, format);

    CPhotoFolder folder;
    QVERIFY(folder.Create());
    CTestVelmoraDlg dlg;
    dlg.m_bRealBuilder = true;
    dlg.show();
    dlg.ScanFolder(folder.PathBytes());

    bool foundAsModal = false;
    QString offered;
    QTimer::singleShot(0, this, [&] {
        auto* builder = dynamic_cast<CBuildFormatDlg*>(QApplication::activeModalWidget());
        foundAsModal = builder != nullptr;
        if (builder == nullptr)
            builder = dlg.findChild<CBuildFormatDlg*>(); // closed all the same
        if (builder == nullptr)
            return;
        offered = builder->FormatField().text();
        QTest::keyClicks(&builder->FormatField(), QStringLiteral("_x"));
        if (QPushButton* press = ButtonWithText(*builder, button))
            press->click();
        else
            builder->reject();
    });
    dlg.OnBuildFormat();

    QVERIFY(foundAsModal);
    QCOMPARE(offered, kDefaultFormat);
    QCOMPARE(dlg.FormatField().text(), format);
    QCOMPARE(QString::fromStdString(dlg.Format()), format);
    const QString suffix = format.endsWith(QLatin1String("_x")) ? "_x.jpg" : ".jpg";
    QCOMPARE(Column(dlg.List(), 1).first(), "Img20191231_235959_000" + suffix);
    QVERIFY(!StoredFormat().isValid());
}

void MainWindowTest::renameWithNothingToDo_data() {
    QTest::addColumn<bool>("scanUndatedFolder");
    QTest::newRow("empty-list") << false;
    QTest::newRow("nothing-dated") << true;
}

void MainWindowTest::renameWithNothingToDo() {
    QFETCH(bool, scanUndatedFolder);
    QTemporaryDir undated;
    QVERIFY(guitest::WriteUndatedPhoto(undated.filePath(QStringLiteral("x.jpg"))));
    QVERIFY(guitest::WriteBrokenFile(undated.filePath(QStringLiteral("y.jpg"))));

    CTestVelmoraDlg dlg;
    if (scanUndatedFolder) {
        dlg.ScanFolder(QFile::encodeName(undated.path()).toStdString());
        QCOMPARE(dlg.List().GetItemCount(), 2);
    }
    QTest::mouseClick(&dlg.RenameButton(), Qt::LeftButton);

    QCOMPARE(dlg.m_messages.size(), std::size_t(1));
    QCOMPARE(dlg.m_messages[0].strText, QStringLiteral("There are no items to be renamed!"));
    QCOMPARE(dlg.m_messages[0].strCaption, QStringLiteral("Error"));
    QCOMPARE(dlg.m_messages[0].nFlags, MB_OK);
    QVERIFY(!StoredFormat().isValid());
}

void MainWindowTest::renameAll() {
    CPhotoFolder folder;
    QVERIFY(folder.Create());
    CTestVelmoraDlg dlg;
    dlg.ScanFolder(folder.PathBytes());
    QTest::keyClicks(&dlg.FormatField(), QStringLiteral("_v"));

    QTest::mouseClick(&dlg.RenameButton(), Qt::LeftButton);

    QCOMPARE(dlg.m_messages.size(), std::size_t(1));
    QCOMPARE(dlg.m_messages[0].strText, QStringLiteral("All files were re-named successfuly!"));
    QCOMPARE(dlg.m_messages[0].strCaption, QStringLiteral("Rename Files"));
    QCOMPARE(dlg.m_messages[0].nFlags, MB_OK);
    QCOMPARE(StoredFormat().toString(), kDefaultFormat + "_v");

    const QStringList renamed = {"Img20191231_235959_000_v.jpg", "Img20210704_091500_001_v.jpg",
                                 "Img20220102_030405_002_v.jpg"};
    QCOMPARE(Column(dlg.List(), 0), renamed + QStringList({"b.jpg", "d.jpg"}));
    QCOMPARE(Statuses(dlg.List()),
             QList<int>({RowNamed, RowNamed, RowNamed, RowUnreadable, RowNoDate}));
    for (const QString& name : renamed)
        QVERIFY2(QFile::exists(folder.File(name)), qPrintable(name));
    for (const char* gone : {"a.jpg", "c.jpg", "e.jpg"})
        QVERIFY2(!QFile::exists(folder.File(gone)), gone);
    QVERIFY(QFile::exists(folder.File("b.jpg")));
    QVERIFY(QFile::exists(folder.File("d.jpg")));
}

// The format is stored before the first file is touched, so a run that
// renames nothing stores it as well.
void MainWindowTest::renameNothingStillStoresFormat() {
    CPhotoFolder folder;
    QVERIFY(folder.Create());
    CTestVelmoraDlg dlg;
    dlg.ScanFolder(folder.PathBytes());
    dlg.OnOK();
    QCOMPARE(dlg.m_messages.size(), std::size_t(1));
    QCOMPARE(dlg.RenameCountField().text(), QStringLiteral("0")); // nothing left to rename
    Store().clear();

    // Every row is named already, but a count is left standing.
    dlg.RenameCountField().setText(QStringLiteral("3"));
    dlg.UpdateData(true);
    dlg.OnOK();

    QCOMPARE(dlg.m_messages.size(), std::size_t(2));
    QCOMPARE(dlg.m_messages[1].strText, QStringLiteral("None of the files where re-named!"));
    QCOMPARE(dlg.m_messages[1].strCaption, QStringLiteral("Error"));
    QCOMPARE(dlg.m_messages[1].nFlags, MB_ICONERROR);
    QCOMPARE(StoredFormat().toString(), kDefaultFormat);
}

void MainWindowTest::ctrlZUndoesTheRename() {
    CPhotoFolder folder;
    QVERIFY(folder.Create());
    CTestVelmoraDlg dlg;
    dlg.ScanFolder(folder.PathBytes());
    const QStringList before = Column(dlg.List(), 0);
    dlg.OnOK();
    QVERIFY(Column(dlg.List(), 0) != before);
    dlg.show();
    dlg.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    // In the format field the key undoes the typing, not the rename.
    dlg.FormatField().setFocus();
    QTest::keyClicks(&dlg.FormatField(), QStringLiteral("_x"));
    QTest::keyClick(&dlg.FormatField(), Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(dlg.FormatField().text(), kDefaultFormat);
    QVERIFY(dlg.m_questions.isEmpty());

    dlg.List().setFocus();
    QTest::keyClick(&dlg.List(), Qt::Key_Z, Qt::ControlModifier);

    QCOMPARE(dlg.m_questions,
             QStringList({"3 files go back to the names they had before the last rename. Undo "
                          "the rename? [No]"}));
    QCOMPARE(dlg.m_messages.size(), std::size_t(2));
    QCOMPARE(dlg.m_messages[1].strText,
             QStringLiteral("3 files have their names from before the rename again."));
    QCOMPARE(Column(dlg.List(), 0), before);
    QVERIFY(QFile::exists(folder.File("a.jpg")));
}

// A run cut off after renaming a.jpg to x.jpg: opening the folder asks
// first; Yes gives a.jpg back, No leaves it and Rename is refused.
void MainWindowTest::interruptedRunIsOfferedForUndo_data() {
    QTest::addColumn<bool>("yes");
    QTest::addColumn<bool>("busy");
    QTest::newRow("yes_undoes") << true << false;
    QTest::newRow("no_refuses_rename") << false << false;
    // A run going on in a terminal looks interrupted from its journal alone.
    QTest::newRow("busy_no_offer") << true << true;
}

void MainWindowTest::interruptedRunIsOfferedForUndo() {
    QFETCH(bool, yes);
    QFETCH(bool, busy);
    CPhotoFolder folder;
    QVERIFY(folder.Create());
    struct stat fileStatus {};
    QVERIFY(stat(QFile::encodeName(folder.File("a.jpg")).constData(), &fileStatus) == 0);
    velmora::CJournal journal;
    journal.folder = velmora::CFolderKey::OfPath(folder.PathBytes()).value();
    journal.files.push_back({fileStatus.st_dev, fileStatus.st_ino, {}, "a.jpg", "", "x.jpg"});
    QCOMPARE(velmora::CJournalStore(velmora::DefaultJournalFolder()).Write(journal), 0);
    QVERIFY(QFile::rename(folder.File("a.jpg"), folder.File("x.jpg")));
    CTestVelmoraDlg dlg;
    dlg.m_bAnswerYes = yes;
    velmora::CFolderHandle otherRun(folder.PathBytes());
    if (busy) {
        QCOMPARE(otherRun.Lock(), 0);
        dlg.ScanFolder(folder.PathBytes());
        QVERIFY(dlg.m_questions.isEmpty());
        QFile::remove(QString::fromStdString(journal.strPath));
        return;
    }

    dlg.ScanFolder(folder.PathBytes());

    QCOMPARE(dlg.m_questions.size(), 1);
    QCOMPARE(dlg.m_questions[0],
             QStringLiteral("The last rename in this folder was interrupted. "
                            "Give its 1 file back the name it had before it? [Yes]"));
    QCOMPARE(QFile::exists(folder.File("a.jpg")), yes);
    if (!yes) {
        dlg.OnOK();
        QCOMPARE(dlg.m_messages.back().strCaption, QStringLiteral("Error Rename"));
        QVERIFY(dlg.m_messages.back().strText.startsWith("The last rename in this folder was "
                                                         "interrupted."));
        QVERIFY(dlg.m_messages.back().strText.endsWith("Ctrl+Z (or right-click, Undo Last Rename) "
                                                       "undoes it."));
        QVERIFY(QFile::exists(folder.File("x.jpg")));
    }
    // A later folder may get this one's inode on a file system without birth
    // times: the journal must not outlive the test.
    QFile::remove(QString::fromStdString(journal.strPath));
}

// Both choices are stored at once, rescan the folder shown, and hold for the
// next start; "*.jpg" only says how many files it leaves out.
void MainWindowTest::fileTypeChoicesAreRememberedAndRescan() {
    QTemporaryDir dir;
    QVERIFY(guitest::WriteDatedPhoto(dir.filePath("IMG_1.jpg"), "2022:01:02 03:04:05"));
    QFile raw(dir.filePath("IMG_1.CR2"));
    QVERIFY(raw.open(QIODevice::WriteOnly) && raw.write("raw") == 3);
    raw.close();
    const std::string folder = QFile::encodeName(dir.path()).toStdString();
    {
        CTestVelmoraDlg dlg;
        dlg.ScanFolder(folder);
        QCOMPARE(dlg.List().GetItemCount(), 1);
        // At the window's first size the notice is on show whole, the rest
        // in the tooltip.
        dlg.show();
        QCOMPARE(dlg.StatusLine().Notice(), QStringLiteral("+1 other file"));
        QVERIFY(dlg.StatusLine().ShownText().endsWith(QStringLiteral(" 1 files in the list)   "
                                                                     "+1 other file")));
        QVERIFY(dlg.StatusLine().fontMetrics().horizontalAdvance(dlg.StatusLine().ShownText()) <=
                dlg.StatusLine().contentsRect().width());
        QVERIFY(dlg.StatusLine().toolTip().startsWith(
            "1 photo or video file of another type is not listed (1 CR2)"));

        dlg.OnAllFileTypes(true);
        QCOMPARE(Column(dlg.List(), 0), QStringList({"IMG_1.jpg", "IMG_1.CR2"})); // dated first
        // Without a notice too, a status line too long gives way in "…".
        dlg.StatusLine().resize(200, dlg.StatusLine().height());
        QVERIFY(dlg.StatusLine().ShownText().contains(QChar(0x2026)));
        QVERIFY(dlg.StatusLine().ShownText().endsWith(QStringLiteral("in the list)")));
        dlg.OnDblclkList(dlg.List().model()->index(0, 0));
        QVERIFY(dlg.m_bInfoAllTypes); // the window reads it as the list did
        dlg.OnCompanions(true);
        QCOMPARE(Column(dlg.List(), 0), QStringList({"IMG_1.jpg"}));
        QCOMPARE(dlg.List().model()->index(0, 0).data(Qt::ToolTipRole).toString(),
                 QStringLiteral("Date from EXIF DateTimeOriginal\nRenamed with it: IMG_1.CR2"));
        dlg.OnRemoveEmptyFolders(true); // what the next rename does
        dlg.OnSetFileTimes(true);
    }
    QCOMPARE(Store().value(QStringLiteral("Settings/File Types")).toString(), "all");
    QCOMPARE(Store().value(QStringLiteral("Settings/Companions")).toString(), "true");
    QCOMPARE(Store().value(QStringLiteral("Settings/Remove Emptied Folders")).toString(), "true");
    QCOMPARE(Store().value(QStringLiteral("Settings/Set File Times")).toString(), "true");
    CTestVelmoraDlg next;
    next.ScanFolder(folder);
    next.OnOK();
    for (const char* name : {"Img20220102_030405_000.CR2", "Img20220102_030405_000.jpg"})
        QCOMPARE(QFileInfo(dir.filePath(name)).lastModified().toUTC(),
                 QDateTime(QDate(2022, 1, 2), QTime(3, 4, 5), Qt::UTC));
}

// Files without a date of their own are dated from their names only when
// asked; such rows are set in italics and say where their date came from.
void MainWindowTest::undatedFilesChoiceIsRememberedAndMarked() {
    QTemporaryDir dir;
    QVERIFY(guitest::WriteDatedPhoto(dir.filePath("a.jpg"), "2022:01:02 03:04:05"));
    QVERIFY(guitest::WriteUndatedPhoto(dir.filePath("IMG_20200102_030405.jpg")));
    const std::string folder = QFile::encodeName(dir.path()).toStdString();
    const auto italic = [](CTestVelmoraDlg& dlg, int row) {
        return dlg.List().model()->index(row, 0).data(Qt::FontRole).value<QFont>().italic();
    };
    {
        CTestVelmoraDlg dlg;
        dlg.ScanFolder(folder);
        QCOMPARE(dlg.List().GetItemImage(1), int(RowNoDate));
        dlg.OnUndatedDates(velmora::UndatedDates::Names);
        QCOMPARE(Column(dlg.List(), 1),
                 QStringList({"Img20200102_030405_000.jpg", "Img20220102_030405_001.jpg"}));
        QVERIFY(italic(dlg, 0));
        QVERIFY(!italic(dlg, 1));
        QCOMPARE(dlg.List().model()->index(0, 1).data(Qt::ToolTipRole).toString(),
                 QStringLiteral("Date from the file name (the file holds no date taken)"));
    }
    QCOMPARE(Store().value(QStringLiteral("Settings/Dates for Undated Files")).toString(), "names");
    CTestVelmoraDlg next;
    next.ScanFolder(folder);
    QCOMPARE(next.List().GetItemImage(0), int(RowToRename));
    next.OnUndatedDates(velmora::UndatedDates::None);
    QCOMPARE(next.List().GetItemImage(1), int(RowNoDate));
}

// The extension choice renames at once without a scan and holds for the next
// start, where the menu shows it; a code the engine does not know is named in
// the format field's tooltip and Rename refuses it.
void MainWindowTest::extensionCaseIsRememberedAndUnknownCodeRefused() {
    QTemporaryDir dir;
    QVERIFY(guitest::WriteDatedPhoto(dir.filePath("2022.JPG"), "2022:01:02 03:04:05"));
    const std::string folder = QFile::encodeName(dir.path()).toStdString();
    {
        CTestVelmoraDlg dlg;
        dlg.ScanFolder(folder);
        dlg.FormatField().setText(QStringLiteral("%Y"));
        QCOMPARE(dlg.List().GetItemImage(0), int(RowNamed));
        dlg.OnExtensionCase(velmora::ExtensionCase::Lower);
        QCOMPARE(Column(dlg.List(), 1), QStringList({"2022.jpg"}));
        QCOMPARE(dlg.List().GetItemImage(0), int(RowToRename));
        dlg.FormatField().setText(QStringLiteral("%Y%{foo}"));
        QCOMPARE(dlg.FormatField().toolTip(), QStringLiteral("%{foo} is not a code of the format"));
        dlg.OnOK();
        QCOMPARE(dlg.m_messages.back().strText,
                 QStringLiteral("The Format value holds %{foo}, which is not a code of the "
                                "format: no file was renamed."));
        dlg.FormatField().setText(QStringLiteral("%Y"));
        QCOMPARE(dlg.FormatField().toolTip(), QString());
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({"2022.JPG"}));
    QCOMPARE(Store().value(QStringLiteral("Settings/Extension Case")).toString(), "lower");
    CTestVelmoraDlg next;
    next.show();
    next.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&next));
    next.ScanFolder(folder);
    QStringList choices;
    WithContextMenu(next.FormatField(), [&choices](const QList<QAction*>& actions) {
        for (QAction* action : actions) {
            for (QAction* choice : action->text() == QStringLiteral("&Extensions")
                                       ? action->menu()->actions()
                                       : QList<QAction*>())
                choices << choice->text() + (choice->isChecked() ? QStringLiteral(" (on)") : "");
        }
    });
    QCOMPARE(choices, QStringList({"As the Files &Have Them", "&Lower Case (on)", "U&pper Case"}));
    next.FormatField().setText(QStringLiteral("%Y"));
    next.OnOK();
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({"2022.jpg"}));
}

// Both tree choices from the menu: the subfolders are listed by path, a copy
// is marked on both sides, Rename gathers the files into date folders it
// makes and leaves the copy, and undo gives the tree back.
void MainWindowTest::organiseTreeFromTheMenu() {
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("nested/deeper")));
    QVERIFY(guitest::WriteDatedPhoto(dir.filePath("a.jpg"), "2022:01:02 03:04:05"));
    QVERIFY(guitest::WriteDatedPhoto(dir.filePath("nested/copy.jpg"), "2022:01:02 03:04:05"));
    QVERIFY(guitest::WriteDatedPhoto(dir.filePath("nested/deeper/f.jpg"), "2018:01:01 00:00:00"));
    const std::string folder = QFile::encodeName(dir.path()).toStdString();
    CTestVelmoraDlg dlg;
    dlg.show();
    dlg.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    dlg.ScanFolder(folder);
    QCOMPARE(Column(dlg.List(), 0), QStringList({"a.jpg"}));
    WithContextMenu(dlg.List(), [](const QList<QAction*>& actions) {
        for (QAction* action : actions) {
            if (action->text() == QStringLiteral("Include &Subfolders") ||
                action->text() == QStringLiteral("Create &Folders"))
                action->trigger();
        }
    });
    QCOMPARE(Store().value(QStringLiteral("Settings/Include Subfolders")).toString(), "true");
    QCOMPARE(Store().value(QStringLiteral("Settings/Create Folders")).toString(), "true");
    dlg.FormatField().setText(QStringLiteral("%Y/%m/IMG_%d%{n}"));
    QCOMPARE(Column(dlg.List(), 0),
             QStringList({"nested/deeper/f.jpg", "a.jpg", "nested/copy.jpg"}));
    QCOMPARE(Column(dlg.List(), 1),
             QStringList({"2018/01/IMG_01.jpg", "2022/01/IMG_02.jpg", "Identical to a.jpg"}));
    const auto tip = [&dlg](int row) {
        return dlg.List().model()->index(row, 0).data(Qt::ToolTipRole).toString();
    };
    QVERIFY(tip(1).startsWith(QStringLiteral("The same bytes as nested/copy.jpg\n")));
    QVERIFY(tip(2).startsWith(
        QStringLiteral("The same bytes as a.jpg: Rename leaves it where it is.")));
    QVERIFY(dlg.StatusLine().ShownText().contains(QStringLiteral("1 identical copy")));
    dlg.CheckRefusedNames(); // the folders to make are no refusal
    QCOMPARE(dlg.List().Model().RefusalCount(), std::size_t(0));

    dlg.OnOK();
    QVERIFY(QFile::exists(dir.filePath("2018/01/IMG_01.jpg")));
    QVERIFY(QFile::exists(dir.filePath("2022/01/IMG_02.jpg")));
    QVERIFY(QFile::exists(dir.filePath("nested/copy.jpg")));
    QVERIFY(dlg.m_messages.back().strText.contains(
        QStringLiteral("1 file is a copy of another and stays where it is")));
    dlg.OnUndoLastRename();
    QVERIFY(QFile::exists(dir.filePath("a.jpg")));
    QVERIFY(QFile::exists(dir.filePath("nested/deeper/f.jpg")));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList({"a.jpg", "nested"}));
}

void MainWindowTest::renameWithEmptyFormatRenamesNothing() {
    CPhotoFolder folder;
    QVERIFY(folder.Create());
    CTestVelmoraDlg dlg;
    dlg.ScanFolder(folder.PathBytes());
    dlg.FormatField().clear();
    const QStringList names = QDir(folder.Path()).entryList(QDir::Files);

    dlg.OnOK();

    QCOMPARE(dlg.m_messages.size(), std::size_t(1));
    QCOMPARE(dlg.m_messages[0].strText, QStringLiteral("The Format value can not be empty!"));
    QCOMPARE(dlg.m_messages[0].strCaption, QStringLiteral("Error"));
    QCOMPARE(QDir(folder.Path()).entryList(QDir::Files), names);
    QVERIFY(!StoredFormat().isValid());
}

// A file that took a wanted name after the scan is neither overwritten nor
// moved: the run stops there and says why.
void MainWindowTest::renameStopsAtFirstFailure() {
    CPhotoFolder folder;
    QVERIFY(folder.Create());
    CTestVelmoraDlg dlg;
    dlg.ScanFolder(folder.PathBytes());
    dlg.CheckRefusedNames(); // the folder changes after the check
    const QString intruder = folder.File("Img20210704_091500_001.jpg");
    QVERIFY(guitest::WriteUndatedPhoto(intruder));
    const QByteArray intruderBytes = [&] {
        QFile file(intruder);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();

    dlg.OnOK();

    QCOMPARE(dlg.m_messages.size(), std::size_t(1));
    QVERIFY(dlg.m_messages[0].strText.startsWith(
        QStringLiteral("File exists\nc.jpg -> Img20210704_091500_001.jpg\n")));
    QCOMPARE(dlg.m_messages[0].strCaption, QStringLiteral("Error Rename"));
    QCOMPARE(dlg.m_messages[0].nFlags, MB_ICONERROR);
    QCOMPARE(StoredFormat().toString(), kDefaultFormat);
    QCOMPARE(Column(dlg.List(), 0),
             QStringList({"Img20191231_235959_000.jpg", "c.jpg", "a.jpg", "b.jpg", "d.jpg"}));
    QCOMPARE(Statuses(dlg.List()),
             QList<int>({RowNamed, RowToRename, RowToRename, RowUnreadable, RowNoDate}));
    QVERIFY(QFile::exists(folder.File("c.jpg")));
    QVERIFY(QFile::exists(folder.File("a.jpg")));
    QFile file(intruder);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), intruderBytes);
}

// Two photos of one second clash under "%Y%m%d_%H%M%S": Rename asks first
// and renames the other two only when told to.
void MainWindowTest::renameLeavesRefusedRows_data() {
    QTest::addColumn<bool>("renameOthers");
    QTest::newRow("rename-others") << true;
    QTest::newRow("cancel") << false;
}

void MainWindowTest::renameLeavesRefusedRows() {
    QFETCH(bool, renameOthers);
    QTemporaryDir dir;
    for (const auto& [name, date] : {std::pair{"a.jpg", "2022:01:02 03:04:05"},
                                     {"b.jpg", "2022:01:02 03:04:05"},
                                     {"c.jpg", "2021:07:04 09:15:00"},
                                     {"d.jpg", "2019:12:31 23:59:59"}})
        QVERIFY(guitest::WriteDatedPhoto(dir.filePath(name), date));
    CTestVelmoraDlg dlg;
    dlg.m_bAnswerYes = renameOthers;
    dlg.ScanFolder(QFile::encodeName(dir.path()).toStdString());
    dlg.FormatField().setText(QStringLiteral("%Y%m%d_%H%M%S"));

    dlg.OnOK();

    QCOMPARE(dlg.m_questions, QStringList({"2 of 4 new names would be refused (two rows given the "
                                           "same name). Rename the other 2 and leave those 2 as "
                                           "they are?"}));
    const QStringList kept = {"a.jpg", "b.jpg"};
    const QStringList renamed = {"20191231_235959.jpg", "20210704_091500.jpg"};
    QCOMPARE(Column(dlg.List(), 0),
             (renameOthers ? renamed : QStringList({"d.jpg", "c.jpg"})) + kept);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files, QDir::Name),
             renameOthers ? renamed + kept : kept + QStringList({"c.jpg", "d.jpg"}));
    if (!renameOthers) {
        QVERIFY(dlg.m_messages.empty());
        return;
    }
    QCOMPARE(dlg.m_messages.size(), std::size_t(1));
    QCOMPARE(dlg.m_messages[0].strText,
             QStringLiteral("2 files were renamed; 2 keep their names, their new names "
                            "refused:\na.jpg -> 20220102_030405.jpg: b.jpg is to "
                            "get the same name\nb.jpg -> 20220102_030405.jpg: a.jpg is to get the "
                            "same name"));
    QCOMPARE(Statuses(dlg.List()), QList<int>({RowNamed, RowNamed, RowToRename, RowToRename}));
    QCOMPARE(dlg.RenameCountField().text(), QStringLiteral("0"));
}

// Cancel, pressed as the progress shows, stops a rename or an undo after
// its first file, with no file under a temporary name, and the next undo
// gives every file its name back; a cancelled scan lists nothing.
void MainWindowTest::cancelStopsWhereNoFileIsAside_data() {
    QTest::addColumn<QString>("work");
    QTest::addColumn<QString>("message");
    QTest::newRow("rename") << "rename"
                            << "Cancelled. 1 file was renamed; none is left under a temporary "
                               "name.\n\nUndo Last Rename (Ctrl+Z) gives them their names back.";
    QTest::newRow("undo") << "undo"
                          << "Cancelled. 1 file was renamed; none is left under a temporary "
                             "name.\n\nUndo Last Rename again gives the other files their names.";
    QTest::newRow("scan") << "scan" << QString();
}

void MainWindowTest::cancelStopsWhereNoFileIsAside() {
    QFETCH(QString, work);
    QFETCH(QString, message);
    CPhotoFolder folder;
    QVERIFY(folder.Create());
    CTestVelmoraDlg dlg;
    dlg.m_nLongWorkDelayMs = 0; // the progress shows at the first file
    dlg.ScanFolder(folder.PathBytes());
    const QStringList before = Column(dlg.List(), 0);
    if (work == "undo")
        dlg.OnOK();
    QTimer::singleShot(0, &dlg.CancelButton(), &QPushButton::click);

    if (work == "scan") {
        dlg.ScanFolder(folder.PathBytes());
        QCOMPARE(dlg.List().GetItemCount(), 0);
        QCOMPARE(dlg.StatusLine().text(),
                 QStringLiteral("Reading the folder was cancelled; F5 reads it again."));
        return;
    }
    work == "undo" ? dlg.OnUndoLastRename() : dlg.OnOK();

    QCOMPARE(dlg.m_messages.back().strText, message);
    QVERIFY(dlg.CancelButton().isHidden() && !dlg.RenameButton().isHidden());
    const QStringList names = QDir(folder.Path()).entryList({"*.jpg"}, QDir::Files);
    QCOMPARE(names.filter(QStringLiteral("Img")).size(), work == "undo" ? 2 : 1);
    QVERIFY(names.filter(QStringLiteral("~vlm")).isEmpty());

    dlg.OnUndoLastRename();
    QCOMPARE(Column(dlg.List(), 0), before);
    for (const QString& name : before)
        QVERIFY2(QFile::exists(folder.File(name)), qPrintable(name));
}

void MainWindowTest::renamedNamesShownWhole_data() {
    QTest::addColumn<bool>("clash"); // a file takes the second wanted name
    QTest::newRow("all-renamed") << false;
    QTest::newRow("stopped-by-a-clash") << true;
}

// Column 0 takes the new names' width, as after a scan.
void MainWindowTest::renamedNamesShownWhole() {
    QFETCH(bool, clash);
    CPhotoFolder folder;
    QVERIFY(folder.Create());
    CTestVelmoraDlg dlg;
    dlg.ScanFolder(folder.PathBytes());
    if (clash)
        QVERIFY(guitest::WriteUndatedPhoto(folder.File("Img20210704_091500_001.jpg")));
    const int before = dlg.List().header()->sectionSize(0);

    dlg.OnOK();

    const QString renamed = QString::fromStdString(dlg.List().GetItemText(0, 0));
    QCOMPARE(renamed, QStringLiteral("Img20191231_235959_000.jpg"));
    const int width = dlg.List().header()->sectionSize(0);
    QVERIFY(width > before);
    QVERIFY(width >= dlg.List().fontMetrics().horizontalAdvance(renamed));
}

void MainWindowTest::enterInFormatFieldRenames() {
    CPhotoFolder folder;
    QVERIFY(folder.Create());
    CTestVelmoraDlg dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    dlg.ScanFolder(folder.PathBytes());

    QTest::keyClick(&dlg.FormatField(), Qt::Key_Return);

    QCOMPARE(dlg.m_messages.size(), std::size_t(1));
    QCOMPARE(dlg.m_messages[0].strText, QStringLiteral("All files were re-named successfuly!"));
    QVERIFY(dlg.isVisible()); // Rename leaves the window open
    QCOMPARE(StoredFormat().toString(), kDefaultFormat);
    QVERIFY(QFile::exists(folder.File("Img20191231_235959_000.jpg")));
}

void MainWindowTest::enterPressesFocusedButton_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("renames");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<int>("browses");
    QTest::addColumn<int>("builds");

    QTest::newRow("rename") << "Rename" << int(Qt::Key_Return) << true << false << 0 << 0;
    QTest::newRow("exit") << "Exit" << int(Qt::Key_Return) << false << true << 0 << 0;
    QTest::newRow("exit/keypad-enter") << "Exit" << int(Qt::Key_Enter) << false << true << 0 << 0;
    QTest::newRow("browse") << "..." << int(Qt::Key_Return) << false << false << 1 << 0;
    QTest::newRow("build-format") << "&Build Format" << int(Qt::Key_Return) << false << false << 0
                                  << 1;
}

// Enter presses the button that has the focus; Rename only when the focus is
// not on a push button.
void MainWindowTest::enterPressesFocusedButton() {
    QFETCH(QString, button);
    QFETCH(int, key);
    QFETCH(bool, renames);
    QFETCH(bool, closes);
    QFETCH(int, browses);
    QFETCH(int, builds);

    CPhotoFolder folder;
    QVERIFY(folder.Create());
    CTestVelmoraDlg dlg;
    dlg.show();
    dlg.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    dlg.ScanFolder(folder.PathBytes());
    QPushButton* press = ButtonWithText(dlg, button);
    QVERIFY(press != nullptr);
    press->setFocus(Qt::TabFocusReason);
    QTRY_VERIFY(press->hasFocus());

    QTest::keyClick(press, Qt::Key(key));

    QCOMPARE(dlg.m_messages.size(), std::size_t(renames ? 1 : 0));
    QCOMPARE(QFile::exists(folder.File("e.jpg")), !renames);
    QCOMPARE(QFile::exists(folder.File("Img20191231_235959_000.jpg")), renames);
    QCOMPARE(StoredFormat().isValid(), renames);
    QCOMPARE(dlg.isVisible(), !closes);
    QCOMPARE(dlg.m_browseStarts.size(), browses);
    QCOMPARE(int(dlg.m_builderOffers.size()), builds);
}

void MainWindowTest::doubleClick_data() {
    QTest::addColumn<int>("row"); // -1: an index that hits no row
    QTest::addColumn<bool>("renameFirst");
    QTest::addColumn<QString>("opened"); // file name and row's date, empty: nothing opened

    QTest::newRow("to-rename") << 1 << false << "c.jpg 2021-07-04 09:15:00";
    QTest::newRow("already-named") << 0 << true << "Img20191231_235959_000.jpg 2019-12-31 23:59:59";
    // The window shows the reader's message.
    QTest::newRow("unreadable") << 3 << false << "b.jpg";
    QTest::newRow("no-date") << 4 << false << "d.jpg";
    QTest::newRow("no-row") << -1 << false << QString();
}

void MainWindowTest::doubleClick() {
    QFETCH(int, row);
    QFETCH(bool, renameFirst);
    QFETCH(QString, opened);

    CPhotoFolder folder;
    QVERIFY(folder.Create());
    CTestVelmoraDlg dlg;
    dlg.ScanFolder(folder.PathBytes());
    if (renameFirst)
        dlg.OnOK();

    dlg.OnDblclkList(row < 0 ? QModelIndex() : dlg.List().model()->index(row, 1));

    std::vector<std::string> expected;
    if (!opened.isEmpty())
        expected.push_back(folder.PathBytes() + "/" + opened.toStdString());
    QCOMPARE(dlg.m_infoPaths, expected);
}

void MainWindowTest::doubleClickWithMouse() {
    CPhotoFolder folder;
    QVERIFY(folder.Create());
    CTestVelmoraDlg dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    dlg.ScanFolder(folder.PathBytes());
    CListCtrlEx& list = dlg.List();

    const QRect noDateRow = list.visualRect(list.model()->index(4, 0));
    // A double-click is a click followed by a second press reported as such.
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, noDateRow.center());
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, noDateRow.center());
    QCOMPARE(dlg.m_infoPaths, std::vector<std::string>{folder.PathBytes() + "/d.jpg"});

    const QPoint belowLastRow(noDateRow.center().x(), noDateRow.bottom() + noDateRow.height());
    QVERIFY(!list.indexAt(belowLastRow).isValid());
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, belowLastRow);
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, belowLastRow);
    QCOMPARE(dlg.m_infoPaths.size(), std::size_t(1));
}

void MainWindowTest::dropPath_data() {
    QTest::addColumn<QString>("item"); // relative to the photo folder
    QTest::addColumn<bool>("scansPhotos");
    QTest::newRow("jpeg-file") << QStringLiteral("c.jpg") << true;
    QTest::newRow("text-file") << QStringLiteral("notes.txt") << true;
    QTest::newRow("folder") << QStringLiteral(".") << true;
    QTest::newRow("dot-from-inside") << QStringLiteral("<cwd>") << true; // shown in full
    QTest::newRow("missing-path") << QStringLiteral("gone.jpg") << false;
}

void MainWindowTest::dropPath() {
    QFETCH(QString, item);
    QFETCH(bool, scansPhotos);

    CPhotoFolder folder;
    QVERIFY(folder.Create());
    QTemporaryDir other;
    QVERIFY(
        guitest::WriteDatedPhoto(other.filePath(QStringLiteral("z.jpg")), "2020:02:02 02:02:02"));
    CTestVelmoraDlg dlg;
    dlg.ScanFolder(QFile::encodeName(other.path()).toStdString());

    const QString cwd = QDir::currentPath();
    if (item == QLatin1String("<cwd>"))
        QVERIFY(QDir::setCurrent(folder.Path()));
    dlg.OnDropFiles(
        item == QLatin1String("<cwd>")
            ? std::string(".")
            : QFile::encodeName(item == QLatin1String(".") ? folder.Path() : folder.File(item))
                  .toStdString());
    QDir::setCurrent(cwd);

    // Only the folder's own "*.jpg" entries: not nested/f.jpg, not notes.txt.
    QCOMPARE(dlg.DirectoryField().text(), scansPhotos ? folder.Path() : other.path());
    QCOMPARE(Column(dlg.List(), 0), scansPhotos
                                        ? QStringList({"e.jpg", "c.jpg", "a.jpg", "b.jpg", "d.jpg"})
                                        : QStringList({"z.jpg"}));

    dlg.OnDropFiles(std::string()); // an empty path changes nothing either
    QCOMPARE(dlg.List().GetItemCount(), scansPhotos ? kScannedRowCount : 1);
}

void MainWindowTest::dropEvent_data() {
    QTest::addColumn<QList<QUrl>>("urls");
    QTest::addColumn<bool>("scansPhotos"); // also: the drag is accepted
    QTest::newRow("folder") << QList<QUrl>({QUrl()}) << true;
    QTest::newRow("first-of-several-items") << QList<QUrl>({QUrl(), QUrl()}) << true;
    QTest::newRow("remote-url") << QList<QUrl>({QUrl(QStringLiteral("https://example.com/a.jpg"))})
                                << false;
    QTest::newRow("remote-url-first")
        << QList<QUrl>({QUrl(QStringLiteral("https://example.com/a.jpg")), QUrl()}) << false;
    QTest::newRow("missing-local-file")
        << QList<QUrl>({QUrl::fromLocalFile(QStringLiteral("/nonexistent/velmora/a.jpg"))})
        << false;
}

// A real drop onto the window, as the desktop delivers it.
void MainWindowTest::dropEvent() {
    QFETCH(QList<QUrl>, urls);
    QFETCH(bool, scansPhotos);

    CPhotoFolder folder;
    QVERIFY(folder.Create());
    QTemporaryDir other;
    QVERIFY(
        guitest::WriteDatedPhoto(other.filePath(QStringLiteral("z.jpg")), "2020:02:02 02:02:02"));
    // Empty entries stand for the photo folder first, then the other folder.
    const QStringList local = {folder.Path(), other.filePath(QStringLiteral("z.jpg"))};
    for (int i = 0; i < urls.size(); ++i) {
        if (urls[i].isEmpty())
            urls[i] = QUrl::fromLocalFile(local.at(i));
    }

    CTestVelmoraDlg dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QMimeData data;
    data.setUrls(urls);
    const QPoint at = dlg.rect().center();
    // A file manager offers every action and proposes a move (Shift held):
    // the window takes a copy, so that the source never deletes the files.
    const Qt::DropActions offered = Qt::MoveAction | Qt::CopyAction | Qt::LinkAction;
    QDragEnterEvent enter(at, offered, &data, Qt::LeftButton, Qt::ShiftModifier);
    QCOMPARE(enter.proposedAction(), Qt::MoveAction);
    QApplication::sendEvent(&dlg, &enter);
    QCOMPARE(enter.isAccepted(), scansPhotos);
    QDropEvent drop(QPointF(at), offered, &data, Qt::LeftButton, Qt::ShiftModifier);
    QApplication::sendEvent(&dlg, &drop);
    if (scansPhotos) {
        QCOMPARE(enter.dropAction(), Qt::CopyAction);
        QCOMPARE(drop.dropAction(), Qt::CopyAction);
    }

    QCOMPARE(dlg.DirectoryField().text(), scansPhotos ? folder.Path() : QString());
    QCOMPARE(dlg.List().GetItemCount(), scansPhotos ? kScannedRowCount : 0);
}

// A folder whose name is not UTF-8 (Latin-1 "café") still opens when dropped:
// the path travels as the file system's bytes.
void MainWindowTest::dropFolderNamedInOtherBytes() {
    QTemporaryDir parent;
    const std::string folder = QFile::encodeName(parent.path()).toStdString() + "/caf\xE9";
    QCOMPARE(mkdir(folder.c_str(), 0755), 0);
    const testdata::CTiffBuilder tiff =
        testdata::CameraTiff(testdata::ByteOrder::Intel, "2020:02:02 02:02:02");
    QVERIFY(testdata::WriteFile(folder + "/a.jpg", testdata::CJpegBuilder::Photo(&tiff)));

    CTestVelmoraDlg dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QMimeData data;
    data.setUrls(
        {QUrl::fromEncoded("file://" + QByteArray::fromStdString(folder).toPercentEncoding("/"))});
    const QPoint at = dlg.rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&dlg, &enter);
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&dlg, &drop);

    QCOMPARE(dlg.Directory(), folder);
    QCOMPARE(dlg.List().GetItemCount(), 1);
    QCOMPARE(dlg.List().GetItemImage(0), int(RowToRename));
}

void MainWindowTest::browse() {
    CPhotoFolder folder;
    QVERIFY(folder.Create());
    CTestVelmoraDlg dlg;

    dlg.m_strBrowseAnswer = folder.Path();
    QTest::mouseClick(&dlg.BrowseButton(), Qt::LeftButton);
    QCOMPARE(dlg.m_browseStarts, QStringList({QString()})); // no folder yet: no preselection
    QCOMPARE(dlg.DirectoryField().text(), folder.Path());
    QCOMPARE(dlg.List().GetItemCount(), kScannedRowCount);

    dlg.m_strBrowseAnswer.clear(); // the user cancels
    dlg.OnBrowse();
    QCOMPARE(dlg.m_browseStarts, QStringList({QString(), folder.Path()}));
    QCOMPARE(dlg.DirectoryField().text(), folder.Path());
    QCOMPARE(dlg.List().GetItemCount(), kScannedRowCount);
    QCOMPARE(dlg.RenameCountField().text(), QStringLiteral("3"));
}

void MainWindowTest::folderDialogLeavesNoFile_data() {
    QTest::addColumn<bool>("choose");
    QTest::newRow("folder-chosen") << true;
    QTest::newRow("cancelled") << false;
}

// The real folder dialog, answered once it is up: it leaves no settings file
// of its own behind, and the program's one setting is still found afterwards.
void MainWindowTest::folderDialogLeavesNoFile() {
    QFETCH(bool, choose);
    CPhotoFolder folder;
    QVERIFY(folder.Create());
    const QDir config(qEnvironmentVariable("XDG_CONFIG_HOME"));
    QVERIFY(config.exists());
    CTestVelmoraDlg dlg;
    dlg.m_bRealBrowser = true;
    dlg.show();

    bool shown = false;
    QTimer::singleShot(0, this, [&] {
        auto* browser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        shown = browser != nullptr;
        if (browser == nullptr)
            return;
        if (!choose) {
            browser->reject();
            return;
        }
        browser->setDirectory(folder.Path());
        static_cast<QDialog*>(browser)->accept(); // public as a dialog's slot
    });
    dlg.OnBrowse();

    QVERIFY(shown);
    QCOMPARE(dlg.List().GetItemCount(), choose ? kScannedRowCount : 0);
    // Qt's own file would be QtProject.conf, beside the program's folder.
    QCOMPARE(config.entryList({QStringLiteral("*.conf")}, QDir::Files | QDir::Hidden),
             QStringList());
    SetStoredFormat(QStringLiteral("Pic_%C"));
    QCOMPARE(StoredFormat().toString(), QStringLiteral("Pic_%C"));
    QVERIFY(QFile::exists(config.filePath(QStringLiteral("Quorvant/Velmora.conf"))));
}

void MainWindowTest::aboutFromF1() {
    CTestVelmoraDlg dlg;
    dlg.show();
    dlg.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    QTest::keyClick(&dlg.FormatField(), Qt::Key_F1);
    QCOMPARE(dlg.m_nAboutRuns, 1);
    QVERIFY(dlg.m_messages.empty());
}

// F5 reads the folder again, with the files added since; Shift+F10 opens the
// menu; a folder gone since it was read says so.
void MainWindowTest::keysAndAVanishedFolder() {
    CPhotoFolder folder;
    QVERIFY(folder.Create());
    CTestVelmoraDlg dlg;
    dlg.show();
    dlg.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    QTest::keyClick(&dlg.FormatField(), Qt::Key_F5); // no folder yet: nothing
    QCOMPARE(dlg.List().GetItemCount(), 0);
    dlg.ScanFolder(folder.PathBytes());
    QVERIFY(guitest::WriteDatedPhoto(folder.Path() + QStringLiteral("/new.jpg"),
                                     "2023:03:03 03:03:03"));
    QTest::keyClick(&dlg.FormatField(), Qt::Key_F5);
    QCOMPARE(dlg.List().GetItemCount(), kScannedRowCount + 1);

    QString firstChoice;
    WithContextMenu(dlg.FormatField(), [&firstChoice](const QList<QAction*>& actions) {
        if (!actions.isEmpty())
            firstChoice = actions.front()->text();
    });
    QCOMPARE(firstChoice, QStringLiteral("Every Photo and &Video Type"));

    // A folder moved away meanwhile says so on F5, double-click and Rename.
    const QString moved = folder.Path() + QStringLiteral(".moved");
    QVERIFY(QDir().rename(folder.Path(), moved));
    dlg.activateWindow(); // the menu has gone
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    QTest::keyClick(&dlg.FormatField(), Qt::Key_F5);
    dlg.OnDblclkList(dlg.List().model()->index(0, 0));
    dlg.OnOK();
    QVERIFY(QDir().rename(moved, folder.Path()));
    QCOMPARE(dlg.m_messages.size(), std::size_t(3));
    for (const auto& message : dlg.m_messages)
        QVERIFY(message.strText.endsWith("is no longer there: it was moved, renamed or deleted."));
    QVERIFY(dlg.m_infoPaths.empty());
}

// The status pictures carry the screen's device pixels: 40x40 for 20x20 at
// scale 2, so that they are drawn, not enlarged.
void MainWindowTest::statusPicturesMatchScale() {
    const qreal scale = guitest::ScaleFactor();
    CPhotoFolder folder;
    QVERIFY(folder.Create());
    CTestVelmoraDlg dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    dlg.ScanFolder(folder.PathBytes());
    QCOMPARE(dlg.devicePixelRatioF(), scale);

    const QAbstractItemModel& model = *dlg.List().model();
    for (int row = 0; row < kScannedRowCount; ++row) {
        const auto picture =
            qvariant_cast<QPixmap>(model.data(model.index(row, 0), Qt::DecorationRole));
        QCOMPARE(picture.devicePixelRatio(), scale);
        QCOMPARE(picture.size(), QSize(20, 20) * scale);
        QCOMPARE(picture.deviceIndependentSize(), QSizeF(20, 20));
    }
}

// The window as the documentation shows it: every type listed, companions
// following their photo, and a burst whose two shots would get one name.
void MainWindowTest::mainWindowScreenshot() {
    const QDir formats(QStringLiteral(VELMORA_CORPUS_DIR "/formats"));
    if (!formats.exists())
        QSKIP("the corpus of photo and video types is not present");
    QTemporaryDir root(QDir::tempPath() + QStringLiteral("/Pictures-XXXXXX"));
    QVERIFY(root.isValid());
    QVERIFY(QDir(root.path()).mkdir(QStringLiteral("Lisbon 2024")));
    const QString trip = root.filePath(QStringLiteral("Lisbon 2024"));
    const struct {
        const char* name;
        const char* taken; // null: a companion, copied from the types' corpus otherwise
        const char* from;
    } files[] = {
        {"DSC00310.jpg", "2024:05:17 18:44:05", nullptr},
        {"DSC00310.ARW", nullptr, nullptr},
        {"IMG_2041.jpg", "2024:05:18 09:12:44", nullptr},
        {"IMG_2042.jpg", "2024:05:18 09:12:44", nullptr}, // the burst
        {"IMG_2044.HEIC", nullptr, "Apple_iPhone_11_Pro.HEIC"},
        {"MVI_0032.mov", nullptr, "Apple_iPhone_6.mov"},
        {"scan-0007.tif", nullptr, "Canon_EOS_5D.tif"},
        {"shared.webp", nullptr, "HTC_Desire.webp"},
        {"clip.mp4", nullptr, "with_gps.mp4"},
    };
    for (const auto& file : files) {
        const QString path = trip + "/" + file.name;
        if (file.taken != nullptr)
            QVERIFY(guitest::WriteDatedPhoto(path, file.taken));
        else if (file.from != nullptr)
            QVERIFY(QFile::copy(formats.filePath(file.from), path));
        else
            QVERIFY(QFile(path).open(QIODevice::WriteOnly));
    }
    QVERIFY(guitest::WriteUndatedPhoto(trip + QStringLiteral("/panorama-edit.jpg")));

    CTestVelmoraDlg dlg;
    dlg.OnAllFileTypes(true);
    dlg.OnCompanions(true);
    dlg.FormatField().setText(QStringLiteral("%Y-%m-%d %H.%M.%S"));
    dlg.show();
    dlg.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
    dlg.ScanFolder(QFile::encodeName(trip).toStdString());
    QCOMPARE(dlg.List().GetItemCount(), 9);
    QTRY_COMPARE(dlg.List().Model().RefusalCount(), 2u);
    dlg.List().setFocus();
    dlg.List().setCurrentIndex(dlg.List().model()->index(0, 0));
    QTRY_VERIFY(dlg.List().hasFocus());

    const QString path = guitest::SaveScreenshot(dlg, guitest::ScaleFactor() == 2
                                                          ? QStringLiteral("main-window@2x.png")
                                                          : QStringLiteral("main-window.png"));
    QVERIFY(!path.isEmpty());
    qInfo("saved %s", qPrintable(path));
}

VELMORA_GUI_TEST_MAIN(MainWindowTest)

#include "main_window_test.moc"
