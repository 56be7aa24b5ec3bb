// The window's pure rules: the rate texts of the display and the about box, where the window
// may lie, the language of the texts; and the translations the program carries.
#include "ui/Language.h"
#include "ui/Rules.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>
#include <gtest/gtest.h>
#include <utility>

namespace {

struct TRateCase {
    QLocale::Language Language;
    std::uint32_t SampleRate;
    std::uint32_t BitRate;
    const char* Want;
};

TEST(RateText, OneDecimalInTheUsersLocaleAndNoneWhenItIsZero) {
    const TRateCase cases[] = {
        {QLocale::English, 44100, 128, "44.1 kHz  128 kbps"},
        {QLocale::English, 48000, 320, "48 kHz  320 kbps"},
        {QLocale::English, 96000, 128, "96 kHz  128 kbps"},
        {QLocale::English, 88200, 128, "88.2 kHz  128 kbps"},
        {QLocale::German, 44100, 128, "44,1 kHz  128 kbps"},
        {QLocale::German, 48000, 64, "48 kHz  64 kbps"},
        {QLocale::German, 88200, 64, "88,2 kHz  64 kbps"},
        {QLocale::English, 8000, 8, "8 kHz  8 kbps"},
        {QLocale::English, 192000, 320, "192 kHz  320 kbps"},
        {QLocale::English, 22050, 0, ""},
    };
    for (const TRateCase& c : cases) {
        SCOPED_TRACE(c.Want);
        QLocale::setDefault(QLocale(c.Language));
        EXPECT_EQ(RateText(c.SampleRate, c.BitRate), QString::fromUtf8(c.Want));
    }
    QLocale::setDefault(QLocale::c());
}

TEST(KeepFrameOnArea, MovedOnlyAsFarAsNeeded) {
    const QRect area(0, 0, 1024, 740); // a panel below
    const struct {
        QRect Frame;
        QPoint Want;
    } cases[] = {
        {{199, 124, 202, 221}, {199, 124}},  // fits: stays
        {{-500, 99999, 202, 221}, {0, 519}}, // off at left and bottom
        {{900, -30, 202, 221}, {822, 0}},    // off at right and top
        {{822, 519, 202, 221}, {822, 519}},  // touches the corner: stays
        {{10, 10, 2000, 900}, {0, 0}},       // larger than the area: its corner inside
    };
    for (const auto& c : cases)
        EXPECT_EQ(KeepFrameOnArea(c.Frame, area), c.Want) << c.Frame.x() << "," << c.Frame.y();
}

TEST(ChooseLanguage, TheFirstWantedThatIsCarriedAndNoneOverEnglish) {
    const QStringList carried{QStringLiteral("de"), QStringLiteral("fr")};
    // Most wanted first, as QLocale::uiLanguages names them.
    const std::pair<const char*, const char*> cases[] = {{"de-DE", "de"},
                                                         {"fr-CA de-DE", "fr"},
                                                         {"es-ES fr", "fr"},
                                                         {"en-GB de-DE", ""},
                                                         {"C", ""},
                                                         {"it-IT", ""},
                                                         {"", ""}};
    for (const auto& [wanted, want] : cases)
        EXPECT_EQ(
            ChooseLanguage(QString::fromLatin1(wanted).split(u' ', Qt::SkipEmptyParts), carried),
            QString::fromLatin1(want))
            << wanted;
}

// German and French are built in; their texts keep the breaks a message is built with.
TEST(Translations, GermanAndFrenchAreCarriedAndKeepTheLineBreaks) {
    EXPECT_EQ(AvailableLanguages(), QStringList({QStringLiteral("de"), QStringLiteral("fr")}));
    const char* open = "Unable to open %1.\r\r%2";
    for (const auto& [wanted, play] : {std::pair{"de-DE", "Wiedergabe"}, {"fr-FR", "Lecture"}}) {
        EXPECT_FALSE(InstallTranslations({QString::fromLatin1(wanted)}).isEmpty()) << wanted;
        EXPECT_EQ(QCoreApplication::translate("TFormVelodra", "Play"), QString::fromUtf8(play));
        const QString message = QCoreApplication::translate("TSession", open);
        EXPECT_NE(message, QString::fromLatin1(open));
        EXPECT_EQ(message.count(QStringLiteral("\r\r%2")), 1) << qPrintable(message);
        for (QTranslator* t : QCoreApplication::instance()->findChildren<QTranslator*>()) {
            QCoreApplication::removeTranslator(t);
            delete t;
        }
    }
}

} // namespace
