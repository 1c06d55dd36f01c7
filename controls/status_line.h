#pragma once

#include <QLabel>
#include <QString>

// The window's status line: its text, then a short notice (what the list
// leaves out, what a rename would refuse) that stays readable at any width.
// When both don't fit, the text gives way in its middle, so that its start
// and its end (the file count) stay; the whole of both is in the tooltip the
// owner sets.
class CStatusLine : public QLabel {
public:
    using QLabel::QLabel;

    void SetNotice(const QString& notice);
    const QString& Notice() const { return m_notice; }
    // What is painted: the text, shortened if need be, and the notice.
    QString ShownText() const;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_notice;
};
