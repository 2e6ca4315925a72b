#pragma once
#include <string>
#include <vector>

namespace platform {
class InstallerDatabase;
}

// The summary pass of the package build: the summary information stream (title, subject, author,
// comments, a new package code, the program's name, and for a 64-bit package the "x64" platform
// with the template's languages).
class CMsiSummary {
 public:
  struct Texts {
    std::string title;
    std::string subject;
    std::string author;
    std::string comments;
  };
  // What the pass reports: every error in order, and whether the package cannot be used (no
  // platform for a 64-bit package, or the stream not written). A property that cannot be set is
  // an error that leaves the package usable.
  struct Result {
    std::vector<std::string> errors;
    bool failed = false;
  };

  static Result Write(platform::InstallerDatabase& database, const Texts& texts, bool package64);
};
