// Path texts: the last name, the trailing-separator rules, ReplaceAll and the root test, each
// checked by a property that holds for any bytes, with '/' and '\' as the separator.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "lists/Lists.h"
#include "scan/Text.h"

namespace {

using quillet::IsRootLocation;

void Check(bool condition, const char* what, std::string_view text) {
  if (condition) return;
  std::fprintf(stderr, "fails: %s, on \"", what);
  for (const char c : text)
    std::fprintf(stderr, c >= 0x20 && c < 0x7F ? "%c" : "\\x%02x", static_cast<unsigned char>(c));
  std::fprintf(stderr, "\"\n");
  std::abort();
}

void CheckNames(const std::string& path, char separator) {
  // One trailing separator goes; the name is what follows the last separator left, or all of it.
  std::string_view rest = path;
  if (rest.ends_with(separator)) rest.remove_suffix(1);
  const std::string name = quillet::ExtractLastName(path, separator);
  Check(rest.ends_with(name) && name.find(separator) == std::string::npos, "a name is a suffix",
        path);
  Check(name.size() == rest.size() || rest[rest.size() - name.size() - 1] == separator,
        "a name starts after a separator", path);

  const std::string with = quillet::WithTrailingSeparator(path, separator);
  const std::string without = quillet::WithoutTrailingSeparator(path, separator);
  Check(with == (path.ends_with(separator) ? path : path + separator), "one separator added", path);
  Check(quillet::WithTrailingSeparator(with, separator) == with, "adding twice adds once", path);
  const bool posixRoot = separator == '/' && path == "/";
  Check(without == (path.ends_with(separator) && !posixRoot ? rest : path), "one separator removed",
        path);
  if (!path.ends_with(separator)) {
    // Adding then removing is no change, but for the empty POSIX path, which becomes the root.
    const bool becomesRoot = separator == '/' && path.empty();
    Check(quillet::WithoutTrailingSeparator(with, separator) == (becomesRoot ? "/" : path),
          "adding then removing a separator", path);
    Check(quillet::ExtractLastName(with, separator) == name, "a trailing separator changes no name",
          path);
  }
}

// Left to right, an occurrence taken whole and the search going on after it.
std::string ReferenceReplace(std::string_view source, std::string_view find,
                             std::string_view replacement) {
  std::string result;
  std::size_t at = 0;
  while (at < source.size()) {
    if (!find.empty() && source.substr(at, find.size()) == find) {
      result += replacement;
      at += find.size();
    } else {
      result += source[at++];
    }
  }
  return result;
}

void CheckReplace(const std::string& source, const std::string& find,
                  const std::string& replacement) {
  const std::string replaced = quillet::ReplaceAll(source, find, replacement);
  Check(replaced == ReferenceReplace(source, find, replacement), "replacement", source);
  Check(quillet::ReplaceAll(source, find, find) == source, "replacing by itself", source);
  // A one-byte find that the replacement does not hold cannot survive (the comma of the counts).
  if (find.size() == 1 && replacement.find(find) == std::string::npos)
    Check(replaced.find(find) == std::string::npos, "no occurrence is left", source);
  // Replacing by a byte the source lacks and back again restores the source.
  for (int byte = 0; byte < 256; ++byte) {
    const std::string marker(1, static_cast<char>(byte));
    if (source.find(marker) != std::string::npos) continue;
    const std::string marked = quillet::ReplaceAll(source, find, marker);
    Check(quillet::ReplaceAll(marked, marker, find) == source, "replacing back", source);
    break;
  }
}

void CheckRoot(const std::string& path, const std::string& name, char separator) {
  const std::string sep(1, separator);
  const bool root = IsRootLocation(path, separator);
  // A separator at the end names the same folder.
  if (!path.empty() && !path.ends_with(separator))
    Check(IsRootLocation(path + sep, separator) == root, "a trailing separator", path);
  if (name.empty() || name == "." || name == ".." || name.find(separator) != std::string::npos ||
      (separator == '\\' && name.find('/') != std::string::npos))
    return;
  // A folder below something that is not a root is not one either; a name and ".." lead back.
  if (!root)
    Check(!IsRootLocation(path + sep + name, separator), "a folder below", path + sep + name);
  Check(IsRootLocation(path + sep + name + sep + "..", separator) == root, "there and back", path);
  if (separator == '\\') {
    // The long-path and the device prefix name the same places, so do the two forms of a share.
    Check(IsRootLocation("\\\\?\\" + path, '\\') == IsRootLocation("\\\\.\\" + path, '\\'),
          "the long-path and the device prefix agree", path);
    // ("\\" before ".\" or "?\" makes a prefix rather than a share.)
    const bool prefix = path.starts_with(".\\") || path.starts_with("?\\");
    if (!prefix) {
      Check(IsRootLocation("\\\\?\\UNC\\" + path, '\\') == IsRootLocation("\\\\" + path, '\\'),
            "the two forms of a share agree", path);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const char separator = input.ConsumeBool() ? '\\' : '/';
  const std::string find = input.ConsumeRandomLengthString(8);
  const std::string replacement = input.ConsumeRandomLengthString(8);
  const std::string name = input.ConsumeRandomLengthString(8);
  const std::string path = input.ConsumeRemainingBytesAsString();
  CheckNames(path, separator);
  CheckReplace(path, find, replacement);
  CheckRoot(path, name, separator);
  return 0;
}
