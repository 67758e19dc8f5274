#include "update/run_record.h"

#include "util/text.h"

namespace zr {

std::string RecordPath(const std::wstring& path) { return "\"" + WideToUtf8(path) + "\""; }

std::string RecordValue(const std::string& value) {
  constexpr size_t kMostBytes = 40;
  if (value.size() <= kMostBytes) return "\"" + value + "\"";
  size_t cut = kMostBytes;  // not inside a UTF-8 sequence
  while (cut > 0 && (static_cast<unsigned char>(value[cut]) & 0xC0) == 0x80) --cut;
  return "\"" + value.substr(0, cut) + "...\"";
}

std::string RecordError(uint32_t error) {
  const char* meaning = nullptr;
  switch (error) {
    case 2: meaning = "no such file"; break;
    case 3: meaning = "no such folder"; break;
    case 5: meaning = "access denied"; break;
    case 17: meaning = "on another volume"; break;
    case 23: meaning = "data error, the disk could not read it"; break;
    case 32: meaning = "held by another program"; break;
    case 33: meaning = "part of it locked by another program"; break;
    case 112: meaning = "the disk is full"; break;
    case 80: meaning = "the file exists"; break;
    case 145: meaning = "the folder is not empty"; break;
    case 183: meaning = "a file of that name exists"; break;
    case 206: meaning = "name too long"; break;
    case 1117: meaning = "device I/O error"; break;
    default: break;
  }
  std::string text = "error " + std::to_string(error);
  if (meaning != nullptr) text += std::string(" (") + meaning + ")";
  return text;
}

}  // namespace zr
