#include "platform/TrayIcon.h"

#include <QGuiApplication>
#include <QStyleHints>

#include <gtest/gtest.h>

#include <vector>

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

TEST(ClickTranslator, ASecondTriggerSoonAfterIsTheDoubleClick)
{
    using R = QSystemTrayIcon::ActivationReason;
    const int interval = QGuiApplication::styleHints()->mouseDoubleClickInterval();
    const struct {
        const char *name;
        std::vector<std::pair<R, qint64>> activations; // reason, time in ms
        std::vector<std::optional<int>> messages;
    } cases[] = {
        {"a tray that reports double clicks", {{R::Trigger, 0}, {R::DoubleClick, 50}}, {513, 515}},
        {"a tray that reports triggers only", {{R::Trigger, 0}, {R::Trigger, 50}}, {513, 515}},
        {"two single clicks", {{R::Trigger, 0}, {R::Trigger, interval + 1}}, {513, 513}},
        {"three quick clicks", {{R::Trigger, 0}, {R::Trigger, 50}, {R::Trigger, 100}}, {513, 515, 513}},
        {"a right click between", {{R::Trigger, 0}, {R::Context, 20}, {R::Trigger, 40}}, {513, 516, 515}},
    };
    for (const auto &c : cases) {
        tray::ClickTranslator clicks;
        std::vector<std::optional<int>> messages;
        for (const auto &[reason, at] : c.activations)
            messages.push_back(clicks.MouseMessageFor(reason, at));
        EXPECT_EQ(messages, c.messages) << c.name;
    }
}

} // namespace
