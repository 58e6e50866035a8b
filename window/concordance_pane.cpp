#include "window/concordance_pane.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QTableView>
#include <QVBoxLayout>
#include <QtConcurrent>
#include <deque>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "shell/dialogs.h"
#include "window/native_names.h"
#include "window/ui_relay.h"

namespace lintavel {

namespace {

QString Utf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString PathText(const std::filesystem::path& path) {
  return DecodeFileName(
      QByteArrayView(path.native().data(), static_cast<qsizetype>(path.native().size())));
}

}  // namespace

ConcordanceModel::ConcordanceModel(QObject* parent) : QAbstractTableModel(parent) {}

ConcordanceModel::~ConcordanceModel() { DiscardLater(std::move(lines_)); }

void ConcordanceModel::Clear() {
  beginResetModel();
  DiscardLater(std::exchange(lines_, {}));
  shown_ = {};
  ++generation_;
  worker_sorting_ = false;
  endResetModel();
}

void ConcordanceModel::Append(std::vector<ConcordanceLine>&& lines) {
  if (lines.empty()) return;
  const int first = rowCount();
  beginInsertRows({}, first, first + static_cast<int>(lines.size()) - 1);
  lines_.Append(std::move(lines));
  endInsertRows();
  if (sort_ != KwicSort::kText) Sort();
}

void ConcordanceModel::SetSort(KwicSort sort) {
  sort_ = sort;
  ++generation_;
  worker_sorting_ = false;
  Reorder({});
  if (sort_ != KwicSort::kText) Sort();
}

void ConcordanceModel::Reorder(std::vector<const ConcordanceLine*> shown) {
  // The same lines in a new order: the view keeps its current and selected lines
  // where they went, rather than losing them with every order chosen and every
  // round of a long sort.
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  const QModelIndexList before = persistentIndexList();
  std::vector<const ConcordanceLine*> held;
  held.reserve(static_cast<std::size_t>(before.size()));
  std::unordered_map<const ConcordanceLine*, int> rows;
  for (const QModelIndex& index : before) {
    held.push_back(&Line(index.row()));
    rows.emplace(held.back(), index.row());
  }
  shown_ = std::move(shown);
  std::size_t left = rows.size();
  for (int row = 0; row < rowCount() && left != 0; ++row) {
    if (const auto found = rows.find(&Line(row)); found != rows.end()) {
      found->second = row;
      --left;
    }
  }
  QModelIndexList after;
  after.reserve(before.size());
  for (qsizetype i = 0; i < before.size(); ++i) {
    after.append(index(rows.at(held[static_cast<std::size_t>(i)]), before[i].column()));
  }
  changePersistentIndexList(before, after);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void ConcordanceModel::Sort() {
  // So few lines sort in a few milliseconds: at once, and a test or a user sees
  // them in order as soon as the order is chosen.
  constexpr std::size_t kSortedAtOnce = 20000;
  if (lines_.size() <= kSortedAtOnce) {
    Sorted(generation_, SortedLines(lines_.blocks(), lines_.size(), sort_));
    return;
  }
  if (worker_sorting_) return;  // lines added since it began are sorted when it is done
  worker_sorting_ = true;
  (void)QtConcurrent::run(&ConcordanceWorker(), [model = QPointer<ConcordanceModel>(this),
                                                 generation = generation_, blocks = lines_.blocks(),
                                                 count = lines_.size(), sort = sort_]() mutable {
    auto sorted = SortedLines(blocks, count, sort);
    PostToUi([model, generation, sorted = std::move(sorted)]() mutable {
      // The lines pointed to are still the model's while the generation is the same.
      if (model) model->Sorted(generation, std::move(sorted));
    });
    // Dropped here rather than on the UI thread, should the model have let them go.
    blocks.clear();
  });
}

void ConcordanceModel::Sorted(unsigned generation, std::vector<const ConcordanceLine*> lines) {
  if (generation != generation_) return;
  worker_sorting_ = false;
  Reorder(std::move(lines));
  if (shown_.size() < lines_.size()) Sort();
}

int ConcordanceModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(lines_.size());
}

int ConcordanceModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant ConcordanceModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const ConcordanceLine& line = Line(index.row());
  if (role == Qt::TextAlignmentRole) {
    switch (index.column()) {
      case kLeft:
      case kLine:
        return QVariant(Qt::AlignRight | Qt::AlignVCenter);
      case kWord:
        return QVariant(Qt::AlignHCenter | Qt::AlignVCenter);
      default:
        return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    }
  }
  if (role == Qt::ToolTipRole && index.column() == kFile) return PathText(line.path);
  if (role != Qt::DisplayRole) return {};
  switch (index.column()) {
    case kFile:
      return PathText(line.path.filename());
    case kLine:
      return QString::number(line.line);
    case kLeft:
      return Utf8(line.left);
    case kWord:
      return Utf8(line.word);
    case kRight:
      return Utf8(line.right);
    default:
      return {};
  }
}

QVariant ConcordanceModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return {};
  switch (section) {
    case kFile:
      return tr("File");
    case kLine:
      return tr("Line");
    case kLeft:
      return tr("Left context");
    case kWord:
      return tr("Word");
    case kRight:
      return tr("Right context");
    default:
      return {};
  }
}

// What a search shares with the UI thread. `pane` is read only on the UI thread;
// the rest under `mutex`.
struct ConcordancePane::SearchState {
  std::atomic<bool> cancel{false};
  QPointer<ConcordancePane> pane;
  std::mutex mutex;
  std::deque<std::vector<ConcordanceLine>> found;  // batches the UI thread has yet to take
  bool taking = false;                             // a call of TakeLines is on its way
  bool ended = false;                              // the worker has posted its last batch
  std::vector<DispersionPlace> places;             // handed over with the last batch
  QString failure;                                 // why the search failed, if it did
};

ConcordancePane::ConcordancePane(Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), dialogs_(dialogs) {
  setAccessibleName(tr("Concordance"));
  setAccessibleDescription(tr("The lines in which the selected word occurs"));
  model_ = new ConcordanceModel(this);
  sort_ = new QComboBox(this);
  sort_->addItems({tr("Text order"), tr("By right context"), tr("By left context")});
  sort_->setAccessibleName(tr("Concordance order"));
  sort_->setAccessibleDescription(
      tr("Order the lines by place in the text, by the word after or the word before"));
  sort_->setToolTip(sort_->accessibleDescription());
  table_ = new QTableView(this);
  table_->setModel(model_);
  table_->setAccessibleName(tr("Concordance lines"));
  table_->setAccessibleDescription(
      tr("Each occurrence: file, line, left context, word, right context; double-click opens "
         "the file"));
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setWordWrap(false);
  table_->verticalHeader()->hide();
  table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 4);
  table_->horizontalHeader()->setSectionResizeMode(ConcordanceModel::kLeft, QHeaderView::Stretch);
  table_->horizontalHeader()->setSectionResizeMode(ConcordanceModel::kRight, QHeaderView::Stretch);

  status_ = new QLabel(this);
  status_->setAccessibleName(tr("Concordance status"));
  status_->setAccessibleDescription(tr("How many lines were found, and what could not be read"));
  status_->setWordWrap(true);
  auto* top = new QHBoxLayout;
  top->addWidget(status_, 1);
  top->addWidget(sort_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(top);
  layout->addWidget(table_, 1);
  setTabOrder(sort_, table_);
  connect(sort_, &QComboBox::currentIndexChanged, this, [this](int index) {
    constexpr KwicSort kSorts[] = {KwicSort::kText, KwicSort::kRight, KwicSort::kLeft};
    model_->SetSort(kSorts[std::clamp(index, 0, 2)]);
  });
  connect(table_, &QTableView::doubleClicked, this,
          [this](const QModelIndex& index) { OpenRow(index.row()); });
  UpdateStatus();
}

ConcordancePane::~ConcordancePane() { Cancel(); }

void ConcordancePane::Show(std::vector<std::filesystem::path> files, const std::string& word,
                           const ConcordanceOptions& options) {
  Cancel();
  model_->Clear();
  places_ = {};
  failures_.clear();
  message_.clear();
  word_ = Utf8(word);
  search_ = std::make_shared<SearchState>();
  search_->pane = this;
  auto search = search_;
  (void)QtConcurrent::run(&ConcordanceWorker(), [search, files = std::move(files), word, options] {
    const auto post = [search](auto work) {
      PostToUi([search, work = std::move(work)]() mutable {
        if (search->pane && !search->cancel) work(*search->pane);
      });
    };
    // The lines go through a queue the UI thread empties at its own pace: posted one
    // batch an event, a fast search would queue more than the UI thread could take
    // in one turn of its event loop, and stall it for seconds.
    const auto hand_over = [&](auto fill) {
      bool wake = false;
      {
        std::lock_guard lock(search->mutex);
        fill(*search);
        wake = !std::exchange(search->taking, true);
      }
      if (wake) post([search](ConcordancePane& pane) { pane.TakeLines(search); });
    };
    ConcordanceOptions searching = options;
    searching.cancel = &search->cancel;
    searching.on_failure = [&post](const FileFailure& failure) {
      post([message = QString::fromStdString(FailureMessage(failure))](ConcordancePane& pane) {
        pane.failures_ << message;
        pane.UpdateStatus();
      });
    };
    std::vector<ConcordanceLine> batch;
    std::vector<DispersionPlace> places;
    QElapsedTimer since_post;
    since_post.start();
    const auto flush = [&] {
      if (batch.empty()) return;
      hand_over([&](SearchState& state) { state.found.push_back(std::exchange(batch, {})); });
      since_post.restart();
    };
    QString failure;
    try {
      FindConcordance(files, word, searching, [&](const ConcordanceLine& line) {
        batch.push_back(line);
        places.push_back({line.file_index, line.byte_offset});
        // The first lines show at once; after that a batch at a time keeps the UI free.
        if (batch.size() >= 2000 || since_post.elapsed() >= 100) flush();
        return !search->cancel.load();
      });
      flush();
    } catch (const std::exception& error) {
      failure = QString::fromStdString(error.what());
    }
    hand_over([&](SearchState& state) {
      state.places = std::move(places);
      state.failure = failure;
      state.ended = true;
    });
  });
  UpdateStatus();
}

void ConcordancePane::TakeLines(const std::shared_ptr<SearchState>& search) {
  // Short enough to keep the window responsive, long enough that the lines of a
  // common word come in within seconds.
  constexpr qint64 kTurnMs = 8;
  constexpr int kSizedRows = 2000;
  QElapsedTimer turn;
  turn.start();
  const int rows_before = model_->rowCount();
  bool ended = false;
  // The batches' vectors were allocated by the worker: freeing them here could wait
  // on its allocator's lock while it is not running.
  std::vector<std::vector<ConcordanceLine>> spent;
  for (;;) {
    std::vector<ConcordanceLine> lines;
    {
      std::lock_guard lock(search->mutex);
      if (search->found.empty()) {
        search->taking = false;
        ended = search->ended;
        if (ended) {
          places_ = std::move(search->places);
          if (!search->failure.isEmpty()) {
            message_ = tr("The search failed: %1").arg(search->failure);
          }
        }
        break;
      }
      if (turn.elapsed() >= kTurnMs) {
        // Still `taking`: the rest is for the next turn.
        PostToUi([search] {
          if (search->pane && !search->cancel) search->pane->TakeLines(search);
        });
        break;
      }
      lines = std::move(search->found.front());
      search->found.pop_front();
    }
    model_->Append(std::move(lines));
    spent.push_back(std::move(lines));
  }
  if (!spent.empty()) (void)QtConcurrent::run(&ConcordanceWorker(), [spent = std::move(spent)] {});
  // The word column is sized from the rows in view and a thousand about them, so
  // later rows far below would not change it.
  if (rows_before < kSizedRows || ended) {
    table_->resizeColumnToContents(ConcordanceModel::kWord);
  }
  if (ended) search_.reset();
  UpdateStatus();
  if (ended) emit SearchEnded();
}

void ConcordancePane::ShowNote(const QString& note) {
  Cancel();
  model_->Clear();
  places_ = {};
  failures_.clear();
  word_.clear();
  message_ = note;
  UpdateStatus();
}

void ConcordancePane::Cancel() {
  if (!search_) return;
  search_->cancel = true;
  std::deque<std::vector<ConcordanceLine>> untaken;
  {
    std::lock_guard lock(search_->mutex);
    untaken.swap(search_->found);
  }
  // Lines the UI thread had yet to take may be many: freed on a worker.
  if (!untaken.empty())
    (void)QtConcurrent::run(&ConcordanceWorker(), [doomed = std::move(untaken)] {});
  search_.reset();
}

QString ConcordancePane::status_text() const { return status_->text(); }

void ConcordancePane::UpdateStatus() {
  QStringList parts;
  if (!word_.isEmpty()) {
    parts << tr("%n line(s) with “%1”", nullptr, model_->rowCount()).arg(word_);
  }
  if (search_) parts << tr("searching…");
  parts << failures_;
  if (!message_.isEmpty()) parts << message_;
  status_->setText(parts.join(QStringLiteral("; ")));
}

void ConcordancePane::OpenRow(int row) {
  if (row < 0 || row >= model_->rowCount()) return;
  const ConcordanceLine& line = model_->Line(row);
  const QString path = PathText(line.path);
  // The desktop's default handler takes a file, not a line: the line is told here.
  if (dialogs_.ShellOpen(QLatin1Char('"') + path + QLatin1Char('"'))) {
    message_ = tr("Opened %1 (the word is on line %2)").arg(path).arg(line.line);
  } else {
    message_ =
        tr("No application is set to open %1; the word is on line %2").arg(path).arg(line.line);
  }
  UpdateStatus();
}

}  // namespace lintavel
