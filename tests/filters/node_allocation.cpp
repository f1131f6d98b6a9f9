// Replaces the nothrow operator new of the test program; see node_allocation.h.
#include "node_allocation.h"

#include <new>

#include "filters/web_filter.h"

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (kw::test::fail_node_allocations && size == sizeof(kw::LinkPat)) return nullptr;
  try {
    return ::operator new(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
