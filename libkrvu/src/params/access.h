// Typed reads and writes of controls and attributes, shared by the problem
// (KRVU) and nonlinear (KSLP) interfaces.  Every function throws krvu::Error
// with the calling function's name in the text.
#pragma once
#include <cstdint>
#include <string>

#include "params/table.h"

namespace krvu {

// The parameters of one handle: its values, which sources it answers for, and
// the handle passed to computed attributes.
struct ParamHost {
  ParamValues *values;
  int source_lo, source_hi;  // inclusive range of Source
  const void *handle;
};

int64_t get_int_control(const ParamHost &h, int id, const char *func);
void set_int_control(const ParamHost &h, int id, int64_t value, const char *func);
double get_dbl_control(const ParamHost &h, int id, const char *func);
void set_dbl_control(const ParamHost &h, int id, double value, const char *func);
std::string get_str_control(const ParamHost &h, int id, const char *func);
void set_str_control(const ParamHost &h, int id, const char *value, const char *func);
void set_default_control(const ParamHost &h, int id, const char *func);

int64_t get_int_attrib(const ParamHost &h, int id, const char *func);
double get_dbl_attrib(const ParamHost &h, int id, const char *func);
std::string get_str_attrib(const ParamHost &h, int id, const char *func);

// Copies a string into a caller's buffer with two-call sizing.
void copy_out(const std::string &s, char *buf, int maxbytes, int *nbytes, const char *func);

}  // namespace krvu
