#include "window/word_statistics_runner.h"

#include <QPointer>
#include <QtConcurrent>
#include <algorithm>
#include <filesystem>

#include "corpus/corpus_run.h"
#include "corpus/list_dispersion.h"
#include "corpus/stop_lists.h"
#include "shell/error_report.h"
#include "window/native_names.h"
#include "window/ui_relay.h"

namespace lintavel {

// What a worker shares with the UI thread. `runner` is read only on the UI thread.
struct WordStatisticsRunner::RunState {
  std::atomic<bool> cancel{false};
  QPointer<WordStatisticsRunner> runner;
  int last_percent = -1;  // worker only
};

WordStatisticsRunner::WordStatisticsRunner(QObject* parent) : QObject(parent) {}

WordStatisticsRunner::~WordStatisticsRunner() { Cancel(); }

void WordStatisticsRunner::Start(const QStringList& files, const StatisticsOptions& options) {
  Cancel();
  run_ = std::make_shared<RunState>();
  run_->runner = this;
  std::vector<std::filesystem::path> paths;
  paths.reserve(static_cast<std::size_t>(files.size()));
  for (const QString& file : files) paths.emplace_back(EncodeFileName(file).toStdString());
  auto run = run_;
  (void)QtConcurrent::run([run, paths = std::move(paths), options] {
    const auto deliver = [run](auto signal) {
      PostToUi([run, signal = std::move(signal)] {
        if (!run->runner || run->cancel) return;
        run->runner->run_.reset();
        signal(*run->runner);
      });
    };
    const auto fail = [&deliver](const std::string& reason) {
      deliver([reason = QString::fromStdString(reason)](WordStatisticsRunner& runner) {
        emit runner.Failed(reason);
      });
    };
    auto outcome = std::make_shared<StatisticsOutcome>();
    outcome->options = options;
    outcome->paths = paths;
    ExtractionOptions engine;
    engine.encoding = options.encoding;
    engine.html = options.html;
    engine.words = options.words;
    engine.split_elisions = options.split_elisions && options.words == WordRule::kUnicode;
    engine.ngrams = options.ngrams;
    engine.cancel = &run->cancel;
    engine.on_failure = [&outcome](const FileFailure& failure) {
      outcome->reports.push_back(FailureMessage(failure));
    };
    engine.on_ill_formed = [&outcome](const std::filesystem::path& file, std::uint64_t count,
                                      InputEncoding encoding) {
      outcome->reports.push_back(file.string() + ": " + std::to_string(count) + " ill-formed " +
                                 (encoding == InputEncoding::kUtf16 ? "UTF-16" : "UTF-8") +
                                 " sequence(s) read as U+FFFD");
    };
    engine.on_html_unclosed = [&outcome](const std::filesystem::path& file, std::string_view what,
                                         std::uint64_t line) {
      outcome->reports.push_back(file.string() + ": " + std::string(what) + " from line " +
                                 std::to_string(line) + " is never closed");
    };
    try {
      CorpusSettings settings;
      settings.fold_case = options.fold_case;
      settings.per_file = true;
      StopWords stop_words;
      try {
        const std::vector<std::filesystem::path> lists(options.stop_lists.begin(),
                                                       options.stop_lists.end());
        stop_words = ReadStopLists(lists, engine, settings.fold_case);
      } catch (const StopListError& failure) {
        fail(failure.what());
        return;
      }
      // Counted a file at a time for the dispersion, each reporting its own share:
      // the files before it are added to make the whole run's.
      std::uint64_t all_bytes = 0;
      for (const auto& path : paths) {
        std::error_code unknown;
        const std::uintmax_t size = std::filesystem::file_size(path, unknown);
        if (!unknown) all_bytes += size;
      }
      const bool by_file = !options.ngrams.active();
      std::uint64_t done = 0;  // the bytes of the files counted before
      engine.progress = [run, by_file, all_bytes, &done](const ExtractionProgress& progress) {
        double fraction = progress.fraction();
        if (by_file && all_bytes != 0) {
          fraction = std::min(1.0, static_cast<double>(done + progress.bytes_done) /
                                       static_cast<double>(all_bytes));
          if (progress.files_done == progress.files_total) done += progress.bytes_total;
        }
        const int percent = static_cast<int>(fraction * 100.0);
        if (percent == run->last_percent) return;
        run->last_percent = percent;
        PostToUi([run, percent] {
          if (run->runner && !run->cancel) emit run->runner->Progress(percent);
        });
      };
      CorpusRun result;
      if (by_file) {
        DispersedRun dispersed = ExtractCorpusByFile(paths, engine, settings, stop_words);
        if (dispersed.run.cancelled || run->cancel) return;
        result = std::move(dispersed.run);
        auto scores = ScoreListDispersion(result.list, dispersed.parts, &run->cancel);
        if (run->cancel) return;
        outcome->dispersion =
            std::make_shared<const std::vector<DispersionScores>>(std::move(scores));
      } else {
        result = ExtractCorpus(paths, engine, settings, stop_words);
      }
      if (result.cancelled || run->cancel) return;
      outcome->files_read = result.files_read;
      outcome->list = std::make_shared<const CorpusList>(std::move(result.list));
    } catch (const std::bad_alloc&) {
      fail("out of memory while counting the words");
      return;
    } catch (const std::exception& failure) {
      fail(failure.what());
      return;
    }
    deliver([outcome = std::shared_ptr<const StatisticsOutcome>(std::move(outcome))](
                WordStatisticsRunner& runner) { emit runner.Finished(outcome); });
  });
}

void WordStatisticsRunner::Cancel() {
  if (run_) run_->cancel = true;
  run_.reset();
}

}  // namespace lintavel
