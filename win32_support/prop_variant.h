// PropVariant: a PROPVARIANT that is cleared (PropVariantClear frees what it
// holds) when it goes.
#pragma once

#include <windows.h>
#include <propidl.h>

namespace morl {

class PropVariant {
 public:
  PropVariant() { PropVariantInit(&value_); }
  ~PropVariant() { PropVariantClear(&value_); }
  PropVariant(const PropVariant&) = delete;
  PropVariant& operator=(const PropVariant&) = delete;

  PROPVARIANT* Put() {
    PropVariantClear(&value_);
    return &value_;
  }
  const PROPVARIANT& Get() const { return value_; }

 private:
  PROPVARIANT value_;
};

}  // namespace morl
