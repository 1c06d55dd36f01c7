#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QRect>
#include <QSize>
#include <QString>

// Converts dialog-template units to pixels for a dialog font: horizontal
// units are a quarter of the font's average character width, vertical units
// an eighth of its height, so layouts scale with the font as templates do.
// Fonts wider than the one the templates were drawn for can widen the
// horizontal unit so that the template's fixed texts still fit their boxes.
class CDialogUnits {
public:
    explicit CDialogUnits(const QFont& font);

    // Makes sure `text` fits in `widthUnits` horizontal units, as drawn: the
    // "&" of a mnemonic takes no room.
    void FitText(const QString& text, int widthUnits);

    int X(int units) const { return static_cast<int>(units * m_xScale + 0.5); }
    int Y(int units) const { return units * m_charHeight / 8; }
    QRect Rect(int x, int y, int width, int height) const;
    QSize Size(int width, int height) const { return {X(width), Y(height)}; }

private:
    QFontMetrics m_metrics;
    double m_xScale;
    int m_charHeight;
};
