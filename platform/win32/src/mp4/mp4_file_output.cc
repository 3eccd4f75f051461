#include "mp4/mp4_file_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

extern "C" {
#include <libavformat/avio.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
}

#include "mp4/mp4_encoder.h"

namespace mp4 {
namespace {

constexpr int kBufferBytes = 64 * 1024;

}  // namespace

int Mp4FileOutput::Open(const std::string& path, std::int64_t max_bytes,
                        std::unique_ptr<Mp4FileOutput>* output, std::string* error) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    const int code = AVERROR(errno);
    *error = Mp4ErrorText("open output", code);
    return code;
  }
  std::unique_ptr<Mp4FileOutput> made(new Mp4FileOutput(fd, max_bytes));
  auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferBytes));
  if (buffer != nullptr) {
    made->io_ = avio_alloc_context(buffer, kBufferBytes, 1, made.get(), nullptr, &Write, &Seek);
  }
  if (made->io_ == nullptr) {
    av_free(buffer);
    *error = "open output: out of memory";
    return AVERROR(ENOMEM);
  }
  *output = std::move(made);
  return 0;
}

Mp4FileOutput::~Mp4FileOutput() {
  Close();
  if (io_ != nullptr) {
    av_freep(&io_->buffer);
    avio_context_free(&io_);
  }
}

int Mp4FileOutput::Close() {
  if (fd_ < 0) return 0;
  int code = 0;
  if (io_ != nullptr) {
    avio_flush(io_);
    code = io_->error;
  }
  if (close(fd_) != 0 && code >= 0) code = AVERROR(errno);
  fd_ = -1;
  return code;
}

int Mp4FileOutput::Write(void* opaque, std::uint8_t* data, int size) {
  auto* self = static_cast<Mp4FileOutput*>(opaque);
  std::int64_t allowed = size;
  if (self->max_bytes_ >= 0) {
    allowed = std::clamp<std::int64_t>(self->max_bytes_ - self->position_, 0, size);
  }
  std::int64_t done = 0;
  while (done < allowed) {
    const ssize_t wrote = pwrite(self->fd_, data + done, static_cast<std::size_t>(allowed - done),
                                 static_cast<off_t>(self->position_ + done));
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return AVERROR(wrote < 0 ? errno : EIO);
    done += wrote;
  }
  self->position_ += done;
  self->size_ = std::max(self->size_, self->position_);
  return done < size ? AVERROR(ENOSPC) : size;
}

std::int64_t Mp4FileOutput::Seek(void* opaque, std::int64_t offset, int whence) {
  auto* self = static_cast<Mp4FileOutput*>(opaque);
  std::int64_t target = 0;
  switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
      return self->size_;
    case SEEK_SET:
      target = offset;
      break;
    case SEEK_CUR:
      target = self->position_ + offset;
      break;
    case SEEK_END:
      target = self->size_ + offset;
      break;
    default:
      return AVERROR(EINVAL);
  }
  if (target < 0) return AVERROR(EINVAL);
  self->position_ = target;
  return target;
}

}  // namespace mp4
