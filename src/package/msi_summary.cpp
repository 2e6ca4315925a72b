#include "package/msi_summary.h"

#include "core/strings.h"
#include "package/package_names.h"
#include "platform/installer_database.h"

CMsiSummary::Result CMsiSummary::Write(platform::InstallerDatabase& database, const Texts& texts, bool package64) {
  Result result;
  const std::string packageCode = CPackageNames::NewGuidString();
  const struct {
    unsigned id;
    const std::string& value;
  } properties[] = {
      {platform::kPidTitle, texts.title},       {platform::kPidSubject, texts.subject},
      {platform::kPidAuthor, texts.author},     {platform::kPidComments, texts.comments},
      {platform::kPidLastAuthor, ""},           {platform::kPidRevisionNumber, packageCode},
      {platform::kPidAppName, "Corvane Repackager Installation Database"},
  };
  for (const auto& property : properties) {
    if (database.SetSummaryText(property.id, property.value) != platform::kSuccess)
      result.errors.push_back(FormatText("CMSIHandler::SetSummaryInformation: Unable to set summary property %u: %s",
                                         property.id, database.lastError().c_str()));
  }
  if (package64) {
    // The languages of the template stay; only the platform changes.
    const std::string current = database.GetSummaryText(platform::kPidTemplate);
    const size_t semicolon = current.find(';');
    const std::string languages = semicolon == std::string::npos ? "1033" : current.substr(semicolon + 1);
    if (database.SetSummaryText(platform::kPidTemplate, "x64;" + languages) != platform::kSuccess) {
      // Without it the installer would treat the package as a 32-bit one.
      result.errors.push_back("CMSIHandler::SetSummaryInformation: Unable to set the platform of the package: " +
                              database.lastError());
      result.failed = true;
    }
  }
  if (database.PersistSummary() != platform::kSuccess) {
    result.errors.push_back("CMSIHandler::SetSummaryInformation: Unable to write the summary information: " +
                            database.lastError());
    result.failed = true;
  }
  return result;
}
