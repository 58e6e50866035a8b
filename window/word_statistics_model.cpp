#include "window/word_statistics_model.h"

#include <algorithm>
#include <limits>
#include <numeric>
#include <string_view>

#include "engine/code_page.h"

namespace lintavel {

namespace {

// Ordinal order of the words' characters: UTF-8 bytes order as code points do;
// Windows-1252 bytes are compared as the characters they stand for.
bool WordLess(std::string_view a, std::string_view b, WordEncoding encoding) {
  if (encoding == WordEncoding::kUtf8) return a < b;
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return DecodeCp1252(static_cast<unsigned char>(x)) <
           DecodeCp1252(static_cast<unsigned char>(y));
  });
}

// The start of `word` as a number that orders as WordLess does wherever the numbers
// differ: eight UTF-8 bytes, or four Windows-1252 characters as UTF-16 units.
std::uint64_t PrefixKey(std::string_view word, WordEncoding encoding) {
  std::uint64_t key = 0;
  const std::size_t units = encoding == WordEncoding::kUtf8 ? 8 : 4;
  for (std::size_t i = 0; i < units; ++i) {
    const unsigned char byte = i < word.size() ? static_cast<unsigned char>(word[i]) : 0;
    key = encoding == WordEncoding::kUtf8
              ? (key << 8) | byte
              : (key << 16) | std::uint64_t{byte ? DecodeCp1252(byte) : char16_t{0}};
  }
  return key;
}

// `text` in the words' encoding; false when some character has no byte there.
bool EncodeNeedle(const QString& text, WordEncoding encoding, std::string& out) {
  if (encoding == WordEncoding::kUtf8) {
    out = text.toStdString();
    return true;
  }
  const std::u16string_view units(reinterpret_cast<const char16_t*>(text.utf16()),
                                  static_cast<std::size_t>(text.size()));
  out = EncodeCp1252(units);
  for (std::size_t i = 0; i < units.size(); ++i) {
    if (DecodeCp1252(static_cast<unsigned char>(out[i])) != units[i]) return false;
  }
  return true;
}

}  // namespace

QString WordText(std::string_view word, WordEncoding encoding) {
  if (encoding == WordEncoding::kUtf8) {
    return QString::fromUtf8(word.data(), static_cast<qsizetype>(word.size()));
  }
  QString text(static_cast<qsizetype>(word.size()), Qt::Uninitialized);
  QChar* out = text.data();
  for (const char byte : word) *out++ = QChar(DecodeCp1252(static_cast<unsigned char>(byte)));
  return text;
}

WordStatisticsModel::WordStatisticsModel(QObject* parent) : QAbstractTableModel(parent) {}

void WordStatisticsModel::SetList(std::shared_ptr<const CorpusList> list,
                                  std::shared_ptr<const WordDispersions> dispersion) {
  beginResetModel();
  list_ = std::move(list);
  dispersion_ = std::move(dispersion);
  order_.resize(list_ ? list_->words.size() : 0);
  std::iota(order_.begin(), order_.end(), std::uint32_t{0});
  view_ = order_;
  filter_.clear();
  needle_.clear();
  needle_valid_ = true;
  endResetModel();
}

void WordStatisticsModel::SetFilter(const QString& needle) {
  const bool narrow = !pattern_ && !filter_.isEmpty() && needle.contains(filter_);
  pattern_.reset();
  filter_ = needle;
  needle_valid_ =
      !list_ || EncodeNeedle(needle, list_->encoding, needle_);  // no such byte: no match
  Refilter(narrow);
}

void WordStatisticsModel::SetPattern(std::shared_ptr<const ListFilter> pattern) {
  pattern_ = std::move(pattern);
  Refilter(false);
}

void WordStatisticsModel::Refilter(bool narrow) {
  beginResetModel();
  if (list_ && pattern_) {
    view_.clear();
    for (const std::uint32_t i : order_) {
      if (pattern_->Keeps(list_->words[i].word, list_->encoding)) view_.push_back(i);
    }
  } else if (!list_ || filter_.isEmpty()) {
    view_ = order_;
  } else if (!needle_valid_) {
    view_.clear();
  } else {
    const std::vector<std::uint32_t>& from = narrow ? view_ : order_;
    std::vector<std::uint32_t> kept;
    kept.reserve(narrow ? from.size() : from.size() / 8);
    const std::string_view needle = needle_;
    for (const std::uint32_t i : from) {
      if (list_->words[i].word.find(needle) != std::string_view::npos) kept.push_back(i);
    }
    view_ = std::move(kept);
  }
  endResetModel();
}

QString WordStatisticsModel::Word(int row) const {
  return WordText(list_->words[view_[static_cast<std::size_t>(row)]].word, list_->encoding);
}

int WordStatisticsModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(view_.size());
}

int WordStatisticsModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant WordStatisticsModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount() || index.column() >= kColumnCount) return {};
  if (role == Qt::TextAlignmentRole) {
    return index.column() == kWord ? QVariant(Qt::AlignLeft | Qt::AlignVCenter)
                                   : QVariant(Qt::AlignRight | Qt::AlignVCenter);
  }
  if (role != Qt::DisplayRole) return {};
  return StatisticsCell(*list_, dispersion_.get(), view_[static_cast<std::size_t>(index.row())],
                        index.column());
}

QString StatisticsCell(const CorpusList& list, const WordDispersions* dispersion,
                       std::uint32_t index, int column) {
  const CorpusWord& word = list.words[index];
  const double total = list.total == 0 ? 1.0 : static_cast<double>(list.total);
  switch (column) {
    case WordStatisticsModel::kWord:
      return WordText(word.word, list.encoding);
    case WordStatisticsModel::kCount:
      return QString::number(word.count);
    case WordStatisticsModel::kPercent:
      return QString::number(static_cast<double>(word.count) * 100.0 / total, 'f', 4);
    case WordStatisticsModel::kPerMillion:
      return QString::number(static_cast<double>(word.count) * 1e6 / total, 'f', 2);
    case WordStatisticsModel::kFiles:
      return QString::number(word.files);
    case WordStatisticsModel::kJuillandD:
      if (dispersion == nullptr || !(*dispersion)[index].juilland_d) return {};
      return QString::number(*(*dispersion)[index].juilland_d, 'f', 6);
    case WordStatisticsModel::kGriesDp:
      if (dispersion == nullptr) return {};
      return QString::number((*dispersion)[index].gries_dp, 'f', 6);
    default:
      return {};
  }
}

QVariant WordStatisticsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Vertical) {
    return role == Qt::DisplayRole ? QVariant(section + 1) : QVariant();
  }
  switch (role) {
    case Qt::DisplayRole:
      return StatisticsHeader(section);
    case Qt::ToolTipRole:
    case Qt::AccessibleDescriptionRole: {
      const QString description = StatisticsHeaderDescription(section);
      return description.isEmpty() ? QVariant() : QVariant(description);
    }
    default:
      return {};
  }
}

QString StatisticsHeader(int column) {
  switch (column) {
    case WordStatisticsModel::kWord:
      return WordStatisticsModel::tr("Word");
    case WordStatisticsModel::kCount:
      return WordStatisticsModel::tr("Count");
    case WordStatisticsModel::kPercent:
      return WordStatisticsModel::tr("% of total");
    case WordStatisticsModel::kPerMillion:
      return WordStatisticsModel::tr("Per million");
    case WordStatisticsModel::kFiles:
      return WordStatisticsModel::tr("Files");
    case WordStatisticsModel::kJuillandD:
      return WordStatisticsModel::tr("Juilland's D");
    case WordStatisticsModel::kGriesDp:
      return WordStatisticsModel::tr("Gries's DP");
    default:
      return {};
  }
}

QString StatisticsHeaderDescription(int column) {
  switch (column) {
    case WordStatisticsModel::kJuillandD:
      return WordStatisticsModel::tr(
          "Juilland's D over the input files (juilland_d in the CSV): 1 for a word spread "
          "evenly over them, near 0 for one in few of them; empty with fewer than two files "
          "of words, and for sequences of words");
    case WordStatisticsModel::kGriesDp:
      return WordStatisticsModel::tr(
          "Gries's DP over the input files (gries_dp in the CSV): 0 for a word spread over "
          "them as their sizes are, near 1 for one in few of them; empty for sequences of "
          "words");
    default:
      return {};
  }
}

void WordStatisticsModel::sort(int column, Qt::SortOrder order) {
  if (!list_) return;
  const std::vector<CorpusWord>& words = list_->words;
  const WordEncoding encoding = list_->encoding;
  // From the list's own order each time, so that ties always stand as the list has them.
  std::iota(order_.begin(), order_.end(), std::uint32_t{0});
  const bool up = order == Qt::AscendingOrder;
  if (column == kWord) {
    // Sorting on a number held beside each index touches the words themselves only
    // for equal starts, which keeps the sort in the cache.
    std::vector<std::pair<std::uint64_t, std::uint32_t>> keyed(order_.size());
    for (std::uint32_t i = 0; i < keyed.size(); ++i) {
      keyed[i] = {PrefixKey(words[i].word, encoding), i};
    }
    std::sort(keyed.begin(), keyed.end(), [&](const auto& a, const auto& b) {
      if (a.first != b.first) return a.first < b.first;
      return WordLess(words[a.second].word, words[b.second].word, encoding);
    });
    for (std::size_t i = 0; i < keyed.size(); ++i) {
      order_[up ? i : keyed.size() - 1 - i] = keyed[i].second;
    }
  } else if (column == kFiles) {
    std::stable_sort(order_.begin(), order_.end(), [&](std::uint32_t a, std::uint32_t b) {
      return up ? words[a].files < words[b].files : words[b].files < words[a].files;
    });
  } else if (column == kJuillandD || column == kGriesDp) {
    // No scores (sequences of words): the list's order. A word without a D stands
    // below every figure. The figures are held beside the indices, as the words'
    // starts are, and equal ones keep the list's order either way.
    if (dispersion_) {
      const WordDispersions& scores = *dispersion_;
      std::vector<std::pair<double, std::uint32_t>> keyed(order_.size());
      for (std::uint32_t i = 0; i < keyed.size(); ++i) {
        const DispersionScores& word = scores[i];
        keyed[i] = {column == kGriesDp
                        ? word.gries_dp
                        : word.juilland_d.value_or(-std::numeric_limits<double>::infinity()),
                    i};
      }
      std::stable_sort(keyed.begin(), keyed.end(), [up](const auto& a, const auto& b) {
        return up ? a.first < b.first : b.first < a.first;
      });
      for (std::size_t i = 0; i < keyed.size(); ++i) order_[i] = keyed[i].second;
    }
  } else if (column != kCount || !up) {
    // The list is already least frequent first, so ascending count needs no work.
    std::stable_sort(order_.begin(), order_.end(), [&](std::uint32_t a, std::uint32_t b) {
      return up ? words[a].count < words[b].count : words[b].count < words[a].count;
    });
  }
  Refilter(false);
}

}  // namespace lintavel
