#pragma once

#include <QString>
#include <QStringView>
#include <string>

#include "output/safe_file_writer.h"

namespace lintavel {

// Writes a text file of Windows-1252 lines, each ended by CR LF, characters outside
// the code page as "?", through SafeFileWriter: nothing is replaced until Commit(),
// and what cannot be replaced safely is refused. Each step throws
// std::runtime_error with the system's reason when it fails.
class TextFileWriter {
 public:
  explicit TextFileWriter(const QString& path);

  void WriteLine(QStringView text);
  // Writes what is buffered, closes the file and puts it in its place.
  void Commit() { file_.Commit(); }

 private:
  SafeFileWriter file_;
  std::string line_;
};

inline constexpr char kSaveDialogTitle[] = "Save";
inline constexpr char kSaveDialogFilter[] = "Text Files (*.txt)|*.txt|All Files (*.*)|*.*|";

// The question asked before an existing file is replaced.
QString OverwriteQuestion(const QString& path);

}  // namespace lintavel
