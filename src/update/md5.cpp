#include "update/md5.h"

// The one-call MD5 functions are libcrypto's low-level API: the EVP interface would bring its
// provider machinery into the shipped exe (several hundred kilobytes) for the same digest.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/md5.h>

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <vector>

#include "util/detached_thread.h"
#include "util/escape.h"

namespace zr {
namespace {

constexpr size_t kMd5Digits = 2 * MD5_DIGEST_LENGTH;

constexpr size_t kBufferBytes = 1 << 20;
constexpr size_t kBuffers = 4;

// A buffer's bytes to hash, or (buffer kEndOfFile) the end of a file.
constexpr size_t kEndOfFile = kBuffers;
struct Item {
  size_t buffer;
  size_t size;
};

}  // namespace

struct CMd5::State {
  MD5_CTX context;
};

CMd5::CMd5() : m_state(new State) { MD5_Init(&m_state->context); }

CMd5::~CMd5() = default;

void CMd5::Add(const char* data, size_t size) { MD5_Update(&m_state->context, data, size); }

std::string CMd5::Hex() {
  unsigned char digest[MD5_DIGEST_LENGTH];
  MD5_Final(digest, &m_state->context);
  return EscapeBytes(
      std::string(std::begin(digest), std::end(digest)), [](unsigned char) { return true; }, "", kLowerHexDigits);
}

bool IsMd5Value(const std::string& text) {
  return text.size() == kMd5Digits &&
         std::all_of(text.begin(), text.end(), [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
}

bool SameMd5(const std::string& a, const std::string& b) {
  return IsMd5Value(a) && IsMd5Value(b) &&
         std::equal(a.begin(), a.end(), b.begin(),
                    [](unsigned char x, unsigned char y) { return std::tolower(x) == std::tolower(y); });
}

// What the caller and the hasher's thread share; each holds a reference.
struct CMd5Hasher::Shared {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::unique_ptr<char[]>> buffers;
  std::vector<size_t> free;  // buffers the caller may fill
  std::deque<Item> items;    // for the hasher, in order
  std::deque<std::string> digests;
  bool threaded = false;
  bool closing = false;   // the caller gives nothing more
  bool finished = false;  // the thread has ended
  // The file being hashed: the thread's, or the caller's without a thread.
  std::unique_ptr<CMd5> current = std::make_unique<CMd5>();

  // Makes a change under the lock and tells every waiting side.
  template <typename Change>
  void Publish(Change change) {
    std::lock_guard<std::mutex> lock(mutex);
    change();
    changed.notify_all();
  }

  // Hashes a queued buffer (the buffers never change after they are made, so their bytes are
  // read without the lock), or publishes the ended file's digest.
  void Hash(const Item& item) {
    if (item.buffer != kEndOfFile) {
      current->Add(buffers[item.buffer].get(), item.size);
      return;
    }
    std::string digest = current->Hex();
    current = std::make_unique<CMd5>();
    Publish([&] { digests.push_back(std::move(digest)); });
  }
};

void CMd5Hasher::Run(const std::shared_ptr<Shared>& shared) {
  for (;;) {
    Item item;
    {
      std::unique_lock<std::mutex> lock(shared->mutex);
      shared->changed.wait(lock, [&] { return !shared->items.empty() || shared->closing; });
      if (shared->items.empty()) break;
      item = shared->items.front();
      shared->items.pop_front();
    }
    shared->Hash(item);
    if (item.buffer != kEndOfFile) shared->Publish([&] { shared->free.push_back(item.buffer); });
  }
  shared->Publish([&] { shared->finished = true; });
}

CMd5Hasher::CMd5Hasher(bool useThread) : m_shared(std::make_shared<Shared>()) {
  if (!useThread) return;
  try {
    for (size_t i = 0; i < kBuffers; ++i) {
      m_shared->buffers.emplace_back(new char[kBufferBytes]);
      m_shared->free.push_back(i);
    }
    m_shared->threaded = StartDetachedThread(&CMd5Hasher::Run, m_shared);
  } catch (const std::bad_alloc&) {
    m_shared->threaded = false;  // hashed by the caller, straight from its own bytes
  }
}

CMd5Hasher::~CMd5Hasher() {
  if (!m_shared->threaded) return;
  std::unique_lock<std::mutex> lock(m_shared->mutex);
  m_shared->closing = true;
  m_shared->changed.notify_all();
  m_shared->changed.wait(lock, [&] { return m_shared->finished; });
}

void CMd5Hasher::Add(const char* data, size_t size) {
  if (!m_shared->threaded) {
    m_shared->current->Add(data, size);
    return;
  }
  while (size > 0) {
    size_t buffer;
    {
      std::unique_lock<std::mutex> lock(m_shared->mutex);
      m_shared->changed.wait(lock, [&] { return !m_shared->free.empty(); });
      buffer = m_shared->free.back();
      m_shared->free.pop_back();
    }
    // The buffer is the caller's alone until it is queued.
    const size_t piece = size < kBufferBytes ? size : kBufferBytes;
    std::copy(data, data + piece, m_shared->buffers[buffer].get());
    m_shared->Publish([&] { m_shared->items.push_back({buffer, piece}); });
    data += piece;
    size -= piece;
  }
}

void CMd5Hasher::EndFile() {
  ++m_ended;
  if (!m_shared->threaded) {
    m_shared->Hash({kEndOfFile, 0});
    return;
  }
  m_shared->Publish([&] { m_shared->items.push_back({kEndOfFile, 0}); });
}

bool CMd5Hasher::TakeDigest(std::string& digest, bool wait) {
  if (m_taken == m_ended) return false;
  std::unique_lock<std::mutex> lock(m_shared->mutex);
  if (wait) m_shared->changed.wait(lock, [&] { return !m_shared->digests.empty(); });
  if (m_shared->digests.empty()) return false;
  digest = std::move(m_shared->digests.front());
  m_shared->digests.pop_front();
  ++m_taken;
  return true;
}

}  // namespace zr
