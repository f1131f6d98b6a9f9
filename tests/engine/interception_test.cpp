// Inspected secure tunnels through the whole proxy: TLS sites on 127.0.0.1 with certificates
// made here under a test root (the trust store SSL_CERT_FILE names), the user's authority in a
// temporary configuration folder, and curl as the browser, trusting only what it is told.
#include "secure/interception.h"

#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/settings.h"
#include "engine/listener.h"
#include "filters/header_filters.h"
#include "filters/web_filter.h"
#include "platform/process.h"
#include "support/files.h"
#include "support/proxy_fixture.h"
#include "support/raw_client.h"

namespace kw {
namespace {

using test::OriginServer;
using test::wait_until;

std::string pem(X509* cert, EVP_PKEY* key = nullptr) {
  BioHandle bio(BIO_new(BIO_s_mem()));
  if (cert != nullptr) PEM_write_bio_X509(bio.get(), cert);
  if (key != nullptr)
    PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr);
  char* data = nullptr;
  const long n = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<size_t>(n));
}

struct Signed {
  KeyHandle key;
  CertHandle cert;
};

// A certificate for name (a CA when issuer is null and ca is set), signed by issuer or itself.
Signed make_cert(const char* name, const Signed* issuer, long days, bool ca = false) {
  Signed made{make_ec_key(), nullptr};
  made.cert = new_certificate(made.key.get(), days);
  X509* c = made.cert.get();
  X509_NAME_add_entry_by_txt(X509_get_subject_name(c), "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(name), -1, -1, 0);
  X509* by = issuer != nullptr ? issuer->cert.get() : c;
  X509_set_issuer_name(c, X509_get_subject_name(by));
  if (ca) {
    add_extension(c, by, NID_basic_constraints, "critical,CA:TRUE");
    add_extension(c, by, NID_key_usage, "critical,keyCertSign");
  } else {
    add_extension(c, by, NID_subject_alt_name, (std::string("DNS:") + name).c_str());
  }
  X509_sign(c, issuer != nullptr ? issuer->key.get() : made.key.get(), EVP_sha256());
  return made;
}

// A TLS site serving `reply` to one request per connection; with `hold` it then waits for the
// proxy to close.
class TlsSite {
 public:
  TlsSite(const Signed& identity, std::string reply, bool hold = false)
      : context_(SSL_CTX_new(TLS_server_method())),
        server_([this, reply, hold](int fd) { return serve(fd, reply, hold); }) {
    SSL_CTX_use_certificate(context_.get(), identity.cert.get());
    SSL_CTX_use_PrivateKey(context_.get(), identity.key.get());
  }
  uint16_t port() const { return server_.port(); }

 private:
  std::string serve(int fd, const std::string& reply, bool hold) {
    SslHandle ssl(SSL_new(context_.get()));
    SSL_set_fd(ssl.get(), fd);
    std::string request;
    char c;
    if (SSL_accept(ssl.get()) != 1) return request;
    while (request.find("\r\n\r\n") == std::string::npos && SSL_read(ssl.get(), &c, 1) == 1) {
      request += c;
    }
    SSL_write(ssl.get(), reply.data(), static_cast<int>(reply.size()));
    if (hold) SSL_read(ssl.get(), &c, 1);
    SSL_shutdown(ssl.get());
    return request;
  }

  SslContextHandle context_;
  OriginServer server_;
};

const char kPage[] = "<html><body>a cat and a dog</body></html>";
const std::string kReply = std::string("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n") +
                           "X-Secret: dropped\r\n\r\n" + kPage;

class Inspection : public test::ProxyTest {
 protected:
  static void SetUpTestSuite() {
    signal(SIGPIPE, SIG_IGN);  // the test's own TLS sites write with plain sockets
    scratch_ = std::make_unique<test::ScratchDir>();
    root_ = std::make_unique<Signed>(make_cert("Test Root", nullptr, 2, true));
    test::write_file(scratch_->file("root.crt"), pem(root_->cert.get()));
    setenv("SSL_CERT_FILE", scratch_->file("root.crt").c_str(), 1);
    setenv("XDG_CONFIG_HOME", scratch_->path().c_str(), 1);
    site_ = std::make_unique<Signed>(make_cert("localhost", root_.get(), 2));
  }
  static void TearDownTestSuite() {
    site_.reset();
    root_.reset();
    scratch_.reset();
  }
  void SetUp() override {
    ProxyTest::SetUp();
    settings_add_flags(InspectSecure);
    ASSERT_TRUE(prepare_inspection());
    std::string error;
    ASSERT_TRUE(export_inspection_certificate(scratch_->file("exported.crt"), &error)) << error;
  }
  void TearDown() override {
    ProxyTest::TearDown();
    set_pass_through({});
    free_web_filters();
    free_header_filters();
  }

  // Sets the pass-through hosts as the program does: once no connection is active, under the
  // connection lock, which every connection takes as it starts and as it ends.
  void set_pass_through(std::vector<std::string> hosts) {
    ASSERT_TRUE(wait_until([] { return active_connections() == 0; }));
    ConnectionLock lock;
    pass_through_hosts() = std::move(hosts);
  }

  // What curl prints for the page (with -v, the certificate it saw), trusting only `trust`.
  std::string fetch(uint16_t port, const std::string& trust, const std::string& extra = "") {
    const std::string url = "https://localhost:" + std::to_string(port) + "/page.html";
    return test::curl_through(port_, url, 20, nullptr, "-v --cacert '" + trust + "' " + extra);
  }
  static std::string exported() { return scratch_->file("exported.crt"); }
  static std::string ca_file(const char* name) { return scratch_->path() + "/kestrelwick/" + name; }

  static inline std::unique_ptr<test::ScratchDir> scratch_;
  static inline std::unique_ptr<Signed> root_, site_;
};

TEST_F(Inspection, FiltersThePageUnderTheUsersCertificate) {
  ASSERT_EQ(build_web_filter(nullptr, FILTER_ACTIVE | FILTER_MULTI, "m", nullptr, "cat", nullptr,
                             256, "dog"),
            1);
  ASSERT_EQ(build_web_filter(nullptr, FILTER_ACTIVE, "w", nullptr, "dog", nullptr, 256, "wolf"), 1);
  ASSERT_EQ(build_header_filter(nullptr, HEADER_IN, "X-Secret", nullptr, nullptr), 1);
  TlsSite site(*site_, kReply);
  const std::string out = fetch(site.port(), exported(), "-i");
  EXPECT_NE(out.find("<html><body>a wolf and a wolf</body></html>"), std::string::npos) << out;
  EXPECT_EQ(out.find("X-Secret"), std::string::npos);
  EXPECT_NE(out.find("Connection: close"), std::string::npos);
  EXPECT_NE(out.find("issuer: O=Kestrelwick; CN=Kestrelwick CA on "), std::string::npos);
  EXPECT_NE(out.find("subjectAltName: host \"localhost\" matched"), std::string::npos);
  EXPECT_TRUE(frontend_.has_line("GGET https://localhost:" + std::to_string(site.port()) +
                                 "/page.html HTTP/1.1"));

  // A browser that does not trust the authority yet breaks the handshake off: one log line.
  fetch(site.port(), scratch_->file("root.crt"));
  ASSERT_TRUE(wait_for_closes(2));
  EXPECT_EQ(lines_starting("R** ").size(), 1u);
  EXPECT_NE(lines_starting("R** ")[0].find("The browser ended the secure connection"),
            std::string::npos);
}

// A site that fails the check never shows its page: the browser gets the 502 page that names
// the host and why, and the log says so in the error colour.
TEST_F(Inspection, UntrustedSitesGetTheErrorPage) {
  const Signed self_signed = make_cert("localhost", nullptr, 2);
  const Signed other_host = make_cert("elsewhere.example", root_.get(), 2);
  const Signed expired = make_cert("localhost", root_.get(), -1);
  const std::pair<const Signed*, const char*> cases[] = {{&self_signed, "self-signed certificate"},
                                                         {&other_host, "hostname mismatch"},
                                                         {&expired, "certificate has expired"}};
  for (const auto& [identity, reason] : cases) {
    SCOPED_TRACE(reason);
    TlsSite site(*identity, kReply);
    const std::string out = fetch(site.port(), exported(), "-i");
    EXPECT_NE(out.find("HTTP/1.0 502 Bad Gateway"), std::string::npos) << out;
    EXPECT_NE(out.find(std::string("localhost: ") + reason), std::string::npos);
    EXPECT_EQ(out.find(kPage), std::string::npos);
  }
  OriginServer plain([](int fd) {  // no TLS at all
    test::send_all(fd, kReply);
    return "";
  });
  EXPECT_NE(fetch(plain.port(), exported()).find("Secure site not trusted"), std::string::npos);
  ASSERT_TRUE(wait_for_closes(4));
  EXPECT_EQ(lines_starting("R** ").size(), 4u);
}

// Pass-through hosts, Bypass and inspection switched off tunnel untouched: curl sees the
// site's own certificate.
TEST_F(Inspection, UntouchedTunnelsShowTheSitesCertificate) {
  TlsSite site(*site_, kReply);
  const std::string root = scratch_->file("root.crt");
  set_pass_through({"*.example", "LocalHost"});
  EXPECT_NE(fetch(site.port(), root).find(kPage), std::string::npos);
  set_pass_through({});
  for (uint32_t off : {Enable, InspectSecure}) {
    settings_clear_flags(off);
    EXPECT_NE(fetch(site.port(), root).find(kPage), std::string::npos) << off;
    settings_add_flags(off);
  }
  EXPECT_EQ(fetch(site.port(), root).find(kPage), std::string::npos);  // inspected: curl refuses

  set_pass_through({"*.example.com", "host.test"});
  const std::pair<const char*, bool> hosts[] = {{"a.example.com", true}, {"A.B.Example.COM", true},
                                                {"example.com", false},  {"badexample.com", false},
                                                {"HOST.test", true},     {"sub.host.test", false}};
  for (const auto& [host, passed] : hosts) EXPECT_EQ(is_passed_through(host), passed) << host;
}

// The authority is made once, its key private to the user; a broken authority turns inspection
// off with a message and is left exactly as it was.
TEST_F(Inspection, AuthorityIsMadeOnceAndBrokenFilesAreLeftAlone) {
  struct stat info;
  ASSERT_EQ(stat(ca_file("ca.key").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  const std::string cert = test::read_file(ca_file("ca.crt"));
  ASSERT_TRUE(prepare_inspection());
  EXPECT_EQ(test::read_file(ca_file("ca.crt")), cert);

  TlsSite site(*site_, kReply);
  const std::string other_key = pem(nullptr, make_ec_key().get());
  // File, its broken content (empty: removed), and the message.
  const std::vector<std::vector<std::string>> cases = {
      {"ca.crt", "not a certificate\n", "ca.crt is not a PEM certificate"},
      {"ca.key", other_key, "ca.key does not belong to"},
      {"ca.crt", "", "ca.crt is missing"}};
  for (const std::vector<std::string>& c : cases) {
    SCOPED_TRACE(c[2]);
    const std::string path = ca_file(c[0].c_str());
    const std::string original = test::read_file(path);
    if (c[1].empty()) {
      std::remove(path.c_str());
    } else {
      test::write_file(path, c[1]);
    }
    EXPECT_FALSE(prepare_inspection());
    EXPECT_NE(frontend_.lines().back().find("RSecure pages are not inspected: "),
              std::string::npos);
    EXPECT_NE(frontend_.lines().back().find(c[2]), std::string::npos) << frontend_.lines().back();
    EXPECT_EQ(test::read_file(path), c[1]);
    EXPECT_NE(fetch(site.port(), scratch_->file("root.crt")).find(kPage), std::string::npos);
    test::write_file(path, original);
  }
  EXPECT_TRUE(prepare_inspection());
}

TEST_F(Inspection, AbortEndsAnInspectedDownload) {
  TlsSite site(*site_,
               "HTTP/1.0 200 OK\r\nContent-Type: application/octet-stream\r\n\r\n" +
                   std::string(100000, 'x'),
               true);
  ChildProcess curl;
  ASSERT_TRUE(ChildProcess::spawn({"curl", "-s", "-o", "/dev/null", "--cacert", exported(), "-x",
                                   "http://127.0.0.1:" + std::to_string(port_),
                                   "https://localhost:" + std::to_string(site.port()) + "/big"},
                                  &curl));
  ASSERT_TRUE(wait_until([&] { return lines_starting("YHTTP/1.0 200 OK").size() == 1; }));
  EXPECT_EQ(active_connections(), 1);
  set_listener_start_pause(200);
  restart_listener();
  EXPECT_TRUE(wait_until([] { return active_connections() == 0; }));
  EXPECT_TRUE(wait_until([&] { return !curl.running(); }));
}

}  // namespace
}  // namespace kw
