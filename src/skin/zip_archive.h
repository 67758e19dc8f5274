// Read-only zip archive over a block of memory (the skin package).
//
// The archive does not own the block: the caller keeps it alive and unchanged for the
// archive's life (the package is a resource of the executable, mapped for the process's
// life). Stored entries are handed out in place; deflated ones are inflated with zlib into
// the caller's buffer, which the caller frees when done (nothing inflated is kept). An entry
// whose size, offsets or CRC-32 do not check out is reported as missing.
//
// Thread safety: once opened the archive is only read, so Read may be called from several
// threads at once (the main window and a message box on the update worker both read it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace Skin {

struct ByteView {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
};

class CZipArchive {
 public:
  // Reads the central directory. Returns false (and holds no entries) when the block is no
  // zip archive this reader understands.
  bool Open(const void* data, std::size_t size);
  bool IsOpen() const { return m_open; }

  // The entry's bytes in `view`: in place for a stored entry (valid as long as the archive),
  // in `buffer` for a deflated one (valid as long as the buffer). False when the entry is
  // missing, uses a method other than stored (0) and deflate (8), or is damaged. Names are
  // compared exactly first, then without regard to ASCII case.
  bool Read(const std::string& utf8Name, std::vector<std::uint8_t>* buffer, ByteView* view) const;

  std::size_t EntryCount() const { return m_entries.size(); }

 private:
  struct Entry {
    std::uint16_t method = 0;
    std::uint32_t crc = 0;
    std::uint32_t compressed = 0;
    std::uint32_t uncompressed = 0;
    std::uint32_t localOffset = 0;
  };
  bool Extract(const Entry& e, std::vector<std::uint8_t>* buffer, ByteView* view) const;

  const std::uint8_t* m_data = nullptr;
  std::size_t m_size = 0;
  bool m_open = false;
  std::map<std::string, Entry> m_entries;
};

}  // namespace Skin
