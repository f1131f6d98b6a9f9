// The remote proxy list: parsing entry texts, re-parsing an entry in place and retiring what
// running connections may still read, and the selector's staged edits: what OK and Cancel leave in
// the list, current_proxy and the Changed mark, driven through a sorted item list as the
// dialog's combo box holds them.
#include "proxies/proxy_list.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <strings.h>

#include <string>
#include <tuple>
#include <vector>

#include "base/settings.h"
#include "proxies/proxy_selector_model.h"

namespace kw {
namespace {

using Texts = std::vector<std::string>;

// Empties the list and frees what it held; no connection runs in these tests.
void empty_list() {
  clear_proxy_list();
  free_retired_proxies();
}

// The list's texts in list order with their marks, its entries and the current entry's text.
struct Snapshot {
  Texts list;
  std::vector<const ProxyEntry*> entries;
  std::string current;
  bool operator==(const Snapshot&) const = default;
};

Snapshot snapshot() {
  Snapshot s;
  for (ProxyEntry* e = proxy_list; e != nullptr; e = e->next) {
    s.list.push_back(proxy_entry_text(e) + "/" + std::to_string(e->marks));
    s.entries.push_back(e);
  }
  if (ProxyEntry* c = current_proxy.load()) s.current = proxy_entry_text(c);
  return s;
}

TEST(ProxyList, EntryTextsGiveHostAndPort) {
  const std::tuple<const char*, const char*, int32_t> cases[] = {
      {"proxy.example:3128", "proxy.example", 3128}, {"proxy.example:abc", "proxy.example", 0},
      {"h: \t12x", "h", 12}, {"h:-5", "h", -5}, {"a:1:2", "a", 1},
      {"h:99999999999999", "h", INT32_MAX}};
  for (const auto& [text, host, port] : cases) {
    ProxyEntry* entry = parse_proxy_entry(nullptr, text);
    ASSERT_NE(entry, nullptr) << text;
    EXPECT_STREQ(entry->host, host) << text;
    EXPECT_EQ(entry->port, port) << text;
  }
  empty_list();
}

// New entries go to the front; re-parsing keeps the entry and its place, and the old host text
// stays readable until no connection can hold it; clearing retires every entry.
TEST(ProxyList, ReparsingInPlaceAndClearingRetireWhatConnectionsMayHold) {
  ProxyEntry* a = parse_proxy_entry(nullptr, "a:1");
  ProxyEntry* b = parse_proxy_entry(nullptr, "b:2");
  b->resolved_address = htonl(INADDR_LOOPBACK);
  const char* old_host = b->host;
  ASSERT_EQ(parse_proxy_entry(b, "c"), b);
  EXPECT_EQ(snapshot().entries, (std::vector<const ProxyEntry*>{b, a}));
  EXPECT_EQ(snapshot().list, (Texts{"c:8080/0", "a:1/0"}));
  EXPECT_EQ(b->resolved_address, 0u);
  EXPECT_STREQ(old_host, "b");
  EXPECT_EQ(retired_proxy_count(), 1);

  current_proxy.store(a);
  clear_proxy_list();
  EXPECT_EQ(proxy_list, nullptr);
  EXPECT_EQ(current_proxy.load(), nullptr);
  EXPECT_EQ(retired_proxy_count(), 3);
  free_retired_proxies();

  // An address looked up for the host an entry had before it was re-parsed is not cached; a
  // cached address stays until the entry is parsed again.
  ProxyEntry* entry = parse_proxy_entry(nullptr, "old:1");
  const char* looked_up = proxy_host(entry);
  parse_proxy_entry(entry, "new:1");
  proxy_cache_address(entry, looked_up, 0x01020304);
  EXPECT_EQ(proxy_cached_address(entry), 0u);
  proxy_cache_address(entry, proxy_host(entry), 0x05060708);
  proxy_cache_address(entry, proxy_host(entry), 0x01010101);
  EXPECT_EQ(proxy_cached_address(entry), 0x05060708u);
  empty_list();
}

// A sorted list of items, compared without case, as the combo box keeps them.
class SortedItems : public ProxyItemList {
 public:
  int add(const std::string& text, ProxyEntry* entry) override {
    if (refuse) return -1;
    int index = 0;
    while (index < count() && strcasecmp(items[index].text.c_str(), text.c_str()) <= 0) ++index;
    items.insert(items.begin() + index, {text, entry});
    if (selected >= index) ++selected;
    return index;
  }
  void remove(int index) override {
    items.erase(items.begin() + index);
    selected = selected == index ? -1 : selected - (selected > index ? 1 : 0);
  }
  int count() const override { return static_cast<int>(items.size()); }
  ProxyEntry* entry(int index) const override { return items[index].entry; }
  int selection() const override { return selected; }
  void select(int index) override { selected = index; }

  struct Item {
    std::string text;
    ProxyEntry* entry;
  };
  std::vector<Item> items;
  int selected = -1;
  bool refuse = false;
};

class SelectorModelTest : public ::testing::Test {
 protected:
  SelectorModelTest() {
    empty_list();
    settings_clear_flags(Changed);
    parse_proxy_entry(nullptr, "zeta.example:3128");
    current_proxy.store(parse_proxy_entry(nullptr, "Alpha.example:80"));
    parse_proxy_entry(nullptr, "mid.example");
    model.load();
  }
  ~SelectorModelTest() override { empty_list(); }

  // Types text over whatever item is selected, as the user does in the entry field.
  ProxySelectorModel::Commit type(const std::string& text) {
    model.edit_update();
    model.edit_change();
    return model.commit_edit(text);
  }

  SortedItems items;
  ProxyStatus status;
  ProxySelectorModel model{items, status};
};

// The list opens sorted with the current entry selected; an added entry joins it in order,
// selected, and goes to the front of the proxy list; editing it again reuses it.
TEST_F(SelectorModelTest, AddedEntryIsSelectedSortedAndNewestInTheList) {
  EXPECT_EQ(items.selection(), 0);
  EXPECT_TRUE(model.add("b.example:abc"));
  Texts shown;
  for (const SortedItems::Item& i : items.items) shown.push_back(i.text);
  EXPECT_EQ(shown,
            (Texts{"Alpha.example:80", "b.example:0", "mid.example:8080", "zeta.example:3128"}));
  EXPECT_EQ(items.selection(), 1);
  EXPECT_EQ(proxy_list, items.items[1].entry);
  EXPECT_EQ(status.text(), " Proxy item added...");
  EXPECT_TRUE(model.add(""));
  EXPECT_EQ(items.count(), 4);  // an empty text adds nothing

  // Typing over the added entry re-parses that same entry; deleting it takes it out at once.
  ProxyEntry* added = proxy_list;
  const Snapshot after_add = snapshot();
  EXPECT_EQ(type("newer.example:2"), ProxySelectorModel::Commit::Done);
  EXPECT_EQ(snapshot().entries, after_add.entries);
  EXPECT_EQ(proxy_entry_text(added), "newer.example:2");
  type("");
  EXPECT_EQ(snapshot().list.size(), 3u);

  // Typing with nothing selected adds, cut at the field's limit (not one short of it).
  items.select(-1);
  EXPECT_EQ(model.commit_edit("ignored"), ProxySelectorModel::Commit::NothingPending);
  EXPECT_EQ(type(std::string(100, 'h')), ProxySelectorModel::Commit::Done);
  EXPECT_EQ(proxy_entry_text(proxy_list), std::string(80, 'h') + ":8080");
}

TEST_F(SelectorModelTest, CancelAfterEveryKindOfEditRestoresExactly) {
  const Snapshot before = snapshot();
  EXPECT_EQ(type("alpha2.example:81"), ProxySelectorModel::Commit::Done);  // change the current
  EXPECT_EQ(status.text(), " Proxy item changed...");
  items.select(2);  // mid
  type("");         // delete an old one
  EXPECT_EQ(status.text(), " Proxy item deleted...");
  model.add("new.example:1");
  type("newer.example:2");  // re-edit of the added one
  // An item the list refuses keeps its entry, marked added, for the cancel to free.
  int refused = 0;
  model.item_refused = [&] { ++refused; };
  items.refuse = true;
  EXPECT_FALSE(model.add("x.example"));
  EXPECT_EQ(refused, 1);
  EXPECT_EQ(proxy_list->marks, PROXY_ADDED);
  items.refuse = false;
  model.cancel();
  EXPECT_EQ(snapshot(), before);
  EXPECT_FALSE(settings_flags() & Changed);
}

// The replaced entry is out of the list but not freed: a connection may still read it.
TEST_F(SelectorModelTest, OkMakesTheSelectionCurrentAndRetiresReplacedEntries) {
  ProxyEntry* alpha = current_proxy.load();
  type("alpha.example:8000");
  model.ok();
  EXPECT_EQ(snapshot().current, "alpha.example:8000");
  EXPECT_EQ(snapshot().list,
            (Texts{"alpha.example:8000/0", "mid.example:8080/0", "zeta.example:3128/0"}));
  EXPECT_EQ(retired_proxy_count(), 1);
  EXPECT_STREQ(alpha->host, "Alpha.example");
  EXPECT_TRUE(settings_flags() & Changed);
}

}  // namespace
}  // namespace kw
