// The floor of a Win32 player, for the Windows player's figures under Wine:
// a window that shows 320 x 240 frames of 8 bits with StretchDIBits, the
// next one every 40 ms from a one-shot multimedia timer whose callback posts
// a message, as the player's clock does. The frames come as raw pixels, so
// nothing is decoded: a colour table of 256 RGBQUADs, then the frames, each
// 320 x 240 palette indices stored bottom-up.
//
// Usage: gifplay_win32_floor FRAMES_FILE
#include <windows.h>
// after windows.h, whose types it uses
#include <mmsystem.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 240;
constexpr UINT kDelayMs = 40;
constexpr UINT kNextFrame = WM_APP;

struct Dib {
  BITMAPINFOHEADER header;
  RGBQUAD colours[256];
};

Dib dib;
std::vector<unsigned char> frames;
size_t frameCount = 0;
size_t current = 0;

void CALLBACK tick(UINT, UINT, DWORD_PTR window, DWORD_PTR, DWORD_PTR) {
  PostMessageA(reinterpret_cast<HWND>(window), kNextFrame, 0, 0);
}

void arm(HWND window) {
  timeSetEvent(kDelayMs, 10, tick, reinterpret_cast<DWORD_PTR>(window), TIME_ONESHOT);
}

LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case kNextFrame:
      current = (current + 1) % frameCount;
      InvalidateRect(window, nullptr, FALSE);
      arm(window);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      StretchDIBits(dc, 0, 0, kWidth, kHeight, 0, 0, kWidth, kHeight,
                    frames.data() + current * kWidth * kHeight, reinterpret_cast<BITMAPINFO*>(&dib),
                    DIB_RGB_COLORS, SRCCOPY);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(window, message, w, l);
}

bool readFrames(const char* path) {
  FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  std::vector<unsigned char> all;
  unsigned char block[65536];
  size_t n;
  while ((n = std::fread(block, 1, sizeof block, file)) > 0)
    all.insert(all.end(), block, block + n);
  std::fclose(file);
  if (all.size() < sizeof dib.colours + kWidth * kHeight) return false;
  std::memcpy(dib.colours, all.data(), sizeof dib.colours);
  frames.assign(all.begin() + sizeof dib.colours, all.end());
  frameCount = frames.size() / (kWidth * kHeight);
  return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int show) {
  if (!readFrames(commandLine)) return 1;
  dib.header = {sizeof(BITMAPINFOHEADER), kWidth, kHeight, 1, 8, BI_RGB, 0, 0, 0, 256, 0};
  timeBeginPeriod(10);
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  windowClass.lpszClassName = "floor";
  RegisterClassA(&windowClass);
  DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  RECT rectangle{0, 0, kWidth, kHeight};
  AdjustWindowRect(&rectangle, style, FALSE);
  HWND window = CreateWindowExA(0, "floor", "floor", style, CW_USEDEFAULT, CW_USEDEFAULT,
                                rectangle.right - rectangle.left, rectangle.bottom - rectangle.top,
                                nullptr, nullptr, instance, nullptr);
  ShowWindow(window, show);
  UpdateWindow(window);
  arm(window);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  timeEndPeriod(10);
  return 0;
}
