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

void ConcordanceModel::Clear() {
  beginResetModel();
  text_order_.clear();
  shown_.clear();
  endResetModel();
}

void ConcordanceModel::Append(std::vector<ConcordanceLine> lines) {
  if (lines.empty()) return;
  if (sort_ == KwicSort::kText) {
    const int first = rowCount();
    beginInsertRows({}, first, first + static_cast<int>(lines.size()) - 1);
    text_order_.insert(text_order_.end(), std::make_move_iterator(lines.begin()),
                       std::make_move_iterator(lines.end()));
    endInsertRows();
    return;
  }
  text_order_.insert(text_order_.end(), std::make_move_iterator(lines.begin()),
                     std::make_move_iterator(lines.end()));
  SetSort(sort_);
}

void ConcordanceModel::SetSort(KwicSort sort) {
  beginResetModel();
  sort_ = sort;
  // In text order the lines are shown as held: no second copy of what may be
  // hundreds of thousands of lines.
  shown_.clear();
  if (sort_ != KwicSort::kText) {
    shown_ = text_order_;
    SortConcordance(shown_, sort_);
  }
  endResetModel();
}

int ConcordanceModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(text_order_.size());
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

// What a search shares with the UI thread. `pane` is read only on the UI thread.
struct ConcordancePane::SearchState {
  std::atomic<bool> cancel{false};
  QPointer<ConcordancePane> pane;
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
  failures_.clear();
  message_.clear();
  word_ = Utf8(word);
  search_ = std::make_shared<SearchState>();
  search_->pane = this;
  auto search = search_;
  (void)QtConcurrent::run([search, files = std::move(files), word, options] {
    const auto post = [search](auto work) {
      PostToUi([search, work = std::move(work)]() mutable {
        if (search->pane && !search->cancel) work(*search->pane);
      });
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
    QElapsedTimer since_post;
    since_post.start();
    const auto flush = [&] {
      if (batch.empty()) return;
      post([lines = std::move(batch)](ConcordancePane& pane) mutable {
        pane.model_->Append(std::move(lines));
        // Sized here rather than left to the header, which could miss the lines
        // that came in while the stretched contexts were being laid out.
        pane.table_->resizeColumnToContents(ConcordanceModel::kWord);
        pane.UpdateStatus();
      });
      batch = {};
      since_post.restart();
    };
    try {
      FindConcordance(files, word, searching, [&](const ConcordanceLine& line) {
        batch.push_back(line);
        // The first lines show at once; after that a batch at a time keeps the UI free.
        if (batch.size() >= 2000 || since_post.elapsed() >= 100) flush();
        return !search->cancel.load();
      });
      flush();
    } catch (const std::exception& failure) {
      post([reason = QString::fromStdString(failure.what())](ConcordancePane& pane) {
        pane.message_ = tr("The search failed: %1").arg(reason);
      });
    }
    post([](ConcordancePane& pane) {
      pane.search_.reset();
      pane.UpdateStatus();
      emit pane.SearchEnded();
    });
  });
  UpdateStatus();
}

void ConcordancePane::ShowNote(const QString& note) {
  Cancel();
  model_->Clear();
  failures_.clear();
  word_.clear();
  message_ = note;
  UpdateStatus();
}

void ConcordancePane::Cancel() {
  if (search_) search_->cancel = true;
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
