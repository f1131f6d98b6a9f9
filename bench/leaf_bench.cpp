// Making the certificate for a host the proxy has not inspected before, and taking one it
// already made, with a fresh authority in memory.
#include <benchmark/benchmark.h>

#include <string>

#include "secure/leaf_certificates.h"

namespace {

kw::Authority test_authority() {
  kw::Authority a{kw::make_ec_key(), nullptr};
  a.cert = kw::new_certificate(a.key.get(), 30);
  X509_NAME_add_entry_by_txt(X509_get_subject_name(a.cert.get()), "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("bench"), -1, -1, 0);
  X509_set_issuer_name(a.cert.get(), X509_get_subject_name(a.cert.get()));
  X509_sign(a.cert.get(), a.key.get(), EVP_sha256());
  return a;
}

void BM_LeafForNewHost(benchmark::State& state) {
  kw::LeafCertificates leaves(test_authority());
  int n = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(leaves.for_host("host" + std::to_string(n++) + ".example"));
  }
}
BENCHMARK(BM_LeafForNewHost)->Unit(benchmark::kMicrosecond);

void BM_LeafFromCache(benchmark::State& state) {
  kw::LeafCertificates leaves(test_authority());
  leaves.for_host("cached.example");
  for (auto _ : state) benchmark::DoNotOptimize(leaves.for_host("cached.example"));
}
BENCHMARK(BM_LeafFromCache)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
