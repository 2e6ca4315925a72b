// Corvane Repackager: start-up and dispatch.
#include <cstdio>

int main(int argc, char** argv) {
  (void)argv;
  if (argc < 2) {
    std::fputs("CorvaneRepackager: the wizard is not available in this build; "
               "use CorvaneRepackager <project file> -Path=<output folder> [-File=<package name>]\n",
               stderr);
    return 2;
  }
  return 2;
}
