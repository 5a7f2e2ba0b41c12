// SHA-256 through OpenSSL's libcrypto.
#include <openssl/evp.h>

#include <cstdio>
#include <memory>

#include "watch/file_watch.h"

namespace watch {
namespace {

struct DigestContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using DigestContext = std::unique_ptr<EVP_MD_CTX, DigestContextFree>;

struct FileClose {
  void operator()(FILE* file) const { fclose(file); }
};

std::string toHex(const unsigned char* digest, unsigned int length) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(length * 2);
  for (unsigned int i = 0; i < length; ++i) {
    hex += kDigits[digest[i] >> 4];
    hex += kDigits[digest[i] & 15];
  }
  return hex;
}

}  // namespace

std::string sha256Hex(const std::string& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
  return toHex(digest, length);
}

std::optional<std::string> fileSha256Hex(const std::string& path) {
  std::unique_ptr<FILE, FileClose> file(fopen(path.c_str(), "rb"));
  if (!file) return std::nullopt;
  DigestContext context(EVP_MD_CTX_new());
  if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) return std::nullopt;
  unsigned char buffer[1 << 16];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, file.get())) > 0)
    if (EVP_DigestUpdate(context.get(), buffer, n) != 1) return std::nullopt;
  if (ferror(file.get())) return std::nullopt;
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1) return std::nullopt;
  return toHex(digest, length);
}

}  // namespace watch
