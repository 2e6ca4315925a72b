#pragma once
// Shared by the package builder's unit tests: a fixture machine with the program folder pointing
// at the build's program folder (where Blank.msi lies), a project file written from text, a build
// through CMSIHandler, and the built package's tables read back.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/strings.h"
#include "core/work_context.h"
#include "core/work_paths.h"
#include "package/msi_handler.h"
#include "platform/installer_database.h"
#include "platform/machine.h"
#include "session/work_context_setup.h"
#include "support/fixture_prefix.h"

namespace package_test {

using Rows = std::vector<std::vector<std::string>>;

// Every row of a SELECT, fields as text ("" for NULL).
inline Rows Select(platform::InstallerDatabase& database, const std::string& statement) {
  Rows rows;
  platform::InstallerView view;
  if (view.Open(database, statement) != platform::kSuccess || view.Execute(nullptr) != platform::kSuccess) {
    ADD_FAILURE() << "query failed: " << statement << ": " << view.lastError();
    return rows;
  }
  std::unique_ptr<platform::InstallerRecord> record;
  while (view.Fetch(record) == platform::kSuccess && record) {
    std::vector<std::string> row;
    for (unsigned i = 1; i <= record->fieldCount(); ++i) row.push_back(record->GetString(i));
    rows.push_back(std::move(row));
  }
  return rows;
}

inline bool HasRow(const Rows& rows, const std::vector<std::string>& expected) {
  for (const auto& row : rows)
    if (row == expected) return true;
  return false;
}

inline std::string ProjectText(const std::string& added, const std::string& modified = "",
                               const std::string& registry = "", const std::string& ini = "",
                               const std::string& shortcuts = "", const std::string& modifiedRegistry = "") {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Project>"
         "<FileSystem><AddedItems><DirectoryList>" + added + "</DirectoryList></AddedItems>"
         "<ModifiedItems><DirectoryList>" + modified + "</DirectoryList></ModifiedItems>"
         "<DeletedItems><DirectoryList/></DeletedItems></FileSystem>"
         "<RegistrySystem><AddedItems><SubKeyList>" + registry + "</SubKeyList></AddedItems>"
         "<ModifiedItems><SubKeyList>" + modifiedRegistry + "</SubKeyList></ModifiedItems>"
         "<DeletedItems><SubKeyList/></DeletedItems></RegistrySystem>"
         "<INIFileSystem>" + ini + "</INIFileSystem>"
         "<ShortcutList>" + shortcuts + "</ShortcutList><ShortcutICONs/>"
         "<ProductInformation><ProductInformation ApplicationName=\"Example\" Version=\"1,0\" "
         "CompanyName=\"Example Ltd\"/></ProductInformation></Project>\n";
}

// One build on a fixture machine. The constructor prepares the machine; Build() runs
// Initialize, BuildMSI and CloseDatabase and opens the package for reading. The fixture machine
// is a 64-bit one; the builder makes a 32-bit package unless another bitness is asked for.
class Builder {
 public:
  explicit Builder(CMSIHandler::PackageBitness bitness = CMSIHandler::PackageBitness::Bits32) {
    handler_.SetPackageBitness(bitness);
    prefix_.Activate();
    prefix_.InDriveC("users/root/Temp/Temp", true);
    std::filesystem::create_directories(prefix_.Scratch() / "out");
    SetupWorkContext(context_, platform::Machine::WindowsPath(prefix_.Scratch() / "out"), L"t.msi");
    context_.ProgramFolder = WideToUtf8(platform::Machine::WindowsPath(CORVANE_PROGRAM_DIR));
  }

  FixturePrefix& prefix() { return prefix_; }
  CMSIHandler& handler() { return handler_; }
  CWorkContext& context() { return context_; }

  std::filesystem::path PackageHostPath() const { return prefix_.Scratch() / "out" / "t.msi"; }

  // Writes the project and builds; the result of BuildMSI (or 0 when Initialize failed).
  int Build(const std::string& projectText) {
    const std::filesystem::path project = prefix_.Scratch() / "ProjectFile.xml";
    std::filesystem::create_directories(project.parent_path());
    FILE* file = std::fopen(project.c_str(), "wb");
    std::fwrite(projectText.data(), 1, projectText.size(), file);
    std::fclose(file);
    int result = handler_.Initialize(nullptr, WideToUtf8(platform::Machine::WindowsPath(project)).c_str());
    if (result == 1) result = handler_.BuildMSI();
    errors_ = handler_.errors();
    handler_.CloseDatabase();
    if (result == 1) {
      EXPECT_EQ(database_.OpenReadOnly(platform::Machine::WindowsPath(PackageHostPath())), platform::kSuccess);
    }
    return result;
  }

  Rows Table(const std::string& statement) { return Select(database_, statement); }
  std::string SummaryText(unsigned property) { return database_.GetSummaryText(property); }
  std::string DirectiveText() const { return ReadHostFile(prefix_.InDriveC("users/root/Temp/Temp/MSIProject.ddf")); }
  const std::vector<std::string>& errors() const { return errors_; }

 private:
  FixturePrefix prefix_;
  CWorkContext context_;
  CMSIHandler handler_{context_};
  platform::InstallerDatabase database_;
  std::vector<std::string> errors_;
};

}  // namespace package_test
