#include "tests/ui/driver.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace versalo::testing {

namespace {

constexpr wchar_t kDialogClass[] = L"#32770";
constexpr wchar_t kCaption[] = L"Versalo-0.2";
constexpr wchar_t kWarning[] = L"Warning";

struct WindowQuery {
  DWORD process_id;
  const wchar_t* caption;
  HWND owner;  // nullptr: the window has no owner
  HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM param) {
  auto* query = reinterpret_cast<WindowQuery*>(param);
  DWORD process_id = 0;
  GetWindowThreadProcessId(window, &process_id);
  wchar_t class_name[16] = {};
  GetClassNameW(window, class_name, 16);
  if (process_id != query->process_id || !IsWindowVisible(window) ||
      wcscmp(class_name, kDialogClass) != 0 ||
      GetWindow(window, GW_OWNER) != query->owner ||
      WindowText(window) != query->caption) {
    return TRUE;
  }
  query->found = window;
  return FALSE;
}

HWND WaitForWindow(DWORD process_id, const wchar_t* caption, HWND owner, DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  for (;;) {
    WindowQuery query{process_id, caption, owner, nullptr};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&query));
    if (query.found != nullptr || GetTickCount() - start > timeout_ms) return query.found;
    Sleep(20);
  }
}

BOOL CALLBACK InspectBoxChild(HWND child, LPARAM param) {
  auto* box = reinterpret_cast<MessageBoxSeen*>(param);
  if (!IsWindowVisible(child)) return TRUE;
  wchar_t class_name[16] = {};
  GetClassNameW(child, class_name, 16);
  const LONG style = GetWindowLongW(child, GWL_STYLE);
  if (_wcsicmp(class_name, L"Button") == 0) {
    ++box->visible_buttons;
    if (GetDlgCtrlID(child) == IDOK) box->ok_button = true;
  } else if (_wcsicmp(class_name, L"Static") == 0 && (style & SS_TYPEMASK) == SS_ICON &&
             SendMessageW(child, STM_GETICON, 0, 0) != 0) {
    // The box's template has an icon control; it shows an icon only when
    // the box was asked for one.
    box->icon = true;
  }
  return TRUE;
}

// A part of the screen as 24-bit rows, the bottom row first; no pixels when
// it cannot be read.
struct ScreenImage {
  BITMAPINFOHEADER header{};
  int stride = 0;
  std::string pixels;
};

ScreenImage CaptureScreen(const RECT& rect) {
  ScreenImage image;
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return image;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  SelectObject(memory, old);

  BITMAPINFOHEADER& header = image.header;
  header.biSize = sizeof header;
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = 24;
  header.biCompression = BI_RGB;
  image.stride = ((width * 3) + 3) & ~3;
  image.pixels.assign(static_cast<std::size_t>(image.stride) * height, '\0');
  const int rows = GetDIBits(memory, bitmap, 0, height, image.pixels.data(),
                             reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (rows != height) image.pixels.clear();
  return image;
}

// How many of the image's pixels are dark, as text on a light ground is.
int DarkPixels(const ScreenImage& image) {
  int dark = 0;
  if (image.pixels.empty()) return dark;
  for (int y = 0; y < image.header.biHeight; ++y) {
    const auto* row = reinterpret_cast<const unsigned char*>(image.pixels.data()) +
                      static_cast<std::size_t>(y) * image.stride;
    for (int x = 0; x < image.header.biWidth; ++x) {
      const unsigned char* pixel = row + 3 * x;
      if (pixel[0] + pixel[1] + pixel[2] < 3 * 96) ++dark;
    }
  }
  return dark;
}

}  // namespace

std::wstring WindowsPath(const char* path) {
  std::string text = path;
  if (!text.empty() && text[0] == '/') text = "Z:" + text;
  for (char& c : text) {
    if (c == '/') c = '\\';
  }
  std::wstring wide(text.size(), L'\0');
  wide.resize(MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                  wide.data(), static_cast<int>(wide.size())));
  return wide;
}

std::vector<std::wstring> PathArguments(int argc, char** argv, int required, const char* usage) {
  // The program must show and find the same at every ANSI code page; the
  // run says which one it wanted, and it must be the one the test got.
  const char* wanted = std::getenv("VERSALO_EXPECT_ACP");
  const UINT expected = wanted != nullptr ? static_cast<UINT>(std::atoi(wanted)) : 1251;
  if (GetACP() != expected) {
    std::fprintf(stderr, "The ANSI code page is %u, not %u: see VERSALO_WINE_LOCALE\n", GetACP(),
                 expected);
    return {};
  }
  std::printf("ANSI code page %u\n", GetACP());
  if (argc - 1 < required) {
    std::fprintf(stderr, "usage: %s\n", usage);
    return {};
  }
  std::vector<std::wstring> paths;
  for (int i = 1; i < argc; ++i) paths.push_back(WindowsPath(argv[i]));
  return paths;
}

std::wstring MakeTempFolder(const std::wstring& prefix) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  for (unsigned attempt = GetTickCount();; ++attempt) {
    const std::wstring folder = std::wstring(temp) + prefix + L"-" +
                                std::to_wstring(GetCurrentProcessId()) + L"-" +
                                std::to_wstring(attempt);
    if (CreateDirectoryW(folder.c_str(), nullptr)) return folder;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return L"";
  }
}

void RemoveTempFolder(const std::wstring& folder) {
  if (folder.empty()) return;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = folder + L"\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTempFolder(path);
      } else {
        DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(folder.c_str());
}

std::string Cp1251(const std::wstring& text) {
  std::string bytes(text.size(), '\0');
  bytes.resize(WideCharToMultiByte(1251, 0, text.data(), static_cast<int>(text.size()),
                                   bytes.data(), static_cast<int>(bytes.size()), nullptr,
                                   nullptr));
  return bytes;
}

std::wstring WindowText(HWND window) {
  const LRESULT length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const LRESULT copied =
      SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(copied));
  return text;
}

Program::Program(const std::wstring& exe, const std::wstring& folder) {
  std::wstring command_line = L"\"" + exe + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  if (!CreateProcessW(exe.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.c_str(), &startup, &info_)) {
    std::fprintf(stderr, "cannot start the program: error %lu\n", GetLastError());
    return;
  }
  dialog_ = WaitForWindow(info_.dwProcessId, kCaption, nullptr, 20000);
}

Program::~Program() {
  if (info_.hProcess == nullptr) return;
  if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
    TerminateProcess(info_.hProcess, 99);
    WaitForSingleObject(info_.hProcess, 5000);
  }
  CloseHandle(info_.hThread);
  CloseHandle(info_.hProcess);
}

std::wstring Program::EditText() const { return WindowText(edit()); }

void Program::SetEditText(const std::wstring& text) const {
  SendMessageW(edit(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

int Program::EntryCount() const {
  return static_cast<int>(SendMessageW(list(), LB_GETCOUNT, 0, 0));
}

std::wstring Program::Entry(int index) const {
  const LRESULT length = SendMessageW(list(), LB_GETTEXTLEN, index, 0);
  if (length == LB_ERR) return L"";
  std::wstring entry(static_cast<std::size_t>(length) + 1, L'\0');
  const LRESULT copied =
      SendMessageW(list(), LB_GETTEXT, index, reinterpret_cast<LPARAM>(entry.data()));
  entry.resize(copied == LB_ERR ? 0 : static_cast<std::size_t>(copied));
  return entry;
}

std::vector<std::wstring> Program::Entries() const {
  std::vector<std::wstring> entries;
  const int count = EntryCount();
  for (int i = 0; i < count; ++i) entries.push_back(Entry(i));
  return entries;
}

bool Program::Press(DWORD timeout_ms, WORD notification) const {
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(dialog_, WM_COMMAND, MAKEWPARAM(1003, notification),
                             reinterpret_cast<LPARAM>(button()), SMTO_NORMAL, timeout_ms,
                             &result) != 0;
}

void Program::PressAsync() const {
  PostMessageW(dialog_, WM_COMMAND, MAKEWPARAM(1003, BN_CLICKED),
               reinterpret_cast<LPARAM>(button()));
}

bool Program::Search(const std::wstring& ending) const {
  SetEditText(ending);
  return Press();
}

MessageBoxSeen Program::WaitForMessageBox(DWORD timeout_ms) const {
  MessageBoxSeen box;
  box.window = WaitForWindow(info_.dwProcessId, kWarning, dialog_, timeout_ms);
  if (box.window == nullptr) return box;
  box.caption = WindowText(box.window);
  box.text = WindowText(GetDlgItem(box.window, 0xFFFF));
  EnumChildWindows(box.window, InspectBoxChild, reinterpret_cast<LPARAM>(&box));
  return box;
}

void Program::Dismiss(const MessageBoxSeen& box) {
  PostMessageW(box.window, WM_COMMAND, IDOK, 0);
}

bool Program::WaitForDialogToGo(DWORD timeout_ms) const {
  const DWORD start = GetTickCount();
  while (IsWindow(dialog_) && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
    if (GetTickCount() - start > timeout_ms) return false;
    Sleep(10);
  }
  return true;
}

DWORD Program::WaitForExit(DWORD timeout_ms) const {
  WaitForSingleObject(info_.hProcess, timeout_ms);
  DWORD status = STILL_ACTIVE;
  GetExitCodeProcess(info_.hProcess, &status);
  return status;
}

int Program::DarkPixelsInList() const {
  RECT client;
  if (!GetClientRect(list(), &client)) return -1;
  MapWindowPoints(list(), nullptr, reinterpret_cast<POINT*>(&client), 2);
  const ScreenImage image = CaptureScreen(client);
  return image.pixels.empty() ? -1 : DarkPixels(image);
}

bool Program::WaitForListDrawn(DWORD timeout_ms) const {
  const DWORD start = GetTickCount();
  std::string before;
  for (;;) {
    RECT rect;
    if (!GetWindowRect(dialog_, &rect)) return false;
    std::string now = CaptureScreen(rect).pixels;
    if (!now.empty() && now == before && DarkPixelsInList() > 0) return true;
    if (GetTickCount() - start > timeout_ms) return false;
    before = std::move(now);
    Sleep(100);
  }
}

bool Program::Screenshot(const std::wstring& bmp_path) const {
  RECT rect;
  if (!GetWindowRect(dialog_, &rect)) return false;
  const ScreenImage image = CaptureScreen(rect);
  if (image.pixels.empty()) return false;

  BITMAPFILEHEADER file_header{};
  file_header.bfType = 0x4D42;  // "BM"
  file_header.bfOffBits = sizeof file_header + sizeof image.header;
  file_header.bfSize = file_header.bfOffBits + static_cast<DWORD>(image.pixels.size());
  FILE* out = _wfopen(bmp_path.c_str(), L"wb");
  if (out == nullptr) return false;
  std::fwrite(&file_header, sizeof file_header, 1, out);
  std::fwrite(&image.header, sizeof image.header, 1, out);
  std::fwrite(image.pixels.data(), 1, image.pixels.size(), out);
  return std::fclose(out) == 0;
}

}  // namespace versalo::testing
