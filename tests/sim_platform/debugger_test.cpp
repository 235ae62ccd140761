// The debugger queries: IsDebuggerPresent with and without the simulated debugger, and what
// DebugBreak does with one attached and with none.
#include <gtest/gtest.h>

#include "hostlink/win32_subset.h"
#include "win32sim_control.h"

namespace {

class Debugger : public ::testing::Test {
 protected:
  void SetUp() override { Win32SimResetDebugBreakCount(); }
  void TearDown() override { Win32SimSetDebuggerAttached(false); }
};

TEST_F(Debugger, SimulatedDebuggerTakesTheBreakAndTheProgramGoesOn) {
  EXPECT_EQ(IsDebuggerPresent(), FALSE);  // the tests do not run under a tracer
  Win32SimSetDebuggerAttached(true);
  EXPECT_EQ(IsDebuggerPresent(), TRUE);
  DebugBreak();
  DebugBreak();
  EXPECT_EQ(Win32SimDebugBreakCount(), 2);
  Win32SimResetDebugBreakCount();
  EXPECT_EQ(Win32SimDebugBreakCount(), 0);
  Win32SimSetDebuggerAttached(false);
  EXPECT_EQ(IsDebuggerPresent(), FALSE);
}

TEST_F(Debugger, BreakWithNoDebuggerEndsTheProcess) {
  EXPECT_DEATH(DebugBreak(), "");
  EXPECT_EQ(Win32SimDebugBreakCount(), 0);  // counted only in the process that ended
}

}  // namespace
