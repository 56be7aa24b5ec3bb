#include "ui/MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <cstdio>

namespace {
QPointer<QMessageBox> OpenBox;
} // namespace

bool MessageBoxOpen() {
    return !OpenBox.isNull();
}

void ShowMessageBox(const TMessage& m, const std::function<void(const QString&)>& aside) {
    if (OpenBox) {
        std::fprintf(stderr, "%s: %s\n", qUtf8Printable(m.Caption),
                     qUtf8Printable(ForDisplay(m.Text)));
        if (aside) aside(m.Text);
        return;
    }
    QMessageBox::Icon icon = QMessageBox::Information;
    if (m.Icon == TMsgIcon::Warning) icon = QMessageBox::Warning;
    if (m.Icon == TMsgIcon::Error) icon = QMessageBox::Critical;
    auto* box = new QMessageBox(icon, m.Caption, ForDisplay(m.Text), QMessageBox::Ok,
                                QApplication::activeWindow());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    OpenBox = box;
    box->show();
}
