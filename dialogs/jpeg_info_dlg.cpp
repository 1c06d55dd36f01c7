#include "jpeg_info_dlg.h"

#include "date_choice.h"
#include "dialog_units.h"
#include "file_stream.h"
#include "image_reader.h"
#include "jpeg_info_rows.h"
#include "ole_date.h"
#include "string_table.h"

#include <QLabel>
#include <QPushButton>

CJpegInfoDlg::CJpegInfoDlg(QWidget* parent, const std::string& path, bool allTypes,
                           const velmora::CRowDate& listed)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      m_strFile(path), m_bAllTypes(allTypes), m_listed(listed) {
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
    if (m_strFile.empty())
        return false;
    CFileStream file;
    const bool opened = file.Open(m_strFile.c_str());
    const bool read = m_jpeg.LoadOpened(file, opened, m_strFile.c_str(), m_bAllTypes);
    // A failed read keeps its record only when it had the date already.
    const bool withRows = read || m_jpeg.m_taken.Found();
    if (!read)
        ShowReadError(opened, withRows);
    if (!withRows)
        return false;
    FillInfoList();
    m_list->SetFullRowSelect(true);
    return read;
}

// The message goes where the list was, or above the rows that were read:
// an empty window would not say why it is empty.
void CJpegInfoDlg::ShowReadError(bool opened, bool withRows) {
    using velmora::LoadString;
    const std::string failure = ReadFailureText(m_jpeg, m_strFile.c_str(), m_bAllTypes);
    auto* message =
        new QLabel(opened || failure == velmora::LoadString(velmora::IDS_NOT_REGULAR_FILE)
                       ? QString::fromUtf8(failure)
                       : QStringLiteral("The file could not be opened."),
                   this);
    message->setWordWrap(true);
    message->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    const CDialogUnits units(font());
    if (withRows) {
        message->setGeometry(units.Rect(7, 7, 236, 18));
        m_list->setGeometry(units.Rect(7, 27, 236, 133));
    } else {
        message->setGeometry(m_list->geometry());
        m_list->hide();
    }
}

void CJpegInfoDlg::FillInfoList() {
    m_list->AddColumn(QStringLiteral("Item"), m_nColumns++);
    m_list->AddColumn(QStringLiteral("Description"), m_nColumns++);
    // The list's date stands in for the file's own: the same rows, with the
    // date and source the row was named by, before its device's clock offset
    // (the list's tooltip gives that apart). The record stays as read.
    CJpegInfo info = m_jpeg.m_info;
    velmora::CFoundDate taken = m_jpeg.m_taken;
    if (m_listed.Found()) {
        const auto fields = velmora::WallFields(m_listed.FileWallMillis());
        info.m_dtTaken = fields ? velmora::ole::FromFields(*fields).value_or(0.0) : 0.0;
        taken.source = m_listed.source;
        taken.nOffset = m_listed.nOffset;
    }
    int row = 0;
    for (const CInfoRow& fact : JpegInfoRows(info, &taken, m_jpeg.m_format)) {
        m_list->AddItemText(row, 0, fact.strLabel, -1, true);
        m_list->AddItemText(row, 1, fact.strValue, -1, true);
        ++row;
    }
}
