// Windows: the shell's own services through the W functions; paths converted at this boundary.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "scan/Utf16.h"
#include "ui/shell/Shell.h"
#include "ui/shell/Win32Shell.h"

namespace quillet::shell {
namespace {

// This program's own file, asked for with a buffer grown until the whole path fits.
std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

// A row of a drive root is located at "E:", which Windows reads as the current folder of drive
// E; the shell and a new instance get the root itself.
std::wstring ShellPath(const std::string& path) {
  std::wstring wide = ToUtf16<wchar_t>(path);
  if (wide.size() == 2 && wide[1] == L':' && ((wide[0] | 0x20) >= L'a' && (wide[0] | 0x20) <= L'z'))
    wide += L'\\';
  return wide;
}

class Win32Services : public Services {
 public:
  explicit Win32Services(HWND owner) : m_owner(owner) {}

  Handover OpenPath(const std::string& path) override {
    const std::wstring wide = ShellPath(path);
    const auto result = reinterpret_cast<INT_PTR>(
        ::ShellExecuteW(m_owner, nullptr, wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32 ? Handover::Done : Handover::Failed;
  }

  Handover StartFileManager() override { return OpenPath("explorer.exe"); }

  bool StartInstance(const std::vector<std::string>& options, const std::string& folder) override {
    const std::wstring program = ModulePath();
    return !program.empty() && StartProgramOn(program, folder, options);
  }

  std::vector<std::string> DeleteReversibly(const std::vector<std::string>& paths) override {
    // The shell confirms, shows progress and reports its own failures.
    const std::wstring list = ToUtf16<wchar_t>(MakeShellPathList(paths));
    SHFILEOPSTRUCTW operation = {};
    operation.hwnd = m_owner;
    operation.wFunc = FO_DELETE;
    operation.pFrom = list.c_str();
    operation.fFlags = FOF_ALLOWUNDO;
    ::SHFileOperationW(&operation);
    return {};
  }

 private:
  HWND m_owner;
};

}  // namespace

std::wstring InstanceCommandLine(const std::wstring& program, const std::string& folder,
                                 const std::vector<std::string>& options) {
  // Every argument in quotes: a blank in one cannot shift the others, and the splitter the
  // program reads its command line with has no escape character, so "E:\" stays whole. Nor
  // can it carry a double quote: a pattern holding one is left out, and loses nothing, since no
  // Windows name holds one.
  std::wstring line = L"\"" + program + L"\"";
  for (const std::string& option : options) {
    if (option.find('"') == std::string::npos) line += L" \"" + ToUtf16<wchar_t>(option) + L"\"";
  }
  return line + L" \"" + ShellPath(folder) + L"\"";
}

bool StartProgramOn(const std::wstring& program, const std::string& folder,
                    const std::vector<std::string>& options) {
  std::wstring command = InstanceCommandLine(program, folder, options);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_SHOW;
  PROCESS_INFORMATION process = {};
  if (!::CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process)) {
    return false;
  }
  // The new instance runs on its own; nothing here waits for it.
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return true;
}

std::unique_ptr<Services> MakeSystemServices(void* owner) {
  return std::make_unique<Win32Services>(static_cast<HWND>(owner));
}

}  // namespace quillet::shell
