#pragma once
// Every modal message of the program goes through one replaceable function: the windows install
// their message box at start-up, tests record instead of blocking, and the tools, which install
// nothing, get the text on stderr.
#include <QString>
#include <functional>

enum class TMsgIcon { Information, Warning, Error };

struct TMessage {
    TMsgIcon Icon;
    QString Caption;
    QString Text; // as the program builds it: carriage returns, not line feeds
};

using TMessageHandler = std::function<void(const TMessage&)>;

// Replaces the handler; returns the previous one. An empty handler writes to stderr.
TMessageHandler SetMessageHandler(TMessageHandler handler);
void ShowMessage(TMsgIcon icon, const QString& caption, const QString& text);

// The application's standard error report: an error message with the text, captioned with the
// application's name.
void ReportError(const QString& text);
// What the report says for a failure that is not one of ours: another library's own wording
// means nothing to the user.
QString UnexpectedErrorText();
// Runs fn and reports what escapes it: the text of an EVelodraError, else the fixed sentence.
void Guarded(const std::function<void()>& fn);

// Carriage returns become line breaks only where text is presented, and file-name bytes that
// are not UTF-8 become their Windows-1252 characters.
QString ForDisplay(const QString& text);
