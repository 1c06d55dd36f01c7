#include "dialog_units.h"

#include <algorithm>

namespace {

// The text as a label or button draws it: a single "&" marks the next letter
// as the mnemonic and is not drawn, "&&" draws one "&".
QString DrawnText(const QString& text) {
    QString drawn;
    drawn.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && ++i == text.size())
            break;
        drawn += text[i];
    }
    return drawn;
}

} // namespace

CDialogUnits::CDialogUnits(const QFont& font) : m_metrics(font) {
    // The average width of the 52 Latin letters, rounded, as templates use it.
    const int letters = m_metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    m_xScale = ((letters / 26 + 1) / 2) / 4.0;
    m_charHeight = m_metrics.height();
}

void CDialogUnits::FitText(const QString& text, int widthUnits) {
    if (widthUnits > 0)
        m_xScale = std::max(m_xScale,
                            double(m_metrics.horizontalAdvance(DrawnText(text)) + 1) / widthUnits);
}

QRect CDialogUnits::Rect(int x, int y, int width, int height) const {
    return {X(x), Y(y), X(width), Y(height)};
}
