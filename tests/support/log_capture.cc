#include "tests/support/log_capture.h"

#include <cstdlib>
#include <mutex>

namespace vorn {
namespace test {

namespace {

struct CaptureState {
  std::mutex mutex;
  bool active = false;
  bool pass_through = false;
  std::vector<CapturedMessage> messages;
};

CaptureState& State() {
  static CaptureState* state = new CaptureState;
  return *state;
}

std::string BaseName(const char* file) {
  std::string path = file ? file : "";
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool Collect(logging::LogSeverity severity, const char* file, int line,
             size_t message_start, const std::string& text) {
  CaptureState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  CapturedMessage message{severity, BaseName(file), line, "", text};
  std::string body =
      message_start <= text.size() ? text.substr(message_start) : std::string();
  if (!body.empty() && body.back() == '\n') body.pop_back();
  message.text = body;
  state.messages.push_back(std::move(message));
  return !state.pass_through;
}

}  // namespace

ScopedLogCapture::ScopedLogCapture(bool pass_through) {
  CaptureState& state = State();
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.active) abort();  // captures do not nest
    state.active = true;
    state.pass_through = pass_through;
    state.messages.clear();
  }
  previous_ = logging::GetLogMessageHandler();
  logging::SetLogMessageHandler(&Collect);
}

ScopedLogCapture::~ScopedLogCapture() {
  logging::SetLogMessageHandler(previous_);
  CaptureState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.active = false;
  state.messages.clear();
}

std::vector<CapturedMessage> ScopedLogCapture::messages() const {
  CaptureState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  return state.messages;
}

std::string ScopedLogCapture::Texts() const {
  std::string texts;
  for (const CapturedMessage& message : messages()) {
    texts += message.text + "\n";
  }
  return texts;
}

bool ScopedLogCapture::Has(logging::LogSeverity severity,
                           const std::string& text) const {
  for (const CapturedMessage& message : messages()) {
    if (message.severity == severity && message.text == text) return true;
  }
  return false;
}

int ScopedLogCapture::Count(logging::LogSeverity severity,
                            const std::string& part) const {
  int count = 0;
  for (const CapturedMessage& message : messages()) {
    if (message.severity == severity &&
        message.text.find(part) != std::string::npos) {
      ++count;
    }
  }
  return count;
}

void ScopedLogCapture::Clear() {
  CaptureState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.messages.clear();
}

}  // namespace test
}  // namespace vorn
