#include "tests/ui/window_bench.h"

#include <winternl.h>

#include <algorithm>
#include <fstream>

#include "ui/gdi_objects.h"

bool PumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds deadline) {
  auto end = std::chrono::steady_clock::now() + deadline;
  for (;;) {
    PumpPending();
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= end) return condition();
    MsgWaitForMultipleObjectsEx(0, nullptr, 10, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
}

void PumpPending() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // Not ours to take: whoever runs the loop around the test sees it.
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    // As every loop of the program: the dialogs of this thread take their keys.
    if (RouteDialogMessage(&msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

namespace {

// A 32-bit top-down DIB section and its bits.
GdiBitmap MakeDib(int width, int height, uint32_t*& bits) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* raw = nullptr;
  GdiBitmap dib(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &raw, nullptr, 0));
  bits = static_cast<uint32_t*>(raw);
  return dib;
}

COLORREF ToColorRef(uint32_t rgb) { return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF); }

}  // namespace

Pixels Pixels::Grab(HDC source, int x, int y, int width, int height) {
  Pixels pixels;
  uint32_t* bits = nullptr;
  if (width <= 0 || height <= 0) return pixels;
  GdiBitmap dib = MakeDib(width, height, bits);
  MemoryDC memory(source);
  if (!dib || !memory.get()) return pixels;
  {
    SelectionScope select(memory.get(), dib.get());
    BitBlt(memory.get(), 0, 0, width, height, source, x, y, SRCCOPY);
    GdiFlush();
  }
  pixels.width_ = width;
  pixels.height_ = height;
  pixels.pixels_.assign(bits, bits + static_cast<size_t>(width) * height);
  for (uint32_t& p : pixels.pixels_) p &= 0xFFFFFF;
  return pixels;
}

Pixels Pixels::OfClient(HWND window) {
  // Everything pending is painted first: the window's own parts and what its
  // parent paints under them.
  RedrawWindow(GetAncestor(window, GA_ROOT), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  PumpPending();
  RECT client;
  GetClientRect(window, &client);
  ClientDC dc(window);
  return Grab(dc.get(), 0, 0, client.right, client.bottom);
}

Pixels Pixels::OfScreen(const RECT& area) {
  ClientDC dc(nullptr);
  return Grab(dc.get(), area.left, area.top, area.right - area.left, area.bottom - area.top);
}

COLORREF Pixels::at(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return CLR_INVALID;
  return ToColorRef(pixels_[static_cast<size_t>(y) * width_ + x]);
}

int Pixels::count(const RECT& area, COLORREF color) const {
  int n = 0;
  for (int y = std::max(0L, area.top); y < std::min<LONG>(height_, area.bottom); ++y)
    for (int x = std::max(0L, area.left); x < std::min<LONG>(width_, area.right); ++x) n += at(x, y) == color;
  return n;
}

bool Pixels::SaveBmp(const std::wstring& path) const {
  return WriteBmp(path, width_, height_, [this](int x, int y) { return pixels_[static_cast<size_t>(y) * width_ + x]; });
}

namespace {

void SendMouse(DWORD flags, LONG dx = 0, LONG dy = 0) {
  INPUT input = {};
  input.type = INPUT_MOUSE;
  input.mi.dx = dx;
  input.mi.dy = dy;
  input.mi.dwFlags = flags;
  SendInput(1, &input, sizeof input);
}

// Until the system has queued the input and this thread has handled it.
void AwaitMouse(const std::function<bool()>& delivered) {
  PumpUntil([&] { return delivered() && HIWORD(GetQueueStatus(QS_MOUSE)) == 0; });
  PumpPending();
}

bool LeftButtonDown() { return (GetAsyncKeyState(VK_LBUTTON) & 0x8000) != 0; }

}  // namespace

void Mouse::MoveTo(HWND window, POINT client) {
  POINT target = client;
  ClientToScreen(window, &target);
  MoveToScreen(target);
}

void Mouse::MoveToScreen(POINT target) {
  LONG width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  // Absolute coordinates run from 0 to 65535 over the screen.
  SendMouse(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, (target.x * 65535 + width - 2) / (width - 1),
            (target.y * 65535 + height - 2) / (height - 1));
  AwaitMouse([&] {
    POINT now;
    return GetCursorPos(&now) && now.x == target.x && now.y == target.y;
  });
}

void Mouse::Press() {
  SendMouse(MOUSEEVENTF_LEFTDOWN);
  AwaitMouse(LeftButtonDown);
}

void Mouse::Release() {
  SendMouse(MOUSEEVENTF_LEFTUP);
  AwaitMouse([] { return !LeftButtonDown(); });
}

void Mouse::ClickAt(HWND window, POINT client) {
  MoveTo(window, client);
  Press();
  Release();
}

HWND MouseCaptureOf(HWND window) {
  GUITHREADINFO thread = {sizeof thread};
  return GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &thread) ? thread.hwndCapture : nullptr;
}

namespace {
bool IsSkinnedButton(HWND window) {
  wchar_t name[16] = L"";
  GetClassNameW(window, name, 16);
  return _wcsicmp(name, L"Button") == 0 && (GetWindowLongW(window, GWL_STYLE) & BS_TYPEMASK) == BS_OWNERDRAW;
}
}  // namespace

void Mouse::ClickAsUser(HWND window, POINT point) {
  bool skinned = IsSkinnedButton(window);
  auto arrived = [&] {
    HWND capture = MouseCaptureOf(window);
    return skinned ? capture == window : !capture || capture == window;
  };
  // The system merges pointer moves that wait in a queue, so one can vanish
  // into another: like a hand, the pointer moves a little until the target
  // shows it has seen it.
  POINT moved = point;
  for (int attempt = 0; attempt < 15; ++attempt) {
    moved = {point.x + attempt % 2, point.y};
    MoveTo(window, moved);
    if (PumpUntil(arrived, std::chrono::seconds(2))) break;
  }
  // Under wine the window's thread may still take a pointer event of the
  // display from an earlier move, which puts the pointer back there for a
  // moment: a press or a release made then lands elsewhere, and there is no
  // click. So before the press and before the release the pointer has stayed
  // where the press belongs while the window's thread handled everything that
  // waited for it, three times running; if it went elsewhere it is moved back.
  POINT screen = moved;
  ClientToScreen(window, &screen);
  auto settle = [&] {
    int steady = 0;
    PumpUntil(
        [&] {
          SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 2000, nullptr);
          POINT now;
          if (GetCursorPos(&now) && now.x == screen.x && now.y == screen.y) return ++steady >= 3;
          steady = 0;
          MoveTo(window, moved);
          return false;
        },
        std::chrono::seconds(10));
  };
  settle();
  Press();
  settle();
  Release();
  if (!skinned) return;
  HWND dialog = GetAncestor(window, GA_ROOT);
  PumpUntil([&] {
    return !IsWindowVisible(window) || !IsWindowEnabled(dialog) || MouseCaptureOf(window) == window;
  });
}

namespace {
void SendKey(WORD key, WORD character, DWORD flags) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key;
  input.ki.wScan = character;
  input.ki.dwFlags = flags;
  SendInput(1, &input, sizeof input);
}
}  // namespace

void Keyboard::Type(const std::wstring& text) {
  for (wchar_t c : text) {
    SendKey(0, c, KEYEVENTF_UNICODE);
    SendKey(0, c, KEYEVENTF_UNICODE | KEYEVENTF_KEYUP);
  }
}

void Keyboard::Press(WORD key, bool shift, bool control) {
  if (shift) SendKey(VK_SHIFT, 0, 0);
  if (control) SendKey(VK_CONTROL, 0, 0);
  SendKey(key, 0, 0);
  SendKey(key, 0, KEYEVENTF_KEYUP);
  if (control) SendKey(VK_CONTROL, 0, KEYEVENTF_KEYUP);
  if (shift) SendKey(VK_SHIFT, 0, KEYEVENTF_KEYUP);
}

POINT Mouse::Away() { return {GetSystemMetrics(SM_CXSCREEN) - 2, GetSystemMetrics(SM_CYSCREEN) - 2}; }

std::vector<WORD> DialogTemplateWords(DWORD style) {
  // DLGTEMPLATE: style, extended style, no items, position and size (10 x 10
  // dialog units), no menu, the standard class, no title, then the font.
  style |= DS_SETFONT;
  std::vector<WORD> words = {LOWORD(style), HIWORD(style), 0, 0, 0, 0, 0, 10, 10, 0, 0, 0, 8};
  for (const wchar_t* c = L"MS Shell Dlg"; *c; ++c) words.push_back(static_cast<WORD>(*c));
  words.push_back(0);
  return words;
}

BenchDialog::BenchDialog(int clientWidth, int clientHeight)
    : CDialog(static_cast<const DLGTEMPLATE*>(nullptr)), templateWords_(DialogTemplateWords(WS_POPUP | WS_VISIBLE)) {
  template_ = reinterpret_cast<const DLGTEMPLATE*>(templateWords_.data());
  if (!Create()) return;
  SetWindowPos(hwnd_, HWND_TOPMOST, 60, 60, clientWidth, clientHeight, SWP_SHOWWINDOW);
  SetForegroundWindow(hwnd_);
  // The pointer starts away from the new window, so nothing in it is hovered.
  Mouse::MoveToScreen(Mouse::Away());
  PumpUntil([this] { return GetForegroundWindow() == hwnd_; });
}

BenchDialog::~BenchDialog() = default;

void BenchDialog::SetBackground(HBITMAP picture) {
  RECT client;
  GetClientRect(hwnd_, &client);
  background_ = MakePatternBrush(FitBitmap(picture, client.right, client.bottom));
  InvalidateRect(hwnd_, nullptr, TRUE);
}

bool BenchDialog::OnCommand(WORD id, WORD, HWND) {
  commands_.push_back(id);
  return true;
}

INT_PTR BenchDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
  handled = false;
  if (message == WM_CTLCOLORDLG && background_) {
    handled = true;
    return reinterpret_cast<INT_PTR>(background_.get());
  }
  if (message == WM_CTLCOLORSTATIC && onCtlColorStatic) {
    handled = true;
    return reinterpret_cast<INT_PTR>(onCtlColorStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)));
  }
  return 0;
}

GdiBitmap MakeBitmap(int width, int height, const std::function<COLORREF(int, int)>& color) {
  uint32_t* bits = nullptr;
  GdiBitmap dib = MakeDib(width, height, bits);
  if (!dib) return dib;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      COLORREF c = color(x, y);
      bits[static_cast<size_t>(y) * width + x] = (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
    }
  return dib;
}

namespace {

void PutLE(std::string& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}
void PutBE(std::string& out, uint32_t value) {
  for (int i = 3; i >= 0; --i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

bool WriteAll(const std::wstring& path, const std::string& bytes) {
  std::ofstream file(path.c_str(), std::ios::binary);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(file);
}

uint32_t Crc32(const std::string& data, size_t from) {
  uint32_t crc = 0xFFFFFFFF;
  for (size_t i = from; i < data.size(); ++i) {
    crc ^= static_cast<uint8_t>(data[i]);
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
  }
  return ~crc;
}

void PutChunk(std::string& png, const char* type, const std::string& data) {
  PutBE(png, static_cast<uint32_t>(data.size()));
  size_t start = png.size();
  png.append(type, 4);
  png += data;
  PutBE(png, Crc32(png, start));
}

}  // namespace

bool WriteBmp(const std::wstring& path, int width, int height, const std::function<uint32_t(int, int)>& argb) {
  int stride = (width * 3 + 3) & ~3;
  std::string bmp = "BM";
  PutLE(bmp, 54 + stride * height, 4);
  PutLE(bmp, 0, 4);
  PutLE(bmp, 54, 4);
  for (uint32_t v : {40u, static_cast<uint32_t>(width), static_cast<uint32_t>(height)}) PutLE(bmp, v, 4);
  PutLE(bmp, 1, 2);
  PutLE(bmp, 24, 2);
  for (int i = 0; i < 6; ++i) PutLE(bmp, 0, 4);
  for (int y = height - 1; y >= 0; --y) {
    for (int x = 0; x < width; ++x) PutLE(bmp, argb(x, y) & 0xFFFFFF, 3);
    bmp.append(static_cast<size_t>(stride - width * 3), '\0');
  }
  return WriteAll(path, bmp);
}

bool WritePng(const std::wstring& path, int width, int height, const std::function<uint32_t(int, int)>& argb) {
  std::string raw;
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);  // no filter
    for (int x = 0; x < width; ++x) {
      uint32_t p = argb(x, y);
      for (int shift : {16, 8, 0, 24}) raw.push_back(static_cast<char>((p >> shift) & 0xFF));
    }
  }
  // zlib stream of stored deflate blocks.
  std::string z = "\x78\x01";
  for (size_t at = 0; at < raw.size(); at += 65535) {
    size_t n = std::min<size_t>(65535, raw.size() - at);
    z.push_back(at + n >= raw.size() ? 1 : 0);
    PutLE(z, static_cast<uint32_t>(n), 2);
    PutLE(z, static_cast<uint32_t>(~n & 0xFFFF), 2);
    z.append(raw, at, n);
  }
  uint32_t a = 1, b = 0;
  for (char c : raw) {
    a = (a + static_cast<uint8_t>(c)) % 65521;
    b = (b + a) % 65521;
  }
  PutBE(z, (b << 16) | a);
  std::string header;
  PutBE(header, static_cast<uint32_t>(width));
  PutBE(header, static_cast<uint32_t>(height));
  header += std::string("\x08\x06\x00\x00\x00", 5);
  std::string png = "\x89PNG\r\n\x1a\n";
  PutChunk(png, "IHDR", header);
  PutChunk(png, "IDAT", z);
  PutChunk(png, "IEND", "");
  return WriteAll(path, png);
}

namespace {

// Wine's GDI handle table, laid out as Windows' GDICELL: 24 bytes per entry,
// the object type in byte 14, 0 for a free entry. The table's address is in
// the PEB at 0xF8 (64-bit).
long CountGdiTableEntries() {
  // gcc takes the TEB read through the gs segment for an array access.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"
  auto* peb = reinterpret_cast<const BYTE*>(NtCurrentTeb()->ProcessEnvironmentBlock);
#pragma GCC diagnostic pop
  auto* table = *reinterpret_cast<const BYTE* const*>(peb + 0xF8);
  if (!table) return -1;
  long live = 0;
  for (size_t i = 0; i < 0x10000; ++i) live += table[i * 24 + 14] != 0;
  return live;
}

// Wine's USER handles are 0x20 + 2 * index; a handle without its generation
// (the high word 0) names whatever lives at that index. The table is the
// whole session's: the windows of other programs (a test running beside this
// one) are not counted.
long CountWindowsAndMenus() {
  long live = 0;
  DWORD self = GetCurrentProcessId();
  for (UINT_PTR handle = 0x20; handle < 0x10000; handle += 2) {
    auto window = reinterpret_cast<HWND>(handle);
    DWORD owner = 0;
    if (IsWindow(window))
      live += GetWindowThreadProcessId(window, &owner) && owner == self;
    else
      live += IsMenu(reinterpret_cast<HMENU>(handle)) != FALSE;
  }
  return live;
}

}  // namespace

GuiCounts GuiCounts::Now() {
  GuiCounts counts;
  counts.gdi = static_cast<long>(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS));
  counts.user = static_cast<long>(GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS));
  if (counts.gdi == 0 && counts.user == 0) {
    counts.gdi = CountGdiTableEntries();
    counts.user = CountWindowsAndMenus();
  }
  return counts;
}
