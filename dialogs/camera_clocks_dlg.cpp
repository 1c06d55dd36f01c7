#include "camera_clocks_dlg.h"

#include "date_choice.h"
#include "dialog_units.h"
#include "jpeg_file.h"
#include "list_model.h"
#include "message_box.h"
#include "template_layout.h"

#include <QAbstractListModel>
#include <QComboBox>
#include <QGridLayout>
#include <QHeaderView>
#include <QImageReader>
#include <QLabel>
#include <QListView>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QTimer>

#include <algorithm>
#include <optional>

using namespace velmora;

namespace {

const QString kCaption = QStringLiteral("Camera Clocks");
// What a window manager's frame and title bar take around a window, about.
const QSize kFrameRoom(16, 48);
// The largest picture read whole for a list row, in pixels.
constexpr qint64 kMaxWholePixels = 4'000'000;

QString OffsetText(std::int64_t seconds) {
    return QString::fromStdString(OffsetSecondsText(seconds));
}

QString DateText(std::int64_t millis) {
    const std::optional<ole::DateFields> f = WallFields(millis);
    if (!f)
        return {};
    return QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", f->year, f->month, f->day, f->hour,
                             f->minute, f->second);
}

// Dates keep milliseconds, offsets whole seconds.
std::int64_t RoundedSeconds(std::int64_t millis) {
    return millis >= 0 ? (millis + 500) / 1000 : -((-millis + 500) / 1000);
}

// Every offset stored for the device, for its tooltip.
QString StoredText(const CDevice& device) {
    if (device.stored.empty())
        return QStringLiteral("No clock offset is stored for this device.");
    QStringList lines{QStringLiteral("Stored clock offsets:")};
    for (const CClockSpan& span : device.stored)
        lines << QStringLiteral("%1 for %2")
                     .arg(OffsetText(span.nOffset), QString::fromStdString(SpanText(span)));
    return lines.join(QLatin1Char('\n'));
}

QTableWidgetItem* FixedItem(const QString& text, Qt::Alignment alignment = Qt::AlignLeft) {
    auto* item = new QTableWidgetItem(text);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    item->setTextAlignment(alignment | Qt::AlignVCenter);
    return item;
}

} // namespace

// The files of one device, each with a small picture that is read when its
// row is first drawn: a folder may hold thousands of files of a device.
class CCameraClocksDlg::CFileModel : public QAbstractListModel {
public:
    struct CFile {
        std::string strName;
        std::int64_t nWallMillis; // the date as read
    };

    CFileModel(QObject* parent, std::string folder, QSize box, qreal ratio)
        : QAbstractListModel(parent), m_strFolder(std::move(folder)), m_box(box), m_ratio(ratio) {
        m_reader.m_bReadThumbnail = true;
        // Rows without a picture keep the height of those with one.
        QPixmap none(box * ratio);
        none.fill(Qt::transparent);
        none.setDevicePixelRatio(ratio);
        m_none = none;
    }

    void SetFiles(std::vector<CFile> files) {
        beginResetModel();
        m_files = std::move(files);
        m_pictures.assign(m_files.size(), std::nullopt);
        endResetModel();
    }
    const CFile* File(const QModelIndex& index) const {
        return index.isValid() && index.row() < rowCount() ? &m_files[std::size_t(index.row())]
                                                           : nullptr;
    }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_files.size());
    }

    QVariant data(const QModelIndex& index, int role) const override {
        const CFile* file = File(index);
        if (file == nullptr)
            return {};
        if (role == Qt::DisplayRole)
            return CListModel::Decode(file->strName) + QLatin1Char('\n') +
                   DateText(file->nWallMillis);
        if (role == Qt::DecorationRole) {
            std::optional<QPixmap>& picture = m_pictures[std::size_t(index.row())];
            if (!picture)
                picture = Picture(m_strFolder + '/' + file->strName);
            return picture->isNull() ? m_none : *picture;
        }
        return {};
    }

private:
    // The file's EXIF thumbnail, else the image as Qt reads it, scaled to the
    // box; null when neither reads.
    QPixmap Picture(const std::string& path) const {
        const QSize box = m_box * m_ratio;
        QImage image;
        if (m_reader.LoadImage(path.c_str()) && !m_reader.m_thumbnail.empty())
            image.loadFromData(m_reader.m_thumbnail.data(), qsizetype(m_reader.m_thumbnail.size()));
        if (image.isNull()) {
            QImageReader reader(CListModel::Decode(path));
            reader.setAutoTransform(true);
            // Decoded at about the box's size where the format can; a large
            // picture of another format would take too long to read whole.
            const QSize full = reader.size();
            if (reader.supportsOption(QImageIOHandler::ScaledSize) && full.isValid())
                reader.setScaledSize(full.scaled(box, Qt::KeepAspectRatio));
            else if (!full.isValid() || qint64(full.width()) * full.height() > kMaxWholePixels)
                return {};
            image = reader.read();
        }
        if (image.isNull())
            return {};
        if (image.width() > box.width() || image.height() > box.height())
            image = image.scaled(box, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        QPixmap picture = QPixmap::fromImage(image);
        picture.setDevicePixelRatio(m_ratio);
        return picture;
    }

    std::string m_strFolder;
    QSize m_box;
    qreal m_ratio;
    QPixmap m_none;
    std::vector<CFile> m_files;
    // Read when first asked for; one reader serves every file.
    mutable std::vector<std::optional<QPixmap>> m_pictures;
    mutable CJpegFile m_reader;
};

CCameraClocksDlg::CCameraClocksDlg(QWidget* parent, const CDeviceTable& devices,
                                   const CListRows& rows, const std::string& folder)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint),
      m_devices(devices), m_rows(rows) {
    for (const CDevice& device : devices)
        m_offsets.push_back(device.nOffset);

    setWindowTitle(kCaption);
    CDialogUnits units(font());
    units.FitText(QStringLiteral("&Reference device:"), 66);
    units.FitText(QStringLiteral("Use &Proposal"), 56);
    units.FitText(QStringLiteral("Set From P&air"), 56);
    auto* layout = new CTemplateLayout(this, units.Size(400, 300));
    // It fits wherever the main window does (320 by 210 units) and starts
    // as large as the screen lets it, up to the template.
    layout->SetMinimumSize(units.Size(320, 210));
    QSize room = layout->sizeHint();
    if (const QScreen* screen = parent != nullptr ? parent->screen() : this->screen())
        room = room.boundedTo(screen->availableGeometry().size() - kFrameRoom);
    resize(room.expandedTo(layout->minimumSize()));
    constexpr Qt::Edges kTopLeft = Qt::TopEdge | Qt::LeftEdge;
    constexpr Qt::Edges kTopWide = kTopLeft | Qt::RightEdge;
    constexpr Qt::Edges kBottomLeft = Qt::BottomEdge | Qt::LeftEdge;
    constexpr Qt::Edges kBottomRight = Qt::BottomEdge | Qt::RightEdge;

    auto* devicesLabel = new QLabel(QStringLiteral("&Devices of this folder:"), this);
    layout->AddWidget(devicesLabel, units.Rect(7, 7, 200, 8), kTopLeft);
    m_table = new QTableWidget(0, kColumns, this);
    devicesLabel->setBuddy(m_table);
    m_table->setHorizontalHeaderLabels({QStringLiteral("Device"), QStringLiteral("Files"),
                                        QStringLiteral("First"), QStringLiteral("Last"),
                                        QStringLiteral("Offset"), QStringLiteral("Proposal"),
                                        QStringLiteral("Holds For")});
    m_table->verticalHeader()->hide();
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->horizontalHeader()->setStretchLastSection(true);
    layout->AddWidget(m_table, units.Rect(7, 17, 386, 90), kTopWide);

    m_btnUseProposal = new QPushButton(QStringLiteral("Use &Proposal"), this);
    layout->AddWidget(m_btnUseProposal, units.Rect(7, 111, 56, 14), kTopLeft);
    auto* referenceLabel = new QLabel(QStringLiteral("&Reference device:"), this);
    layout->AddWidget(referenceLabel, units.Rect(200, 114, 66, 8), Qt::TopEdge | Qt::RightEdge);
    m_comboReference = new QComboBox(this);
    referenceLabel->setBuddy(m_comboReference);
    layout->AddWidget(m_comboReference, units.Rect(268, 111, 125, 14), Qt::TopEdge | Qt::RightEdge);

    auto* pairLabel = new QLabel(QStringLiteral("Sync pair: a photo of the selected device and "
                                                "one of the reference device that show the same "
                                                "moment."),
                                 this);
    pairLabel->setWordWrap(true);
    layout->AddWidget(pairLabel, units.Rect(7, 131, 386, 16), kTopWide);
    // The two lists share the width between them as the window grows.
    auto* pair = new QWidget(this);
    auto* grid = new QGridLayout(pair);
    grid->setContentsMargins(0, 0, 0, 0);
    m_labelDevice = new QLabel(pair);
    m_labelReference = new QLabel(pair);
    m_listDevice = new QListView(pair);
    m_listReference = new QListView(pair);
    grid->addWidget(m_labelDevice, 0, 0);
    grid->addWidget(m_labelReference, 0, 1);
    grid->addWidget(m_listDevice, 1, 0);
    grid->addWidget(m_listReference, 1, 1);
    layout->AddWidget(pair, units.Rect(7, 149, 386, 104),
                      Qt::TopEdge | Qt::BottomEdge | Qt::LeftEdge | Qt::RightEdge);
    const int line = fontMetrics().height();
    const QSize box(line * 4, line * 3);
    m_modelDevice = new CFileModel(this, folder, box, devicePixelRatioF());
    m_modelReference = new CFileModel(this, folder, box, devicePixelRatioF());
    for (auto [view, model] :
         {std::pair{m_listDevice, m_modelDevice}, std::pair{m_listReference, m_modelReference}}) {
        view->setModel(model);
        view->setIconSize(box);
        // Only the first row is measured, and only rows drawn read their pictures.
        view->setUniformItemSizes(true);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        connect(view->selectionModel(), &QItemSelectionModel::currentChanged, this,
                &CCameraClocksDlg::UpdateButtons);
    }

    m_btnSetFromPair = new QPushButton(QStringLiteral("Set From P&air"), this);
    layout->AddWidget(m_btnSetFromPair, units.Rect(7, 257, 56, 14), kBottomLeft);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setDefault(true);
    layout->AddWidget(ok, units.Rect(287, 279, 50, 14), kBottomRight);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    layout->AddWidget(cancel, units.Rect(343, 279, 50, 14), kBottomRight);

    FillTable();
    connect(m_table, &QTableWidget::itemChanged, this, &CCameraClocksDlg::OnItemChanged);
    connect(m_table, &QTableWidget::currentCellChanged, this,
            &CCameraClocksDlg::OnCurrentLineChanged);
    connect(m_comboReference, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            SetReference(m_comboReference->itemData(index).value<qulonglong>());
    });
    connect(m_btnUseProposal, &QPushButton::clicked, this, &CCameraClocksDlg::OnUseProposal);
    connect(m_btnSetFromPair, &QPushButton::clicked, this, &CCameraClocksDlg::OnSetFromPair);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    if (m_lines.empty()) {
        UpdateButtons();
        return;
    }
    // The reference is usually the phone; without one, the first device.
    const std::size_t reference = ReferenceDevice(m_devices);
    SetReference(LineOf(reference) >= 0 ? reference : m_lines.front());
    // The first device to set is the first that is not the reference.
    const auto other = std::find_if(m_lines.begin(), m_lines.end(),
                                    [this](std::size_t d) { return d != m_nReference; });
    SelectDevice(other != m_lines.end() ? *other : m_lines.front());
}

CCameraClocksDlg::~CCameraClocksDlg() = default;

void CCameraClocksDlg::FillTable() {
    m_lineOf.assign(m_devices.size(), -1);
    for (std::size_t d = 0; d < m_devices.size(); ++d) {
        if (m_devices[d].nFiles > 0)
            m_lines.push_back(d);
    }
    // The devices with the most files first, as they matter most.
    std::stable_sort(m_lines.begin(), m_lines.end(), [this](std::size_t a, std::size_t b) {
        return m_devices[a].nFiles > m_devices[b].nFiles;
    });
    for (std::size_t line = 0; line < m_lines.size(); ++line)
        m_lineOf[m_lines[line]] = static_cast<int>(line);
    const QSignalBlocker block(m_table);
    m_table->setRowCount(static_cast<int>(m_lines.size()));
    for (int line = 0; line < static_cast<int>(m_lines.size()); ++line) {
        const CDevice& device = m_devices[m_lines[std::size_t(line)]];
        const QString name = QString::fromStdString(device.id.Text());
        QTableWidgetItem* deviceItem = FixedItem(name);
        deviceItem->setToolTip(StoredText(device));
        m_table->setItem(line, ColDevice, deviceItem);
        m_table->setItem(line, ColFiles, FixedItem(QString::number(device.nFiles), Qt::AlignRight));
        const bool dated = device.nFirst <= device.nLast;
        m_table->setItem(line, ColFirst, FixedItem(dated ? DateText(device.nFirst) : QString()));
        m_table->setItem(line, ColLast, FixedItem(dated ? DateText(device.nLast) : QString()));
        // Files that name no device have no clock to keep an offset for, nor
        // have files without a date taken anything it would move.
        auto* offset = device.id.Known() && (dated || device.span) ? new QTableWidgetItem
                                                                   : FixedItem(QString());
        offset->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_table->setItem(line, ColOffset, offset);
        m_table->setItem(line, ColProposal, FixedItem(QString(), Qt::AlignRight));
        m_table->setItem(
            line, ColHoldsFor,
            FixedItem(device.span ? QString::fromStdString(SpanText(*device.span)) : QString()));
        // Files that name no device keep no clock to set the others by.
        if (device.id.Known())
            m_comboReference->addItem(name, qulonglong(m_lines[std::size_t(line)]));
        ShowOffset(m_lines[std::size_t(line)]);
    }
    m_table->resizeColumnsToContents();
}

int CCameraClocksDlg::LineOf(std::size_t device) const {
    return device < m_lineOf.size() ? m_lineOf[device] : -1;
}

void CCameraClocksDlg::ShowOffset(std::size_t device) {
    const int line = LineOf(device);
    if (line < 0 || !(m_table->item(line, ColOffset)->flags() & Qt::ItemIsEditable))
        return;
    const QSignalBlocker block(m_table);
    m_table->item(line, ColOffset)->setText(OffsetText(m_offsets[device]));
}

void CCameraClocksDlg::ShowProposals() {
    for (std::size_t line = 0; line < m_lines.size(); ++line) {
        const std::size_t device = m_lines[line];
        const std::optional<std::int64_t> proposal =
            device != m_nReference && m_devices[device].id.Known() ? m_proposals->For(device)
                                                                   : std::nullopt;
        m_table->item(int(line), ColProposal)
            ->setText(proposal ? OffsetText(*proposal) : QString());
    }
    UpdateButtons();
}

void CCameraClocksDlg::UpdateButtons() {
    const int line = LineOf(m_nSelected);
    const bool settable =
        line >= 0 && (m_table->item(line, ColOffset)->flags() & Qt::ItemIsEditable);
    m_btnUseProposal->setEnabled(settable && line >= 0 &&
                                 !m_table->item(line, ColProposal)->text().isEmpty());
    m_btnSetFromPair->setEnabled(settable && m_nSelected != m_nReference &&
                                 m_listDevice->currentIndex().isValid() &&
                                 m_listReference->currentIndex().isValid());
}

void CCameraClocksDlg::SelectDevice(std::size_t device) {
    const int line = LineOf(device);
    if (line >= 0)
        m_table->setCurrentCell(line, ColDevice);
}

void CCameraClocksDlg::OnCurrentLineChanged() {
    const int line = m_table->currentRow();
    if (line < 0)
        return;
    m_nSelected = m_lines[std::size_t(line)];
    m_labelDevice->setText(QString::fromStdString(m_devices[m_nSelected].id.Text()));
    FillFiles(*m_modelDevice, m_nSelected);
    UpdateButtons();
}

void CCameraClocksDlg::SetReference(std::size_t device) {
    const int line = LineOf(device);
    if (line < 0)
        return;
    m_nReference = device;
    m_proposals.emplace(m_devices, device);
    {
        const QSignalBlocker block(m_comboReference);
        m_comboReference->setCurrentIndex(m_comboReference->findData(qulonglong(device)));
    }
    m_labelReference->setText(QStringLiteral("Reference: ") +
                              QString::fromStdString(m_devices[device].id.Text()));
    FillFiles(*m_modelReference, device);
    ShowProposals();
}

void CCameraClocksDlg::FillFiles(CFileModel& model, std::size_t device) {
    std::vector<CFileModel::CFile> files;
    const std::int64_t applied = m_devices[device].nOffset * 1000;
    for (const CListRow& row : m_rows) {
        if (row.nDeviceIndex == device && (row.nImage == RowToRename || row.nImage == RowNamed) &&
            !CListModel::IsUndatedDate(row))
            files.push_back({std::string(row.Text(0)), row.nData - applied});
    }
    std::stable_sort(files.begin(), files.end(),
                     [](const auto& a, const auto& b) { return a.nWallMillis < b.nWallMillis; });
    model.SetFiles(std::move(files));
    UpdateButtons();
}

void CCameraClocksDlg::OnItemChanged(QTableWidgetItem* item) {
    if (item->column() != ColOffset)
        return;
    const std::size_t device = m_lines[std::size_t(item->row())];
    const QString typed = item->text().trimmed();
    // "+1:05" could be an hour and five minutes or a minute and five
    // seconds: only the whole form is taken. An empty offset clears it.
    const bool ambiguous = typed.count(QLatin1Char(':')) == 1;
    const std::optional<std::int64_t> seconds = typed.isEmpty() ? std::optional<std::int64_t>(0)
                                                : ambiguous
                                                    ? std::nullopt
                                                    : ParseOffsetSeconds(typed.toStdString());
    if (seconds)
        m_offsets[device] = *seconds;
    ShowOffset(device); // as the window writes it, or the last good value again
    if (!seconds) {
        const QString text =
            ambiguous ? QStringLiteral("\"%1\" could be hours and minutes or minutes and "
                                       "seconds: type it whole, as %1:00 for hours and minutes.")
                            .arg(typed)
                      : QStringLiteral("\"%1\" is not a clock offset. Type it as +h:mm:ss, for "
                                       "example +1:05:00 or -0:03:00.")
                            .arg(typed);
        // Told once the editor has closed, not from within its commit.
        QTimer::singleShot(0, this, [this, text] { MessageBox(text, kCaption, MB_ICONERROR); });
    }
}

void CCameraClocksDlg::OnUseProposal() {
    const int line = LineOf(m_nSelected);
    if (line < 0 || !m_devices[m_nSelected].id.Known() || m_nSelected == m_nReference)
        return;
    if (const auto proposal = m_proposals->For(m_nSelected)) {
        m_offsets[m_nSelected] = *proposal;
        ShowOffset(m_nSelected);
    }
}

void CCameraClocksDlg::OnSetFromPair() {
    const CFileModel::CFile* own = m_modelDevice->File(m_listDevice->currentIndex());
    const CFileModel::CFile* reference = m_modelReference->File(m_listReference->currentIndex());
    if (own == nullptr || reference == nullptr || m_nSelected == m_nReference ||
        !m_devices[m_nSelected].id.Known())
        return;
    // The device is lined up with the reference's dates as they will be
    // shown, with the offset the reference has here.
    const std::int64_t seconds =
        RoundedSeconds(reference->nWallMillis + m_offsets[m_nReference] * 1000 - own->nWallMillis);
    if (seconds < -kMaxClockOffset || seconds > kMaxClockOffset) {
        MessageBox(QStringLiteral("These two photos are %1 apart: too far to be set as one "
                                  "moment. Pick two that show the same moment.")
                       .arg(OffsetText(seconds)),
                   kCaption, MB_ICONERROR);
        return;
    }
    m_offsets[m_nSelected] = seconds;
    ShowOffset(m_nSelected);
}

void CCameraClocksDlg::MessageBox(const QString& text, const QString& caption, unsigned flags) {
    ShowMessageBox(this, text, caption, flags);
}
