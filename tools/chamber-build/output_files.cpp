// Writing a build's outputs so that whoever reads the directory meanwhile (a
// running program following its files) sees either the old chamber or the
// new one, never a file half-written.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/chamber-build/chamber.h"

namespace chamber {
namespace {

bool writeAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// A temporary file beside path holding bytes; its name, or empty (with
// error) when it could not be written whole.
std::string writeTemporary(const std::string& path, const std::string& bytes, std::string* error) {
  const std::size_t slash = path.rfind('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const std::string temporary = path.substr(0, nameStart) + "." + path.substr(nameStart) + ".tmp-" +
                                std::to_string(static_cast<long>(::getpid()));
  // 0666 less the umask, as a plain write would create the file.
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    *error = "cannot write " + temporary + ": " + std::strerror(errno);
    return std::string();
  }
  const bool written = writeAll(fd, bytes);
  const int savedErrno = errno;
  if (::close(fd) != 0 || !written) {
    *error = "cannot write " + temporary + ": " + std::strerror(written ? errno : savedErrno);
    std::remove(temporary.c_str());
    return std::string();
  }
  return temporary;
}

}  // namespace

bool WriteOutputFiles(const std::vector<OutputFile>& files, std::string* error) {
  // Every file is written whole before the first one is renamed into place:
  // a failure leaves the old chamber as it was, and the renames follow one
  // another closely.
  std::vector<std::string> temporaries;
  for (const OutputFile& file : files) {
    const std::string temporary = writeTemporary(file.path, file.bytes, error);
    if (temporary.empty()) {
      for (const std::string& written : temporaries) std::remove(written.c_str());
      return false;
    }
    temporaries.push_back(temporary);
  }
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (std::rename(temporaries[i].c_str(), files[i].path.c_str()) != 0) {
      *error = "cannot write " + files[i].path + ": " + std::strerror(errno);
      for (std::size_t j = i; j < files.size(); ++j) std::remove(temporaries[j].c_str());
      return false;
    }
  }
  return true;
}

}  // namespace chamber
