// The GIF freezer on any body: the first input byte is a NUL-free run of piece sizes (up to
// the first NUL), the rest is the body. The freezer must finish, pass on no more than the body
// and a trailer, and send the same bytes whether the body came whole or in those pieces.
#include <cstdlib>

#include "engine/gif_freezer.h"
#include "fuzz_peers.h"
#include "fuzz_reader.h"

namespace {

struct Frozen {
  int result;
  std::string sent;
};

Frozen freeze(const std::vector<std::string>& pieces) {
  kw::fuzz::FedMessage server(pieces);
  kw::fuzz::CappedSink sink(1 << 20);
  kw::fuzz::FedMessage browser({});
  browser.msg.stream = &sink;
  const int result = kw::freeze_gif(&server.msg, &browser.msg);
  return {result, sink.received()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 16384) return 0;
  kw::fuzz::FuzzReader in(data, size);
  const std::string sizes = in.text();
  const std::string body = in.rest();
  const Frozen whole = freeze({body});
  const Frozen cut = freeze(kw::fuzz::cut_by(body, sizes));
  if (whole.sent.size() > body.size() + 1) std::abort();
  if (whole.sent != cut.sent || whole.result != cut.result) std::abort();
  return 0;
}
