#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace kestrel {

class Sys;

// A sectioned key/value (INI) file. Section and key names match ignoring ASCII case; lines it
// does not understand, comments included, are kept as they are. Every write replaces the file
// atomically, so a crash leaves the old file or the new one, never a torn one, and a write never
// replaces what is not a regular file. A missing file reads as empty; one that exists but cannot
// be read, or is not a regular file (or a link to one), makes every call throw KsError.
class ProfileStore {
 public:
  explicit ProfileStore(Sys& sys);

  // Names the file; later calls read and write it.
  void SetFileName(const std::string& file_name);
  // Reads the file unless it has been read. Throws KsError naming the file and the reason.
  void Read();
  // Returns true iff the file was there when read (an empty file is there).
  bool Exists();
  // Returns true iff the file holds a "[name]" header (ASCII case ignored).
  bool HasSection(const std::string& name);
  // Returns true iff the file holds a NUL byte, which no text configuration does.
  bool HasNulByte();
  // The stored text, or default_value when the file, the section or the key is missing.
  std::string GetString(const std::string& section, const std::string& key,
                        const std::string& default_value);
  // The stored number (optional sign and decimal digits that fit 32 bits), else the default.
  std::int32_t GetLong(const std::string& section, const std::string& key,
                       std::int32_t default_value);
  // Stores the value under the key, creating file, section and key as needed; the file is
  // replaced at once unless a batch is open. Throws KsError for a value holding a line break or
  // a file that cannot be written.
  void PutString(const std::string& section, const std::string& key, const std::string& value);

  // Throws the KsError that PutString would throw for a value the file cannot hold.
  static void CheckStorable(const std::string& section, const std::string& key,
                            const std::string& value);

  // Gathers the writes that follow into one replacement of the file at Commit.
  void BeginBatch();
  // Writes what the batch gathered (also after a failure part-way). Throws KsError.
  void Commit();

 private:
  // A section's header and the lines up to the next one; the first block holds the lines
  // before any header. New keys go after the last line that is not a comment (end).
  struct Block {
    std::vector<std::string> lines;
    size_t end = 0;
  };
  std::string ReadText();
  void WriteFile();
  std::string LinkTarget() const;

  Sys& sys_;
  std::string file_name_;
  bool read_ = false;
  bool batch_ = false;
  bool pending_ = false;
  bool exists_ = false;
  bool nul_ = false;
  bool bom_ = false;  // the file starts with a UTF-8 byte order mark
  std::vector<Block> blocks_;
  // Each key's first line, by folded "section\nkey": block and line.
  std::unordered_map<std::string, std::pair<size_t, size_t>> keys_;
  // Each section's last block, by folded name.
  std::unordered_map<std::string, size_t> sections_;
};

}  // namespace kestrel
