// Householder reduction and implicit-shift QL for the symmetric 4x4 problem.
// SPDX-License-Identifier: BSD-3-Clause
#include "orientation/scoring/symmetric_eigen4.hpp"

#include <algorithm>
#include <cmath>

namespace talvor {

namespace {

constexpr int kOrder = 4;
// Relative size below which an off-diagonal element counts as zero.
constexpr float kNegligible = 2.0e-7f;

// Reduces the symmetric matrix held in v to tridiagonal form by Householder
// reflections, accumulating the transformations in v. On return d holds the
// diagonal and e[1..3] the sub-diagonal (e[0] = 0).
void Tridiagonalize(Matrix4& v, std::array<float, 4>& d, std::array<float, 4>& e) {
  const int n = kOrder;
  for (int j = 0; j < n; ++j) d[j] = v[n - 1][j];

  for (int i = n - 1; i > 0; --i) {
    float scale = 0.0f;
    float h = 0.0f;
    for (int k = 0; k < i; ++k) scale += std::fabs(d[k]);
    if (scale == 0.0f) {
      e[i] = d[i - 1];
      for (int j = 0; j < i; ++j) {
        d[j] = v[i - 1][j];
        v[i][j] = 0.0f;
        v[j][i] = 0.0f;
      }
    } else {
      for (int k = 0; k < i; ++k) {
        d[k] /= scale;
        h += d[k] * d[k];
      }
      float f = d[i - 1];
      float g = std::sqrt(h);
      if (f > 0.0f) g = -g;
      e[i] = scale * g;
      h -= f * g;
      d[i - 1] = f - g;
      for (int j = 0; j < i; ++j) e[j] = 0.0f;
      for (int j = 0; j < i; ++j) {
        f = d[j];
        v[j][i] = f;
        g = e[j] + v[j][j] * f;
        for (int k = j + 1; k <= i - 1; ++k) {
          g += v[k][j] * d[k];
          e[k] += v[k][j] * f;
        }
        e[j] = g;
      }
      f = 0.0f;
      for (int j = 0; j < i; ++j) {
        e[j] /= h;
        f += e[j] * d[j];
      }
      const float hh = f / (h + h);
      for (int j = 0; j < i; ++j) e[j] -= hh * d[j];
      for (int j = 0; j < i; ++j) {
        f = d[j];
        g = e[j];
        for (int k = j; k <= i - 1; ++k) v[k][j] -= (f * e[k] + g * d[k]);
        d[j] = v[i - 1][j];
        v[i][j] = 0.0f;
      }
    }
    d[i] = h;
  }

  // Accumulate the reflections into the orthogonal matrix v.
  for (int i = 0; i < n - 1; ++i) {
    v[n - 1][i] = v[i][i];
    v[i][i] = 1.0f;
    const float h = d[i + 1];
    if (h != 0.0f) {
      for (int k = 0; k <= i; ++k) d[k] = v[k][i + 1] / h;
      for (int j = 0; j <= i; ++j) {
        float g = 0.0f;
        for (int k = 0; k <= i; ++k) g += v[k][i + 1] * v[k][j];
        for (int k = 0; k <= i; ++k) v[k][j] -= g * d[k];
      }
    }
    for (int k = 0; k <= i; ++k) v[k][i + 1] = 0.0f;
  }
  for (int j = 0; j < n; ++j) {
    d[j] = v[n - 1][j];
    v[n - 1][j] = 0.0f;
  }
  v[n - 1][n - 1] = 1.0f;
  e[0] = 0.0f;
}

// QL iterations with implicit shifts on the tridiagonal (d, e), rotating the
// columns of v along. False when an eigenvalue needs more than `limit` sweeps.
bool DiagonalizeTridiagonal(Matrix4& v, std::array<float, 4>& d, std::array<float, 4>& e,
                            int limit) {
  const int n = kOrder;
  for (int i = 1; i < n; ++i) e[i - 1] = e[i];
  e[n - 1] = 0.0f;

  float shift_sum = 0.0f;
  float largest = 0.0f;  // largest |d(l)| + |e(l)| met so far
  for (int l = 0; l < n; ++l) {
    largest = std::max(largest, std::fabs(d[l]) + std::fabs(e[l]));
    int m = l;
    while (m < n - 1 && std::fabs(e[m]) > kNegligible * largest) ++m;
    if (m > l) {
      int iterations = 0;
      do {
        if (iterations == limit) return false;
        ++iterations;
        // Shift from the leading 2x2 block.
        float g = d[l];
        float p = (d[l + 1] - g) / (2.0f * e[l]);
        float r = std::hypot(p, 1.0f);
        if (p < 0.0f) r = -r;
        d[l] = e[l] / (p + r);
        d[l + 1] = e[l] * (p + r);
        const float dl1 = d[l + 1];
        float h = g - d[l];
        for (int i = l + 2; i < n; ++i) d[i] -= h;
        shift_sum += h;

        // Implicit QL sweep from m up to l.
        p = d[m];
        float c = 1.0f, c2 = c, c3 = c;
        const float el1 = e[l + 1];
        float s = 0.0f, s2 = 0.0f;
        for (int i = m - 1; i >= l; --i) {
          c3 = c2;
          c2 = c;
          s2 = s;
          g = c * e[i];
          h = c * p;
          r = std::hypot(p, e[i]);
          e[i + 1] = s * r;
          s = e[i] / r;
          c = p / r;
          p = c * d[i] - s * g;
          d[i + 1] = h + s * (c * g + s * d[i]);
          for (int k = 0; k < n; ++k) {
            h = v[k][i + 1];
            v[k][i + 1] = s * v[k][i] + c * h;
            v[k][i] = c * v[k][i] - s * h;
          }
        }
        p = -s * s2 * c3 * el1 * e[l] / dl1;
        e[l] = s * p;
        d[l] = c * p;
      } while (std::fabs(e[l]) > kNegligible * largest);
    }
    d[l] += shift_sum;
    e[l] = 0.0f;
  }

  // Ascending order; a value moves only when a strictly smaller one is found.
  for (int i = 0; i < n - 1; ++i) {
    int k = i;
    float p = d[i];
    for (int j = i + 1; j < n; ++j) {
      if (d[j] < p) {
        k = j;
        p = d[j];
      }
    }
    if (k != i) {
      d[k] = d[i];
      d[i] = p;
      for (int j = 0; j < n; ++j) std::swap(v[j][i], v[j][k]);
    }
  }
  return true;
}

}  // namespace

bool SymmetricEigen4(const Matrix4& a, Eigen4& out, int iterationLimit) {
  Matrix4 v = a;
  std::array<float, 4> d{};
  std::array<float, 4> e{};
  Tridiagonalize(v, d, e);
  if (!DiagonalizeTridiagonal(v, d, e, iterationLimit)) return false;
  out.values = d;
  out.vectors = v;
  return true;
}

}  // namespace talvor
