// Replacement expansion; see emit_replacement.h.
#include "filters/emit_replacement.h"

#include <cstring>

#include "filters/page_output.h"
#include "platform/net.h"
#include "platform/program_directory.h"

namespace kw {
namespace {

// The program directory is at most 511 characters; its URL takes three bytes for each.
constexpr int kDirectoryUrlSize = 7 + 3 * 511 + 1;

// Where the pieces of one expansion go.
class Sink {
 public:
  Sink(MatchContext* ctx, char* destination, int capacity)
      : ctx_(ctx), destination_(destination), capacity_(capacity) {}

  void add(const char* data, int n) {
    if (n <= 0 || failed_) return;
    total_ += n;
    if (destination_ != nullptr) {
      const int room = capacity_ - 1 - written_;
      const int piece = n < room ? n : room;
      if (piece > 0) {
        std::memcpy(destination_ + written_, data, static_cast<size_t>(piece));
        written_ += piece;
      }
    } else if (ctx_->output != nullptr) {
      failed_ = !ctx_->output->write(data, static_cast<size_t>(n));
    } else {
      failed_ = ctx_->client == nullptr || ctx_->client->socket == nullptr ||
                !message_send_all(ctx_->client, data, static_cast<size_t>(n));
    }
  }

  int finish() {
    if (destination_ != nullptr && capacity_ > 0) destination_[written_] = '\0';
    return failed_ ? kResultSendFailed : total_;
  }

 private:
  MatchContext* ctx_;
  char* destination_;
  int capacity_;
  int written_ = 0;  // destination_[0, written_) holds the expansion so far
  int total_ = 0;
  bool failed_ = false;
};

}  // namespace

int emit_replacement(MatchContext* ctx, const ReplacementCode& code, char* destination,
                     int capacity) {
  if (!code) return kResultNoReplacement;
  Sink sink(ctx, destination, capacity);
  const RequestLine* request = ctx->client != nullptr ? ctx->client->request : nullptr;
  for (const uint8_t* p = code.code();;) {
    const int length = read_be16(p);
    if (length == 0) break;
    const uint8_t* segment = p + 2;
    p = segment + length;
    if (!is_replacement_code_byte(segment[0])) {
      sink.add(reinterpret_cast<const char*>(segment), length);
      continue;
    }
    if (segment[0] == RC_VAR) {
      const uint8_t d = length > 1 ? segment[1] : kVariableCount;
      if (d < kVariableCount && ctx->variable_length[d] > 0) {
        sink.add(ctx->variable_start[d], ctx->variable_length[d]);
      }
      continue;
    }
    if (segment[0] == RC_DIR) {
      char url[kDirectoryUrlSize];
      sink.add(url, program_directory_url(url));
      continue;
    }
    if (request == nullptr) continue;
    switch (segment[0]) {
      case RC_URL:
        if (request->url != nullptr && request->url_end != nullptr) {
          sink.add(request->url, static_cast<int>(request->url_end - request->url));
        }
        break;
      case RC_HOST:
        if (request->host != nullptr) sink.add(request->host, request->host_len);
        break;
      case RC_PATH:
        if (request->path != nullptr) sink.add(request->path, request->path_len);
        break;
      case RC_QUERY:
        if (request->query != nullptr) sink.add(request->query, request->query_len);
        break;
      case RC_FRAGMENT:
        if (request->fragment != nullptr) sink.add(request->fragment, request->fragment_len);
        break;
    }
  }
  return sink.finish();
}

}  // namespace kw
