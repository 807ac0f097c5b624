// Encoding through FFmpeg, for test files of the compressed formats the player decodes with it.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <stdexcept>
#include <string>

#include "authoring/audiogen.h"

namespace orba::authoring {

namespace {

void Check(int result, const char* what) {
  if (result < 0) throw std::runtime_error(std::string("FFmpeg encoding failed at ") + what);
}

}  // namespace

std::vector<uint8_t> EncodeWithFfmpeg(const std::vector<int16_t>& samples, int rate, int channels, const char* container,
                                      const char* encoder, int bitRate) {
  const AVCodec* codec = avcodec_find_encoder_by_name(encoder);
  if (!codec) throw std::runtime_error(std::string("no FFmpeg encoder ") + encoder);
  AVFormatContext* oc = nullptr;
  Check(avformat_alloc_output_context2(&oc, nullptr, container, nullptr), "the container");
  AVCodecContext* c = avcodec_alloc_context3(codec);
  AVFrame* frame = av_frame_alloc();
  AVPacket* packet = av_packet_alloc();
  uint8_t* bytes = nullptr;
  std::vector<uint8_t> out;
  try {
    AVStream* st = avformat_new_stream(oc, nullptr);
    if (!st || !c || !frame || !packet) throw std::runtime_error("FFmpeg is out of memory");
    c->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    c->sample_rate = rate;
    av_channel_layout_default(&c->ch_layout, channels);
    c->bit_rate = bitRate;
    c->time_base = AVRational{1, rate};
    if (oc->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    Check(avcodec_open2(c, codec, nullptr), "opening the encoder");
    Check(avcodec_parameters_from_context(st->codecpar, c), "the stream parameters");
    st->time_base = c->time_base;
    Check(avio_open_dyn_buf(&oc->pb), "the output buffer");
    Check(avformat_write_header(oc, nullptr), "the header");

    auto drain = [&] {
      while (avcodec_receive_packet(c, packet) == 0) {
        av_packet_rescale_ts(packet, c->time_base, st->time_base);
        packet->stream_index = st->index;
        Check(av_interleaved_write_frame(oc, packet), "writing a packet");
      }
    };
    const int frameSize = c->frame_size > 0 ? c->frame_size : 1024;
    const size_t frames = samples.size() / channels;
    for (size_t at = 0; at < frames; at += frameSize) {
      int n = static_cast<int>(std::min<size_t>(frameSize, frames - at));
      av_frame_unref(frame);
      frame->nb_samples = frameSize;
      frame->format = c->sample_fmt;
      frame->sample_rate = rate;
      Check(av_channel_layout_copy(&frame->ch_layout, &c->ch_layout), "the frame layout");
      Check(av_frame_get_buffer(frame, 0), "the frame");
      bool planar = av_sample_fmt_is_planar(c->sample_fmt);
      for (int i = 0; i < frameSize; ++i)
        for (int ch = 0; ch < channels; ++ch) {
          int16_t v = i < n ? samples[(at + i) * channels + ch] : 0;
          if (c->sample_fmt == AV_SAMPLE_FMT_FLTP) reinterpret_cast<float*>(frame->data[ch])[i] = v / 32768.0f;
          else if (c->sample_fmt == AV_SAMPLE_FMT_FLT) reinterpret_cast<float*>(frame->data[0])[i * channels + ch] = v / 32768.0f;
          else if (planar) reinterpret_cast<int16_t*>(frame->data[ch])[i] = v;
          else reinterpret_cast<int16_t*>(frame->data[0])[i * channels + ch] = v;
        }
      frame->pts = static_cast<int64_t>(at);
      Check(avcodec_send_frame(c, frame), "encoding a frame");
      drain();
    }
    avcodec_send_frame(c, nullptr);
    drain();
    Check(av_write_trailer(oc), "the trailer");
    int size = avio_close_dyn_buf(oc->pb, &bytes);
    oc->pb = nullptr;
    out.assign(bytes, bytes + size);
  } catch (...) {
    if (oc->pb) avio_close_dyn_buf(oc->pb, &bytes);
    av_free(bytes);
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&c);
    avformat_free_context(oc);
    throw;
  }
  av_free(bytes);
  av_packet_free(&packet);
  av_frame_free(&frame);
  avcodec_free_context(&c);
  avformat_free_context(oc);
  return out;
}

}  // namespace orba::authoring
