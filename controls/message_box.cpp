#include "message_box.h"

#include <QGridLayout>
#include <QMessageBox>

namespace {

// What a title bar needs besides its caption, the window icon and its
// buttons, in lines of the title's font.
constexpr int kTitleBarExtraLines = 8;

// The width a title bar takes to show `caption` whole. Title bars write in
// bold as a rule.
int CaptionWidth(const QString& caption, QFont font) {
    font.setBold(true);
    const QFontMetrics metrics(font);
    return metrics.horizontalAdvance(caption) + kTitleBarExtraLines * metrics.height();
}

} // namespace

void ShowMessageBox(QWidget* parent, const QString& text, const QString& caption, unsigned flags) {
    QMessageBox box((flags & MB_ICONERROR) != 0 ? QMessageBox::Critical : QMessageBox::NoIcon,
                    caption, text, QMessageBox::Ok, parent);
    // The box is sized to its text, and the window manager cuts a longer
    // caption short ("File exists" under "Error Rename"): a strut across the
    // box's grid keeps it wide enough for the caption.
    if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
        grid->addItem(new QSpacerItem(CaptionWidth(caption, box.font()), 0, QSizePolicy::Minimum,
                                      QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }
    box.exec();
}
