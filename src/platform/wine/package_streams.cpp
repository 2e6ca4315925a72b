// Streams added to a package under Wine: the package is a compound file, which libgsf (the
// library libmsi itself writes packages with) copies child by child into a new file, and the new
// streams are copied into it from their files a block at a time. libmsi would hold each stream
// whole in memory until its commit.
#include "platform/package_streams.h"

#include <gsf/gsf.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>
#include <vector>
#include <system_error>

#include "core/logger.h"
#include "core/strings.h"
#include "platform/machine.h"
#include "platform/wine/glib_status.h"

namespace fs = std::filesystem;

namespace platform {
namespace wine {
namespace {

// The installer packs names of letters, digits, "." and "_" two characters to one UTF-16 unit
// (0x3800 + a + 64 * b), a lone one as 0x4800 + a; other characters stay as they are. Streams of
// the _Streams table carry no table prefix.
int NameCode(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  if (c >= 'a' && c <= 'z') return c - 'a' + 36;
  if (c == '.') return 62;
  if (c == '_') return 63;
  return -1;
}

std::string EncodeStreamName(const std::string& name) {
  std::u16string units;
  for (size_t i = 0; i < name.size(); ++i) {
    const int first = NameCode(name[i]);
    if (first < 0) {
      units.push_back(static_cast<char16_t>(static_cast<unsigned char>(name[i])));
      continue;
    }
    const int second = i + 1 < name.size() ? NameCode(name[i + 1]) : -1;
    if (second >= 0) {
      units.push_back(static_cast<char16_t>(0x3800 + first + (second << 6)));
      ++i;
    } else {
      units.push_back(static_cast<char16_t>(0x4800 + first));
    }
  }
  gchar* utf8 = g_utf16_to_utf8(reinterpret_cast<const gunichar2*>(units.data()), static_cast<glong>(units.size()),
                                nullptr, nullptr, nullptr);
  std::string result = utf8 != nullptr ? utf8 : "";
  g_free(utf8);
  return result;
}

// A compound file holds names of at most 31 UTF-16 units.
constexpr size_t kMaxEncodedUnits = 31;

bool IsUsableName(const std::string& name) {
  if (name.empty()) return false;
  for (char c : name)
    if (NameCode(c) < 0) return false;
  return (name.size() + 1) / 2 <= kMaxEncodedUnits;
}

// What a copy reports when it was stopped.
constexpr const char* kStopped = "the copy was cancelled";

// Copies `from` into `to` a block at a time, asking `cancelled` between blocks. False with `error`
// set on a failure or a cancel (kStopped).
bool CopyBlocks(GsfInput* from, GsfOutput* to, const std::function<bool()>& cancelled, std::string& error) {
  constexpr gsize kBlock = 1 << 20;
  std::vector<guint8> block(kBlock);
  for (gsf_off_t left = gsf_input_remaining(from); left > 0;) {
    if (cancelled && cancelled()) {
      error = kStopped;
      return false;
    }
    const gsize count = static_cast<gsize>(std::min<gsf_off_t>(left, kBlock));
    if (gsf_input_read(from, count, block.data()) == nullptr) {
      error = "a stream cannot be read";
      return false;
    }
    if (!gsf_output_write(to, count, block.data())) {
      error = "a stream cannot be written";
      return false;
    }
    left -= static_cast<gsf_off_t>(count);
  }
  return true;
}

// Copies every child of `from` into `to` except those named in `skip`; storages with their class
// ids and children. False with `error` set on a failure or a cancel.
bool CopyChildren(GsfInfile* from, GsfOutfile* to, const std::set<std::string>& skip,
                  const std::function<bool()>& cancelled, std::string& error) {
  const int count = gsf_infile_num_children(from);
  for (int i = 0; i < count; ++i) {
    const char* name = gsf_infile_name_by_index(from, i);
    if (name == nullptr || skip.count(name) > 0) continue;
    GObjectRef<GsfInput> child(gsf_infile_child_by_index(from, i));
    if (!child) {
      error = "a part of the package cannot be read";
      return false;
    }
    const bool storage = GSF_IS_INFILE(child.get()) && gsf_infile_num_children(GSF_INFILE(child.get())) >= 0;
    GObjectRef<GsfOutput> copy(gsf_outfile_new_child(to, name, storage));
    if (!copy) {
      error = "a part of the package cannot be written";
      return false;
    }
    bool copied = true;
    if (storage) {
      guint8 classId[16];
      if (GSF_IS_INFILE_MSOLE(child.get()) &&
          gsf_infile_msole_get_class_id(GSF_INFILE_MSOLE(child.get()), classId))
        gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(copy.get()), classId);
      copied = CopyChildren(GSF_INFILE(child.get()), GSF_OUTFILE(copy.get()), {}, cancelled, error);
    } else {
      copied = CopyBlocks(child.get(), copy.get(), cancelled, error);
    }
    if (!gsf_output_close(copy.get()) && copied) {
      error = "a stream of the package cannot be written";
      copied = false;
    }
    if (!copied) return false;
  }
  return true;
}

Status Fail(const std::string& subject, const std::string& what, Status status, std::string* error) {
  if (error != nullptr) *error = what;
  CLogger* logger = CLogger::GetInstance();
  logger->Write(2, FormatText("AddStreamsToPackage failed for %s: %s (error code is: %ld)", subject.c_str(),
                              what.c_str(), status));
  CLogger::ReleaseInstance(logger);
  return status;
}

}  // namespace

// Writes the package read from `packageFile` again at `host` with the streams (see below).
Status Rewrite(const fs::path& host, std::FILE* packageFile, const std::vector<PackageStream>& streams,
               const std::vector<fs::path>& sources, const std::set<std::string>& replaced,
               const std::function<bool()>& cancelled, const std::string& subject, std::string* error);

}  // namespace wine

Status AddStreamsToPackage(const std::wstring& packagePath, const std::vector<PackageStream>& streams,
                           std::string* error, const std::function<bool()>& cancelled) {
  using wine::GObjectRef;
  wine::PrepareGLib();
  const std::string subject = "\"" + WideToUtf8(packagePath) + "\"";
  const fs::path host = Machine::HostPath(packagePath);
  std::error_code ec;
  if (host.empty() || !fs::is_regular_file(host, ec))
    return wine::Fail(subject, "the package does not exist", host.empty() ? kPathNotFound : kFileNotFound, error);

  std::set<std::string> replaced;
  std::vector<fs::path> sources;
  for (const PackageStream& stream : streams) {
    if (!wine::IsUsableName(stream.name))
      return wine::Fail(subject, "\"" + stream.name + "\" is not a usable stream name", kInvalidParameter, error);
    const fs::path source = Machine::HostPath(stream.filePath);
    if (source.empty() || !fs::is_regular_file(source, ec))
      return wine::Fail(subject, "the stream file " + WideToUtf8(stream.filePath) + " does not exist",
                        source.empty() ? kPathNotFound : kFileNotFound, error);
    replaced.insert(wine::EncodeStreamName(stream.name));
    sources.push_back(source);
  }

  // The package is read through a stream of ours: libgsf (1.14.50) keeps its reader of a compound
  // file alive after the last reference is gone, which would hold the replaced file open.
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> packageFile(std::fopen(host.c_str(), "rb"), &std::fclose);
  if (!packageFile) return wine::Fail(subject, "the package cannot be read", kAccessDenied, error);
  return wine::Rewrite(host, packageFile.get(), streams, sources, replaced, cancelled, subject, error);
}

namespace wine {

Status Rewrite(const fs::path& host, std::FILE* packageFile, const std::vector<PackageStream>& streams,
               const std::vector<fs::path>& sources, const std::set<std::string>& replaced,
               const std::function<bool()>& cancelled, const std::string& subject, std::string* error) {
  ScopedGError gerror;
  GObjectRef<GsfInput> input(gsf_input_stdio_new_FILE(host.c_str(), packageFile, TRUE));
  GObjectRef<GsfInfile> package(input ? gsf_infile_msole_new(input.get(), gerror.out()) : nullptr);
  if (!package)
    return Fail(subject, "it is not a package: " + GErrorText(gerror.get(), "unreadable"), kOpenFailed, error);

  // libgsf writes a temporary file beside the package and renames it over the package when it is
  // closed; the package stays readable (and open here) until then.
  GObjectRef<GsfOutput> sink(gsf_output_stdio_new(host.c_str(), gerror.out()));
  if (!sink)
    return Fail(subject, "it cannot be rewritten: " + GErrorText(gerror.get(), ""),
                StatusFromGError(gerror.get(), kWriteFault), error);
  GObjectRef<GsfOutfile> rewritten(gsf_outfile_msole_new(sink.get()));
  guint8 classId[16];
  if (gsf_infile_msole_get_class_id(GSF_INFILE_MSOLE(package.get()), classId))
    gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(rewritten.get()), classId);

  std::string what;
  bool ok = CopyChildren(package.get(), rewritten.get(), replaced, cancelled, what);
  for (size_t i = 0; ok && i < streams.size(); ++i) {
    GObjectRef<GsfInput> source(gsf_input_stdio_new(sources[i].c_str(), gerror.out()));
    GObjectRef<GsfOutput> stream(
        gsf_outfile_new_child(rewritten.get(), EncodeStreamName(streams[i].name).c_str(), FALSE));
    if (!source || !stream) {
      what = "the stream " + streams[i].name + " cannot be started from " + sources[i].string();
      ok = false;
    } else if (!CopyBlocks(source.get(), stream.get(), cancelled, what)) {
      if (what != kStopped) what = "the stream " + streams[i].name + " cannot be copied from " + sources[i].string();
      ok = false;
    }
    if (stream && !gsf_output_close(stream.get()) && ok) {
      what = "the stream " + streams[i].name + " cannot be written";
      ok = false;
    }
  }
  if (!ok) {
    // Closing the file with an error set makes libgsf drop its temporary file.
    gsf_output_set_error(sink.get(), 0, "abandoned");
    gsf_output_close(GSF_OUTPUT(rewritten.get()));
    if (what == kStopped) {
      if (error != nullptr) *error = what;
      return kCancelled;
    }
    return Fail(subject, what, kWriteFault, error);
  }
  // Closing the compound file writes its tables and closes the sink, which renames it into place.
  if (!gsf_output_close(GSF_OUTPUT(rewritten.get()))) {
    const GError* closeError = gsf_output_error(sink.get());
    return Fail(subject, "the package cannot be written: " + GErrorText(closeError, "write failed"),
                StatusFromGError(closeError, kWriteFault), error);
  }
  return kSuccess;
}

}  // namespace wine
}  // namespace platform
