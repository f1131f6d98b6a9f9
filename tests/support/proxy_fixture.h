// A test fixture that runs the real listener on 127.0.0.1 and a free port, with a recording
// frontend, and stops it between tests: the stop flag is set, every engine socket is shut down,
// the fixture waits for the listener and every connection to end, and the socket layer starts
// again. Settings start from the load default (flags 63) with port 0.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "support/child_record.h"  // wait_until
#include "support/origin_server.h"
#include "support/recording_frontend.h"

namespace kw::test {

class ProxyTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Kills every connection and the listener and waits until all have ended.
  static void stop_proxy();
  // The active connection count (shown as a side effect, as the engine does).
  static int active_connections();
  // Waits until n connections have logged their "W+++CLOSE n+++" line, the last thing a
  // connection does (after the browser already saw the connection close).
  bool wait_for_closes(size_t n, int timeout_ms = 10000) const;
  // Lines logged so far that start with prefix.
  std::vector<std::string> lines_starting(const std::string& prefix) const;
  // What the browser receives for "GET <origin's url of path> HTTP/1.0" through the proxy.
  std::string get(const OriginServer& origin, const std::string& path = "/") const;

  RecordingFrontend frontend_;
  uint16_t port_ = 0;
};

// The program directory's file URL, as error pages and replacement codes give it.
std::string directory_url();

}  // namespace kw::test
