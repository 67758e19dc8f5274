#include "skin/zip_archive.h"

#include <zlib.h>

#include <algorithm>
#include <utility>

#include "util/ascii.h"

namespace Skin {
namespace {

std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t Le32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

constexpr std::uint32_t kEndOfDirectory = 0x06054b50;
constexpr std::uint32_t kDirectoryEntry = 0x02014b50;
constexpr std::uint32_t kLocalHeader = 0x04034b50;
// An entry larger than this is refused rather than inflated (the largest picture is 0.5 MB).
constexpr std::uint32_t kMaxEntrySize = 64u << 20;
// Deflate makes at most 1032 bytes of one byte (a 258-byte match in two one-bit codes): an
// entry that claims more is refused before its buffer is allocated.
constexpr std::uint32_t kMaxDeflateRatio = 1032;

}  // namespace

bool CZipArchive::Open(const void* data, std::size_t size) {
  m_open = false;
  m_entries.clear();
  m_data = static_cast<const std::uint8_t*>(data);
  m_size = size;
  if (!m_data || m_size < 22) return false;

  // The end-of-directory record sits in the last 22 bytes plus at most a 64 KB comment.
  std::size_t eocd = m_size;
  std::size_t lowest = m_size > 22 + 65535 ? m_size - 22 - 65535 : 0;
  for (std::size_t pos = m_size - 22 + 1; pos-- > lowest;) {
    if (Le32(m_data + pos) == kEndOfDirectory) {
      eocd = pos;
      break;
    }
  }
  if (eocd == m_size) return false;
  std::uint16_t count = Le16(m_data + eocd + 10);
  std::uint32_t dirSize = Le32(m_data + eocd + 12);
  std::uint32_t dirOffset = Le32(m_data + eocd + 16);
  if (dirOffset > eocd || dirSize > eocd - dirOffset) return false;

  // The entries are kept only once the whole directory has checked out.
  std::map<std::string, Entry> entries;
  std::size_t pos = dirOffset;
  const std::size_t end = static_cast<std::size_t>(dirOffset) + dirSize;
  for (std::uint16_t i = 0; i < count; ++i) {
    if (end - pos < 46 || Le32(m_data + pos) != kDirectoryEntry) return false;
    const std::uint8_t* h = m_data + pos;
    Entry e;
    std::uint16_t flags = Le16(h + 8);
    e.method = Le16(h + 10);
    e.crc = Le32(h + 16);
    e.compressed = Le32(h + 20);
    e.uncompressed = Le32(h + 24);
    std::size_t nameLen = Le16(h + 28);
    std::size_t extraLen = Le16(h + 30);
    std::size_t commentLen = Le16(h + 32);
    e.localOffset = Le32(h + 42);
    std::size_t record = 46 + nameLen + extraLen + commentLen;
    if (end - pos < record) return false;
    std::string name(reinterpret_cast<const char*>(h + 46), nameLen);
    if (!(flags & 1)) entries.emplace(name, e);  // encrypted entries are never readable
    pos += record;
  }
  m_entries = std::move(entries);
  m_open = true;
  return true;
}

bool CZipArchive::Read(const std::string& utf8Name, std::vector<std::uint8_t>* buffer, ByteView* view) const {
  if (!m_open) return false;
  auto it = m_entries.find(utf8Name);
  if (it == m_entries.end()) {
    it = std::find_if(m_entries.begin(), m_entries.end(), [&utf8Name](const auto& entry) {
      return std::equal(entry.first.begin(), entry.first.end(), utf8Name.begin(), utf8Name.end(),
                        [](char a, char b) { return zr::FoldAsciiCase(a) == zr::FoldAsciiCase(b); });
    });
  }
  return it != m_entries.end() && Extract(it->second, buffer, view);
}

bool CZipArchive::Extract(const Entry& e, std::vector<std::uint8_t>* buffer, ByteView* view) const {
  if (e.localOffset > m_size || m_size - e.localOffset < 30) return false;
  const std::uint8_t* h = m_data + e.localOffset;
  if (Le32(h) != kLocalHeader) return false;
  std::size_t start = static_cast<std::size_t>(e.localOffset) + 30 + Le16(h + 26) + Le16(h + 28);
  if (start > m_size || m_size - start < e.compressed) return false;
  if (e.uncompressed > kMaxEntrySize) return false;
  if (e.method == 8 && e.uncompressed / kMaxDeflateRatio > e.compressed) return false;
  const std::uint8_t* src = m_data + start;

  ByteView bytes;
  if (e.method == 0) {
    if (e.compressed != e.uncompressed) return false;
    bytes = ByteView{src, e.compressed};
  } else if (e.method == 8) {
    // One spare byte: zlib needs room to write into even for an empty entry, and it lets
    // an entry that inflates to more than its declared size be told apart.
    buffer->assign(e.uncompressed + 1u, 0);
    z_stream z = {};
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return false;
    z.next_in = const_cast<Bytef*>(src);
    z.avail_in = e.compressed;
    z.next_out = buffer->data();
    z.avail_out = e.uncompressed + 1u;
    int rc = inflate(&z, Z_FINISH);
    bool complete = rc == Z_STREAM_END && z.total_out == e.uncompressed;
    inflateEnd(&z);
    if (!complete) return false;
    buffer->resize(e.uncompressed);
    bytes = ByteView{buffer->data(), buffer->size()};
  } else {
    return false;
  }
  // zlib's CRC of nothing (no bytes, or none at all) is 0.
  if (crc32(0L, bytes.data, static_cast<uInt>(bytes.size)) != e.crc) return false;
  *view = bytes;
  return true;
}

}  // namespace Skin
