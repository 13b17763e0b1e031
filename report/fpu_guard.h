// The floating-point guard: the caller's complete floating-point state is
// saved, the unit reset to its initial state, and later restored exactly.
#pragma once

#include "platform/platform.h"

// The staging area through which every saved image passes, and the lock
// that serialises its use.
extern unsigned char FpuStaging[128];
extern CRITICAL_SECTION FpuLock;

// Fills `buffer` (128 bytes) with the state; the unit is then in its
// initial state. Callers hold FpuLock.
void SaveFpuState(unsigned char *buffer);

// Reloads exactly the state saved in `buffer`. Callers hold FpuLock.
void RestoreFpuState(const unsigned char *buffer);
