// The object whose address names one retained store. The store makes one at construction and
// every prepared admission or batch it hands out keeps a shared pointer to it, so the address is
// never reused while a preparation could still be compared with it.
#pragma once

namespace retained {

class StoreIdentityToken {
 public:
  StoreIdentityToken() = default;
  StoreIdentityToken(const StoreIdentityToken&) = delete;
  StoreIdentityToken& operator=(const StoreIdentityToken&) = delete;
  StoreIdentityToken(StoreIdentityToken&&) = delete;
  StoreIdentityToken& operator=(StoreIdentityToken&&) = delete;
  virtual ~StoreIdentityToken();
};

}  // namespace retained
