#include "platform/wine/buffered_file_output.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

struct BufferedFileOutput {
  GOutputStream parent;
  int fd;
  guint8* buffer;
  gsize capacity;
  gsize used;
  goffset start;  // the file offset of buffer[0]; the stream's position is start + used
};

struct BufferedFileOutputClass {
  GOutputStreamClass parent;
};

void buffered_file_output_seekable_init(GSeekableIface* iface);

G_DEFINE_TYPE_WITH_CODE(BufferedFileOutput, buffered_file_output, G_TYPE_OUTPUT_STREAM,
                        G_IMPLEMENT_INTERFACE(G_TYPE_SEEKABLE, buffered_file_output_seekable_init))

BufferedFileOutput* Self(gpointer object) { return reinterpret_cast<BufferedFileOutput*>(object); }

bool SetErrno(GError** error, int number) {
  g_set_error_literal(error, G_IO_ERROR, g_io_error_from_errno(number), g_strerror(number));
  return false;
}

// Writes `count` bytes at `offset`, all of them.
bool WriteAt(int fd, const guint8* data, gsize count, goffset offset, GError** error) {
  while (count > 0) {
    const ssize_t put = ::pwrite(fd, data, count, offset);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return SetErrno(error, errno);
    if (put == 0) return SetErrno(error, EIO);
    data += put;
    count -= static_cast<gsize>(put);
    offset += put;
  }
  return true;
}

bool FlushBuffer(BufferedFileOutput* self, GError** error) {
  if (self->used == 0) return true;
  if (!WriteAt(self->fd, self->buffer, self->used, self->start, error)) return false;
  self->start += static_cast<goffset>(self->used);
  self->used = 0;
  return true;
}

gssize WriteFn(GOutputStream* stream, const void* data, gsize count, GCancellable* cancellable, GError** error) {
  BufferedFileOutput* self = Self(stream);
  if (g_cancellable_set_error_if_cancelled(cancellable, error)) return -1;
  if (self->used + count > self->capacity && !FlushBuffer(self, error)) return -1;
  if (count >= self->capacity) {
    // A large block goes straight to the file.
    if (!WriteAt(self->fd, static_cast<const guint8*>(data), count, self->start, error)) return -1;
    self->start += static_cast<goffset>(count);
    return static_cast<gssize>(count);
  }
  std::memcpy(self->buffer + self->used, data, count);
  self->used += count;
  return static_cast<gssize>(count);
}

gboolean FlushFn(GOutputStream* stream, GCancellable* /*cancellable*/, GError** error) {
  return FlushBuffer(Self(stream), error);
}

gboolean CloseFn(GOutputStream* stream, GCancellable* /*cancellable*/, GError** error) {
  return FlushBuffer(Self(stream), error);
}

goffset TellFn(GSeekable* seekable) {
  BufferedFileOutput* self = Self(seekable);
  return self->start + static_cast<goffset>(self->used);
}

gboolean CanSeekFn(GSeekable* /*seekable*/) { return TRUE; }

gboolean SeekFn(GSeekable* seekable, goffset offset, GSeekType type, GCancellable* /*cancellable*/,
                GError** error) {
  BufferedFileOutput* self = Self(seekable);
  goffset target = offset;
  if (type == G_SEEK_CUR) target += TellFn(seekable);
  if (type == G_SEEK_END || target < 0) {
    g_set_error_literal(error, G_IO_ERROR, G_IO_ERROR_NOT_SUPPORTED, "seek not supported");
    return FALSE;
  }
  if (target == TellFn(seekable)) return TRUE;
  if (!FlushBuffer(self, error)) return FALSE;
  self->start = target;
  return TRUE;
}

gboolean CanTruncateFn(GSeekable* /*seekable*/) { return FALSE; }

gboolean TruncateFn(GSeekable* /*seekable*/, goffset /*offset*/, GCancellable* /*cancellable*/, GError** error) {
  g_set_error_literal(error, G_IO_ERROR, G_IO_ERROR_NOT_SUPPORTED, "truncate not supported");
  return FALSE;
}

void buffered_file_output_seekable_init(GSeekableIface* iface) {
  iface->tell = TellFn;
  iface->can_seek = CanSeekFn;
  iface->seek = SeekFn;
  iface->can_truncate = CanTruncateFn;
  iface->truncate_fn = TruncateFn;
}

void buffered_file_output_finalize(GObject* object) {
  g_free(Self(object)->buffer);
  G_OBJECT_CLASS(buffered_file_output_parent_class)->finalize(object);
}

void buffered_file_output_class_init(BufferedFileOutputClass* klass) {
  G_OBJECT_CLASS(klass)->finalize = buffered_file_output_finalize;
  GOutputStreamClass* stream = G_OUTPUT_STREAM_CLASS(klass);
  stream->write_fn = WriteFn;
  stream->flush = FlushFn;
  stream->close_fn = CloseFn;
}

void buffered_file_output_init(BufferedFileOutput* self) {
  self->fd = -1;
  self->buffer = nullptr;
  self->capacity = 0;
  self->used = 0;
  self->start = 0;
}

}  // namespace

namespace platform::wine {

GOutputStream* NewBufferedFileOutput(int fd, gsize bufferBytes) {
  auto* self = Self(g_object_new(buffered_file_output_get_type(), nullptr));
  self->fd = fd;
  self->capacity = bufferBytes > 0 ? bufferBytes : 1;
  self->buffer = static_cast<guint8*>(g_malloc(self->capacity));
  return G_OUTPUT_STREAM(self);
}

}  // namespace platform::wine
