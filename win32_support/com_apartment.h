// Enters a COM apartment for the life of the object and leaves it on
// destruction, only if entering succeeded (CoUninitialize must balance a
// successful CoInitializeEx and nothing else).
#pragma once

#include <windows.h>
#include <objbase.h>

namespace morl {

class ComApartment {
 public:
  explicit ComApartment(DWORD model) : hr_(CoInitializeEx(nullptr, model)) {}
  ~ComApartment() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  HRESULT Result() const { return hr_; }

 private:
  HRESULT hr_;
};

}  // namespace morl
