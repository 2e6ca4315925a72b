// Splitting a setup's command-line text into the arguments a Windows program reads from it.
#include "platform/wine/windows_arguments.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/strings.h"

namespace {

TEST(WindowsArgumentsTest, SplitsAsTheCRuntimeReadsACommandLine) {
  struct Case {
    std::wstring text;
    std::vector<std::wstring> arguments;
  };
  const Case cases[] = {
      {L"", {}},
      {L"  \t ", {}},
      {L"/S", {L"/S"}},
      // NSIS's install folder is unquoted: its pieces go on as typed and are joined by one blank.
      {L"/S /D=C:\\Program Files\\My App", {L"/S", L"/D=C:\\Program", L"Files\\My", L"App"}},
      {L"  /S   /NCRC  ", {L"/S", L"/NCRC"}},
      {L"/DIR=\"C:\\Program Files\\X\" /SILENT", {L"/DIR=C:\\Program Files\\X", L"/SILENT"}},
      {L"INSTALLDIR=\"C:\\My App\" /qn", {L"INSTALLDIR=C:\\My App", L"/qn"}},
      {L"\"\" x", {L"", L"x"}},
      {L"a\\\\b \\\\server\\share", {L"a\\\\b", L"\\\\server\\share"}},
      {L"\"C:\\dir\\\\\" next", {L"C:\\dir\\", L"next"}},
      {L"say\\\"hi\\\"", {L"say\"hi\""}},
      {L"\"one \"\"quoted\"\" word\"", {L"one \"quoted\" word"}},
      {L"\"unterminated quote", {L"unterminated quote"}},
      {L"caf\u00e9 \u65e5\u672c", {L"caf\u00e9", L"\u65e5\u672c"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::wine::SplitWindowsArguments(c.text), c.arguments) << WideToUtf8(c.text);
  }
}

}  // namespace
