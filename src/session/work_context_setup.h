#pragma once
#include <string>

class CWorkContext;

// Sets a work context up on the machine the program works on: reads the machine's environment
// values into EnvironmentValues (the token form's) and fills the context's paths from the running
// program's folder, the given output folder (empty: the program folder) and package file name
// (empty: the one in force stays). Called at start-up, before any worker runs.
void SetupWorkContext(CWorkContext& context, const std::wstring& outputFolder, const std::wstring& packageFileName);
