#include "platform/environment.h"

namespace platform {
namespace {

// Values longer than the fixed buffers of the stored forms are cut, as a fixed buffer would.
constexpr size_t kEnvironmentBuffer = 1024;

std::wstring ReadEnvironment(const wchar_t* name) {
  std::wstring value = GetEnvironmentValue(name);
  if (value.size() >= kEnvironmentBuffer) value.clear();  // would not fit: reads as unset
  return value;
}

}  // namespace

EnvironmentValueSet ReadEnvironmentValues() {
  EnvironmentValueSet values;
  values.windir = ReadEnvironment(L"windir");
  values.programfiles = ReadEnvironment(L"programfiles");
  values.userprofile = ReadEnvironment(L"userprofile");
  values.allusersprofile = ReadEnvironment(L"allusersprofile");
  values.appdata = ReadEnvironment(L"appdata");
  values.temp = ReadEnvironment(L"temp");
  values.systemdrive = ReadEnvironment(L"systemdrive");
  return values;
}

}  // namespace platform
