#include <gtest/gtest.h>

#include <QTest>
#include <QTimer>

#include <memory>
#include <optional>

#include "OmbrixTheme/Palette.h"
#include "OmbrixUI/CopyButton.h"
#include "Support/HandClipboard.h"

namespace {

class CopyButtonTest : public ::testing::Test {
  protected:
    HandClipboard service;
};

}  // namespace

TEST(CopyButtonCaption, FollowsConfirmationSecretAndCountdown) {
    struct Case {
        bool justCopied;
        bool isSecret;
        qint64 seconds;
        const char* expected;
    };
    const Case cases[] = {
        {false, false, 0, "Parola"},    {false, true, 12, "Parola"},   {true, true, 12, "12 sn"},
        {true, true, 1, "1 sn"},        {true, true, 0, "Kopyalandı"}, {true, false, 0, "Kopyalandı"},
        {true, false, 7, "Kopyalandı"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CopyButton::caption(QStringLiteral("Parola"), c.justCopied, c.isSecret, c.seconds),
                  QString::fromUtf8(c.expected))
            << c.expected;
}

TEST_F(CopyButtonTest, SecretCopyCountsDownWhileConfirmingThenRests) {
    int copies = 0;
    CopyButton button(
        QStringLiteral("Parola"), QStringLiteral("key"), true,
        [&] {
            ++copies;
            service.copySecret(QStringLiteral("s3cret"));
        },
        service);
    button.show();
    EXPECT_EQ(button.text(), QStringLiteral("Parola"));
    EXPECT_EQ(button.symbol(), QStringLiteral("key"));
    EXPECT_EQ(button.variant(), ButtonVariant::secondary);
    EXPECT_TRUE(button.isSmall());
    EXPECT_FALSE(button.isWide());
    EXPECT_EQ(button.toolTip(), QStringLiteral("Parola panoya kopyala"));

    QTest::mouseClick(&button, Qt::LeftButton);
    EXPECT_EQ(copies, 1);
    EXPECT_TRUE(button.isJustCopied());
    EXPECT_EQ(button.text(), QStringLiteral("12 sn"));
    EXPECT_EQ(button.symbol(), QStringLiteral("checkmark"));
    EXPECT_EQ(button.variant(), ButtonVariant::tinted(Palette::success));
    service.advanceOneSecond();
    EXPECT_EQ(button.text(), QStringLiteral("11 sn"));

    ASSERT_TRUE(QTest::qWaitFor([&] { return !button.isJustCopied(); }, 5000));
    EXPECT_EQ(button.text(), QStringLiteral("Parola"));
    EXPECT_EQ(button.symbol(), QStringLiteral("key"));
    EXPECT_EQ(button.variant(), ButtonVariant::secondary);
    // The clipboard goes on counting; the button no longer shows it.
    service.advanceOneSecond();
    EXPECT_EQ(service.secondsRemaining(), 10);
    EXPECT_EQ(button.text(), QStringLiteral("Parola"));
}

TEST_F(CopyButtonTest, NoCountOfZeroAndNoCountForPlainCopies) {
    // A time-out that rounds to 0 clears at once: the confirmation says "Kopyalandı".
    service.setClearAfter(0.3);
    CopyButton secret(
        QStringLiteral("Parola"), QStringLiteral("key"), true,
        [&] { service.copySecret(QStringLiteral("s3cret")); }, service);
    secret.click();
    EXPECT_EQ(service.secondsRemaining(), 0);
    EXPECT_EQ(secret.text(), QStringLiteral("Kopyalandı"));

    // A plain copy while an earlier secret still counts down.
    service.setClearAfter(12);
    service.copySecret(QStringLiteral("s3cret"));
    CopyButton plain(
        QStringLiteral("Adres"), QStringLiteral("doc.on.doc"), false, [] {}, service);
    plain.click();
    EXPECT_EQ(service.secondsRemaining(), 12);
    EXPECT_EQ(plain.text(), QStringLiteral("Kopyalandı"));

    // Without an action the press is still confirmed.
    CopyButton idle(QStringLiteral("Kullanıcı"), QStringLiteral("person"), true, {}, service);
    idle.click();
    EXPECT_EQ(idle.text(), QStringLiteral("12 sn"));
}

TEST_F(CopyButtonTest, FirstPressStillRunningEndsTheConfirmation) {
    int copies = 0;
    CopyButton button(
        QStringLiteral("Kopyala"), QStringLiteral("doc.on.doc"), false, [&] { ++copies; }, service);
    // Precise timers of one delay fire in the order they were started, so a marker started between the
    // two presses fires after the first press's confirmation ends and before the second's would.
    std::optional<bool> confirmingBetween;
    std::optional<bool> confirmingAfter;
    button.click();
    QTimer::singleShot(CopyButton::confirmationMs, Qt::PreciseTimer,
                       [&] { confirmingBetween = button.isJustCopied(); });
    button.click();
    QTimer::singleShot(CopyButton::confirmationMs, Qt::PreciseTimer,
                       [&] { confirmingAfter = button.isJustCopied(); });
    EXPECT_EQ(copies, 2);
    EXPECT_TRUE(button.isJustCopied());

    ASSERT_TRUE(QTest::qWaitFor([&] { return confirmingAfter.has_value(); }, 5000));
    ASSERT_TRUE(confirmingBetween.has_value());
    EXPECT_FALSE(*confirmingBetween) << "the first press's confirmation ends it";
    EXPECT_FALSE(*confirmingAfter);
    EXPECT_EQ(button.text(), QStringLiteral("Kopyala"));
}

TEST_F(CopyButtonTest, CountdownKeepsTheButtonsWidth) {
    // Digits of equal width: the button does not change its size as the seconds tick.
    CopyButton button(
        QStringLiteral("Parola"), QStringLiteral("key"), true,
        [&] { service.copySecret(QStringLiteral("s3cret")); }, service);
    button.show();
    QTest::mouseClick(&button, Qt::LeftButton);
    ASSERT_EQ(button.text(), QStringLiteral("12 sn"));
    const int width = button.sizeHint().width();
    for (const char* expected : {"11 sn", "10 sn"}) {
        service.advanceOneSecond();
        ASSERT_EQ(button.text(), QString::fromLatin1(expected));
        EXPECT_EQ(button.sizeHint().width(), width) << expected;
    }
}
