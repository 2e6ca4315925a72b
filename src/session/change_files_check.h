#pragma once
#include <string>

class CWorkContext;

// The comparison's writers log a failed save and go on; what they leave is checked here, so that
// change files that were not written (a full disk) never pass for a finished comparison.

// Removes the three change files (FileChangesPath, RegChangesPath, INIChangesPath) before a
// comparison writes them anew, so that files of an earlier, interrupted run cannot stand in for
// files this one failed to write.
void RemoveChangeFiles(const CWorkContext& context);
// The first change file that is missing or does not hold its changes (a document with the element
// the project file takes from it); empty when all three are whole.
std::wstring FirstUnwrittenChangeFile(const CWorkContext& context);
