// The remote proxy list's globals. Entries are made and freed by the configuration and the
// selector.
#include "proxies/proxy_list.h"

namespace kw {

ProxyEntry* proxy_list = nullptr;
std::atomic<ProxyEntry*> current_proxy{nullptr};

}  // namespace kw
