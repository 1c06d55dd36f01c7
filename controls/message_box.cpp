#include "message_box.h"

#include <QMessageBox>

void ShowMessageBox(QWidget* parent, const QString& text, const QString& caption, unsigned flags) {
    QMessageBox box((flags & MB_ICONERROR) != 0 ? QMessageBox::Critical : QMessageBox::NoIcon,
                    caption, text, QMessageBox::Ok, parent);
    box.exec();
}
