#include "platform/ErrorReport.h"

#include "platform/Error.h"
#include "platform/FileName.h"

#include <QCoreApplication>
#include <cstdio>

namespace {
TMessageHandler& Handler() {
    static TMessageHandler handler;
    return handler;
}
} // namespace

TMessageHandler SetMessageHandler(TMessageHandler handler) {
    TMessageHandler old = std::move(Handler());
    Handler() = std::move(handler);
    return old;
}

void ShowMessage(TMsgIcon icon, const QString& caption, const QString& text) {
    const TMessage m{icon, caption, text};
    if (Handler()) {
        Handler()(m);
        return;
    }
    std::fprintf(stderr, "%s: %s\n", caption.toUtf8().constData(),
                 ForDisplay(text).toUtf8().constData());
}

void ReportError(const QString& text) {
    ShowMessage(TMsgIcon::Error, QCoreApplication::applicationName(), text);
}

QString UnexpectedErrorText() {
    return QCoreApplication::translate("TErrorReport", "An unexpected error stopped this command.");
}

void Guarded(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const EVelodraError& e) {
        ReportError(e.Message);
    } catch (...) {
        ReportError(UnexpectedErrorText());
    }
}

QString ForDisplay(const QString& text) {
    // Paths inside messages carry undecodable name bytes; show them as characters.
    QString s = DisplayFileName(text);
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return s;
}
