#include "skin/zip_archive.h"

#include <zlib.h>

#include <cstring>
#include <utility>


namespace Skin {
namespace {

std::uint16_t Le16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::uint32_t Le32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::string LowerAscii(std::string s) {
  for (auto& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
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
  std::lock_guard<std::mutex> lock(mutex_);
  open_ = false;
  entries_.clear();
  extracted_.clear();
  data_ = static_cast<const std::uint8_t*>(data);
  size_ = size;
  if (!data_ || size_ < 22) return false;

  // The end-of-directory record sits in the last 22 bytes plus at most a 64 KB comment.
  std::size_t eocd = size_;
  std::size_t lowest = size_ > 22 + 65535 ? size_ - 22 - 65535 : 0;
  for (std::size_t pos = size_ - 22 + 1; pos-- > lowest;) {
    if (Le32(data_ + pos) == kEndOfDirectory) {
      eocd = pos;
      break;
    }
  }
  if (eocd == size_) return false;
  std::uint16_t count = Le16(data_ + eocd + 10);
  std::uint32_t dir_size = Le32(data_ + eocd + 12);
  std::uint32_t dir_offset = Le32(data_ + eocd + 16);
  if (dir_offset > eocd || dir_size > eocd - dir_offset) return false;

  // The entries are kept only once the whole directory has checked out.
  std::map<std::string, Entry> entries;
  std::size_t pos = dir_offset;
  const std::size_t end = static_cast<std::size_t>(dir_offset) + dir_size;
  for (std::uint16_t i = 0; i < count; ++i) {
    if (end - pos < 46 || Le32(data_ + pos) != kDirectoryEntry) return false;
    const std::uint8_t* h = data_ + pos;
    Entry e;
    std::uint16_t flags = Le16(h + 8);
    e.method = Le16(h + 10);
    e.crc = Le32(h + 16);
    e.compressed = Le32(h + 20);
    e.uncompressed = Le32(h + 24);
    std::size_t name_len = Le16(h + 28);
    std::size_t extra_len = Le16(h + 30);
    std::size_t comment_len = Le16(h + 32);
    e.local_offset = Le32(h + 42);
    std::size_t record = 46 + name_len + extra_len + comment_len;
    if (end - pos < record) return false;
    std::string name(reinterpret_cast<const char*>(h + 46), name_len);
    if (!(flags & 1)) entries.emplace(name, e);  // encrypted entries are never readable
    pos += record;
  }
  entries_ = std::move(entries);
  open_ = true;
  return true;
}

const ByteView* CZipArchive::Find(const std::string& utf8_name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!open_) return nullptr;
  auto it = entries_.find(utf8_name);
  if (it == entries_.end()) {
    std::string wanted = LowerAscii(utf8_name);
    for (auto i = entries_.begin(); i != entries_.end(); ++i) {
      if (LowerAscii(i->first) == wanted) {
        it = i;
        break;
      }
    }
  }
  if (it == entries_.end()) return nullptr;
  auto done = extracted_.find(it->first);
  if (done != extracted_.end()) return &done->second.first;
  return Extract(it->first, it->second);
}

const ByteView* CZipArchive::Extract(const std::string& name, const Entry& e) const {
  if (e.local_offset > size_ || size_ - e.local_offset < 30) return nullptr;
  const std::uint8_t* h = data_ + e.local_offset;
  if (Le32(h) != kLocalHeader) return nullptr;
  std::size_t start = static_cast<std::size_t>(e.local_offset) + 30 + Le16(h + 26) + Le16(h + 28);
  if (start > size_ || size_ - start < e.compressed) return nullptr;
  if (e.uncompressed > kMaxEntrySize) return nullptr;
  if (e.method == 8 && e.uncompressed / kMaxDeflateRatio > e.compressed) return nullptr;
  const std::uint8_t* src = data_ + start;

  ByteView view;
  std::unique_ptr<std::vector<std::uint8_t>> bytes;
  if (e.method == 0) {
    if (e.compressed != e.uncompressed) return nullptr;
    view = ByteView{src, e.compressed};
  } else if (e.method == 8) {
    // One spare byte: zlib needs room to write into even for an empty entry, and it lets
    // an entry that inflates to more than its declared size be told apart.
    bytes = std::make_unique<std::vector<std::uint8_t>>(e.uncompressed + 1u);
    z_stream z;
    std::memset(&z, 0, sizeof z);
    if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return nullptr;
    z.next_in = const_cast<Bytef*>(src);
    z.avail_in = e.compressed;
    z.next_out = bytes->data();
    z.avail_out = e.uncompressed + 1u;
    int rc = inflate(&z, Z_FINISH);
    bool complete = rc == Z_STREAM_END && z.total_out == e.uncompressed;
    inflateEnd(&z);
    if (!complete) return nullptr;
    bytes->resize(e.uncompressed);
    view = ByteView{bytes->data(), bytes->size()};
  } else {
    return nullptr;
  }
  uLong crc = crc32(0L, Z_NULL, 0);
  if (view.size) crc = crc32(crc, view.data, static_cast<uInt>(view.size));
  if (crc != e.crc) return nullptr;
  auto& slot = extracted_[name];
  slot.first = view;
  slot.second = std::move(bytes);
  return &slot.first;
}

}  // namespace Skin
