#include "meetings/Attention.h"

#include <QApplication>

namespace {

std::function<void(QWidget *)> &Hook()
{
    static std::function<void(QWidget *)> hook;
    return hook;
}

} // namespace

void AskForAttention(QWidget *window)
{
    if (Hook())
        Hook()(window);
    else
        QApplication::alert(window);
}

ScopedAttentionHook::ScopedAttentionHook(std::function<void(QWidget *)> hook) : m_previous(std::move(Hook()))
{
    Hook() = std::move(hook);
}

ScopedAttentionHook::~ScopedAttentionHook()
{
    Hook() = std::move(m_previous);
}
