// The whole proxy with filters: a listener on a free port (ProxyTest) whose web and header filter
// lists start empty, and whose use counts must be back at 0 once every connection has ended.
#pragma once

#include <string>

#include "support/proxy_fixture.h"

namespace kw::test {

class FilterProxyTest : public ProxyTest {
 protected:
  void SetUp() override;
  void TearDown() override;
};

// text with "{port}" replaced by port and "{dir}" by the program directory's file URL.
std::string fill(std::string text, uint16_t port);

}  // namespace kw::test
