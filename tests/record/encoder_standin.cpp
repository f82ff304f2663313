// A stand-in for the external encoders in tests. Copies of it sit in the test
// program's folder as lame.exe, oggenc2.exe, flac.exe and Wav2Wma.exe, where the
// recorder's search finds them first. Each run appends one line to the file
// named by CALVORO_STANDIN_LOG: its own name and each argument as it arrived,
// separated by tabs. CALVORO_STANDIN_MODE chooses what a name does, for
// example "flac.exe=nothing,lame.exe=hang":
//   produce (the default)  write the output the real encoder would (MP3, OGG
//                          and FLAC by the program's own encoders, so that it
//                          decodes), exit 0
//   half                   write the first half of that output, exit 0
//   nothing                write nothing, exit 0
//   empty                  write an empty output, exit 0
//   fail                   write nothing, exit 3
//   hang                   never end
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

#include "common/strings.h"
#include "platform/file.h"
#include "formats/audio_encoder.h"
#include "record/wave_file.h"
#include "settings/settings.h"

namespace {

std::vector<std::string> Arguments(int argc, char** argv) {
  std::vector<std::string> args;
#ifdef _WIN32
  int n = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &n);
  for (int i = 0; i < n; ++i) args.push_back(Utf8FromWide(wide[i]));
  LocalFree(wide);
#else
  for (int i = 0; i < argc; ++i) args.push_back(argv[i]);
#endif
  return args;
}

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string FilePath(std::string path) {
#ifndef _WIN32
  for (char& c : path)
    if (c == '\\') c = '/';
#endif
  return path;
}

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string ModeFor(const std::string& name) {
  std::string modes = Env("CALVORO_STANDIN_MODE") + ",";
  size_t start = 0;
  for (size_t comma; (comma = modes.find(',', start)) != std::string::npos; start = comma + 1) {
    std::string item = modes.substr(start, comma - start);
    size_t eq = item.find('=');
    if (eq != std::string::npos && Lower(item.substr(0, eq)) == name) return item.substr(eq + 1);
  }
  return "produce";
}

std::string Extensionless(const std::string& path) {
  size_t dot = path.find_last_of('.');
  return dot == std::string::npos ? path : path.substr(0, dot);
}

// The WAV file (the canonical header) encoded into `output`.
bool Encode(uint8_t format, const std::string& input, const std::string& output) {
  File wav, encoded;
  const uint16_t channels = wav.OpenExisting(WideFromUtf8(input)) ? ReadWaveHeaderChannels(wav) : 0;
  if (channels == 0 || !encoded.Create(WideFromUtf8(output))) return false;
  size_t got = 0;
  std::unique_ptr<AudioEncoder> encoder = MakeAudioEncoder(format, encoded, channels, kSampleRate);
  if (!encoder) return false;
  std::vector<int16_t> samples(65536);
  for (;;) {
    if (!wav.Read(samples.data(), samples.size() * 2, got)) return false;
    if (!encoder->Encode(samples.data(), got / 2 / channels)) return false;
    if (got < samples.size() * 2) break;
  }
  return encoder->Finish();
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args = Arguments(argc, argv);
  std::string name = Lower(BaseName(args.empty() ? "" : args[0]));
  std::string log = Env("CALVORO_STANDIN_LOG");
  if (!log.empty()) {
    std::ofstream out(FilePath(log), std::ios::app | std::ios::binary);
    out << name;
    for (size_t i = 1; i < args.size(); ++i) out << '\t' << args[i];
    out << '\n';
  }
  std::string mode = ModeFor(name);
  if (mode == "hang")
    for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
  if (mode == "fail") return 3;
  if (mode == "nothing") return 0;

  std::string input, output;
  if (name == "lame.exe" && args.size() >= 4) {
    input = args[2];
    output = args[3];
  } else if ((name == "oggenc2.exe" || name == "flac.exe") && args.size() >= 2) {
    input = args.back();
    output = Extensionless(input) + (name == "flac.exe" ? ".flac" : ".ogg");
  } else if (name == "wav2wma.exe") {
    for (size_t i = 1; i + 1 < args.size(); ++i) {
      if (args[i] == "-i") input = args[i + 1];
      if (args[i] == "-o") output = args[i + 1];
    }
  }
  if (input.empty() || output.empty()) return 2;
  std::ifstream in(FilePath(input), std::ios::binary);
  if (!in) return 2;  // like the real encoders: no input, no output
  in.close();          // the encoders below open it for themselves alone
  uint8_t format = name == "lame.exe" ? kFormatMp3 : name == "oggenc2.exe" ? kFormatOgg : name == "flac.exe" ? kFormatFlac : 0;
  if (format && mode != "empty") {
    if (!Encode(format, FilePath(input), FilePath(output))) return 4;
    if (mode == "half") {
      std::string bytes;
      {
        std::ifstream whole(FilePath(output), std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(whole), std::istreambuf_iterator<char>());
      }
      std::ofstream cut(FilePath(output), std::ios::binary | std::ios::trunc);
      cut.write(bytes.data(), static_cast<std::streamsize>(bytes.size() / 2));
    }
    return 0;
  }
  std::ofstream out(FilePath(output), std::ios::binary | std::ios::trunc);
  if (mode != "empty") out << "encoded by " << name << " from " << input << '\n';
  return out ? 0 : 4;
}
