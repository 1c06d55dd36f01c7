#include "list_ctrl_ex.h"

#include "fit_text.h"

#include <QApplication>
#include <QFocusEvent>
#include <QHeaderView>
#include <QPainter>
#include <QProxyStyle>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QToolTip>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <optional>
#include <system_error>
#include <thread>

namespace {

constexpr int kHeadingExtraWidth = 15;
constexpr int kLabelPadding = 2;   // each side of a label
constexpr int kSubItemPadding = 6; // each side of a sub-item text
constexpr int kImageSize = 20;

// The order of a sorted list: letters compared without regard to case, and
// of two labels that differ only in case the lowercase one first.
bool SortsBefore(std::string_view a, std::string_view b) {
    const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : int(c); };
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const int ca = lower(static_cast<unsigned char>(a[i]));
        const int cb = lower(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return ca < cb;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a > b; // "a" (0x61) before "A" (0x41)
}

// Draws each heading in its header's elide mode: the styles of this Qt pass
// the label on without the mode, and a heading wider than its column would
// be cut off mid-letter instead of ending in dots as the cells do.
class CHeadingStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        const auto* heading = qstyleoption_cast<const QStyleOptionHeader*>(option);
        const auto* header = qobject_cast<const QHeaderView*>(widget);
        if (element != CE_HeaderLabel || heading == nullptr || header == nullptr) {
            QProxyStyle::drawControl(element, option, painter, widget);
            return;
        }
        QStyleOptionHeader label = *heading;
        label.text =
            label.fontMetrics.elidedText(label.text, header->textElideMode(), label.rect.width());
        QProxyStyle::drawControl(element, &label, painter, widget);
    }
};

} // namespace

// Draws the cells while full-row mode is off. A row is selected as a whole,
// but as in a report list only its label shows the selection and the focus;
// the other cells stay plain.
class CListCtrlEx::CLabelDelegate : public QStyledItemDelegate {
public:
    explicit CLabelDelegate(CListCtrlEx* list) : QStyledItemDelegate(list), m_list(list) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem cell = option;
        const bool label = index.column() == 0;
        const bool selected = label && (option.state & QStyle::State_Selected);
        const bool focused =
            label && m_list->hasFocus() && m_list->currentIndex().row() == index.row();
        cell.state.setFlag(QStyle::State_Selected, selected);
        cell.state.setFlag(QStyle::State_HasFocus, focused);
        cell.showDecorationSelected = false;
        QStyledItemDelegate::paint(painter, cell, index);
    }

    // Whether the style elides the cell's text in `option.rect`: it elides
    // to the text rectangle less a focus-frame margin on each side.
    bool Elides(QStyleOptionViewItem option, const QModelIndex& index) const {
        initStyleOption(&option, index);
        const QStyle* style = m_list->style();
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_list) + 1;
        const QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &option, m_list);
        return option.fontMetrics.horizontalAdvance(option.text) > text.width() - 2 * margin;
    }

private:
    CListCtrlEx* m_list;
};

CListCtrlEx::CListCtrlEx(QWidget* parent) : QTreeView(parent), m_model(new CListModel(this)) {
    setModel(m_model);
    setItemDelegate(new CLabelDelegate(this));
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setIconSize(QSize(kImageSize, kImageSize));
    header()->setSectionsClickable(false);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
    // A heading too wide for its column ends in dots, as its cells do.
    header()->setTextElideMode(Qt::ElideRight);
    auto* headingStyle = new CHeadingStyle(QApplication::style()->name());
    headingStyle->setParent(this);
    header()->setStyle(headingStyle);
    m_textColor = palette().color(QPalette::Text);
    m_textBackColor = palette().color(QPalette::Base);
}

CListCtrlEx::~CListCtrlEx() = default;

int CListCtrlEx::AddColumn(const QString& heading, int column, Qt::Alignment alignment) {
    const int count = static_cast<int>(m_model->Columns().size());
    if (column < 0)
        return -1;
    column = std::min(column, count);
    m_model->InsertColumn(column, {heading, alignment});
    m_fittedWidths.fill(0); // the columns moved
    header()->resizeSection(column, TextWidth(heading) + kHeadingExtraWidth);
    return column;
}

bool CListCtrlEx::AddItemText(int& row, int subItem, const std::string& text, int image,
                              bool autoSize) {
    CListRows& rows = m_model->Rows();
    if (subItem < 0 || subItem > 1 || subItem >= static_cast<int>(m_model->Columns().size())) {
        if (subItem == 0)
            row = -1;
        return false;
    }
    if (subItem == 0) {
        int at = std::clamp(row, 0, GetItemCount());
        if (m_sortAscending) {
            at = static_cast<int>(std::upper_bound(rows.begin(), rows.end(), text,
                                                   [](const std::string& t, const CListRow& r) {
                                                       return SortsBefore(t, r.Text(0));
                                                   }) -
                                  rows.begin());
        }
        CListRow value;
        value.SetText(0, text);
        value.nImage = image == -1 ? 0 : image;
        m_model->InsertRow(at, std::move(value));
        row = at;
    } else {
        if (row < 0 || row >= GetItemCount())
            return false;
        CListRow& value = rows[static_cast<std::size_t>(row)];
        value.SetText(subItem, text);
        if (image != -1)
            value.nImage = image;
        m_model->RowsChanged(row, row);
    }
    if (autoSize)
        AutoSizeColumn(subItem, true);
    return true;
}

bool CListCtrlEx::SetItemImage(int row, int image) {
    if (row < 0 || row >= GetItemCount())
        return false;
    m_model->Rows()[static_cast<std::size_t>(row)].nImage = image;
    m_model->RowsChanged(row, row);
    return true;
}

int CListCtrlEx::GetItemImage(int row) const {
    if (row < 0 || row >= GetItemCount())
        return -1;
    return m_model->Rows()[static_cast<std::size_t>(row)].nImage;
}

int CListCtrlEx::FindItemByData(std::int64_t data) const {
    const CListRows& rows = m_model->Rows();
    const auto it = std::find_if(rows.begin(), rows.end(),
                                 [data](const CListRow& row) { return row.nData == data; });
    return it == rows.end() ? -1 : static_cast<int>(it - rows.begin());
}

void CListCtrlEx::SetItemColors(std::uint16_t key, CItemColors* colors) {
    m_itemColors[key].reset(colors);
}

const CItemColors* CListCtrlEx::ItemColors(int image) const {
    const auto it = m_itemColors.find(static_cast<std::uint16_t>(image & 0xFFFF));
    return it == m_itemColors.end() ? nullptr : it->second.get();
}

bool CListCtrlEx::SetFullRowSelect(bool on) {
    const bool changed = m_fullRowSelect != on;
    m_fullRowSelect = on;
    // Without full-row mode the label alone shows the focus (CLabelDelegate).
    setAllColumnsShowFocus(on);
    if (changed)
        viewport()->update();
    return changed;
}

void CListCtrlEx::SetShowSelectionAlways(bool on) {
    m_showSelectionAlways = on;
    viewport()->update();
}

void CListCtrlEx::SetImageList(std::vector<QPixmap> images) {
    m_model->SetImages(std::move(images));
    viewport()->update();
}

std::string CListCtrlEx::GetItemText(int row, int column) const {
    if (row < 0 || row >= GetItemCount() || column < 0 || column > 1)
        return {};
    return std::string(m_model->Rows()[static_cast<std::size_t>(row)].Text(column));
}

std::int64_t CListCtrlEx::GetItemData(int row) const {
    if (row < 0 || row >= GetItemCount())
        return 0;
    return m_model->Rows()[static_cast<std::size_t>(row)].nData;
}

void CListCtrlEx::DeleteAllItems() {
    m_model->BeginReset();
    m_model->Rows().clear();
    m_model->EndReset();
}

void CListCtrlEx::AutoSizeColumn(int column, bool useHeader) {
    if (column < 0 || column > 1 || column >= static_cast<int>(m_model->Columns().size()))
        return;
    int widest = WidestText(column);
    widest += column == 0 ? 2 * kLabelPadding + kImageSize + 4 : 2 * kSubItemPadding;
    if (useHeader)
        widest = std::max(widest, TextWidth(m_model->Columns()[std::size_t(column)].heading) +
                                      kHeadingExtraWidth);
    m_fittedWidths[std::size_t(column)] = widest;
    LayOutFittedColumns();
}

int CListCtrlEx::ViewWidth() const {
    // A view not shown yet has not laid out its viewport: its own size says
    // what the viewport will get.
    return std::max(isVisible() ? viewport()->width() : maximumViewportSize().width(), 1);
}

// One long name must not push the other column out of view.
int CListCtrlEx::MaxColumnWidth() const {
    return std::max(ViewWidth() * 2 / 3, 1);
}

// The fitted columns in the view's width. Side by side where both fit, each
// as wide as its texts, and its heading too where that fits as well; else the
// second column, which holds the new names, gets at least half the view and
// the first what it leaves, so that both end inside the view and what they
// cut ends in dots.
void CListCtrlEx::LayOutFittedColumns() {
    const int view = ViewWidth();
    const int f0 = m_fittedWidths[0], f1 = m_fittedWidths[1];
    if (f1 == 0 || static_cast<int>(m_model->Columns().size()) < 2) {
        if (f0 != 0)
            header()->resizeSection(0, std::min(f0, MaxColumnWidth()));
        return;
    }
    const auto heading = [this](int column) {
        return TextWidth(m_model->Columns()[std::size_t(column)].heading) + kHeadingExtraWidth;
    };
    const int w0 = f0 != 0 ? f0 : header()->sectionSize(0);
    int widths[2] = {w0, f1};
    if (w0 + f1 <= view) {
        const int h0 = f0 != 0 ? std::max(w0, heading(0)) : w0, h1 = std::max(f1, heading(1));
        if (h0 + h1 <= view)
            widths[0] = h0, widths[1] = h1;
    } else {
        widths[0] = std::min({w0, MaxColumnWidth(), std::max(view - f1, view / 2)});
        widths[1] = std::max(view - widths[0], 1);
    }
    if (f0 != 0)
        header()->resizeSection(0, widths[0]);
    header()->resizeSection(1, widths[1]);
}

void CListCtrlEx::resizeEvent(QResizeEvent* event) {
    QTreeView::resizeEvent(event);
    LayOutFittedColumns();
}

// By the rule the cell is painted with: FitTextToWidth in full-row mode,
// else the style's eliding.
bool CListCtrlEx::IsCellShortened(const QModelIndex& index) const {
    if (index.column() > 1)
        return false; // rows hold two texts
    const CListRow& value = m_model->Rows()[static_cast<std::size_t>(index.row())];
    const QString text = CListModel::Decode(value.Text(index.column()));
    if (text.isEmpty())
        return false;
    if (!m_fullRowSelect) {
        QStyleOptionViewItem option;
        initViewItemOption(&option);
        option.rect = visualRect(index);
        return static_cast<const CLabelDelegate*>(itemDelegate())->Elides(option, index);
    }
    QFont font = this->font();
    font.setItalic(CListModel::IsUndatedDate(value));
    int room = header()->sectionSize(index.column()) - kSubItemMargin;
    if (index.column() == 0)
        room = header()->sectionSize(0) - kLabelMargin -
               (m_model->Image(value.nImage) != nullptr ? kImageSize + 2 : 0);
    return QFontMetrics(font).horizontalAdvance(text) > room;
}

QString CListCtrlEx::CellToolTip(const QModelIndex& index) const {
    if (!index.isValid() || index.model() != m_model)
        return {};
    QStringList lines;
    if (IsCellShortened(index))
        lines << CListModel::Decode(m_model->Rows()[std::size_t(index.row())].Text(index.column()));
    if (const QString own = index.data(Qt::ToolTipRole).toString(); !own.isEmpty())
        lines << own;
    return lines.join(QLatin1Char('\n'));
}

bool CListCtrlEx::viewportEvent(QEvent* event) {
    if (event->type() != QEvent::ToolTip)
        return QTreeView::viewportEvent(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex index = indexAt(help->pos());
    const QString tip = CellToolTip(index);
    // An empty text hides a tooltip still shown for another cell.
    QToolTip::showText(help->globalPos(), WrappedToolTip(tip), viewport(), visualRect(index));
    event->setAccepted(!tip.isEmpty());
    return true;
}

int CListCtrlEx::TextWidth(const QString& text) const {
    return fontMetrics().horizontalAdvance(text);
}

namespace {

// The width of `text` in whole pixels, from the advances of the ASCII
// characters in 64ths of a pixel; -1 when it holds any other byte.
int AsciiWidth(std::string_view text, const std::uint32_t* advances) {
    std::uint32_t width = 0;
    unsigned char bytes = 0; // any byte at or above 0x80 sets its top bit
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        bytes |= byte;
        width += advances[byte & 0x7F];
    }
    if (bytes >= 0x80)
        return -1;
    // Kerning moves a name by a pixel at most; one pixel of slack covers it.
    return static_cast<int>((width + 63) / 64) + 1;
}

} // namespace

const std::vector<std::uint32_t>& CListCtrlEx::AsciiAdvances() const {
    // Rounded up: integer sums keep the walk over every row of a keystroke short.
    if (m_asciiAdvances.empty()) {
        const QFontMetricsF metrics(font());
        for (char16_t c = 0; c < 128; ++c)
            m_asciiAdvances.push_back(
                static_cast<std::uint32_t>(std::ceil(metrics.horizontalAdvance(QChar(c)) * 64)));
    }
    return m_asciiAdvances;
}

int CListCtrlEx::WidestText(int column) const {
    // Long lists are measured in chunks by this thread and a helper; names
    // of other characters than ASCII go through the font, on this thread.
    constexpr std::size_t kChunk = 16384;
    const CListRows& rows = m_model->Rows();
    const std::uint32_t* advances = AsciiAdvances().data();
    std::atomic<std::size_t> next{0};
    const auto measure = [&](std::vector<std::size_t>& others) {
        int widest = 0;
        for (std::size_t begin; (begin = next.fetch_add(kChunk)) < rows.size();) {
            for (std::size_t i = begin, end = std::min(rows.size(), begin + kChunk); i < end; ++i) {
                const int width = AsciiWidth(rows[i].Text(column), advances);
                if (width < 0)
                    others.push_back(i);
                widest = std::max(widest, width);
            }
        }
        return widest;
    };
    std::vector<std::size_t> mine;
    std::vector<std::size_t> theirs;
    int widest = 0;
    int helperWidest = 0;
    std::optional<std::thread> helper;
    if (rows.size() > 2 * kChunk) {
        try {
            helper.emplace([&] { helperWidest = measure(theirs); });
        } catch (const std::system_error&) {
            // this thread measures them all
        }
    }
    widest = measure(mine);
    if (helper)
        helper->join();
    widest = std::max(widest, helperWidest);
    for (const std::vector<std::size_t>* others : {&mine, &theirs}) {
        for (const std::size_t i : *others)
            widest = std::max(widest, TextWidth(CListModel::Decode(rows[i].Text(column))));
    }
    return widest;
}

void CListCtrlEx::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange)
        m_asciiAdvances.clear();
    QTreeView::changeEvent(event);
}

bool CListCtrlEx::IsRowHighlighted(int row) const {
    if (!hasFocus() && !m_showSelectionAlways)
        return false;
    return selectionModel() != nullptr && selectionModel()->isRowSelected(row, QModelIndex());
}

void CListCtrlEx::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const {
    if (!m_fullRowSelect) {
        QTreeView::drawRow(painter, option, index);
        return;
    }
    DrawFullRow(painter, option.rect, index.row());
}

constexpr QRgb kRefusedName = qRgb(0xC0, 0x00, 0x00); // the error colour

// Paints one row: the fill from the label's left edge to the view's right
// edge, the status picture, the label and every sub-item, each shortened to
// its column and, when it fits whole, aligned as its column says.
void CListCtrlEx::DrawFullRow(QPainter* painter, const QRect& rowRect, int row) const {
    const CListRow& value = m_model->Rows()[static_cast<std::size_t>(row)];
    const int clientRight = viewport()->width();
    const int column0Left = header()->sectionViewportPosition(0);
    const int column0Right = column0Left + header()->sectionSize(0);
    const QPixmap* image = m_model->Image(value.nImage);
    const int labelLeft = column0Left + (image != nullptr ? kImageSize + 2 : 0);

    QRect highlight(labelLeft, rowRect.top(), 0, rowRect.height());
    int lastRight = column0Right;
    for (int column = 1; column < m_model->columnCount(); ++column)
        lastRight = std::max(lastRight, header()->sectionViewportPosition(column) +
                                            header()->sectionSize(column));
    highlight.setRight(std::max(lastRight, clientRight) - 1);

    const bool selected = IsRowHighlighted(row);
    QColor text = m_textColor;
    QColor fill = m_textBackColor;
    if (selected) {
        text = palette().color(QPalette::HighlightedText);
        fill = palette().color(QPalette::Highlight);
    } else if (const CItemColors* colors = ItemColors(value.nImage)) {
        text = ColorFromRef(colors->m_textColor);
        fill = ColorFromRef(colors->m_backColor);
    }
    painter->save();
    painter->fillRect(highlight, fill);
    if (image != nullptr) {
        // Centred by its size on screen, whatever its device pixels.
        const int height = qRound(image->deviceIndependentSize().height());
        const int y = rowRect.top() + (rowRect.height() - height) / 2;
        painter->drawPixmap(column0Left, y, *image);
    }
    painter->setPen(text);
    // A row dated from outside the file's own date taken is set in italics.
    const bool italic = CListModel::IsUndatedDate(value);
    if (italic) {
        QFont font = painter->font();
        font.setItalic(true);
        painter->setFont(font);
    }
    const QFontMetrics italicMetrics(painter->font());
    const TextWidthFunction measure = [this, italic, &italicMetrics](const QString& s) {
        return italic ? italicMetrics.horizontalAdvance(s) : TextWidth(s);
    };
    const int flags = Qt::TextSingleLine | Qt::AlignVCenter | Qt::TextDontClip;

    const QRect labelRect(labelLeft, rowRect.top(), column0Right - labelLeft, rowRect.height());
    const QString label =
        FitTextToWidth(CListModel::Decode(value.Text(0)), labelRect.width(), kLabelMargin, measure);
    painter->drawText(labelRect.adjusted(kLabelPadding, 0, -kLabelPadding, 0),
                      flags | Qt::AlignLeft, label);

    for (int column = 1; column < m_model->columnCount() && column < 2; ++column) {
        const QString cell = CListModel::Decode(value.Text(column));
        if (cell.isEmpty())
            continue;
        const int left = header()->sectionViewportPosition(column);
        const QRect cellRect(left, rowRect.top(), header()->sectionSize(column), rowRect.height());
        bool shortened = false;
        const QString shown =
            FitTextToWidth(cell, cellRect.width(), kSubItemMargin, measure, &shortened);
        const Qt::Alignment alignment =
            shortened
                ? Qt::AlignLeft
                : m_model->Columns()[std::size_t(column)].alignment & Qt::AlignHorizontal_Mask;
        // A name a rename would refuse stands out before the user renames.
        painter->setPen(!selected && m_model->Refusal(row) != nullptr ? QColor(kRefusedName)
                                                                      : text);
        painter->drawText(cellRect.adjusted(kSubItemPadding, 0, -kSubItemPadding, 0),
                          flags | alignment, shown);
    }
    if (hasFocus() && currentIndex().isValid() && currentIndex().row() == row) {
        QPen pen(text, 1, Qt::DotLine);
        painter->setPen(pen);
        painter->drawRect(highlight.adjusted(0, 0, 0, -1));
    }
    painter->restore();
}

void CListCtrlEx::selectionChanged(const QItemSelection& selected,
                                   const QItemSelection& deselected) {
    QTreeView::selectionChanged(selected, deselected);
    // The view would repaint the cells only; a highlight that runs past the
    // last column would stay behind.
    for (const QItemSelection* ranges : {&selected, &deselected}) {
        for (const QItemSelectionRange& range : *ranges)
            UpdateRows(range.top(), range.bottom());
    }
}

// A change of many rows reaches the tree view for the rows in sight only: it
// would visit every changed row twice (its height cache, then the region to
// repaint), some 15 milliseconds for 100,000 names on each keystroke. The
// rows of this flat list share one height, taken from row 0, and rows out of
// sight are painted from the model when they come into view.
void CListCtrlEx::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                              const QList<int>& roles) {
    constexpr int kRowsPassedWhole = 256;
    const int first = topLeft.row();
    const int last = bottomRight.row();
    if (!topLeft.isValid() || !bottomRight.isValid() || topLeft.parent().isValid() ||
        !uniformRowHeights() || last - first < kRowsPassedWhole) {
        QTreeView::dataChanged(topLeft, bottomRight, roles);
        return;
    }
    const QModelIndex top = indexAt(QPoint(0, 0));
    // Row 0 gives every row its height: passed on alone when out of sight.
    if (first == 0 && (!top.isValid() || top.row() > 0))
        QTreeView::dataChanged(topLeft, m_model->index(0, bottomRight.column()), roles);
    if (!top.isValid())
        return; // no row in sight
    const QModelIndex bottom = indexAt(QPoint(0, viewport()->height() - 1));
    const int from = std::max(first, top.row());
    const int to = std::min(last, bottom.isValid() ? bottom.row() : last);
    if (from <= to)
        QTreeView::dataChanged(m_model->index(from, topLeft.column()),
                               m_model->index(to, bottomRight.column()), roles);
}

void CListCtrlEx::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTreeView::currentChanged(current, previous);
    // The focus frame is drawn around the row's highlight, or its label.
    for (const QModelIndex& index : {previous, current}) {
        if (index.isValid())
            UpdateRows(index.row(), index.row());
    }
}

void CListCtrlEx::UpdateRows(int first, int last) {
    const QRect top = visualRect(m_model->index(first, 0));
    const QRect bottom = visualRect(m_model->index(last, 0));
    viewport()->update(0, top.top(), viewport()->width(), bottom.bottom() - top.top() + 1);
}

void CListCtrlEx::focusInEvent(QFocusEvent* event) {
    QTreeView::focusInEvent(event);
    if (m_fullRowSelect)
        viewport()->update();
}

void CListCtrlEx::focusOutEvent(QFocusEvent* event) {
    QTreeView::focusOutEvent(event);
    if (m_fullRowSelect)
        viewport()->update();
}
