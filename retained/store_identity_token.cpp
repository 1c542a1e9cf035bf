#include "retained/store_identity_token.hpp"

namespace retained {

StoreIdentityToken::~StoreIdentityToken() = default;

}  // namespace retained
