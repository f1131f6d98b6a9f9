// Lets a test make the nothrow allocation of LinkPat nodes and of a page's filter list too long
// to be held without the heap fail, as it would with the memory used up; every other
// allocation goes on as usual.
#pragma once

#include <atomic>

namespace kw::test {

inline std::atomic<bool> fail_node_allocations{false};

}  // namespace kw::test
