// SPDX-License-Identifier: MIT
#pragma once

class QEventLoop;

// Pauses for `times` seconds of the current Clock while the window keeps
// handling its events: clicks, timers and link events run (and may nest)
// during the pause. Pending events are always processed at least once;
// times <= 0 returns after that one pass.
void Wait(double times);

// The same pause, which a handler run during it can end early.
class Pause
{
public:
    // As Wait(times), unless end() is called meanwhile: it then returns as
    // soon as the handler that called end() has returned.
    void wait(double times);
    // Ends the pause under way; nothing when none is.
    void end();

private:
    QEventLoop *m_loop = nullptr;
    bool m_ended = false;
};
