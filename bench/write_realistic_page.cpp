// Writes the benchmarks' realistic 200 KB HTML page to standard output, for an origin to serve.
#include <cstdio>

#include "realistic_page.h"

int main() {
  const std::string page = kw::bench::build_realistic_page();
  return std::fwrite(page.data(), 1, page.size(), stdout) == page.size() ? 0 : 1;
}
