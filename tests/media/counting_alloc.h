// A count of the allocations made while counting is on: this test binary's operator new
// (counting_alloc.cpp) counts them.
#pragma once

namespace orba::testing_support {
void CountAllocations(bool on);  // turning it on clears the count
int Allocations();
}  // namespace orba::testing_support
