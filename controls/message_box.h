#pragma once

#include <QString>

class QWidget;

// Message-box flags, as the windows pass them.
constexpr unsigned MB_OK = 0x00;
constexpr unsigned MB_ICONERROR = 0x10;

// A modal message with one OK button: `text` under `caption`, with the error
// icon when the flags ask for it. Windows call it through an overridable
// member so that tests can record their messages instead.
void ShowMessageBox(QWidget* parent, const QString& text, const QString& caption, unsigned flags);
