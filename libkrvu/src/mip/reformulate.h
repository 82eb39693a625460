// Exact reformulation of the model parts the engine's MIP solver does not take
// (special ordered sets, indicator rows, general and piecewise-linear
// constraints, partially integer columns, semi-continuous and semi-integer
// columns above the engine's upper-bound limit) into rows, binary, integer and
// continuous columns.
//
// The reformulated model keeps the original columns at 0..ncols-1 and the
// original rows at 0..nrows-1, with the original objective; new columns (cost
// 0) and rows are appended.  A solution of the reformulated model restricted to
// the first ncols columns is a solution of the original with the same
// objective, and every solution of the original extends to one of the
// reformulated model.  The activities of the original rows are unchanged
// except for the rows that carried an indicator: those hold the relaxed row
// (the original row plus a multiple of the indicator column), so their slacks
// are to be taken from the original model.
//
// Big-M values come from column bounds (as the relaxation sees them) and from
// the activity bounds of rows; nothing is capped and no bound is invented.
// Where a value needed is infinite, the reformulation fails and says which
// row, column, set or constraint is the cause.
//
// Conventions:
//  - indicator columns and the argument columns of and/or constraints must be
//    binary (type B, or I with bounds within [0, 1]); the resultant of and/or
//    is held to [0, 1] (its bounds are tightened in the output);
//  - constant values of and/or are true when non-zero; and() of nothing is 1,
//    or() of nothing 0; abs takes exactly one argument (a column or a value);
//  - a piecewise-linear function continues beyond its first and last
//    breakpoints along its first and last segments; where there is no such
//    segment (a single point, or a jump at the end: two points with the same
//    x) the column cannot go beyond that breakpoint.  At a jump both values are
//    allowed, and a point whose neighbours both share its x is an isolated
//    value of its own;
//  - in a set, members are ordered by reference weight (ties keep their
//    order); a column listed twice in an SOS1 counts once.
#pragma once
#include <string>

#include "model/store.h"

namespace krvu {

// Semi-continuous and semi-integer columns above this upper bound are not
// taken by the engine.
constexpr double kEngineMaxSemiUpper = 1e5;

// True when the model has anything reformulate_for_engine must rewrite.
bool needs_reformulation(const ModelData &m);

// Builds in *out the equivalent model the engine takes.  feastol is the
// feasibility tolerance: an indicator row whose relaxation would be looser by
// no more than it is kept as a plain row.  On failure returns false, *why
// says what and where, and *out is left as it was.
bool reformulate_for_engine(const ModelData &in, ModelData *out, std::string *why,
                            double feastol);

}  // namespace krvu
