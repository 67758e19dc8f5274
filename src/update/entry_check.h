// The check of a manifest's entries before anything is touched, and before the running
// product is closed for an update that could not be applied. Runs on the worker thread.
#pragma once

#include "update/outcome.h"

namespace zr {

class IUpdatePlatform;
struct CUpdateContext;

// Every entry, before anything moves:
//  - `tmp` and `path` are full file paths: "C:\..." or "\\server\share\..." ("/" as well as
//    "\"), not ending in a separator, without a character Windows never allows in a name (a
//    control character, one of <>"|?*, a ":" past the drive); relative and drive-relative paths
//    ("x.dll", "\x.dll", "C:x.dll") and device paths are none;
//  - the target lies inside the updater's directory, no existing directory on the way to it
//    from there is a link, a junction or a file, no name on the way that does not exist yet has
//    the form of a short (8.3) name, and it is no existing directory itself;
//  - the target is none of the files the updater keeps beside itself (journal, lock, record and
//    its previous copy), and neither the target nor the staged file is a backup (".bak"),
//    parking (".tmp") or copy (".new") name the run may make beside a target, with or without a
//    number (".2.bak");
//  - the staged file is a regular file in "cache\update\" or outside the installation, listed
//    once and not also a target.
// Names are compared as Windows resolves them (FullPath): letter case, "/", ".", "..", trailing
// dots and blanks, short names of existing files.
// Then every staged file is held (HoldStagedFiles), and for every entry whose md5 is 32
// hexadecimal digits (either case) the held file is read through ("pro_verifying_dds" lines, the
// bar following the bytes) and its MD5 must be that value. Any other md5 is not checked (the
// record says so; an empty one silently). The staged files stay held in context.heldStaged when
// the result is kOk.
// kCheckRefused (the status line names the first refused entry: "pro_update_file_dds",
// or "pro_verify_md5_error" for a staged file that differs or cannot be read; the record says
// why) or kOk.
UpdateOutcome CheckFileEntries(CUpdateContext& context, IUpdatePlatform& platform);

// Holds every entry's staged file, in order, into context.heldStaged: from now until it is in
// place no other program can change it. One that cannot be held (another program holds it in a
// way that lets it write or delete it, no rights, gone) refuses the run: kCheckRefused, nothing
// held.
UpdateOutcome HoldStagedFiles(CUpdateContext& context, IUpdatePlatform& platform);

}  // namespace zr
