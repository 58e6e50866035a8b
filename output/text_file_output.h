#pragma once

#include <QString>
#include <QStringView>
#include <string>

namespace lintavel {

// Writes a text file of Windows-1252 lines, each ended by CR LF, characters outside
// the code page as "?". A regular file is written beside its target and renamed
// over it only by Commit(), so a save that fails never destroys the file it was to
// replace; an object dropped without Commit() leaves no trace. Each step throws
// std::runtime_error with the system's reason when it fails.
class TextFileWriter {
 public:
  explicit TextFileWriter(const QString& path);
  ~TextFileWriter();
  TextFileWriter(const TextFileWriter&) = delete;
  TextFileWriter& operator=(const TextFileWriter&) = delete;

  void WriteLine(QStringView text);
  // Writes what is buffered, closes the file and puts it in its place.
  void Commit();

 private:
  void Flush();

  std::string target_;
  std::string temp_;  // empty when writing to the target itself
  int fd_ = -1;
  std::string buffer_;
};

inline constexpr char kSaveDialogTitle[] = "Save";
inline constexpr char kSaveDialogFilter[] = "Text Files (*.txt)|*.txt|All Files (*.*)|*.*|";

// The question asked before an existing file is replaced.
QString OverwriteQuestion(const QString& path);

}  // namespace lintavel
