#include "config/profile_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>

#include "fs/replace_file.h"
#include "fs/sys.h"
#include "platform/error.h"
#include "platform/escape_text.h"

namespace kestrel {
namespace {

constexpr const char* kSource = "ProfileStore";
constexpr std::string_view kBom = "\xEF\xBB\xBF";

std::string Folded(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return out;
}

std::string KeyId(std::string_view section, std::string_view key) {
  return Folded(section) + '\n' + Folded(key);
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

KsError Unreadable(std::int32_t number, const std::string& path, const std::string& reason) {
  return KsError(
      number,
      "The configuration file cannot be read: " + EscapeControlBytes(path) + " (" + reason + ")",
      kSource);
}

}  // namespace

ProfileStore::ProfileStore(Sys& sys) : sys_(sys) {}

void ProfileStore::SetFileName(const std::string& file_name) {
  file_name_ = file_name;
  read_ = false;
}

// The file is looked at before it is opened, so that a FIFO or a device is never opened.
std::string ProfileStore::ReadText() {
  const char* path = file_name_.c_str();
  struct stat st {};
  if (sys_.FStatAt(AT_FDCWD, path, &st, 0) != 0) {
    const int err = errno;
    struct stat link {};
    if (err == ENOENT && sys_.FStatAt(AT_FDCWD, path, &link, AT_SYMLINK_NOFOLLOW) != 0) {
      exists_ = false;
      return {};
    }
    if (err == ENOENT) throw Unreadable(kAppError, file_name_, "it is a link to nothing");
    throw Unreadable(err, file_name_, std::strerror(err));
  }
  if (!S_ISREG(st.st_mode)) throw Unreadable(kAppError, file_name_, KindText(st.st_mode));
  const int fd = sys_.OpenAt(AT_FDCWD, path, O_RDONLY | O_NOCTTY | O_NONBLOCK, 0);
  if (fd < 0) throw Unreadable(errno, file_name_, std::strerror(errno));
  std::string text;
  int err = 0;
  if (sys_.FStat(fd, &st) != 0) {
    err = errno;
  } else if (!S_ISREG(st.st_mode)) {
    sys_.Close(fd);
    throw Unreadable(kAppError, file_name_, KindText(st.st_mode));
  }
  char buf[65536];
  while (err == 0) {
    const ssize_t n = sys_.Read(fd, buf, sizeof buf);
    if (n < 0) err = errno;
    if (n <= 0) break;
    text.append(buf, static_cast<size_t>(n));
  }
  sys_.Close(fd);
  if (err != 0) throw Unreadable(err, file_name_, std::strerror(err));
  exists_ = true;
  return text;
}

void ProfileStore::Read() {
  if (read_) return;
  exists_ = false;
  std::string text = file_name_.empty() ? std::string() : ReadText();
  nul_ = text.find('\0') != std::string::npos;
  blocks_.assign(1, Block{});
  bom_ = false;
  keys_.clear();
  sections_.clear();
  read_ = true;
  bom_ = text.rfind(kBom, 0) == 0;
  if (bom_) text.erase(0, kBom.size());
  // LF, CR LF and a lone CR each end a line, so that no value read can hold a line break that
  // writing it back would refuse or lose.
  std::string section;
  for (size_t start = 0; start < text.size();) {
    size_t stop = text.find_first_of("\r\n", start);
    if (stop == std::string::npos) stop = text.size();
    std::string line = text.substr(start, stop - start);
    start = stop + (text.compare(stop, 2, "\r\n") == 0 ? 2 : 1);
    if (auto name = SectionName(line)) {
      section = Folded(*name);
      sections_[section] = blocks_.size();
      blocks_.push_back(Block{{std::move(line)}, 1});
      continue;
    }
    Block& block = blocks_.back();
    block.lines.push_back(std::move(line));
    if (blocks_.size() == 1 || IsComment(block.lines.back())) continue;
    block.end = block.lines.size();
    if (auto kv = KeyValue(block.lines.back())) {
      keys_.try_emplace(section + '\n' + Folded(kv->first), blocks_.size() - 1,
                        block.lines.size() - 1);
    }
  }
}

bool ProfileStore::Exists() {
  Read();
  return exists_;
}

bool ProfileStore::HasSection(const std::string& name) {
  Read();
  return sections_.contains(Folded(name));
}

bool ProfileStore::HasNulByte() {
  Read();
  return nul_;
}

std::string ProfileStore::GetString(const std::string& section, const std::string& key,
                                    const std::string& default_value) {
  Read();
  const auto at = keys_.find(KeyId(section, key));
  if (at == keys_.end()) return default_value;
  return Unquote(KeyValue(blocks_[at->second.first].lines[at->second.second])->second);
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
  Read();
  std::string line = key + "=" + Quote(value);
  const std::string id = KeyId(section, key);
  if (const auto at = keys_.find(id); at != keys_.end()) {
    blocks_[at->second.first].lines[at->second.second] = std::move(line);
  } else if (const auto s = sections_.find(Folded(section)); s != sections_.end()) {
    // Only comments follow end, so no indexed line moves.
    Block& block = blocks_[s->second];
    block.lines.insert(block.lines.begin() + static_cast<std::ptrdiff_t>(block.end),
                       std::move(line));
    keys_.try_emplace(id, s->second, block.end++);
  } else {
    sections_[Folded(section)] = blocks_.size();
    keys_.try_emplace(id, blocks_.size(), 1);
    blocks_.push_back(Block{{"[" + section + "]", std::move(line)}, 2});
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
  for (const Block& block : blocks_) {
    for (const auto& l : block.lines) text += l + "\n";
  }
  ReplaceFile(sys_, LinkTarget(), text, kSource, "configuration file");
  pending_ = false;
}

}  // namespace kestrel
