#include "platform/TrayIcon.h"

#include <gtest/gtest.h>

namespace {

TEST(MouseMessageFor, TranslatesEachActivation)
{
    const struct {
        QSystemTrayIcon::ActivationReason reason;
        std::optional<int> message;
    } cases[] = {
        {QSystemTrayIcon::Trigger, 513},
        {QSystemTrayIcon::DoubleClick, 515},
        {QSystemTrayIcon::Context, 516},
        {QSystemTrayIcon::MiddleClick, 519},
        {QSystemTrayIcon::Unknown, std::nullopt},
    };
    for (const auto &c : cases)
        EXPECT_EQ(tray::MouseMessageFor(c.reason), c.message) << c.reason;
}

} // namespace
