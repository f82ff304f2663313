#include "ui/image_button.h"

#include <objbase.h>
#include <gdiplus.h>
#include <shlwapi.h>
#include <windowsx.h>

#include <cstdint>
#include <cwchar>
#include <memory>

#include "platform/debug_trace.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace {

// Opaque pure magenta: the transparent colour of every skin image.
constexpr uint32_t kColorKey = 0xFFFF00FF;
// No skin image comes anywhere near this; a larger file is not an image of ours.
constexpr LONGLONG kMaxImageFileBytes = 32LL << 20;

// Reads a whole file without keeping it open and without keeping anybody else
// from replacing it meanwhile.
bool ReadImageFile(const std::wstring& path, std::string& bytes) {
  if (path.empty()) return false;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size = {};
  bool ok = GetFileSizeEx(file, &size) && size.QuadPart > 0 && size.QuadPart <= kMaxImageFileBytes;
  if (ok) {
    bytes.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    ok = ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) && got == bytes.size();
  }
  CloseHandle(file);
  return ok;
}

struct StreamRelease {
  void operator()(IStream* stream) const { stream->Release(); }
};
struct GraphicsDelete {
  void operator()(GpGraphics* graphics) const { GdipDeleteGraphics(graphics); }
};
using GraphicsOwner = std::unique_ptr<GpGraphics, GraphicsDelete>;

GdiplusImage NewBitmap(int width, int height) {
  GpBitmap* bitmap = nullptr;
  if (GdipCreateBitmapFromScan0(width, height, 0, PixelFormat32bppARGB, nullptr, &bitmap) != Ok) {
    DebugTrace(L"No memory for a button image.");
    return GdiplusImage();
  }
  return GdiplusImage(bitmap);
}

// A decoded copy of `source` that owns its pixels (the decoder may read its
// stream for as long as the source lives), with the key colour made
// transparent here, once, so that scaling never blends it into its neighbours.
GdiplusImage KeyedCopy(GpBitmap* source, int width, int height) {
  GdiplusImage copy = NewBitmap(width, height);
  if (!copy) return copy;
  auto* target = static_cast<GpBitmap*>(copy.get());
  Rect all(0, 0, width, height);
  BitmapData from = {}, to = {};
  if (GdipBitmapLockBits(source, &all, ImageLockModeRead, PixelFormat32bppARGB, &from) != Ok) return GdiplusImage();
  bool ok = GdipBitmapLockBits(target, &all, ImageLockModeWrite, PixelFormat32bppARGB, &to) == Ok;
  if (ok) {
    for (int y = 0; y < height; ++y) {
      auto* in = reinterpret_cast<const uint32_t*>(static_cast<const BYTE*>(from.Scan0) + y * from.Stride);
      auto* out = reinterpret_cast<uint32_t*>(static_cast<BYTE*>(to.Scan0) + y * to.Stride);
      for (int x = 0; x < width; ++x) out[x] = in[x] == kColorKey ? 0 : in[x];
    }
    GdipBitmapUnlockBits(target, &to);
  }
  GdipBitmapUnlockBits(source, &from);
  return ok ? std::move(copy) : GdiplusImage();
}

GdiplusImage Scaled(GpImage* source, int width, int height, int toWidth, int toHeight) {
  GdiplusImage scaled = NewBitmap(toWidth, toHeight);
  if (!scaled) return scaled;
  GpGraphics* raw = nullptr;
  if (GdipGetImageGraphicsContext(scaled.get(), &raw) != Ok) return GdiplusImage();
  GraphicsOwner graphics(raw);
  GdipSetInterpolationMode(raw, InterpolationModeHighQualityBicubic);
  GdipSetPixelOffsetMode(raw, PixelOffsetModeHalf);
  GdipSetCompositingMode(raw, CompositingModeSourceCopy);
  GpImageAttributes* attributes = nullptr;
  GdipCreateImageAttributes(&attributes);
  // Samples beyond the edges mirror the image instead of fading into nothing.
  if (attributes) GdipSetImageAttributesWrapMode(attributes, WrapModeTileFlipXY, 0, FALSE);
  GpStatus status = GdipDrawImageRectRectI(raw, source, 0, 0, toWidth, toHeight, 0, 0, width, height, UnitPixel,
                                           attributes, nullptr, nullptr);
  if (attributes) GdipDisposeImageAttributes(attributes);
  return status == Ok ? std::move(scaled) : GdiplusImage();
}

void LoadButtonImageSet(const ButtonImagePaths& paths, ButtonImageSet& images, int dpi) {
  LoadButtonImage(paths.normal, images.normal, dpi);
  LoadButtonImage(paths.disabled, images.disabled, dpi);
  LoadButtonImage(paths.hover, images.hover, dpi);
  LoadButtonImage(paths.down, images.down, dpi);
}

}  // namespace

bool LoadButtonImage(const std::wstring& path, ButtonImage& image, int dpi) {
  image = ButtonImage();
  std::string bytes;
  if (!ReadImageFile(path, bytes)) {
    DebugTrace(L"image file not read: %s", {path});
    return false;
  }
  std::unique_ptr<IStream, StreamRelease> stream(
      SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size())));
  if (!stream) {
    DebugTrace(L"No memory for a button image.");
    return false;
  }
  GpBitmap* decoded = nullptr;
  if (GdipCreateBitmapFromStream(stream.get(), &decoded) != Ok || !decoded) {
    DebugTrace(L"image not decoded: %s", {path});
    return false;
  }
  GdiplusImage source(decoded);
  UINT width = 0, height = 0;
  GdipGetImageWidth(decoded, &width);
  GdipGetImageHeight(decoded, &height);
  if (width == 0 || height == 0 || width > 0x7FFF || height > 0x7FFF) return false;
  GdiplusImage prepared = KeyedCopy(decoded, static_cast<int>(width), static_cast<int>(height));
  int shownWidth = ScaleForDpi(static_cast<int>(width), dpi);
  int shownHeight = ScaleForDpi(static_cast<int>(height), dpi);
  if (prepared && (shownWidth != static_cast<int>(width) || shownHeight != static_cast<int>(height)))
    prepared = Scaled(prepared.get(), static_cast<int>(width), static_cast<int>(height), shownWidth, shownHeight);
  if (!prepared) return false;
  image.width = shownWidth;
  image.height = shownHeight;
  image.prepared = std::move(prepared);
  return true;
}

void DrawButtonImage(const ButtonImage& image, HDC dc, const RECT& client) {
  if (!image.prepared || image.width <= 0 || image.height <= 0) return;
  GpGraphics* raw = nullptr;
  if (GdipCreateFromHDC(dc, &raw) != Ok) return;
  GraphicsOwner graphics(raw);
  GdipSetInterpolationMode(raw, InterpolationModeNearestNeighbor);
  // The key colour is already transparent in the prepared image (KeyedCopy).
  GdipDrawImageRectRectI(raw, image.prepared.get(), client.left, client.top, image.width, image.height, 0, 0,
                         image.width, image.height, UnitPixel, nullptr, nullptr, nullptr);
}

ButtonFont::ButtonFont() {
  GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof description, &description);
  description.lfCharSet = ANSI_CHARSET;
  description.lfQuality = ANTIALIASED_QUALITY;
  description.lfWeight = FW_NORMAL;
  std::wcsncpy(description.lfFaceName, L"Arial", LF_FACESIZE - 1);
  Recreate();
}

void ButtonFont::Recreate() {
  // The new font is made first: the button may be painting with the old one.
  font_ = GdiFont(CreateFontIndirectW(&description));
}

void ButtonFont::SetHeight(int height) {
  description.lfHeight = ScaleForScreen(height);
  Recreate();
}

CImageButton::CImageButton() : textColor(GetSysColor(COLOR_BTNTEXT)) {}

void CImageButton::SetImages(const ButtonImagePaths& paths) {
  LoadButtonImageSet(paths, images_, ScreenDpi());
  InvalidateWithOwner();
}

void CImageButton::SetText(const std::wstring& text) {
  caption_ = text;
  if (hwnd_) SetWindowTextW(hwnd_, caption_.c_str());
}

SIZE CImageButton::ImageSize() const {
  const ButtonImage& normal = ShownImages().normal;
  return {normal.width, normal.height};
}

void CImageButton::OnAttach() {
  SetWindowTextW(hwnd_, caption_.c_str());
  // WindowProc keeps the type owner-drawn, whatever style is asked for.
  SendMessageW(hwnd_, BM_SETSTYLE, GetWindowLongW(hwnd_, GWL_STYLE) & 0xFF, TRUE);
}

void CImageButton::InvalidateOwnerRect() {
  HWND owner = hwnd_ ? GetParent(hwnd_) : nullptr;
  if (!owner) return;
  RECT rect;
  GetWindowRect(hwnd_, &rect);
  MapWindowPoints(nullptr, owner, reinterpret_cast<POINT*>(&rect), 2);
  InvalidateRect(owner, &rect, TRUE);
}

void CImageButton::InvalidateWithOwner() {
  if (!hwnd_) return;
  InvalidateRect(hwnd_, nullptr, TRUE);
  InvalidateOwnerRect();
}

void CImageButton::TrackLeave() {
  // The capture taken on hover does not bring the moves over other programs'
  // windows; the leave notice ends the hover all the same.
  TRACKMOUSEEVENT track = {sizeof track, TME_LEAVE, hwnd_, 0};
  TrackMouseEvent(&track);
}

LRESULT CImageButton::OnMouseMove(WPARAM keys, POINT position) {
  // A drag that started elsewhere changes nothing.
  if (keys & MK_LBUTTON) return 0;
  if (GetCapture() != hwnd_ && GetParent(hwnd_)) {
    hover_ = 1;
    SetCapture(hwnd_);
    TrackLeave();
    InvalidateWithOwner();
    return Default(WM_MOUSEMOVE, keys, MAKELPARAM(position.x, position.y));
  }
  RECT client;
  GetClientRect(hwnd_, &client);
  if (PtInRect(&client, position)) return Default(WM_MOUSEMOVE, keys, MAKELPARAM(position.x, position.y));
  if (hover_) {
    hover_ = 0;
    InvalidateWithOwner();
  }
  ReleaseCapture();
  return Default(WM_MOUSEMOVE, keys, MAKELPARAM(position.x, position.y));
}

LRESULT CImageButton::OnLButtonDown(WPARAM keys, LPARAM position) {
  if (pressed_) return Default(WM_LBUTTONDOWN, keys, position);
  pressed_ = 1;
  InvalidateWithOwner();
  LRESULT result = Default(WM_LBUTTONDOWN, keys, position);
  if (hwnd_ && GetCapture() != hwnd_) SetCapture(hwnd_);
  return result;
}

LRESULT CImageButton::OnLButtonUp(WPARAM keys, LPARAM position) {
  hover_ = 0;
  pressed_ = 0;
  InvalidateRect(hwnd_, nullptr, TRUE);
  POINT point = {GET_X_LPARAM(position), GET_Y_LPARAM(position)};
  RECT client;
  GetClientRect(hwnd_, &client);
  LRESULT result = 0;
  // Inside, the platform's button sends its click; a release outside sends none.
  if (PtInRect(&client, point)) result = Default(WM_LBUTTONUP, keys, position);
  // The click's handler may have destroyed the button.
  if (!hwnd_) return result;
  if (GetCapture() == hwnd_) ReleaseCapture();
  InvalidateOwnerRect();
  return result;
}

LRESULT CImageButton::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_MOUSEMOVE:
      return OnMouseMove(wParam, {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      // A quick second click is a click like the first, not a double click
      // that the platform's owner-drawn button would swallow.
      return OnLButtonDown(wParam, lParam);
    case WM_LBUTTONUP:
      return OnLButtonUp(wParam, lParam);
    case WM_MOUSELEAVE:
      if (hover_ && !pressed_) {
        hover_ = 0;
        InvalidateWithOwner();
        if (GetCapture() == hwnd_) ReleaseCapture();
      }
      break;
    case WM_CAPTURECHANGED:
      // Capture taken away (a window disabled, a menu or dialog opened): the
      // pointer is no longer followed, so the button shows its normal image.
      if (reinterpret_cast<HWND>(lParam) != hwnd_ && (hover_ || pressed_)) {
        hover_ = 0;
        pressed_ = 0;
        InvalidateWithOwner();
      }
      break;
    case WM_ERASEBKGND:
      // The owner paints what the image leaves transparent.
      return TRUE;
    case WM_SETTEXT: {
      // The same caption again changes nothing. The platform's button would
      // still clear and draw itself at once, and the owner's picture under it
      // with it: a window that sets its texts on a timer would repaint for
      // nothing each time.
      const wchar_t* text = lParam ? reinterpret_cast<const wchar_t*>(lParam) : L"";
      if (caption_ == text && GetWindowTextString(hwnd_) == caption_) return TRUE;
      caption_ = text;
      LRESULT result = Default(message, wParam, lParam);
      InvalidateWithOwner();
      return result;
    }
    case BM_SETSTYLE:
      wParam = (wParam & ~static_cast<WPARAM>(BS_TYPEMASK)) | BS_OWNERDRAW;
      break;
    default:
      break;
  }
  return Default(message, wParam, lParam);
}

bool CImageButton::OnReflected(UINT message, WPARAM, LPARAM lParam, LRESULT& result) {
  if (message != WM_DRAWITEM) return false;
  DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
  result = TRUE;
  return true;
}

void CImageButton::DrawItem(const DRAWITEMSTRUCT& item) {
  RECT rect = item.rcItem;
  HDC dc = item.hDC;
  SavedDCState saved(dc);
  RECT client;
  GetClientRect(hwnd_, &client);
  const ButtonImageSet& images = ShownImages();
  const ButtonImage& image = !IsWindowEnabled(hwnd_) ? images.disabled
                             : pressed_              ? images.down
                             : hover_                ? images.hover
                                                     : images.normal;
  DrawButtonImage(image, dc, client);
  SelectObject(dc, font.get());
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, textColor);
  if (caption_.empty()) return;
  rect.top += ScaleForScreen(textOffsetY);
  rect.left += ScaleForScreen(textOffsetX);
  DrawTextW(dc, caption_.c_str(), static_cast<int>(caption_.size()), &rect,
            DT_SINGLELINE | DT_VCENTER | (textLeftAligned ? DT_LEFT : DT_CENTER));
}

void CBoxImageButton::SetOnImages(const ButtonImagePaths& paths) {
  onPaths_ = paths;
  onLoaded_ = false;
}

void CBoxImageButton::SetOffImages(const ButtonImagePaths& paths) {
  offPaths_ = paths;
  offLoaded_ = false;
}

void CBoxImageButton::SetCheck(int state) {
  checkState_ = state;
  checkSet_ = true;
  int dpi = ScreenDpi();
  if (!onLoaded_) LoadButtonImageSet(onPaths_, onImages_, dpi);
  if (!offLoaded_) LoadButtonImageSet(offPaths_, offImages_, dpi);
  onLoaded_ = offLoaded_ = true;
  InvalidateWithOwner();
}

const ButtonImageSet& CBoxImageButton::ShownImages() const {
  if (!checkSet_) return images_;
  return checkState_ ? onImages_ : offImages_;
}

bool CBoxImageButton::OnReflected(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
    // The box handles its own click; the owner reads the state.
    SetCheck(checkState_ ? 0 : 1);
    result = 0;
    return true;
  }
  return CImageButton::OnReflected(message, wParam, lParam, result);
}

bool PlaceImageButton(HWND parent, CImageButton& button, int id) {
  HWND old = GetDlgItem(parent, id);
  if (!old) {
    DebugTrace(L"A skinned button could not be made.");
    return false;
  }
  RECT rect;
  GetWindowRect(old, &rect);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  HWND before = GetWindow(old, GW_HWNDPREV);
  DestroyWindow(old);
  SIZE size = button.ImageSize();
  RECT place = {rect.left, rect.top, rect.left + size.cx, rect.top + size.cy};
  if (!button.Create(L"BUTTON", button.text().c_str(), WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, place, parent, id)) {
    DebugTrace(L"A skinned button could not be made.");
    return false;
  }
  // Same place in the z-order and the tab order as the window it replaces.
  SetWindowPos(button.GetSafeHwnd(), before ? before : HWND_TOP, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  return true;
}
