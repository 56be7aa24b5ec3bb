// The standard error report: our own errors show their text, anything else a fixed sentence;
// without an installed handler the text goes to stderr instead of blocking.
#include "platform/Error.h"
#include "platform/ErrorReport.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include <vector>

namespace {

class ErrorReport : public ::testing::Test {
protected:
    void SetUp() override {
        Old = SetMessageHandler([this](const TMessage& m) { Shown.push_back(m); });
    }
    void TearDown() override { SetMessageHandler(Old); }
    std::vector<TMessage> Shown;
    TMessageHandler Old;
};

TEST_F(ErrorReport, OwnErrorsShowTheirTextOthersAFixedSentence) {
    Guarded([] { throw EVelodraError(QStringLiteral("'x.mp3' doesn't exist.")); });
    Guarded([] { throw std::runtime_error("basic_string::_M_create"); });
    Guarded([] { throw 42; });
    Guarded([] {});
    ASSERT_EQ(Shown.size(), 3u);
    EXPECT_EQ(Shown[0].Text, QStringLiteral("'x.mp3' doesn't exist."));
    EXPECT_EQ(Shown[0].Icon, TMsgIcon::Error);
    for (size_t i : {1u, 2u}) {
        EXPECT_EQ(Shown[i].Text, UnexpectedErrorText()) << i;
        EXPECT_EQ(Shown[i].Icon, TMsgIcon::Error);
    }
    EXPECT_FALSE(UnexpectedErrorText().contains(QStringLiteral("basic_string")));
}

TEST_F(ErrorReport, WithoutAHandlerTheTextGoesToStandardError) {
    SetMessageHandler(nullptr);
    testing::internal::CaptureStderr();
    ShowMessage(TMsgIcon::Information, QStringLiteral("About"), QStringLiteral("one\rtwo"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "About: one\ntwo\n");
}

} // namespace
