#include "list_model.h"

#include "date_choice.h"
#include "folder_scan.h"

#include <QFile>
#include <QFont>

#include <algorithm>

const QPixmap* CListModel::Image(int index) const {
    if (index < 0 || index >= static_cast<int>(m_images.size()))
        return nullptr;
    return &m_images[static_cast<std::size_t>(index)];
}

void CListModel::RowsChanged(int first, int last) {
    if (first > last || m_columns.empty())
        return;
    Q_EMIT dataChanged(index(first, 0), index(last, columnCount() - 1));
}

void CListModel::InsertRow(int row, CListRow value) {
    beginInsertRows(QModelIndex(), row, row);
    m_rows.insert(m_rows.begin() + row, std::move(value));
    endInsertRows();
}

void CListModel::InsertColumn(int column, Column value) {
    beginInsertColumns(QModelIndex(), column, column);
    m_columns.insert(m_columns.begin() + column, std::move(value));
    endInsertColumns();
}

QString CListModel::Decode(std::string_view text) {
    return QFile::decodeName(QByteArray::fromRawData(text.data(), qsizetype(text.size())));
}

std::string CListModel::Encode(const QString& text) {
    return QFile::encodeName(text).toStdString();
}

int CListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

QVariant CListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() > 1)
        return {};
    const CListRow& row = m_rows[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return Decode(row.Text(index.column()));
    case Qt::DecorationRole:
        if (const QPixmap* image = Image(row.nImage); image != nullptr && index.column() == 0)
            return *image;
        return {};
    case Qt::TextAlignmentRole:
        if (index.column() < columnCount())
            return QVariant::fromValue(m_columns[std::size_t(index.column())].alignment |
                                       Qt::AlignVCenter);
        return {};
    case Qt::ToolTipRole: {
        // Where the date came from, and the files that follow this one when
        // it is renamed.
        QStringList lines;
        if (const QString* refusal = Refusal(index.row()))
            lines << QStringLiteral("Rename would refuse this name: ") + *refusal;
        if (const QString* note = RowNote(m_copyNotes, index.row()))
            lines << *note;
        if (const QString source = DateSourceTip(row); !source.isEmpty())
            lines << source;
        if (const QString clock = CameraClockTip(row); !clock.isEmpty())
            lines << clock;
        if (index.column() == 0 && row.CompanionCount() != 0) {
            QStringList names;
            for (std::size_t i = 0, count = row.CompanionCount(); i < count; ++i)
                names << Decode(row.Companion(i));
            lines << QStringLiteral("Renamed with it: ") + names.join(QStringLiteral(", "));
        }
        return lines.isEmpty() ? QVariant() : QVariant(lines.join(QLatin1Char('\n')));
    }
    case Qt::FontRole:
        if (IsUndatedDate(row)) {
            QFont font;
            font.setItalic(true);
            return font;
        }
        return {};
    case Qt::UserRole:
        return QVariant::fromValue<qint64>(row.nData);
    default:
        return {};
    }
}

const QString* CListModel::RowNote(const std::vector<std::pair<int, QString>>& notes, int row) {
    const auto it = std::lower_bound(notes.begin(), notes.end(), row,
                                     [](const auto& note, int r) { return note.first < r; });
    return it != notes.end() && it->first == row ? &it->second : nullptr;
}

const QString* CListModel::Refusal(int row) const {
    return RowNote(m_refusals, row);
}

bool CListModel::IsUndatedDate(const CListRow& row) {
    return row.nDateSource != 0 &&
           velmora::IsUndatedSource(static_cast<velmora::DateSource>(row.nDateSource));
}

QString CListModel::DateSourceTip(const CListRow& row) {
    if (row.nDateSource == 0)
        return {};
    const auto source = static_cast<velmora::DateSource>(row.nDateSource);
    QString tip = QStringLiteral("Date from ") +
                  QString::fromUtf8(velmora::DateSourceText(source).data(),
                                    qsizetype(velmora::DateSourceText(source).size()));
    if (row.nDateOffset != kNoDateOffset)
        tip += QStringLiteral(", ") + QString::fromStdString(velmora::OffsetText(row.nDateOffset));
    if (IsUndatedDate(row))
        tip += QStringLiteral(" (the file holds no date taken)");
    return tip;
}

QString CListModel::CameraClockTip(const CListRow& row) const {
    const std::int64_t offset =
        m_devices != nullptr ? velmora::AppliedClockOffset(*m_devices, row) : 0;
    if (offset == 0)
        return {};
    return QStringLiteral("Camera clock ") +
           QString::fromStdString(velmora::OffsetSecondsText(offset));
}

QVariant CListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return {};
    if (role == Qt::DisplayRole)
        return m_columns[static_cast<std::size_t>(section)].heading;
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}
