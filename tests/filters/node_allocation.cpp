// Replaces the nothrow operator new of the test program; see node_allocation.h.
#include "node_allocation.h"

#include <new>

#include "filters/page_filter.h"
#include "filters/web_filter.h"

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  constexpr std::size_t kPageListHeld =
      kw::PageFilterList::kInline * sizeof(kw::PageFilterList::Entry);
  if (kw::test::fail_node_allocations && (size == sizeof(kw::LinkPat) || size > kPageListHeld)) {
    return nullptr;
  }
  try {
    return ::operator new(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
