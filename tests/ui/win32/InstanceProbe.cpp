// Stands in for a second instance of the program: reads its command line as the program does
// and writes the first argument (UTF-8, nothing for none) to the file named by
// QUILLET_PROBE_OUTPUT. The file appears whole: it is written under another name first.
#include <windows.h>

#include <string>

#include "lists/CommandLine.h"
#include "scan/Utf16.h"

int wmain() {
  wchar_t output[32768] = {};
  if (::GetEnvironmentVariableW(L"QUILLET_PROBE_OUTPUT", output, 32768) == 0) return 2;
  const std::string argument =
      quillet::FirstArgument(quillet::ToUtf8(std::wstring_view(::GetCommandLineW()))).value_or("");
  const std::wstring partial = std::wstring(output) + L".part";
  const HANDLE file = ::CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  const BOOL wrote =
      ::WriteFile(file, argument.data(), static_cast<DWORD>(argument.size()), &written, nullptr);
  ::CloseHandle(file);
  if (!wrote || !::MoveFileExW(partial.c_str(), output, MOVEFILE_REPLACE_EXISTING)) return 1;
  return 0;
}
