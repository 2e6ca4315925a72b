#pragma once

// The interactive mode of the program: the wizard. Plain C++ on purpose, so that main() does not
// see Qt. Prepares the work folders, the logger and the capture session, runs the wizard
// modally and ends them: Finish ends the capture (its pending mark goes), Cancel keeps a pending
// capture for the next start. Returns the process's exit status (0, or 1 when the machine cannot
// be used or the engine cannot start).
int RunWizardProgram(int& argc, char** argv);

class CCaptureSession;
// The end of a wizard run: finished, the capture ends (the session forgets the pending mark);
// cancelled, a pending capture stays for the next start.
void EndWizardRun(CCaptureSession& session, bool finished);
