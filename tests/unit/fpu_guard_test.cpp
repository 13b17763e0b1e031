// The floating-point guard around the message box.
#include "report/fpu_guard.h"
#include "report/report.h"

#include <gtest/gtest.h>
#include <stdint.h>
#include <string.h>

#if defined(__i386__) || defined(__x86_64__)

namespace {

// What the x87 unit (and on x86-64 the SSE unit) holds, as far as the
// caller can see it.
struct FpuView {
    uint16_t control;
    uint16_t status;
    uint16_t tags;
    uint32_t mxcsr;
};

const uint16_t InitialControl = 0x037F; // all masked, extended precision, nearest
const uint16_t AllEmptyTags = 0xFFFF;
const uint32_t InitialMxcsr = 0x1F80;

FpuView ReadFpu() {
    // FNSTENV masks every exception afterwards; FLDENV puts the unit back.
    uint32_t environment[7];
    __asm__ volatile("fnstenv %0\n\tfldenv %0" : "+m"(environment));
    FpuView view = {static_cast<uint16_t>(environment[0]), static_cast<uint16_t>(environment[1]),
                    static_cast<uint16_t>(environment[2]), 0};
#if defined(__x86_64__)
    __asm__ volatile("stmxcsr %0" : "=m"(view.mxcsr));
#endif
    return view;
}

void SetFpuControl(uint16_t control, uint32_t mxcsr) {
    __asm__ volatile("fldcw %0" ::"m"(control));
#if defined(__x86_64__)
    __asm__ volatile("ldmxcsr %0" ::"m"(mxcsr));
#else
    (void)mxcsr;
#endif
}

void ResetFpu() {
    __asm__ volatile("fninit");
    SetFpuControl(InitialControl, InitialMxcsr);
}

struct CallerState {
    uint16_t control;
    uint32_t mxcsr;
    const char *what;
};

// Exception masks, precision and rounding a caller may have set.
const CallerState CallerStates[] = {
    {0x0340, 0x0000, "every exception unmasked, SSE too"},
    {0x007F, 0x1F80, "single precision"},
    {0x0C7F, 0x7F80, "rounding toward zero"},
    {0x0A72, 0x5980, "double precision, rounding up, some masks"},
};

class FpuGuard : public testing::TestWithParam<CallerState> {
  protected:
    void TearDown() override {
        ResetFpu();
    }
};

TEST_P(FpuGuard, ResetsTheUnitAndGivesTheCallersStateBack) {
    const CallerState &caller = GetParam();
    const double first = 1.25, second = -3.5;
    double poppedSecond = 0, poppedFirst = 0;
    unsigned char saved[512];

    SetFpuControl(caller.control, caller.mxcsr);
    __asm__ volatile("fldl %0\n\tfldl %1" ::"m"(first), "m"(second));
    FpuView before = ReadFpu();
    SaveFpuState(saved);
    FpuView during = ReadFpu();
    RestoreFpuState(saved);
    FpuView after = ReadFpu();
    __asm__ volatile("fstpl %0\n\tfstpl %1" : "=m"(poppedSecond), "=m"(poppedFirst));
    ResetFpu();

    EXPECT_EQ(during.control, InitialControl);
    EXPECT_EQ(during.status, 0);
    EXPECT_EQ(during.tags, AllEmptyTags);
#if defined(__x86_64__)
    EXPECT_EQ(during.mxcsr, InitialMxcsr);
#endif
    EXPECT_EQ(after.control, before.control);
    EXPECT_EQ(after.status, before.status);
    EXPECT_EQ(after.tags, before.tags);
    EXPECT_EQ(after.mxcsr, before.mxcsr);
    EXPECT_EQ(before.control & 0x1F3F, caller.control & 0x1F3F);
    EXPECT_EQ(poppedFirst, first);
    EXPECT_EQ(poppedSecond, second);
}

INSTANTIATE_TEST_SUITE_P(CallerSettings, FpuGuard, testing::ValuesIn(CallerStates));

// What the box's code leaves in the unit is discarded with the caller's
// state reloaded.
TEST(FpuGuardReport, DiscardsWhatTheBoxLeavesBehind) {
    unsigned char saved[512];
    SetFpuControl(0x0C7F, 0x7F80);
    SaveFpuState(saved);
    SetFpuControl(0x007F, 0x1F80); // as a careless box might leave it
    RestoreFpuState(saved);
    FpuView after = ReadFpu();
    ResetFpu();
    EXPECT_EQ(after.control, 0x0C7F);
#if defined(__x86_64__)
    EXPECT_EQ(after.mxcsr, 0x7F80u);
#endif
}

#if defined(_WIN32)

// On Windows the state is read while the real box is up, from a timer that
// the box's own message loop dispatches; the same timer then presses OK.
FpuView StateWhileBoxIsUp;
bool BoxWasInspected = false;

BOOL CALLBACK PressOk(HWND window, LPARAM) {
    char className[16];
    if (GetClassNameA(window, className, sizeof className) > 0 &&
        strcmp(className, "#32770") == 0) {
        PostMessageA(window, WM_COMMAND, IDOK, 0);
        BoxWasInspected = true;
    }
    return TRUE;
}

void CALLBACK InspectAndCloseBox(HWND, UINT, UINT_PTR, DWORD) {
    if (!BoxWasInspected)
        StateWhileBoxIsUp = ReadFpu();
    EnumThreadWindows(GetCurrentThreadId(), PressOk, 0);
}

TEST(FpuGuardReport, TheBoxRunsInTheInitialStateAndTheCallerKeepsItsOwn) {
    UINT_PTR timer = SetTimer(nullptr, 0, 300, InspectAndCloseBox);
    ASSERT_NE(timer, 0u);
    SetFpuControl(0x0C60, InitialMxcsr); // unmasked exceptions, rounding toward zero
    FpuView before = ReadFpu();
    ReportMessage("Checking the floating-point guard");
    FpuView after = ReadFpu();
    ResetFpu();
    KillTimer(nullptr, timer);
    if (!BoxWasInspected)
        GTEST_SKIP() << "no display: the box returned at once";
    EXPECT_EQ(StateWhileBoxIsUp.control, InitialControl);
    EXPECT_EQ(after.control, before.control);
}

#else

// The POSIX port's box is a line on standard error; the caller's state is
// back after it.
TEST(FpuGuardReport, TheCallerKeepsItsStateAcrossTheReport) {
    SetFpuControl(0x0C60, 0x7F80);
    FpuView before = ReadFpu();
    testing::internal::CaptureStderr();
    ReportMessage("Checking the floating-point guard");
    std::string shown = testing::internal::GetCapturedStderr();
    FpuView after = ReadFpu();
    ResetFpu();
    EXPECT_EQ(after.control, before.control);
    EXPECT_EQ(after.mxcsr, before.mxcsr);
    EXPECT_NE(shown.find(": Checking the floating-point guard\n"), std::string::npos) << shown;
}

#endif

} // namespace

#else

#include <fenv.h>

TEST(FpuGuard, ResetsTheEnvironmentAndGivesTheCallersBack) {
    unsigned char saved[512];
    fesetround(FE_TOWARDZERO);
    SaveFpuState(saved);
    int during = fegetround();
    RestoreFpuState(saved);
    int after = fegetround();
    fesetround(FE_TONEAREST);
    EXPECT_EQ(during, FE_TONEAREST);
    EXPECT_EQ(after, FE_TOWARDZERO);
}

#endif
