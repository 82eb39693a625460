// The nonlinear sections of problem files (slpfile.cpp writes them,
// slpfile_read.cpp reads them).
#pragma once
#include <string>
#include <string_view>

#include "io/iobase.h"
#include "slp/slpcopy.h"

namespace krvu {
namespace slp {

enum FileSection {
  kSecUserFunctions,
  kSecFormulas,
  kSecRows,
  kSecColumns,
  kSecTolsets,
  kSecDfs,
  kSecControls,
  kNumFileSections
};
extern const char *const kFileSections[kNumFileSections];

// Whether entry k of the parameter table is a control a file keeps.
bool file_control(size_t k);

// Name fields: as they are when they hold no blank and do not start with a
// quote, else in double quotes with a quote inside doubled.
std::string field_text(std::string_view s);
std::string quoted(std::string_view s);
// Reads the field at line[i...] (skipping blanks first) into *out; false at
// the end of the line, or with *err set for an unterminated quote.
bool next_field(const std::string &line, size_t &i, std::string *out, std::string *err);

// Reads the nonlinear sections collected from a file whose linear part is m
// into *nl and the controls into *params; throws Error with the file and line
// of a fault.
void read_sections(const io::MpsExtension &ext, const ModelData &m, const std::string &path,
                   NlModel *nl, ParamValues *params);

}  // namespace slp
}  // namespace krvu
