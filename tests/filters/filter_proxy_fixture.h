// The whole proxy with filters: a listener on a free port (ProxyTest) whose web and header filter
// lists start empty, and whose use counts must be back at 0 once every connection has ended.
#pragma once

#include <string>

#include "filters/header_filters.h"
#include "filters/page_filter.h"
#include "filters/web_filter.h"
#include "support/proxy_fixture.h"

namespace kw::test {

class FilterProxyTest : public ProxyTest {
 protected:
  void SetUp() override {
    free_web_filters();
    free_header_filters();
    ProxyTest::SetUp();
  }
  void TearDown() override {
    ProxyTest::TearDown();
    EXPECT_EQ(web_filter_users_add(0), 0);
    EXPECT_EQ(header_filter_users_add(0), 0);
    free_web_filters();
    free_header_filters();
  }
};

// text with "{port}" replaced by port and "{dir}" by the program directory's file URL.
inline std::string fill(std::string text, uint16_t port) {
  for (size_t at; (at = text.find("{port}")) != std::string::npos;) {
    text.replace(at, 6, std::to_string(port));
  }
  for (size_t at; (at = text.find("{dir}")) != std::string::npos;) {
    text.replace(at, 5, directory_url());
  }
  return text;
}

}  // namespace kw::test
