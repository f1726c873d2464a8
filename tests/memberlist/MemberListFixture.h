#pragma once

#include "../main/MainWindowFixture.h"
#include "main/members/MemberItem.h"

#include <QByteArrayList>

// A logged-on main window whose prompts answer as the test says, with helpers
// to load a list through the drain and to read what the client sends.
class MemberListTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        startClient();
        ASSERT_TRUE(loggedOn());
        ui::Hooks hooks;
        hooks.message = [this](const QString &text) { fixture.messages.append(text); };
        hooks.error = [this](const QString &text) { fixture.errors.append(text); };
        hooks.beep = [this] { ++fixture.beeps; };
        hooks.openUrl = [this](const QUrl &url) { fixture.opened.append(url); };
        hooks.terminate = [this] { ++fixture.terminations; };
        hooks.hasNotificationArea = [] { return true; };
        hooks.inputQuery = [this](const QString &caption, const QString &prompt, QString &value) {
            prompts.append({caption, prompt, value});
            if (whilePromptOpen)
                whilePromptOpen();
            if (!answer)
                return false;
            value = *answer;
            return true;
        };
        m_hooks = std::make_unique<ui::ScopedHooks>(std::move(hooks));
    }

    // One inbound LSETD as the server writes it: kind, depth, id, an unused
    // field, display name, default name, mail, and a trailing TAB.
    static QByteArray Lsetd(const QByteArray &kind, int depth, const QByteArray &id, const QByteArray &name,
                            const QByteArray &mail = {})
    {
        return "LSETD\t" + kind + "\t" + QByteArray::number(depth) + "\t" + id + "\t-\t" + name + "\t" + name +
               "-default\t" + mail + "\t";
    }
    void loadList(const QByteArrayList &lsetd)
    {
        QByteArray bytes = "LSETS\r\n";
        for (const QByteArray &frame : lsetd)
            bytes += frame + "\r\n";
        receive(bytes + "LSETE\r\n");
    }
    MemberItem *node(const QByteArray &id, int n = 0) { return mfrm->FindMember(id).value(n); }

    // From now on: everything sent before has reached the server, and what
    // follows is counted from here.
    void markSent() { m_mark = probe(); }
    // The frames sent since the mark, waited for until `count` have arrived.
    QByteArrayList sent(qsizetype count)
    {
        EXPECT_TRUE(TestPeer::waitFor([&] { return peer.frames().size() >= m_mark + count; }));
        return peer.frames().mid(m_mark);
    }
    // Everything sent since the mark, proven complete by a frame sent after it.
    QByteArrayList sentBeforeProbe()
    {
        const qsizetype from = m_mark;
        m_mark = probe();
        return peer.frames().mid(from, m_mark - 1 - from);
    }

    struct Prompt {
        QString caption, prompt, initial;
    };
    QList<Prompt> prompts;
    std::optional<QString> answer; // none: the prompt is cancelled
    std::function<void()> whilePromptOpen; // what the prompt's event loop delivers

private:
    // Sends a frame of our own and waits for it: the frames before it have
    // arrived. Returns the count of frames received with it.
    qsizetype probe()
    {
        const QByteArray frame = "PROBE\t" + QByteArray::number(++m_probes);
        mfrm->SendFrame(frame);
        EXPECT_TRUE(TestPeer::waitFor([&] { return peer.frames().contains(frame); }));
        return peer.frames().size();
    }

    std::unique_ptr<ui::ScopedHooks> m_hooks;
    int m_probes = 0;
    qsizetype m_mark = 0;
};
