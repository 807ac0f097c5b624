// Compressed audio other than Ogg Vorbis (Windows Media audio, FLAC, MP3 and the rest FFmpeg
// knows) through FFmpeg's libraries, reading the file from memory. The first audio stream is
// decoded and converted to 16-bit samples in one or two channels at its own rate.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/codecs/codecs.h"

namespace orba::platform::codecs {

namespace {

class FfmpegDecoder final : public IPcmDecoder {
 public:
  explicit FfmpegDecoder(std::shared_ptr<const std::vector<uint8_t>> file) : file_(std::move(file)) {}
  ~FfmpegDecoder() override {
    swr_free(&swr_);
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    avcodec_free_context(&codec_);
    avformat_close_input(&format_);
    if (io_) av_freep(&io_->buffer);
    avio_context_free(&io_);
  }

  bool Open() {
    constexpr int kIoBuffer = 32768;
    auto* buffer = static_cast<unsigned char*>(av_malloc(kIoBuffer));
    if (!buffer) return false;
    io_ = avio_alloc_context(buffer, kIoBuffer, 0, this, &ReadPacket, nullptr, &SeekIo);
    if (!io_) {
      av_free(buffer);
      return false;
    }
    format_ = avformat_alloc_context();
    if (!format_) return false;
    format_->pb = io_;
    format_->flags |= AVFMT_FLAG_CUSTOM_IO;
    if (avformat_open_input(&format_, nullptr, nullptr, nullptr) < 0) return false;  // frees format_ on failure
    if (avformat_find_stream_info(format_, nullptr) < 0) return false;
    const AVCodec* codec = nullptr;
    stream_ = av_find_best_stream(format_, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (stream_ < 0 || !codec) return false;
    codec_ = avcodec_alloc_context3(codec);
    if (!codec_) return false;
    AVStream* s = format_->streams[stream_];
    if (avcodec_parameters_to_context(codec_, s->codecpar) < 0 || avcodec_open2(codec_, codec, nullptr) < 0) return false;
    rate_ = codec_->sample_rate;
    int inChannels = codec_->ch_layout.nb_channels;
    if (rate_ <= 0 || inChannels <= 0) return false;
    channels_ = inChannels == 1 ? 1 : 2;
    AVChannelLayout outLayout;
    av_channel_layout_default(&outLayout, channels_);
    if (swr_alloc_set_opts2(&swr_, &outLayout, AV_SAMPLE_FMT_S16, rate_, &codec_->ch_layout, codec_->sample_fmt, rate_, 0,
                            nullptr) < 0 ||
        swr_init(swr_) < 0)
      return false;
    frame_ = av_frame_alloc();
    packet_ = av_packet_alloc();
    if (!frame_ || !packet_) return false;
    if (s->duration != AV_NOPTS_VALUE && s->duration > 0)
      total_ = av_rescale_q(s->duration, s->time_base, AVRational{1, rate_});
    else if (format_->duration != AV_NOPTS_VALUE && format_->duration > 0)
      total_ = av_rescale(format_->duration, rate_, AV_TIME_BASE);
    return true;
  }

  int Rate() const override { return rate_; }
  int Channels() const override { return channels_; }
  int64_t TotalFrames() override { return total_; }

  size_t Read(int16_t* out, size_t maxFrames) override {
    size_t got = 0;
    while (got < maxFrames) {
      if (pendingAt_ < pending_.size()) {
        size_t frames = std::min(maxFrames - got, (pending_.size() - pendingAt_) / channels_);
        std::memcpy(out + got * channels_, pending_.data() + pendingAt_, frames * channels_ * sizeof(int16_t));
        pendingAt_ += frames * channels_;
        got += frames;
        continue;
      }
      if (!DecodeFrame()) break;
    }
    return got;
  }

  bool Seek(int64_t frame) override {
    AVStream* s = format_->streams[stream_];
    int64_t ts = av_rescale_q(frame, AVRational{1, rate_}, s->time_base);
    if (av_seek_frame(format_, stream_, ts, AVSEEK_FLAG_BACKWARD) < 0) {
      if (frame != 0) return false;
      io_position_ = 0;  // back to the start by hand
      avio_seek(io_, 0, SEEK_SET);
    }
    avcodec_flush_buffers(codec_);
    pending_.clear();
    pendingAt_ = 0;
    ended_ = false;
    skipTo_ = frame;
    drains_ = 0;
    return true;
  }

 private:
  static int ReadPacket(void* self, uint8_t* buffer, int size) {
    auto* d = static_cast<FfmpegDecoder*>(self);
    size_t left = d->file_->size() - d->io_position_;
    size_t n = std::min(static_cast<size_t>(std::max(size, 0)), left);
    if (n == 0) return AVERROR_EOF;
    std::memcpy(buffer, d->file_->data() + d->io_position_, n);
    d->io_position_ += n;
    return static_cast<int>(n);
  }
  static int64_t SeekIo(void* self, int64_t offset, int whence) {
    auto* d = static_cast<FfmpegDecoder*>(self);
    int64_t size = static_cast<int64_t>(d->file_->size());
    if (whence & AVSEEK_SIZE) return size;
    int64_t base = (whence & 3) == SEEK_CUR ? static_cast<int64_t>(d->io_position_) : (whence & 3) == SEEK_END ? size : 0;
    int64_t to = base + offset;
    if (to < 0 || to > size) return -1;
    d->io_position_ = static_cast<size_t>(to);
    return to;
  }

  // Decodes the next frame into pending_; false at the end or on a damaged stream.
  bool DecodeFrame() {
    while (!ended_) {
      int r = avcodec_receive_frame(codec_, frame_);
      if (r == 0) {
        Convert();
        av_frame_unref(frame_);
        if (!pending_.empty()) return true;
        continue;
      }
      if (r != AVERROR(EAGAIN)) {
        ended_ = true;
        break;
      }
      r = av_read_frame(format_, packet_);
      if (r < 0) {
        avcodec_send_packet(codec_, nullptr);  // drain what the decoder holds
        if (++drains_ > 1) ended_ = true;
        continue;
      }
      if (packet_->stream_index == stream_) avcodec_send_packet(codec_, packet_);
      av_packet_unref(packet_);
    }
    return false;
  }

  void Convert() {
    int frames = swr_get_out_samples(swr_, frame_->nb_samples);
    if (frames <= 0) return;
    pending_.resize(static_cast<size_t>(frames) * channels_);
    uint8_t* out[1] = {reinterpret_cast<uint8_t*>(pending_.data())};
    int made = swr_convert(swr_, out, frames, const_cast<const uint8_t**>(frame_->extended_data), frame_->nb_samples);
    pending_.resize(static_cast<size_t>(std::max(made, 0)) * channels_);
    pendingAt_ = 0;
    // After a seek, drop what comes before the frame asked for.
    if (skipTo_ >= 0 && frame_->pts != AV_NOPTS_VALUE) {
      int64_t at = av_rescale_q(frame_->pts, format_->streams[stream_]->time_base, AVRational{1, rate_});
      if (at < skipTo_) pendingAt_ = std::min<size_t>(pending_.size(), static_cast<size_t>(skipTo_ - at) * channels_);
    }
    skipTo_ = -1;
  }

  std::shared_ptr<const std::vector<uint8_t>> file_;
  size_t io_position_ = 0;
  AVIOContext* io_ = nullptr;
  AVFormatContext* format_ = nullptr;
  AVCodecContext* codec_ = nullptr;
  SwrContext* swr_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
  int stream_ = -1;
  int rate_ = 0, channels_ = 0;
  int64_t total_ = -1;
  std::vector<int16_t> pending_;
  size_t pendingAt_ = 0;
  bool ended_ = false;
  int drains_ = 0;
  int64_t skipTo_ = -1;
};

}  // namespace

std::unique_ptr<IPcmDecoder> OpenWithFfmpeg(std::shared_ptr<const std::vector<uint8_t>> file) {
  auto d = std::make_unique<FfmpegDecoder>(std::move(file));
  if (!d->Open()) return nullptr;
  return d;
}

}  // namespace orba::platform::codecs
