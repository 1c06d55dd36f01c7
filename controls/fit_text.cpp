#include "fit_text.h"

#include <QTextDocument>

#include <algorithm>

QString FitTextToWidth(const QString& text, int width, int margin, const TextWidthFunction& measure,
                       bool* shortened) {
    if (shortened != nullptr)
        *shortened = false;
    if (text.isEmpty() || measure(text) + margin <= width)
        return text;
    if (shortened != nullptr)
        *shortened = true;
    if (width < 3)
        return QString();
    static const QString kDots(QChar(0x2026)); // "…", as the headings end
    const int dotsWidth = measure(kDots);
    // A one-character text keeps that character too.
    qsizetype length = std::max<qsizetype>(text.size() - 1, 1);
    for (; length > 1; --length) {
        // Never cut a character written as two UTF-16 units in half.
        if (text.at(length).isLowSurrogate())
            continue;
        if (measure(text.left(length)) + margin + dotsWidth <= width)
            break;
    }
    if (length == 1 && text.at(0).isHighSurrogate() && text.size() > 1)
        length = 2;
    return text.left(length) + kDots;
}

QString WrappedToolTip(const QString& text) {
    // About the width of a line of a message box.
    constexpr qsizetype kLongLine = 80;
    const QStringList lines = text.split(QLatin1Char('\n'));
    const bool longLine = std::any_of(lines.begin(), lines.end(),
                                      [](const QString& line) { return line.size() > kLongLine; });
    return longLine ? Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal) : text;
}
