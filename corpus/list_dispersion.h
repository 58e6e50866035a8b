#pragma once

#include <atomic>
#include <span>
#include <vector>

#include "corpus/dispersion.h"
#include "corpus/list_writer.h"
#include "corpus/word_list.h"

namespace lintavel {

// The dispersion of each word of `list` over the parts of `parts`, in the list's
// order, scored by ScoreDispersion as lintavel-extract --dispersion files scores it.
// Gives nothing once `cancel` is set.
std::vector<DispersionScores> ScoreListDispersion(const CorpusList& list, const PartCounts& parts,
                                                  const std::atomic<bool>* cancel = nullptr);

// The juilland_d and gries_dp columns of a list whose words have `scores` (in the
// list's order), written as lintavel-extract --dispersion writes them: six decimals,
// D empty where a word has none. `scores` must outlive the columns.
ListColumns DispersionColumns(std::span<const DispersionScores> scores);

}  // namespace lintavel
