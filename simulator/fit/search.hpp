// Local refinement of a grid's best point: golden-section search in one dimension, Nelder–Mead in several.
//
// Both maximise a score. They ask for scores in batches (a batch's points
// do not depend on each other's scores), so that a caller can spread a batch
// over processes; the points asked for, and so the result, depend only on
// the scores, never on how a batch was computed.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <functional>
#include <vector>

namespace velmorant::fit {

using Point = std::vector<double>;
// Scores (higher is better) of a batch of points, in the order given.
using BatchScore = std::function<std::vector<double>(const std::vector<Point>& batch)>;

struct SearchResult {
  Point best;
  double score = 0;
  int evaluations = 0;  // points scored by the search
};

// Maximum of f on [low, high] by golden-section search: the two inner points
// first (one batch), then one point per step, until the bracket is narrower
// than `tolerance` or `max_evaluations` points were scored. `known`/`known_score`
// is a point already scored (the grid's best); the result is never worse.
SearchResult golden_section(double low, double high, double tolerance, int max_evaluations,
                            double known, double known_score, const BatchScore& f);

// Maximum of f by the Nelder–Mead simplex (reflection 1, expansion 2,
// contraction 1/2, shrink 1/2) from `start` (score `start_score`, already
// known) and the vertices start + scale_i e_i (one batch). Points are kept
// within [low_i, high_i]. A round stops when every vertex lies within
// tolerance * scale_i of the best along every axis; a new round starts from
// the best point with the first simplex size while the last one improved it
// (at most 4 rounds: a simplex can collapse early in a long valley). Stops
// after max_evaluations points at the latest.
SearchResult nelder_mead(const Point& start, double start_score, const Point& scale,
                         const Point& low, const Point& high, double tolerance, int max_evaluations,
                         const BatchScore& f);

}  // namespace velmorant::fit
