// What the "External Proxy Selector" does to the remote proxy list, without any window: the
// dialog hands it the combo box's items through ProxyItemList and its status line through
// ProxyStatus, and calls it for the user's edits, OK and Cancel.
//
// Edits are staged on the live list itself. An entry made or changed while the selector runs
// carries PROXY_ADDED; one deleted or replaced carries PROXY_REMOVED and stays in the list. An
// entry that existed when the selector opened is never changed in place: a change keeps it,
// marked removed, beside a new entry, so Cancel can bring it back exactly. OK makes the selected
// item's entry current, retires the removed entries (a connection may still read them) and
// clears the marks; Cancel frees the added entries (no connection ever saw them) and clears
// the marks. Both leave no mark behind. User-interface thread only, except ProxyStatus.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "proxies/proxy_list.h"
#include "report/frontend.h"

namespace kw {

// Longest entry text the user can type.
inline constexpr int kProxyTextLimit = 80;

// "host:port" of an entry.
std::string proxy_entry_text(const ProxyEntry* entry);

// The combo box's items: text and entry, kept in the box's own (sorted) order.
class ProxyItemList {
 public:
  virtual ~ProxyItemList() = default;
  // The index the item went to, or -1 when the box refused it.
  virtual int add(const std::string& text, ProxyEntry* entry) = 0;
  virtual void remove(int index) = 0;
  virtual int count() const = 0;
  virtual ProxyEntry* entry(int index) const = 0;
  virtual int selection() const = 0;  // -1: none
  virtual void select(int index) = 0;
};

// The status line's text and colour, kept together under one lock: the tester's threads set
// them too. `changed` is called (without the lock) after every change, on the setter's thread.
class ProxyStatus {
 public:
  void set(std::string_view text, Rgb colour);
  std::string text() const;
  Rgb colour() const;
  std::function<void()> changed;

 private:
  mutable std::mutex mutex_;
  std::string text_;
  Rgb colour_ = kGreen;
};

class ProxySelectorModel {
 public:
  enum class Commit { NothingPending, Done, Failed };

  ProxySelectorModel(ProxyItemList& items, ProxyStatus& status) : items_(items), status_(status) {}

  // Fills the items from the list and selects current_proxy's. Stops at the first item the
  // box refuses.
  void load();

  // The entry field's notifications: about to show a change, and changed.
  void edit_update();
  void edit_change() { edit_pending_ = true; }
  bool edit_pending() const { return edit_pending_; }
  // Applies what the user typed in the entry field (cut at kProxyTextLimit): a new entry, a
  // changed one, or a deletion when the text is empty.
  Commit commit_edit(std::string_view text);

  // The add dialog's OK: an empty text adds nothing. False when the box refused the item (the
  // entry then stays in the list, marked added).
  bool add(std::string_view text);

  void ok();
  void cancel();

  // Called when the box refuses an item; the dialog shows its message box.
  std::function<void()> item_refused;

 private:
  ProxyItemList& items_;
  ProxyStatus& status_;
  bool edit_pending_ = false;
  int edit_index_ = -1;
};

}  // namespace kw
