#include "output/spreadsheet.h"

#include <xlsxwriter.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QThread>
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <vector>

#ifdef Q_OS_UNIX
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace lintavel {

namespace {

void Check(lxw_error error, WorkbookStep step, const char* what) {
  if (error != LXW_NO_ERROR)
    throw WorkbookFailure(step, std::string(what) + ": " + lxw_strerror(error));
}

// Runs `body` as part of `step`: any failure in it becomes a WorkbookFailure of
// that step, so the window can say where the workbook failed.
template <typename Body>
void AtStep(WorkbookStep step, Body&& body) {
  try {
    std::forward<Body>(body)();
  } catch (const WorkbookFailure&) {
    throw;
  } catch (const std::exception& failure) {
    throw WorkbookFailure(step, failure.what());
  } catch (...) {
    throw WorkbookFailure(step, "Unknown failure");
  }
}

// One sheet being written: the header row, then rows in order, and the width of
// each column's longest text.
class SheetWriter {
 public:
  SheetWriter(lxw_workbook* workbook, int number, const QStringList& header,
              std::optional<CutCells>& cut)
      : cut_(cut) {
    const std::string name = number == 1 ? "Results" : "Results " + std::to_string(number);
    AtStep(WorkbookStep::kCreate, [&] {
      sheet_ = workbook_add_worksheet(workbook, name.c_str());
      if (sheet_ == nullptr) throw std::runtime_error("Cannot add a sheet to the workbook");
    });
    for (int c = 0; c < header.size(); ++c)
      Write(0, c, header[c], WorkbookStep::kHeaderCell, 0, c + 1);
  }

  void Write(lxw_row_t row, int column, QStringView text, WorkbookStep step, int list_row,
             int list_column) {
    AtStep(step, [&] {
      QString cut_text;
      if (text.size() > kCellChars) {
        qsizetype keep = kCellChars - 1;
        if (text[keep - 1].isHighSurrogate()) --keep;  // never half a character
        cut_text = text.left(keep).toString() + QChar(kCutMark);
        NoteCut(step, list_row, list_column, text.size(), keep);
        text = cut_text;
      }
      const QByteArray utf8 = text.toUtf8();
      Check(worksheet_write_string(sheet_, row, static_cast<lxw_col_t>(column), utf8.constData(),
                                   nullptr),
            step, "Cannot write a cell");
      if (static_cast<std::size_t>(column) >= widths_.size()) widths_.resize(column + 1, 0);
      widths_[static_cast<std::size_t>(column)] =
          std::max(widths_[static_cast<std::size_t>(column)], text.size());
    });
  }

  // Fits every column to its longest text.
  void FitColumns() {
    for (std::size_t c = 0; c < widths_.size(); ++c) {
      const double width = std::min<double>(255, static_cast<double>(widths_[c]) + 1.5);
      Check(worksheet_set_column(sheet_, static_cast<lxw_col_t>(c), static_cast<lxw_col_t>(c),
                                 width, nullptr),
            WorkbookStep::kFitColumns, "Cannot set a column width");
    }
  }

 private:
  void NoteCut(WorkbookStep step, int list_row, int list_column, qsizetype length, qsizetype kept) {
    if (!cut_) {
      const std::string where =
          list_row == 0 ? "The header" : "The text of row " + std::to_string(list_row);
      cut_ = CutCells{step, list_row, list_column,
                      where + " has " + std::to_string(length) +
                          " characters, more than a workbook cell holds (" +
                          std::to_string(kCellChars) + "); the cell holds its first " +
                          std::to_string(kept) + " characters followed by \"\u2026\".",
                      0};
    }
    ++cut_->count;
  }

  std::optional<CutCells>& cut_;
  lxw_worksheet* sheet_ = nullptr;
  std::vector<qsizetype> widths_;
};

}  // namespace

std::optional<CutCells> WriteResultsWorkbook(const ListTable& list, const QString& file,
                                             const WorkbookOptions& options) {
  const int columns = list.ColumnCount();
  const int rows = list.RowCount();
  QStringList header;
  for (int c = 1; c <= columns; ++c) {
    if (rows > 0 && !list.CellText(1, c).isEmpty()) header << list.HeaderText(c);
  }

  const QByteArray path = QFile::encodeName(file);
  QByteArray scratch = QFile::encodeName(options.scratch_folder.isEmpty() ? QDir::tempPath()
                                                                          : options.scratch_folder);
  lxw_workbook_options settings{};
  settings.constant_memory = LXW_TRUE;  // memory stays flat however many rows
  settings.tmpdir = scratch.data();
  settings.use_zip64 = LXW_TRUE;
  // Freed without saving on any failure: no half-written file is left.
  std::unique_ptr<lxw_workbook, void (*)(lxw_workbook*)> workbook(
      workbook_new_opt(path.constData(), &settings), [](lxw_workbook* unsaved) {
        if (unsaved != nullptr) lxw_workbook_free(unsaved);
      });
  if (!workbook)
    throw WorkbookFailure(WorkbookStep::kCreate,
                          "Cannot create the workbook '" + file.toStdString() + "'");

  std::optional<CutCells> cut;
  const int data_rows_per_sheet = options.rows_per_sheet - 1;
  int sheet_number = 1;
  auto sheet = std::make_unique<SheetWriter>(workbook.get(), sheet_number, header, cut);
  QString scratch_text;
  for (int r = 1; r <= rows; ++r) {
    if (options.cancel != nullptr && options.cancel->load(std::memory_order_relaxed))
      throw WorkbookFailure(WorkbookStep::kRowCell, "The workbook was cancelled");
    if (options.before_row) AtStep(WorkbookStep::kRowCell, [&] { options.before_row(r); });
    const int on_sheet = (r - 1) / data_rows_per_sheet + 1;
    if (on_sheet != sheet_number) {
      sheet->FitColumns();
      sheet_number = on_sheet;
      sheet = std::make_unique<SheetWriter>(workbook.get(), sheet_number, header, cut);
    }
    if (!list.Checked(r)) continue;
    const auto row = static_cast<lxw_row_t>((r - 1) % data_rows_per_sheet + 1);
    int column = 0;
    for (int c = 1; c <= columns; ++c) {
      if (c == 1) {
        const QStringView text = list.CellView(r, c, scratch_text);
        if (!text.isEmpty()) sheet->Write(row, column++, text, WorkbookStep::kRowCell, r, c);
        continue;
      }
      QString text = list.CellText(r, c);
      text.remove(QLatin1Char('='));
      if (!text.isEmpty()) sheet->Write(row, column++, text, WorkbookStep::kSubItemCell, r, c);
    }
  }
  sheet->FitColumns();
  const lxw_error saved = workbook_close(workbook.release());
  if (saved != LXW_NO_ERROR) {
    QFile::remove(file);
    Check(saved, WorkbookStep::kSave, "Cannot write the workbook");
  }
  return cut;
}

namespace {

// A LibreOffice built without any window system (the "nogui" packages) cannot
// show a workbook. Its program folder lacks the window-system plugins that every
// other build has; a program that is not in such a folder (a wrapper) is trusted.
bool HasWindowSystem(const QString& program) {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
  const QDir folder = QFileInfo(QFileInfo(program).canonicalFilePath()).absoluteDir();
  if (!folder.exists(QStringLiteral("soffice.bin"))) return true;
  return !folder.entryList({QStringLiteral("libvclplug_*")}, QDir::Files).isEmpty();
#else
  Q_UNUSED(program);
  return true;
#endif
}

constexpr char kCalcFolderPattern[] = "lintavel-calc-";

// Removes the empty folders that earlier starts left to a Calc that has ended
// since; a Calc still running keeps its files there, so its folder is not empty.
void SweepEndedCalcFolders() {
  QDir temp = QDir::temp();
  const QDateTime settled = QDateTime::currentDateTime().addSecs(-60);
  for (const QFileInfo& folder : temp.entryInfoList(
           {QLatin1String(kCalcFolderPattern) + QLatin1Char('*')}, QDir::Dirs | QDir::Hidden)) {
    if (folder.lastModified() < settled) temp.rmdir(folder.fileName());
  }
}

}  // namespace

LibreOfficeCalc::LibreOfficeCalc(QString program, std::chrono::milliseconds show_wait)
    : program_(std::move(program)), show_wait_(show_wait) {
  poll_.setInterval(50);
  QObject::connect(&poll_, &QTimer::timeout, &poll_, [this] { Poll(); });
}

LibreOfficeCalc::~LibreOfficeCalc() {
  for (Start& start : starts_) {
    int status = 0;
    while (start.verdict && !start.due.hasExpired() && !Reap(start, &status)) QThread::msleep(20);
  }
}

QString LibreOfficeCalc::Program() const {
  if (!program_.isEmpty()) return program_;
  for (const char* name : {"soffice", "libreoffice", "localc"}) {
    const QString found = QStandardPaths::findExecutable(QString::fromLatin1(name));
    if (!found.isEmpty()) return found;
  }
  return {};
}

bool LibreOfficeCalc::IsInstalled() {
  const QString program = Program();
  return !program.isEmpty() && HasWindowSystem(program);
}

#ifdef Q_OS_UNIX

void LibreOfficeCalc::OpenAsNewDocument(const QString& workbook, ShowVerdict verdict) {
  const QString program = Program();
  if (program.isEmpty()) throw std::runtime_error("Cannot start the spreadsheet application");
  SweepEndedCalcFolders();
  QByteArray temp_folder = QFile::encodeName(
      QDir::temp().filePath(QLatin1String(kCalcFolderPattern) + QStringLiteral("XXXXXX")));
  if (::mkdtemp(temp_folder.data()) == nullptr)
    throw std::runtime_error(std::string("Cannot make a temporary folder: ") +
                             std::strerror(errno));
  // Calc keeps its scratch files under TMPDIR, and a start that fails leaves them.
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("TMPDIR"), QFile::decodeName(temp_folder));
  std::vector<QByteArray> texts;
  for (const QString& entry : environment.toStringList()) texts.push_back(entry.toLocal8Bit());
  const std::size_t environment_size = texts.size();
  // -n opens the file as a template: a new, untitled document.
  for (const QString& argument :
       {program, QStringLiteral("--calc"), QStringLiteral("-n"), workbook}) {
    texts.push_back(QFile::encodeName(argument));
  }
  std::vector<char*> pointers;
  for (QByteArray& text : texts) pointers.push_back(text.data());
  std::vector<char*> arguments(pointers.begin() + static_cast<std::ptrdiff_t>(environment_size),
                               pointers.end());
  arguments.push_back(nullptr);
  pointers.resize(environment_size);
  pointers.push_back(nullptr);

  pid_t pid = 0;
  const int error =
      ::posix_spawn(&pid, arguments[0], nullptr, nullptr, arguments.data(), pointers.data());
  if (error != 0) {
    QDir(QFile::decodeName(temp_folder)).removeRecursively();
    throw std::runtime_error(std::string("Cannot start the spreadsheet application: ") +
                             std::strerror(error));
  }
  starts_.push_back(
      {pid, QDeadlineTimer(show_wait_), QFile::decodeName(temp_folder), std::move(verdict)});
  poll_.start();
}

bool LibreOfficeCalc::Reap(Start& start, int* status) {
  const pid_t reaped = ::waitpid(static_cast<pid_t>(start.pid), status, WNOHANG);
  if (reaped == 0 || (reaped < 0 && errno != ECHILD)) return false;
  if (reaped < 0) *status = 0;  // reaped elsewhere: its outcome is unknown
  QDir(start.temp_folder).removeRecursively();
  return true;
}

void LibreOfficeCalc::Poll() {
  std::vector<std::pair<ShowVerdict, QString>> due;
  for (auto start = starts_.begin(); start != starts_.end();) {
    int status = 0;
    if (Reap(*start, &status)) {
      QString failure;
      if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
        failure = QStringLiteral(
                      "The spreadsheet application ended with exit status %1 before it showed "
                      "the workbook")
                      .arg(WEXITSTATUS(status));
      } else if (WIFSIGNALED(status)) {
        failure = QStringLiteral(
                      "The spreadsheet application was ended by signal %1 before it showed "
                      "the workbook")
                      .arg(WTERMSIG(status));
      }
      if (start->verdict) due.emplace_back(std::move(start->verdict), failure);
      start = starts_.erase(start);
      continue;
    }
    // Still running after the wait: it shows the workbook, and is left to the user.
    if (start->verdict && start->due.hasExpired()) {
      due.emplace_back(std::move(start->verdict), QString());
      start->verdict = nullptr;
    }
    ++start;
  }
  if (starts_.empty()) poll_.stop();
  // Verdicts may show modal boxes or start again: called once the list is settled.
  for (auto& [verdict, failure] : due) verdict(failure);
}

#else

void LibreOfficeCalc::OpenAsNewDocument(const QString& workbook, ShowVerdict verdict) {
  const QString program = Program();
  if (program.isEmpty() || !QProcess::startDetached(program, {QStringLiteral("--calc"),
                                                              QStringLiteral("-n"), workbook})) {
    throw std::runtime_error("Cannot start the spreadsheet application");
  }
  QTimer::singleShot(0, &poll_, [verdict = std::move(verdict)] { verdict({}); });
}

bool LibreOfficeCalc::Reap(Start&, int*) { return true; }

void LibreOfficeCalc::Poll() {}

#endif

}  // namespace lintavel
