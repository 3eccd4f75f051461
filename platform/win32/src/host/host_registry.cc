// RegGetValueW over the simulated HKEY_CURRENT_USER, and the DWM attribute
// record.
#include <cwctype>

#include "host/host_state.h"
#include "win32sim/host.h"
#include "win32sim/machine_core.h"

namespace {

constexpr wchar_t kPersonalizeKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";

std::wstring RegistryKey(const std::wstring& sub_key, const std::wstring& name) {
  std::wstring key = sub_key + L"\n" + name;
  for (auto& c : key) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  return key;
}

void SetValue(const std::wstring& sub_key, const std::wstring& name, DWORD type,
              std::vector<std::uint8_t> data) {
  auto& s = winsim::host::State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.registry[RegistryKey(sub_key, name)] = {type, std::move(data)};
}

}  // namespace

LSTATUS RegGetValueW(HKEY key, LPCWSTR sub_key, LPCWSTR value, DWORD flags, LPDWORD type,
                     PVOID data, LPDWORD data_size) {
  const HRESULT injected = winsim::InjectedFailure("RegGetValueW");
  if (FAILED(injected)) return static_cast<LSTATUS>(winsim::LastErrorFromHresult(injected));
  if (key != HKEY_CURRENT_USER || (data != nullptr && data_size == nullptr)) {
    return ERROR_INVALID_PARAMETER;
  }
  auto& s = winsim::host::State();
  std::lock_guard<std::mutex> lock(s.mutex);
  const auto it = s.registry.find(RegistryKey(sub_key ? sub_key : L"", value ? value : L""));
  if (it == s.registry.end()) return ERROR_FILE_NOT_FOUND;
  const winsim::host::RegistryValue& v = it->second;
  const bool type_allowed = (v.type == REG_DWORD && (flags & RRF_RT_REG_DWORD) != 0) ||
                            (v.type == REG_SZ && (flags & RRF_RT_REG_SZ) != 0);
  if (!type_allowed) return ERROR_UNSUPPORTED_TYPE;
  if (type != nullptr) *type = v.type;
  const auto size = static_cast<DWORD>(v.data.size());
  if (data_size == nullptr) return ERROR_SUCCESS;
  if (data == nullptr) {
    *data_size = size;
    return ERROR_SUCCESS;
  }
  if (*data_size < size) {
    *data_size = size;
    return ERROR_MORE_DATA;
  }
  std::memcpy(data, v.data.data(), size);
  *data_size = size;
  return ERROR_SUCCESS;
}

HRESULT DwmSetWindowAttribute(HWND hwnd, DWORD attribute, LPCVOID value, DWORD value_size) {
  const HRESULT injected = winsim::InjectedFailure("DwmSetWindowAttribute");
  if (FAILED(injected)) return injected;
  if (value == nullptr) return E_INVALIDARG;
  winsim::DwmAttributeCall call;
  call.hwnd = hwnd;
  call.attribute = attribute;
  const auto* bytes = static_cast<const std::uint8_t*>(value);
  call.value.assign(bytes, bytes + value_size);
  auto& s = winsim::host::State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.dwm_calls.push_back(std::move(call));
  return S_OK;
}

namespace winsim {

void SetRegistryDword(const std::wstring& sub_key, const std::wstring& name, DWORD value) {
  std::vector<std::uint8_t> data(sizeof(DWORD));
  std::memcpy(data.data(), &value, sizeof(DWORD));
  SetValue(sub_key, name, REG_DWORD, std::move(data));
}

void SetRegistryString(const std::wstring& sub_key, const std::wstring& name,
                       const std::wstring& value) {
  // REG_SZ holds UTF-16 with its terminating NUL.
  std::vector<std::uint8_t> data;
  for (size_t i = 0; i <= value.size(); ++i) {
    const auto unit = static_cast<std::uint16_t>(i < value.size() ? value[i] : 0);
    data.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    data.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  SetValue(sub_key, name, REG_SZ, std::move(data));
}

void DeleteRegistryValue(const std::wstring& sub_key, const std::wstring& name) {
  auto& s = host::State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.registry.erase(RegistryKey(sub_key, name));
}

void SetAppsUseLightTheme(std::optional<DWORD> value) {
  if (value) {
    SetRegistryDword(kPersonalizeKey, L"AppsUseLightTheme", *value);
  } else {
    DeleteRegistryValue(kPersonalizeKey, L"AppsUseLightTheme");
  }
}

std::vector<DwmAttributeCall> DwmAttributeCalls() {
  std::lock_guard<std::mutex> lock(host::State().mutex);
  return host::State().dwm_calls;
}

}  // namespace winsim
