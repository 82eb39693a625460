// Owning references and lock guards used throughout the extension.
#pragma once
#define PY_SSIZE_T_CLEAN
#include <Python.h>
#include <pthread.h>
#include <utility>

namespace korvu {

// An owned (strong) reference.  Construct with steal() for a new reference
// returned by an API call, or with borrow() to take a reference of our own.
class PyRef {
 public:
  PyRef() noexcept : p_(nullptr) {}
  static PyRef steal(PyObject *p) noexcept { return PyRef(p); }
  static PyRef borrow(PyObject *p) noexcept {
    Py_XINCREF(p);
    return PyRef(p);
  }
  PyRef(const PyRef &o) noexcept : p_(o.p_) { Py_XINCREF(p_); }
  PyRef(PyRef &&o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  PyRef &operator=(PyRef o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  ~PyRef() { Py_XDECREF(p_); }

  PyObject *get() const noexcept { return p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  // Hands the reference to the caller (for returning to Python).
  PyObject *release() noexcept {
    PyObject *p = p_;
    p_ = nullptr;
    return p;
  }
  void reset(PyObject *stolen = nullptr) noexcept {
    PyObject *old = p_;
    p_ = stolen;
    Py_XDECREF(old);
  }

 private:
  explicit PyRef(PyObject *p) noexcept : p_(p) {}
  PyObject *p_;
};

// Holds the interpreter lock for a scope; for code called from library threads.
class GilGuard {
 public:
  GilGuard() : state_(PyGILState_Ensure()) {}
  ~GilGuard() { PyGILState_Release(state_); }
  GilGuard(const GilGuard &) = delete;
  GilGuard &operator=(const GilGuard &) = delete;

 private:
  PyGILState_STATE state_;
};

// Releases the interpreter lock for a scope (around long library calls).
class GilRelease {
 public:
  GilRelease() : state_(PyEval_SaveThread()) {}
  ~GilRelease() { PyEval_RestoreThread(state_); }
  GilRelease(const GilRelease &) = delete;
  GilRelease &operator=(const GilRelease &) = delete;

 private:
  PyThreadState *state_;
};

}  // namespace korvu
