#include "template_layout.h"

#include <QWidget>

CTemplateLayout::CTemplateLayout(QWidget* parent, QSize templateSize)
    : QLayout(parent), m_templateSize(templateSize), m_minimumSize(templateSize) {
    setContentsMargins(0, 0, 0, 0);
}

CTemplateLayout::~CTemplateLayout() {
    for (const CItem& entry : m_items)
        delete entry.item;
}

void CTemplateLayout::AddWidget(QWidget* widget, const QRect& rect, Qt::Edges edges) {
    addChildWidget(widget);
    m_items.push_back({new QWidgetItem(widget), rect, edges});
    widget->setGeometry(rect);
    invalidate();
}

QRect CTemplateLayout::Anchored(const QRect& rect, Qt::Edges edges, QSize grown) {
    QRect placed = rect;
    if (edges & Qt::RightEdge) {
        if (edges & Qt::LeftEdge)
            placed.setRight(placed.right() + grown.width());
        else
            placed.translate(grown.width(), 0);
    }
    if (edges & Qt::BottomEdge) {
        if (edges & Qt::TopEdge)
            placed.setBottom(placed.bottom() + grown.height());
        else
            placed.translate(0, grown.height());
    }
    return placed;
}

void CTemplateLayout::addItem(QLayoutItem* item) {
    m_items.push_back({item, item->geometry(), Qt::LeftEdge | Qt::TopEdge});
    invalidate();
}

QLayoutItem* CTemplateLayout::itemAt(int index) const {
    if (index < 0 || index >= count())
        return nullptr;
    return m_items[static_cast<std::size_t>(index)].item;
}

QLayoutItem* CTemplateLayout::takeAt(int index) {
    if (index < 0 || index >= count())
        return nullptr;
    QLayoutItem* item = m_items[static_cast<std::size_t>(index)].item;
    m_items.erase(m_items.begin() + index);
    invalidate();
    return item;
}

void CTemplateLayout::setGeometry(const QRect& rect) {
    QLayout::setGeometry(rect);
    const QSize grown = rect.size() - m_templateSize;
    for (const CItem& entry : m_items) {
        const QRect placed = Anchored(entry.rect, entry.edges, grown).translated(rect.topLeft());
        // Hidden controls are placed too: the progress bar appears during a
        // scan, which lets no layout pass run before it is painted.
        if (QWidget* widget = entry.item->widget())
            widget->setGeometry(placed);
        else
            entry.item->setGeometry(placed);
    }
}
