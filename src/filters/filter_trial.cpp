// Trying a web filter on a sample; see filter_trial.h.
#include "filters/filter_trial.h"

#include <algorithm>
#include <cstdio>

#include "filters/emit_replacement.h"
#include "filters/page_filter.h"
#include "filters/page_output.h"
#include "filters/pull_input.h"

namespace kw {
namespace {

// The request line of a page from `url`, for the URL pattern and the replacement's URL parts.
class SampleRequest {
 public:
  explicit SampleRequest(std::string_view url) {
    if (url.empty()) return;
    line_ = "GET " + std::string(url) + " HTTP/1.0";
    message_ = std::make_unique<HttpMessage>();
    message_->line = line_.data();
    message_->request = &request_;
    if (parse_request_line(message_.get()) == 0) message_.reset();
  }
  HttpMessage* message() const { return message_.get(); }

 private:
  std::string line_;
  RequestLine request_{};
  std::unique_ptr<HttpMessage> message_;
};

void add_change(FilterTrial* trial, size_t from, size_t to) {
  if (to <= from) return;
  auto& changes = trial->changes;
  if (!changes.empty() && changes.back().offset + changes.back().length >= from) {
    const size_t end = std::max(to, changes.back().offset + changes.back().length);
    changes.back().length = end - changes.back().offset;
    return;
  }
  changes.push_back({from, to - from});
}

class TrialWatcher final : public ScanWatcher {
 public:
  TrialWatcher(FilterTrial* trial, const MemoryBody* body, StringOutput* output)
      : trial_(trial), body_(body), output_(output) {}

  void matched(MatchContext* ctx, const WebFilter& f, const char* start, const char* end,
               bool rescanned) override {
    TrialMatch m;
    m.rescanned = rescanned;
    m.length = static_cast<size_t>(end - start);
    // Bytes from the scan position on that are not put-back replacement text are the last ones
    // the sample delivered.
    if (!rescanned) {
      m.offset = body_->delivered() - static_cast<size_t>(ctx->data_end - start);
      sample_end_ = m.offset + m.length;
    } else {
      m.offset = sample_end_;
    }
    m.text.assign(start, m.length);
    for (int i = 0; i < kVariableCount; ++i) {
      if (ctx->variable_length[i] > 0) {
        m.variables[i].assign(ctx->variable_start[i], ctx->variable_length[i]);
      }
    }
    m.output_offset = output_->size();
    if (f.replace_code) {
      scratch_.resize(kSwapBufferSize);
      const int expansion =
          emit_replacement(ctx, f.replace_code, scratch_.data(), static_cast<int>(scratch_.size()));
      m.output_length = expansion > 0 ? static_cast<size_t>(expansion) : 0;
    }
    add_change(trial_, m.output_offset, m.output_offset + m.output_length);
    trial_->matches.push_back(std::move(m));
  }

 private:
  FilterTrial* trial_;
  const MemoryBody* body_;
  StringOutput* output_;
  size_t sample_end_ = 0;
  std::string scratch_;
};

}  // namespace

int build_trial_filter(const WebFilterFields& fields, OwnedWebFilter* result, int* limit_result) {
  OwnedWebFilter record(new_web_filter());
  if (!record) return kResultFailed;
  const uint16_t flags = FILTER_ACTIVE | (fields.multi ? FILTER_MULTI : 0);
  const int built = build_web_filter_from_fields(record.get(), flags, fields, limit_result);
  if (built != kResultOk) return built;
  *result = std::move(record);
  return kResultOk;
}

std::string escaped_bytes(std::string_view bytes) {
  std::string out;
  for (const char byte : bytes) {
    const unsigned char c = static_cast<unsigned char>(byte);
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\\') {
      out += "\\\\";
    } else if (c < 32 || c >= 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    } else {
      out += byte;
    }
  }
  return out;
}

FilterTrial try_web_filter(const WebFilter& filter, std::string_view body, std::string_view url) {
  FilterTrial trial;
  std::vector<char> a(kSwapBufferSize);
  std::vector<char> b(kSwapBufferSize);
  MemoryBody source(body);
  StringOutput output(&trial.rewritten);
  SampleRequest request(url);
  TrialWatcher watcher(&trial, &source, &output);
  MatchContext ctx{};
  set_swap_buffers(&ctx, a.data(), b.data());
  ctx.source = &source;
  ctx.output = &output;
  ctx.client = request.message();
  ctx.watcher = &watcher;

  trial.applies = url.empty() || url_matches(&ctx, filter);
  // The passes only read the record (and count its hits); being in no list, it is the whole
  // list they run.
  WebFilter* list = const_cast<WebFilter*>(&filter);
  PageFilterList page;
  run_start_filters(list, &ctx, 1, &page);
  add_change(&trial, 0, output.size());
  if (!page.empty()) {
    scan_page(&ctx, &page);
  } else {
    output.write(body.data(), body.size());
  }
  const size_t before_end = output.size();
  run_end_filters(list, &ctx, 1);
  add_change(&trial, before_end, output.size());
  output.flush();
  return trial;
}

}  // namespace kw
