// The capture mode's command line: which arguments select it, how they are read and refused.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/capture_command.h"

namespace {

CaptureCommandLine Parsed(const std::vector<std::string>& arguments) {
  CaptureCommandLine line;
  std::string error;
  EXPECT_TRUE(ParseCaptureCommandLine(arguments, line, error)) << error;
  return line;
}

std::string ParseError(const std::vector<std::string>& arguments) {
  CaptureCommandLine line;
  std::string error;
  EXPECT_FALSE(ParseCaptureCommandLine(arguments, line, error));
  return error;
}

TEST(CaptureCommandLineTest, OnlyAFirstCaptureOrResumeArgumentSelectsTheMode) {
  EXPECT_TRUE(IsCaptureCommandLine({"-Capture=setup.exe"}));
  EXPECT_TRUE(IsCaptureCommandLine({"-CAPTURE=x", "-Path=out"}));
  EXPECT_TRUE(IsCaptureCommandLine({"-resume"}));
  EXPECT_TRUE(IsCaptureCommandLine({"-Resume", "-Path=/tmp/out"}));
  // The project build keeps its form: a project file first, then the marked folder.
  EXPECT_FALSE(IsCaptureCommandLine({}));
  EXPECT_FALSE(IsCaptureCommandLine({"project.xml", "-Path=out"}));
  EXPECT_FALSE(IsCaptureCommandLine({"project.xml", "-Capture=setup.exe"}));
  EXPECT_FALSE(IsCaptureCommandLine({"-Resumed"}));
  EXPECT_FALSE(IsCaptureCommandLine({"x-capture=setup.exe"}));
}

TEST(CaptureCommandLineTest, ValuesKeepTheirCaseAndMarkersAnyCase) {
  const CaptureCommandLine line =
      Parsed({"-capture=/srv/Setups/My Setup.EXE", "-PRODUCT= My App ", "-Version=2.0", "-company=ACME",
              "-Path=/tmp/Out Folder", "-FILE=App.MSI", "-timeout=90"});
  EXPECT_FALSE(line.resume);
  EXPECT_EQ(line.setup, "/srv/Setups/My Setup.EXE");
  EXPECT_EQ(line.product.value_or(""), " My App ");
  EXPECT_EQ(line.version.value_or(""), "2.0");
  EXPECT_EQ(line.company.value_or(""), "ACME");
  EXPECT_EQ(line.outputFolder.value_or(""), "/tmp/Out Folder");
  EXPECT_EQ(line.packageName.value_or(""), "App.MSI");
  EXPECT_EQ(line.timeoutSeconds, 90);

  // The setup's command line is kept whole, blanks, quotes and "=" included.
  EXPECT_EQ(Parsed({"-Capture=a.exe", "-ARGUMENTS=/S /D=C:\\Program Files\\X"}).arguments.value_or(""),
            "/S /D=C:\\Program Files\\X");
  EXPECT_EQ(Parsed({"-Capture=a.msi", "-arguments=INSTALLDIR=\"C:\\My App\" /qn"}).arguments.value_or(""),
            "INSTALLDIR=\"C:\\My App\" /qn");

  const CaptureCommandLine plain = Parsed({"-Capture=C:\\setup.exe"});
  EXPECT_FALSE(plain.product.has_value());
  EXPECT_FALSE(plain.arguments.has_value());
  EXPECT_FALSE(plain.outputFolder.has_value());
  EXPECT_EQ(plain.timeoutSeconds, 3600);

  const CaptureCommandLine resume = Parsed({"-Resume", "-Path=out", "-File=x.msi"});
  EXPECT_TRUE(resume.resume);
  EXPECT_TRUE(resume.setup.empty());
  EXPECT_EQ(resume.outputFolder.value_or(""), "out");
}

TEST(CaptureCommandLineTest, BadCommandLinesAreRefusedWithAReason) {
  EXPECT_NE(ParseError({"-Capture="}).find("needs the setup program"), std::string::npos);
  EXPECT_NE(ParseError({"-Capture=a.exe", "-Capture=b.exe"}).find("twice"), std::string::npos);
  EXPECT_NE(ParseError({"-Capture=a.exe", "-Path=x", "-Path=y"}).find("-Path is given twice"), std::string::npos);
  EXPECT_NE(ParseError({"-Capture=a.exe", "-Product="}).find("-Product needs a value"), std::string::npos);
  EXPECT_NE(ParseError({"-Capture=a.exe", "extra"}).find("unknown argument \"extra\""), std::string::npos);
  EXPECT_NE(ParseError({"-Capture=a.exe", "-Resume"}).find("cannot be used together"), std::string::npos);
  EXPECT_NE(ParseError({"-Resume", "-Product=x"}).find("-Resume"), std::string::npos);
  EXPECT_NE(ParseError({"-Resume", "-Arguments=/S"}).find("-Arguments"), std::string::npos);
  EXPECT_NE(ParseError({"-Capture=a.exe", "-Arguments="}).find("-Arguments needs a value"), std::string::npos);
  EXPECT_NE(ParseError({"-Capture=a.exe", "-Arguments=/S", "-ARGUMENTS=/S"}).find("-Arguments is given twice"),
            std::string::npos);
  EXPECT_NE(ParseError({"-Resume", "-Timeout=5"}).find("-Timeout"), std::string::npos);
  EXPECT_NE(ParseError({"-Path=x"}).find("-Capture or -Resume is needed"), std::string::npos);
  for (const char* timeout : {"-Timeout=0", "-Timeout=-3", "-Timeout=ten", "-Timeout=5s", "-Timeout=", "-Timeout=999999999"}) {
    EXPECT_NE(ParseError({"-Capture=a.exe", timeout}).find("-Timeout needs a number"), std::string::npos) << timeout;
  }
}

TEST(CaptureCommandLineTest, WindowsAndHostPathsAreTold) {
  EXPECT_TRUE(IsWindowsPath("C:\\setup.exe"));
  EXPECT_TRUE(IsWindowsPath("z:/srv"));
  EXPECT_TRUE(IsWindowsPath("\\\\server\\share\\setup.exe"));
  EXPECT_FALSE(IsWindowsPath("/srv/setup.exe"));
  EXPECT_FALSE(IsWindowsPath("setup.exe"));
  EXPECT_FALSE(IsWindowsPath("1:\\x"));
}

}  // namespace
