// MD5 of bytes given in pieces, by libcrypto (CMd5: any thread; one object per digest), and of
// files one after another (CMd5Hasher).
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace zr {

class CMd5 {
 public:
  CMd5();
  ~CMd5();
  CMd5(const CMd5&) = delete;
  CMd5& operator=(const CMd5&) = delete;

  void Add(const char* data, size_t size);
  // The digest of everything added, as 32 lower-case hexadecimal digits. Ends the digest.
  std::string Hex();

 private:
  struct State;
  std::unique_ptr<State> m_state;
};

// True for 32 hexadecimal digits, in either case: a value the check verifies.
bool IsMd5Value(const std::string& text);

// The two values name the same digest (hexadecimal digits compared without case).
bool SameMd5(const std::string& a, const std::string& b);

// MD5 of files one after another, hashed on a thread of its own while the caller reads the next
// file: reading and hashing, each about as fast as the other, then take about as long as the
// slower of the two instead of both together.
//
// One caller thread gives each file's bytes (Add) and ends it (EndFile), file after file, and
// takes the digests in the same order (TakeDigest). The bytes waiting for the hasher are
// copied into a few buffers made once (Add waits while all are full), so memory stays bounded
// whatever the files' sizes. Without a thread (not asked for: a thread does not pay for itself
// on a few megabytes; or none can be started) Add hashes the bytes itself.
class CMd5Hasher {
 public:
  explicit CMd5Hasher(bool useThread);
  // Waits for the hasher's thread to finish the bytes it holds (a few megabytes at most).
  ~CMd5Hasher();
  CMd5Hasher(const CMd5Hasher&) = delete;
  CMd5Hasher& operator=(const CMd5Hasher&) = delete;

  void Add(const char* data, size_t size);
  void EndFile();
  // The digest of the next ended file not taken yet (32 lower-case hexadecimal digits). False
  // when there is none: no ended file is left, or (wait false) its digest is not ready yet.
  bool TakeDigest(std::string& digest, bool wait);

 private:
  struct Shared;
  // The hashing thread: takes the filled buffers in order until the hasher closes.
  static void Run(const std::shared_ptr<Shared>& shared);

  std::shared_ptr<Shared> m_shared;
  size_t m_ended = 0;
  size_t m_taken = 0;
};

}  // namespace zr
