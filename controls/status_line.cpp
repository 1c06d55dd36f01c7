#include "status_line.h"

#include "fit_text.h"

#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

namespace {

const QString kGap = QStringLiteral("   ");

} // namespace

void CStatusLine::SetNotice(const QString& notice) {
    if (notice == m_notice)
        return;
    m_notice = notice;
    update();
}

QString CStatusLine::ShownText() const {
    const QFontMetrics metrics = fontMetrics();
    if (m_notice.isEmpty())
        return metrics.elidedText(text(), Qt::ElideMiddle, contentsRect().width());
    const QString whole = text() + kGap + m_notice;
    const int width = contentsRect().width();
    if (text().isEmpty() || metrics.horizontalAdvance(whole) <= width)
        return text().isEmpty() ? m_notice : whole;
    const int room = width - metrics.horizontalAdvance(kGap + m_notice);
    return metrics.elidedText(text(), Qt::ElideMiddle, std::max(room, 0)) + kGap + m_notice;
}

bool CStatusLine::event(QEvent* event) {
    if (event->type() != QEvent::ToolTip || toolTip().isEmpty())
        return QLabel::event(event);
    QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), WrappedToolTip(toolTip()),
                       this);
    return true;
}

void CStatusLine::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    style()->drawItemText(&painter, contentsRect(), int(alignment()) | Qt::TextSingleLine,
                          palette(), isEnabled(), ShownText(), foregroundRole());
}
