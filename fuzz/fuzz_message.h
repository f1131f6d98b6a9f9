// Feeds fuzzer input to an HttpMessage as a peer would send it: the first input byte chooses
// how the rest is cut into receives (1 to 64 bytes each), and the peer closes after the last
// piece.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "memory_streams.h"

namespace kw::fuzz {

class FuzzMessage : public FedMessage {
 public:
  FuzzMessage(const uint8_t* data, size_t size) : FedMessage(pieces(data, size)) {}

 private:
  static std::vector<std::string> pieces(const uint8_t* data, size_t size) {
    if (size == 0) return {};
    return cut(std::string(reinterpret_cast<const char*>(data) + 1, size - 1), data[0] % 64 + 1);
  }
};

}  // namespace kw::fuzz
