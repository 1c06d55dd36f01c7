#pragma once

#include "item_colors.h"
#include "list_model.h"

#include <QTreeView>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

// CListCtrlEx is the report-style list of every list-bearing window: a row
// store shown in columns, the convenience operations the dialogs build their
// lists with, and a full-row mode in which it paints each row itself: the
// highlight spans the row from the label to the right edge of the view, rows
// take the colours registered for their image index, and texts too wide for
// their column are shortened with "…". A shortened text shows whole in its
// tooltip, and no auto-sized column takes more than two thirds of the view.
class CListCtrlEx : public QTreeView {
public:
    explicit CListCtrlEx(QWidget* parent = nullptr);
    ~CListCtrlEx() override;

    // Column `column` with the heading, as wide as the heading plus 15 pixels.
    // Returns the new column's index, or -1.
    int AddColumn(const QString& heading, int column, Qt::Alignment alignment = Qt::AlignLeft);

    // Sub-item 0 inserts a row at `row` (in a sorted list: at its sorted place,
    // written back into `row`); a higher sub-item sets that cell of `row`.
    // `image` -1 leaves the image alone. `autoSize` fits the column to its
    // heading and cells afterwards.
    bool AddItemText(int& row, int subItem, const std::string& text, int image = -1,
                     bool autoSize = false);

    bool SetItemImage(int row, int image);
    int GetItemImage(int row) const;                            // -1 when there is no such row
    int FindItemByData(std::int64_t data) const;                // first row carrying it, or -1
    void SetItemColors(std::uint16_t key, CItemColors* colors); // takes ownership
    const CItemColors* ItemColors(int image) const;

    // Returns whether the mode changed.
    bool SetFullRowSelect(bool on);
    bool GetFullRowSelect() const { return m_fullRowSelect; }

    // Keep the selection highlighted while another control has the focus.
    void SetShowSelectionAlways(bool on);
    // Rows inserted at their place in ascending order of their label.
    void SetSortAscending(bool on) { m_sortAscending = on; }
    // The small image list: one picture per image index.
    void SetImageList(std::vector<QPixmap> images);

    std::string GetItemText(int row, int column) const;
    std::int64_t GetItemData(int row) const;
    int GetItemCount() const { return static_cast<int>(m_model->Rows().size()); }
    void DeleteAllItems();

    // The rows themselves, for code that changes many at once: a change of
    // texts or statuses is announced afterwards with RowsChanged; inserting,
    // removing or reordering rows goes between BeginReplaceRows and
    // EndReplaceRows.
    CListRows& Rows() { return m_model->Rows(); }
    CListModel& Model() { return *m_model; }
    void BeginReplaceRows() { m_model->BeginReset(); }
    void EndReplaceRows() { m_model->EndReset(); }
    void RowsChanged() { m_model->RowsChanged(0, GetItemCount() - 1); }

    // Sizes a column to its widest text (and its heading, with `useHeader`),
    // at most two thirds of the view's width; with both columns sized, the
    // second gets at least half the view when both are long, and each its
    // heading's width where there is room.
    void AutoSizeColumn(int column, bool useHeader = false);

    // A cell's tooltip: its whole text when the view shortens it, then the
    // model's own lines; empty for none.
    QString CellToolTip(const QModelIndex& index) const;

    // Colours of unselected rows without an entry of their own.
    void SetTextColor(const QColor& color) { m_textColor = color; }
    void SetTextBackColor(const QColor& color) { m_textBackColor = color; }

    // The label's drawing rule, exposed for the paint tests.
    static constexpr int kLabelMargin = 4;
    static constexpr int kSubItemMargin = 12;

protected:
    void changeEvent(QEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                     const QList<int>& roles = QList<int>()) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void selectionChanged(const QItemSelection& selected,
                          const QItemSelection& deselected) override;

private:
    class CLabelDelegate;

    // Repaints rows `first` to `last` across the whole width of the view.
    void UpdateRows(int first, int last);
    void DrawFullRow(QPainter* painter, const QRect& rowRect, int row) const;
    bool IsRowHighlighted(int row) const;
    int TextWidth(const QString& text) const;
    int ViewWidth() const;
    int MaxColumnWidth() const;
    void LayOutFittedColumns();
    bool IsCellShortened(const QModelIndex& index) const;
    // The width of the widest text of `column`, quick for ASCII: a column of
    // a hundred thousand names is measured on every keystroke.
    int WidestText(int column) const;
    const std::vector<std::uint32_t>& AsciiAdvances() const;

    CListModel* m_model;
    bool m_fullRowSelect = false;
    bool m_showSelectionAlways = false;
    bool m_sortAscending = false;
    QColor m_textColor;
    QColor m_textBackColor;
    std::map<std::uint16_t, std::unique_ptr<CItemColors>> m_itemColors;
    mutable std::vector<std::uint32_t> m_asciiAdvances; // 64ths of a pixel; empty until needed
    // What AutoSizeColumn fitted each column to (0: not fitted), capped anew
    // whenever the view's width changes.
    std::array<int, 2> m_fittedWidths{};
};
