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
