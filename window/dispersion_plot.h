#pragma once

#include <QString>
#include <QWidget>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "corpus/concordance.h"
#include "engine/extraction.h"

namespace lintavel {

class Dialogs;

// One strip of a dispersion plot: a file, or the whole corpus, and where in it the
// word occurs, each place from 0 (its start) to 1 (its end), in text order.
struct DispersionStrip {
  QString label;
  std::vector<double> ticks;
};

// Where one occurrence of a word stands: what the plot needs of a ConcordanceLine.
struct DispersionPlace {
  std::size_t file_index = 0;
  std::uint64_t byte_offset = 0;
};

// The strips of `places` (text order, as FindConcordance gives them) over `files`,
// whose texts are `sizes` long: one strip per file, even one without the word, when
// there are at most `most_strips` files, else a single strip of the files end to end.
std::vector<DispersionStrip> DispersionStrips(std::span<const std::filesystem::path> files,
                                              std::span<const std::uint64_t> sizes,
                                              std::span<const DispersionPlace> places,
                                              std::size_t most_strips);

// How long the text of `file` is, in the measure of ConcordanceLine::byte_offset, as
// far as can be told without reading it: its size, halved for UTF-16 (mostly one
// byte a character in UTF-8). HTML's markup is counted too; 0 for a file gone.
std::uint64_t TextLength(const std::filesystem::path& file, InputEncoding encoding);

// The dispersion plot of the selected word: a horizontal strip per file, or one for
// the corpus when there are many files, and a thin vertical tick at each place the
// word occurs. Drawn in the palette's colours; exports as PNG or SVG.
class DispersionPlot : public QWidget {
  Q_OBJECT

 public:
  explicit DispersionPlot(Dialogs& dialogs, QWidget* parent = nullptr);

  // Shows where `word` occurs: `places` are those of its concordance over `files`.
  void SetOccurrences(const QString& word, std::span<const std::filesystem::path> files,
                      std::span<const DispersionPlace> places, InputEncoding encoding);
  // Shows no word.
  void Clear();
  // Asks for a file and saves the plot there: SVG when its name ends in .svg, else PNG.
  void Export();

  const std::vector<DispersionStrip>& strips() const { return strips_; }
  // The drawing itself, without the export button.
  QWidget* canvas() const;

 private:
  class Canvas;
  Dialogs& dialogs_;
  Canvas* canvas_ = nullptr;
  std::vector<DispersionStrip> strips_;
};

// The most files the plot gives a strip each.
inline constexpr std::size_t kDispersionStripsShown = 24;

}  // namespace lintavel
