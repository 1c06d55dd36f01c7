#include "jpeg_info_dlg.h"

#include "dialog_units.h"
#include "jpeg_info_rows.h"

#include <QPushButton>

CJpegInfoDlg::CJpegInfoDlg(QWidget* parent, const std::string& path)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      m_strFile(path) {
    // Template 129.
    setWindowTitle(QStringLiteral("JPEG Information"));
    const CDialogUnits units(font());
    setFixedSize(units.Size(244, 186));
    m_list = new CListCtrlEx(this);
    m_list->setGeometry(units.Rect(7, 7, 236, 153));
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    ok->setGeometry(units.Rect(94, 165, 50, 14));
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    OnInitDialog();
}

bool CJpegInfoDlg::OnInitDialog() {
    if (m_strFile.empty() || !m_jpeg.LoadJpeg(m_strFile.c_str()))
        return false;
    FillInfoList();
    m_list->SetFullRowSelect(true);
    return true;
}

void CJpegInfoDlg::FillInfoList() {
    m_list->AddColumn(QStringLiteral("Item"), m_nColumns++);
    m_list->AddColumn(QStringLiteral("Description"), m_nColumns++);
    int row = 0;
    for (const CInfoRow& fact : JpegInfoRows(m_jpeg.m_info, &m_jpeg.m_taken)) {
        m_list->AddItemText(row, 0, fact.strLabel, -1, true);
        m_list->AddItemText(row, 1, fact.strValue, -1, true);
        ++row;
    }
}
