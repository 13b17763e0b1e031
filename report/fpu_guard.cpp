// The floating-point guard, for each kind of processor.
//
// 32-bit x86: exactly FWAIT, FNSAVE and FRSTOR through the staging area.
// 64-bit x86: the same for the x87 unit; C code computes in SSE there, so
// MXCSR is saved in the staging area's spare bytes after the 108-byte
// image and reset to its initial value for the box.
// Other processors: the C library's floating-point environment.
#include "report/fpu_guard.h"

#include <string.h>

#if !defined(__i386__) && !defined(__x86_64__)
#include <fenv.h>
#endif

alignas(16) unsigned char FpuStaging[128];
CRITICAL_SECTION FpuLock;

namespace {

// Set up during static initialisation, before any thread can report, and
// kept for the life of the process.
bool InitialiseFpuLock() {
    InitializeCriticalSection(&FpuLock);
    return true;
}
[[maybe_unused]] const bool FpuLockReady = InitialiseFpuLock();

#if defined(__x86_64__)
const unsigned int InitialMxcsr = 0x1F80; // all SSE exceptions masked, round to nearest
unsigned int *const SavedMxcsr = reinterpret_cast<unsigned int *>(FpuStaging + 108);
#endif

} // namespace

#if defined(__i386__) || defined(__x86_64__)

void SaveFpuState(unsigned char *buffer) {
    __asm__ volatile("fwait\n\tfnsave %0" : "=m"(FpuStaging)::"memory");
#if defined(__x86_64__)
    __asm__ volatile("stmxcsr %0\n\tldmxcsr %1" : "=m"(*SavedMxcsr) : "m"(InitialMxcsr) : "memory");
#endif
    __asm__ volatile("fwait" ::: "memory");
    memcpy(buffer, FpuStaging, sizeof FpuStaging);
}

void RestoreFpuState(const unsigned char *buffer) {
    memcpy(FpuStaging, buffer, sizeof FpuStaging);
    __asm__ volatile("fwait\n\tfrstor %0" ::"m"(FpuStaging) : "memory");
#if defined(__x86_64__)
    __asm__ volatile("ldmxcsr %0" ::"m"(*SavedMxcsr) : "memory");
#endif
}

#else

static_assert(sizeof(fenv_t) <= sizeof FpuStaging, "the environment fits the staging area");

void SaveFpuState(unsigned char *buffer) {
    fegetenv(reinterpret_cast<fenv_t *>(FpuStaging));
    fesetenv(FE_DFL_ENV);
    memcpy(buffer, FpuStaging, sizeof FpuStaging);
}

void RestoreFpuState(const unsigned char *buffer) {
    memcpy(FpuStaging, buffer, sizeof FpuStaging);
    fesetenv(reinterpret_cast<const fenv_t *>(FpuStaging));
}

#endif
