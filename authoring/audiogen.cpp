#include "authoring/audiogen.h"

#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace orba::authoring {

std::vector<int16_t> SynthTone(double frequency, int ms, int rate, int channels, int amplitude, int fadeMs) {
  const int64_t frames = static_cast<int64_t>(ms) * rate / 1000;
  const int64_t fade = std::max<int64_t>(1, static_cast<int64_t>(fadeMs) * rate / 1000);
  std::vector<int16_t> out(static_cast<size_t>(frames * channels));
  for (int64_t i = 0; i < frames; ++i) {
    double gain = std::min({1.0, static_cast<double>(i) / fade, static_cast<double>(frames - 1 - i) / fade});
    auto v = static_cast<int16_t>(std::lround(amplitude * gain * std::sin(2 * M_PI * frequency * i / rate)));
    for (int c = 0; c < channels; ++c) out[static_cast<size_t>(i * channels + c)] = v;
  }
  return out;
}

std::vector<int16_t> SynthClick(int rate, int channels) {
  const int frames = rate / 50;  // 20 ms
  std::vector<int16_t> out(static_cast<size_t>(frames) * channels);
  for (int i = 0; i < frames; ++i) {
    double v = 20000.0 * std::exp(-8.0 * i / frames) * std::sin(2 * M_PI * 2000.0 * i / rate);
    for (int c = 0; c < channels; ++c) out[static_cast<size_t>(i) * channels + c] = static_cast<int16_t>(std::lround(v));
  }
  return out;
}

std::vector<uint8_t> EncodeOggVorbis(const std::vector<int16_t>& samples, int rate, int channels, float quality) {
  vorbis_info vi;
  vorbis_info_init(&vi);
  if (vorbis_encode_init_vbr(&vi, channels, rate, quality) != 0) {
    vorbis_info_clear(&vi);
    throw std::runtime_error("the Ogg Vorbis encoder refuses this format");
  }
  vorbis_comment vc;
  vorbis_comment_init(&vc);
  vorbis_dsp_state vd;
  vorbis_block vb;
  vorbis_analysis_init(&vd, &vi);
  vorbis_block_init(&vd, &vb);
  ogg_stream_state os;
  ogg_stream_init(&os, 0x4F524241);

  std::vector<uint8_t> out;
  auto put = [&out](const ogg_page& page) {
    out.insert(out.end(), page.header, page.header + page.header_len);
    out.insert(out.end(), page.body, page.body + page.body_len);
  };
  ogg_packet header, comment, code;
  vorbis_analysis_headerout(&vd, &vc, &header, &comment, &code);
  ogg_stream_packetin(&os, &header);
  ogg_stream_packetin(&os, &comment);
  ogg_stream_packetin(&os, &code);
  ogg_page page;
  while (ogg_stream_flush(&os, &page) != 0) put(page);

  const size_t frames = samples.size() / channels;
  size_t at = 0;
  bool eos = false;
  while (!eos) {
    const size_t chunk = std::min<size_t>(4096, frames - at);
    if (chunk == 0) {
      vorbis_analysis_wrote(&vd, 0);
    } else {
      float** buffer = vorbis_analysis_buffer(&vd, static_cast<int>(chunk));
      for (size_t i = 0; i < chunk; ++i)
        for (int c = 0; c < channels; ++c) buffer[c][i] = samples[(at + i) * channels + c] / 32768.0f;
      vorbis_analysis_wrote(&vd, static_cast<int>(chunk));
      at += chunk;
    }
    while (vorbis_analysis_blockout(&vd, &vb) == 1) {
      vorbis_analysis(&vb, nullptr);
      vorbis_bitrate_addblock(&vb);
      ogg_packet packet;
      while (vorbis_bitrate_flushpacket(&vd, &packet)) {
        ogg_stream_packetin(&os, &packet);
        while (ogg_stream_pageout(&os, &page) != 0) {
          put(page);
          if (ogg_page_eos(&page)) eos = true;
        }
      }
    }
    if (chunk == 0 && !eos) {
      while (ogg_stream_flush(&os, &page) != 0) put(page);
      eos = true;
    }
  }
  ogg_stream_clear(&os);
  vorbis_block_clear(&vb);
  vorbis_dsp_clear(&vd);
  vorbis_comment_clear(&vc);
  vorbis_info_clear(&vi);
  return out;
}

}  // namespace orba::authoring
