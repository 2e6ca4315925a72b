#pragma once
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

// A throw-away Wine prefix for the fuzz targets that read files through the platform seam: a
// temporary folder with dosdevices/c: -> drive_c and the three registry files, made once per
// process and removed at exit. Nothing runs Wine.
class FuzzMachine {
 public:
  // A machine of this process (0 or 1), made on first use; the first one made is activated.
  static FuzzMachine& Get(int which = 0);
  // Points WINEPREFIX at this machine and resets the platform seam. Switching between two
  // machines makes every cache keyed on the registry files' identity read them again.
  void Activate() const;

  // Host path of the prefix and of a file below drive_c.
  const std::filesystem::path& prefix() const { return prefix_; }
  std::filesystem::path DriveCFile(const std::string& name) const { return prefix_ / "drive_c" / name; }
  // Writes bytes to a file below drive_c and returns its Windows path ("C:\name").
  std::wstring WriteFile(const std::string& name, std::string_view bytes) const;
  // Rewrites user.reg as a Wine registry file with the given key blocks after its header.
  void WriteUserReg(std::string_view body) const;

  ~FuzzMachine();

 private:
  FuzzMachine();
  std::filesystem::path prefix_;
};

// Splits a fuzz input into two parts at the first occurrence of a separator line; without one,
// the second part is empty. Lets one target feed a "before" and an "after" file.
void SplitInput(const uint8_t* data, size_t size, std::string_view& first, std::string_view& second);
