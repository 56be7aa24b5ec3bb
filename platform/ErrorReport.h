#pragma once
// Every modal message of the program goes through here, so tests can record instead of block.
#include <QString>
#include <functional>

class QWidget;

enum class TMsgIcon { Information, Warning, Error };

struct TMessage {
    TMsgIcon Icon;
    QString Caption;
    QString Text; // as the program builds it: carriage returns, not line feeds
};

using TMessageHandler = std::function<void(const TMessage&)>;

// Replaces the handler; returns the previous one. An empty handler restores the message box.
TMessageHandler SetMessageHandler(TMessageHandler handler);
void ShowMessage(TMsgIcon icon, const QString& caption, const QString& text);

// The application's standard error report: an error box with the text, captioned with the
// application's title.
void ReportError(const QString& text);
// Runs fn and reports an EVelodraError (or any std::exception) that escapes it.
void Guarded(const std::function<void()>& fn);

// Carriage returns become line breaks only where text is presented, and file-name bytes that
// are not UTF-8 become their Windows-1252 characters.
QString ForDisplay(const QString& text);
