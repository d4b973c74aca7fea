#include "fs/names.h"

#include "fs/win32_wrapper.h"

namespace kestrel {

size_t ExtensionStart(std::string_view name) {
  const size_t dot = name.rfind('.');
  return dot == 0 ? std::string_view::npos : dot;
}

std::string NumberedName(std::string_view name, int n) {
  if (n == 1) return std::string(name);
  const size_t ext = ExtensionStart(name);
  const std::string_view stem = name.substr(0, ext);
  const std::string_view tail = ext == std::string_view::npos ? "" : name.substr(ext);
  std::string out;
  out.reserve(name.size() + 8);
  out.append(stem).append(" (").append(std::to_string(n)).append(")").append(tail);
  return out;
}

std::string Win32Wrapper::Filename(const std::string& path) {
  const size_t slash = path.rfind('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return StripNulls(name);
}

std::string Win32Wrapper::BaseFileName(const std::string& path) {
  std::string name = Filename(path);
  const size_t ext = ExtensionStart(name);
  if (ext != std::string::npos) name.resize(ext);
  return name;
}

std::string Win32Wrapper::FileExtension(const std::string& path) {
  const std::string name = Filename(path);
  return name.substr(BaseFileName(path).size());
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string path;
  path.reserve(folder.size() + 1 + name.size());  // one allocation, not two: a walk makes many
  path += folder;
  if (path.empty() || path.back() != '/') path += '/';
  path += name;
  return path;
}

}  // namespace kestrel
