#include "window/concordance_pane.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QTableView>
#include <fstream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "support/scripted_dialogs.h"
#include "support/temp_dir.h"
#include "support/wait.h"
#include "window/concordance_lines.h"

namespace lintavel {
namespace {

using testing::ScriptedDialogs;
using testing::TempDir;
using testing::WaitUntil;

std::string FirstWordOf(const std::string& text) {
  const std::size_t start = text.find_first_not_of(' ');
  if (start == std::string::npos) return {};
  return text.substr(start, text.find(' ', start) - start);
}

std::string LastWordOf(const std::string& text) {
  const std::size_t end = text.find_last_not_of(' ');
  if (end == std::string::npos) return {};
  const std::size_t blank = text.rfind(' ', end);
  const std::size_t start = blank == std::string::npos ? 0 : blank + 1;
  return text.substr(start, end + 1 - start);
}

TEST(ConcordanceLines, KeepTheirPlaceAsTheyGrowAndSortAsTheLinesThemselves) {
  std::vector<ConcordanceLine> made;
  for (std::uint64_t i = 0; i < 10000; ++i) {
    ConcordanceLine line;
    line.file_index = i % 3 == 0 ? 1 : 0;
    line.byte_offset = i;
    line.left = "a w" + std::to_string(i % 7);
    line.right = "w" + std::to_string(i % 11) + " b";
    made.push_back(line);
  }
  ConcordanceLines lines;
  const ConcordanceLine* first = nullptr;
  std::size_t from = 0;
  // Batches of every size about the block's: one line, a block less one, more than a block.
  for (const std::size_t batch : {std::size_t{1}, ConcordanceLines::kBlockLines - 1, std::size_t{1},
                                  std::size_t{5000}, made.size()}) {
    const std::size_t to = std::min(made.size(), from + batch);
    lines.Append(std::vector<ConcordanceLine>(made.begin() + from, made.begin() + to));
    from = to;
    if (!first) first = &lines[0];
  }
  ASSERT_EQ(lines.size(), made.size());
  EXPECT_EQ(&lines[0], first);
  for (std::size_t i = 0; i < made.size(); ++i) ASSERT_EQ(lines[i].byte_offset, i) << i;

  for (const KwicSort sort : {KwicSort::kText, KwicSort::kRight, KwicSort::kLeft}) {
    for (const std::size_t count : {std::size_t{0}, std::size_t{4097}, made.size()}) {
      SCOPED_TRACE(static_cast<int>(sort));
      SCOPED_TRACE(count);
      std::vector<ConcordanceLine> expected(made.begin(), made.begin() + count);
      SortConcordance(expected, sort);
      const auto sorted = SortedLines(lines.blocks(), count, sort);
      ASSERT_EQ(sorted.size(), count);
      for (std::size_t i = 0; i < count; ++i) {
        ASSERT_EQ(sorted[i]->byte_offset, expected[i].byte_offset) << i;
      }
    }
  }
}

class ConcordancePaneTest : public ::testing::Test {
 protected:
  // A file of `lines` lines "wA x wB" (A = number % 7, B = number % 11), from line 1.
  std::filesystem::path WriteLines(int lines) {
    const std::filesystem::path file = dir_.path() / "long.txt";
    std::ofstream out(file, std::ios::binary);
    for (int i = 1; i <= lines; ++i) out << 'w' << i % 7 << " x w" << i % 11 << '\n';
    return file;
  }

  bool Search(const std::filesystem::path& file, const std::string& word) {
    pane_.Show({file}, word, {});
    return WaitUntil([&] { return !pane_.searching() && !pane_.model().sorting(); });
  }

  TempDir dir_;
  ScriptedDialogs dialogs_;
  ConcordancePane pane_{dialogs_};
};

// More lines than are sorted on the UI thread: they come in in several inserts of a
// batch each, at the end, and a worker sorts them.
TEST_F(ConcordancePaneTest, ALongConcordanceComesInBatchesAndIsSortedOnAWorker) {
  constexpr int kLines = 30000;
  const std::filesystem::path file = WriteLines(kLines);
  ConcordanceModel& model = pane_.model();
  std::vector<std::pair<int, int>> inserts;
  QObject::connect(
      &model, &QAbstractItemModel::rowsInserted,
      [&](const QModelIndex&, int first, int last) { inserts.emplace_back(first, last); });
  ASSERT_TRUE(Search(file, "x"));
  ASSERT_EQ(model.rowCount(), kLines);
  ASSERT_GT(inserts.size(), 1u);
  int next = 0;
  for (const auto& [first, last] : inserts) {
    EXPECT_EQ(first, next);
    EXPECT_LE(last - first + 1, 2000);
    next = last + 1;
  }
  for (int row = 0; row < kLines; ++row) ASSERT_EQ(model.Line(row).line, row + 1u) << row;
  ASSERT_EQ(pane_.places().size(), static_cast<std::size_t>(kLines));
  for (int row = 0; row < kLines; ++row) {
    ASSERT_EQ(pane_.places()[row].byte_offset, model.Line(row).byte_offset) << row;
  }

  // By the right context, then, when another search streams in, by the left.
  auto* order = pane_.findChild<QComboBox*>();
  ASSERT_NE(order, nullptr);
  struct Case {
    int index;
    std::string (*key)(const ConcordanceLine&);
  };
  const Case cases[] = {
      {1, [](const ConcordanceLine& line) { return FirstWordOf(line.right); }},
      {2, [](const ConcordanceLine& line) { return LastWordOf(line.left); }},
  };
  auto* view = pane_.findChild<QTableView*>();
  ASSERT_NE(view, nullptr);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.index);
    // The line the user is on stays current through the new order.
    view->setCurrentIndex(model.index(12345, ConcordanceModel::kRight));
    const std::uint64_t current = model.Line(12345).line;
    order->setCurrentIndex(c.index);
    if (c.index == 1) {
      ASSERT_TRUE(WaitUntil([&] { return !model.sorting(); }));
      ASSERT_TRUE(view->currentIndex().isValid());
      EXPECT_EQ(model.Line(view->currentIndex().row()).line, current);
      EXPECT_EQ(view->currentIndex().column(), ConcordanceModel::kRight);
    }
    if (c.index == 2) pane_.Show({file}, "x", {});
    ASSERT_TRUE(WaitUntil([&] { return !pane_.searching() && !model.sorting(); }));
    ASSERT_EQ(model.rowCount(), kLines);
    std::set<std::uint64_t> seen;
    for (int row = 0; row < kLines; ++row) {
      seen.insert(model.Line(row).line);
      if (row == 0) continue;
      const ConcordanceLine& before = model.Line(row - 1);
      const ConcordanceLine& line = model.Line(row);
      ASSERT_TRUE(c.key(before) < c.key(line) ||
                  (c.key(before) == c.key(line) && before.line < line.line))
          << row;
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(kLines));
  }
}

// Another word chosen while the lines of the first still come: only its lines stay.
TEST_F(ConcordancePaneTest, AnotherWordEndsTheSearchUnderWay) {
  const std::filesystem::path file = WriteLines(30000);
  pane_.Show({file}, "x", {});
  ASSERT_TRUE(Search(file, "w3"));
  ConcordanceModel& model = pane_.model();
  // w3 stands before x on lines 3, 10, ... and after it on lines 3, 14, ...
  int expected = 0;
  for (int i = 1; i <= 30000; ++i) expected += (i % 7 == 3) + (i % 11 == 3);
  ASSERT_EQ(model.rowCount(), expected);
  for (int row = 0; row < model.rowCount(); ++row) ASSERT_EQ(model.Line(row).word, "w3") << row;
  EXPECT_EQ(pane_.places().size(), static_cast<std::size_t>(expected));
}

}  // namespace
}  // namespace lintavel
