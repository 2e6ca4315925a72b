#include "platform/registry.h"

namespace platform {

const std::map<std::wstring, RootKey, AsciiCaseInsensitiveLess> RootKeyTable = {
    {L"HKCR", RootKey::ClassesRoot},   {L"HKEY_CLASSES_ROOT", RootKey::ClassesRoot},
    {L"HKCU", RootKey::CurrentUser},   {L"HKEY_CURRENT_USER", RootKey::CurrentUser},
    {L"HKLM", RootKey::LocalMachine},  {L"HKEY_LOCAL_MACHINE", RootKey::LocalMachine},
    {L"HKU", RootKey::Users},          {L"HKEY_USERS", RootKey::Users},
    {L"HKCC", RootKey::CurrentConfig}, {L"HKEY_CURRENT_CONFIG", RootKey::CurrentConfig},
};

}  // namespace platform
