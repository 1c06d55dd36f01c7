#include "build_format_dlg.h"

#include "dialog_units.h"
#include "format_codes.h"
#include "jpeg_file.h"
#include "message_box.h"
#include "ole_date.h"
#include "string_table.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>

#include <algorithm>
#include <string_view>

namespace {

constexpr const char* kSamplePath = "c:/test.jpg";

// What a code in braces gives in the sample: a camera's values, the sample
// file's name, and the first file of its name and of its day.
std::string_view SampleValue(velmora::BraceCode code) {
    switch (code) {
    case velmora::BraceCode::Make:
        return "Canon";
    case velmora::BraceCode::Model:
    case velmora::BraceCode::Device:
        return "Canon EOS 40D";
    case velmora::BraceCode::Lens:
        return "EF50mm f1.8 II";
    case velmora::BraceCode::Name:
        return "test";
    case velmora::BraceCode::Folder:
        return "Photos";
    case velmora::BraceCode::Clash:
        return "";
    case velmora::BraceCode::Day:
        return "000";
    }
    return "";
}

// `format` with each "%{code}" the sample knows replaced by its value, for
// the date codes to be expanded after it; "%%" stays as it is.
std::string WithSampleValues(const std::string& format) {
    std::string result;
    std::size_t copied = 0;
    velmora::ForEachBraceCode(
        format, [&](std::size_t start, std::size_t end, const velmora::BraceCode* code) {
            if (code == nullptr)
                return;
            result.append(format, copied, start - copied);
            result += SampleValue(*code);
            copied = end;
        });
    return result.append(format, copied);
}

} // namespace

CBuildFormatDlg::CBuildFormatDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
    // Template 130, in tab order.
    setWindowTitle(QStringLiteral("Build File name Format"));
    CDialogUnits units(font());
    units.FitText(QStringLiteral("&Format:"), 24);
    units.FitText(QStringLiteral("Sample:"), 26);
    setFixedSize(units.Size(222, 210));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    // Enter on a focused button presses that button, elsewhere OK.
    ok->setDefault(true);
    ok->setGeometry(units.Rect(7, 189, 50, 14));
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setGeometry(units.Rect(165, 189, 50, 14));
    auto* formatLabel = new QLabel(QStringLiteral("&Format:"), this);
    formatLabel->setGeometry(units.Rect(7, 14, 24, 8));
    m_editFormat = new QLineEdit(this);
    m_editFormat->setGeometry(units.Rect(35, 13, 180, 14));
    formatLabel->setBuddy(m_editFormat);
    (new QLabel(QStringLiteral("Sample:"), this))->setGeometry(units.Rect(7, 35, 26, 8));
    m_editSample = new QLineEdit(this);
    m_editSample->setReadOnly(true);
    m_editSample->setGeometry(units.Rect(36, 32, 179, 14));
    m_list = new CListCtrlEx(this);
    m_list->SetShowSelectionAlways(true);
    m_list->SetSortAscending(true);
    m_list->setGeometry(units.Rect(7, 64, 208, 117));
    (new QLabel(
         QStringLiteral("Format Codes: (double click on a code to add it to the format value)"),
         this))
        ->setGeometry(units.Rect(7, 52, 212, 8));

    connect(ok, &QPushButton::clicked, this, &CBuildFormatDlg::OnOK);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_editFormat, &QLineEdit::textChanged, this, &CBuildFormatDlg::OnChangeFormat);
    connect(m_list, &QAbstractItemView::doubleClicked, this, &CBuildFormatDlg::OnDblclkCodes);
    m_list->installEventFilter(this);
    OnInitDialog();
}

bool CBuildFormatDlg::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_list && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
            if (m_list->currentIndex().isValid())
                OnDblclkCodes(m_list->currentIndex());
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CBuildFormatDlg::OnInitDialog() {
    m_list->AddColumn(QStringLiteral("Code"), 0);
    m_list->AddColumn(QStringLiteral("Description"), 1);
    int row = 0;
    for (int id = velmora::IDS_FORMAT_CODE_FIRST;; ++id) {
        const std::string text = velmora::LoadString(id);
        if (text.empty())
            break;
        const std::size_t bar = text.find('|');
        const std::string code = bar == std::string::npos ? std::string() : text.substr(0, bar);
        const std::string description = bar == std::string::npos ? text : text.substr(bar + 1);
        m_list->AddItemText(row, 0, code);
        m_list->AddItemText(row, 1, description);
        ++row;
    }
    m_list->AutoSizeColumn(0);
    m_list->AutoSizeColumn(1);
}

int CBuildFormatDlg::exec() {
    UpdateSample();
    return QDialog::exec();
}

void CBuildFormatDlg::UpdateData(bool saveAndValidate) {
    if (saveAndValidate) {
        m_strFormat = CListModel::Encode(m_editFormat->text());
        m_strSample = CListModel::Encode(m_editSample->text());
        return;
    }
    const QSignalBlocker blockFormat(m_editFormat);
    const QString format = CListModel::Decode(m_strFormat);
    if (m_editFormat->text() != format)
        m_editFormat->setText(format);
    m_editSample->setText(CListModel::Decode(m_strSample));
}

void CBuildFormatDlg::UpdateSample() {
    CJpegFile carrier;
    carrier.m_info.m_dtTaken = velmora::ole::FromTime(CurrentTime().toSecsSinceEpoch());
    std::string name;
    carrier.BuildFileName(kSamplePath, name, WithSampleValues(m_strFormat), 1);
    const std::size_t slash = name.find('/');
    m_strSample = slash == std::string::npos ? name : name.substr(slash + 1);
    UpdateData(false);
}

void CBuildFormatDlg::OnChangeFormat() {
    UpdateData(true);
    UpdateSample();
}

void CBuildFormatDlg::OnDblclkCodes(const QModelIndex& index) {
    UpdateData(true);
    if (index.isValid())
        m_strFormat += m_list->GetItemText(index.row(), 0);
    UpdateSample();
}

void CBuildFormatDlg::OnOK() {
    if (m_strFormat.empty()) {
        MessageBox(QStringLiteral("The Format value can not be empty!"), QStringLiteral("Error"),
                   MB_OK);
        return;
    }
    UpdateData(true);
    accept();
}

QDateTime CBuildFormatDlg::CurrentTime() const {
    return QDateTime::currentDateTime();
}

void CBuildFormatDlg::MessageBox(const QString& text, const QString& caption, unsigned flags) {
    ShowMessageBox(this, text, caption, flags);
}
