// What the engine shows: the status line's and the fatal box's texts, by their ids, with their
// values put in, and the progress bar and speed, reported as events (update_events.h).
//
// No text is ever a printf format. A table text holds "%d" and "%s" where its values go; each
// id has a type that says which values it takes (the id's suffix says the same: "_dds" two
// numbers and a name, "_d" a number, "_s" a name), and they are put in by their place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zr {

class ITexts;
class IUpdateEvents;

// The ids of the texts, by the values each takes.
struct PlainText {  // none
  const wchar_t* id;
};
struct EntryText {  // entry k of n and a file's name: "%d/%d 正在更新文件 %s"
  const wchar_t* id;
};
struct NamedText {  // a file's name: "文件(%s)正被其他程序占用，正在等待..."
  const wchar_t* id;
};
struct CodeText {  // a number: "启动程序失败,错误码:(%d)"
  const wchar_t* id;
};

inline constexpr PlainText kParsingConfigText{L"pro_parsing_config"};
inline constexpr PlainText kParseConfigFailedText{L"pro_parse_config_failed"};
inline constexpr PlainText kJournalDamagedText{L"pro_journal_damaged"};
inline constexpr PlainText kUpdateFinishedText{L"pro_update_finished"};
inline constexpr PlainText kExitRebootText{L"box_exit_reboot"};  // the fatal box's
inline constexpr EntryText kUpdatingFileText{L"pro_update_file_dds"};
inline constexpr EntryText kVerifyingFileText{L"pro_verifying_dds"};
inline constexpr EntryText kMd5DiffersText{L"pro_verify_md5_error"};
inline constexpr EntryText kRollingBackText{L"pro_rollback_dds"};
inline constexpr EntryText kRestoreFailedText{L"pro_restore_failed_dds"};
inline constexpr NamedText kFileInUseText{L"pro_file_in_use_s"};
inline constexpr CodeText kLaunchFailedText{L"cmd_open_failed_d"};

// The status line, at most 1023 bytes of UTF-8 (cut at a character boundary).
void PostStatus(IUpdateEvents& events, const ITexts& texts, PlainText text);
// Entry `index` (from 0) of `count`, naming `name`.
void PostStatus(IUpdateEvents& events, const ITexts& texts, EntryText text, size_t index, size_t count,
                const std::wstring& name);
void PostStatus(IUpdateEvents& events, const ITexts& texts, NamedText text, const std::wstring& name);
void PostStatus(IUpdateEvents& events, const ITexts& texts, CodeText text, int64_t code);

// The fatal box's text, whole.
void PostFatal(IUpdateEvents& events, const ITexts& texts, PlainText text);

// The progress bar's position (0 to 100).
void ReportProgress(IUpdateEvents& events, int64_t position);

}  // namespace zr
