#pragma once

#include "jpeg_file.h"
#include "list_ctrl_ex.h"

#include <QDialog>

#include <string>

// CJpegInfoDlg shows what the reader finds in one file: one fact per row of
// an "Item" / "Description" list. The file is read afresh when the window
// opens; a file that can't be read gives an empty list and no message.
class CJpegInfoDlg : public QDialog {
public:
    CJpegInfoDlg(QWidget* parent, const std::string& path);

    CListCtrlEx& List() { return *m_list; }

private:
    bool OnInitDialog();
    void FillInfoList();

    CListCtrlEx* m_list = nullptr;
    CJpegFile m_jpeg;
    std::string m_strFile;
    int m_nColumns = 0;
};
