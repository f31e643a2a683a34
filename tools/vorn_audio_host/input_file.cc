#include "vorn_audio_host/input_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>

#include "base/logging/eintr.h"

namespace audio_host {

namespace {

uint32_t LittleEndian32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

uint16_t LittleEndian16(const unsigned char* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}

// Reads exactly `size` bytes at `offset`; false on a short read or error.
bool ReadAt(int fd, int64_t offset, unsigned char* buffer, size_t size) {
  while (size > 0) {
    const ssize_t n = base::RetryOnEintr(
        [&] { return pread(fd, buffer, size, static_cast<off_t>(offset)); });
    if (n <= 0) return false;
    buffer += n;
    size -= static_cast<size_t>(n);
    offset += n;
  }
  return true;
}

}  // namespace

std::string ErrnoText(int err) { return std::strerror(err); }

SndfilePtr OpenSndfile(int fd, int mode, SF_INFO* info) {
  const int copy = fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) return nullptr;
  return SndfilePtr(sf_open_fd(copy, mode, info, SF_TRUE));
}

std::string DescribeWavFormatFault(int fd) {
  unsigned char header[12];
  if (!ReadAt(fd, 0, header, sizeof(header)) ||
      std::memcmp(header, "RIFF", 4) != 0 ||
      std::memcmp(header + 8, "WAVE", 4) != 0) {
    return "";
  }
  int64_t offset = 12;
  // Bounded walk: a file of chained empty chunks cannot keep us here.
  for (int chunk = 0; chunk < 4096; ++chunk) {
    unsigned char chunk_header[8];
    if (!ReadAt(fd, offset, chunk_header, sizeof(chunk_header))) return "";
    const uint32_t size = LittleEndian32(chunk_header + 4);
    if (std::memcmp(chunk_header, "fmt ", 4) == 0) {
      unsigned char format[8];
      if (size < sizeof(format) || !ReadAt(fd, offset + 8, format, 8)) {
        return "its WAV format chunk is too short";
      }
      const uint16_t channels = LittleEndian16(format + 2);
      const uint32_t rate = LittleEndian32(format + 4);
      if (channels == 0) return "its WAV header gives 0 channels";
      if (rate == 0) return "its WAV header gives a sample rate of 0 Hz";
      if (rate > static_cast<uint32_t>(INT32_MAX)) {
        return "its WAV header gives a sample rate of " + std::to_string(rate) +
               " Hz, beyond what a sample rate can hold";
      }
      return "";
    }
    offset += 8 + static_cast<int64_t>(size) + (size & 1);
  }
  return "";
}

bool OpenInput(const std::string& path, Input* input, std::string* error) {
  input->fd.reset(base::RetryOnEintr(
      [&] { return open(path.c_str(), O_RDONLY | O_CLOEXEC); }));
  if (!input->fd.valid()) {
    *error = "cannot read " + path + ": " + ErrnoText(errno);
    return false;
  }
  if (fstat(input->fd.get(), &input->identity) != 0) {
    *error = "cannot read " + path + ": " + ErrnoText(errno);
    return false;
  }
  if (S_ISDIR(input->identity.st_mode)) {
    *error = "cannot read " + path + ": it is a directory";
    return false;
  }
  input->file = OpenSndfile(input->fd.get(), SFM_READ, &input->info);
  if (!input->file) {
    const std::string libsndfile_text = sf_strerror(nullptr);
    std::string fault = DescribeWavFormatFault(input->fd.get());
    *error = "cannot read " + path + ": " +
             (fault.empty() ? libsndfile_text : fault);
    return false;
  }
  if (input->info.channels < 1 || input->info.samplerate < 1) {
    *error = path + " has no channels or no sample rate";
    return false;
  }
  return true;
}

}  // namespace audio_host
