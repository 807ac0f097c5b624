// Sample-rate conversion through libsamplerate (a sinc converter of medium quality).
#include <samplerate.h>

#include <algorithm>
#include <vector>

#include "platform/codecs/codecs.h"

namespace orba::platform::codecs {

namespace {

class SampleRateConverter final : public IResampler {
 public:
  SampleRateConverter(SRC_STATE* state, int channels, double ratio) : state_(state), channels_(channels), ratio_(ratio) {}
  ~SampleRateConverter() override { src_delete(state_); }
  void Process(const int16_t* in, size_t inFrames, int16_t* out, size_t outCapacity, bool endOfInput, size_t& usedIn,
               size_t& madeOut) override {
    in_.resize(inFrames * channels_);
    out_.resize(outCapacity * channels_);
    src_short_to_float_array(in, in_.data(), static_cast<int>(in_.size()));
    SRC_DATA d{};
    d.data_in = in_.data();
    d.data_out = out_.data();
    d.input_frames = static_cast<long>(inFrames);
    d.output_frames = static_cast<long>(outCapacity);
    d.end_of_input = endOfInput ? 1 : 0;
    d.src_ratio = ratio_;
    if (src_process(state_, &d) != 0) {
      usedIn = inFrames;
      madeOut = 0;
      return;
    }
    usedIn = static_cast<size_t>(d.input_frames_used);
    madeOut = static_cast<size_t>(d.output_frames_gen);
    src_float_to_short_array(out_.data(), out, static_cast<int>(madeOut * channels_));
  }
  void Reset() override { src_reset(state_); }

 private:
  SRC_STATE* state_;
  int channels_;
  double ratio_;
  std::vector<float> in_, out_;
};

}  // namespace

std::unique_ptr<IResampler> CreateSampleRateConverter(int channels, int inRate, int outRate) {
  if (channels < 1 || inRate <= 0 || outRate <= 0) return nullptr;
  int error = 0;
  SRC_STATE* state = src_new(SRC_SINC_MEDIUM_QUALITY, channels, &error);
  if (!state) return nullptr;
  return std::make_unique<SampleRateConverter>(state, channels, static_cast<double>(outRate) / inRate);
}

}  // namespace orba::platform::codecs
