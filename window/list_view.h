#pragma once

#include <QAbstractListModel>
#include <QCursor>
#include <QMimeData>
#include <QStringList>
#include <QTableView>
#include <span>

#include "engine/word_counter.h"
#include "window/text_rows.h"

namespace lintavel {

// The rows of one list as a Qt model: one column, whose header text is set by the
// program, and rows that stay in the order they were added.
class TextRowsModel : public QAbstractListModel {
  Q_OBJECT

 public:
  using QAbstractListModel::QAbstractListModel;

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  const TextRows& rows() const { return rows_; }
  void Append(QStringView text);
  void AppendTexts(const QStringList& texts);
  void AppendWords(std::span<const CountedWord> words);
  void AppendRows(TextRows&& rows);
  void SetText(std::size_t row, QStringView text);
  void Remove(std::size_t row);
  void Clear();

  QStringList column_headers() const { return headers_; }
  void SetColumnHeaders(const QStringList& headers);

 private:
  TextRows rows_;
  QStringList headers_;
};

// A list in report view with one column: the program's two lists. Positions are
// 1-based, as the program counts rows; 0 stands for no row.
class ListView : public QTableView {
  Q_OBJECT

 public:
  explicit ListView(QWidget* parent = nullptr);

  int Count() const;
  QString Text(int position) const;
  void SetText(int position, const QString& text);
  void Append(const QString& text);
  // Appends many rows in one insertion.
  void AppendTexts(const QStringList& texts);
  void AppendWords(std::span<const CountedWord> words);
  // Appends rows prepared elsewhere (for example on a worker thread) at once.
  void AppendRows(TextRows&& rows);
  void Remove(int position);
  void Clear();

  // The selected row's position, or 0 when no row is selected.
  int SelectedPosition() const;
  void Select(int position);
  // The position of the row under `point` in the list's own pixels, or 0.
  int HitTest(QPoint point) const;
  void ScrollIntoView(int position);

  int ColumnHeaderCount() const;
  void ClearColumnHeaders();
  void AddColumnHeader(const QString& text);
  QString HeaderText() const;
  void SetHeaderText(const QString& text);
  void SetColumnWidthTwips(int twips);

  const TextRowsModel& rows_model() const { return model_; }

  // The list's own pointer: arrow (1), or custom (99) showing `image`.
  void SetListPointer(int value, const QCursor& image = {});
  // Accepts drops that bring files or folders (file URLs); refuses everything else.
  void SetAcceptsFileDrops(bool accepts);
  // While a mouse button is held the program moves rows; the view then neither
  // drags rows out nor moves its selection with the pointer.
  void SetRowDragging(bool on);

 signals:
  // The pointer moved over the list's rows, at `point` in the list's own pixels.
  void PointerMoved(QPoint point);
  void MouseDown();
  // A press on a row, after the row was selected.
  void RowClicked(int position);
  void MouseUp();
  void RowDoubleClicked();
  void KeyDown(int key);
  // The local paths of a drop, in the order the system gave them.
  void FilesDropped(const QStringList& paths);

 protected:
  bool viewportEvent(QEvent* event) override;
  void changeEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  TextRowsModel model_;
  bool row_dragging_ = false;
};

// True when some row of `list` has exactly `text` (same characters, same case).
bool ListViewItemExists(const ListView& list, const QString& text);

// The local paths that a drop offers, or none when it offers anything but files.
QStringList DroppedPaths(const QMimeData* data);

// Twips, the unit of the window's layout, in pixels at 96 dots per inch.
constexpr int TwipsToPixels(int twips) { return (twips + 7) / 15; }

}  // namespace lintavel
