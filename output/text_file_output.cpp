#include "output/text_file_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "engine/code_page.h"

namespace lintavel {

namespace {

constexpr std::size_t kFlushBytes = 256 * 1024;

[[noreturn]] void Fail(const std::string& what, int error) {
  throw std::runtime_error(what + ": " + std::generic_category().message(error));
}

// The path that a link at `path` leads to, so that a save replaces the file the
// user sees, not the link.
std::string Resolved(const std::string& path) {
  char* real = ::realpath(path.c_str(), nullptr);
  if (real == nullptr) return path;
  std::string resolved(real);
  std::free(real);
  return resolved;
}

}  // namespace

QString OverwriteQuestion(const QString& path) {
  return QStringLiteral("Are you sure you wish to overwrite %1 ?").arg(path);
}

TextFileWriter::TextFileWriter(const QString& path)
    : target_(QFile::encodeName(path).toStdString()) {
  const std::string name = "Cannot create '" + path.toStdString() + "'";
  struct stat existing {};
  const bool exists = ::stat(target_.c_str(), &existing) == 0;
  if (exists && S_ISDIR(existing.st_mode)) Fail(name, EISDIR);
  if (exists && !S_ISREG(existing.st_mode)) {
    // A device or a pipe cannot be replaced; it is written as it is.
    fd_ = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd_ < 0) Fail(name, errno);
    return;
  }
  // A read-only file is not replaced, even by a user whom the system would let.
  if (exists && ((existing.st_mode & 0222) == 0 || ::access(target_.c_str(), W_OK) != 0)) {
    Fail(name, EACCES);
  }
  target_ = Resolved(target_);
  temp_ = target_ + ".lintavel-XXXXXX";
  fd_ = ::mkstemp(temp_.data());
  if (fd_ < 0) Fail(name, errno);
  // Keep the mode of the file being replaced, or give a new file the usual one.
  mode_t mode = existing.st_mode & 07777;
  if (!exists) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  ::fchmod(fd_, mode);
}

TextFileWriter::~TextFileWriter() {
  if (fd_ >= 0) ::close(fd_);
  if (!temp_.empty()) std::remove(temp_.c_str());
}

void TextFileWriter::WriteLine(QStringView text) {
  for (const QChar c : text) buffer_.push_back(static_cast<char>(EncodeCp1252(c.unicode())));
  buffer_.append("\r\n");
  if (buffer_.size() >= kFlushBytes) Flush();
}

void TextFileWriter::Flush() {
  std::string_view rest = buffer_;
  while (!rest.empty()) {
    const ssize_t put = ::write(fd_, rest.data(), rest.size());
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) {
      buffer_.clear();
      Fail("Cannot write '" + target_ + "'", errno);
    }
    rest.remove_prefix(static_cast<std::size_t>(put));
  }
  buffer_.clear();
}

void TextFileWriter::Commit() {
  Flush();
  if (!temp_.empty() && ::fsync(fd_) != 0) Fail("Cannot write '" + target_ + "'", errno);
  const int fd = std::exchange(fd_, -1);
  if (::close(fd) != 0) Fail("Cannot close '" + target_ + "'", errno);
  if (temp_.empty()) return;
  if (std::rename(temp_.c_str(), target_.c_str()) != 0) {
    Fail("Cannot replace '" + target_ + "'", errno);
  }
  temp_.clear();
}

}  // namespace lintavel
