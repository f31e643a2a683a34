#include "post_processors/meter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <utility>

#include "base/logging/logging.h"
#include "post_processors/pass_through_processor.h"
#include "post_processors/plugin_config.h"
#include "post_processors/sample_buffer.h"

namespace post_processors {

namespace {

// The name from a parsed configuration: the string under "name", else empty.
std::string NameFrom(const base::JsonValue& dict) {
  std::string name;
  const base::JsonValue* value =
      dict.FindKeyOfType("name", base::JsonValue::Type::STRING);
  if (value != nullptr) value->GetAsString(&name);
  return name;
}

void AppendFormatted(std::string* text, const char* format, float value) {
  char piece[64];
  const int length =
      std::snprintf(piece, sizeof(piece), format, static_cast<double>(value));
  if (length <= 0) return;
  text->append(piece, std::min(static_cast<size_t>(length), sizeof(piece) - 1));
}

// Adds the block's squares and peaks for stereo: both channels' chains of
// additions advance side by side, each in frame order.
void MeasureStereo(const float* x, size_t frames, float* sums, float* peaks) {
  float sum0 = sums[0], sum1 = sums[1];
  float peak0 = peaks[0], peak1 = peaks[1];
  for (size_t j = 0; j < frames; ++j, x += 2) {
    // The build compiles this file with -ffp-contract=off: no fused
    // multiply-add, so x * x is rounded before the addition everywhere.
    const float square0 = x[0] * x[0];
    const float square1 = x[1] * x[1];
    sum0 = sum0 + square0;
    sum1 = sum1 + square1;
    const float magnitude0 = std::fabs(x[0]);
    const float magnitude1 = std::fabs(x[1]);
    if (magnitude0 > peak0) peak0 = magnitude0;
    if (magnitude1 > peak1) peak1 = magnitude1;
  }
  sums[0] = sum0;
  sums[1] = sum1;
  peaks[0] = peak0;
  peaks[1] = peak1;
}

// Any channel count, one channel at a time; each channel's sum still adds
// its samples in frame order, exactly as a frame-major walk would.
void MeasureChannels(const float* data, size_t frames, size_t channels,
                     float* sums, float* peaks) {
  for (size_t k = 0; k < channels; ++k) {
    float sum = sums[k];
    float peak = peaks[k];
    const float* x = data + k;
    for (size_t j = 0; j < frames; ++j, x += channels) {
      const float square = *x * *x;
      sum = sum + square;
      const float magnitude = std::fabs(*x);
      if (magnitude > peak) peak = magnitude;
    }
    sums[k] = sum;
    peaks[k] = peak;
  }
}

}  // namespace

// Ends the interval with one line, the channels in order:
//   Power [<name>]: <dB>, <dB>,  Peak: <peak>, <peak>,
// The powers are mean squares over every frame of the interval in dB
// relative to full scale (a silent channel prints -inf); the peaks are
// absolute sample values. Log readers match the location meter.cc(88), so
// the LOG statement stays on that line.
// Then every accumulator starts again from zero.
void SoundMeter::Report() {
  // Built, and allocating, only while INFO is on.
  if (log_reports_) LOG(INFO) << ReportText();
  const float n = static_cast<float>(frames_accumulated_);
  for (size_t k = 0; k < sum_squares_.size(); ++k) {
    report_power_db_[k] = MeanPowerDb(sum_squares_[k], n);
    report_peaks_[k] = peaks_[k];
  }
  ++report_count_;
  frames_accumulated_ = 0;
  std::fill(sum_squares_.begin(), sum_squares_.end(), 0.0f);
  std::fill(peaks_.begin(), peaks_.end(), 0.0f);
}

std::string SoundMeter::ReportText() const {
  const float n = static_cast<float>(frames_accumulated_);
  std::string text = "Power [" + name_ + "]: ";
  for (float sum : sum_squares_) {
    AppendFormatted(&text, "%02.0f, ", MeanPowerDb(sum, n));
  }
  text += " Peak: ";
  for (float peak : peaks_) AppendFormatted(&text, "%01.2f, ", peak);
  return text;
}

float SoundMeter::MeanPowerDb(float sum_squares, float frames) {
  return 10.0f * std::log10(sum_squares / frames);
}

void SoundMeter::Process(float* data, int32_t frames, float volume) {
  status_.output_buffer = data;
  const int32_t channels = status_.output_channels;
  const size_t samples = BlockSampleCount(data, frames, channels);
  if (frames < 0 || (frames > 0 && samples == 0)) return;
  if (samples > 0 && channels == 2) {
    MeasureStereo(data, static_cast<size_t>(frames), sum_squares_.data(),
                  peaks_.data());
  } else if (samples > 0) {
    MeasureChannels(data, static_cast<size_t>(frames),
                    static_cast<size_t>(channels), sum_squares_.data(),
                    peaks_.data());
  }

  const int64_t total = static_cast<int64_t>(frames_accumulated_) + frames;
  frames_accumulated_ = static_cast<int32_t>(
      std::min<int64_t>(total, std::numeric_limits<int32_t>::max()));
  if (status_.sample_rate <= 0) return;  // not configured: no threshold yet
  if (static_cast<float>(frames_accumulated_) <
      static_cast<float>(status_.sample_rate)) {
    return;
  }
  Report();
}

std::unique_ptr<AudioPostProcessor2> SoundMeter::Create(
    const std::string& config, int32_t channels) {
  std::string error;
  std::unique_ptr<base::JsonValue> dict = ParseConfigDictionary(config, &error);
  if (dict && channels < 1) {
    error = "the channel count is below 1: " + std::to_string(channels);
  } else if (dict && channels > kMaxChannels) {
    error = "the channel count is above " + std::to_string(kMaxChannels) +
            ": " + std::to_string(channels);
  }
  if (!error.empty()) {
    LOG(ERROR) << "Sound meter disabled, audio passes unchanged: " << error;
    return std::make_unique<PassThroughProcessor>(channels);
  }
  return std::make_unique<SoundMeter>(NameFrom(*dict), channels);
}

SoundMeter::SoundMeter(std::string name, int32_t channels)
    : name_(std::move(name)),
      status_{-1, channels, 0, 0, nullptr},
      sum_squares_(static_cast<size_t>(channels), 0.0f),
      peaks_(static_cast<size_t>(channels), 0.0f),
      report_power_db_(static_cast<size_t>(channels),
                       -std::numeric_limits<float>::infinity()),
      report_peaks_(static_cast<size_t>(channels), 0.0f) {}

SoundMeter::~SoundMeter() = default;

bool SoundMeter::Configure(const ProcessorConfig& config) {
  if (!AcceptSampleRate(config.sample_rate, "Sound meter")) return false;
  status_.sample_rate = config.sample_rate;
  return true;
}

ProcessorStatus* SoundMeter::Status() { return &status_; }

bool SoundMeter::Reconfigure(const std::string& config_text) {
  std::string error;
  std::unique_ptr<base::JsonValue> dict =
      ParseConfigDictionary(config_text, &error);
  if (!dict) {
    LOG(ERROR) << "Sound meter keeps its name [" << name_ << "]: " << error;
    return false;
  }
  name_ = NameFrom(*dict);
  return true;
}

void SoundMeter::Notification1(int32_t value) {}

void SoundMeter::Notification2(int32_t value) {}

}  // namespace post_processors
