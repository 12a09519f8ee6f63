// Keeps the exception that is set while clean-up code runs, then restores it.
#pragma once

#include "pyref.hpp"

class PendingError {
  public:
    PendingError() { PyErr_Fetch(&type_, &value_, &traceback_); }
    ~PendingError() { PyErr_Restore(type_, value_, traceback_); }
    PendingError(const PendingError&) = delete;
    PendingError& operator=(const PendingError&) = delete;

  private:
    PyObject* type_ = nullptr;
    PyObject* value_ = nullptr;
    PyObject* traceback_ = nullptr;
};
