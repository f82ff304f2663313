// OGG Vorbis through libvorbisfile, reading through the File seam: the length
// is the stream's last granule position, seeking is ov_pcm_seek, exact to the
// sample.
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstdio>

#include "playback/source_formats.h"

namespace {

size_t ReadInput(void* data, size_t size, size_t count, void* source) {
  size_t got = 0;
  static_cast<SourceFile*>(source)->Read(data, size * count, got);
  return size ? got / size : 0;
}
int SeekInput(void* source, ogg_int64_t offset, int whence) {
  SourceFile& file = *static_cast<SourceFile*>(source);
  const int64_t base = whence == SEEK_SET   ? 0
                       : whence == SEEK_CUR ? static_cast<int64_t>(file.position())
                                            : static_cast<int64_t>(file.size());
  if (base + offset < 0) return -1;
  return file.Seek(static_cast<uint64_t>(base + offset)) ? 0 : -1;
}
long TellInput(void* source) { return static_cast<long>(static_cast<SourceFile*>(source)->position()); }

class VorbisSource : public PlaybackSource {
 public:
  ~VorbisSource() override {
    if (open_) ov_clear(&vorbis_);
  }

  bool Open(const std::wstring& path) {
    if (!file_.Open(path)) return false;
    ov_callbacks callbacks{ReadInput, SeekInput, nullptr, TellInput};
    if (ov_open_callbacks(&file_, &vorbis_, nullptr, 0, callbacks) != 0) return false;
    open_ = true;
    const vorbis_info* info = ov_info(&vorbis_, -1);
    const ogg_int64_t total = ov_pcm_total(&vorbis_, -1);
    // One logical stream, as the recorder writes it: chained streams may
    // change the layout between links.
    if (!info || total < 0 || ov_streams(&vorbis_) != 1) return false;
    channels_ = static_cast<uint16_t>(info->channels);
    rate_ = static_cast<uint32_t>(info->rate);
    frames_ = static_cast<uint64_t>(total);
    return true;
  }

  size_t Read(int16_t* samples, size_t frames) override {
    const size_t frameBytes = channels_ * sizeof(int16_t);
    char* out = reinterpret_cast<char*>(samples);
    size_t done = 0;
    int holes = 0;
    while (done < frames) {
      const size_t wanted = (frames - done) * frameBytes;
      int section = 0;
      // Little-endian, 16 bits, signed: the machine's own samples on every
      // platform the program runs on.
      long n = ov_read(&vorbis_, out + done * frameBytes, static_cast<int>(std::min<size_t>(wanted, 1 << 20)), 0, 2, 1,
                       &section);
      // A hole in the stream (damaged pages) is passed over; any other
      // error ends the read.
      if (n == OV_HOLE && ++holes < 64) continue;
      if (n <= 0) break;
      done += static_cast<size_t>(n) / frameBytes;
    }
    return done;
  }

  bool Seek(uint64_t frame) override {
    if (frame > frames_) return false;
    return ov_pcm_seek(&vorbis_, static_cast<ogg_int64_t>(frame)) == 0;
  }

 private:
  SourceFile file_;
  OggVorbis_File vorbis_{};
  bool open_ = false;
};

}  // namespace

std::unique_ptr<PlaybackSource> OpenVorbisSource(const std::wstring& path) {
  auto source = std::make_unique<VorbisSource>();
  if (!source->Open(path)) return nullptr;
  return source;
}
