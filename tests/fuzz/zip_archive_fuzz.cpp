// libFuzzer target: the skin package's zip reader on arbitrary bytes.
//
// The bytes are opened as an archive; then the package's own entry names and the names of
// the first central directory records in the bytes are looked up, in their own case and in
// upper case. Besides the sanitizers' findings it checks what the resource layer relies on:
// an archive that did not open holds nothing, a view found is an entry's whole checked
// content (its CRC-32 is one that a record of that name gives), a stored entry is handed out
// inside the block, and asking again gives the same view.

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "skin/zip_archive.h"

namespace {

std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t Le32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(Le16(p)) | (static_cast<std::uint32_t>(Le16(p + 2)) << 16);
}

// The names of the shipped package, which the seeds use.
const char* const kPackageNames[] = {"wnd_main.xml", "font.xml", "progress_fore.png"};

// A central directory record as the bytes hold it: the name and the CRC-32 it gives.
struct Record {
  std::string name;
  std::uint32_t crc;
};

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

std::string Upper(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return s;
}

// Every record signature in the bytes, read the simplest way: the reader's own records are
// among them, whatever the end record says.
std::vector<Record> Records(const std::uint8_t* data, std::size_t size) {
  std::vector<Record> out;
  for (std::size_t pos = 0; pos + 46 <= size; ++pos) {
    if (Le32(data + pos) != 0x02014b50) continue;
    std::size_t length = Le16(data + pos + 28);
    if (size - pos - 46 < length) continue;
    out.push_back({std::string(reinterpret_cast<const char*>(data + pos + 46), length),
                   Le32(data + pos + 16)});
  }
  return out;
}

void Check(const Skin::CZipArchive& zip, const std::string& name,
           const std::vector<Record>& records, const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> buffer;
  Skin::ByteView view;
  if (!zip.Read(name, &buffer, &view)) return;
  if (!zip.IsOpen() || (view.size && !view.data)) std::abort();
  // The content checks out against a record of that name (in some case).
  uLong crc = crc32(0L, Z_NULL, 0);
  if (view.size) crc = crc32(crc, view.data, static_cast<uInt>(view.size));
  bool matches = false;
  for (const auto& r : records) matches |= r.crc == crc && Lower(r.name) == Lower(name);
  if (!matches) std::abort();
  // In place within the archive, or the whole of the inflated buffer.
  const bool inside = view.data >= data && view.data < data + size;
  if (inside && view.size > static_cast<std::size_t>(data + size - view.data)) std::abort();
  if (!inside && view.size && (view.data != buffer.data() || view.size != buffer.size())) std::abort();
  // Read again, the same bytes.
  std::vector<std::uint8_t> again;
  Skin::ByteView second;
  if (!zip.Read(name, &again, &second) || second.size != view.size ||
      (view.size && std::memcmp(second.data, view.data, view.size) != 0)) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Skin::CZipArchive zip;
  const bool open = zip.Open(data, size);
  if (open != zip.IsOpen() || (!open && zip.EntryCount() != 0)) std::abort();

  const std::vector<Record> records = Records(data, size);
  std::vector<std::string> names(kPackageNames, kPackageNames + 3);
  for (std::size_t i = 0; i < records.size() && i < 16; ++i) names.push_back(records[i].name);
  for (const auto& name : names) {
    Check(zip, name, records, data, size);
    Check(zip, Upper(name), records, data, size);
  }
  return 0;
}
