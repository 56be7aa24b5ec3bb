#include "platform/ErrorReport.h"

#include "platform/Error.h"
#include "platform/FileName.h"

#include <QApplication>
#include <QMessageBox>

namespace {
TMessageHandler& Handler() {
    static TMessageHandler handler;
    return handler;
}

void ShowBox(const TMessage& m) {
    QMessageBox::Icon icon = QMessageBox::Information;
    if (m.Icon == TMsgIcon::Warning) icon = QMessageBox::Warning;
    if (m.Icon == TMsgIcon::Error) icon = QMessageBox::Critical;
    QMessageBox box(icon, m.Caption, ForDisplay(m.Text), QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}
} // namespace

TMessageHandler SetMessageHandler(TMessageHandler handler) {
    TMessageHandler old = std::move(Handler());
    Handler() = std::move(handler);
    return old;
}

void ShowMessage(TMsgIcon icon, const QString& caption, const QString& text) {
    const TMessage m{icon, caption, text};
    if (Handler())
        Handler()(m);
    else
        ShowBox(m);
}

void ReportError(const QString& text) {
    ShowMessage(TMsgIcon::Error, QCoreApplication::applicationName(), text);
}

void Guarded(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const EVelodraError& e) {
        ReportError(e.Message);
    } catch (const std::exception& e) {
        ReportError(QString::fromUtf8(e.what()));
    }
}

QString ForDisplay(const QString& text) {
    // Paths inside messages carry undecodable name bytes; show them as characters.
    QString s = DisplayFileName(text);
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}
