#include "output/clipboard_output.h"

#include <gtest/gtest.h>

#include "support/qt_printers.h"

#include "support/test_table.h"

namespace lintavel {
namespace {

using testing::TestTable;

// A clipboard that refuses the first `failures` operations of each kind.
class FlakyClipboard : public Clipboard {
 public:
  explicit FlakyClipboard(int failures) : failures_(failures) {}
  bool Clear() override {
    ++clears;
    if (clears <= failures_) return false;
    text = QString();
    return true;
  }
  bool SetText(const QString& value, int format) override {
    ++sets;
    last_format = format;
    if (sets <= failures_) return false;
    text = value;
    return true;
  }
  int clears = 0;
  int sets = 0;
  int last_format = -1;
  QString text = QStringLiteral("what was there before");

 private:
  int failures_;
};

TEST(ListTableText, OneColumnGivesOneWordPerCrLfLine) {
  const TestTable list({"Results (Total Word Count: 3)"}, {{{"apple"}}, {{"pear"}}});
  EXPECT_EQ(ListTableText(list), "apple\r\npear\r\n");
}

TEST(ListTableText, ColumnsArePaddedToTheirWidestCellAndTrimmedAtTheEnd) {
  const TestTable list({"a", "b"}, {{{"ab", "x"}}, {{"abcd", "yz"}}});
  EXPECT_EQ(ListTableText(list), "ab  \tx\r\nabcd\tyz\r\n");
  const TestTable trailing({"a", "b"}, {{{"ab", ""}}, {{"abcd", "long"}}});
  EXPECT_EQ(ListTableText(trailing), "ab  \t\r\nabcd\tlong\r\n");
}

TEST(ListTableText, UncheckedRowsAreLeftOutButStillSetTheWidths) {
  const TestTable list({"a", "b"}, {{{"a", "1"}}, {{"widest", "2"}, false}, {{"b", "3"}}});
  EXPECT_EQ(ListTableText(list), "a     \t1\r\nb     \t3\r\n");
  const TestTable none({"a"}, {{{"x"}, false}});
  EXPECT_EQ(ListTableText(none), "");
}

TEST(CopyListViewToClipboard, AnEmptyListLeavesTheClipboardAlone) {
  FlakyClipboard clipboard(0);
  CopyListViewToClipboard(TestTable({"Results"}, {}), clipboard);
  EXPECT_EQ(clipboard.text, "what was there before");
  EXPECT_EQ(clipboard.clears + clipboard.sets, 0);
}

TEST(CopyListViewToClipboard, AllUncheckedClearsAndSetsTheEmptyText) {
  FlakyClipboard clipboard(0);
  CopyListViewToClipboard(TestTable({"a"}, {{{"x"}, false}}), clipboard);
  EXPECT_EQ(clipboard.text, "");
  EXPECT_EQ(clipboard.clears, 1);
  EXPECT_EQ(clipboard.sets, 1);
}

TEST(CopyListViewToClipboard, RetriesABusyClipboardAndGivesUpAfter1000Tries) {
  FlakyClipboard busy_for_a_while(5);
  CopyListViewToClipboard(TestTable({"a"}, {{{"word"}}}), busy_for_a_while);
  EXPECT_EQ(busy_for_a_while.text, "word\r\n");
  EXPECT_EQ(busy_for_a_while.clears, 6);
  EXPECT_EQ(busy_for_a_while.sets, 6);
  EXPECT_EQ(busy_for_a_while.last_format, 0);

  FlakyClipboard never(1'000'000);
  CopyListViewToClipboard(TestTable({"a"}, {{{"word"}}}), never);
  EXPECT_EQ(never.clears, kClipboardAttempts);
  EXPECT_EQ(never.sets, kClipboardAttempts);
  EXPECT_FALSE(SetClipboardText(never, "x", 0));
}

}  // namespace
}  // namespace lintavel
