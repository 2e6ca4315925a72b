#pragma once
#include <QImage>
#include <string>

// The icons of shortcut sources, read from the files themselves: the icon groups of a program
// file's resources (our PE reader) and .ico files, decoded by Qt's image readers. Nothing asks the
// machine's shell, so the same icons show on every platform. Paths are Windows paths.
class CIconReader {
 public:
  // What an icon source is, by its extension without regard to case: ".exe" or ".dll" a program
  // file, ".ico" an icon file, anything else neither.
  enum class SourceKind { kProgram, kIconFile, kOther };
  static SourceKind KindOf(const std::wstring& path);

  // The number of icons the source holds: the icon groups of a program file; 1 for an icon file
  // that can be read; 0 for anything else or a file that cannot be read.
  static int IconCount(const std::wstring& path);
  // The icon `index` of the source drawn at `size` x `size` pixels (the image of the icon that
  // fits best, scaled when none has that size). A null image when there is none.
  static QImage Icon(const std::wstring& path, int index, int size);
  // The same from the bytes of an .ico file.
  static QImage IconFromIcoBytes(const std::string& bytes, int size);

 private:
  static bool ReadFile(const std::wstring& path, std::string& bytes);
};
