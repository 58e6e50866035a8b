#include "shell/error_report.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "shell/application_error_box.h"
#include "support/scripted_dialogs.h"

namespace lintavel {
namespace {

TEST(ComposeApplicationErrorMessage, LaysOutDescriptionLocationLineAndRequest) {
  EXPECT_EQ(ComposeApplicationErrorMessage("Overflow", location::kCopyResults, 106),
            "Overflow\r\nin Morvesk2021/08/31.Form1.PushButton4_Click at line 106\r\r"
            "Please email screenshot of this message to support@lintavel.example");
}

TEST(ComposeApplicationErrorMessage, EmptyDescriptionStartsWithTheLineBreak) {
  EXPECT_EQ(ComposeApplicationErrorMessage("", location::kGetSubDirectories, 150),
            "\r\nin Pellorin2021/08/31.AddFolder.GetSubDirectories2016 at line 150\r\r"
            "Please email screenshot of this message to support@lintavel.example");
}

TEST(ReportingProcedure, ReportsEachFailedStepWithItsLineAndGoesOn) {
  std::vector<ApplicationError> reports;
  ReportingProcedure procedure(location::kStartExtracting,
                               [&](const ApplicationError& e) { reports.push_back(e); });
  std::vector<int> ran;
  procedure.Step(100, [&] { ran.push_back(100); });
  procedure.Step(102, [&] {
    ran.push_back(102);
    throw std::runtime_error("first");
  });
  procedure.Step(104, [&] { ran.push_back(104); });
  procedure.Step(106, [&] { throw CodedFailure(20476, "second"); });
  procedure.Step(108, [&] { ran.push_back(108); });

  EXPECT_EQ(ran, (std::vector<int>{100, 102, 104, 108}));
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].line, 102);
  EXPECT_EQ(reports[0].description, "first");
  EXPECT_EQ(reports[0].location, location::kStartExtracting);
  EXPECT_EQ(reports[1].line, 106);
  EXPECT_EQ(reports[1].code, 20476);
  EXPECT_EQ(procedure.reports(), 2);
}

TEST(ReportingProcedure, FailureInACalledHelperCarriesTheCallersLine) {
  const auto helper = [] { throw std::invalid_argument("Type mismatch"); };
  std::vector<ApplicationError> reports;
  ReportingProcedure procedure(location::kStartExtracting,
                               [&](const ApplicationError& e) { reports.push_back(e); });
  procedure.Step(180, [&] { helper(); });
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].line, 180);
}

TEST(ShowApplicationError, ShowsAWarningBoxCaptionedApplicationError) {
  testing::ScriptedDialogs dialogs;
  ShowApplicationError(dialogs, location::kReadFile, 102, "Cannot open 'x': denied");
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].caption, "Application Error");
  EXPECT_EQ(dialogs.shown[0].style, MessageStyle::kOkExclamation);
  EXPECT_EQ(dialogs.shown[0].text,
            "Cannot open 'x': denied\r\nin Morvesk2021/08/31.Main.ReadFileToStringFSOLineWord "
            "at line 102\r\rPlease email screenshot of this message to support@lintavel.example");
}

}  // namespace
}  // namespace lintavel
