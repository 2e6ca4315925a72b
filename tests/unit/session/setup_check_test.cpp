// What a setup file is, from its headers: the programs the machine can run, and those refused
// before a capture starts.
#include "session/setup_check.h"

#include <gtest/gtest.h>

#include <string>

#include "support/pe_builder.h"

namespace {

void Put16(std::string& bytes, size_t at, uint16_t value) {
  bytes[at] = static_cast<char>(value & 0xFF);
  bytes[at + 1] = static_cast<char>(value >> 8);
}

void Put32(std::string& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A hand-made MZ header whose new-header field points at `signature` placed at 0x80.
std::string WithNewHeader(const std::string& signature) {
  std::string bytes(0x100, '\0');
  bytes[0] = 'M';
  bytes[1] = 'Z';
  Put32(bytes, 0x3C, 0x80);
  bytes.replace(0x80, signature.size(), signature);
  return bytes;
}

TEST(SetupCheckTest, ClassifiesProgramHeaders) {
  const std::string x64 = pe_builder::BuildPe({});
  const std::string x86 = pe_builder::BuildPe({}, false);
  std::string arm64 = x64;
  Put16(arm64, 0x44, 0xAA64);
  std::string arm = x86;
  Put16(arm, 0x44, 0x01C4);
  std::string library = x64;
  Put16(library, 0x56, 0x2022);  // executable image + DLL
  std::string mixed = x86;
  Put16(mixed, 0x44, 0x8664);  // x64 machine with a 32-bit optional header
  std::string dos(0x40, '\0');
  dos[0] = 'M';
  dos[1] = 'Z';
  std::string pointsOutside = WithNewHeader("NE");
  Put32(pointsOutside, 0x3C, 0x7FFFFFFF);

  struct Case {
    const char* what;
    std::string bytes;
    ExecutableKind kind;
  };
  const Case cases[] = {
      {"x64 program", x64, ExecutableKind::kX64},
      {"x86 program", x86, ExecutableKind::kX86},
      {"ARM64 program", arm64, ExecutableKind::kOtherMachine},
      {"ARM program", arm, ExecutableKind::kOtherMachine},
      {"library", library, ExecutableKind::kLibrary},
      {"headers of two word sizes", mixed, ExecutableKind::kDamaged},
      {"16-bit Windows program", WithNewHeader("NE\x05\x0A"), ExecutableKind::kWindows16},
      {"linear executable", WithNewHeader("LE"), ExecutableKind::kWindows16},
      {"MS-DOS program", dos, ExecutableKind::kDos},
      {"new header outside the file", pointsOutside, ExecutableKind::kDos},
      {"cut in the section data", x64.substr(0, x64.size() - 1), ExecutableKind::kDamaged},
      {"cut in the optional header", x64.substr(0, 0x90), ExecutableKind::kDamaged},
      {"cut in the MZ header", x64.substr(0, 0x20), ExecutableKind::kDamaged},
      {"PE signature without headers", WithNewHeader(std::string("PE\0\0", 4)).substr(0, 0x86),
       ExecutableKind::kDamaged},
      {"text file", "@echo off\r\nsetup\r\n", ExecutableKind::kNotAProgram},
      {"empty file", "", ExecutableKind::kNotAProgram},
  };
  for (const Case& c : cases) EXPECT_EQ(ClassifyExecutable(c.bytes).kind, c.kind) << c.what;
  EXPECT_EQ(ClassifyExecutable(arm64).machine, 0xAA64);
}

}  // namespace
