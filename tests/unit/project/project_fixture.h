#pragma once
// Shared set-up of the project-data tests: a fixture prefix as the machine, the environment
// values of that prefix for the token form, the engine state a session would own (rules, INI
// folder table, skipped files; empty at the start of each test), and an optional private log.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/logger.h"
#include "core/strings.h"
#include "core/work_paths.h"
#include "platform/machine.h"
#include "project/captured_file.h"
#include "project/include_exclude_rules.h"
#include "project/ini_folder_table.h"
#include "project/xml_document_handler.h"
#include "support/fixture_prefix.h"
#include "support/scoped_environment_values.h"
#include "support/temp_folder.h"

class ProjectDataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    prefix_.Activate();
  }
  void TearDown() override {
    if (!errorLogName_.empty()) {
      std::error_code ignored;
      std::filesystem::remove(FixturePrefix::ProgramFolderOnHost() / errorLogName_, ignored);
      std::filesystem::remove(FixturePrefix::ProgramFolderOnHost() / debugLogName_, ignored);
    }
  }

  // Routes the logger's messages of both levels into private files. Call before the first
  // handler of the test is made (the logger reads its configuration when it is created).
  void CaptureLog() {
    errorLogName_ = "unit_project_error.txt";
    debugLogName_ = "unit_project_debug.txt";
    prefix_.WriteBesideProgram("CorvaneRepackager.ini",
                               "[LogFileDetails]\nLogLevel=3\nDebugLogFileName=" + debugLogName_ +
                                   "\nErrorLogFileName=" + errorLogName_ + "\n");
  }
  std::string ErrorLog() const { return ReadHostFile(FixturePrefix::ProgramFolderOnHost() / errorLogName_); }

  // Windows path below C:\ of the fixture ("work\a.xml" -> "C:\work\a.xml").
  static std::wstring OnC(const std::wstring& relative) { return L"C:\\" + relative; }
  // Host path of a Windows path.
  static std::filesystem::path Host(const std::wstring& windowsPath) {
    return platform::Machine::HostPath(windowsPath);
  }
  // The delivered template, seen through the Z: drive.
  static std::wstring TemplatePath() {
    return platform::Machine::WindowsPath(std::filesystem::path(CORVANE_SOURCE_DIR) / "data" / "RawProjectFile.xml");
  }
  static std::wstring RulesPath() {
    return platform::Machine::WindowsPath(std::filesystem::path(CORVANE_SOURCE_DIR) / "data" / "DefaultIncludeExclude.xml");
  }
  // Makes a folder below C:\ (host side).
  void MakeFolder(const std::string& relative) { prefix_.InDriveC(relative, true); }

  FixturePrefix prefix_;
  CIncludeExcludeRules rules_;
  CINIFolderTable iniFolders_;
  CSkippedFiles skipped_;

 private:
  ScopedEnvironmentValues environment_;  // the fixture's folders, for the token form
  std::string errorLogName_;
  std::string debugLogName_;
};

// The element tree below a node as text: one line per element, two spaces of indentation per
// level, the name and then the attributes in their stored order as name="value".
inline void DumpTree(const CXMLNodeHandler& node, int depth, std::string& out) {
  const long count = node.GetChildCount();
  for (long i = 0; i < count; ++i) {
    CXMLNodeHandler child = node.GetChild(i);
    out += std::string(static_cast<size_t>(depth) * 2, ' ') + WideToUtf8(child.GetName());
    for (pugi::xml_attribute a = child.node().first_attribute(); a; a = a.next_attribute()) {
      out += std::string(" ") + a.name() + "=\"" + a.value() + "\"";
    }
    out += "\n";
    DumpTree(child, depth + 1, out);
  }
}
inline std::string DumpTree(const CXMLNodeHandler& node) {
  std::string out;
  DumpTree(node, 0, out);
  return out;
}
