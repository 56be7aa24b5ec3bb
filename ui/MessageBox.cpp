#include "ui/MessageBox.h"

#include <QApplication>
#include <QMessageBox>

void ShowMessageBox(const TMessage& m) {
    QMessageBox::Icon icon = QMessageBox::Information;
    if (m.Icon == TMsgIcon::Warning) icon = QMessageBox::Warning;
    if (m.Icon == TMsgIcon::Error) icon = QMessageBox::Critical;
    QMessageBox box(icon, m.Caption, ForDisplay(m.Text), QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}
