#include "app/screen_layout.hpp"

namespace app {

std::string_view fieldLabel(std::string_view kind, std::int32_t field) {
  const bool customer = kind == "customer";
  switch (field) {
    case 0:
      return "NAME";
    case 1:
      return customer ? "CONTACT / DEMO ADDRESS" : "SPECIES / VISIT NOTE";
    case 2:
      return customer ? "UNUSED FOR CUSTOMERS" : "OWNER CUSTOMER ID";
    default:
      return "";
  }
}

}  // namespace app
