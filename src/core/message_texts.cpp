#include "core/message_texts.h"

#include <algorithm>
#include <iterator>

namespace {

struct NumberedText {
  int number;
  const wchar_t* text;
};

// Kept sorted by number so that a lookup is a binary search.
constexpr NumberedText kTexts[] = {
    // Main page.
    {102, L"Choose what to do: capture the installation of a setup program and turn it into a "
          L"Windows Installer package, or build a package from a project file saved earlier. "
          L"Name the file and describe the product."},
    // Capture pages.
    {103, L"The first snapshot records the folders and registry keys listed below before the "
          L"setup program runs. Click Next to take it."},
    {104, L"Taking the first snapshot. Please wait..."},
    // Content review pages.
    {105, L"These are the file changes the setup program made. Tick what does not belong to the "
          L"application, give the reason and click Exclude; Include again takes ticked items back."},
    {106, L"These are the registry changes the setup program made. Tick what does not belong to "
          L"the application, give the reason and click Exclude; Include again takes ticked items back."},
    {107, L"The first snapshot is taken. Run the setup program now, or confirm that it has "
          L"already been run, then click Next."},
    // Include and exclude editor.
    {109, L"Tick the folders and registry keys the capture covers."},
    {110, L" Click Next to take the second snapshot and compare it with the first."},
    // Project view.
    {111, L"The project's files and registry keys are checked against this machine. Items shown "
          L"in red are missing: point their folders and keys to their new places, or choose to "
          L"ignore them."},
    {114, L"Please enter a description for the exclusion."},
    {115, L"The item cannot be described: choose a folder or a registry key first."},
    // Main page messages.
    {116, L"Please choose one of the options."},
    {117, L"A Windows Installer package (.msi) cannot be repackaged. Choose a setup program "
          L"(.exe)."},
    {118, L"The setup program must be an executable file (.exe)."},
    {119, L"Please enter the product name, its version and its company."},
    {120, L"The file was not found. Please check the path."},
    {121, L"You are not an administrator of this machine. A capture may miss changes that "
          L"need administrator rights. Do you want to continue?"},
    // Build page checks.
    {122, L"The output path is not a folder."},
    {123, L"The output folder does not exist."},
    {124, L"Please enter a name for the package."},
    {125, L"The package name must end with \".msi\"."},
    {126, L"The package name needs a name before \".msi\"."},
    {127, L"Nothing is selected for the snapshot. Do you want to continue anyway?"},
    {128, L"Please tick the items to exclude."},
    {129, L"No reason was given for the exclusion. The rule is stored without a description."},
    {130, L"Please tick the items to include again."},
    {132, L"Please enter a name for the project file."},
    {133, L"The project file name must end with \".xml\"."},
    {134, L"The project file name needs a name before \".xml\"."},
    {135, L"Some files or registry keys of the project are missing on this machine. Relocate "
          L"them, or tick the box to build without them."},
    {136, L"Please tick the items to relocate first."},
    // Build progress.
    {137, L"Adding the modified files to the package..."},
    {138, L"Compressing the files into the cabinet..."},
    {139, L"Writing the package properties..."},
    {140, L"Writing the media table..."},
    {141, L"Writing the registry entries..."},
    {142, L"Writing the shortcuts..."},
    {143, L"Writing the INI file entries..."},
    {144, L"Writing the summary information..."},
    // Capture progress.
    {145, L"Comparing the registry snapshots..."},
    {146, L"Reading registry key: "},
    {147, L"Comparing the file snapshots..."},
    {148, L"Scanning folder: "},
    {149, L"Taking the second snapshot of the file system..."},
    {150, L"Writing the file changes..."},
    {151, L"Writing the registry changes..."},
    {152, L"%d folders and %d files scanned"},
    {153, L"%d registry keys read"},
    {154, L"Writing folder %d of %d"},
    {155, L"Writing registry key %d"},
    // Main page labels.
    {156, L"Setup program:"},
    {157, L"Project file:"},
    {158, L"Building the package..."},
    {159, L"Done. The details are in the log."},
    {160, L"The first snapshot is complete."},
    {161, L"The first snapshot has been taken."},
    {162, L"The project file is written."},
    {163, L"Building the package from the project file..."},
    {164, L"Writing the project file..."},
    {165, L"The pending capture is discarded."},
    {166, L"The second snapshot is complete."},
    {167, L"Comparing the snapshots..."},
    {168, L"The comparison is complete. Click Next to review the changes."},
    {169, L"Taking the second snapshot. Please wait..."},
    {170, L"A Windows Installer process ran during the setup. Its changes may be incomplete in "
          L"the capture. Click OK to continue, or Cancel to discard this capture."},
    {171, L"Launch the setup program now: "},
    {172, L"The setup program has already been run: "},
    {173, L"The setup of "},
    {174, L" has been run."},
    {177, L"Please define at least one shortcut."},
    {178, L"Adding the files to the package..."},
    {179, L"A quick-launch shortcut is created only for the user who installs the package."},
    // Wizard pages and notes of this version.
    {180, L"Welcome to Corvane Repackager. Click Next to start."},
    {183, L"A capture started earlier is waiting for its second snapshot. Continue it (the setup "
          L"program is not run again), or discard it and start a new one."},
    {184, L"The setup program is running. Click through its windows; the wizard goes on by itself "
          L"when the setup and everything it started have ended. Cancel ends the setup's programs; the "
          L"capture stays pending."},
    {185, L"Cancelling: the running step is stopped and what it had half-written is removed..."},
    {186, L"The step did not complete:"},
    {187, L"The capture stays pending: Next takes the second snapshot of the machine as it is now; "
          L"Cancel keeps the capture for a later start."},
    {188, L"Next checks the project's files and registry keys against this machine; missing "
          L"ones can be pointed to their new places before the package is built."},
    {189, L"Nothing could be captured: the machine the program works on cannot be used."},
    {190, L"A capture started earlier is still waiting for its second snapshot. Starting a new "
          L"capture discards it. Do you want to start a new capture?"},
    {191, L"A capture of another machine is pending in this program folder; it is kept. A capture "
          L"started here cannot be resumed after a restart while that one is pending. The other "
          L"machine: "},
};

}  // namespace

std::wstring MessageText(int number) {
  const auto* found = std::lower_bound(
      std::begin(kTexts), std::end(kTexts), number,
      [](const NumberedText& entry, int wanted) { return entry.number < wanted; });
  if (found == std::end(kTexts) || found->number != number) {
    return std::wstring();
  }
  return std::wstring(found->text);
}
