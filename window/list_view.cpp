#include "window/list_view.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QProxyStyle>
#include <QScrollBar>
#include <QStyleFactory>
#include <QUrl>
#include <cmath>

#include "window/native_names.h"

namespace lintavel {

namespace {

// How much of a row the list shows: enough for any column a screen can hold, and
// little enough that laying it out costs what a short row costs.
constexpr std::size_t kShownCharacters = 1024;

// At a fractional scale (150 %) a list whose place is not a whole number of
// device pixels loses Fusion's one-pixel frame: the list's clip is rounded inwards
// past the top line, and its header and rows, rounded outwards, paint over the
// others. There the frame takes two logical pixels, and each side is drawn on the
// device pixel in the middle of its band, which neither rounding reaches. Whole
// scales and other styles are left as they are.
class CrispFrameStyle : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;

  int pixelMetric(PixelMetric metric, const QStyleOption* option,
                  const QWidget* widget) const override {
    const int value = QProxyStyle::pixelMetric(metric, option, widget);
    return metric == PM_DefaultFrameWidth && Applies(widget) ? value + 1 : value;
  }

  void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
    if (element != PE_Frame || !Applies(widget)) {
      QProxyStyle::drawPrimitive(element, option, painter, widget);
      return;
    }
    const qreal band = 2 * widget->devicePixelRatio();  // the frame's width in device pixels
    const QRectF outer = painter->deviceTransform().mapRect(QRectF(option->rect));
    const auto middle = [band](qreal start) {
      return static_cast<int>(std::floor(start + band / 2));
    };
    const int left = middle(outer.left());
    const int top = middle(outer.top());
    const int right = middle(outer.right() - band);
    const int bottom = middle(outer.bottom() - band);
    const QColor colour = option->palette.window().color().darker(140).lighter(108);
    // Whole device pixels, filled through the painter's own mapping.
    const QTransform to_widget = painter->deviceTransform().inverted();
    const auto fill = [&](int x, int y, int width, int height) {
      painter->fillRect(to_widget.mapRect(QRectF(x, y, width, height)), colour);
    };
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    fill(left, top, right - left + 1, 1);
    fill(left, bottom, right - left + 1, 1);
    fill(left, top, 1, bottom - top + 1);
    fill(right, top, 1, bottom - top + 1);
    painter->restore();
  }

 private:
  bool Applies(const QWidget* widget) const {
    if (widget == nullptr) return false;
    const qreal ratio = widget->devicePixelRatio();
    return ratio != std::floor(ratio) &&
           baseStyle()->name().compare(QStringLiteral("fusion"), Qt::CaseInsensitive) == 0;
  }
};

}  // namespace

int TextRowsModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant TextRowsModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount() || index.column() != 0) return {};
  if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
  const auto row = static_cast<std::size_t>(index.row());
  // File names that are not UTF-8 keep their bytes in the row and show U+FFFD.
  QString shown = ShownFileName(rows_.Start(row, kShownCharacters));
  if (rows_.Length(row) > kShownCharacters) shown += QChar(0x2026);  // an ellipsis
  return shown;
}

QVariant TextRowsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section != 0 || role != Qt::DisplayRole) return {};
  return headers_.value(0);
}

Qt::ItemFlags TextRowsModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
}

void TextRowsModel::Append(QStringView text) {
  const int row = rowCount();
  beginInsertRows({}, row, row);
  rows_.Append(text);
  endInsertRows();
}

void TextRowsModel::AppendTexts(const QStringList& texts) {
  if (texts.isEmpty()) return;
  const int first = rowCount();
  beginInsertRows({}, first, first + static_cast<int>(texts.size()) - 1);
  for (const QString& text : texts) rows_.Append(text);
  endInsertRows();
}

void TextRowsModel::AppendWords(std::span<const CountedWord> words) {
  if (words.empty()) return;
  const int first = rowCount();
  beginInsertRows({}, first, first + static_cast<int>(words.size()) - 1);
  rows_.AppendWords(words);
  endInsertRows();
}

void TextRowsModel::AppendRows(TextRows&& rows) {
  if (rows.empty()) return;
  const int first = rowCount();
  beginInsertRows({}, first, first + static_cast<int>(rows.size()) - 1);
  rows_.AppendRows(std::move(rows));
  endInsertRows();
}

void TextRowsModel::SetText(std::size_t row, QStringView text) {
  rows_.Set(row, text);
  const QModelIndex changed = index(static_cast<int>(row));
  emit dataChanged(changed, changed, {Qt::DisplayRole});
}

void TextRowsModel::Remove(std::size_t row) {
  beginRemoveRows({}, static_cast<int>(row), static_cast<int>(row));
  rows_.Remove(row);
  endRemoveRows();
}

void TextRowsModel::Clear() {
  beginResetModel();
  rows_.Clear();
  endResetModel();
}

void TextRowsModel::SetColumnHeaders(const QStringList& headers) {
  headers_ = headers;
  emit headerDataChanged(Qt::Horizontal, 0, 0);
}

ListView::ListView(QWidget* parent) : QTableView(parent), model_(this) {
  setModel(&model_);
  // A table with one column and rows of one fixed height: nothing is kept or laid
  // out per row, so millions of rows append, scroll and clear at once.
  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setMinimumSectionSize(1);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 2);
  setShowGrid(false);
  setWordWrap(false);
  setCornerButtonEnabled(false);
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  horizontalHeader()->setHighlightSections(false);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setDragEnabled(false);
  // Tab leaves the list for the next control, as in any list; the arrow keys move
  // between rows.
  setTabKeyNavigation(false);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  // Per item, a single column wider than the view would have nothing to scroll to.
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  horizontalHeader()->setStretchLastSection(false);
  horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  viewport()->setMouseTracking(true);
  horizontalHeader()->setMouseTracking(true);
  viewport()->setCursor(Qt::ArrowCursor);
  // Only the list itself: its header and scroll bars keep the application's style.
  auto* frame_style = new CrispFrameStyle(QStyleFactory::create(QApplication::style()->name()));
  frame_style->setParent(this);
  setStyle(frame_style);
}

int ListView::Count() const { return model_.rowCount(); }

QString ListView::Text(int position) const {
  return model_.rows().Text(static_cast<std::size_t>(position - 1));
}

void ListView::SetText(int position, const QString& text) {
  model_.SetText(static_cast<std::size_t>(position - 1), text);
}

void ListView::Append(const QString& text) { model_.Append(text); }

void ListView::AppendTexts(const QStringList& texts) { model_.AppendTexts(texts); }

void ListView::AppendWords(std::span<const CountedWord> words) { model_.AppendWords(words); }

void ListView::AppendRows(TextRows&& rows) { model_.AppendRows(std::move(rows)); }

void ListView::Remove(int position) { model_.Remove(static_cast<std::size_t>(position - 1)); }

void ListView::Clear() { model_.Clear(); }

int ListView::SelectedPosition() const {
  const QModelIndexList selected = selectionModel()->selectedRows();
  return selected.isEmpty() ? 0 : selected.front().row() + 1;
}

void ListView::Select(int position) {
  const QModelIndex row = model_.index(position - 1);
  selectionModel()->setCurrentIndex(
      row, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

int ListView::HitTest(QPoint point) const {
  const QModelIndex row = indexAt(point);
  return row.isValid() ? row.row() + 1 : 0;
}

void ListView::ScrollIntoView(int position) { scrollTo(model_.index(position - 1)); }

int ListView::ColumnHeaderCount() const { return static_cast<int>(model_.column_headers().size()); }

void ListView::ClearColumnHeaders() { model_.SetColumnHeaders({}); }

void ListView::AddColumnHeader(const QString& text) {
  model_.SetColumnHeaders(model_.column_headers() << text);
}

QString ListView::HeaderText() const { return model_.column_headers().value(0); }

void ListView::SetHeaderText(const QString& text) {
  QStringList headers = model_.column_headers();
  if (headers.isEmpty()) {
    headers << text;
  } else {
    headers[0] = text;
  }
  model_.SetColumnHeaders(headers);
}

void ListView::SetColumnWidthTwips(int twips) { setColumnWidth(0, TwipsToPixels(twips)); }

void ListView::changeEvent(QEvent* event) {
  // Rows are one line of the list's font high.
  if (event->type() == QEvent::FontChange) {
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 2);
  }
  QTableView::changeEvent(event);
}

bool ListView::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::MouseMove) {
    emit PointerMoved(static_cast<QMouseEvent*>(event)->position().toPoint());
  }
  return QTableView::viewportEvent(event);
}

void ListView::SetListPointer(int value, const QCursor& image) {
  viewport()->setCursor(value == 99 ? image : QCursor(Qt::ArrowCursor));
}

void ListView::SetAcceptsFileDrops(bool accepts) {
  setAcceptDrops(accepts);
  viewport()->setAcceptDrops(accepts);
  setDropIndicatorShown(false);
}

void ListView::SetRowDragging(bool on) {
  row_dragging_ = on;
  setDragEnabled(false);
}

void ListView::mousePressEvent(QMouseEvent* event) {
  emit MouseDown();
  QTableView::mousePressEvent(event);
  if (const int position = HitTest(event->position().toPoint()); position != 0) {
    emit RowClicked(position);
  }
}

void ListView::mouseMoveEvent(QMouseEvent* event) {
  if (row_dragging_ && event->buttons() != Qt::NoButton) return;
  QTableView::mouseMoveEvent(event);
}

void ListView::mouseReleaseEvent(QMouseEvent* event) {
  QTableView::mouseReleaseEvent(event);
  emit MouseUp();
}

void ListView::mouseDoubleClickEvent(QMouseEvent* event) {
  QTableView::mouseDoubleClickEvent(event);
  emit RowDoubleClicked();
}

void ListView::keyPressEvent(QKeyEvent* event) {
  emit KeyDown(event->key());
  QTableView::keyPressEvent(event);
}

bool ListViewItemExists(const ListView& list, const QString& text) {
  bool found = false;
  const TextRows& rows = list.rows_model().rows();
  for (std::size_t row = 0; row < rows.size(); ++row) {
    if (rows.Equals(row, text)) found = true;
  }
  return found;
}

QStringList DroppedPaths(const QMimeData* data) {
  QStringList paths;
  if (data == nullptr || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls()) {
    if (!url.isLocalFile()) return {};
    // The path's own bytes: a name that is not UTF-8 arrives percent-encoded and
    // must reach the file system as it was.
    const QString path =
        DecodeFileName(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
    const QString host = url.host();
    paths << (host.isEmpty() ? path : QStringLiteral("//") + host + path);
  }
  return paths;
}

void ListView::dragEnterEvent(QDragEnterEvent* event) {
  if (DroppedPaths(event->mimeData()).isEmpty()) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
}

void ListView::dragMoveEvent(QDragMoveEvent* event) {
  if (DroppedPaths(event->mimeData()).isEmpty()) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
}

void ListView::dropEvent(QDropEvent* event) {
  const QStringList paths = DroppedPaths(event->mimeData());
  if (paths.isEmpty()) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
  emit FilesDropped(paths);
}

}  // namespace lintavel
