#include "status_line.h"

#include <QPainter>
#include <QStyle>

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
    if (m_notice.isEmpty())
        return text();
    const QFontMetrics metrics = fontMetrics();
    const QString whole = text() + kGap + m_notice;
    const int width = contentsRect().width();
    if (text().isEmpty() || metrics.horizontalAdvance(whole) <= width)
        return text().isEmpty() ? m_notice : whole;
    const int room = width - metrics.horizontalAdvance(kGap + m_notice);
    return metrics.elidedText(text(), Qt::ElideMiddle, std::max(room, 0)) + kGap + m_notice;
}

void CStatusLine::paintEvent(QPaintEvent* event) {
    if (m_notice.isEmpty()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    style()->drawItemText(&painter, contentsRect(), int(alignment()) | Qt::TextSingleLine,
                          palette(), isEnabled(), ShownText(), foregroundRole());
}
