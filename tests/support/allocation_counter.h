// Counts the allocations of a test program.
//
// Linking allocation_counter.cpp into a test executable replaces the global
// operator new and delete, so a test can show that a piece of code allocates
// nothing: read the count before and after it.
#pragma once

namespace quillprobe::testing_support {

// Calls of operator new so far, in every thread.
long AllocationCount();

}  // namespace quillprobe::testing_support
