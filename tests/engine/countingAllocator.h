// Counts every allocation the program makes, so a test can prove that a stretch of code
// allocates nothing.
#pragma once

#include <cstddef>

namespace korvo::test {
std::size_t allocationCount();
}
