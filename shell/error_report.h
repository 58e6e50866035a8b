#pragma once

#include <exception>
#include <functional>
#include <string>
#include <string_view>

namespace lintavel {

// Where a report asks the user to send the screenshot of an unexpected failure.
inline constexpr std::string_view kSupportAddress = "support@lintavel.example";

// The location texts of the procedures that report their own failures. Each ends
// in a blank so that it runs on into "at line ".
namespace location {
inline constexpr std::string_view kFormLoad = "in Morvesk2021/08/31.Form1.Form_Load ";
inline constexpr std::string_view kStartExtracting =
    "in Morvesk2021/08/31.Form1.PushButton1_Click ";
inline constexpr std::string_view kAddFiles = "in Morvesk2021/08/31.Form1.PushButton2_Click ";
inline constexpr std::string_view kAddAllInFolder = "in Morvesk2021/08/31.Form1.PushButton3_Click ";
inline constexpr std::string_view kCopyResults = "in Morvesk2021/08/31.Form1.PushButton4_Click ";
inline constexpr std::string_view kClearInputList = "in Morvesk2021/08/31.Form1.PushButton5_Click ";
inline constexpr std::string_view kSaveResultsText =
    "in Morvesk2021/08/31.Form1.PushButton6_Click ";
inline constexpr std::string_view kSaveResultsExcel =
    "in Morvesk2021/08/31.Form1.PushButton7_Click ";
inline constexpr std::string_view kLoadSamples = "in Morvesk2021/08/31.Form1.PushButton8_Click ";
inline constexpr std::string_view kClearResults = "in Morvesk2021/08/31.Form1.PushButton9_Click ";
inline constexpr std::string_view kReadFile =
    "in Morvesk2021/08/31.Main.ReadFileToStringFSOLineWord ";
inline constexpr std::string_view kGetSubDirectories =
    "in Pellorin2021/08/31.AddFolder.GetSubDirectories2016 ";
}  // namespace location

// One unexpected failure of a numbered step: where it happened and what failed.
struct ApplicationError {
  std::string_view location;
  int line = 0;
  std::string description;
  int code = 0;  // the failure's numeric code where one is known, else 0
};

// Receives every report of a reporting procedure; the window shows it in a modal
// box, the command line prints it.
using ReportSink = std::function<void(const ApplicationError&)>;

// The text of the standard report: description, CR LF, location text, "at line ",
// the line number, two bare CRs, and the request to mail a screenshot.
std::string ComposeApplicationErrorMessage(std::string_view description, std::string_view location,
                                           int line);

// A failure that carries a numeric code besides its description.
class CodedFailure : public std::exception {
 public:
  CodedFailure(int code, std::string description)
      : code_(code), description_(std::move(description)) {}
  int code() const noexcept { return code_; }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  int code_;
  std::string description_;
};

// The guard of one call of a reporting procedure. Each numbered step runs through
// Step(); a step that throws is abandoned where it failed, reported with the
// procedure's location text and the step's line number, and the procedure goes on
// with whatever follows. The guard stays armed for every later step.
class ReportingProcedure {
 public:
  ReportingProcedure(std::string_view location, ReportSink sink)
      : location_(location), sink_(std::move(sink)) {}

  // Runs `step` as line `line`; true when it finished, false when it failed and was
  // reported.
  template <typename Body>
  bool Step(int line, Body&& step) {
    try {
      std::forward<Body>(step)();
      return true;
    } catch (const CodedFailure& failure) {
      Report(line, failure.what(), failure.code());
    } catch (const std::exception& failure) {
      Report(line, failure.what(), 0);
    } catch (...) {
      Report(line, "Unknown failure", 0);
    }
    return false;
  }

  // Reports a failure found without an exception, as if step `line` had thrown it.
  void Report(int line, std::string description, int code = 0);

  int reports() const { return reports_; }
  std::string_view location() const { return location_; }

 private:
  std::string_view location_;
  ReportSink sink_;
  int reports_ = 0;
};

}  // namespace lintavel
