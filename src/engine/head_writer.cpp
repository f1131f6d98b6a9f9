// HeadWriter: appends lines to its buffer and sends the buffer whenever the next line does not
// fit, and at flush; a line longer than the buffer goes out on its own.
#include "engine/head_writer.h"

#include <cstring>

namespace kw {

int HeadWriter::send_all(const char* data, size_t n) {
  if (!net_send_all(socket_, data, n)) failed_ = true;
  return failed_ ? 0 : 1;
}

int HeadWriter::add(const char* text, size_t n) {
  if (failed_) return 0;
  if (used_ + n > sizeof buffer_) {
    if (!flush()) return 0;
    if (n > sizeof buffer_) return send_all(text, n);
  }
  std::memcpy(buffer_ + used_, text, n);
  used_ += n;
  return 1;
}

int HeadWriter::add(const char* text) { return add(text, std::strlen(text)); }

int HeadWriter::add_header(const char* name, const char* value) {
  return add(name) && add(": ", 2) && add(value) && add("\r\n", 2);
}

int HeadWriter::flush() {
  if (failed_) return 0;
  size_t n = used_;
  used_ = 0;
  return send_all(buffer_, n);
}

}  // namespace kw
