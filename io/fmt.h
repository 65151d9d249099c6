// Fortran edit descriptors for whole-record formatted output.
//
// Every function returns exactly w characters, right-aligned, as a Fortran
// runtime (gfortran) prints them: a value that does not fit fills the field
// with asterisks; 1PEw.d drops the letter E for a three-digit exponent.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace io::fmt {

// Iw, and Iw.m (at least m digits, leading zeros).
std::string I(std::int64_t v, int w, int m = 1);

// Iw written at out (w characters, no terminator).
void put_I(char* out, std::int64_t v, int w);

// Fw.d: fixed point with d decimals.
std::string F(double v, int w, int d);

// 1PEw.d: one digit before the point, d after it, exponent E+dd (or +ddd).
std::string E(double v, int w, int d);

// The same w characters written at out (no terminator): for loops that
// print many numbers into one buffer.
void put_E(char* out, double v, int w, int d);

// Aw: the text cut or right-aligned (blank-padded on the left) to w columns.
std::string A(std::string_view s, int w);

// w asterisks.
std::string stars(int w);

}  // namespace io::fmt
