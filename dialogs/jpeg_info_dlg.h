#pragma once

#include "folder_dates.h"
#include "jpeg_file.h"
#include "list_ctrl_ex.h"

#include <QDialog>

#include <string>

// CJpegInfoDlg shows what the reader finds in one file: one fact per row of
// an "Item" / "Description" list. The file is read afresh when the window
// opens, as the main list read it: with `allTypes` the file's content picks
// the reader, else it is read as JPEG. A file that can't be read shows the
// reader's message in the list's place; a JPEG damaged after its EXIF block
// shows the message above the facts read before the damage. Opened from a
// row of the main list, it is given that row's date (`listed`), which its
// date and source rows then show: the folder may date a file differently from
// the file alone (a movie in its neighbours' zone, a date from a sidecar).
class CJpegInfoDlg : public QDialog {
public:
    CJpegInfoDlg(QWidget* parent, const std::string& path, bool allTypes = false,
                 const velmora::CRowDate& listed = {});

    CListCtrlEx& List() { return *m_list; }

private:
    bool OnInitDialog();
    void FillInfoList();
    void ShowReadError(bool opened, bool withRows);

    CListCtrlEx* m_list = nullptr;
    CJpegFile m_jpeg;
    std::string m_strFile;
    int m_nColumns = 0;
    bool m_bAllTypes = false;
    velmora::CRowDate m_listed;
};
