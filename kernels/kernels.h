// Numerical kernels: the model y'' = -E*y as a first-order system, its classical
// fourth-order Runge-Kutta step, and the quadrature of equally spaced samples.
#pragma once

#include <string_view>

namespace eigenshoot {

// The shared area holding the eigenvalue parameter that the model reads. The solver
// stages store E here before every march; nothing else writes it.
struct ctsarea {
  double E = 0.0;
};
extern ctsarea cts;

// Size of the model's state vector (y1, y2). It is the only size the model supports.
inline constexpr int nmodel = 2;
static_assert(nmodel == 2, "derivad defines the two components y1 = y and y2 = y'");

// Right-hand side of the model: dydx(1) = y(2), dydx(2) = -(E*y(1)), with E taken from cts.
// x and n are not consulted; dydx must not share storage with y.
void derivad(double x, const double* y, double* dydx, int n);

// One classical Runge-Kutta step of length h from the state y at position x; the new state
// goes to ynew, which must be distinct from y. n must be nmodel; any other size is a fault
// of the caller and throws std::invalid_argument.
void mirungekutta4(double x, double h, const double* y, int n, double* ynew);

// Integrates npts equally spaced samples f over [a, b]: im = 1 selects the trapezoidal rule,
// im = 2 the Simpson-type rule with interior weights 2/3 (even positions) and 4/3 (odd
// positions). Any other im tells the message "Valor IM no valid" once per interior position
// and leaves the result 0.0. With npts below 2 there is no interval: the result is 0.0 and no
// message is told.
void myintegrator(int im, double a, double b, const double* f, int npts, double& result);

// Where the quadrature tells its message: the solver writes it to standard output. Until a
// place is given, the message is not told.
void quadraturemessages(void (*tell)(std::string_view message));

}  // namespace eigenshoot
