#pragma once

#include "devices.h"
#include "list_rows.h"

#include <QAbstractTableModel>
#include <QPixmap>
#include <QString>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

// The item model behind CListCtrlEx: it shows a row store (texts as the file
// system's bytes, image index, item data) without copying it. Whoever changes
// the rows directly tells the model once afterwards, not once per cell.
class CListModel : public QAbstractTableModel {
public:
    struct Column {
        QString heading;
        Qt::Alignment alignment;
    };

    using QAbstractTableModel::QAbstractTableModel;

    CListRows& Rows() { return m_rows; }
    const CListRows& Rows() const { return m_rows; }
    std::vector<Column>& Columns() { return m_columns; }
    const std::vector<Column>& Columns() const { return m_columns; }
    void SetImages(std::vector<QPixmap> images) { m_images = std::move(images); }
    // The device table the rows' nDeviceIndex point into, owned by the
    // caller; none (the default) shows no clock offsets.
    void SetDevices(const velmora::CDeviceTable* devices) { m_devices = devices; }
    const QPixmap* Image(int index) const;

    // Bulk-change notices: one signal for any number of changed rows.
    void BeginReset() { beginResetModel(); }
    void EndReset() { endResetModel(); }
    void RowsChanged(int first, int last);
    void InsertRow(int row, CListRow value);
    void InsertColumn(int column, Column value);

    // Texts are stored as bytes and shown through the file-name decoding, so
    // a name that is not valid UTF-8 keeps its bytes.
    static QString Decode(std::string_view text);
    static std::string Encode(const QString& text);

    // A row dated by a place outside the file's own date taken (its name,
    // XMP, its file time): shown in italics. The tooltip line that names
    // a dated row's source.
    static bool IsUndatedDate(const CListRow& row);
    static QString DateSourceTip(const CListRow& row);
    // "Camera clock +1:05:00" for a row whose date its device's offset
    // moved; empty for any other.
    QString CameraClockTip(const CListRow& row) const;

    // The rows a rename would refuse, by row, with the reason: their
    // converted name is drawn in the error colour and the reason leads their
    // tooltip. Cleared by giving none; the caller repaints.
    void SetRefusals(std::vector<std::pair<int, QString>> refusals) {
        m_refusals = std::move(refusals);
    }
    const QString* Refusal(int row) const;
    std::size_t RefusalCount() const { return m_refusals.size(); }

    // The tooltip lines of byte-identical files, by row: which other file
    // holds the same bytes. Cleared by giving none.
    void SetCopyNotes(std::vector<std::pair<int, QString>> notes) {
        m_copyNotes = std::move(notes);
    }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    // The note of `row` among `notes`, which are in row order.
    static const QString* RowNote(const std::vector<std::pair<int, QString>>& notes, int row);

    CListRows m_rows;
    std::vector<Column> m_columns;
    std::vector<QPixmap> m_images;
    const velmora::CDeviceTable* m_devices = nullptr;
    std::vector<std::pair<int, QString>> m_refusals;  // in row order
    std::vector<std::pair<int, QString>> m_copyNotes; // in row order
};
