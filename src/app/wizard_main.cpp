// Corvane Repackager's wizard. The program starts it when it runs without arguments; it is a
// program of its own so that the command line does not load the window system's libraries.
#include "ui/wizard_program.h"

int main(int argc, char** argv) { return RunWizardProgram(argc, argv); }
