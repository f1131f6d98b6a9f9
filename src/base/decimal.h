// The signed decimal number as the configuration file writes it, read also where the proxy
// list names a port and where a request gives its Content-length.
#pragma once

#include <cstdint>
#include <string_view>

namespace kw {

// Leading blanks (spaces and tabs), an optional sign and the digits that follow; no digits
// give 0. Held within 32 bits.
int32_t read_config_decimal(std::string_view value);

}  // namespace kw
