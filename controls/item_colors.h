#pragma once

#include <QColor>

#include <cstdint>

// A colour as 0x00BBGGRR, red in the low byte: the form the program's colour
// constants are written in.
using COLORREF = std::uint32_t;

inline QColor ColorFromRef(COLORREF ref) {
    return QColor(ref & 0xFF, (ref >> 8) & 0xFF, (ref >> 16) & 0xFF);
}

// The colours of the rows whose image index has this entry in a list
// control's colour map. The list control owns its entries.
class CItemColors {
public:
    virtual ~CItemColors() = default;

    COLORREF m_textColor = 0x00FFFFFF;
    COLORREF m_backColor = 0x00000000;
};
