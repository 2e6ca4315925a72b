#include "ui/icon_reader.h"

#include <QBuffer>
#include <QImageReader>
#include <algorithm>
#include <cstdlib>

#include "core/strings.h"
#include "platform/file_system.h"
#include "platform/pe_reader.h"

namespace {
bool EndsWith(const std::wstring& text, const std::wstring& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}
}  // namespace

CIconReader::SourceKind CIconReader::KindOf(const std::wstring& path) {
  const std::wstring lower = FoldAsciiLower(path);
  if (EndsWith(lower, L".exe") || EndsWith(lower, L".dll")) return SourceKind::kProgram;
  if (EndsWith(lower, L".ico")) return SourceKind::kIconFile;
  return SourceKind::kOther;
}

bool CIconReader::ReadFile(const std::wstring& path, std::string& bytes) {
  platform::MappedFile file;
  if (file.Open(path) != platform::kSuccess) return false;
  bytes.assign(reinterpret_cast<const char*>(file.data()), static_cast<size_t>(file.size()));
  return true;
}

int CIconReader::IconCount(const std::wstring& path) {
  std::string bytes;
  switch (KindOf(path)) {
    case SourceKind::kProgram: {
      if (!ReadFile(path, bytes)) return 0;
      platform::pe::Image image;
      if (!image.Parse(bytes)) return 0;
      return static_cast<int>(image.ResourcesOfType(platform::pe::kResourceGroupIcon).size());
    }
    case SourceKind::kIconFile:
      return ReadFile(path, bytes) && !IconFromIcoBytes(bytes, 16).isNull() ? 1 : 0;
    case SourceKind::kOther:
      break;
  }
  return 0;
}

QImage CIconReader::Icon(const std::wstring& path, int index, int size) {
  std::string bytes;
  if (!ReadFile(path, bytes)) return QImage();
  switch (KindOf(path)) {
    case SourceKind::kProgram: {
      platform::pe::Image image;
      std::string ico;
      if (index < 0 || !image.Parse(bytes) || !platform::pe::ExtractIconFile(image, index, ico)) return QImage();
      return IconFromIcoBytes(ico, size);
    }
    case SourceKind::kIconFile:
      return index == 0 ? IconFromIcoBytes(bytes, size) : QImage();
    case SourceKind::kOther:
      break;
  }
  return QImage();
}

QImage CIconReader::IconFromIcoBytes(const std::string& bytes, int size) {
  QByteArray data(bytes.data(), static_cast<qsizetype>(bytes.size()));
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, "ico");
  // The image nearest in size; of two as near, the deeper (later in a well-made file).
  QImage best;
  int bestDistance = 0;
  const int count = std::max(1, reader.imageCount());
  for (int i = 0; i < count; ++i) {
    if (i > 0 && !reader.jumpToImage(i)) break;
    const QImage image = reader.read();
    if (image.isNull()) continue;
    const int distance = std::abs(image.width() - size);
    if (best.isNull() || distance < bestDistance ||
        (distance == bestDistance && image.depth() >= best.depth())) {
      best = image;
      bestDistance = distance;
    }
  }
  if (best.isNull() || best.size() == QSize(size, size)) return best;
  return best.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}
