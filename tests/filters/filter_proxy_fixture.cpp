// See filter_proxy_fixture.h.
#include "filter_proxy_fixture.h"

#include "filters/header_filters.h"
#include "filters/page_filter.h"
#include "filters/web_filter.h"

namespace kw::test {

void FilterProxyTest::SetUp() {
  free_web_filters();
  free_header_filters();
  ProxyTest::SetUp();
}

void FilterProxyTest::TearDown() {
  ProxyTest::TearDown();
  EXPECT_EQ(web_filter_users_add(0), 0);
  EXPECT_EQ(header_filter_users_add(0), 0);
  free_web_filters();
  free_header_filters();
}

std::string fill(std::string text, uint16_t port) {
  const std::string url = directory_url();
  for (size_t at; (at = text.find("{port}")) != std::string::npos;) {
    text.replace(at, 6, std::to_string(port));
  }
  for (size_t at; (at = text.find("{dir}")) != std::string::npos;) text.replace(at, 5, url);
  return text;
}

}  // namespace kw::test
