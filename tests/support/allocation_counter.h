#pragma once
// Counts heap allocations made by the current thread while a counter is alive (the test
// program replaces the global operator new to feed it).
#include <cstddef>

namespace vorl::test {

class AllocationCounter {
public:
    AllocationCounter();
    ~AllocationCounter();
    size_t count() const;
};

}  // namespace vorl::test
