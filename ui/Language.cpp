#include "ui/Language.h"

#include <QAccessibleWidget>
#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QWidget>

namespace {
const QString kOwnFolder = QStringLiteral(":/i18n");

bool Install(const QString& file, const QString& folder) {
    auto* t = new QTranslator(QCoreApplication::instance());
    if (t->load(file, folder) && QCoreApplication::installTranslator(t)) return true;
    delete t;
    return false;
}

// A repeat of a label for its shadow: the label itself is read.
class THiddenAccessible : public QAccessibleWidget {
public:
    using QAccessibleWidget::QAccessibleWidget;
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.invisible = true;
        return s;
    }
};

QAccessibleInterface* Roles(const QString& key, QObject* object) {
    auto* w = qobject_cast<QWidget*>(object);
    if (!w) return nullptr;
    if (key == QLatin1String("TFormNotify"))
        return new QAccessibleWidget(w, QAccessible::Notification);
    if (key == QLatin1String("QLabel") && w->property("accessibleHidden").toBool())
        return new THiddenAccessible(w, QAccessible::StaticText);
    return nullptr;
}
} // namespace

QString ChooseLanguage(const QStringList& uiLanguages, const QStringList& available) {
    for (const QString& name : uiLanguages) {
        const QLocale::Language language = QLocale(name).language();
        // English is what the texts are written in: a later language must not win over it.
        if (language == QLocale::English || language == QLocale::C) return {};
        const QString code = QLocale::languageToCode(language);
        if (available.contains(code)) return code;
    }
    return {};
}

QStringList AvailableLanguages() {
    QStringList out;
    for (const QString& file : QDir(kOwnFolder).entryList({QStringLiteral("velodra_*.qm")}))
        out << file.mid(8, file.size() - 11);
    return out;
}

QString InstallTranslations(const QStringList& uiLanguages) {
    const QString language = ChooseLanguage(uiLanguages, AvailableLanguages());
    if (language.isEmpty() || !Install(QStringLiteral("velodra_") + language, kOwnFolder))
        return {};
    // Qt's own dialogs in the same language, where Qt's translations are installed.
    Install(QStringLiteral("qtbase_") + language,
            QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    return language;
}

QString InstallTranslations() {
    return InstallTranslations(QLocale::system().uiLanguages());
}

void InstallAccessibleRoles() {
    static const bool installed = [] {
        QAccessible::installFactory(Roles);
        return true;
    }();
    (void)installed;
}
