// The selector's staged edits: what OK and Cancel leave in the list, current_proxy and the
// Changed mark, driven through a sorted item list as the dialog's combo box holds them.
#include "proxies/proxy_selector_model.h"

#include <gtest/gtest.h>
#include <strings.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/settings.h"

namespace kw {
namespace {

// A sorted list of items, compared without case, as the combo box keeps them.
class SortedItems : public ProxyItemList {
 public:
  int add(const std::string& text, ProxyEntry* entry) override {
    if (refuse) return -1;
    auto at =
        std::upper_bound(items.begin(), items.end(), text, [](const std::string& t, const Item& i) {
          return strcasecmp(t.c_str(), i.text.c_str()) < 0;
        });
    const int index = static_cast<int>(at - items.begin());
    items.insert(at, {text, entry});
    if (selected >= index) ++selected;
    return index;
  }
  void remove(int index) override {
    items.erase(items.begin() + index);
    if (selected == index)
      selected = -1;
    else if (selected > index)
      --selected;
  }
  int count() const override { return static_cast<int>(items.size()); }
  ProxyEntry* entry(int index) const override { return items[index].entry; }
  int selection() const override { return selected; }
  void select(int index) override { selected = index; }

  std::vector<std::string> texts() const {
    std::vector<std::string> out;
    for (const Item& i : items) out.push_back(i.text);
    return out;
  }

  struct Item {
    std::string text;
    ProxyEntry* entry;
  };
  std::vector<Item> items;
  int selected = -1;
  bool refuse = false;
};

// The list's texts in list order with their marks, the current entry's text.
struct Snapshot {
  std::vector<std::string> list;
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

class SelectorModelTest : public ::testing::Test {
 protected:
  SelectorModelTest() {
    clear_proxy_list();
    free_retired_proxies();
    settings_clear_flags(Changed);
    parse_proxy_entry(nullptr, "zeta.example:3128");
    current_proxy.store(parse_proxy_entry(nullptr, "Alpha.example:80"));
    parse_proxy_entry(nullptr, "mid.example");
    model.load();
  }
  ~SelectorModelTest() override {
    clear_proxy_list();
    free_retired_proxies();
  }

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
  EXPECT_EQ(items.texts(), (std::vector<std::string>{"Alpha.example:80", "b.example:0",
                                                     "mid.example:8080", "zeta.example:3128"}));
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

TEST_F(SelectorModelTest, OkMakesTheSelectionCurrentAndRetiresReplacedEntries) {
  ProxyEntry* alpha = current_proxy.load();
  type("alpha.example:8000");
  model.ok();
  EXPECT_EQ(proxy_entry_text(current_proxy.load()), "alpha.example:8000");
  EXPECT_EQ(snapshot().list, (std::vector<std::string>{"alpha.example:8000/0", "mid.example:8080/0",
                                                       "zeta.example:3128/0"}));
  // The replaced entry is out of the list but not freed: a connection may still read it.
  EXPECT_EQ(retired_proxy_count(), 1);
  EXPECT_STREQ(alpha->host, "Alpha.example");
  EXPECT_TRUE(settings_flags() & Changed);
}

// OK with nothing selected clears current_proxy, which was set before.
TEST_F(SelectorModelTest, DeletingTheLastItemsMovesTheSelectionThenOkClearsCurrent) {
  items.select(2);
  type("");
  EXPECT_EQ(items.selection(), 1);  // the new last item
  type("");
  EXPECT_EQ(items.selection(), 0);
  type("");
  EXPECT_EQ(items.selection(), -1);
  EXPECT_EQ(type(""), ProxySelectorModel::Commit::Failed);  // nothing left to delete
  model.ok();
  EXPECT_EQ(current_proxy.load(), nullptr);
  EXPECT_EQ(proxy_list, nullptr);
}

TEST_F(SelectorModelTest, TypingWithNothingSelectedAddsAndNothingPendingCommitsNothing) {
  items.select(-1);
  EXPECT_EQ(model.commit_edit("ignored"), ProxySelectorModel::Commit::NothingPending);
  EXPECT_EQ(type(std::string(100, 'h')), ProxySelectorModel::Commit::Done);
  // Cut at the field's limit, not one short of it.
  EXPECT_EQ(proxy_entry_text(proxy_list), std::string(80, 'h') + ":8080");
  EXPECT_FALSE(model.edit_pending());
}

}  // namespace
}  // namespace kw
