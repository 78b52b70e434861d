// Allocation failure on demand, for the program's own calls to malloc and
// operator new (which the standard containers use), and a failed send (the unit
// tests link with -Wl,--wrap=malloc,--wrap=free,--wrap=send).
#pragma once

/// Lets `skip` more allocations succeed, then fails exactly one.
void FailAllocation(int skip = 0);
/// Fails every allocation from now on, until AllowAllocations.
void FailAllAllocations();
void AllowAllocations();
/// Allocations made through the wrapper so far.
long AllocationCount();
/// Blocks allocated and not yet released through the wrappers.
long LiveAllocations();
/// Makes the next send fail as on a connection the peer has reset.
void FailNextSend();
/// Makes every socket of `family` fail to open from now on, as on a
/// system without it; AF_UNSPEC lets them open again.
void RefuseSockets(int family);
