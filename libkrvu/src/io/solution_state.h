// The solution a problem holds (LP solution, basis, integer solution and
// their statuses) as a binary record, shared by the binary solution file and
// the save file.
#pragma once
#include "io/binary_io.h"

struct krvu_prob_s;

namespace krvu {
namespace io {

void write_solution_state(BinWriter &w, krvu_prob_s *prob);
// Reads the record and makes it the problem's solution; the record must fit
// rows and cols (else the file is refused).
void read_solution_state(BinReader &r, krvu_prob_s *prob, int rows, int cols);

}  // namespace io
}  // namespace krvu
