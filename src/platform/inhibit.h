#pragma once
#include <QString>

namespace platform {

// Keeps the machine from suspending while a recording runs: a logind "sleep"
// inhibitor lock, held as the file descriptor logind hands out and released
// by closing it. Where no logind answers, nothing happens.
//
// KeepAwake(true) asks for the lock once; KeepAwake(false) drops it. Cheap
// to call on every tick: only a change of state does anything. The request
// is asynchronous, so a slow bus never holds up the caller.
void KeepAwake(bool on);
// True while the lock is held (the reply came and was not released since).
bool IsKeptAwake();

// The bus to ask: the system bus, unless KESTRUNE_LOGIND_BUS names another
// bus address (tests use a private bus with a stand-in logind).
QString LogindBusAddress();

} // namespace platform
