// Square complex matrix products whose packing buffers are kept between calls, so that no product allocates.
//
// Eigen's blocked product packs blocks of both factors into buffers sized
// from the cache sizes and the matrix order. It takes them from the stack up
// to EIGEN_STACK_ALLOCATION_LIMIT (1 MB here) and from the heap above it,
// once per product: from about 300 beams on, every product of a pixel would
// allocate. A SquareProduct sizes its buffers once for one order, exactly as
// Eigen sizes them for a product of that order, and reuses them, so the
// arithmetic (blocking, packing, kernels) and every bit of the result are
// those of `dst.noalias() = lhs * rhs`.
// SPDX-License-Identifier: BSD-3-Clause
#pragma once

#include <complex>
#include <cstddef>
#include <memory>

#include <Eigen/Core>

namespace velmorant {

class SquareProduct {
public:
  explicit SquareProduct(int order);  // matrices of order x order
  ~SquareProduct();
  SquareProduct(SquareProduct&&) noexcept;
  SquareProduct& operator=(SquareProduct&&) noexcept;

  // dst = lhs * rhs for column-major complex float matrices of the order
  // given at construction (other shapes go through Eigen's own product).
  // dst may alias neither factor.
  void operator()(const Eigen::Matrix<std::complex<float>, Eigen::Dynamic, Eigen::Dynamic>& lhs,
                  const Eigen::Matrix<std::complex<float>, Eigen::Dynamic, Eigen::Dynamic>& rhs,
                  Eigen::Matrix<std::complex<float>, Eigen::Dynamic, Eigen::Dynamic>& dst);

  // Bytes of the packing buffers (0 where Eigen multiplies without packing).
  std::size_t buffer_bytes() const;

private:
  struct Blocking;
  int order_;
  std::unique_ptr<Blocking> blocking_;
};

}  // namespace velmorant
