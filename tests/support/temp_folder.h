#pragma once
#include <filesystem>
#include <string>

// A temporary folder removed with everything in it when the object goes.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // Writes a file (creating its folders) with the given bytes; returns its path.
  std::filesystem::path WriteFile(const std::filesystem::path& relative, const std::string& bytes) const;

 private:
  std::filesystem::path path_;
};

// Reads a whole host file; empty if it cannot be read.
std::string ReadHostFile(const std::filesystem::path& path);
// How many times `piece` occurs in `text` (not overlapping).
size_t Occurrences(const std::string& text, const std::string& piece);
// Writes a host file (creating its folders) with the given bytes.
void WriteHostFile(const std::filesystem::path& path, const std::string& bytes);
