#pragma once
#include <QtGlobal>

// The random draws of the automatic question selection: a 32-bit linear congruential generator
// (state × 134775813 + 1 mod 2^32). Its state is seeded once per run from the system's random
// source, so that the same bank does not give the same paper every time the program starts.
namespace randomdraw {

quint32 state();
// Sets the state, so that a run can be repeated (tests use a known state).
void setState(quint32 value);
// Advances the state and returns the upper 32 bits of state × n: a value in 0 … n-1 (n ≥ 1).
int below(int n);

}  // namespace randomdraw
