// The selector's staged edits on the remote proxy list; see proxy_selector_model.h.
#include "proxies/proxy_selector_model.h"

#include <cstdio>

#include "base/settings.h"

namespace kw {
namespace {

// Takes entry out of proxy_list; false when it is not in it.
bool unlink(ProxyEntry* entry) {
  for (ProxyEntry** link = &proxy_list; *link != nullptr; link = &(*link)->next) {
    if (*link == entry) {
      *link = entry->next;
      return true;
    }
  }
  return false;
}

// For entries no connection ever saw: made during this selector run, never current.
void free_entry(ProxyEntry* entry) {
  delete[] entry->host;
  delete entry;
}

// Ends a selector run: entries carrying `drop` leave the list through dispose, the others lose
// both marks.
void settle_marks(uint32_t drop, void (*dispose)(ProxyEntry*)) {
  for (ProxyEntry** link = &proxy_list; *link != nullptr;) {
    ProxyEntry* entry = *link;
    if (entry->marks & drop) {
      *link = entry->next;
      dispose(entry);
    } else {
      entry->marks &= ~(PROXY_ADDED | PROXY_REMOVED);
      link = &entry->next;
    }
  }
}

std::string cut(std::string_view text) {
  return std::string(text.substr(0, kProxyTextLimit));
}

}  // namespace

std::string proxy_entry_text(const ProxyEntry* entry) {
  char port[16];
  std::snprintf(port, sizeof port, ":%d", static_cast<int>(entry->port));
  return std::string(entry->host) + port;
}

void ProxyStatus::set(std::string_view text, Rgb colour) {
  {
    std::lock_guard lock(mutex_);
    text_ = text;
    colour_ = colour;
  }
  if (changed) changed();
}

std::string ProxyStatus::text() const {
  std::lock_guard lock(mutex_);
  return text_;
}

Rgb ProxyStatus::colour() const {
  std::lock_guard lock(mutex_);
  return colour_;
}

void ProxySelectorModel::load() {
  const ProxyEntry* current = current_proxy.load();
  for (ProxyEntry* entry = proxy_list; entry != nullptr; entry = entry->next) {
    const int index = items_.add(proxy_entry_text(entry), entry);
    if (index < 0) break;
    if (entry == current) items_.select(index);
  }
}

void ProxySelectorModel::edit_update() {
  if (!edit_pending_) edit_index_ = items_.selection();
}

ProxySelectorModel::Commit ProxySelectorModel::commit_edit(std::string_view typed) {
  if (!edit_pending_) return Commit::NothingPending;
  const std::string text = cut(typed);
  edit_pending_ = false;
  const int index = edit_index_;
  edit_index_ = -1;

  if (!text.empty()) {
    if (index < 0) return add(text) ? Commit::Done : Commit::Failed;
    ProxyEntry* old = items_.entry(index);
    if (old == nullptr) return Commit::Failed;
    ProxyEntry* entry;
    if (old->marks & PROXY_ADDED) {
      entry = parse_proxy_entry(old, text.c_str());
    } else {
      entry = parse_proxy_entry(nullptr, text.c_str());
      if (entry != nullptr) old->marks |= PROXY_REMOVED;
    }
    if (entry == nullptr) return Commit::Failed;
    entry->marks |= PROXY_ADDED;
    items_.remove(index);
    const int added = items_.add(proxy_entry_text(entry), entry);
    if (added < 0) {
      if (item_refused) item_refused();
      return Commit::Failed;
    }
    items_.select(added);
    status_.set(" Proxy item changed...", kGreen);
    return Commit::Done;
  }

  ProxyEntry* entry = index >= 0 && index < items_.count() ? items_.entry(index) : nullptr;
  if (entry == nullptr) return Commit::Failed;
  items_.remove(index);
  if (entry->marks & PROXY_ADDED) {
    if (unlink(entry)) free_entry(entry);
  } else {
    entry->marks |= PROXY_REMOVED;
  }
  items_.select(index < items_.count() ? index : items_.count() - 1);
  status_.set(" Proxy item deleted...", kGreen);
  return Commit::Done;
}

bool ProxySelectorModel::add(std::string_view typed) {
  const std::string text = cut(typed);
  if (text.empty()) return true;
  ProxyEntry* entry = parse_proxy_entry(nullptr, text.c_str());
  if (entry == nullptr) return true;  // no memory: nothing is added, the dialog carries on
  entry->marks |= PROXY_ADDED;
  const int index = items_.add(proxy_entry_text(entry), entry);
  if (index < 0) {
    if (item_refused) item_refused();
    return false;
  }
  items_.select(index);
  status_.set(" Proxy item added...", kGreen);
  return true;
}

void ProxySelectorModel::ok() {
  const int selected = items_.selection();
  // Current first: a connection that starts now must not pick up an entry about to go.
  current_proxy.store(selected >= 0 ? items_.entry(selected) : nullptr);
  settle_marks(PROXY_REMOVED, retire_proxy_entry);
  settings_add_flags(Changed);
}

void ProxySelectorModel::cancel() { settle_marks(PROXY_ADDED, free_entry); }

}  // namespace kw
