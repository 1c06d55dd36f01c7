#include "status_pictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

#include <functional>

namespace {

constexpr int kSize = 20;

// A small framed photo: white card, grey frame, a hill and a sun.
void DrawPicture(QPainter& p) {
    p.setPen(QPen(QColor(90, 90, 90), 1));
    p.setBrush(Qt::white);
    p.drawRect(1, 3, 15, 12);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(120, 170, 220));
    p.drawRect(3, 5, 12, 6);
    p.setBrush(QColor(90, 150, 80));
    QPainterPath hill;
    hill.moveTo(3, 13);
    hill.lineTo(8, 8);
    hill.lineTo(12, 11);
    hill.lineTo(15, 9);
    hill.lineTo(15, 13);
    hill.closeSubpath();
    p.drawPath(hill);
}

QPixmap Picture(qreal devicePixelRatio, const std::function<void(QPainter&)>& mark) {
    const int side = qCeil(kSize * devicePixelRatio);
    QPixmap pixmap(side, side);
    pixmap.setDevicePixelRatio(devicePixelRatio); // the painter draws in 20x20 units
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    DrawPicture(p);
    if (mark)
        mark(p);
    return pixmap;
}

} // namespace

std::vector<QPixmap> MakeStatusPictures(qreal devicePixelRatio) {
    const auto tick = [](QPainter& p) {
        p.setPen(QPen(QColor(20, 150, 40), 2.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(9, 13), QPointF(12.5, 17), QPointF(18.5, 8)}));
    };
    const auto cross = [](QPainter& p) {
        p.setPen(QPen(QColor(210, 20, 30), 2.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(10, 9), QPointF(18, 17));
        p.drawLine(QPointF(18, 9), QPointF(10, 17));
    };
    const auto question = [](QPainter& p) {
        p.setPen(QPen(QColor(120, 90, 0), 1));
        p.setBrush(QColor(255, 215, 0));
        p.drawEllipse(QRectF(9.5, 8.5, 10, 10));
        QFont font = p.font();
        font.setPixelSize(9);
        font.setBold(true);
        p.setFont(font);
        p.setPen(QColor(60, 40, 0));
        p.drawText(QRectF(9.5, 8.5, 10, 10), Qt::AlignCenter, QStringLiteral("?"));
    };
    return {Picture(devicePixelRatio, nullptr), Picture(devicePixelRatio, tick),
            Picture(devicePixelRatio, cross), Picture(devicePixelRatio, question)};
}
