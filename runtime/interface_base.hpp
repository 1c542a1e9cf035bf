// The empty polymorphic base of runtime interfaces: lets them be destroyed through a base pointer.
#pragma once

namespace runtime {

class InterfaceBase {
 public:
  InterfaceBase() = default;
  virtual ~InterfaceBase() = default;
};

}  // namespace runtime
