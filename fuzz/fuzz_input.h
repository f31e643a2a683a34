// FuzzInput: takes typed values off the front of a fuzzer's input, so that
// one byte string drives a whole sequence of calls. Every Take returns a
// value even when the input has run out (zeros, empty texts), so a target
// never has to check; `empty()` tells when to stop.
//
//   FuzzInput in(data, size);
//   const int32_t channels = in.TakeInRange(1, 8);
//   const std::string config = in.TakeText();   // up to the next NUL byte
//   while (!in.empty()) { ... in.TakeFloat() ... }
//
// Plain C++ with no dependency on libFuzzer, so the targets also build with
// GCC into the corpus-replay tests.

#ifndef VORN_FUZZ_FUZZ_INPUT_H_
#define VORN_FUZZ_FUZZ_INPUT_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace vorn {
namespace fuzz {

class FuzzInput {
 public:
  // `data` must outlive this object; nothing is copied.
  FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  FuzzInput(const FuzzInput&) = delete;
  FuzzInput& operator=(const FuzzInput&) = delete;

  bool empty() const { return size_ == 0; }
  size_t remaining() const { return size_; }

  uint8_t TakeByte() {
    if (size_ == 0) return 0;
    const uint8_t byte = *data_;
    ++data_;
    --size_;
    return byte;
  }

  bool TakeBool() { return (TakeByte() & 1) != 0; }

  // Four bytes, little-endian; missing bytes read as zero.
  uint32_t TakeUint32() {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i)
      value |= static_cast<uint32_t>(TakeByte()) << (8 * i);
    return value;
  }

  int32_t TakeInt32() {
    const uint32_t bits = TakeUint32();
    int32_t value;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
  }

  // A value in [low, high] from one byte when the range is small, else four.
  int32_t TakeInRange(int32_t low, int32_t high) {
    const uint64_t span =
        static_cast<uint64_t>(static_cast<int64_t>(high) - low) + 1;
    const uint64_t raw = span <= 256 ? TakeByte() : TakeUint32();
    return static_cast<int32_t>(low + static_cast<int64_t>(raw % span));
  }

  // Any 32-bit pattern: NaNs, infinities, denormals and negative zero too.
  float TakeFloat() {
    const uint32_t bits = TakeUint32();
    float value;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
  }

  // The bytes up to the next NUL (which is consumed) or the end.
  std::string TakeText() {
    const void* nul = size_ == 0 ? nullptr : std::memchr(data_, 0, size_);
    const size_t length =
        nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - data_)
            : size_;
    std::string text(reinterpret_cast<const char*>(data_), length);
    const size_t taken = nul ? length + 1 : length;
    data_ += taken;
    size_ -= taken;
    return text;
  }

  // Everything that is left.
  std::string TakeRest() {
    std::string text(reinterpret_cast<const char*>(data_), size_);
    data_ += size_;
    size_ = 0;
    return text;
  }

  // One of `values`, chosen by one byte.
  template <typename T, size_t N>
  T Pick(const T (&values)[N]) {
    return values[TakeByte() % N];
  }

 private:
  const uint8_t* data_;  // the next byte to take; data_[0, size_) remain
  size_t size_;
};

// `text` split at NUL bytes: "a\0b" gives {"a", "b"}; "" gives {""}. At most
// `max_parts` parts; the last one keeps the rest, NULs included.
inline std::vector<std::string> SplitAtNul(const std::string& text,
                                           size_t max_parts) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (parts.size() + 1 < max_parts) {
    const size_t nul = text.find('\0', start);
    if (nul == std::string::npos) break;
    parts.push_back(text.substr(start, nul - start));
    start = nul + 1;
  }
  parts.push_back(text.substr(start));
  return parts;
}

}  // namespace fuzz
}  // namespace vorn

#endif  // VORN_FUZZ_FUZZ_INPUT_H_
