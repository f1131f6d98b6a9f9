// The header list of an HttpMessage: parse_headers reads a header block up to its empty line
// into heap nodes, find_header and remove_header look names up without regard to case, and
// free_headers releases the list. Nodes and their texts come from std::malloc and go back with
// std::free (the header filters replace a value's storage the same way). A node whose texts are
// still missing (the parse failed before they were given) has a null name and value; every
// walk skips it. Runs on the connection thread that owns the message.
#include <cstdlib>
#include <cstring>

#include "base/char_class.h"
#include "http/http_message.h"

namespace kw {
namespace {

constexpr int kNameSize = 40;     // at most 39 characters
constexpr int kValueSize = 2048;  // at most 2047 characters
// A header block of more lines than this fails, so a peer that sends header lines without end
// cannot make the connection allocate without bound.
constexpr int kMaxHeaderLines = 1000;

// Gives the pending node owned copies of the name and value being built. 1 or 0 (no memory).
int give_texts(HeaderField* node, const char* name, const char* value) {
  if (node == nullptr) return 1;
  node->name = strdup(name);
  node->value = strdup(value);
  if (node->name == nullptr || node->value == nullptr) return 0;
  node->value_capacity = static_cast<int16_t>(std::strlen(value) + 1);
  return 1;
}

void append_node(HttpMessage* msg, HeaderField* pending, HeaderField* node) {
  if (pending != nullptr) {
    pending->next = node;
    return;
  }
  HeaderField** link = &msg->headers;
  while (*link != nullptr) link = &(*link)->next;
  *link = node;
}

}  // namespace

int parse_headers(HttpMessage* msg) {
  char name[kNameSize] = "";
  char value[kValueSize] = "";
  int write = 0;  // value[0, write) is the value so far; value[write] is its terminator
  HeaderField* pending = nullptr;
  char* line = msg->line;

  int count = read_line(msg, line, kLineBufferSize);
  if (count == 0) return 0;
  for (int lines = 0;; ++lines) {
    if (count <= 2) return give_texts(pending, name, value);
    if (lines == kMaxHeaderLines) return 0;

    const char* text;
    if (is_token(line[0])) {
      auto* node = static_cast<HeaderField*>(std::calloc(1, sizeof(HeaderField)));
      if (node == nullptr || !give_texts(pending, name, value)) {
        std::free(node);
        return 0;
      }
      append_node(msg, pending, node);
      pending = node;
      int n = 0;
      while (n < kNameSize - 1 && line[n] != ':' && static_cast<signed char>(line[n]) >= 32) {
        name[n] = line[n];
        ++n;
      }
      name[n] = '\0';
      if (line[n] != ':') return 0;
      write = 0;
      value[0] = '\0';
      text = line + n + 1;
    } else {
      if (pending == nullptr) return 0;
      if (write < kValueSize - 1) {
        value[write++] = ' ';
        value[write] = '\0';
      }
      text = line;
    }

    while (is_skippable_blank(*text)) ++text;
    while (*text != '\0' && write < kValueSize - 1) value[write++] = *text++;
    // Trailing blanks go (the line's CR LF among them), and so does the joining space of a
    // continuation line that held only blanks.
    while (write > 0 && is_blank(value[write - 1])) --write;
    value[write] = '\0';

    count = read_line(msg, line, kLineBufferSize);
    if (count == 0) return 0;
  }
}

HeaderField* find_header(HttpMessage* msg, const char* name) {
  for (HeaderField* h = msg->headers; h != nullptr; h = h->next) {
    if (h->name != nullptr && equals_ignoring_case(h->name, name)) return h;
  }
  return nullptr;
}

int remove_header(HttpMessage* msg, const char* name) {
  for (HeaderField** link = &msg->headers; *link != nullptr; link = &(*link)->next) {
    HeaderField* h = *link;
    if (h->name != nullptr && equals_ignoring_case(h->name, name)) {
      *link = h->next;
      std::free(h->name);
      std::free(h->value);
      std::free(h);
      return 1;
    }
  }
  return 0;
}

int free_headers(HttpMessage* msg) {
  HeaderField* h = msg->headers;
  while (h != nullptr) {
    HeaderField* next = h->next;
    std::free(h->name);
    std::free(h->value);
    std::free(h);
    h = next;
  }
  msg->headers = nullptr;
  return 1;
}

}  // namespace kw
