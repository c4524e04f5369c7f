// What packaging/windows/check.sh asks of Windows itself, run under wine in the check's prefix:
//   probe version FILE      FILE's version resource: fixed file and product version, then the
//                           FileVersion and ProductVersion strings, one per line
//   probe link SHORTCUT     the path the shortcut (.lnk) starts
//   probe run EXE TITLE     starts EXE, waits for a visible top-level window of its process titled
//                           TITLE, closes it with WM_CLOSE, waits for the process to end and
//                           prints its exit code
//   probe text EXE OPTIONS PART
//                           starts EXE with the command-line OPTIONS, waits for a visible
//                           control of its windows whose text holds PART, prints that text (line
//                           ends as \n) and ends the process
// Output is UTF-8 on stdout; a failure is said on stderr with exit code 1, a wrong call 2.
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

void Write(HANDLE out, const std::wstring& text) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size,
                        nullptr, nullptr);
  DWORD written = 0;
  ::WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

void Print(const std::wstring& line) {
  Write(::GetStdHandle(STD_OUTPUT_HANDLE), line + L"\n");
}

int Fail(const std::wstring& why) {
  Write(::GetStdHandle(STD_ERROR_HANDLE), L"probe: " + why + L"\n");
  return 1;
}

std::wstring Numbers(DWORD high, DWORD low) {
  return std::to_wstring(HIWORD(high)) + L"." + std::to_wstring(LOWORD(high)) + L"." +
         std::to_wstring(HIWORD(low)) + L"." + std::to_wstring(LOWORD(low));
}

int Version(const wchar_t* file) {
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(file, &ignored);
  if (size == 0) return Fail(std::wstring(L"no version resource in ") + file);
  std::vector<unsigned char> info(size);
  if (!::GetFileVersionInfoW(file, 0, size, info.data()))
    return Fail(std::wstring(L"cannot read the version resource of ") + file);
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!::VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
      length < sizeof(VS_FIXEDFILEINFO))
    return Fail(std::wstring(L"no fixed version in ") + file);
  Print(Numbers(fixed->dwFileVersionMS, fixed->dwFileVersionLS));
  Print(Numbers(fixed->dwProductVersionMS, fixed->dwProductVersionLS));
  // The strings of the first language the resource lists.
  struct Translation {
    WORD language;
    WORD codePage;
  }* translation = nullptr;
  if (!::VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(&translation), &length) ||
      length < sizeof(Translation))
    return Fail(std::wstring(L"no translation in ") + file);
  wchar_t block[64];
  std::swprintf(block, 64, L"\\StringFileInfo\\%04x%04x\\", translation->language,
                translation->codePage);
  for (const wchar_t* name : {L"FileVersion", L"ProductVersion"}) {
    wchar_t* text = nullptr;
    if (!::VerQueryValueW(info.data(), (std::wstring(block) + name).c_str(),
                          reinterpret_cast<void**>(&text), &length))
      return Fail(std::wstring(L"no ") + name + L" string in " + file);
    Print(text);
  }
  return 0;
}

int Link(const wchar_t* shortcut) {
  if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return Fail(L"no COM");
  IShellLinkW* link = nullptr;
  IPersistFile* file = nullptr;
  int status = 1;
  wchar_t target[MAX_PATH] = L"";
  if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(&link)))) {
    status = Fail(L"no shell link object");
  } else if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) ||
             FAILED(file->Load(shortcut, STGM_READ))) {
    status = Fail(std::wstring(L"cannot load ") + shortcut);
  } else if (link->GetPath(target, MAX_PATH, nullptr, SLGP_RAWPATH) != S_OK) {
    status = Fail(std::wstring(L"no path in ") + shortcut);
  } else {
    Print(target);
    status = 0;
  }
  if (file) file->Release();
  if (link) link->Release();
  ::CoUninitialize();
  return status;
}

struct Search {
  DWORD process;
  const wchar_t* title;
  HWND found;
};

BOOL CALLBACK Visit(HWND window, LPARAM data) {
  auto& search = *reinterpret_cast<Search*>(data);
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  if (process != search.process || !::IsWindowVisible(window) ||
      ::GetWindow(window, GW_OWNER) != nullptr)
    return TRUE;
  wchar_t title[256] = L"";
  ::GetWindowTextW(window, title, 256);
  if (std::wstring(title) != search.title) return TRUE;
  search.found = window;
  return FALSE;
}

// Starts exe with options after its quoted name; false after saying why it could not.
bool Start(const wchar_t* exe, const wchar_t* options, PROCESS_INFORMATION& started) {
  std::wstring commandLine = std::wstring(L"\"") + exe + L"\"" + options;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  if (!::CreateProcessW(exe, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started)) {
    Fail(std::wstring(L"cannot start ") + exe + L" (error " + std::to_wstring(::GetLastError()) +
         L")");
    return false;
  }
  ::CloseHandle(started.hThread);
  return true;
}

int Run(const wchar_t* exe, const wchar_t* title) {
  PROCESS_INFORMATION started{};
  if (!Start(exe, L"", started)) return 1;
  // A slow machine starting wine's services for the first time may take a while.
  Search search{started.dwProcessId, title, nullptr};
  for (int waited = 0; waited < 60000 && !search.found; waited += 100) {
    if (::WaitForSingleObject(started.hProcess, 100) == WAIT_OBJECT_0) break;
    ::EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
  }
  if (!search.found) {
    DWORD code = 0;
    ::GetExitCodeProcess(started.hProcess, &code);
    ::TerminateProcess(started.hProcess, 1);
    ::CloseHandle(started.hProcess);
    return Fail(std::wstring(L"no window titled '") + title + L"' (process " +
                (code == STILL_ACTIVE ? std::wstring(L"still running")
                                      : L"ended with " + std::to_wstring(code)) +
                L")");
  }
  wchar_t windowClass[256] = L"";
  ::GetClassNameW(search.found, windowClass, 256);
  ::PostMessageW(search.found, WM_CLOSE, 0, 0);
  if (::WaitForSingleObject(started.hProcess, 30000) != WAIT_OBJECT_0) {
    ::TerminateProcess(started.hProcess, 1);
    ::CloseHandle(started.hProcess);
    return Fail(std::wstring(L"the program did not end after WM_CLOSE to its window"));
  }
  DWORD code = 0;
  ::GetExitCodeProcess(started.hProcess, &code);
  ::CloseHandle(started.hProcess);
  Print(std::wstring(L"window ") + windowClass + L" '" + title + L"' shown; exit code " +
        std::to_wstring(code));
  return code == 0 ? 0 : Fail(L"the program ended with " + std::to_wstring(code));
}

struct TextSearch {
  DWORD process;
  const wchar_t* part;
  std::wstring found;
};

BOOL CALLBACK VisitControl(HWND control, LPARAM data) {
  auto& search = *reinterpret_cast<TextSearch*>(data);
  if (!::IsWindowVisible(control)) return TRUE;
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(control)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(
      ::GetWindowTextW(control, text.data(), static_cast<int>(text.size()))));
  if (text.find(search.part) == std::wstring::npos) return TRUE;
  search.found = text;
  return FALSE;
}

BOOL CALLBACK VisitForText(HWND window, LPARAM data) {
  auto& search = *reinterpret_cast<TextSearch*>(data);
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  if (process == search.process && ::IsWindowVisible(window))
    ::EnumChildWindows(window, VisitControl, data);
  return search.found.empty();
}

int Text(const wchar_t* exe, const wchar_t* options, const wchar_t* part) {
  PROCESS_INFORMATION started{};
  if (!Start(exe, (std::wstring(L" ") + options).c_str(), started)) return 1;
  TextSearch search{started.dwProcessId, part, {}};
  for (int waited = 0; waited < 60000 && search.found.empty(); waited += 100) {
    if (::WaitForSingleObject(started.hProcess, 100) == WAIT_OBJECT_0) break;
    ::EnumWindows(VisitForText, reinterpret_cast<LPARAM>(&search));
  }
  ::TerminateProcess(started.hProcess, 1);
  ::WaitForSingleObject(started.hProcess, 10000);
  ::CloseHandle(started.hProcess);
  if (search.found.empty()) return Fail(std::wstring(L"no control shows '") + part + L"'");
  std::wstring lines;
  for (wchar_t c : search.found)
    if (c != L'\r') lines += c;
  Print(lines);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring command = argc > 1 ? argv[1] : L"";
  if (command == L"version" && argc == 3) return Version(argv[2]);
  if (command == L"link" && argc == 3) return Link(argv[2]);
  if (command == L"run" && argc == 4) return Run(argv[2], argv[3]);
  if (command == L"text" && argc == 5) return Text(argv[2], argv[3], argv[4]);
  Write(::GetStdHandle(STD_ERROR_HANDLE),
        L"usage: probe version FILE | link SHORTCUT | run EXE TITLE | text EXE OPTIONS PART\n");
  return 2;
}
