// Reading the signed decimal number; see decimal.h.
#include "base/decimal.h"

#include <algorithm>

namespace kw {

int32_t read_config_decimal(std::string_view value) {
  size_t i = 0;
  while (i < value.size() && (value[i] == ' ' || value[i] == '\t')) ++i;
  bool negative = false;
  if (i < value.size() && (value[i] == '-' || value[i] == '+')) negative = value[i++] == '-';
  int64_t n = 0;
  for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
    if (n <= INT32_MAX) n = n * 10 + (value[i] - '0');
  }
  n = std::min<int64_t>(n, INT32_MAX);
  return static_cast<int32_t>(negative ? -n : n);
}

}  // namespace kw
