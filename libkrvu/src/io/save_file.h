// The pieces of save files that the nonlinear solver's save files share: a
// nonlinear save file is the library's save file with the nonlinear record
// after the linear one, under its own magic bytes and version.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "io/binary_io.h"

namespace krvu {
namespace io {

// Writes path: magic, version, the linear problem's record, what more adds,
// the checksum.
void save_file(KRVUprob prob, const std::string &path, const char magic[8], uint32_t version,
               const std::function<void(BinWriter &)> &more, const char *func);
// The name KRVUsave and KRVUrestore use for probname (null or empty: the
// problem's name), with ".svf".
std::string save_file_name(KRVUprob prob, const char *probname);
// Restores a save file read into src: checks magic, version and checksum,
// reads the linear record, then calls more (which must read its record and
// throw on a fault) before the problem changes.
// Files of formats oldest .. version are read; r.version() tells more which.
void restore_source(KRVUprob prob, const Source &src, const char magic[8], uint32_t version,
                    const std::function<void(BinReader &, int rows, int cols)> &more,
                    const char *F, uint32_t oldest = 0);

}  // namespace io
}  // namespace krvu
