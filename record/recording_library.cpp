#include "record/recording_library.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include "common/strings.h"
#include "common/text_format.h"
#include "platform/clock.h"
#include "platform/paths.h"
#include "settings/settings.h"

namespace {

struct KnownFormat {
  const wchar_t* extension;
  const wchar_t* label;
  uint8_t bit;
};

// The cheapest to read first; also the order in which the window names them.
constexpr std::array<KnownFormat, 6> kFormats = {{{L"wav", L"WAV", kFormatWav},
                                                  {L"flac", L"FLAC", kFormatFlac},
                                                  {L"ogg", L"OGG", kFormatOgg},
                                                  {L"opus", L"Opus", kFormatOpus},
                                                  {L"mp3", L"MP3", kFormatMp3},
                                                  {L"wma", L"WMA", kFormatWma}}};

bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// What a date label may hold: anything but digits (they would run into the
// numbers), parentheses (they open the partners) and separators.
bool IsLabelChar(wchar_t c) { return !IsDigit(c) && c != L'(' && c != L')' && c != L'\\' && c != L'/'; }

// Case folding for the partners' filter and sort: ASCII, Latin-1, Latin
// Extended-A, Greek and Cyrillic, the same on every platform (the C
// library's towlower depends on the locale).
wchar_t Fold(wchar_t c) {
  if (c < 0x80) return AsciiLower(c);
  if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) ||
      (c >= 0x410 && c <= 0x42F))
    return static_cast<wchar_t>(c + 0x20);
  if (c >= 0x400 && c <= 0x40F) return static_cast<wchar_t>(c + 0x50);
  if ((c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177))
    return static_cast<wchar_t>(c | 1);
  if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E))
    return (c & 1) ? static_cast<wchar_t>(c + 1) : c;
  return c;
}

std::wstring Folded(std::wstring_view text) {
  std::wstring folded(text);
  for (wchar_t& c : folded) c = Fold(c);
  return folded;
}

// Reads "digits" exactly `count` long at `at`.
bool ReadNumber(std::wstring_view s, size_t& at, size_t count, int& value) {
  if (at + count > s.size()) return false;
  value = 0;
  for (size_t i = 0; i < count; ++i) {
    wchar_t c = s[at + i];
    if (!IsDigit(c)) return false;
    value = value * 10 + (c - L'0');
  }
  at += count;
  return true;
}

size_t LabelEnd(std::wstring_view s, size_t at) {
  while (at < s.size() && IsLabelChar(s[at])) ++at;
  return at;
}

// The base "<Y><L>MM<L>DD<L> hh<L>mm<L>ss<L>" with a year of `yearDigits`
// digits; `end` receives where the tail (variants, partners) starts.
bool MatchBase(std::wstring_view s, size_t yearDigits, RecordingName& name, size_t& end) {
  size_t at = 0;
  int* fields[] = {&name.year, &name.month, &name.day, &name.hour, &name.minute, &name.second};
  for (int i = 0; i < 6; ++i) {
    if (!ReadNumber(s, at, i == 0 ? yearDigits : 2, *fields[i])) return false;
    size_t labelEnd = LabelEnd(s, at);
    if (i == 2) {
      // The day's label is followed by the one space between date and time.
      if (labelEnd == at || s[labelEnd - 1] != L' ') return false;
    }
    if (i < 5) {
      // A label ends where the next number starts.
      if (labelEnd < s.size() && !IsDigit(s[labelEnd])) return false;
    } else {
      // " (N)" and " (recovered)" begin with a space of their own.
      if (labelEnd > at && labelEnd < s.size() && s[labelEnd - 1] == L' ') --labelEnd;
      // No language's seconds label holds a space: what follows one is a
      // name the user made ("... - Copy").
      if (s.substr(at, labelEnd - at).find(L' ') != std::wstring_view::npos) return false;
    }
    at = labelEnd;
  }
  end = at;
  return true;
}

// " (N)" at `at` with N from 2 on (the first free number); `after` is past it.
bool ReadCopyNumber(std::wstring_view s, size_t at, int& number, size_t& after) {
  if (s.substr(at, 2) != L" (") return false;
  size_t p = at + 2, digits = 0;
  long long value = 0;
  while (p < s.size() && IsDigit(s[p]) && digits < 9) {
    value = value * 10 + (s[p] - L'0');
    ++p;
    ++digits;
  }
  if (digits == 0 || p >= s.size() || s[p] != L')' || s[at + 2] == L'0' || value < 2) return false;
  number = static_cast<int>(value);
  after = p + 1;
  return true;
}

bool ParseStem(std::wstring_view stem, RecordingName& name) {
  size_t tail = 0;
  bool matched = false;
  for (size_t yearDigits = 4; yearDigits >= 1 && !matched; --yearDigits) {
    name = RecordingName();
    matched = MatchBase(stem, yearDigits, name, tail);
  }
  if (!matched) return false;
  if (name.year < 1 || name.month < 1 || name.month > 12 || name.day < 1 || name.day > 31 || name.hour > 23 ||
      name.minute > 59 || name.second > 59)
    return false;

  std::wstring_view rest = stem.substr(tail);
  static constexpr std::wstring_view kRecovered = L" (recovered)";
  size_t after = 0;
  if (rest.substr(0, kRecovered.size()) == kRecovered) {
    name.recovered = true;
    rest.remove_prefix(kRecovered.size());
  } else if (ReadCopyNumber(rest, 0, name.number, after)) {
    rest.remove_prefix(after);
  }
  if (rest.empty()) return true;
  if (rest.front() != L'(') return false;
  // "(<partners>) (N)": a name that was taken. Partners of their own that end
  // in "(N)" end in "))" and are not taken for it.
  size_t open = rest.rfind(L" (");
  int number = 0;
  if (open != std::wstring_view::npos && open > 0 && rest[open - 1] == L')' &&
      ReadCopyNumber(rest, open, number, after) && after == rest.size()) {
    name.number = number;
    rest = rest.substr(0, open);
  }
  if (rest.size() < 2 || rest.back() != L')') return false;
  name.partners.assign(rest.substr(1, rest.size() - 2));
  name.hasPartners = true;
  return true;
}

uint8_t FormatOfExtension(std::wstring_view extension) {
  for (const KnownFormat& known : kFormats)
    if (EqualsNoCase(extension, known.extension)) return known.bit;
  return 0;
}


std::wstring JoinPath(const std::wstring& folder, std::wstring_view name) {
  std::wstring path = folder;
  if (!path.empty() && path.back() != L'\\' && path.back() != L'/') path += L'\\';
  path += name;
  return path;
}

}  // namespace

bool ParseRecordingName(std::wstring_view fileName, RecordingName& name, uint8_t* format) {
  size_t dot = fileName.rfind(L'.');
  if (dot == std::wstring_view::npos) return false;
  uint8_t bit = FormatOfExtension(fileName.substr(dot + 1));
  if (bit == 0) return false;
  RecordingName parsed;
  if (!ParseStem(fileName.substr(0, dot), parsed)) return false;
  name = std::move(parsed);
  if (format) *format = bit;
  return true;
}

std::vector<RecordingEntry> ScanRecordFolder(const std::wstring& folder) {
  std::vector<FolderEntry> listing = FolderEntriesOf(folder);
  std::vector<RecordingEntry> entries;
  // Views of the stems in the listing's names, which outlive the map.
  std::unordered_map<std::wstring_view, size_t> byStem;
  byStem.reserve(listing.size());
  RecordingName name;
  for (FolderEntry& file : listing) {
    if (file.directory) continue;
    uint8_t bit = 0;
    const size_t dot = file.name.rfind(L'.');
    const bool madeHere = ParseRecordingName(file.name, name, &bit);
    if (!madeHere) {
      bit = dot == std::wstring::npos ? 0 : FormatOfExtension(std::wstring_view(file.name).substr(dot + 1));
      if (bit == 0 || dot == 0) continue;
      // Dated by the file, named by its name.
      const LocalTime t = LocalTimeOf(file.modified);
      name = RecordingName();
      name.year = t.year, name.month = t.month, name.day = t.day;
      name.hour = t.hour, name.minute = t.minute, name.second = t.second;
      name.partners = file.name.substr(0, dot);
      name.hasPartners = true;
    }
    const std::wstring_view fileStem = std::wstring_view(file.name).substr(0, dot);
    auto [at, added] = byStem.try_emplace(fileStem, entries.size());
    if (added) {
      RecordingEntry entry;
      entry.stem = JoinPath(folder, fileStem);
      entry.fileStem = fileStem;
      entry.name = name;
      entry.modified = file.modified;
      entry.madeHere = madeHere;
      entries.push_back(std::move(entry));
    }
    RecordingEntry& entry = entries[at->second];
    entry.formats |= bit;
    entry.size += file.size;
    entry.modified = std::max(entry.modified, file.modified);
  }
  return entries;
}

// --- Lengths from the headers ----------------------------------------------

namespace {

class Reader {
 public:
  bool Open(const std::wstring& path) { return file_.OpenForReading(path) && file_.Size(size_); }
  uint64_t size() const { return size_; }
  // Up to n bytes at `offset`; what was read.
  size_t ReadAt(uint64_t offset, void* data, size_t n) {
    if (offset >= size_ || !file_.Seek(offset)) return 0;
    size_t got = 0;
    if (!file_.Read(data, n, got)) return 0;
    return got;
  }
  std::vector<uint8_t> Bytes(uint64_t offset, size_t n) {
    std::vector<uint8_t> bytes(n);
    bytes.resize(ReadAt(offset, bytes.data(), n));
    return bytes;
  }

 private:
  File file_;
  uint64_t size_ = 0;
};

uint32_t Le16(const uint8_t* p) { return p[0] | (p[1] << 8); }
uint32_t Le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }
uint64_t Le64(const uint8_t* p) { return Le32(p) | (static_cast<uint64_t>(Le32(p + 4)) << 32); }
uint32_t Be32(const uint8_t* p) { return (static_cast<uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3]; }

int64_t Ms(uint64_t samples, uint64_t rate) {
  if (rate == 0) return kDurationUnreadable;
  // Whole seconds and the rest apart, so that no product overflows.
  return static_cast<int64_t>(samples / rate * 1000 + samples % rate * 1000 / rate);
}

int64_t WavDuration(Reader& in) {
  uint8_t head[12];
  if (in.ReadAt(0, head, 12) != 12 || memcmp(head, "RIFF", 4) != 0 || memcmp(head + 8, "WAVE", 4) != 0)
    return kDurationUnreadable;
  uint32_t formatTag = 0, rate = 0, byteRate = 0, blockAlign = 0;
  bool haveFormat = false;
  uint64_t at = 12;
  while (at + 8 <= in.size()) {
    uint8_t chunk[8];
    if (in.ReadAt(at, chunk, 8) != 8) break;
    uint64_t size = Le32(chunk + 4);
    if (memcmp(chunk, "fmt ", 4) == 0) {
      uint8_t fmt[16];
      if (size < 16 || in.ReadAt(at + 8, fmt, 16) != 16) return kDurationUnreadable;
      formatTag = Le16(fmt);
      rate = Le32(fmt + 4);
      byteRate = Le32(fmt + 8);
      blockAlign = Le16(fmt + 12);
      haveFormat = true;
    } else if (memcmp(chunk, "data", 4) == 0) {
      if (!haveFormat) return kDurationUnreadable;
      uint64_t start = at + 8, available = in.size() - start;
      // A writer that stopped before it completed the header leaves 0 (or a
      // size beyond the file): the file's length says how much is there.
      if (size == 0 || size > available) size = available;
      bool pcm = formatTag == 1 || formatTag == 3 || formatTag == 0xFFFE;
      if (pcm && blockAlign > 0) return Ms(size / blockAlign, rate);
      return Ms(size, byteRate);
    }
    at += 8 + size + (size & 1);
  }
  return kDurationUnreadable;
}

// The length of an ID3v2 tag at the start, 0 when there is none.
uint64_t Id3v2Length(Reader& in) {
  uint8_t head[10];
  if (in.ReadAt(0, head, 10) != 10 || memcmp(head, "ID3", 3) != 0) return 0;
  if ((head[6] | head[7] | head[8] | head[9]) & 0x80) return 0;
  uint64_t size = (head[6] << 21) | (head[7] << 14) | (head[8] << 7) | head[9];
  return 10 + size + ((head[5] & 0x10) ? 10 : 0);
}

int64_t FlacDuration(Reader& in) {
  uint64_t start = Id3v2Length(in);
  uint8_t head[42];
  if (in.ReadAt(start, head, 42) != 42 || memcmp(head, "fLaC", 4) != 0 || (head[4] & 0x7F) != 0)
    return kDurationUnreadable;
  const uint8_t* info = head + 8;  // STREAMINFO, always the first block
  uint32_t rate = (info[10] << 12) | (info[11] << 4) | (info[12] >> 4);
  uint64_t samples = (static_cast<uint64_t>(info[13] & 0x0F) << 32) | Be32(info + 14);
  if (samples == 0) return kDurationUnreadable;  // the encoder did not know it
  return Ms(samples, rate);
}

uint32_t OggCrc(const uint8_t* data, size_t n) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t r = i << 24;
      for (int bit = 0; bit < 8; ++bit) r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : r << 1;
      t[i] = r;
    }
    return t;
  }();
  uint32_t crc = 0;
  for (size_t i = 0; i < n; ++i) {
    // The checksum field counts as zeros.
    uint8_t byte = (i >= 22 && i < 26) ? 0 : data[i];
    crc = (crc << 8) ^ table[((crc >> 24) & 0xFF) ^ byte];
  }
  return crc;
}

// The length of a whole, intact Ogg page at `p` (n bytes available), 0 when
// there is none.
size_t OggPageLength(const uint8_t* p, size_t n) {
  if (n < 27 || memcmp(p, "OggS", 4) != 0 || p[4] != 0) return 0;
  size_t segments = p[26];
  if (n < 27 + segments) return 0;
  size_t length = 27 + segments;
  for (size_t i = 0; i < segments; ++i) length += p[27 + i];
  if (length > n || OggCrc(p, length) != Le32(p + 22)) return 0;
  return length;
}

int64_t OggDuration(Reader& in) {
  std::vector<uint8_t> first = in.Bytes(0, 4096);
  size_t firstLength = OggPageLength(first.data(), first.size());
  if (firstLength == 0) return kDurationUnreadable;
  uint32_t serial = Le32(first.data() + 14);
  const uint8_t* packet = first.data() + 27 + first[26];
  size_t packetBytes = firstLength - 27 - first[26];
  bool opus = false;
  uint64_t rate = 0, preSkip = 0;
  if (packetBytes >= 16 && memcmp(packet, "\x01vorbis", 7) == 0) {
    rate = Le32(packet + 12);
  } else if (packetBytes >= 19 && memcmp(packet, "OpusHead", 8) == 0) {
    opus = true;
    rate = 48000;  // Opus granule positions always count at 48 kHz
    preSkip = Le16(packet + 10);
  } else {
    return kDurationUnreadable;
  }

  // The last page of this stream with a position, within the last 64 KiB.
  constexpr uint64_t kTail = 64 * 1024;
  uint64_t tailStart = in.size() > kTail ? in.size() - kTail : 0;
  std::vector<uint8_t> tail = in.Bytes(tailStart, static_cast<size_t>(in.size() - tailStart));
  uint64_t granule = 0;
  bool found = false;
  for (size_t at = tail.size() >= 27 ? tail.size() - 27 : 0; !found; --at) {
    if (tail.size() >= 27 && tail[at] == 'O' && OggPageLength(tail.data() + at, tail.size() - at) != 0 &&
        Le32(tail.data() + at + 14) == serial && Le64(tail.data() + at + 6) != ~0ull) {
      granule = Le64(tail.data() + at + 6);
      found = true;
    }
    if (at == 0) break;
  }
  if (!found) return kDurationUnreadable;
  if (opus) granule = granule > preSkip ? granule - preSkip : 0;
  return Ms(granule, rate);
}

struct Mp3Frame {
  int version = 0;  // 1, 2 or 25 (MPEG 2.5)
  int layer = 0;
  uint32_t bitrate = 0;  // kbit/s
  uint32_t rate = 0;
  uint32_t padding = 0;
  bool mono = false;
  uint32_t SamplesPerFrame() const { return layer == 1 ? 384 : (layer == 3 && version != 1) ? 576 : 1152; }
  uint32_t Length() const {
    if (layer == 1) return (12000 * bitrate / rate + padding) * 4;
    uint32_t factor = (layer == 3 && version != 1) ? 72000 : 144000;
    return factor * bitrate / rate + padding;
  }
};

bool ReadMp3Header(const uint8_t* p, Mp3Frame& frame) {
  static const uint16_t kBitrates[2][3][15] = {
      {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
       {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
       {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
      {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
       {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
       {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
  static const uint32_t kRates[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};
  if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0) return false;
  int versionBits = (p[1] >> 3) & 3, layerBits = (p[1] >> 1) & 3;
  int bitrateIndex = p[2] >> 4, rateIndex = (p[2] >> 2) & 3;
  if (versionBits == 1 || layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) return false;
  frame.version = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 25;
  frame.layer = 4 - layerBits;
  frame.bitrate = kBitrates[frame.version == 1 ? 0 : 1][frame.layer - 1][bitrateIndex];
  frame.rate = kRates[frame.version == 1 ? 0 : frame.version == 2 ? 1 : 2][rateIndex];
  frame.padding = (p[2] >> 1) & 1;
  frame.mono = (p[3] >> 6) == 3;
  return true;
}

int64_t Mp3Duration(Reader& in) {
  uint64_t start = Id3v2Length(in);
  std::vector<uint8_t> bytes = in.Bytes(start, 64 * 1024);
  // The first frame header whose successor is a frame header too (a lone
  // 0xFF 0xE? in a tag's leftovers is no frame).
  size_t at = 0;
  Mp3Frame frame;
  bool found = false;
  for (; at + 4 <= bytes.size() && !found; ++at) {
    if (!ReadMp3Header(bytes.data() + at, frame)) continue;
    size_t next = at + frame.Length();
    Mp3Frame following;
    if (next + 4 <= bytes.size() && !ReadMp3Header(bytes.data() + next, following)) continue;
    found = true;
    break;
  }
  if (!found) return kDurationUnreadable;
  const uint8_t* header = bytes.data() + at;
  size_t left = bytes.size() - at;
  uint32_t samplesPerFrame = frame.SamplesPerFrame();

  // A Xing or Info frame (LAME and most encoders) counts the frames, and
  // LAME's tag after it tells the encoder's delay and padding.
  size_t xing = 4 + (frame.version == 1 ? (frame.mono ? 17 : 32) : (frame.mono ? 9 : 17));
  if (xing + 12 <= left && (memcmp(header + xing, "Xing", 4) == 0 || memcmp(header + xing, "Info", 4) == 0)) {
    uint32_t flags = Be32(header + xing + 4);
    if (flags & 1) {
      uint64_t samples = static_cast<uint64_t>(Be32(header + xing + 8)) * samplesPerFrame;
      size_t lame = xing + 8 + 4 + ((flags & 2) ? 4 : 0) + ((flags & 4) ? 100 : 0) + ((flags & 8) ? 4 : 0);
      if (lame + 24 <= left && memcmp(header + lame, "LAME", 4) == 0) {
        const uint8_t* gaps = header + lame + 21;
        uint32_t delay = (gaps[0] << 4) | (gaps[1] >> 4), padding = ((gaps[1] & 0x0F) << 8) | gaps[2];
        if (samples > delay + padding) samples -= delay + padding;
      }
      return Ms(samples, frame.rate);
    }
  }
  // Fraunhofer's VBRI header, always 32 bytes after the frame header.
  if (36 + 18 <= left && memcmp(header + 36, "VBRI", 4) == 0)
    return Ms(static_cast<uint64_t>(Be32(header + 36 + 14)) * samplesPerFrame, frame.rate);

  // Constant bit rate: the audio bytes at the first frame's rate, without an
  // ID3v1 tag at the end.
  uint64_t audioStart = start + at, audioEnd = in.size();
  uint8_t tag[3];
  if (audioEnd >= audioStart + 128 && in.ReadAt(audioEnd - 128, tag, 3) == 3 && memcmp(tag, "TAG", 3) == 0)
    audioEnd -= 128;
  uint64_t audioBytes = audioEnd - audioStart;
  return static_cast<int64_t>(audioBytes * 8 / frame.bitrate);
}

int64_t WmaDuration(Reader& in) {
  // The ASF header object, then the objects it holds; the File Properties
  // object tells the play duration (100 ns) and the preroll (ms).
  static const uint8_t kHeader[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                      0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
  static const uint8_t kFileProperties[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                              0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
  uint8_t head[30];
  if (in.ReadAt(0, head, 30) != 30 || memcmp(head, kHeader, 16) != 0) return kDurationUnreadable;
  uint64_t headerEnd = std::min<uint64_t>(Le64(head + 16), in.size());
  uint32_t objects = Le32(head + 24);
  uint64_t at = 30;
  for (uint32_t i = 0; i < objects && at + 24 <= headerEnd; ++i) {
    uint8_t object[24];
    if (in.ReadAt(at, object, 24) != 24) break;
    uint64_t size = Le64(object + 16);
    if (size < 24) break;
    if (memcmp(object, kFileProperties, 16) == 0) {
      uint8_t props[104];
      if (size < 104 || in.ReadAt(at, props, 104) != 104) return kDurationUnreadable;
      uint64_t play = Le64(props + 64), preroll = Le64(props + 80);
      uint32_t flags = Le32(props + 88);
      if (flags & 1) return kDurationUnreadable;  // a broadcast: no duration
      int64_t ms = static_cast<int64_t>(play / 10000) - static_cast<int64_t>(preroll);
      return ms > 0 ? ms : 0;
    }
    at += size;
  }
  return kDurationUnreadable;
}

}  // namespace

int64_t AudioFileDurationMs(const std::wstring& path, uint8_t format) {
  Reader in;
  if (!in.Open(path)) return kDurationUnreadable;
  switch (format) {
    case kFormatWav: return WavDuration(in);
    case kFormatFlac: return FlacDuration(in);
    case kFormatOgg:
    case kFormatOpus: return OggDuration(in);
    case kFormatMp3: return Mp3Duration(in);
    case kFormatWma: return WmaDuration(in);
    default: return kDurationUnreadable;
  }
}

int64_t RecordingDurationMs(const RecordingEntry& entry) {
  for (const KnownFormat& known : kFormats) {
    if (!(entry.formats & known.bit)) continue;
    int64_t ms = AudioFileDurationMs(entry.stem + L"." + known.extension, known.bit);
    if (ms >= 0) return ms;
  }
  return kDurationUnreadable;
}

// --- Recordings in progress ---------------------------------------------------

std::vector<std::wstring> BusyBases(const std::vector<FolderEntry>& folder) {
  static constexpr std::wstring_view kSideSuffixes[] = {L".rec", L"_Out.sky", L"_In.sky"};
  std::vector<std::wstring> bases;
  for (const FolderEntry& entry : folder) {
    if (entry.directory) continue;
    std::wstring_view name = entry.name;
    for (std::wstring_view suffix : kSideSuffixes) {
      if (name.size() > suffix.size() && EqualsNoCase(name.substr(name.size() - suffix.size()), suffix)) {
        bases.emplace_back(name.substr(0, name.size() - suffix.size()));
        break;
      }
    }
  }
  return bases;
}

bool StemOfBusyBase(const std::vector<std::wstring>& busyBases, std::wstring_view fileStem) {
  for (const std::wstring& base : busyBases) {
    if (fileStem.size() < base.size() || fileStem.substr(0, base.size()) != base) continue;
    // The base ends where the recording's name goes on with its variants or
    // partners, not inside a number.
    if (fileStem.size() == base.size() || fileStem[base.size()] == L'(' || fileStem[base.size()] == L' ')
      return true;
  }
  return false;
}

bool RecordingBusy(const std::vector<FolderEntry>& folder, const std::wstring& fileStem) {
  return StemOfBusyBase(BusyBases(folder), fileStem);
}

bool RecordingBusy(const std::wstring& folderPath, const std::wstring& fileStem) {
  return RecordingBusy(FolderEntriesOf(folderPath), fileStem);
}

// --- The window's list -------------------------------------------------------------

namespace {
constexpr size_t kNoRow = std::numeric_limits<size_t>::max();

int Compare3(int64_t a, int64_t b) { return a < b ? -1 : a > b ? 1 : 0; }

// The time a recording is sorted by, as one number: the date and time, then
// the copy's number, then recovered or not, in that order of weight.
int64_t TimeKey(const RecordingName& n) {
  int64_t key = n.year;
  for (int64_t part : {int64_t{n.month}, int64_t{n.day}, int64_t{n.hour}, int64_t{n.minute}, int64_t{n.second}})
    key = key * 100 + part;
  // At most 14 digits of date and time leave room for a copy's number up to
  // 1023 (more copies of one second sort by their names).
  return (key * 1024 + std::min(n.number, 1023)) * 2 + (n.recovered ? 1 : 0);
}

// The formats as the window names them, read as a number: WAV first counts
// most, so that equal sets sit together.
int FormatsKey(uint8_t formats) {
  int key = 0;
  for (const KnownFormat& known : kFormats) key = key * 2 + ((formats & known.bit) ? 1 : 0);
  return key;
}
}  // namespace

bool RecordingListModel::Before(size_t a, size_t b) const {
  const RecordingEntry& x = entries_[a];
  const RecordingEntry& y = entries_[b];
  int order = 0;
  switch (column_) {
    case RecordingColumn::Time: break;
    case RecordingColumn::Partners: order = foldedPartners_[a].compare(foldedPartners_[b]); break;
    case RecordingColumn::Duration: {
      bool xKnown = x.durationMs >= 0, yKnown = y.durationMs >= 0;
      // Unknown lengths last, whichever the direction.
      if (xKnown != yKnown) return xKnown;
      if (xKnown) order = Compare3(x.durationMs, y.durationMs);
      break;
    }
    case RecordingColumn::Formats: order = Compare3(FormatsKey(x.formats), FormatsKey(y.formats)); break;
    case RecordingColumn::Size: order = Compare3(static_cast<int64_t>(x.size), static_cast<int64_t>(y.size)); break;
  }
  if (order == 0) order = Compare3(timeKeys_[a], timeKeys_[b]);
  if (order == 0) order = x.fileStem.compare(y.fileStem);
  return ascending_ ? order < 0 : order > 0;
}

bool RecordingListModel::Shown(size_t index) const {
  return filter_.empty() || foldedPartners_[index].find(filter_) != std::wstring::npos;
}

void RecordingListModel::Replace(std::vector<RecordingEntry> entries) {
  struct Known {
    int64_t durationMs;
    uint8_t formats;
    uint64_t size;
  };
  // The old entries stay until the new ones have taken what is known of them.
  std::vector<RecordingEntry> previous = std::move(entries_);
  std::unordered_map<std::wstring_view, Known> known;
  for (const RecordingEntry& entry : previous)
    if (entry.durationMs != kDurationNotRead) known.emplace(entry.stem, Known{entry.durationMs, entry.formats, entry.size});
  entries_ = std::move(entries);
  indexOfStem_.clear();
  indexOfStem_.reserve(entries_.size());
  foldedPartners_.clear();
  foldedPartners_.reserve(entries_.size());
  timeKeys_.clear();
  timeKeys_.reserve(entries_.size());
  for (size_t i = 0; i < entries_.size(); ++i) {
    RecordingEntry& entry = entries_[i];
    if (entry.durationMs == kDurationNotRead && !known.empty()) {
      auto found = known.find(entry.stem);
      // A file that grew or changed format is read again.
      if (found != known.end() && found->second.formats == entry.formats && found->second.size == entry.size)
        entry.durationMs = found->second.durationMs;
    }
    indexOfStem_.emplace(entry.stem, i);
    foldedPartners_.push_back(Folded(entry.name.partners));
    timeKeys_.push_back(TimeKey(entry.name));
  }
  Rebuild();
}

void RecordingListModel::SetFilter(std::wstring text) {
  filter_ = Folded(text);
  Rebuild();
}

void RecordingListModel::SortBy(RecordingColumn column, bool ascending) {
  column_ = column;
  ascending_ = ascending;
  Sort();
}

void RecordingListModel::Rebuild() {
  rows_.clear();
  rowOfIndex_.assign(entries_.size(), kNoRow);
  for (size_t i = 0; i < entries_.size(); ++i)
    if (Shown(i)) rows_.push_back(i);
  Sort();
}

void RecordingListModel::Sort() {
  std::stable_sort(rows_.begin(), rows_.end(), [this](size_t a, size_t b) { return Before(a, b); });
  Renumber(0);
}

void RecordingListModel::Renumber(size_t fromRow) {
  for (size_t row = fromRow; row < rows_.size(); ++row) rowOfIndex_[rows_[row]] = row;
}

std::optional<size_t> RecordingListModel::RowOf(const std::wstring& stem) const {
  auto found = indexOfStem_.find(stem);
  if (found == indexOfStem_.end() || rowOfIndex_[found->second] == kNoRow) return std::nullopt;
  return rowOfIndex_[found->second];
}

bool RecordingListModel::SetDuration(const std::wstring& stem, int64_t ms) {
  auto found = indexOfStem_.find(stem);
  if (found == indexOfStem_.end()) return false;
  size_t index = found->second;
  entries_[index].durationMs = ms;
  size_t row = rowOfIndex_[index];
  if (column_ != RecordingColumn::Duration || row == kNoRow) return true;
  // The order is total (the stem breaks the last tie), so taking the row out
  // and putting it back where it belongs gives what a full sort would.
  rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(row));
  auto at = std::lower_bound(rows_.begin(), rows_.end(), index, [this](size_t a, size_t b) { return Before(a, b); });
  size_t newRow = static_cast<size_t>(at - rows_.begin());
  rows_.insert(at, index);
  Renumber(std::min(row, newRow));
  return true;
}

void RecordingListModel::SetDurations(const std::vector<std::pair<std::wstring, int64_t>>& durations) {
  if (column_ != RecordingColumn::Duration) {
    for (const auto& [stem, ms] : durations) SetDuration(stem, ms);
    return;
  }
  for (const auto& [stem, ms] : durations) {
    auto found = indexOfStem_.find(stem);
    if (found != indexOfStem_.end()) entries_[found->second].durationMs = ms;
  }
  Rebuild();
}

std::vector<std::wstring> RecordingListModel::StemsWithoutDuration(size_t firstRow, size_t count) const {
  std::vector<std::wstring> stems;
  size_t end = firstRow + std::min(count, rows_.size());
  for (size_t row = firstRow; row < end && row < rows_.size(); ++row)
    if (entries_[rows_[row]].durationMs == kDurationNotRead) stems.push_back(entries_[rows_[row]].stem);
  return stems;
}

// --- Texts ---------------------------------------------------------------------------

std::wstring FormatDuration(int64_t ms) {
  if (ms < 0) return std::wstring();
  int64_t seconds = ms / 1000;
  long long h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
  if (h > 0) return FormatText(L"%d:%02d:%02d", {h, m, s});
  return FormatText(L"%d:%02d", {seconds / 60, s});
}

std::wstring FormatSize(uint64_t bytes) {
  if (bytes < 1024) return FormatText(L"%d B", {static_cast<unsigned long long>(bytes)});
  // Tenths of KB and MB, hundredths of GB, rounded; a figure that rounds up
  // to 1024 of one unit is shown in the next.
  auto scaled = [bytes](unsigned shift, uint64_t parts) {
    uint64_t unit = 1ull << shift;
    return bytes / unit * parts + ((bytes % unit) * parts + unit / 2) / unit;
  };
  uint64_t tenths = scaled(10, 10);
  if (tenths < 10240) return FormatText(L"%d.%d KB", {static_cast<unsigned long long>(tenths / 10),
                                                      static_cast<unsigned long long>(tenths % 10)});
  tenths = scaled(20, 10);
  if (tenths < 10240) return FormatText(L"%d.%d MB", {static_cast<unsigned long long>(tenths / 10),
                                                      static_cast<unsigned long long>(tenths % 10)});
  uint64_t hundredths = scaled(30, 100);
  return FormatText(L"%d.%02d GB", {static_cast<unsigned long long>(hundredths / 100),
                                    static_cast<unsigned long long>(hundredths % 100)});
}

std::wstring FormatNames(uint8_t formats) {
  std::wstring names;
  for (const KnownFormat& known : kFormats) {
    if (!(formats & known.bit)) continue;
    if (!names.empty()) names += L' ';
    names += known.label;
  }
  return names;
}

std::wstring FormatRecordingTime(const RecordingName& n) {
  return FormatText(L"%04d-%02d-%02d %02d:%02d:%02d", {n.year, n.month, n.day, n.hour, n.minute, n.second});
}

// --- Renaming ----------------------------------------------------------------------

bool RenameRecording(const RecordingEntry& entry, const std::wstring& newFileStem, std::wstring* error) {
  auto refuse = [error](const wchar_t* why) {
    if (error) *error = why;
    return false;
  };
  if (newFileStem.empty()) return refuse(L"The name is empty.");
  for (wchar_t c : newFileStem)
    if (c < 32 || std::wcschr(L"\\/:*?\"<>|", c)) return refuse(L"The name holds a character a file name cannot.");
  if (newFileStem.back() == L'.' || newFileStem.back() == L' ') return refuse(L"The name ends with a dot or a space.");
  if (entry.stem.size() < entry.fileStem.size()) return refuse(L"The recording's path is not whole.");
  if (newFileStem == entry.fileStem) return true;
  std::wstring folder = entry.stem.substr(0, entry.stem.size() - entry.fileStem.size());
  std::wstring target = folder + newFileStem;
  for (const KnownFormat& known : kFormats)
    if (PathExists(target + L"." + known.extension)) return refuse(L"A recording of that name exists.");

  std::vector<const wchar_t*> moved;
  for (const KnownFormat& known : kFormats) {
    if (!(entry.formats & known.bit)) continue;
    std::wstring extension = std::wstring(L".") + known.extension;
    if (MoveFileNoReplace(entry.stem + extension, target + extension)) {
      moved.push_back(known.extension);
      continue;
    }
    // All or none: the files renamed so far get their old name back.
    for (auto it = moved.rbegin(); it != moved.rend(); ++it) {
      std::wstring done = std::wstring(L".") + *it;
      MoveFileNoReplace(target + done, entry.stem + done);
    }
    return refuse(L"A file of the recording could not be renamed.");
  }
  return true;
}
