#pragma once

// Pauses for `times` seconds of the current Clock while the window keeps
// handling its events: clicks, timers and link events run (and may nest)
// during the pause. Pending events are always processed at least once;
// times <= 0 returns after that one pass.
void Wait(double times);
