// Control of the fake Camera Link simulator library built for the tests
// (libclsim.so in this directory): it records every entry-point call, in
// order, one line per call ("CLSimSetRollMode(3,1)").
#pragma once

extern "C" {
// Forgets the recorded calls and restores the default answers.
void clsimFake_reset();
// The recorded calls, each followed by '\n'.  Valid until the next call of a
// fake function.
const char* clsimFake_log();
// The answer of CLSimOpenCOM (default 1: opened).
void clsimFake_setOpenResult(int result);
// With `full` set, CLSimGetAsyncString fills the whole buffer with 'A'
// without a terminating zero; otherwise it writes "async:<camera>".
void clsimFake_setAsyncFill(int full);
}
