#include "window/list_view.h"

#include <gtest/gtest.h>

#include "support/qt_printers.h"

#include <QAbstractItemModelTester>

namespace lintavel {
namespace {

QStringList Texts(const ListView& list) {
  QStringList texts;
  for (int p = 1; p <= list.Count(); ++p) texts << list.Text(p);
  return texts;
}

TEST(ListView, KeepsRowsInTheOrderAddedAndMovesLaterRowsUp) {
  ListView list;
  QAbstractItemModelTester tester(const_cast<TextRowsModel*>(&list.rows_model()),
                                  QAbstractItemModelTester::FailureReportingMode::Fatal);
  for (const char* text : {"one", "two", "three"}) list.Append(QString::fromLatin1(text));
  EXPECT_EQ(Texts(list), (QStringList{"one", "two", "three"}));
  list.Remove(1);
  EXPECT_EQ(Texts(list), (QStringList{"two", "three"}));
  list.SetText(2, QStringLiteral("a much longer text than before"));
  list.Append(QStringLiteral("two"));  // duplicates are allowed
  EXPECT_EQ(Texts(list), (QStringList{"two", "a much longer text than before", "two"}));
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
}

TEST(ListView, RowTextsSurviveManyRewritesAndRemovals) {
  ListView list;
  QStringList expected;
  for (int i = 0; i < 200; ++i) {
    list.Append(QString::number(i));
    expected << QString::number(i);
  }
  for (int round = 0; round < 50; ++round) {
    const int position = 1 + (round * 7) % list.Count();
    list.SetText(position, QStringLiteral("rewritten %1").arg(round));
    expected[position - 1] = QStringLiteral("rewritten %1").arg(round);
    list.Remove(1 + (round * 13) % list.Count());
    expected.removeAt((round * 13) % expected.size());
  }
  EXPECT_EQ(Texts(list), expected);
}

TEST(ListView, AppendsDecodedWordsInOneInsertion) {
  ListView list;
  QAbstractItemModelTester tester(const_cast<TextRowsModel*>(&list.rows_model()),
                                  QAbstractItemModelTester::FailureReportingMode::Fatal);
  const std::vector<CountedWord> words = {{"caf\xe9", 1}, {"\x80uro", 2}};
  list.AppendWords(words);
  list.AppendWords({});
  EXPECT_EQ(Texts(list), (QStringList{QStringLiteral("caf\u00e9"), QStringLiteral("\u20acuro")}));
}

TEST(TextRows, LongWordsKeptAsBytesReadLikeDecodedOnesThroughEveryChange) {
  auto arena = std::make_shared<WordArena>();
  const std::string long_word = std::string(TextRows::kLongWordBytes, 'x') + "\x80\xe9";
  const std::vector<CountedWord> words = {{arena->Store("caf\xe9"), 1},
                                          {arena->Store(long_word), 1},
                                          {arena->Store(long_word + "y"), 2}};
  const QString decoded =
      QString(static_cast<qsizetype>(long_word.size() - 2), u'x') + QStringLiteral("\u20ac\u00e9");
  TextRows rows;
  rows.AppendWords(words, arena);
  TextRows more;
  more.Append(u"first");
  more.AppendWords(words, arena);
  arena.reset();  // the rows share what they keep
  more.AppendRows(std::move(rows));
  more.Set(2, u"rewritten");
  more.Remove(0);
  const QString cafe = QStringLiteral("caf\u00e9");
  const QStringList expected = {cafe, "rewritten", decoded + "y", cafe, decoded, decoded + "y"};
  ASSERT_EQ(more.size(), 6u);
  QString scratch;
  for (std::size_t row = 0; row < more.size(); ++row) {
    const QString& want = expected[static_cast<qsizetype>(row)];
    EXPECT_EQ(more.Text(row), want) << row;
    EXPECT_EQ(more.View(row, scratch), want) << row;
    EXPECT_EQ(more.Length(row), static_cast<std::size_t>(want.size()));
    EXPECT_EQ(more.Start(row, 5), want.left(5));
    EXPECT_TRUE(more.Equals(row, want));
    EXPECT_FALSE(more.Equals(row, want.chopped(1) + u'z'));
  }
  const TextRows copy = more;  // as a workbook's snapshot takes them
  more.Clear();
  EXPECT_EQ(copy.Text(4), decoded);
}

TEST(ListView, SelectionHitTestAndHeaders) {
  ListView list;
  list.resize(300, 200);
  for (const char* text : {"a", "b", "c"}) list.Append(QString::fromLatin1(text));
  EXPECT_EQ(list.SelectedPosition(), 0);
  list.Select(2);
  EXPECT_EQ(list.SelectedPosition(), 2);
  const QRect second = list.visualRect(list.rows_model().index(1));
  EXPECT_EQ(list.HitTest(second.center()), 2);
  EXPECT_EQ(list.HitTest(QPoint(5, 190)), 0);

  list.AddColumnHeader(QStringLiteral("File(s)"));
  EXPECT_EQ(list.HeaderText(), "File(s)");
  list.SetHeaderText(QStringLiteral("Results (Total Word Count: 3)"));
  EXPECT_EQ(list.rows_model().headerData(0, Qt::Horizontal).toString(),
            "Results (Total Word Count: 3)");
  list.ClearColumnHeaders();
  EXPECT_EQ(list.ColumnHeaderCount(), 0);
  list.SetColumnWidthTwips(7000);
  EXPECT_EQ(list.columnWidth(0), 467);
}

}  // namespace
}  // namespace lintavel
