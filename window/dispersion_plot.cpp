#include "window/dispersion_plot.h"

#include <QPainter>
#include <algorithm>
#include <system_error>

#include "window/native_names.h"
#include "window/word_statistics_charts.h"

namespace lintavel {

namespace {

QString FileLabel(const std::filesystem::path& file) {
  const std::filesystem::path name_path = file.filename();
  const std::string& name = name_path.native();
  return DecodeFileName(QByteArrayView(name.data(), static_cast<qsizetype>(name.size())));
}

double Place(std::uint64_t offset, std::uint64_t length) {
  if (length == 0) return 0.0;
  return std::clamp(static_cast<double>(offset) / static_cast<double>(length), 0.0, 1.0);
}

}  // namespace

std::vector<DispersionStrip> DispersionStrips(std::span<const std::filesystem::path> files,
                                              std::span<const std::uint64_t> sizes,
                                              std::span<const DispersionPlace> places,
                                              std::size_t most_strips) {
  std::vector<DispersionStrip> strips;
  const auto size_of = [&](std::size_t file) { return file < sizes.size() ? sizes[file] : 0; };
  if (files.size() <= most_strips) {
    strips.resize(files.size());
    for (std::size_t f = 0; f < files.size(); ++f) strips[f].label = FileLabel(files[f]);
    for (const DispersionPlace& line : places) {
      if (line.file_index >= strips.size()) continue;
      strips[line.file_index].ticks.push_back(Place(line.byte_offset, size_of(line.file_index)));
    }
    return strips;
  }
  // Too many files for a strip each: the files end to end, in their order.
  std::vector<std::uint64_t> starts(files.size() + 1, 0);
  for (std::size_t f = 0; f < files.size(); ++f) starts[f + 1] = starts[f] + size_of(f);
  DispersionStrip& corpus = strips.emplace_back();
  corpus.label = QObject::tr("%n file(s)", nullptr, static_cast<int>(files.size()));
  for (const DispersionPlace& line : places) {
    if (line.file_index >= files.size()) continue;
    const std::uint64_t within = std::min(line.byte_offset, size_of(line.file_index));
    corpus.ticks.push_back(Place(starts[line.file_index] + within, starts.back()));
  }
  return strips;
}

std::uint64_t TextLength(const std::filesystem::path& file, InputEncoding encoding) {
  std::error_code error;
  const std::uint64_t size = std::filesystem::file_size(file, error);
  if (error) return 0;
  // The offsets count the bytes of the text decoded to UTF-8: one per byte of
  // Windows-1252 and of UTF-8, near one per two bytes of UTF-16. HTML's offsets are
  // in the text left by the filter, so its strips read a little short of the end.
  return encoding == InputEncoding::kUtf16 ? size / 2 : size;
}

// Paints the strips; what it draws is the plot's, so that a grab or an SVG of it
// is the plot as shown.
class DispersionPlot::Canvas : public QWidget {
 public:
  explicit Canvas(const DispersionPlot& plot, QWidget* parent) : QWidget(parent), plot_(plot) {
    setMinimumHeight(120);
  }

  QString title;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const QPalette& colours = palette();
    painter.fillRect(rect(), colours.base());
    painter.setPen(colours.text().color());
    const QFontMetrics metrics(font());
    const int line = metrics.height();
    const int margin = line / 2;
    painter.drawText(QRect(margin, margin, width() - 2 * margin, line), Qt::AlignCenter, title);
    const auto& strips = plot_.strips();
    if (strips.empty()) return;
    int label_width = 0;
    for (const DispersionStrip& strip : strips) {
      label_width = std::max(label_width, metrics.horizontalAdvance(strip.label));
    }
    label_width = std::min(label_width, width() / 3);
    const int left = margin + label_width + margin;
    const int right = width() - margin;
    const int top = margin + line + margin;
    const int bottom = height() - margin - line;  // room for the scale under the strips
    if (right <= left || bottom <= top) return;
    const double strip_height =
        static_cast<double>(bottom - top) / static_cast<double>(strips.size());
    const QColor frame = colours.mid().color();
    const QColor tick = colours.text().color();
    for (std::size_t s = 0; s < strips.size(); ++s) {
      const int y0 = top + static_cast<int>(strip_height * static_cast<double>(s));
      const int y1 = top + static_cast<int>(strip_height * static_cast<double>(s + 1)) - 2;
      const QRect box(left, y0, right - left, std::max(1, y1 - y0));
      painter.setPen(colours.text().color());
      painter.drawText(QRect(margin, y0, label_width, box.height()),
                       Qt::AlignRight | Qt::AlignVCenter,
                       metrics.elidedText(strips[s].label, Qt::ElideMiddle, label_width));
      painter.setPen(frame);
      painter.drawRect(box);
      painter.setPen(QPen(tick, 1));
      // Ticks that fall on one pixel column are drawn once: a common word's
      // hundreds of thousands of places cost no more than the plot's width.
      int last_x = -1;
      for (const double place : strips[s].ticks) {
        const int x = left + static_cast<int>(place * static_cast<double>(right - left - 1));
        if (x == last_x) continue;
        painter.drawLine(x, box.top() + 1, x, box.bottom() - 1);
        last_x = x;
      }
    }
    painter.setPen(colours.text().color());
    painter.drawText(QRect(left, bottom, right - left, line), Qt::AlignLeft | Qt::AlignTop,
                     tr("start"));
    painter.drawText(QRect(left, bottom, right - left, line), Qt::AlignRight | Qt::AlignTop,
                     tr("end"));
  }

 private:
  const DispersionPlot& plot_;
};

DispersionPlot::DispersionPlot(Dialogs& dialogs, QWidget* parent)
    : QWidget(parent), dialogs_(dialogs) {
  setAccessibleName(tr("Dispersion plot"));
  setAccessibleDescription(
      tr("Where the selected word occurs: a strip per file, a tick at each place"));
  canvas_ = new Canvas(*this, this);
  canvas_->setAccessibleName(accessibleName());
  canvas_->setAccessibleDescription(accessibleDescription());
  LayOutWithExportButton(*this, *canvas_, [this] { Export(); });
  Clear();
}

void DispersionPlot::SetOccurrences(const QString& word,
                                    std::span<const std::filesystem::path> files,
                                    std::span<const DispersionPlace> places,
                                    InputEncoding encoding) {
  std::vector<std::uint64_t> sizes;
  sizes.reserve(files.size());
  for (const auto& file : files) sizes.push_back(TextLength(file, encoding));
  strips_ = DispersionStrips(files, sizes, places, kDispersionStripsShown);
  canvas_->title =
      tr("Dispersion of “%1”: %n occurrence(s)", nullptr, static_cast<int>(places.size()))
          .arg(word);
  canvas_->update();
}

void DispersionPlot::Clear() {
  strips_.clear();
  canvas_->title = tr("Select a word to see where it occurs");
  canvas_->update();
}

QWidget* DispersionPlot::canvas() const { return canvas_; }

void DispersionPlot::Export() { ExportChartImage(dialogs_, *canvas_, canvas_->title); }

}  // namespace lintavel
