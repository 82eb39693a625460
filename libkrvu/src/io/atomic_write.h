// Writing a file so that a failure leaves no half-written file: a regular
// file is written under a temporary name in the same folder and renamed at
// the end; devices, pipes and symbolic links, and folders where no new file
// can be made, are written directly.
#pragma once
#include <functional>
#include <string>

#include "io/iobase.h"

namespace krvu {
namespace io {

// Calls write with an output for path (compressed when gz) and commits it.
// Errors thrown by write or by the commit leave any existing file as it was.
void write_atomically(const std::string &path, bool gz,
                      const std::function<void(Out &)> &write);

// The file name a solution, basis or save function uses: filename, or when
// it is empty the problem's name (or "problem") with the extension.
std::string file_or_default(KRVUprob prob, const char *filename, const char *ext);

// Names in the whitespace-separated text files (basis, solutions): any
// name without blanks.
bool text_name_ok(std::string_view s);

// Fails unless every character of flags is one of allowed.
std::string check_file_flags(const char *flags, const char *allowed, const char *func);

}  // namespace io
}  // namespace krvu
