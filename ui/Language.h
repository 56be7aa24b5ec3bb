#pragma once
// The user's language for the program's texts and Qt's own (dialogs, standard buttons), and the
// roles a screen reader needs beyond the widgets' own.
#include <QString>
#include <QStringList>

// The first of the user's languages (most wanted first, as QLocale::uiLanguages gives them) that
// is available; empty for English, the texts' own language, and when none is.
QString ChooseLanguage(const QStringList& uiLanguages, const QStringList& available);
// The languages the program carries a translation for ("de", "fr").
QStringList AvailableLanguages();
// Installs the translations of the system locale's languages (LANGUAGE, else LC_ALL, LC_MESSAGES
// or LANG), or of the languages given; a text without a translation stays English. Returns the
// language chosen (empty: English). Before any window is made: forms translate as they are set up.
QString InstallTranslations(const QStringList& uiLanguages);
QString InstallTranslations();

// The pop-up is a notification to a screen reader, and a widget whose "accessibleHidden"
// property is true (a shadow that repeats a label) is not read at all.
void InstallAccessibleRoles();
