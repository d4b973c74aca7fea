#include "platform/profile_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <random>

#include "fs/sys.h"
#include "platform/error.h"

namespace kestrel {
namespace {

constexpr const char* kSource = "ProfileStore";
constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

std::string_view Trim(std::string_view s) {
  const auto b = s.find_first_not_of(" \t");
  if (b == std::string_view::npos) return {};
  const auto e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

// "[Name]" gives Name; anything else gives nullopt.
std::optional<std::string_view> SectionName(std::string_view line) {
  line = Trim(line);
  if (line.size() < 2 || line.front() != '[') return std::nullopt;
  const auto close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(line.substr(1, close - 1));
}

bool IsComment(std::string_view line) {
  line = Trim(line);
  return line.empty() || line.front() == ';' || line.front() == '#';
}

// Key and raw value of a "Key=Value" line.
std::optional<std::pair<std::string_view, std::string_view>> KeyValue(std::string_view line) {
  if (IsComment(line) || SectionName(line)) return std::nullopt;
  const auto eq = line.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  return std::make_pair(Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)));
}

// Blanks around a value would be trimmed on reading, so such values are stored in quotes;
// a value that itself starts and ends with a quote is quoted too, so reading strips one pair.
std::string Quote(const std::string& value) {
  const bool blanks = !value.empty() && (value.front() == ' ' || value.front() == '\t' ||
                                         value.back() == ' ' || value.back() == '\t');
  const bool quoted = value.size() >= 2 && value.front() == '"' && value.back() == '"';
  return blanks || quoted ? "\"" + value + "\"" : value;
}

std::string Unquote(std::string_view value) {
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value);
}

std::string Folder(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

ProfileStore::ProfileStore(Sys& sys) : sys_(sys) {}

void ProfileStore::SetFileName(const std::string& file_name) {
  file_name_ = file_name;
  read_ = false;
  lines_.clear();
}

void ProfileStore::EnsureRead() {
  if (read_) return;
  read_ = true;
  lines_.clear();
  bom_ = false;
  if (file_name_.empty()) return;
  const int fd = sys_.OpenAt(AT_FDCWD, file_name_.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK, 0);
  if (fd < 0) return;  // a missing or unreadable file reads as empty
  struct stat st {};
  std::string text;
  if (sys_.FStat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    char buf[65536];
    for (;;) {
      const ssize_t n = sys_.Read(fd, buf, sizeof buf);
      if (n <= 0) break;
      text.append(buf, static_cast<size_t>(n));
    }
  }
  sys_.Close(fd);
  bom_ = text.rfind(kBom, 0) == 0;
  if (bom_) text.erase(0, kBom.size());
  // LF, CR LF and a lone CR each end a line, so that no value read can hold a line break that
  // writing it back would refuse or lose.
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    lines_.push_back(text.substr(start, end - start));
    start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
}

std::optional<size_t> ProfileStore::FindKey(const std::string& section, const std::string& key,
                                            size_t* section_end) const {
  bool in_section = false;
  bool seen = false;
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (auto name = SectionName(lines_[i])) {
      in_section = EqualsIgnoreCase(*name, section);
      if (in_section && section_end != nullptr) *section_end = i + 1;
      seen = seen || in_section;
      continue;
    }
    if (!in_section) continue;
    if (section_end != nullptr && !IsComment(lines_[i])) *section_end = i + 1;
    if (auto kv = KeyValue(lines_[i]); kv && EqualsIgnoreCase(kv->first, key)) return i;
  }
  if (section_end != nullptr && !seen) *section_end = 0;
  return std::nullopt;
}

std::string ProfileStore::GetString(const std::string& section, const std::string& key,
                                    const std::string& default_value) {
  EnsureRead();
  const auto line = FindKey(section, key, nullptr);
  if (!line) return default_value;
  return Unquote(KeyValue(lines_[*line])->second);
}

std::int32_t ProfileStore::GetLong(const std::string& section, const std::string& key,
                                   std::int32_t default_value) {
  const std::string text = GetString(section, key, "");
  std::string_view digits = Trim(text);
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  std::int32_t value = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size()) {
    return default_value;
  }
  return value;
}

void ProfileStore::CheckStorable(const std::string& section, const std::string& key,
                                 const std::string& value) {
  if (value.find_first_of("\r\n") != std::string::npos ||
      key.find_first_of("\r\n=") != std::string::npos) {
    throw KsError(
        kAppError,
        "A line break cannot be stored in the configuration file: [" + section + "] " + key,
        kSource);
  }
}

void ProfileStore::PutString(const std::string& section, const std::string& key,
                             const std::string& value) {
  CheckStorable(section, key, value);
  EnsureRead();
  const std::string line = key + "=" + Quote(value);
  size_t section_end = 0;
  if (auto at = FindKey(section, key, &section_end)) {
    lines_[*at] = line;
  } else if (section_end == 0) {
    lines_.push_back("[" + section + "]");
    lines_.push_back(line);
  } else {
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(section_end), line);
  }
  pending_ = true;
  if (!batch_) WriteFile();
}

void ProfileStore::BeginBatch() {
  batch_ = true;
}

void ProfileStore::Commit() {
  batch_ = false;
  if (pending_) WriteFile();
}

// A configuration kept behind a link (a dotfile folder, say) is written where the link points,
// so that replacing the file keeps the link.
std::string ProfileStore::LinkTarget() const {
  std::string path = file_name_;
  for (int hops = 0; hops < 40; ++hops) {
    char buf[4096];
    const ssize_t n = sys_.ReadLinkAt(AT_FDCWD, path.c_str(), buf, sizeof buf);
    if (n < 0 || static_cast<size_t>(n) >= sizeof buf) return path;
    std::string target(buf, static_cast<size_t>(n));
    path = target.front() == '/' ? target : Folder(path) + "/" + target;
  }
  return path;
}

void ProfileStore::WriteFile() {
  if (file_name_.empty()) throw KsError(kAppError, "No configuration file name", kSource);
  // A mark read is written back: dropping it could make a second one the mark next time.
  std::string text = bom_ ? std::string(kBom) : std::string();
  for (const auto& l : lines_) text += l + "\n";

  const std::string target = LinkTarget();
  const std::string folder = Folder(target);
  std::mt19937 rng(std::random_device{}());
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = folder + "/.kestrel-" + std::to_string(rng() % 1000000000u) + ".tmp";
    fd = sys_.OpenAt(AT_FDCWD, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) throw SystemError(errno, "open", temp, kSource);

  auto fail = [&](const char* call) {
    const int err = errno;
    sys_.Close(fd);
    sys_.UnlinkAt(AT_FDCWD, temp.c_str(), 0);
    throw SystemError(err, call, target, kSource);
  };
  struct stat old {};
  if (sys_.FStatAt(AT_FDCWD, target.c_str(), &old, 0) == 0) {
    sys_.FChmod(fd, old.st_mode & 07777);
  }
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = sys_.Write(fd, text.data() + done, text.size() - done);
    if (n < 0) fail("write");
    if (n == 0) {
      errno = EIO;
      fail("write");
    }
    done += static_cast<size_t>(n);
  }
  if (sys_.Fsync(fd) != 0) fail("fsync");
  if (sys_.Close(fd) != 0) {
    const int err = errno;
    sys_.UnlinkAt(AT_FDCWD, temp.c_str(), 0);
    throw SystemError(err, "close", target, kSource);
  }
  if (sys_.RenameAt2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(), 0) != 0) {
    const int err = errno;
    sys_.UnlinkAt(AT_FDCWD, temp.c_str(), 0);
    throw SystemError(err, "rename", target, kSource);
  }
  const int dir = sys_.OpenAt(AT_FDCWD, folder.c_str(), O_RDONLY | O_DIRECTORY, 0);
  if (dir >= 0) {
    sys_.Fsync(dir);
    sys_.Close(dir);
  }
  pending_ = false;
}

}  // namespace kestrel
