// Files hashed one after another, with and without the hasher's thread: each digest is the
// file's own, in order, whatever the sizes of the pieces and of the files against the hasher's
// buffers (1 MiB each, four of them); a digest is taken only once its file has ended.
#include "update/md5.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zr {
namespace {

std::string Md5Of(const std::string& bytes) {
  CMd5 md5;
  md5.Add(bytes.data(), bytes.size());
  return md5.Hex();
}

TEST(CMd5Hasher, GivesEachFilesDigestInOrder) {
  const size_t mib = 1 << 20;
  const size_t sizes[] = {0, 1, mib - 1, mib, mib + 1, 5 * mib + 7, 3, 0, 2 * mib};
  std::vector<std::string> files;
  for (size_t i = 0; i < sizeof sizes / sizeof sizes[0]; ++i) {
    std::string bytes(sizes[i], '\0');
    for (size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<char>((k * 31 + i * 7) >> 3);
    files.push_back(bytes);
  }
  for (const bool thread : {false, true}) {
    SCOPED_TRACE(thread ? "on a thread" : "by the caller");
    CMd5Hasher hasher(thread);
    std::string digest;
    EXPECT_FALSE(hasher.TakeDigest(digest, true)) << "no file ended yet";
    std::vector<std::string> digests;
    for (size_t i = 0; i < files.size(); ++i) {
      // Pieces of 300,001 bytes, as a reader gives them.
      for (size_t at = 0; at < files[i].size(); at += 300001) {
        hasher.Add(files[i].data() + at, std::min<size_t>(300001, files[i].size() - at));
      }
      hasher.EndFile();
      if (i % 2 == 0 && hasher.TakeDigest(digest, true)) digests.push_back(digest);
    }
    while (hasher.TakeDigest(digest, true)) digests.push_back(digest);
    ASSERT_EQ(files.size(), digests.size());
    for (size_t i = 0; i < files.size(); ++i) EXPECT_EQ(Md5Of(files[i]), digests[i]) << "file " << i;
    EXPECT_FALSE(hasher.TakeDigest(digest, false));
  }
}

}  // namespace
}  // namespace zr
