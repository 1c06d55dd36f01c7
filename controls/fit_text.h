#pragma once

#include <QString>

#include <functional>

// The width in pixels that a text takes when drawn; a parameter so that the
// shortening rule can be tested without a screen.
using TextWidthFunction = std::function<int(const QString&)>;

// Shortens `text` to fit `width` pixels with `margin` pixels to spare: the
// text unchanged when it fits (`shortened` false), an empty text below 3
// pixels, else its longest fitting prefix followed by "…". The first
// character always stays, even when the result is then too wide.
QString FitTextToWidth(const QString& text, int width, int margin, const TextWidthFunction& measure,
                       bool* shortened = nullptr);

// A tooltip text as shown: a long one wraps at word boundaries, as plain
// text is never wrapped; a short one stays as it is.
QString WrappedToolTip(const QString& text);
