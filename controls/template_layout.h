#pragma once

#include <QLayout>
#include <QRect>
#include <QSize>

#include <vector>

// CTemplateLayout places a window's controls at their template rectangles and
// lets the window grow from the template's size: each control keeps its
// distance to the window edges it is anchored to, so a control anchored left
// and right widens with the window, one anchored right only moves with the
// right edge, and one anchored to all four edges grows both ways. The
// template's size is the window's starting and, unless told otherwise,
// smallest size.
class CTemplateLayout : public QLayout {
public:
    CTemplateLayout(QWidget* parent, QSize templateSize);
    ~CTemplateLayout() override;
    CTemplateLayout(const CTemplateLayout&) = delete;
    CTemplateLayout& operator=(const CTemplateLayout&) = delete;

    // `widget` at `rect` of the template, anchored to `edges` of the window.
    void AddWidget(QWidget* widget, const QRect& rect, Qt::Edges edges);

    // QLayout: items added without a rectangle stay where they are, top left.
    void addItem(QLayoutItem* item) override;
    int count() const override { return static_cast<int>(m_items.size()); }
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    QSize sizeHint() const override { return m_templateSize; }
    QSize minimumSize() const override { return m_minimumSize; }
    // Lets the window shrink below the template to `size`: the controls
    // anchored to two opposite edges shrink, those anchored to one move.
    void SetMinimumSize(QSize size) {
        m_minimumSize = size.boundedTo(m_templateSize);
        invalidate();
    }
    void setGeometry(const QRect& rect) override;

private:
    struct CItem {
        QLayoutItem* item;
        QRect rect;
        Qt::Edges edges;
    };

    // Where a control of the template at `rect`, anchored to `edges`, goes
    // when the window is `grown` larger than the template.
    static QRect Anchored(const QRect& rect, Qt::Edges edges, QSize grown);

    std::vector<CItem> m_items;
    QSize m_templateSize;
    QSize m_minimumSize;
};
