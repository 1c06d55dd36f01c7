#include "velmora_dlg.h"

#include "dialog_units.h"
#include "folder_scan.h"
#include "format_codes.h"
#include "identical_files.h"
#include "image_type.h"
#include "journal_store.h"
#include "name_generation.h"
#include "refused_rows.h"
#include "rename_plan.h"
#include "rename_run.h"
#include "safe_rename.h"
#include "status_line.h"
#include "status_pictures.h"
#include "string_table.h"
#include "template_layout.h"
#include "undo_run.h"
#include "velmora_app.h"

#include "about_dlg.h"
#include "build_format_dlg.h"
#include "camera_clocks_dlg.h"
#include "jpeg_info_dlg.h"

#include <QActionGroup>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStandardPaths>
#include <QStyle>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <map>
#include <optional>
#include <sys/stat.h>

using namespace velmora;

namespace {

constexpr COLORREF kUnreadableText = 0x0000FFFF; // yellow
constexpr COLORREF kUnreadableBack = 0x00461AF7; // red
constexpr COLORREF kNoDateText = 0x00FF0000;     // blue
constexpr COLORREF kNoDateBack = 0x0000FFFF;     // yellow
// Typing that pauses this long has the rows a rename would refuse marked.
constexpr int kRefusalCheckDelayMs = 150;
const QKeySequence kCameraClocksKey(Qt::CTRL | Qt::Key_K);

QString Decode(const std::string& bytes) {
    return CListModel::Decode(bytes);
}

std::string Encode(const QString& text) {
    return CListModel::Encode(text);
}

// The path of the first dropped item, the only one that counts, when it is a
// local file or folder that exists. The URL's own percent-encoded bytes are
// taken, not its decoded text, so that a name that is not UTF-8 survives.
std::optional<std::string> DroppedPath(const QMimeData& data) {
    const QList<QUrl> urls = data.urls();
    if (urls.isEmpty() || !urls.first().isLocalFile())
        return std::nullopt;
    std::string path =
        QByteArray::fromPercentEncoding(urls.first().path(QUrl::FullyEncoded).toLatin1())
            .toStdString();
    struct stat status {};
    if (path.empty() || stat(path.c_str(), &status) != 0)
        return std::nullopt;
    return path;
}

// "3 HEIC, 2 MP4": the files of the folder of a known type other than
// "*.jpg", by type, the most first.
QString OtherTypesText(const std::string& folder) {
    std::map<std::string, int> counts;
    if (DIR* dir = opendir(folder.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            const std::string_view name = entry->d_name;
            const ImageType* type = ImageTypeOf(name);
            const bool jpg = name.size() > 4 &&
                             CListModel::Decode(std::string(name.substr(name.size() - 4)))
                                     .compare(QStringLiteral(".jpg"), Qt::CaseInsensitive) == 0;
            if (type != nullptr && !jpg)
                ++counts[std::string(type->extension)];
        }
        closedir(dir);
    }
    std::vector<std::pair<int, std::string>> byCount;
    for (const auto& [extension, count] : counts)
        byCount.emplace_back(-count, extension);
    std::sort(byCount.begin(), byCount.end());
    QStringList parts;
    for (const auto& [count, extension] : byCount)
        parts << QStringLiteral("%1 %2").arg(-count).arg(
            QString::fromStdString(extension).toUpper());
    return parts.join(QStringLiteral(", "));
}

// The folder dialog keeps its history, last folder and view in a settings
// file of Qt's own (QtProject.conf), with no option to leave that out. The
// program keeps no file besides its one setting, so while one lives, per-user
// settings go to a scratch folder that is removed afterwards.
class CScratchQtSettings {
public:
    CScratchQtSettings() {
        if (m_folder.isValid())
            PointUserSettingsTo(m_folder.path());
    }
    ~CScratchQtSettings() {
        // Back to where per-user settings live by default.
        if (m_folder.isValid())
            PointUserSettingsTo(
                QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation));
    }
    CScratchQtSettings(const CScratchQtSettings&) = delete;
    CScratchQtSettings& operator=(const CScratchQtSettings&) = delete;

private:
    static void PointUserSettingsTo(const QString& folder) {
        for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
            QSettings::setPath(format, QSettings::UserScope, folder);
    }

    QTemporaryDir m_folder;
};

// Template 102 in dialog units: x, y, width, height, and the window edges a
// control keeps its distance to as the window grows: the list grows both
// ways, the fields widen, and what sits at the right or bottom moves along.
struct TemplateRect {
    int x, y, width, height;
    Qt::Edges edges;
};
constexpr Qt::Edges kTopLeft = Qt::TopEdge | Qt::LeftEdge;
constexpr Qt::Edges kTopRight = Qt::TopEdge | Qt::RightEdge;
constexpr Qt::Edges kTopWide = Qt::TopEdge | Qt::LeftEdge | Qt::RightEdge;
constexpr Qt::Edges kBottomLeft = Qt::BottomEdge | Qt::LeftEdge;
constexpr Qt::Edges kBottomRight = Qt::BottomEdge | Qt::RightEdge;
constexpr Qt::Edges kBottomWide = Qt::BottomEdge | Qt::LeftEdge | Qt::RightEdge;
constexpr Qt::Edges kAllEdges = kTopWide | Qt::BottomEdge;

constexpr int kDialogWidth = 320;
constexpr int kDialogHeight = 210;
constexpr TemplateRect kLabelDirectory = {7, 12, 54, 8, kTopLeft};
constexpr TemplateRect kEditDirectory = {66, 10, 230, 14, kTopWide};
constexpr TemplateRect kButtonBrowse = {299, 10, 14, 14, kTopRight};
constexpr TemplateRect kLabelFormat = {7, 35, 58, 8, kTopLeft};
constexpr TemplateRect kEditFormat = {67, 32, 118, 14, kTopWide};
constexpr TemplateRect kButtonBuildFormat = {193, 34, 50, 14, kTopRight};
constexpr TemplateRect kLabelRename = {255, 35, 30, 8, kTopRight};
constexpr TemplateRect kEditRenameCount = {285, 32, 28, 14, kTopRight};
constexpr TemplateRect kList = {7, 54, 306, 122, kAllEdges};
constexpr TemplateRect kStatusLine = {7, 178, 306, 8, kBottomWide};
constexpr TemplateRect kButtonRename = {21, 189, 50, 14, kBottomLeft};
constexpr TemplateRect kButtonExit = {249, 189, 50, 14, kBottomRight};
constexpr TemplateRect kProgress = {80, 189, 160, 14, kBottomWide};

void Place(CTemplateLayout* layout, QWidget* widget, const CDialogUnits& units,
           const TemplateRect& r) {
    layout->AddWidget(widget, units.Rect(r.x, r.y, r.width, r.height), r.edges);
}

} // namespace

CVelmoraDlg::CVelmoraDlg(QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint),
      m_hIcon(QStringLiteral(":/velmora/velmora-256.png")) {
    CreateControls();
    OnInitDialog();
}

CVelmoraDlg::~CVelmoraDlg() = default;

// Template 102: the controls in template order, which is also the tab order.
void CVelmoraDlg::CreateControls() {
    setWindowTitle(QStringLiteral("Velmora Images to date taken value"));
    CDialogUnits units(font());
    units.FitText(QStringLiteral("Target Directory:"), kLabelDirectory.width);
    units.FitText(QStringLiteral("File Name Format:"), kLabelFormat.width);
    units.FitText(QStringLiteral("Rename:"), kLabelRename.width);
    // The template's size is where the window starts and the least it takes;
    // it may grow and be maximised. Its size is not kept from run to run.
    auto* layout = new CTemplateLayout(this, units.Size(kDialogWidth, kDialogHeight));
    resize(layout->sizeHint());

    Place(layout, new QLabel(QStringLiteral("Target Directory:"), this), units, kLabelDirectory);
    m_editDirectory = new QLineEdit(this);
    m_editDirectory->setReadOnly(true);
    m_editDirectory->setAcceptDrops(false);
    Place(layout, m_editDirectory, units, kEditDirectory);
    m_btnBrowse = new QPushButton(QStringLiteral("..."), this);
    Place(layout, m_btnBrowse, units, kButtonBrowse);

    Place(layout, new QLabel(QStringLiteral("File Name Format:"), this), units, kLabelFormat);
    m_editFormat = new QLineEdit(this);
    // A folder dropped here is meant for the window, not typed into the format.
    m_editFormat->setAcceptDrops(false);
    Place(layout, m_editFormat, units, kEditFormat);
    m_btnBuildFormat = new QPushButton(QStringLiteral("&Build Format"), this);
    Place(layout, m_btnBuildFormat, units, kButtonBuildFormat);

    Place(layout, new QLabel(QStringLiteral("Rename:"), this), units, kLabelRename);
    m_editRenameCount = new QLineEdit(this);
    m_editRenameCount->setReadOnly(true);
    m_editRenameCount->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_editRenameCount->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), this));
    Place(layout, m_editRenameCount, units, kEditRenameCount);

    m_list = new CListCtrlEx(this);
    Place(layout, m_list, units, kList);
    // The rows' tooltips tell the clock offset of their device.
    m_list->Model().SetDevices(&m_devices);

    m_labelStatus = new CStatusLine(
        QStringLiteral("(Double click on an picture to view the detail information stored in "
                       "the file)"),
        this);
    Place(layout, m_labelStatus, units, kStatusLine);

    m_btnRename = new QPushButton(QStringLiteral("Rename"), this);
    // Enter presses Rename unless a push button has the focus: the buttons
    // stay auto-default, so Enter on "Exit" leaves and renames nothing.
    m_btnRename->setDefault(true);
    Place(layout, m_btnRename, units, kButtonRename);
    m_btnCancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_btnCancel->setAutoDefault(false);
    m_btnCancel->hide();
    Place(layout, m_btnCancel, units, kButtonRename);
    m_btnExit = new QPushButton(QStringLiteral("Exit"), this);
    Place(layout, m_btnExit, units, kButtonExit);

    m_progress = new QProgressBar(this);
    m_progress->setTextVisible(false);
    m_progress->hide();
    Place(layout, m_progress, units, kProgress);

    m_refusalTimer = new QTimer(this);
    m_refusalTimer->setSingleShot(true);
    m_refusalTimer->setInterval(kRefusalCheckDelayMs);
    connect(m_refusalTimer, &QTimer::timeout, this, &CVelmoraDlg::CheckRefusedNames);

    // The window's commands, in one place.
    connect(m_btnBrowse, &QPushButton::clicked, this, &CVelmoraDlg::OnBrowse);
    connect(m_list, &QAbstractItemView::doubleClicked, this, &CVelmoraDlg::OnDblclkList);
    connect(m_btnBuildFormat, &QPushButton::clicked, this, &CVelmoraDlg::OnBuildFormat);
    connect(m_editFormat, &QLineEdit::textChanged, this, &CVelmoraDlg::UpdateConvertedNames);
    connect(m_btnRename, &QPushButton::clicked, this, &CVelmoraDlg::OnOK);
    connect(m_btnExit, &QPushButton::clicked, this, &QDialog::reject);
    connect(new QShortcut(QKeySequence::HelpContents, this), &QShortcut::activated, this,
            &CVelmoraDlg::OnAbout);
    connect(new QShortcut(QKeySequence::Undo, this), &QShortcut::activated, this,
            &CVelmoraDlg::OnUndoLastRename);
    connect(new QShortcut(kCameraClocksKey, this), &QShortcut::activated, this,
            &CVelmoraDlg::OnCameraClocks);
    // F5 reads the folder again: files added, removed or renamed meanwhile.
    connect(new QShortcut(QKeySequence(Qt::Key_F5), this), &QShortcut::activated, this, [this] {
        if (!m_strDirectory.empty() && FolderStillThere())
            ScanFolder(m_strDirectory);
    });
    // Shift+F10 opens the context menu, as the Menu key does.
    connect(new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10), this), &QShortcut::activated, this,
            [this] { ShowContextMenu(ContextMenuPoint()); });
    // Ctrl+K opens the camera clocks even while a text field has the focus;
    // Ctrl+Z there is the field's own undo of typing, and Undo Last Rename
    // everywhere else.
    m_editFormat->installEventFilter(this);
    m_editDirectory->installEventFilter(this);
}

bool CVelmoraDlg::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride &&
        QKeySequence(static_cast<QKeyEvent*>(event)->keyCombination()) == kCameraClocksKey) {
        event->ignore();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void CVelmoraDlg::OnInitDialog() {
    // Linux desktops have no system menu: the About entry goes into the
    // window's context menu (and F1).
    m_strAboutMenu = QString::fromUtf8(LoadString(IDS_ABOUTBOX));
    setAcceptDrops(true);
    setWindowIcon(m_hIcon);

    m_list->AddColumn(QStringLiteral("Original File Name"), 0);
    m_list->AddColumn(QStringLiteral("Converted File Name"), 1);
    DrawStatusPictures();
    m_list->SetFullRowSelect(true);
    auto* unreadable = new CItemColors;
    unreadable->m_textColor = kUnreadableText;
    unreadable->m_backColor = kUnreadableBack;
    m_list->SetItemColors(RowUnreadable, unreadable);
    auto* noDate = new CItemColors;
    noDate->m_textColor = kNoDateText;
    noDate->m_backColor = kNoDateBack;
    m_list->SetItemColors(RowNoDate, noDate);

    m_strFormat =
        Encode(theApp.GetProfileString(CVelmoraApp::kSettingsSection, CVelmoraApp::kFormatEntry,
                                       QString::fromUtf8(kDefaultFormat)));
    m_bAllTypes =
        theApp.GetProfileString(CVelmoraApp::kSettingsSection, CVelmoraApp::kFileTypesEntry,
                                QString()) == QStringLiteral("all");
    m_bCompanions = StoredChoice(CVelmoraApp::kCompanionsEntry);
    m_bSubfolders = StoredChoice(CVelmoraApp::kSubfoldersEntry);
    m_bCreateFolders = StoredChoice(CVelmoraApp::kCreateFoldersEntry);
    m_bRemoveEmptyFolders = StoredChoice(CVelmoraApp::kRemoveEmptyFoldersEntry);
    m_bSetFileTimes = StoredChoice(CVelmoraApp::kSetFileTimesEntry);
    m_undated = velmora::UndatedDatesFromName(
                    Encode(theApp.GetProfileString(CVelmoraApp::kSettingsSection,
                                                   CVelmoraApp::kUndatedEntry, QString())))
                    .value_or(velmora::UndatedDates::None);
    m_extensionCase =
        velmora::ExtensionCaseFromName(
            Encode(theApp.GetProfileString(CVelmoraApp::kSettingsSection,
                                           CVelmoraApp::kExtensionCaseEntry, QString())))
            .value_or(velmora::ExtensionCase::Keep);
    m_nRenameCount = 0;
    UpdateData(false);
}

void CVelmoraDlg::UpdateData(bool saveAndValidate) {
    if (saveAndValidate) {
        m_strFormat = Encode(m_editFormat->text());
        m_nRenameCount = m_editRenameCount->text().toUInt();
        // The folder field is read-only: its text only ever comes from the
        // member, whose bytes a decode-encode round trip could alter.
        if (m_editDirectory->text() != Decode(m_strDirectory))
            m_strDirectory = Encode(m_editDirectory->text());
        m_strStatus = m_labelStatus->text();
        return;
    }
    const QSignalBlocker blockFormat(m_editFormat);
    const QSignalBlocker blockCount(m_editRenameCount);
    const QSignalBlocker blockDirectory(m_editDirectory);
    const QString format = Decode(m_strFormat);
    if (m_editFormat->text() != format)
        m_editFormat->setText(format);
    m_editRenameCount->setText(QString::number(m_nRenameCount));
    m_editDirectory->setText(Decode(m_strDirectory));
    m_labelStatus->setText(m_strStatus);
}

// Work that may take long (a scan, a rename, an undo) runs on the window's
// thread and ticks as it goes. Past LongWorkDelayMs the window shows the
// count on the progress bar and Cancel in Rename's place, and repaints a few
// times per second; meanwhile the user's input reaches Cancel alone (Escape
// too), so nothing else touches the rows while the work changes them.
class CVelmoraDlg::CLongWork : public QObject {
public:
    explicit CLongWork(CVelmoraDlg& dlg) : m_dlg(dlg) {
        m_timer.start();
        qApp->installEventFilter(this);
        m_connection =
            connect(m_dlg.m_btnCancel, &QPushButton::clicked, this, [this] { m_cancelled = true; });
    }
    ~CLongWork() override {
        disconnect(m_connection);
        qApp->removeEventFilter(this);
        if (!m_shown)
            return;
        m_dlg.m_btnCancel->hide();
        m_dlg.m_btnRename->show();
        m_dlg.m_progress->hide();
        m_dlg.m_progress->setTextVisible(false);
    }
    CLongWork(const CLongWork&) = delete;
    CLongWork& operator=(const CLongWork&) = delete;

    // `done` of `total` (0: not known yet); false once the user cancelled.
    bool Tick(int done, int total) {
        if (m_timer.elapsed() < m_dlg.LongWorkDelayMs() ||
            (m_shown && m_repaint.elapsed() < m_dlg.ProgressRepaintMs()))
            return !m_cancelled;
        m_repaint.start();
        if (!m_shown) {
            m_shown = true;
            m_dlg.m_btnRename->hide();
            m_dlg.m_btnCancel->show();
            m_dlg.m_progress->show();
            m_dlg.m_progress->setTextVisible(true);
        }
        const QLocale numbers(QLocale::English);
        // No total yet (a tree still being walked): the bar only shows that
        // work goes on.
        m_dlg.m_progress->setRange(0, total);
        m_dlg.m_progress->setValue(done);
        m_dlg.m_progress->setFormat(
            total == 0
                ? QString()
                : QStringLiteral("%1 of %2").arg(numbers.toString(done), numbers.toString(total)));
        m_dlg.m_list->viewport()->update();
        QCoreApplication::processEvents();
        return !m_cancelled;
    }
    bool Cancelled() const { return m_cancelled; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::KeyPress:
            if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
                m_cancelled = true;
                return true;
            }
            [[fallthrough]];
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::Drop:
        case QEvent::DragEnter:
            return watched != m_dlg.m_btnCancel;
        case QEvent::Close:
            // The window stays until the work is done or cancelled.
            if (watched == &m_dlg) {
                m_cancelled = true;
                event->ignore();
                return true;
            }
            return false;
        default:
            return false;
        }
    }

private:
    CVelmoraDlg& m_dlg;
    QElapsedTimer m_timer;
    QElapsedTimer m_repaint;
    QMetaObject::Connection m_connection;
    bool m_shown = false;
    bool m_cancelled = false;
};

// A rename or undo as it goes: its count of rows done, and Cancel.
class CVelmoraDlg::CRunDisplay : public CRenameObserver {
public:
    CRunDisplay(CVelmoraDlg& dlg, int total) : m_work(dlg), m_total(total) {}
    void OnRenamed(const std::string&, const std::string&) override {}
    void OnMovedAside(const std::string&, const std::string&) override {}
    void OnUndone(const std::string&, const std::string&) override {}
    bool OnRowDone(int renamed) override { return m_work.Tick(renamed, m_total); }
    bool Cancelled() const { return m_work.Cancelled(); }

private:
    CLongWork m_work;
    int m_total;
};

// Shows a scan as it goes without letting repaints dominate it: the listing
// is painted at once, the reading position a few times per second. A tree
// scan also tells its walk and the folders it has read in so far.
class CVelmoraDlg::CScanDisplay : public CScanObserver {
public:
    CScanDisplay(CVelmoraDlg& dlg, bool tree) : m_dlg(dlg), m_work(dlg), m_tree(tree) {
        m_timer.start();
    }
    ~CScanDisplay() override {
        if (m_listed)
            QApplication::restoreOverrideCursor();
    }
    CScanDisplay(const CScanDisplay&) = delete;
    CScanDisplay& operator=(const CScanDisplay&) = delete;

    void OnListing(std::size_t files, std::size_t folders) override {
        m_work.Tick(0, 0);
        if (!Due(!m_walkShown))
            return;
        m_walkShown = true;
        ShowStatus(QStringLiteral("Listing JPEG files: %1").arg(FilesInFolders(files, folders)));
    }

    void OnListed(const CListRows& rows) override {
        m_listed = true;
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_dlg.m_list->EndReplaceRows(); // the names, none read yet
        m_dlg.m_nRenameCount = static_cast<unsigned>(rows.size());
        m_dlg.m_progress->setRange(0, static_cast<int>(rows.size()));
        m_dlg.m_progress->show();
        m_dlg.UpdateData(false);
        m_dlg.repaint();
        m_timer.restart();
    }

    // The rows are about to be reordered and named: the view is told before.
    void OnSorting() override {
        m_sorting = true;
        m_dlg.m_list->BeginReplaceRows();
    }

    void OnReadingFolder(std::size_t folders) override { m_folders = folders; }

    void OnReading(int index, int count) override {
        m_work.Tick(index, count);
        if (!Due(index == 0))
            return;
        m_dlg.m_progress->setValue(index);
        m_dlg.m_progress->repaint();
        ShowStatus(m_tree ? QStringLiteral("Extracting date from JPEG files: %1")
                                .arg(FilesInFolders(static_cast<std::size_t>(index), m_folders))
                          : QString::asprintf(LoadString(IDS_EXTRACTING_DATE), long(index)));
    }

    bool StopWanted() override { return m_work.Cancelled(); }
    // Between the listing and the sort the view shows the rows as listed.
    bool Showing() const { return m_listed && !m_sorting; }

private:
    // Whether the progress is painted now: the first time always, then a few
    // times per second.
    bool Due(bool first) {
        if (!first && m_timer.elapsed() < m_dlg.ProgressRepaintMs())
            return false;
        m_timer.restart();
        return true;
    }
    void ShowStatus(const QString& text) {
        m_dlg.m_strStatus = text;
        m_dlg.UpdateData(false);
        m_dlg.m_labelStatus->repaint();
    }
    static QString FilesInFolders(std::size_t files, std::size_t folders) {
        const QLocale numbers(QLocale::English);
        return QStringLiteral("%1 in %2 folder%3")
            .arg(numbers.toString(qulonglong(files)), numbers.toString(qulonglong(folders)),
                 folders == 1 ? "" : "s");
    }

    CVelmoraDlg& m_dlg;
    CLongWork m_work;
    const bool m_tree;
    bool m_listed = false;
    bool m_sorting = false;
    bool m_walkShown = false;
    std::size_t m_folders = 0; // folders read in so far
    QElapsedTimer m_timer;
};

void CVelmoraDlg::ScanFolder(const std::string& folder) {
    OfferUndoOfInterruptedRun(folder);
    m_nRenameCount = 0;
    m_strDirectory = folder;
    m_nUnlisted = 0;
    m_refusalTimer->stop();
    m_refused.clear();
    m_list->Model().SetRefusals({});
    m_list->Model().SetCopyNotes({});
    m_nCopies = 0;
    ShowNotice();
    UpdateData(false);

    const velmora::CScanOptions options = ScanOptions();
    CScanDisplay display(*this, options.bRecursive);
    m_list->BeginReplaceRows();
    // A new folder is shown from its first row, not where the last one was left.
    m_list->scrollToTop();
    m_list->horizontalScrollBar()->setValue(0);
    bool listed = false;
    std::size_t unlisted = 0;
    const unsigned renameCount =
        velmora::ScanFolder(folder, m_strFormat, m_list->Rows(), listed, &display, options,
                            &unlisted, &m_devices, &m_lenses);
    const bool cancelled = display.StopWanted();
    if (display.Showing())
        m_list->BeginReplaceRows(); // a cancelled scan took the listed rows away
    m_list->EndReplaceRows();       // begun before the sort, or nothing matched

    // Even an empty list gets its count, so that no count of the last folder
    // stays on show.
    m_strStatus = QString::asprintf(LoadString(IDS_FILES_IN_LIST), m_list->GetItemCount());
    if (cancelled) {
        m_progress->hide();
        m_strStatus = QStringLiteral("Reading the folder was cancelled; F5 reads it again.");
    }
    m_nUnlisted = m_bAllTypes ? 0 : unlisted;
    m_strUnlistedTypes = m_nUnlisted != 0 ? OtherTypesText(folder) : QString();
    if (listed) {
        m_progress->hide();
        SizeColumns();
    }
    m_nRenameCount = renameCount;
    NoteCopies();
    UpdateData(false);
    ShowNotice();
    m_refusalTimer->start(); // the list is on show before it is checked
}

void CVelmoraDlg::SizeColumns() {
    m_list->AutoSizeColumn(0);
    m_list->AutoSizeColumn(1);
}

void CVelmoraDlg::UpdateConvertedNames() {
    UpdateData(true);
    const velmora::CNameFacts facts{&m_devices, &m_lenses, velmora::FolderNameOf(m_strDirectory)};
    m_nRenameCount =
        velmora::UpdateConvertedNames(m_list->Rows(), m_strFormat, &facts, m_extensionCase);
    FlagUnknownCode();
    // Marks made for the last names would point at the wrong rows.
    m_refused.clear();
    m_list->Model().SetRefusals({});
    m_list->RowsChanged();
    m_list->AutoSizeColumn(1);
    UpdateData(false);
    m_refusalTimer->start();
}

void CVelmoraDlg::CheckRefusedNames() {
    m_refusalTimer->stop();
    std::vector<std::pair<int, QString>> refusals;
    m_refused.clear();
    if (!m_strDirectory.empty()) {
        const CFolderHandle folder(m_strDirectory);
        if (folder.IsOpen())
            m_refused = FindRefusedRows(folder, m_list->Rows(), m_bCreateFolders);
    }
    for (const CRenameStop& stop : m_refused)
        refusals.emplace_back(stop.nRow, QString::fromLocal8Bit(RefusalText(stop)));
    m_list->Model().SetRefusals(std::move(refusals));
    m_list->viewport()->update();
    // "Rename:" counts what a Rename would rename: the refused rows stay.
    m_nRenameCount = static_cast<unsigned>(
        std::count_if(m_list->Rows().begin(), m_list->Rows().end(),
                      [](const CListRow& row) { return row.nImage == RowToRename; }) -
        static_cast<std::ptrdiff_t>(m_refused.size()));
    UpdateData(false);
    ShowNotice();
}

void CVelmoraDlg::NoteCopies() {
    const CListRows& rows = m_list->Rows();
    std::map<int, QStringList> sameBytes; // by row: the files of the same bytes
    const auto name = [&rows](int row) {
        return CListModel::Decode(rows[static_cast<std::size_t>(row)].Text(0));
    };
    const std::vector<std::pair<int, int>> copies = CopiesWithOriginals(rows);
    for (const auto& [copy, original] : copies) {
        sameBytes[copy] << (original >= 0
                                ? name(original)
                                : CListModel::Decode(OriginalOfCopy(rows[std::size_t(copy)])));
        if (original >= 0)
            sameBytes[original] << name(copy);
    }
    std::vector<std::pair<int, QString>> notes;
    for (const auto& [row, others] : sameBytes) {
        notes.emplace_back(row, QStringLiteral("The same bytes as ") +
                                    others.join(QStringLiteral(", ")) +
                                    (rows[std::size_t(row)].nImage == RowDuplicate
                                         ? QStringLiteral(": Rename leaves it where it is.")
                                         : QString()));
    }
    m_list->Model().SetCopyNotes(std::move(notes));
    m_nCopies = copies.size();
}

void CVelmoraDlg::ShowNotice() {
    QStringList shown;
    QStringList tips;
    if (m_nCopies != 0) {
        shown << (m_nCopies == 1 ? QStringLiteral("1 identical copy")
                                 : QStringLiteral("%1 identical copies").arg(m_nCopies));
        tips << (m_nCopies == 1 ? QStringLiteral("1 file holds")
                                : QStringLiteral("%1 files hold").arg(m_nCopies)) +
                    QStringLiteral(" the same bytes as another file: Rename leaves such copies "
                                   "where they are and removes nothing; the row's tooltip names "
                                   "the other.");
    }
    if (const std::size_t refused = m_list->Model().RefusalCount(); refused != 0) {
        shown << (refused == 1 ? QStringLiteral("1 refused name")
                               : QStringLiteral("%1 refused names").arg(refused));
        tips << (refused == 1 ? QStringLiteral("1 row has")
                              : QStringLiteral("%1 rows have").arg(refused)) +
                    QStringLiteral(" a new name that Rename would refuse, drawn in red; the "
                                   "row's tooltip says why.");
    }
    if (m_nUnlisted != 0) {
        shown
            << QStringLiteral("+%1 other file%2").arg(m_nUnlisted).arg(m_nUnlisted == 1 ? "" : "s");
        tips << (m_nUnlisted == 1
                     ? QStringLiteral("1 photo or video file of another type is not listed")
                     : QStringLiteral("%1 photo or video files of other types are not listed")
                           .arg(m_nUnlisted)) +
                    QStringLiteral(" (%1): right-click, Every Photo and Video Type.")
                        .arg(m_strUnlistedTypes);
    }
    // Offsets stored in other folders must not rename these files unseen.
    QStringList clocks;
    for (const velmora::CDevice& device : m_devices) {
        if (device.nOffset != 0 && device.nFiles != 0 && device.span)
            clocks << QStringLiteral("%1: %2 for %3")
                          .arg(QString::fromStdString(device.id.Text()),
                               QString::fromStdString(velmora::OffsetSecondsText(device.nOffset)),
                               QString::fromStdString(velmora::SpanText(*device.span)));
    }
    if (!clocks.empty()) {
        shown << (clocks.size() == 1 ? QStringLiteral("1 camera clock")
                                     : QStringLiteral("%1 camera clocks").arg(clocks.size()));
        tips << QStringLiteral("Stored clock offsets move the dates of these files (right-click, "
                               "Camera Clocks):\n") +
                    clocks.join(QLatin1Char('\n'));
    }
    m_labelStatus->SetNotice(shown.join(QStringLiteral(", ")));
    m_labelStatus->setToolTip(tips.join(QLatin1Char('\n')));
}

void CVelmoraDlg::OnOK() {
    // An empty format would give every file the name ".jpg".
    if (m_strFormat.empty()) {
        MessageBox(QStringLiteral("The Format value can not be empty!"), QStringLiteral("Error"),
                   MB_OK);
        return;
    }
    if (const QString unknown = FlagUnknownCode(); !unknown.isEmpty()) {
        MessageBox(QStringLiteral("The Format value holds %1, which is not a code of the format: "
                                  "no file was renamed.")
                       .arg(unknown),
                   QStringLiteral("Error"), MB_ICONERROR);
        return;
    }
    if (!m_strDirectory.empty() && !FolderStillThere())
        return;
    // Names typed since the last check are checked now, so that the
    // question below covers every name the run would refuse.
    if (m_refusalTimer->isActive())
        CheckRefusedNames();
    const std::vector<CRenameStop> refused = m_refused;
    if (!refused.empty() && !AskToLeaveRefused(refused))
        return;
    if (m_nRenameCount != 0) {
        ReportUnstored(theApp.WriteProfileString(CVelmoraApp::kSettingsSection,
                                                 CVelmoraApp::kFormatEntry, Decode(m_strFormat)));
    }
    // The display lets no input through but Cancel: it ends with the run.
    std::optional<CRunDisplay> display(std::in_place, *this, static_cast<int>(m_nRenameCount));
    const CJournalStore journals(DefaultJournalFolder());
    const CRunChoices choices{.bCreateFolders = m_bCreateFolders,
                              .bRemoveEmptyFolders = m_bRemoveEmptyFolders,
                              .bSetFileTimes = m_bSetFileTimes};
    const CRenameOutcome outcome =
        refused.empty()
            ? RunRename(m_strDirectory, m_list->Rows(), m_nRenameCount, &*display, &journals,
                        ClocksInForce(m_devices), choices)
            : RunRenameLeavingRefused(m_strDirectory, m_list->Rows(), refused, &*display, &journals,
                                      ClocksInForce(m_devices), choices);
    const bool cancelled = display->Cancelled();
    display.reset();
    m_list->RowsChanged();
    // The count tells what is still to rename: none after a complete run.
    m_nRenameCount = static_cast<unsigned>(
        std::count_if(m_list->Rows().begin(), m_list->Rows().end(),
                      [](const CListRow& row) { return row.nImage == RowToRename; }));
    UpdateData(false);
    CheckRefusedNames();
    // Renamed rows show their new names whole, also after a run that stopped.
    if (outcome.kind != CRenameOutcome::NoItems)
        SizeColumns();
    QString text = QString::fromLocal8Bit(outcome.strText);
    if (outcome.kind == CRenameOutcome::Interrupted)
        text += QStringLiteral("\n\nCtrl+Z (or right-click, Undo Last Rename) undoes it.");
    else if (cancelled && outcome.nRenamed != 0)
        text += QStringLiteral("\n\nUndo Last Rename (Ctrl+Z) gives them their names back.");
    MessageBox(text, QString::fromUtf8(outcome.strCaption),
               outcome.bErrorIcon ? MB_ICONERROR : MB_OK);
}

bool CVelmoraDlg::AskToLeaveRefused(const std::vector<CRenameStop>& refused) {
    const unsigned others = m_nRenameCount;
    const std::size_t count = refused.size();
    const QString known = QString::fromLocal8Bit(
        RefusedCountText(count, others + static_cast<unsigned>(count), refused));
    if (others == 0) {
        MessageBox(known + QStringLiteral(": no file was renamed.") +
                       QString::fromLocal8Bit(RefusedRowLines(refused, m_list->Rows())),
                   QStringLiteral("Rename Files"), MB_ICONERROR);
        return false;
    }
    return AskRenameOthers(known + QStringLiteral(". Rename the other %1 and leave ").arg(others) +
                           (count == 1 ? QStringLiteral("that 1 as it is?")
                                       : QStringLiteral("those %1 as they are?").arg(count)));
}

void CVelmoraDlg::OnBrowse() {
    // The last folder is offered again, as long as there is one worth the name.
    const QString start = m_strDirectory.size() > 2 ? Decode(m_strDirectory) : QString();
    const QString folder = BrowseForFolder(start);
    if (!folder.isEmpty())
        ScanFolder(Encode(folder));
}

void CVelmoraDlg::OnDropFiles(const std::string& path) {
    struct stat status {};
    if (path.empty() || stat(path.c_str(), &status) != 0)
        return;
    std::string folder = path;
    if (S_ISDIR(status.st_mode) && path.front() != '/') {
        // "." or a relative path is shown as the folder's full path.
        if (char* full = realpath(path.c_str(), nullptr)) {
            folder = full;
            std::free(full);
        }
    } else if (!S_ISDIR(status.st_mode)) {
        // The folder that holds the item: its path up to the last separator,
        // made absolute.
        const std::size_t slash = path.rfind('/');
        folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
        if (folder.front() != '/')
            folder = Encode(QDir::current().absoluteFilePath(Decode(folder)));
    }
    m_strDirectory = folder;
    UpdateData(false);
    raise();
    activateWindow();
    ScanFolder(folder);
}

void CVelmoraDlg::OnDblclkList(const QModelIndex& index) {
    if (!index.isValid())
        return;
    // An unreadable row opens the window too: it shows the reader's message.
    if (!FolderStillThere())
        return;
    RunJpegInfoDialog(m_strDirectory + '/' + m_list->GetItemText(index.row(), 0), m_bAllTypes,
                      velmora::RowDate(m_devices, m_list->Rows()[index.row()]));
}

void CVelmoraDlg::OnBuildFormat() {
    std::string format = m_strFormat;
    if (!RunBuildFormatDialog(format))
        return;
    m_strFormat = format;
    UpdateData(false);
    UpdateConvertedNames();
}

void CVelmoraDlg::OnAbout() {
    if (!m_strAboutMenu.isEmpty())
        RunAboutDialog();
}

void CVelmoraDlg::OnAllFileTypes(bool on) {
    m_bAllTypes = on;
    ReportUnstored(theApp.WriteProfileString(CVelmoraApp::kSettingsSection,
                                             CVelmoraApp::kFileTypesEntry,
                                             on ? QStringLiteral("all") : QStringLiteral("jpg")));
    if (!m_strDirectory.empty())
        ScanFolder(m_strDirectory);
}

void CVelmoraDlg::OnCompanions(bool on) {
    m_bCompanions = on;
    StoreChoice(CVelmoraApp::kCompanionsEntry, on);
    if (!m_strDirectory.empty())
        ScanFolder(m_strDirectory);
}

void CVelmoraDlg::OnIncludeSubfolders(bool on) {
    m_bSubfolders = on;
    StoreChoice(CVelmoraApp::kSubfoldersEntry, on);
    if (!m_strDirectory.empty())
        ScanFolder(m_strDirectory);
}

void CVelmoraDlg::OnCreateFolders(bool on) {
    m_bCreateFolders = on;
    StoreChoice(CVelmoraApp::kCreateFoldersEntry, on);
    // Folders that a name needs are refused, or made, from now on.
    CheckRefusedNames();
}

void CVelmoraDlg::OnRemoveEmptyFolders(bool on) {
    m_bRemoveEmptyFolders = on;
    StoreChoice(CVelmoraApp::kRemoveEmptyFoldersEntry, on);
}

void CVelmoraDlg::OnSetFileTimes(bool on) {
    m_bSetFileTimes = on;
    StoreChoice(CVelmoraApp::kSetFileTimesEntry, on);
}

void CVelmoraDlg::OnUndatedDates(velmora::UndatedDates undated) {
    m_undated = undated;
    const std::string_view name = velmora::UndatedDatesName(undated);
    ReportUnstored(
        theApp.WriteProfileString(CVelmoraApp::kSettingsSection, CVelmoraApp::kUndatedEntry,
                                  QString::fromLatin1(name.data(), qsizetype(name.size()))));
    if (!m_strDirectory.empty())
        ScanFolder(m_strDirectory);
}

void CVelmoraDlg::OnExtensionCase(velmora::ExtensionCase choice) {
    m_extensionCase = choice;
    const std::string_view name = velmora::ExtensionCaseName(choice);
    ReportUnstored(
        theApp.WriteProfileString(CVelmoraApp::kSettingsSection, CVelmoraApp::kExtensionCaseEntry,
                                  QString::fromLatin1(name.data(), qsizetype(name.size()))));
    UpdateConvertedNames();
}

QString CVelmoraDlg::FlagUnknownCode() {
    const std::string_view code = velmora::UnknownBraceCode(m_strFormat);
    const QString unknown = Decode(std::string(code));
    // The error colour of refused names, so that the field reads as they do;
    // set on a change only, as a style sheet costs a restyle of the field.
    const QString style =
        unknown.isEmpty() ? QString() : QStringLiteral("QLineEdit { color: #c00000; }");
    if (m_editFormat->styleSheet() != style)
        m_editFormat->setStyleSheet(style);
    m_editFormat->setToolTip(unknown.isEmpty()
                                 ? QString()
                                 : QStringLiteral("%1 is not a code of the format").arg(unknown));
    return unknown;
}

velmora::CScanOptions CVelmoraDlg::ScanOptions() const {
    velmora::CScanOptions options;
    options.bAllTypes = m_bAllTypes;
    options.bCompanions = m_bCompanions;
    options.bRecursive = m_bSubfolders;
    options.undated = m_undated;
    options.extensionCase = m_extensionCase;
    options.clocks = theApp.GetClockOffsets();
    return options;
}

void CVelmoraDlg::OnUndoLastRename() {
    if (m_strDirectory.empty())
        return;
    const CJournalStore journals(DefaultJournalFolder());
    const int count = CountUndoable(m_strDirectory, journals);
    if (count == 0) {
        MessageBox(QStringLiteral("There is no rename to undo in this folder."),
                   QStringLiteral("Undo Rename"), MB_OK);
        return;
    }
    const QString question =
        (count == 1 ? QStringLiteral("1 file goes back to the name it had")
                    : QStringLiteral("%1 files go back to the names they had").arg(count)) +
        QStringLiteral(" before the last rename. Undo the rename?");
    if (!AskYesNo(question, QStringLiteral("Undo Rename"), false))
        return;
    CUndoOutcome undo;
    bool cancelled = false;
    {
        CRunDisplay display(*this, count);
        undo = RunUndo(m_strDirectory, journals, &display);
        cancelled = display.Cancelled();
    }
    if (cancelled)
        undo.outcome.strText += "\n\nUndo Last Rename again gives the other files their names.";
    ShowUndoOutcome(undo.outcome);
    ScanFolder(m_strDirectory);
}

void CVelmoraDlg::OnCameraClocks() {
    if (m_strDirectory.empty())
        return;
    std::vector<std::int64_t> offsets;
    if (!RunCameraClocksDialog(offsets) || offsets.size() != m_devices.size())
        return;
    const velmora::CClockOffsets changed = velmora::ChangedClocks(m_devices, offsets);
    for (const auto& [key, spans] : changed) {
        if (const QString error = theApp.WriteClockSpans(key, spans); !error.isEmpty()) {
            ReportUnstored(error);
            break;
        }
    }
    if (!changed.empty())
        ScanFolder(m_strDirectory);
}

bool CVelmoraDlg::StoredChoice(const char* entry) {
    return theApp.GetProfileString(CVelmoraApp::kSettingsSection, entry, QString()) ==
           QStringLiteral("true");
}

void CVelmoraDlg::StoreChoice(const char* entry, bool on) {
    ReportUnstored(
        theApp.WriteProfileString(CVelmoraApp::kSettingsSection, entry,
                                  on ? QStringLiteral("true") : QStringLiteral("false")));
}

void CVelmoraDlg::ReportUnstored(const QString& error) {
    if (!error.isEmpty())
        MessageBox(QStringLiteral("The setting is not stored: ") + error + QLatin1Char('.'),
                   QStringLiteral("Settings"), MB_ICONERROR);
}

void CVelmoraDlg::OfferUndoOfInterruptedRun(const std::string& folder) {
    const CJournalStore journals(DefaultJournalFolder());
    // A run going on in a terminal is not one to undo.
    if (CheckLastRun(folder, journals) != LastRunState::Waiting)
        return;
    const int count = CountUndoable(folder, journals);
    const QString question =
        QStringLiteral("The last rename in this folder was interrupted. ") +
        (count == 1
             ? QStringLiteral("Give its 1 file back the name it had before it?")
             : QStringLiteral("Give its %1 files back the names they had before it?").arg(count));
    if (AskYesNo(question, QStringLiteral("Undo Rename"), true))
        ShowUndoOutcome(RunUndo(folder, journals).outcome);
}

void CVelmoraDlg::ShowUndoOutcome(const CRenameOutcome& outcome) {
    MessageBox(QString::fromLocal8Bit(outcome.strText), QString::fromUtf8(outcome.strCaption),
               outcome.bErrorIcon ? MB_ICONERROR : MB_OK);
}

void CVelmoraDlg::contextMenuEvent(QContextMenuEvent* event) {
    ShowContextMenu(event->globalPos());
}

// Where a menu opened from the keyboard goes: at the current row, else in
// the middle of the list.
QPoint CVelmoraDlg::ContextMenuPoint() const {
    const QRect row = m_list->visualRect(m_list->currentIndex());
    const QPoint local = row.isValid() && m_list->viewport()->rect().intersects(row)
                             ? row.center()
                             : m_list->viewport()->rect().center();
    return m_list->viewport()->mapToGlobal(local);
}

bool CVelmoraDlg::FolderStillThere() {
    struct stat status {};
    if (stat(m_strDirectory.c_str(), &status) == 0 && S_ISDIR(status.st_mode))
        return true;
    MessageBox(QStringLiteral("The folder %1 is no longer there: it was moved, renamed or "
                              "deleted.")
                   .arg(Decode(m_strDirectory)),
               QStringLiteral("Error"), MB_ICONERROR);
    return false;
}

void CVelmoraDlg::ShowContextMenu(const QPoint& globalPos) {
    QMenu menu(this);
    QAction* allTypes = menu.addAction(QStringLiteral("Every Photo and &Video Type"));
    allTypes->setCheckable(true);
    allTypes->setChecked(m_bAllTypes);
    connect(allTypes, &QAction::toggled, this, &CVelmoraDlg::OnAllFileTypes);
    QAction* companions = menu.addAction(QStringLiteral("&Companions Follow Their Photo"));
    companions->setCheckable(true);
    companions->setChecked(m_bCompanions);
    connect(companions, &QAction::toggled, this, &CVelmoraDlg::OnCompanions);
    QAction* subfolders = menu.addAction(QStringLiteral("Include &Subfolders"));
    subfolders->setCheckable(true);
    subfolders->setChecked(m_bSubfolders);
    connect(subfolders, &QAction::toggled, this, &CVelmoraDlg::OnIncludeSubfolders);
    QAction* createFolders = menu.addAction(QStringLiteral("Create &Folders"));
    createFolders->setCheckable(true);
    createFolders->setChecked(m_bCreateFolders);
    connect(createFolders, &QAction::toggled, this, &CVelmoraDlg::OnCreateFolders);
    QAction* removeEmpty = menu.addAction(QStringLiteral("&Remove Emptied Folders"));
    removeEmpty->setCheckable(true);
    removeEmpty->setChecked(m_bRemoveEmptyFolders);
    connect(removeEmpty, &QAction::toggled, this, &CVelmoraDlg::OnRemoveEmptyFolders);
    QAction* fileTimes = menu.addAction(QStringLiteral("Set File &Times to the Date"));
    fileTimes->setCheckable(true);
    fileTimes->setChecked(m_bSetFileTimes);
    connect(fileTimes, &QAction::toggled, this, &CVelmoraDlg::OnSetFileTimes);
    AddUndatedMenu(menu);
    AddExtensionMenu(menu);
    menu.addSeparator();
    QAction* undo = menu.addAction(QStringLiteral("&Undo Last Rename"));
    undo->setShortcut(QKeySequence::Undo);
    undo->setEnabled(!m_strDirectory.empty());
    connect(undo, &QAction::triggered, this, &CVelmoraDlg::OnUndoLastRename);
    QAction* clocks = menu.addAction(QStringLiteral("Camera Cloc&ks..."));
    clocks->setShortcut(kCameraClocksKey);
    clocks->setEnabled(!m_strDirectory.empty());
    connect(clocks, &QAction::triggered, this, &CVelmoraDlg::OnCameraClocks);
    if (!m_strAboutMenu.isEmpty())
        connect(menu.addAction(m_strAboutMenu), &QAction::triggered, this, &CVelmoraDlg::OnAbout);
    menu.exec(globalPos);
}

// What dates files whose metadata holds none: one choice of three.
void CVelmoraDlg::AddUndatedMenu(QMenu& menu) {
    static const struct {
        velmora::UndatedDates undated;
        const char* text;
    } kChoices[] = {
        {velmora::UndatedDates::None, "&None"},
        {velmora::UndatedDates::Names, "From Their &Names, XMP and IPTC"},
        {velmora::UndatedDates::Files, "From Those, Else Their File &Times"},
    };
    QMenu* undated = menu.addMenu(QStringLiteral("&Dates for Undated Files"));
    auto* group = new QActionGroup(undated);
    for (const auto& choice : kChoices) {
        QAction* action = undated->addAction(QString::fromUtf8(choice.text));
        action->setCheckable(true);
        action->setChecked(m_undated == choice.undated);
        group->addAction(action);
        const velmora::UndatedDates value = choice.undated;
        connect(action, &QAction::triggered, this, [this, value] {
            if (value != m_undated)
                OnUndatedDates(value);
        });
    }
}

// The case of the new names' extensions: one choice of three.
void CVelmoraDlg::AddExtensionMenu(QMenu& menu) {
    static const struct {
        velmora::ExtensionCase choice;
        const char* text;
    } kChoices[] = {
        {velmora::ExtensionCase::Keep, "As the Files &Have Them"},
        {velmora::ExtensionCase::Lower, "&Lower Case"},
        {velmora::ExtensionCase::Upper, "U&pper Case"},
    };
    QMenu* extensions = menu.addMenu(QStringLiteral("&Extensions"));
    auto* group = new QActionGroup(extensions);
    for (const auto& entry : kChoices) {
        QAction* action = extensions->addAction(QString::fromUtf8(entry.text));
        action->setCheckable(true);
        action->setChecked(m_extensionCase == entry.choice);
        group->addAction(action);
        const velmora::ExtensionCase value = entry.choice;
        connect(action, &QAction::triggered, this, [this, value] {
            if (value != m_extensionCase)
                OnExtensionCase(value);
        });
    }
}

void CVelmoraDlg::KeepTitleBarOnScreen() {
    // A window larger than a scaled screen keeps its title bar on it, to be
    // moved and maximised by. Until the window manager has framed the window
    // its frame is not known: room for a title bar is kept all the same.
    if (const QScreen* screen = this->screen(); screen != nullptr && !isMaximized()) {
        const QRect room = screen->availableGeometry();
        const QRect frame = frameGeometry();
        const int titleBar =
            frame.top() == geometry().top() ? style()->pixelMetric(QStyle::PM_TitleBarHeight) : 0;
        const int top = std::max(frame.top(), room.top() + titleBar);
        const int left = std::max(frame.left(), room.left());
        if (top != frame.top() || left != frame.left())
            move(left, top);
    }
}

void CVelmoraDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    KeepTitleBarOnScreen();
    // A window moved to a screen of another scale draws its pictures anew.
    if (QWindow* window = windowHandle()) {
        connect(window, &QWindow::screenChanged, this, &CVelmoraDlg::DrawStatusPictures,
                Qt::UniqueConnection);
    }
    DrawStatusPictures();
}

void CVelmoraDlg::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    // Stored as it changes, so that leaving stores nothing.
    if (event->type() == QEvent::WindowStateChange && isVisible()) {
        const QString maximized = isMaximized() ? QStringLiteral("true") : QStringLiteral("false");
        if (theApp.GetProfileString(CVelmoraApp::kSettingsSection, CVelmoraApp::kMaximizedEntry,
                                    QStringLiteral("false")) != maximized)
            ReportUnstored(theApp.WriteProfileString(CVelmoraApp::kSettingsSection,
                                                     CVelmoraApp::kMaximizedEntry, maximized));
    }
}

void CVelmoraDlg::DrawStatusPictures() {
    const qreal ratio = devicePixelRatioF();
    if (ratio == m_pictureRatio)
        return;
    m_pictureRatio = ratio;
    std::vector<QPixmap> pictures = MakeStatusPictures(ratio);
    // A copy left where it is is as done as a file already so named.
    pictures.push_back(pictures[RowNamed]);
    m_list->SetImageList(std::move(pictures));
}

// A drop only names a folder: it is taken as a copy (else a link), never as
// the move a drag source proposes, which it may take for "the files went away".
static bool AcceptAsCopy(QDropEvent& event) {
    for (const Qt::DropAction action : {Qt::CopyAction, Qt::LinkAction}) {
        if (event.possibleActions() & action) {
            event.setDropAction(action);
            event.accept();
            return true;
        }
    }
    return false;
}

void CVelmoraDlg::dragEnterEvent(QDragEnterEvent* event) {
    // Only what a drop would open is welcome: a web link or a vanished file
    // would show the accept cursor and then do nothing.
    if (DroppedPath(*event->mimeData()))
        AcceptAsCopy(*event);
}

void CVelmoraDlg::dropEvent(QDropEvent* event) {
    const std::optional<std::string> path = DroppedPath(*event->mimeData());
    if (path && AcceptAsCopy(*event))
        OnDropFiles(*path);
}

void CVelmoraDlg::MessageBox(const QString& text, const QString& caption, unsigned flags) {
    ShowMessageBox(this, text, caption, flags);
}

bool CVelmoraDlg::AskYesNo(const QString& text, const QString& caption, bool yesDefault) {
    return QMessageBox::question(this, caption, text, QMessageBox::Yes | QMessageBox::No,
                                 yesDefault ? QMessageBox::Yes : QMessageBox::No) ==
           QMessageBox::Yes;
}

bool CVelmoraDlg::AskRenameOthers(const QString& text) {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Rename Files"), text,
                    QMessageBox::NoButton, this);
    QPushButton* others = box.addButton(QStringLiteral("Rename Others"), QMessageBox::AcceptRole);
    box.setDefaultButton(box.addButton(QMessageBox::Cancel));
    box.exec();
    return box.clickedButton() == others;
}

QString CVelmoraDlg::BrowseForFolder(const QString& startFolder) {
    const CScratchQtSettings scratch;
    return QFileDialog::getExistingDirectory(this, QStringLiteral("JPEG Image Area"), startFolder);
}

void CVelmoraDlg::RunJpegInfoDialog(const std::string& path, bool allTypes,
                                    const velmora::CRowDate& listed) {
    CJpegInfoDlg dlg(this, path, allTypes, listed);
    dlg.exec();
}

bool CVelmoraDlg::RunBuildFormatDialog(std::string& format) {
    CBuildFormatDlg dlg(this);
    dlg.m_strFormat = format;
    if (dlg.exec() != QDialog::Accepted)
        return false;
    format = dlg.m_strFormat;
    return true;
}

void CVelmoraDlg::RunAboutDialog() {
    CAboutDlg dlg(this);
    dlg.exec();
}

bool CVelmoraDlg::RunCameraClocksDialog(std::vector<std::int64_t>& offsets) {
    CCameraClocksDlg dlg(this, m_devices, m_list->Rows(), m_strDirectory);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    offsets = dlg.Offsets();
    return true;
}
