// The environment values of a prefix, taken from a user.reg a setup may have written: every
// value of "Environment" may refer to others.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_machine.h"
#include "platform/environment.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Two machines taken in turn, so the values are never those cached for the previous input.
  static int turn = 0;
  const FuzzMachine& machine = FuzzMachine::Get(turn);
  turn = 1 - turn;
  machine.WriteUserReg(std::string_view(reinterpret_cast<const char*>(data), size));
  machine.Activate();
  for (const wchar_t* name : {L"TEMP", L"TMP", L"APPDATA", L"PATH", L"HOMEPATH", L"T"}) {
    (void)platform::GetEnvironmentValue(name);
  }
  return 0;
}
