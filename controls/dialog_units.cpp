#include "dialog_units.h"

#include <algorithm>

CDialogUnits::CDialogUnits(const QFont& font) : m_metrics(font) {
    // The average width of the 52 Latin letters, rounded, as templates use it.
    const int letters = m_metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_xScale = ((letters / 26 + 1) / 2) / 4.0;
    m_charHeight = m_metrics.height();
}

void CDialogUnits::FitText(const QString& text, int widthUnits) {
    if (widthUnits > 0)
        m_xScale = std::max(m_xScale, double(m_metrics.horizontalAdvance(text) + 1) / widthUnits);
}

QRect CDialogUnits::Rect(int x, int y, int width, int height) const {
    return {X(x), Y(y), X(width), Y(height)};
}
