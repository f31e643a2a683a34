// SoundMeter: measures a stream without changing it. Per channel it sums the
// squared samples and keeps the largest absolute sample; once at least one
// second of audio (the configured sample rate in frames) has been measured it
// logs one INFO line with each channel's mean power in dB relative to full
// scale and its peak, and starts a new interval.
//
//   auto meter = post_processors::SoundMeter::Create(R"({"name": "mix"})", 2);
//   meter->Configure({48000});
//   meter->Process(block, 1024, 1.0f);  // samples untouched
//   // after 47 such blocks:
//   // [...:INFO:meter.cc(88)] Power [mix]: -20, -21,  Peak: 0.50, 0.48,
//
// Sums are single precision and sequential (no fused multiply-add), so the
// reports are the same on every target.

#ifndef VORN_POST_PROCESSORS_METER_H_
#define VORN_POST_PROCESSORS_METER_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "post_processors/audio_post_processor2.h"

namespace post_processors {

class SoundMeter final : public AudioPostProcessor2 {
 public:
  // The most channels a meter measures. Its per-channel sums are allocated
  // at creation and every report holds a few bytes per channel, so a count
  // far beyond any real stream (the factory takes any int32) would make
  // creation or a report fail to allocate, which ends the host process.
  static constexpr int32_t kMaxChannels = 65536;

  // The factory of libvorn_sound_meter_2.0. "name" (a string) labels the
  // reports; missing or not a string, the label is empty. A text that is not
  // a JSON dictionary, or channels below 1 or above kMaxChannels, is logged
  // as one ERROR line and yields a PassThroughProcessor. Never null.
  static std::unique_ptr<AudioPostProcessor2> Create(const std::string& config,
                                                     int32_t channels);

  // 1 <= `channels` <= kMaxChannels.
  SoundMeter(std::string name, int32_t channels);
  ~SoundMeter() override;

  // Stores the rate, which is also the reporting threshold in frames; the
  // interval in progress is kept. A rate of 0 or less is logged as an ERROR
  // and returns false with nothing changed.
  bool Configure(const ProcessorConfig& config) override;
  ProcessorStatus* Status() override;
  // Measures the block and reports once the interval holds at least
  // sample_rate frames. Never modifies a sample; `volume` is ignored. Before
  // the first Configure there is no threshold, so nothing is reported.
  // Allocates only while building a report.
  void Process(float* data, int32_t frames, float volume) override;
  // Takes the name from `config_text` (empty when it has none) and returns
  // true; the interval in progress is kept. A text that is not a JSON
  // dictionary is logged as an ERROR and returns false, keeping the name.
  bool Reconfigure(const std::string& config_text) override;
  void Notification1(int32_t value) override;
  void Notification2(int32_t value) override;

  // The report text for the interval so far (powers averaged over
  // frames_accumulated() frames); nothing is reset.
  std::string ReportText() const;

  const std::string& name() const { return name_; }
  int32_t frames_accumulated() const { return frames_accumulated_; }

  // Whether reports are logged (true from creation). Hosts that read the
  // figures below instead, such as those that run Process on a real-time
  // thread, turn it off: Process then neither logs nor allocates.
  void set_log_reports(bool log_reports) { log_reports_ = log_reports; }

  // The figures of the latest report, per channel: the mean power in dB
  // relative to full scale (as printed: -inf for a silent channel) and the
  // peak, linear. Before the first report, -inf and 0. Each has
  // output_channels entries; the vectors never reallocate.
  const std::vector<float>& report_power_db() const { return report_power_db_; }
  const std::vector<float>& report_peaks() const { return report_peaks_; }
  // Reports made since creation, logged or not.
  uint32_t report_count() const { return report_count_; }

 private:
  // Logs ReportText() at INFO, when INFO is on and reports are logged, keeps
  // the figures, then starts a new interval.
  void Report();

  // 10 log10(sum / frames) in single precision: a channel's mean power in dB.
  static float MeanPowerDb(float sum_squares, float frames);

  std::string name_;
  ProcessorStatus status_;              // latency_frames and tail_frames stay 0
  int32_t frames_accumulated_ = 0;      // saturates at INT32_MAX
  std::vector<float> sum_squares_;      // output_channels entries
  std::vector<float> peaks_;            // output_channels entries, each >= 0
  std::vector<float> report_power_db_;  // output_channels entries
  std::vector<float> report_peaks_;     // output_channels entries
  uint32_t report_count_ = 0;           // wraps around after 2^32 reports
  bool log_reports_ = true;
};

}  // namespace post_processors

#endif  // VORN_POST_PROCESSORS_METER_H_
