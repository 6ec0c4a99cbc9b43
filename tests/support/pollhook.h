// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <utility>

// A fake control's hook that runs once, the next time the window asks how
// much is waiting: a test acts at that point of a collection instead of
// after a guessed time.
class PollHook
{
public:
    PollHook &operator=(std::function<void()> hook)
    {
        m_hook = std::move(hook);
        return *this;
    }
    // Cleared before it runs, so that it may set the next one.
    void fire() const
    {
        if (m_hook)
            std::exchange(m_hook, nullptr)();
    }

private:
    mutable std::function<void()> m_hook;
};
