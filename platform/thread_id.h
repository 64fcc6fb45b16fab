#pragma once
// The calling thread's identifier as the platform reports it (GetCurrentThreadId on Windows,
// the kernel's thread id on Linux), for diagnostic lines that tell threads apart.

namespace vorl::platform {

unsigned long currentThreadId();

}  // namespace vorl::platform
