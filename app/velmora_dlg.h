#pragma once

#include "devices.h"
#include "folder_scan.h"
#include "list_ctrl_ex.h"
#include "message_box.h"
#include "rename_plan.h"
#include "rename_run.h"
#include "status_line.h"

#include <QDialog>
#include <QIcon>
#include <QMenu>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

class QLineEdit;
class QProgressBar;
class QPushButton;
class QTimer;

// CVelmoraDlg is the main window: the target folder, the file name format,
// the count of files a Rename would change, the list of the folder's JPEG
// files with their current and converted names, a status line and a progress
// bar. The list's rows are the program's working state; the scan, name
// generation and the rename run of the engine work on them directly and the
// window refreshes the view afterwards.
class CVelmoraDlg : public QDialog {
public:
    explicit CVelmoraDlg(QWidget* parent = nullptr);
    ~CVelmoraDlg() override;

    // Members <-> controls, in exchange order. A push (false) raises no change
    // notification of any control.
    void UpdateData(bool saveAndValidate);

    void ScanFolder(const std::string& folder);
    void UpdateConvertedNames();
    // Marks the rows whose new name a rename would refuse, with the reason,
    // and counts them on the status line. Typing runs it once it pauses.
    void CheckRefusedNames();
    void OnOK();
    void OnBrowse();
    void OnBuildFormat();
    void OnDblclkList(const QModelIndex& index);
    void OnAbout();
    // The context menu's two choices of what a scan lists: stored at once,
    // and the folder shown is scanned again.
    void OnAllFileTypes(bool on);
    void OnCompanions(bool on);
    void OnIncludeSubfolders(bool on);
    void OnCreateFolders(bool on);
    // What a rename does beyond renaming: stored at once, for the next run.
    void OnRemoveEmptyFolders(bool on);
    void OnSetFileTimes(bool on);
    void OnUndatedDates(velmora::UndatedDates undated);
    // Stored at once; the names follow without a new scan.
    void OnExtensionCase(velmora::ExtensionCase choice);
    // Gives the files of the folder's last rename their old names back, after
    // the user confirms, and scans the folder again.
    void OnUndoLastRename();
    // The clock offsets of the folder's devices: those the user changes are
    // stored and the folder is scanned again at once.
    void OnCameraClocks();
    // A dropped (or given) folder is scanned; for any other item, the folder
    // that holds it. Nothing happens for a path that does not exist. The path
    // is the file system's bytes, so folders whose names are not UTF-8 open.
    void OnDropFiles(const std::string& path);

    // The window's controls, for tests and for the commands.
    CListCtrlEx& List() { return *m_list; }
    QLineEdit& DirectoryField() { return *m_editDirectory; }
    QLineEdit& FormatField() { return *m_editFormat; }
    QLineEdit& RenameCountField() { return *m_editRenameCount; }
    CStatusLine& StatusLine() { return *m_labelStatus; }
    QProgressBar& Progress() { return *m_progress; }
    QPushButton& RenameButton() { return *m_btnRename; }
    QPushButton& CancelButton() { return *m_btnCancel; }
    QPushButton& ExitButton() { return *m_btnExit; }
    QPushButton& BrowseButton() { return *m_btnBrowse; }
    QPushButton& BuildFormatButton() { return *m_btnBuildFormat; }

    const std::string& Directory() const { return m_strDirectory; }
    // The devices of the last scan, which the rows' nDeviceIndex point into.
    const velmora::CDeviceTable& Devices() const { return m_devices; }
    const std::string& Format() const { return m_strFormat; }
    unsigned RenameCount() const { return m_nRenameCount; }

protected:
    // What the window asks of the desktop, each overridable so that tests can
    // drive the commands without a person at the screen.
    virtual void MessageBox(const QString& text, const QString& caption, unsigned flags);
    // A question with Yes and No buttons, `yesDefault` telling which one
    // Enter gives; true for Yes.
    virtual bool AskYesNo(const QString& text, const QString& caption, bool yesDefault);
    // The question before a run some of whose names would be refused, with
    // "Rename Others" and Cancel, Cancel the default; true for Rename Others.
    virtual bool AskRenameOthers(const QString& text);
    virtual QString BrowseForFolder(const QString& startFolder);
    // `allTypes`: the file is read as the list read it, by its content;
    // `listed` is the date its row holds (source None when it has none).
    virtual void RunJpegInfoDialog(const std::string& path, bool allTypes,
                                   const velmora::CRowDate& listed);
    // True with the new format when the user confirmed the builder.
    virtual bool RunBuildFormatDialog(std::string& format);
    virtual void RunAboutDialog();
    // True with each device's offset (seconds, by device index) when the
    // user confirmed the Camera Clocks window.
    virtual bool RunCameraClocksDialog(std::vector<std::int64_t>& offsets);
    // How long a scan, rename or undo runs before its progress and Cancel
    // show.
    virtual int LongWorkDelayMs() const { return 500; }
    // How often a scan's status line and progress bar are painted at most.
    virtual int ProgressRepaintMs() const { return 50; }

    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    class CLongWork;
    class CScanDisplay;
    class CRunDisplay;

    void CreateControls();
    void OnInitDialog();
    // Before a folder is shown: offers to undo its last run when that run
    // was cut off.
    void OfferUndoOfInterruptedRun(const std::string& folder);
    void ShowUndoOutcome(const velmora::CRenameOutcome& outcome);
    // Fits both columns to their texts.
    void SizeColumns();
    // The scan's choices, as the settings stand.
    velmora::CScanOptions ScanOptions() const;
    void AddUndatedMenu(QMenu& menu);
    void AddExtensionMenu(QMenu& menu);
    // Flags the format field when the format holds a code the engine does
    // not know: its tooltip names the code. Returns that code (empty: none).
    QString FlagUnknownCode();
    // Draws the status pictures anew when the window's device pixel ratio is
    // not the one they were drawn for.
    void DrawStatusPictures();
    // The status line's notice and tooltip: the files of other types left
    // out and the names a rename would refuse.
    // The tooltip notes of byte-identical files and their count.
    void NoteCopies();
    void ShowNotice();
    // Moves the window down or right so that its frame starts on the screen.
    void KeepTitleBarOnScreen();
    void ShowContextMenu(const QPoint& globalPos);
    QPoint ContextMenuPoint() const;
    // False, after saying so, when the folder shown was moved or deleted.
    bool FolderStillThere();
    // Before a run with rows it would refuse: true when the user lets it
    // rename the others (none left: says so and returns false).
    bool AskToLeaveRefused(const std::vector<velmora::CRenameStop>& refused);
    // Says why a setting was not stored (`error` from the store), if it wasn't.
    void ReportUnstored(const QString& error);
    // An on/off choice of [Settings] ("true" or "false"), off when absent.
    static bool StoredChoice(const char* entry);
    void StoreChoice(const char* entry, bool on);

    CListCtrlEx* m_list = nullptr;
    QProgressBar* m_progress = nullptr;
    QLineEdit* m_editDirectory = nullptr;
    QPushButton* m_btnBrowse = nullptr;
    QLineEdit* m_editFormat = nullptr;
    QPushButton* m_btnBuildFormat = nullptr;
    QLineEdit* m_editRenameCount = nullptr;
    CStatusLine* m_labelStatus = nullptr;
    QTimer* m_refusalTimer = nullptr;
    // What the last check found a rename would refuse (the rows' marks).
    std::vector<velmora::CRenameStop> m_refused;
    QPushButton* m_btnRename = nullptr;
    QPushButton* m_btnCancel = nullptr; // in Rename's place during long work
    QPushButton* m_btnExit = nullptr;

    std::string m_strFormat;            // file name format, as bytes
    bool m_bAllTypes = false;           // every photo and video type, not "*.jpg" only
    bool m_bCompanions = false;         // companions follow their photo
    bool m_bSubfolders = false;         // every subfolder is listed too
    bool m_bCreateFolders = false;      // Rename makes the format's folders
    bool m_bRemoveEmptyFolders = false; // Rename removes the folders it left empty
    bool m_bSetFileTimes = false;       // Rename sets file times to the dates
    // What dates files whose metadata holds none.
    velmora::UndatedDates m_undated = velmora::UndatedDates::None;
    velmora::ExtensionCase m_extensionCase = velmora::ExtensionCase::Keep;
    unsigned m_nRenameCount = 0;
    std::size_t m_nCopies = 0;   // byte-identical copies the list leaves where they are
    std::size_t m_nUnlisted = 0; // files of other types the last scan left out
    QString m_strUnlistedTypes;  // "3 HEIC, 2 MP4": their types
    std::string m_strDirectory;  // target folder, as the file system's bytes
    velmora::CDeviceTable m_devices;
    CTextTable m_lenses; // what the rows' nLensIndex point into
    QString m_strStatus;
    QIcon m_hIcon;
    QString m_strAboutMenu;   // empty: no About entry
    qreal m_pictureRatio = 0; // the device pixel ratio the status pictures are drawn for
};
